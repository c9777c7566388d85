// The page around the program (orchid.js, orchid.wasm): the start screen,
// the stage with its canvas, the error box, the closing card, and the
// deterministic modes the tests use.
//
//   index.html                  the start screen, then the show with sound
//   index.html?at=S[&depth=D]   the frame at S seconds, on the virtual clock
//   index.html?bench            the whole show as `orchid --benchmark`
//   &simd=LEVEL                 with any of them: the program's ORCHID_SIMD
//
// document.body.dataset.orchid tells where the page stands: "loading",
// "start", "playing", "paused", "ended", "error"; "rendering" and then
// "ready" in the deterministic modes. window.orchidShowTime() gives the show
// time in hundredths.
'use strict';

(function () {
  var MUSIC = 'kestrune-velomar.mp3';
  var BANNER = 144;
  // The viewer's keys, as the program's virtual key codes: Space pauses,
  // the arrows, Home and Page Up and Down seek, . and , step while paused,
  // M mutes, + and - change the volume, S downloads the frame on screen,
  // L sets a loop's A, then its B, then clears it.
  var KEYS = {Escape: 0x1B, F1: 0x70, ' ': 0x20, ArrowLeft: 0x25, ArrowRight: 0x27, Home: 0x24,
              PageUp: 0x21, PageDown: 0x22, '.': 0xBE, ',': 0xBC,
              m: 0x4D, M: 0x4D, s: 0x53, S: 0x53, l: 0x4C, L: 0x4C, '+': 0xBB, '=': 0xBB, '-': 0xBD};
  // What orchid_frame reports.
  var PAUSED = 1;
  var ENDED = 2;
  // Touch: a swipe is a move of at least SWIPE_PX across, twice as far
  // across as up or down; a tap moves less than TAP_PX. The control bar
  // hides CONTROLS_MS after the last touch.
  var SWIPE_PX = 60;
  var TAP_PX = 16;
  var CONTROLS_MS = 3000;
  // The media session's position is set again every POSITION_FRAMES frames.
  var POSITION_FRAMES = 30;

  var params = new URLSearchParams(window.location.search);
  var mode = params.has('bench') ? 'bench' : params.has('at') ? 'at' : 'play';
  var body = document.body;
  var stage = document.getElementById('stage');
  var canvas = document.getElementById('canvas');
  var overlay = document.getElementById('overlay');
  var controls = document.getElementById('controls');
  var seekBar = document.getElementById('seek');
  var timeText = document.getElementById('time');
  var mediaSession = 'mediaSession' in navigator ? navigator.mediaSession : null;
  var bench = document.getElementById('bench');
  var errorShown = false;
  // The show plays in the page's fullscreen (a depth was chosen).
  var fullscreenShow = false;
  // The page itself leaves fullscreen (Alt+Enter, the end of the show):
  // that is no request to end.
  var leavingOnPurpose = false;
  var running = false;

  var lastState = null;
  function setState(state) {
    body.dataset.orchid = state;
    if (state === lastState) return;
    lastState = state;
    if (mode !== 'play') return;
    holdScreen(state === 'playing');
    if (mediaSession) {
      mediaSession.playbackState = state === 'playing' ? 'playing' : state === 'paused' ? 'paused' : 'none';
      if (running) updatePosition(true);
    }
    if (state === 'ended' || state === 'error') controls.hidden = true;
    updateControls();
  }
  function show(id, visible) { document.getElementById(id).hidden = !visible; }

  // The music, fetched and decoded by the browser at 44.1 kHz while the page
  // starts. A missing or undecodable file leaves no samples: the show then
  // reports that it cannot create its stream.
  var musicReady = fetch(MUSIC)
    .then(function (response) {
      if (!response.ok) throw new Error(MUSIC + ': ' + response.status);
      return response.arrayBuffer();
    })
    .then(function (data) { return new OfflineAudioContext(2, 1, 44100).decodeAudioData(data); })
    .then(function (buffer) { Module.orchidMusic = {name: MUSIC, buffer: buffer}; },
          function (error) {
            console.warn('orchid: ' + error);
            Module.orchidMusic = {name: MUSIC, buffer: null};
          });

  function leaveFullscreen() {
    if (!document.fullscreenElement) return;
    leavingOnPurpose = true;
    document.exitFullscreen().catch(function () {});
  }

  var Module = window.Module = {
    canvas: canvas,
    orchidMusic: null,
    orchidAudio: null,
    orchidPage: {
      showError: function (text, caption) {
        errorShown = true;
        leaveFullscreen();
        document.getElementById('error-title').textContent = caption;
        document.getElementById('error-text').textContent = text;
        show('stage', false);
        show('error', true);
        document.getElementById('error-ok').focus();
        setState('error');
      },
      overlay: function (text) { overlay.textContent = text; },
      // The program's seek bar, up after a seek or a step by a key and while
      // paused: on the page it is the control bar, held up while shown.
      seekBar: function (shown) {
        if (!running) return;
        clearTimeout(hideTimer);
        controls.hidden = !shown;
        updateControls();
      },
      cursor: function (css) { body.style.cursor = css; },
      leaveFullscreen: leaveFullscreen,
      // The S key's PNG, handed to the browser as a download.
      download: function (name, bytes) {
        var link = document.createElement('a');
        link.href = URL.createObjectURL(new Blob([bytes], {type: 'image/png'}));
        link.download = name;
        document.body.appendChild(link);
        link.click();
        link.remove();
        setTimeout(function () { URL.revokeObjectURL(link.href); }, 60000);
      }
    },
    print: function (text) {
      if (mode === 'bench') {
        bench.textContent += text + '\n';
        bench.hidden = false;
      } else {
        console.log(text);
      }
    },
    printErr: function (text) { console.warn(text); },
    // ?simd=LEVEL is the program's ORCHID_SIMD.
    preRun: [function () {
      if (params.has('simd')) Module.ENV.ORCHID_SIMD = params.get('simd');
    }],
    onRuntimeInitialized: begin,
    // The module could not be loaded or compiled (a browser without
    // WebAssembly SIMD, a missing orchid.wasm).
    onAbort: function (what) {
      document.getElementById('loading').textContent = 'Orchid could not start: ' + what;
      show('loading', true);
      setState('error');
    }
  };

  window.orchidShowTime = function () { return Module._orchid_show_time(); };

  // ---- the loop: one pass of the program's message loop per animation frame
  // One pass; false once the show has ended.
  function pass() {
    if (!running) return false;
    var state = Module._orchid_frame();
    if (state === ENDED) {
      running = false;
      finish();
      return false;
    }
    if (mode === 'play' && !errorShown) {
      setState(state === PAUSED ? 'paused' : 'playing');
      updateControls();
      updatePosition(false);
    }
    return true;
  }

  function frame() {
    if (pass()) window.requestAnimationFrame(frame);
  }

  function finish() {
    if (errorShown) return;
    if (mode !== 'play') {
      setState('ready');
      return;
    }
    leaveFullscreen();
    show('stage', false);
    show('closing', true);
    setState('ended');
  }

  // ---- the page's events, for the show --------------------------------------
  // Hidden or without the focus, the show pauses; visible with the focus
  // again, it resumes. The change is taken at once: a hidden page gets no
  // animation frames.
  function focus(gained) {
    if (!running) return;
    Module._orchid_web_focus(gained ? 1 : 0);
    pass();
  }

  function key(virtualKey) { if (running) Module._orchid_web_key(virtualKey); }
  function seekTo(hundredths) {
    if (!running) return;
    Module._orchid_web_seek(Math.max(0, Math.round(hundredths)));
    updatePosition(true);
  }

  // The page's fullscreen on and off (Alt+Enter, the bar's button), as the
  // desktop switches between fullscreen and a window.
  function switchFullscreen() {
    if (document.fullscreenElement) leaveFullscreen();
    else stage.requestFullscreen().catch(function () {});
  }

  // ---- the screen kept on, the media keys ------------------------------------
  // The screen stays on while the show plays (Screen Wake Lock): the lock is
  // taken when it plays and let go when it pauses or ends. The browser lets
  // it go itself while the page is hidden; it is taken again when the page
  // shows again.
  var wakeLock = null;  // the lock, 'asking' while it is asked for, or null
  function holdScreen(wanted) {
    if (!navigator.wakeLock) return;
    if (!wanted) {
      if (wakeLock !== null && wakeLock !== 'asking') wakeLock.release().catch(function () {});
      wakeLock = null;
      return;
    }
    if (wakeLock !== null || document.visibilityState !== 'visible') return;
    wakeLock = 'asking';
    navigator.wakeLock.request('screen').then(function (lock) {
      // Paused or ended while it was asked for.
      if (wakeLock !== 'asking') {
        lock.release().catch(function () {});
        return;
      }
      wakeLock = lock;
      lock.addEventListener('release', function () { if (wakeLock === lock) wakeLock = null; });
    }, function (error) {
      wakeLock = null;
      console.warn('orchid: the screen may dim during the show: ' + error);
    });
  }

  // Media Session: the show's title and icon where the system shows what
  // plays (lock screen, media keys' pop-up), its position, and the media
  // keys' play, pause and seeks.
  var showEnd = 0;
  var positionFrames = 0;
  function startMediaSession() {
    if (!mediaSession) return;
    if (window.MediaMetadata) {
      mediaSession.metadata = new MediaMetadata({title: 'Orchid', artwork: [
        {src: 'icon-128.png', sizes: '128x128', type: 'image/png'},
        {src: 'icon-256.png', sizes: '256x256', type: 'image/png'}]});
    }
    var now = function () { return Module._orchid_show_time(); };
    var handlers = {
      play: function () { if (Module._orchid_web_user_paused()) key(KEYS[' ']); },
      pause: function () { if (!Module._orchid_web_user_paused()) key(KEYS[' ']); },
      seekbackward: function (details) {
        if (details && details.seekOffset) seekTo(now() - details.seekOffset * 100);
        else key(KEYS.ArrowLeft);
      },
      seekforward: function (details) {
        if (details && details.seekOffset) seekTo(now() + details.seekOffset * 100);
        else key(KEYS.ArrowRight);
      },
      seekto: function (details) { seekTo(details.seekTime * 100); }
    };
    Object.keys(handlers).forEach(function (action) {
      try {
        mediaSession.setActionHandler(action, handlers[action]);
      } catch (error) {
        // An action this browser does not know.
      }
    });
  }

  function updatePosition(now) {
    if (!mediaSession || !mediaSession.setPositionState || showEnd <= 0) return;
    if (!now && ++positionFrames < POSITION_FRAMES) return;
    positionFrames = 0;
    var t = Math.min(Module._orchid_show_time(), showEnd);
    mediaSession.setPositionState({duration: showEnd / 100, position: t / 100, playbackRate: 1});
  }

  // ---- touch and the control bar -------------------------------------------
  // On a touch screen a tap on the picture pauses and resumes, a swipe across
  // seeks 10 s as Left and Right do, and any touch shows the control bar
  // (pause, the seeks, mute, fullscreen, and the seek bar with the scenes
  // marked) for a few seconds. The bar lies over the picture; the frame is
  // never drawn into.
  var scenes = [];
  var dragging = false;
  var hideTimer = 0;
  var touchStart = null;

  function readScenes() {
    Module.UTF8ToString(Module._orchid_scenes()).split('\n').forEach(function (line) {
      var fields = line.split('\t');
      if (fields.length === 2) scenes.push({first: Number(fields[0]), name: fields[1]});
    });
    showEnd = scenes.length > 0 ? scenes.pop().first : 0;
    seekBar.max = String(showEnd);
    var marks = document.getElementById('marks');
    scenes.forEach(function (scene) {
      var mark = document.createElement('span');
      mark.style.left = (100 * scene.first / showEnd) + '%';
      mark.title = scene.name;
      marks.appendChild(mark);
    });
  }

  function sceneAt(hundredths) {
    var name = '';
    scenes.forEach(function (scene) { if (scene.first <= hundredths) name = scene.name; });
    return name;
  }

  function clock(hundredths) {
    var seconds = Math.floor(hundredths / 100);
    return Math.floor(seconds / 60) + ':' + String(seconds % 60).padStart(2, '0');
  }

  function showControls() {
    if (!running) return;
    controls.hidden = false;
    updateControls();
    clearTimeout(hideTimer);
    hideTimer = setTimeout(function () { controls.hidden = true; }, CONTROLS_MS);
  }

  function updateControls() {
    if (controls.hidden || !running) return;
    var t = dragging ? Number(seekBar.value) : Math.min(Module._orchid_show_time(), showEnd);
    if (!dragging) seekBar.value = String(t);
    timeText.textContent = clock(t) + ' / ' + clock(showEnd) + '  ' + sceneAt(t);
    document.getElementById('pause').textContent = Module._orchid_web_user_paused() ? 'Play' : 'Pause';
    document.getElementById('mute').setAttribute('aria-pressed', Module._orchid_web_muted() ? 'true' : 'false');
    document.getElementById('fullscreen').setAttribute('aria-pressed', document.fullscreenElement ? 'true' : 'false');
  }

  function listenToTouch() {
    canvas.addEventListener('pointerdown', function (event) {
      if (event.pointerType !== 'touch' || !running) return;
      touchStart = {x: event.clientX, y: event.clientY, id: event.pointerId};
      showControls();
    });
    canvas.addEventListener('pointerup', function (event) {
      if (touchStart === null || event.pointerId !== touchStart.id) return;
      var dx = event.clientX - touchStart.x, dy = event.clientY - touchStart.y;
      touchStart = null;
      if (Math.abs(dx) >= SWIPE_PX && Math.abs(dx) > 2 * Math.abs(dy)) {
        key(dx > 0 ? KEYS.ArrowRight : KEYS.ArrowLeft);
      } else if (Math.abs(dx) < TAP_PX && Math.abs(dy) < TAP_PX) {
        key(KEYS[' ']);
      }
      showControls();
    });
    canvas.addEventListener('pointercancel', function () { touchStart = null; });
    // Touching the bar keeps it up.
    controls.addEventListener('pointerdown', showControls);
    var buttons = {
      pause: function () { key(KEYS[' ']); },
      back: function () { key(KEYS.ArrowLeft); },
      forward: function () { key(KEYS.ArrowRight); },
      mute: function () { key(KEYS.M); },
      fullscreen: switchFullscreen
    };
    Object.keys(buttons).forEach(function (id) {
      document.getElementById(id).addEventListener('click', function (event) {
        buttons[id]();
        // The keys stay the show's: a focused button would take Space.
        event.currentTarget.blur();
        showControls();
      });
    });
    seekBar.addEventListener('input', function () {
      dragging = true;
      showControls();
    });
    seekBar.addEventListener('change', function () {
      dragging = false;
      seekTo(Number(seekBar.value));
      seekBar.blur();
      showControls();
    });
  }

  function listen() {
    readScenes();
    startMediaSession();
    listenToTouch();
    document.addEventListener('keydown', function (event) {
      if (!running) return;
      if (event.key === 'Enter' && event.altKey) {
        event.preventDefault();
        switchFullscreen();
        return;
      }
      var virtualKey = KEYS[event.key];
      if (virtualKey === undefined) return;
      event.preventDefault();
      key(virtualKey);
    });
    document.addEventListener('visibilitychange', function () {
      if (document.hidden) focus(false);
      else if (document.hasFocus()) focus(true);
      if (!document.hidden && lastState === 'playing') holdScreen(true);
    });
    window.addEventListener('blur', function () { focus(false); });
    window.addEventListener('focus', function () { if (!document.hidden) focus(true); });
    // In fullscreen the browser takes Escape for itself and leaves
    // fullscreen: that is the viewer's Escape.
    document.addEventListener('fullscreenchange', function () {
      if (document.fullscreenElement) return;
      if (fullscreenShow && running && !leavingOnPurpose) Module._orchid_web_key(KEYS.Escape);
      leavingOnPurpose = false;
    });
  }

  // ---- the start screen ---------------------------------------------------
  function startScreen() {
    var start = document.getElementById('start');
    var size = Module._orchid_resource_size(BANNER);
    if (size > 0) {
      var address = Module._orchid_resource(BANNER);
      var bytes = Module.HEAPU8.slice(address, address + size);
      document.getElementById('banner').src = URL.createObjectURL(new Blob([bytes], {type: 'image/bmp'}));
    }
    var rows = {fullscreen: document.createElement('div'), other: document.createElement('div')};
    rows.fullscreen.className = rows.other.className = 'row';
    Module.UTF8ToString(Module._orchid_start_screen()).split('\n').forEach(function (line) {
      if (line === '') return;
      var fields = line.split('\t');
      var button = document.createElement('button');
      button.type = 'button';
      button.textContent = fields[2];
      button.dataset.command = fields[0];
      button.addEventListener('click', function () { choose(Number(fields[0]), fields[1]); });
      (fields[1] === 'fullscreen' ? rows.fullscreen : rows.other).appendChild(button);
    });
    start.appendChild(rows.fullscreen);
    start.appendChild(rows.other);
    show('loading', false);
    show('start', true);
    start.querySelector('button').focus();
    setState('start');
  }

  // The click is the gesture the browser asks for before it plays sound or
  // goes fullscreen: both start here, the show once the music is decoded.
  function choose(command, kind) {
    show('start', false);
    if (kind !== 'quit') {
      // Without an audio context (no output device) the show reports that
      // it cannot start its sound.
      try {
        var context = new (window.AudioContext || window.webkitAudioContext)();
        context.resume();
        Module.orchidAudio = {context: context, source: null, startTime: 0};
      } catch (error) {
        console.warn('orchid: ' + error);
      }
      show('stage', true);
      fullscreenShow = kind === 'fullscreen';
      if (fullscreenShow && stage.requestFullscreen) stage.requestFullscreen().catch(function () {});
    }
    musicReady.then(function () {
      running = true;
      Module._orchid_play(command);
      frame();
    });
  }

  // ---- the deterministic modes ----------------------------------------------
  function deterministic() {
    show('loading', false);
    setState('rendering');
    musicReady.then(function () {
      if (mode === 'bench') {
        Module._orchid_benchmark();
      } else {
        show('stage', true);
        // The program reads the seconds, as its command line reads --from.
        Module.ccall('orchid_render_at', null, ['string', 'number'],
                     [params.get('at'), Number(params.get('depth')) || 32]);
      }
      running = true;
      window.requestAnimationFrame(frame);
    });
  }

  // The service worker (sw.js) keeps the page's files, so that the next
  // visit plays without the network. Only the played page registers it:
  // the deterministic modes are the tests' and leave nothing behind.
  function keepForOffline() {
    if (!('serviceWorker' in navigator)) return;
    // A page the worker kept asks whether the server has a newer build: the
    // newer worker then fetches it, and the next visit plays it.
    navigator.serviceWorker.register('sw.js').then(function (registration) {
      if (registration.active) return registration.update();
    }).catch(function (error) {
      console.warn('orchid: the page will not be kept for playing offline: ' + error);
    });
  }

  function begin() {
    document.getElementById('error-ok').addEventListener('click', function () {
      show('error', false);
      show('closing', true);
    });
    if (mode === 'play') {
      keepForOffline();
      listen();
      startScreen();
    } else {
      deterministic();
    }
  }
})();
