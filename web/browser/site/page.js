// The page around the show: fetches data/ into the program's file system,
// then plays the show from the start button (the gesture browsers ask for
// before any sound). For tests: ?frames=A,B,... draws those frames exactly
// on one sheet; ?autoplay plays at once (where sound needs no gesture);
// ?from=N starts the show at frame N, the frames before it run unseen;
// ?hold stands on the first frame drawn (frame N of ?from=N), without sound.
// The gentle show (no white flashes) is ticked where the browser asks for
// reduced motion, or by ?gentle.
"use strict";

const canvas = document.getElementById("canvas");
const launcher = document.getElementById("launcher");
const startButton = document.getElementById("start");
const fullscreenBox = document.getElementById("fullscreen");
const statusLine = document.getElementById("status");
const query = new URLSearchParams(location.search);
const framesParam = query.get("frames");
const autoplay = query.has("autoplay");
const startFrame = parseInt(query.get("from") || "0", 10) || 0;
const hold = query.has("hold");
const gentleBox = document.getElementById("gentle");
gentleBox.checked =
  query.has("gentle") || window.matchMedia("(prefers-reduced-motion: reduce)").matches;

function say(text) {
  statusLine.textContent = text;
  console.log("vemu: " + text);
}

function fail(text) {
  statusLine.textContent = text;
  console.error("vemu: " + text);
  startButton.disabled = true;
}

// A few seconds of text over the show, which hides the launcher.
function note(text) {
  const line = document.getElementById("note");
  line.textContent = text;
  line.classList.remove("hidden");
  console.log("vemu: " + text);
  clearTimeout(note.timer);
  note.timer = setTimeout(() => line.classList.add("hidden"), 6000);
}

// The sound's context, opened and resumed at the click itself: browsers let
// sound start only from a gesture, and the start-up takes seconds after it.
function openAudio() {
  if (Module.vemuAudio) {
    Module.vemuAudio.context.resume().catch(() => {});
    return;
  }
  const Context = window.AudioContext || window.webkitAudioContext;
  if (!Context) {
    return; // the start-up says the browser has no Web Audio
  }
  const context = new Context();
  context.resume().catch(() => {});
  Module.vemuAudio = { context: context, buffers: [], source: null, startAt: 0, offset: 0 };
}

// The canvas's drawing buffer follows its size on screen (4:3 by its style),
// times the share the show draws at (smaller while the machine falls behind).
function fitCanvas() {
  const scale = (window.devicePixelRatio || 1) * (Module.vemuDrawScale || 1);
  const width = Math.max(1, Math.round(canvas.clientWidth * scale));
  const height = Math.max(1, Math.round(canvas.clientHeight * scale));
  if (canvas.width !== width || canvas.height !== height) {
    canvas.width = width;
    canvas.height = height;
    if (Module.showOpen) {
      Module._vemu_resize(width, height);
    }
  }
}

async function fetchData() {
  const files = Module.UTF8ToString(Module._vemu_data_files()).split("\n").filter(Boolean);
  Module.FS.mkdir("/data");
  let done = 0;
  for (const file of files) {
    const response = await fetch(file);
    if (!response.ok) {
      throw new Error(file + ": " + response.status + " " + response.statusText);
    }
    Module.FS.writeFile("/" + file, new Uint8Array(await response.arrayBuffer()));
    done += 1;
    say("Loading " + done + " of " + files.length + " files");
  }
}

// Frame-exact, for tests: each listed frame drawn as democap draws it, laid
// on a sheet four frames wide that replaces the canvas, for one screenshot.
async function drawFrames(frames) {
  canvas.width = 640;
  canvas.height = 480;
  launcher.classList.add("hidden");
  if (!Module._vemu_open(640, 480)) {
    fail("no WebGL 2 here");
    return;
  }
  const columns = Math.min(4, frames.length);
  const sheet = document.createElement("canvas");
  sheet.width = 640 * columns;
  sheet.height = 480 * Math.ceil(frames.length / columns);
  const context = sheet.getContext("2d");
  const started = performance.now();
  for (let i = 0; i < frames.length; ++i) {
    if (!Module._vemu_draw_frame(frames[i], 640, 480)) {
      fail("frame " + frames[i] + " is not one the show draws (in rising order, up to its end)");
      return;
    }
    context.drawImage(canvas, (i % columns) * 640, Math.floor(i / columns) * 480);
  }
  document.getElementById("stage").replaceChildren(sheet);
  sheet.style.position = "fixed";
  sheet.style.left = "0";
  sheet.style.top = "0";
  document.title = "frames drawn";
  console.log("vemu: " + frames.length + " frames drawn in " + Math.round(performance.now() - started) + " ms");
}

async function play() {
  startButton.disabled = true;
  openAudio();
  if (fullscreenBox.checked && document.documentElement.requestFullscreen) {
    try {
      await document.documentElement.requestFullscreen();
    } catch (e) {
      console.log("vemu: no full screen here, playing in the window");
    }
  }
  launcher.classList.add("hidden");
  fitCanvas();
  if (!Module.showOpen) {
    if (!Module._vemu_open(canvas.width, canvas.height)) {
      launcher.classList.remove("hidden");
      fail("This browser has no WebGL 2.");
      return;
    }
    Module.showOpen = true;
  }
  Module.vemuStartedAt = performance.now();
  const problem = await Module.ccall("vemu_start", "string", ["number", "number", "number"],
                                    [startFrame, hold ? 1 : 0, gentleBox.checked ? 1 : 0],
                                    { async: true });
  console.log("vemu: " + (gentleBox.checked ? "the gentle show" : "the show"));
  console.log("vemu: start-up in " + Math.round(performance.now() - Module.vemuStartedAt) + " ms");
  if (problem) {
    launcher.classList.remove("hidden");
    fail("The show cannot start: " + problem);
  }
}

function backToLauncher() {
  if (document.fullscreenElement) {
    document.exitFullscreen().catch(() => {});
  }
  launcher.classList.remove("hidden");
  startButton.disabled = false;
}

var Module = {
  canvas: canvas,
  print: (text) => console.log(text),
  printErr: (text) => console.error(text),
  vemuFitCanvas: () => fitCanvas(),
  vemuEvent: (event, drawn, caughtUp, meanLag, maxLag, longestPass, longestPassFrame,
              leastScale) => {
    if (event === "held") {
      document.title = "Vemu: held";
      console.log("vemu: held at frame " + startFrame);
      return; // the frame stays on the canvas, with nothing over it
    }
    console.log("vemu: show " + event + ": " + drawn + " frames drawn, " + caughtUp +
                " catch-up steps; pictures after their moment in the music by " +
                meanLag.toFixed(1) + " ms on average, " + maxLag.toFixed(1) + " ms at most; " +
                "longest pass " + longestPass.toFixed(1) + " ms (to frame " + longestPassFrame + "); " +
                Math.round(performance.now() - Module.vemuStartedAt) + " ms from the start button; " +
                "drawn at " + leastScale.toFixed(2) + " of the window's size at the least");
    document.title = "Vemu: " + event;
    backToLauncher();
  },
  vemuNote: (text) => note(text),
  onRuntimeInitialized: async () => {
    try {
      await fetchData();
    } catch (e) {
      fail("Could not load the show's files: " + e.message);
      return;
    }
    if (framesParam !== null) {
      await drawFrames(framesParam.split(",").map((f) => parseInt(f, 10)));
      return;
    }
    say("Ready");
    console.log("vemu: ready " + Math.round(performance.now()) + " ms after the page opened");
    startButton.disabled = false;
    if (autoplay) {
      fullscreenBox.checked = false;
      play();
    }
  },
};

// Whatever goes wrong is said on the page, where the viewer looks, and not
// only in the console.
function pageError(text) {
  launcher.classList.remove("hidden");
  fail("Something went wrong: " + text);
}
window.addEventListener("error", (event) => pageError(event.message || String(event.error)));
window.addEventListener("unhandledrejection", (event) =>
  pageError(event.reason && event.reason.message ? event.reason.message : String(event.reason)));

startButton.addEventListener("click", play);
document.getElementById("gentle-start").addEventListener("click", (event) => {
  event.preventDefault();
  gentleBox.checked = true;
  if (!startButton.disabled) {
    play();
  }
});
window.addEventListener("resize", fitCanvas);
document.addEventListener("keydown", (event) => {
  if (event.key === "Escape" && launcher.classList.contains("hidden")) {
    Module._vemu_stop();
  }
});
