// The page around the show: turns the query string into the show's switches
// (?nommx&v=3 becomes /nommx /v 3), starts the show on the start button (a
// browser plays sound only after a gesture), goes full screen on the button
// or the F key, and keeps what a test or a benchmark reads in window.kv.
//
// Page-only parameters: grab=n,m,... keeps the canvas after those turns in
// kv.grabs; stopat=n pauses the main loop after turn n.
'use strict';
(function () {
  const params = new URLSearchParams(location.search);
  const pageOnly = new Set(['grab', 'stopat']);
  const args = ['/data', '/data'];
  for (const [key, value] of params) {
    if (pageOnly.has(key)) continue;
    args.push('/' + key);
    if (value !== '') args.push(value);
  }
  const grab = new Set((params.get('grab') || '').split(',').filter((s) => s !== '').map(Number));
  const stopAt = params.has('stopat') ? Number(params.get('stopat')) : -1;
  const timed = params.has('unpaced');  // the rate of every stretch is measured

  const canvas = document.getElementById('canvas');
  const startButton = document.getElementById('start');
  const status = document.getElementById('status');
  const panel = document.getElementById('panel');

  const kv = {
    args,
    ready: false,
    started: false,
    turns: 0,            // turns shown so far
    lastInstant: 0,      // ms of the last turn on the virtual clock
    startTime: 0,        // performance.now() at start and at the end
    endTime: 0,
    ended: false,
    status: null,        // the show's exit status once it ended
    grabs: {},           // turn -> base64 of the canvas's RGBA pixels
    log: [],             // lines of standard output and error
    audioBlocks: 0,      // sound blocks the browser asked the mixer for
    audioPeak: 0,        // largest sample seen in them
    turnEnds: [],        // with unpaced: performance.now() after each turn
  };
  window.kv = kv;

  function say(text) { status.textContent = text; }

  function toBase64(bytes) {
    let s = '';
    for (let i = 0; i < bytes.length; i += 0x8000)
      s += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(s);
  }

  // Watches the sound SDL plays: every block the browser asks for passes here
  // after the mixer filled it.
  function watchSound() {
    const sdl = Module.SDL2;
    const node = sdl && sdl.audio && sdl.audio.scriptProcessorNode;
    if (!node || node.kvWatched) return;
    const fill = node.onaudioprocess;
    node.onaudioprocess = function (e) {
      fill.call(this, e);
      kv.audioBlocks++;
      for (let c = 0; c < e.outputBuffer.numberOfChannels; c++) {
        const data = e.outputBuffer.getChannelData(c);
        for (let i = 0; i < data.length; i++) {
          const a = Math.abs(data[i]);
          if (a > kv.audioPeak) kv.audioPeak = a;
        }
      }
    };
    node.kvWatched = true;
  }

  window.Module = {
    canvas,
    print(text) { kv.log.push(text); console.log(text); },
    printErr(text) { kv.log.push(text); console.warn(text); say(text); },
    setStatus(text) { if (text) say(text); },
    onRuntimeInitialized() {
      kv.ready = true;
      startButton.disabled = false;
      say('Ready: press Start');
    },
    kvFrame(turn, instant) {
      if (timed) kv.turnEnds.push(performance.now());
      kv.turns = turn + 1;
      kv.lastInstant = instant;
      if (grab.has(turn)) {
        const ctx = canvas.getContext('2d');
        kv.grabs[turn] = toBase64(new Uint8Array(
          ctx.getImageData(0, 0, canvas.width, canvas.height).data.buffer));
      }
      if (turn === stopAt) Module._KvWebPause(1);
    },
    kvEnded(code, turns) {
      kv.endTime = performance.now();
      kv.ended = true;
      kv.status = code;
      panel.classList.remove('playing');
      say('The show ended' + (code ? ' (status ' + code + ')' : '') + ' after ' + turns + ' frames');
    },
    // The screenshot key wrote a PNG into the virtual file system.
    kvSaved(path) {
      const blob = new Blob([FS.readFile(path)], { type: 'image/png' });
      const a = document.createElement('a');
      a.href = URL.createObjectURL(blob);
      a.download = path.replace(/^.*\//, '');
      a.click();
      setTimeout(() => URL.revokeObjectURL(a.href), 1000);
    },
  };

  startButton.addEventListener('click', () => {
    if (!kv.ready || kv.started) return;
    kv.started = true;
    startButton.disabled = true;
    panel.classList.add('playing');
    say('Playing');
    canvas.focus();
    kv.startTime = performance.now();
    Module.callMain(args);
    watchSound();
  });

  function fullScreen() {
    const stage = document.getElementById('stage');
    if (document.fullscreenElement) document.exitFullscreen();
    else if (stage.requestFullscreen) stage.requestFullscreen().catch(() => {});
  }
  document.getElementById('fullscreen').addEventListener('click', fullScreen);
  document.addEventListener('keydown', (e) => {
    if (e.key === 'f' || e.key === 'F') fullScreen();
  });
})();
