// The page around the show: fetches data/ into the program's file system,
// then plays the show from the start button (the gesture browsers ask for
// before any sound). For tests: ?frames=A,B,... draws those frames exactly
// on one sheet; ?autoplay plays at once (where sound needs no gesture);
// ?from=N starts the show at frame N, the frames before it run unseen;
// ?hold stands on the first frame drawn (frame N of ?from=N), without sound;
// ?seeks=A,B,... plays the show a second, runs 1300 catch-up steps, pauses,
// then seeks to each frame in turn and lays the frames shown on a sheet, as
// ?frames does.
// The gentle show (no white flashes) is ticked where the browser asks for
// reduced motion, or by ?gentle. While the show plays, the address keeps its
// moment (#t=64.36, in seconds), so a link opens the show there.
"use strict";

const canvas = document.getElementById("canvas");
const launcher = document.getElementById("launcher");
const startButton = document.getElementById("start");
// The launcher's display-mode choice: 1 full screen, 0 a window.
let fullScreenChoice = 1;
const statusLine = document.getElementById("status");
const query = new URLSearchParams(location.search);
const framesParam = query.get("frames");
const autoplay = query.has("autoplay");
const kFrameMs = 20;
const kLastShownFrame = 7401;
const hold = query.has("hold");
const seeksParam = query.get("seeks");

// "#t=64.36": seconds into the show.
function frameOfHash() {
  const match = /(?:^#|&)t=([0-9]+(?:\.[0-9]*)?)/.exec(location.hash);
  if (!match) {
    return null;
  }
  return Math.min(kLastShownFrame, Math.round(parseFloat(match[1]) * 1000 / kFrameMs));
}
let startFrame = parseInt(query.get("from") || "", 10) || frameOfHash() || 0;
const gentleBox = document.getElementById("gentle");
gentleBox.checked =
  query.has("gentle") || window.matchMedia("(prefers-reduced-motion: reduce)").matches;

// The page's lines: in the console, and kept in order in window.vemuLines
// for whoever reads the page but not its console (a WebDriver session in
// WebKit, whose console goes nowhere; a viewer's bug report).
window.vemuLines = [];
function logLine(text, error = false) {
  window.vemuLines.push(text);
  if (error) {
    console.error(text);
  } else {
    console.log(text);
  }
}
function log(text, error = false) {
  logLine("vemu: " + text, error);
}

function say(text) {
  statusLine.textContent = text;
  log(text);
}

function fail(text) {
  statusLine.textContent = text;
  log(text, true);
  startButton.disabled = true;
}

// A few seconds of text over the show, which hides the launcher.
function note(text) {
  if (hold) {
    log(text); // a held frame is there to be pictured: nothing over it
    return;
  }
  const line = document.getElementById("note");
  line.textContent = text;
  line.classList.remove("hidden");
  log(text);
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
  if (Module.fixedCanvas) {
    return;
  }
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

// Every file at once, each body counted as it comes: the bar shows the
// bytes loaded of all that the answers announced. The first file that fails
// (an answer other than 200, a broken connection, fewer bytes than its
// answer announced) stops the others, and the error names it; the files
// already here are kept for a retry.
const fetched = new Set();
async function fetchData() {
  const files = Module.UTF8ToString(Module._vemu_data_files()).split("\n").filter(Boolean)
    .filter((file) => !fetched.has(file));
  if (!Module.FS.analyzePath("/data").exists) {
    Module.FS.mkdir("/data");
  }
  const bar = document.getElementById("loaded");
  document.getElementById("progress").classList.remove("hidden");
  const stop = new AbortController();
  let loaded = 0;
  let announced = 0;
  let answered = 0;
  const show = () => {
    if (stop.signal.aborted) {
      return; // the error stays on the line
    }
    const share = answered === files.length && announced > 0 ? loaded / announced : 0;
    bar.style.width = (100 * Math.min(1, share)).toFixed(1) + "%";
    statusLine.textContent = "Loading " + (loaded / 1048576).toFixed(1) + " of " +
      (answered === files.length ? (announced / 1048576).toFixed(1) : "…") + " MB";
  };
  const version = (document.querySelector('meta[name="vemu-data"]') || {}).content;
  const one = async (file) => {
    const response = await fetch(version ? file + "?v=" + version : file, { signal: stop.signal });
    if (!response.ok) {
      throw new Error(file + ": " + response.status + " " + response.statusText);
    }
    const length = parseInt(response.headers.get("Content-Length") || "0", 10) || 0;
    announced += length;
    answered += 1;
    const parts = [];
    let size = 0;
    const reader = response.body.getReader();
    for (;;) {
      const { done, value } = await reader.read();
      if (done) {
        break;
      }
      parts.push(value);
      size += value.length;
      loaded += value.length;
      show();
    }
    // A body the host compressed has another length than it announced.
    const encoding = response.headers.get("Content-Encoding");
    if (length > 0 && size !== length && (!encoding || encoding === "identity")) {
      throw new Error(file + ": " + size + " of its " + length + " bytes arrived");
    }
    const bytes = new Uint8Array(size);
    let at = 0;
    for (const part of parts) {
      bytes.set(part, at);
      at += part.length;
    }
    Module.FS.writeFile("/" + file, bytes);
    fetched.add(file);
  };
  show();
  try {
    await Promise.all(files.map((file) => one(file).catch((e) => {
      // The first failure is the one said; the others it stopped follow it.
      if (!stop.signal.aborted) {
        stop.abort();
        throw e.name === "TypeError" ? new Error(file + ": the connection failed (" + e.message + ")") : e;
      }
      return undefined;
    })));
  } finally {
    document.getElementById("progress").classList.add("hidden");
  }
}

// The loading until every file is here: after a failure its reason stays
// on the start screen with a Retry button, which fetches what is missing.
async function fetchDataUntilDone() {
  const retry = document.getElementById("retry");
  for (;;) {
    try {
      await fetchData();
      return;
    } catch (e) {
      fail("Could not load the show's files: " + e.message);
      retry.classList.remove("hidden");
      retry.focus();
      await new Promise((resolve) => retry.addEventListener("click", resolve, { once: true }));
      retry.classList.add("hidden");
    }
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
  log(frames.length + " frames drawn in " + Math.round(performance.now() - started) + " ms");
}

async function play() {
  startButton.disabled = true;
  openAudio();
  if (fullScreenChoice === 1 && document.documentElement.requestFullscreen) {
    try {
      await document.documentElement.requestFullscreen();
    } catch (e) {
      log("no full screen here, playing in the window");
    }
  }
  launcher.classList.add("hidden");
  fitCanvas();
  Module.vemuStartedAt = performance.now();
  background.stop();
  const problem = Module.ccall("vemu_start", "string", ["number", "number", "number"],
                               [startFrame, hold ? 1 : 0, gentleBox.checked ? 1 : 0]);
  log(gentleBox.checked ? "the gentle show" : "the show");
  log("start-up in " + Math.round(performance.now() - Module.vemuStartedAt) + " ms");
  // The first frame is drawn on the next animation frame, shown on the one after.
  requestAnimationFrame(() => requestAnimationFrame(() => log(
    "first frame " + Math.round(performance.now() - Module.vemuStartedAt) +
    " ms after the start button")));
  if (problem) {
    launcher.classList.remove("hidden");
    fail("The show cannot start: " + problem);
    return;
  }
  if (!hold) {
    player.open();
  }
  if (seeksParam !== null) {
    // As on a slow machine: the show plays a while, falls behind through
    // the hall (whose pictures advance otherwise on catch-up steps), is
    // paused, then seeks.
    setTimeout(() => {
      player.pause();
      Module._vemu_catch_up(1300);
      seekSheet(seeksParam.split(",").map((f) => parseInt(f, 10)));
    }, 1000);
  }
}

// The show's start-up while the start screen shows, on the canvas kept
// unseen (its loading screen would show through the launcher's key red):
// pictures uploaded, music decoded, the first frame drawn once. The start
// button then only starts the sound and the clock.
async function prepare() {
  canvas.style.visibility = "hidden";
  fitCanvas();
  if (!Module._vemu_open(canvas.width, canvas.height)) {
    return "This browser has no WebGL 2.";
  }
  Module.showOpen = true;
  say("Preparing the show…");
  const began = performance.now();
  const problem = await Module.ccall("vemu_prepare", "string", [], [], { async: true });
  canvas.style.visibility = "";
  log("prepared in " + Math.round(performance.now() - began) + " ms");
  return problem ? "The show cannot start: " + problem : "";
}

// Frames of each scene drawn once, unseen, one a task: the browser's GL
// builds what each scene draws with on first use, and no seek waits for it.
// Drawn small: what is built does not depend on the size, and each task
// stays short, so the start screen answers at once.
async function warmUp() {
  const began = performance.now();
  canvas.style.visibility = "hidden";
  canvas.width = 160;
  canvas.height = 120;
  Module._vemu_resize(160, 120);
  for (let i = 0; Module._vemu_warm_scene(i); ++i) {
    await new Promise((resolve) => setTimeout(resolve, 0));
  }
  fitCanvas();
  Module._vemu_warm_scene(-1); // the frame the show stands on, at the canvas's size
  canvas.style.visibility = "";
  log("every scene drawn once in " + Math.round(performance.now() - began) + " ms");
}

// The show's moments noted in slices while nothing plays (the start screen,
// a pause), so that any seek runs up a few frames at most.
const background = (() => {
  let timer = 0;
  let began = 0;
  let whenDone = null;
  const slice = () => {
    timer = 0;
    if (Module._vemu_note_slice(8)) {
      timer = setTimeout(slice, 0);
      return;
    }
    if (began) {
      log("every moment noted in " + Math.round(performance.now() - began) + " ms");
      began = 0;
    }
    if (whenDone) {
      whenDone();
      whenDone = null;
    }
  };
  return {
    // Every moment, before the show is said to be ready: a seek then never
    // runs up far, the first one included.
    whole() {
      return new Promise((resolve) => {
        whenDone = resolve;
        this.start();
      });
    },
    start() {
      if (!timer) {
        began = began || performance.now();
        timer = setTimeout(slice, 0);
      }
    },
    stop() {
      clearTimeout(timer);
      timer = 0;
    },
  };
})();

function backToLauncher() {
  player.close();
  background.start();
  // The launcher starts the show from its start again.
  history.replaceState(null, "", location.pathname + location.search);
  startFrame = parseInt(query.get("from") || "", 10) || 0;
  if (document.fullscreenElement) {
    document.exitFullscreen().catch(() => {});
  }
  launcher.classList.remove("hidden");
  startButton.disabled = false;
}

// The start screen, laid out as the launcher lays its window: its picture
// scaled from the 1600 x 1200 design to the window and centred, its key red
// see-through, the start and quit faces shown while the pointer is over
// them, the full-screen toggle showing the choice. The launcher's own code
// gives the layout and draws the faces.
const launcherScreen = (() => {
  const backdrop = document.getElementById("backdrop");
  const quit = document.getElementById("quit");
  const toggle = document.getElementById("toggle");
  const toggles = [];
  let built = false;

  // A picture from the program: width, height, then RGBA rows top first.
  const programPicture = (which) => {
    const at = Module._vemu_launcher_picture(which);
    const words = new Int32Array(Module.HEAPU8.buffer, at, 2);
    const width = words[0];
    const height = words[1];
    const pixels = new Uint8ClampedArray(Module.HEAPU8.buffer, at + 8, width * height * 4);
    return new ImageData(new Uint8ClampedArray(pixels), width, height);
  };
  const paint = (canvasElement, picture) => {
    canvasElement.width = picture.width;
    canvasElement.height = picture.height;
    canvasElement.getContext("2d").putImageData(picture, 0, 0);
  };
  const place = (element, x, y, width, height) => {
    element.style.left = x + "px";
    element.style.top = y + "px";
    element.style.width = width + "px";
    element.style.height = height + "px";
  };
  const layOut = () => {
    if (!built) {
      return;
    }
    const lines = Module.UTF8ToString(
      Module._vemu_launcher_layout(window.innerWidth, window.innerHeight)).split("\n");
    const [marginX, marginY, width, height] = lines[0].split(" ").map(Number);
    place(backdrop, marginX, marginY, width, height);
    [quit, startButton, toggle].forEach((element, i) => {
      const [x, y, w, h] = lines[i + 1].split(" ").map(Number);
      place(element, x, y, w, h);
    });
  };
  const showChoice = () => {
    paint(toggle.querySelector("canvas"), toggles[fullScreenChoice]);
    toggle.setAttribute("aria-label", "Full screen: " + (fullScreenChoice === 1 ? "on" : "off"));
    toggle.setAttribute("aria-pressed", fullScreenChoice === 1 ? "true" : "false");
  };

  // "backgd.png" with its key red, and only that, made see-through.
  const loadBackground = () => new Promise((resolve) => {
    const image = new Image();
    image.onload = () => {
      backdrop.width = image.naturalWidth;
      backdrop.height = image.naturalHeight;
      const context = backdrop.getContext("2d", { willReadFrequently: true });
      context.drawImage(image, 0, 0);
      const picture = context.getImageData(0, 0, backdrop.width, backdrop.height);
      // A pixel at a time as one word: opaque pure red, in this machine's byte order.
      const pixels = new Uint32Array(picture.data.buffer);
      const red = new Uint32Array(new Uint8Array([255, 0, 0, 255]).buffer)[0];
      for (let i = 0; i < pixels.length; ++i) {
        if (pixels[i] === red) {
          pixels[i] = 0;
        }
      }
      context.putImageData(picture, 0, 0);
      resolve(true);
    };
    // Without it the launcher shows its toggle alone, as the launcher does.
    image.onerror = () => resolve(false);
    image.src = "backgd.png";
  });

  quit.addEventListener("click", () => {
    if (history.length > 1) {
      history.back();
    } else {
      say("Closed: reload the page to open the show again.");
      [quit, startButton, toggle, backdrop].forEach((e) => e.classList.add("hidden"));
    }
  });
  toggle.addEventListener("click", () => {
    fullScreenChoice = fullScreenChoice === 1 ? 0 : 1;
    showChoice();
  });
  window.addEventListener("resize", layOut);

  return {
    async build() {
      paint(quit.querySelector("canvas"), programPicture(0));
      paint(startButton.querySelector("canvas"), programPicture(1));
      toggles[0] = programPicture(2);
      toggles[1] = programPicture(3);
      showChoice();
      built = true;
      const background = await loadBackground();
      backdrop.classList.toggle("hidden", !background);
      [quit, startButton, toggle].forEach((e) => e.classList.remove("hidden"));
      layOut();
    },
  };
})();

// "1:04.4": minutes, seconds and tenths of frame's moment.
function clockText(frame) {
  const tenths = Math.floor(frame * kFrameMs / 100);
  const seconds = Math.floor(tenths / 10);
  return Math.floor(seconds / 60) + ":" + String(seconds % 60).padStart(2, "0") + "." + (tenths % 10);
}

// "HallPortraits" as "Hall portraits".
function sceneTitle(name) {
  return name.replace(/([a-z])([A-Z])/g, (_, a, b) => a + " " + b.toLowerCase());
}

// The player around a show that plays: a scrubber with the scenes as
// chapters, pause and resume, seeks by key, the moment kept in the address.
const player = (() => {
  const controls = document.getElementById("controls");
  const track = document.getElementById("track");
  const played = document.getElementById("played");
  const thumb = document.getElementById("thumb");
  const tip = document.getElementById("tip");
  const time = document.getElementById("time");
  const sceneLabel = document.getElementById("scene");
  const button = document.getElementById("playpause");
  const frames = kLastShownFrame + 1;
  let chapters = [];
  let open = false;
  let paused = false;
  let dragging = false;
  let fadeTimer = 0;
  let lastHash = "";

  const chapterAt = (frame) => {
    let found = null;
    for (const c of chapters) {
      if (frame >= c.first && frame <= c.last) {
        found = c;
      }
    }
    return found;
  };
  const frameAtX = (x) => {
    const box = track.getBoundingClientRect();
    return Math.round(Math.min(1, Math.max(0, (x - box.left) / box.width)) * kLastShownFrame);
  };
  const showPosition = (frame) => {
    const share = (100 * frame / frames).toFixed(3) + "%";
    played.style.width = share;
    thumb.style.left = share;
    time.textContent = clockText(frame) + " / " + clockText(frames);
    track.setAttribute("aria-valuenow", (frame * kFrameMs / 1000).toFixed(2));
    const chapter = chapterAt(frame);
    // Read as a time: "1:04 of 2:28, Hard flash".
    const spoken = (f) => clockText(f).replace(/\.[0-9]$/, "");
    track.setAttribute("aria-valuetext", spoken(frame) + " of " + spoken(frames) +
                       (chapter ? ", " + chapter.title : ""));
    sceneLabel.textContent = chapter ? chapter.title : "";
    for (const c of chapters) {
      c.marker.classList.toggle("current", c === chapter);
    }
  };
  const keepMoment = (frame) => {
    const hash = "#t=" + (frame * kFrameMs / 1000).toFixed(2);
    if (hash !== lastHash) {
      lastHash = hash;
      history.replaceState(null, "", hash);
    }
  };
  const fade = () => {
    clearTimeout(fadeTimer);
    controls.classList.remove("faded");
    document.body.classList.remove("faded");
    if (!paused && !dragging) {
      fadeTimer = setTimeout(() => {
        controls.classList.add("faded");
        document.body.classList.add("faded");
      }, 2500);
    }
  };
  const seek = (frame) => {
    const shown = Module._vemu_seek(Math.max(0, Math.min(kLastShownFrame, frame)));
    if (shown >= 0) {
      showPosition(shown);
      keepMoment(shown);
    }
    return shown;
  };
  const setPaused = (on) => {
    paused = on;
    Module._vemu_pause(on ? 1 : 0);
    if (navigator.mediaSession) {
      navigator.mediaSession.playbackState = on ? "paused" : "playing";
    }
    if (on) {
      background.start();
    } else {
      background.stop();
    }
    button.innerHTML = on ? "&#9654;" : "&#10074;&#10074;";
    button.setAttribute("aria-label", on ? "Play" : "Pause");
    fade();
  };
  // Media keys and a phone's lock screen drive the show as a video's.
  const session = navigator.mediaSession;
  const tellSession = (frame) => {
    if (session && session.setPositionState) {
      try {
        session.setPositionState({ duration: frames * kFrameMs / 1000, playbackRate: 1,
                                   position: Math.min(frame, frames) * kFrameMs / 1000 });
      } catch (e) {
        // A browser that refuses the state still takes the actions.
      }
    }
  };
  if (session) {
    const on = (action, handler) => {
      try {
        session.setActionHandler(action, handler);
      } catch (e) {
        // Not every browser knows every action.
      }
    };
    const by = (seconds) => seek(Module._vemu_position() + Math.round(seconds * 1000 / kFrameMs));
    on("play", () => open && setPaused(false));
    on("pause", () => open && setPaused(true));
    on("seekto", (details) => open && seek(Math.round(details.seekTime * 1000 / kFrameMs)));
    on("seekbackward", (details) => open && by(-(details.seekOffset || 5)));
    on("seekforward", (details) => open && by(details.seekOffset || 5));
  }
  const follow = () => {
    if (!open) {
      return;
    }
    if (!dragging) {
      const frame = Module._vemu_position();
      showPosition(frame);
      if (frame % 50 === 0 || paused) {
        keepMoment(frame);
        tellSession(frame);
      }
    }
    requestAnimationFrame(follow);
  };

  track.addEventListener("pointerdown", (event) => {
    dragging = true;
    track.setPointerCapture(event.pointerId);
    showPosition(frameAtX(event.clientX));
    fade();
  });
  track.addEventListener("pointermove", (event) => {
    const frame = frameAtX(event.clientX);
    const chapter = chapterAt(frame);
    tip.textContent = (chapter ? chapter.title + " · " : "") + clockText(frame);
    tip.style.left = (100 * frame / frames).toFixed(3) + "%";
    tip.classList.remove("hidden");
    if (dragging) {
      showPosition(frame);
    }
  });
  track.addEventListener("pointerleave", () => tip.classList.add("hidden"));
  track.addEventListener("pointerup", (event) => {
    if (dragging) {
      dragging = false;
      seek(frameAtX(event.clientX));
      fade();
    }
  });
  // Focus goes back to the page after a click, so Space pauses, not clicks again.
  button.addEventListener("click", () => {
    setPaused(!paused);
    button.blur();
  });
  // A finger: a tap on the picture shows the controls, a second one (while
  // they show) pauses or plays on.
  canvas.addEventListener("pointerup", (event) => {
    if (!open || event.pointerType === "mouse") {
      return;
    }
    if (controls.classList.contains("faded")) {
      fade();
    } else {
      setPaused(!paused);
    }
  });
  document.addEventListener("mousemove", () => {
    if (open) {
      fade();
    }
  });
  // A link into the show followed from the page itself.
  window.addEventListener("hashchange", () => {
    const frame = frameOfHash();
    if (frame === null || location.hash === lastHash) {
      return;
    }
    if (open) {
      seek(frame);
    } else {
      startFrame = frame;
      if (!startButton.disabled) {
        say("Ready: the show starts at " + clockText(frame));
      }
    }
  });

  return {
    // The chapters from the program's own schedule.
    build() {
      const list = Module.UTF8ToString(Module._vemu_chapters()).split("\n").filter(Boolean);
      const box = document.getElementById("chapters");
      chapters = list.map((line, i) => {
        const [first, name] = line.split("\t");
        return { first: parseInt(first, 10), title: sceneTitle(name), number: i + 1 };
      });
      chapters.forEach((c, i) => {
        c.last = Math.min(kLastShownFrame, i + 1 < chapters.length ? chapters[i + 1].first - 1 : kLastShownFrame);
        const segment = document.createElement("div");
        segment.className = "segment";
        segment.style.left = (100 * c.first / frames).toFixed(3) + "%";
        segment.style.width = (100 * (c.last - c.first + 1) / frames).toFixed(3) + "%";
        track.insertBefore(segment, played);
        c.marker = document.createElement("button");
        c.marker.className = "chapter";
        c.marker.textContent = String(c.number);
        c.marker.title = c.title + " (" + clockText(c.first) + ")";
        c.marker.setAttribute("aria-label", "Chapter " + c.number + ": " + c.title);
        c.centre = (c.first + (c.last - c.first) / 2) / frames;
        c.marker.style.left = (100 * c.centre).toFixed(3) + "%";
        c.marker.addEventListener("click", () => {
          seek(c.first);
          c.marker.blur();
          fade();
        });
        box.appendChild(c.marker);
      });
      this.prime();
    },
    // Laid out and painted while the start screen shows, all but unseen under
    // the launcher and out of reach: their first paint takes a software
    // renderer 100 ms and more, which the show's first frames would wait for.
    prime() {
      if (hold) {
        controls.classList.add("hidden"); // nothing over a held frame
        return;
      }
      controls.classList.add("primed");
      controls.inert = true;
      controls.classList.remove("hidden");
      this.layChapters();
    },
    // The numbers in rows, each on the first row where it clears the one
    // before it: a short scene's number beside its neighbour's (or, on a
    // narrow screen, finger-sized buttons) goes on a further row.
    layChapters() {
      const box = document.getElementById("chapters");
      const width = track.getBoundingClientRect().width;
      const rights = [];
      let rowHeight = 0;
      for (const c of chapters) {
        const size = c.marker.getBoundingClientRect();
        rowHeight = Math.max(rowHeight, size.height + 4);
        const left = c.centre * width - size.width / 2;
        let row = rights.findIndex((right) => right + 2 <= left);
        if (row < 0) {
          row = rights.length;
          rights.push(0);
        }
        rights[row] = left + size.width;
        c.marker.style.top = row * rowHeight + "px";
      }
      box.style.height = rights.length * rowHeight + "px";
    },
    open() {
      open = true;
      paused = false;
      if (session && window.MediaMetadata) {
        session.metadata = new MediaMetadata({
          title: "Vemu", artist: "a real-time demo",
          artwork: [{ src: "favicon.svg", sizes: "any", type: "image/svg+xml" }],
        });
      }
      button.innerHTML = "&#10074;&#10074;";
      controls.classList.remove("hidden", "primed");
      controls.inert = false;
      this.layChapters();
      fade();
      requestAnimationFrame(follow);
    },
    close() {
      open = false;
      clearTimeout(fadeTimer);
      controls.classList.remove("faded");
      this.prime();
      document.body.classList.remove("faded");
    },
    isOpen() {
      return open;
    },
    pause() {
      if (open && !paused) {
        setPaused(true);
      }
    },
    key(event) {
      const step = 5000 / kFrameMs;
      if (event.key === " " || event.code === "Space") {
        event.preventDefault();
        setPaused(!paused);
      } else if (event.key === "ArrowLeft" || event.key === "ArrowRight") {
        event.preventDefault();
        seek(Module._vemu_position() + (event.key === "ArrowLeft" ? -step : step));
        fade();
      }
    },
    seek: seek,
  };
})();

// For tests: from the held frame, a seek to each frame in turn, each frame
// shown laid on a sheet four wide, as ?frames lays them, and how long each
// took until its picture could be read (which waits for the GL's work). One
// task, so a headless browser's virtual time cannot cut it short.
function seekSheet(frames) {
  Module.fixedCanvas = true;
  canvas.width = 640;
  canvas.height = 480;
  Module._vemu_resize(640, 480);
  const columns = Math.min(4, frames.length);
  const sheet = document.createElement("canvas");
  sheet.width = 640 * columns;
  sheet.height = 480 * Math.ceil(frames.length / columns);
  const context = sheet.getContext("2d");
  log("seeks from frame " + Module._vemu_position());
  for (let i = 0; i < frames.length; ++i) {
    const began = performance.now();
    if (player.seek(frames[i]) !== frames[i]) {
      fail("no seek to frame " + frames[i]);
      return;
    }
    context.drawImage(canvas, (i % columns) * 640, Math.floor(i / columns) * 480);
    log("seek to frame " + frames[i] + ": " + (performance.now() - began).toFixed(1) + " ms");
  }
  player.close();
  document.getElementById("controls").classList.add("hidden"); // nothing over the sheet
  document.getElementById("stage").replaceChildren(sheet);
  sheet.style.position = "fixed";
  sheet.style.left = "0";
  sheet.style.top = "0";
  document.title = "frames drawn";
  log(frames.length + " frames drawn");
}

var Module = {
  canvas: canvas,
  print: (text) => logLine(text),
  printErr: (text) => logLine(text, true),
  vemuFitCanvas: () => fitCanvas(),
  vemuEvent: (event, drawn, caughtUp, meanLag, maxLag, longestPass, longestPassFrame,
              leastScale) => {
    if (event === "held") {
      document.title = "Vemu: held";
      log("held at frame " + startFrame);
      return; // the frame stays on the canvas, with nothing over it
    }
    log("show " + event + ": " + drawn + " frames drawn, " + caughtUp +
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
    // The launcher's picture while the data comes.
    const screen = framesParam === null ? launcherScreen.build() : null;
    await fetchDataUntilDone();
    if (framesParam !== null) {
      await drawFrames(framesParam.split(",").map((f) => parseInt(f, 10)));
      return;
    }
    await screen;
    const problem = await prepare();
    if (problem) {
      fail(problem);
      return;
    }
    await background.whole();
    await warmUp();
    player.build();
    say(startFrame > 0 ? "Ready: the show starts at " + clockText(startFrame) : "Ready");
    if (Module.vemuMissing) {
      // The show goes on without them, as on the desktop, and says so where
      // the viewer looks.
      say("Ready, but the show draws " + Module.vemuMissing.length + " picture" +
          (Module.vemuMissing.length === 1 ? "" : "s") + " blank: " + Module.vemuMissing.join(", "));
    }
    log("ready " + Math.round(performance.now()) + " ms after the page opened");
    startButton.disabled = false;
    if (autoplay) {
      fullScreenChoice = 0;
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
window.addEventListener("resize", () => {
  fitCanvas();
  if (player.isOpen()) {
    player.layChapters();
  }
});
document.addEventListener("keydown", (event) => {
  if (!launcher.classList.contains("hidden")) {
    return;
  }
  if (event.key === "Escape") {
    Module._vemu_stop();
  } else if (player.isOpen()) {
    player.key(event);
  }
});
