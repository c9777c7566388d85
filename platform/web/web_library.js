// The page's side of the browser backend (platform/web/web_backend.cpp,
// platform/web/web_mp3_decoder.cpp). The page (platform/web/page.js) sets
// up what these functions use before the show starts:
//   Module.canvas        the 640 x 480 canvas
//   Module.orchidMusic   {name, buffer}: the music file's name and its
//                        samples, decoded by the browser at 44.1 kHz
//                        (buffer null when it could not be fetched or decoded)
//   Module.orchidAudio   {context}: the audio context, made and resumed by
//                        the start screen's click
//   Module.orchidPage    {showError(text, caption), overlay(text),
//                        cursor(css), leaveFullscreen(), download(name, bytes)}
mergeInto(LibraryManager.library, {
  // ---- the picture ----------------------------------------------------------
  // One ImageData over the program's own RGBA buffer, made again only when
  // the buffer moves (a grown memory); each frame is one putImageData.
  orchid_js_show_picture: function(rgba, width, height) {
    var canvas = Module.canvas;
    if (!canvas) return;
    var view = Module.orchidPicture;
    if (!view || view.address !== rgba || view.memory !== HEAPU8.buffer || view.image.width !== width ||
        view.image.height !== height) {
      var pixels = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
      view = Module.orchidPicture = {
        address: rgba,
        memory: HEAPU8.buffer,
        image: new ImageData(pixels, width, height),
        context: canvas.getContext('2d', {alpha: false})
      };
    }
    view.context.putImageData(view.image, 0, 0);
  },

  orchid_js_message_box: function(text, caption) {
    Module.orchidPage.showError(UTF8ToString(text), UTF8ToString(caption));
  },

  orchid_js_overlay: function(text) {
    Module.orchidPage.overlay(UTF8ToString(text));
  },

  orchid_js_seek_bar: function(shown) {
    Module.orchidPage.seekBar(shown !== 0);
  },

  // A copy of the bytes, since the program's memory may move or be reused.
  orchid_js_download: function(name, bytes, size) {
    Module.orchidPage.download(UTF8ToString(name), HEAPU8.slice(bytes, bytes + size));
  },

  // The standard cursors by id (32512 arrow, 32514 hourglass).
  orchid_js_cursor: function(id, visible) {
    Module.orchidPage.cursor(!visible || id === 0 ? 'none' : id === 32514 ? 'wait' : 'default');
  },

  orchid_js_leave_fullscreen: function() {
    Module.orchidPage.leaveFullscreen();
  },

  // ---- the music file ---------------------------------------------------------
  orchid_js_music_open: function(fileName) {
    var music = Module.orchidMusic;
    if (!music || !music.buffer || music.name !== UTF8ToString(fileName)) return 0;
    music.cursor = 0;
    music.open = true;
    return music.buffer.length;
  },

  orchid_js_music_close: function() {
    if (Module.orchidMusic) Module.orchidMusic.open = false;
  },

  orchid_js_music_rewind: function() {
    Module.orchidMusic.cursor = 0;
  },

  // 16-bit stereo, little-endian, from the float samples (a mono file on
  // both sides): full scale is 32767 either way, rounded to the nearest
  // (halves away from zero), beyond it clipped.
  orchid_js_music_read__deps: ['$orchidSample16'],
  $orchidSample16: function(x) {
    var v = Math.round(Math.min(1, Math.abs(x)) * 32767);
    return x < 0 ? -v : v;
  },
  orchid_js_music_read: function(target, frames) {
    var music = Module.orchidMusic;
    if (!music || !music.open) return 0;
    var buffer = music.buffer;
    var left = buffer.getChannelData(0);
    var right = buffer.numberOfChannels > 1 ? buffer.getChannelData(1) : left;
    var count = Math.max(0, Math.min(frames, buffer.length - music.cursor));
    var out = target >> 1;
    for (var i = 0; i < count; i++) {
      HEAP16[out + 2 * i] = orchidSample16(left[music.cursor + i]);
      HEAP16[out + 2 * i + 1] = orchidSample16(right[music.cursor + i]);
    }
    music.cursor += count;
    return count;
  },

  // ---- the output ---------------------------------------------------------------
  orchid_js_audio_open: function() {
    return Module.orchidAudio && Module.orchidAudio.context ? 1 : 0;
  },

  // The position stands still while the context is suspended: its time
  // does not move.
  orchid_js_audio_resume: function() {
    var audio = Module.orchidAudio;
    if (audio.context.state === 'closed') return 0;
    audio.context.resume();
    return 1;
  },

  orchid_js_audio_suspend: function() {
    var audio = Module.orchidAudio;
    if (audio.context.state === 'closed') return 0;
    audio.context.suspend();
    return 1;
  },

  // Plays the decoded music from its start, now.
  orchid_js_audio_play: function() {
    var audio = Module.orchidAudio;
    var music = Module.orchidMusic;
    if (!music || !music.buffer) return 0;
    if (audio.source) audio.source.stop();
    var source = audio.context.createBufferSource();
    source.buffer = music.buffer;
    source.connect(audio.gain || audio.context.destination);
    audio.startTime = audio.context.currentTime;
    source.start(audio.startTime);
    audio.source = source;
    return 1;
  },

  // Plays the decoded music from `seconds` on, now, as if it had started
  // that long ago.
  orchid_js_audio_seek: function(seconds) {
    var audio = Module.orchidAudio;
    var music = Module.orchidMusic;
    if (!audio || !audio.source || !music || !music.buffer) return 0;
    audio.source.stop();
    audio.source.disconnect();
    var source = audio.context.createBufferSource();
    source.buffer = music.buffer;
    source.connect(audio.gain || audio.context.destination);
    var now = audio.context.currentTime;
    audio.startTime = now - seconds;
    // Past the music's end nothing plays, and the position goes on.
    source.start(now, Math.min(seconds, music.buffer.duration || seconds));
    audio.source = source;
    return 1;
  },

  // The music's loudness, 0 to 100, through a gain node made the first
  // time it is not the full level.
  orchid_js_audio_volume: function(level) {
    var audio = Module.orchidAudio;
    if (!audio || !audio.context) return 0;
    if (!audio.gain) {
      if (level === 100) return 1;
      audio.gain = audio.context.createGain();
      audio.gain.connect(audio.context.destination);
      if (audio.source) {
        audio.source.disconnect();
        audio.source.connect(audio.gain);
      }
    }
    audio.gain.gain.value = level / 100;
    return 1;
  },

  orchid_js_audio_stop: function() {
    var audio = Module.orchidAudio;
    if (!audio || !audio.source) return;
    audio.source.stop();
    audio.source.disconnect();
    audio.source = null;
  },

  // Seconds of the music heard: the context's time since the music started,
  // less the time its output takes to reach the speaker.
  orchid_js_audio_heard: function() {
    var audio = Module.orchidAudio;
    if (!audio || !audio.source) return 0;
    var context = audio.context;
    var latency = context.outputLatency || context.baseLatency || 0;
    return Math.max(0, context.currentTime - latency - audio.startTime);
  }
});
