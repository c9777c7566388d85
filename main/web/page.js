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
  // M mutes, + and - change the volume, S downloads the frame on screen.
  var KEYS = {Escape: 0x1B, F1: 0x70, ' ': 0x20, ArrowLeft: 0x25, ArrowRight: 0x27, Home: 0x24,
              PageUp: 0x21, PageDown: 0x22, '.': 0xBE, ',': 0xBC,
              m: 0x4D, M: 0x4D, s: 0x53, S: 0x53, '+': 0xBB, '=': 0xBB, '-': 0xBD};
  // What orchid_frame reports.
  var PAUSED = 1;
  var ENDED = 2;

  var params = new URLSearchParams(window.location.search);
  var mode = params.has('bench') ? 'bench' : params.has('at') ? 'at' : 'play';
  var body = document.body;
  var stage = document.getElementById('stage');
  var canvas = document.getElementById('canvas');
  var overlay = document.getElementById('overlay');
  var bench = document.getElementById('bench');
  var errorShown = false;
  // The show plays in the page's fullscreen (a depth was chosen).
  var fullscreenShow = false;
  // The page itself leaves fullscreen (Alt+Enter, the end of the show):
  // that is no request to end.
  var leavingOnPurpose = false;
  var running = false;

  function setState(state) { body.dataset.orchid = state; }
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
    if (mode === 'play' && !errorShown) setState(state === PAUSED ? 'paused' : 'playing');
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

  function listen() {
    document.addEventListener('keydown', function (event) {
      if (!running) return;
      if (event.key === 'Enter' && event.altKey) {
        // Alt+Enter: the page's fullscreen on and off, as on the desktop.
        event.preventDefault();
        if (document.fullscreenElement) leaveFullscreen();
        else stage.requestFullscreen().catch(function () {});
        return;
      }
      var key = KEYS[event.key];
      if (key === undefined) return;
      event.preventDefault();
      Module._orchid_web_key(key);
    });
    document.addEventListener('visibilitychange', function () {
      if (document.hidden) focus(false);
      else if (document.hasFocus()) focus(true);
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
