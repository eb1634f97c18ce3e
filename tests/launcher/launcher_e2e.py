#!/usr/bin/env python3
"""Zantho1 end to end on its own Xvfb display, driven by xdotool.

Usage: launcher_e2e.py ZANTHO1 APP_SO

The launcher runs from a temporary package folder (Zantho1, app.so and a
stand-in `demo` that records its arguments and working directory) with the
working directory holding a test backgd.png. Screens are read back with
ImageMagick's `import` and compared pixel by pixel.
"""

import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ZANTHO1, APP_SO = sys.argv[1], sys.argv[2]
SCREEN_W, SCREEN_H = 1024, 768
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def start_xvfb():
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
         f"{SCREEN_W}x{SCREEN_H}x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    deadline = time.time() + 20
    while not number.endswith(b"\n") and time.time() < deadline:
        ready, _, _ = select.select([read_end], [], [], 0.5)
        if ready:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
    os.close(read_end)
    if not number.strip():
        xvfb.kill()
        sys.exit("Xvfb did not start")
    return xvfb, ":" + number.decode().strip()


def run(args, env, **kwargs):
    return subprocess.run(args, env=env, capture_output=True, text=True, timeout=20, **kwargs)


class Screen:
    def __init__(self, env):
        self.env = env

    def grab(self, keep_as=None):
        # A busy X server now and then refuses a connection: try again.
        for _ in range(20):
            data = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                                  env=self.env, capture_output=True, timeout=20).stdout
            if data.startswith(b"P6"):
                break
            time.sleep(0.1)
        else:
            sys.exit("import could not read the screen")
        if keep_as:
            subprocess.run(["import", "-window", "root", keep_as], env=self.env, timeout=20)
        # P6 header: magic, width, height, maxval, then RGB bytes.
        fields, pos = [], 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            start = pos
            while not data[pos:pos + 1].isspace():
                pos += 1
            fields.append(data[start:pos])
        width = int(fields[1])
        pixels = data[pos + 1:]
        return lambda x, y: tuple(pixels[(y * width + x) * 3:(y * width + x) * 3 + 3])

    def wait_for(self, x, y, predicate, timeout=5.0):
        """Polls until the pixel at (x, y) satisfies predicate; returns the last value."""
        deadline = time.time() + timeout
        while True:
            value = self.grab()(x, y)
            if predicate(value) or time.time() > deadline:
                return value
            time.sleep(0.05)


def xdotool(env, *args):
    return run(["xdotool", *args], env).stdout.strip()


def find_window(env, name, timeout=10.0, visible=True):
    deadline = time.time() + timeout
    while time.time() < deadline:
        args = ["search"] + (["--onlyvisible"] if visible else []) + ["--name", name]
        ids = xdotool(env, *args).split()
        if ids:
            return ids[0]
        time.sleep(0.1)
    return None


def find_box(env, title, timeout=10.0):
    """A mapped top-level window titled exactly `title`, as a decimal id.

    SDL titles its message boxes with a UTF8_STRING WM_NAME, which xdotool's
    name search does not read; xwininfo does.
    """
    deadline = time.time() + timeout
    while time.time() < deadline:
        tree = run(["xwininfo", "-root", "-children"], env).stdout
        for line in tree.splitlines():
            parts = line.split()
            if len(parts) >= 2 and parts[0].startswith("0x") and parts[1] == f'"{title}":':
                info = run(["xwininfo", "-id", parts[0]], env).stdout
                if "IsViewable" in info:
                    return str(int(parts[0], 16))
        time.sleep(0.1)
    return None


def window_under(env, x, y):
    xdotool(env, "mousemove", str(x), str(y))
    for line in xdotool(env, "getmouselocation", "--shell").splitlines():
        if line.startswith("WINDOW="):
            return line.split("=", 1)[1]
    return None


def make_background(path):
    # The 1600 x 1200 design: a blue body with red surroundings, the normal
    # faces of the buttons, a pure red hole and a near-red square in it.
    subprocess.run(
        ["convert", "-size", "1600x1200", "xc:#ff0000",
         "-fill", "#3060a0", "-draw", "rectangle 100,100 1499,1099",
         "-fill", "#00a000", "-draw", "rectangle 580,655 867,722",
         "-fill", "#a0a000", "-draw", "rectangle 1020,310 1119,409",
         "-fill", "#ff0000", "-draw", "rectangle 700,800 799,899",
         "-fill", "#fe0000", "-draw", "rectangle 900,800 999,899",
         "-type", "TrueColor", "PNG24:" + path], check=True, timeout=60)


BLUE_BODY = (0x30, 0x60, 0xA0)
QUIT_NORMAL = (0xA0, 0xA0, 0x00)
START_NORMAL = (0x00, 0xA0, 0x00)
CROSS_BLUE = (0x28, 0x60, 0xFF)
DARK_GREY = (0x40, 0x40, 0x40)
RED = (0xFF, 0x00, 0x00)

# 1024 x 768: scale 0.64, no margins.
QUIT_CENTRE = (685, 230)      # Image2 inside while 653 < x < 717, 198 < y < 262
QUIT_CORNER = (655, 200)      # key red in the face: see-through while shown
START_POINT = (460, 440)      # Image3 inside while 371 < x < 555.32, 419 < y < 462.52
START_FACE_PIXEL = (375, 423)  # dark grey of the start face, green underneath
TOGGLE = (618, 320, 105, 89)  # Image5 in window pixels
HOLE = (480, 544)             # pure red inside backgd.png
NEAR_RED = (608, 544)         # (254, 0, 0) inside backgd.png


class Launcher:
    def __init__(self, env, package, workdir):
        self.env = env
        self.package = package
        # Its own session, so that stopping it also stops anything it started.
        self.proc = subprocess.Popen([os.path.join(package, "Zantho1")], cwd=workdir, env=env,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                     start_new_session=True)

    def wait(self, timeout=10.0):
        try:
            out, err = self.proc.communicate(timeout=timeout)
            return self.proc.returncode, err
        except subprocess.TimeoutExpired:
            return None, ""

    def stop(self):
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        try:
            self.proc.communicate(timeout=5)
        except subprocess.TimeoutExpired:
            pass


def record_path(package):
    return os.path.join(package, "demo-record.txt")


def read_record(package, timeout=5.0):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if os.path.exists(record_path(package)) and os.path.getsize(record_path(package)) > 0:
            time.sleep(0.05)
            with open(record_path(package)) as f:
                return f.read().strip()
        time.sleep(0.05)
    return None


def describe_missing_window(env, launcher):
    """What there is instead, so that a rare failure can be understood from the log."""
    status = launcher.proc.poll()
    print(f"     launcher status: {'running' if status is None else status}", flush=True)
    if status is not None:
        print("     launcher stderr: " + launcher.proc.stderr.read().strip(), flush=True)
    tree = run(["xwininfo", "-root", "-tree"], env).stdout
    print("     windows:\n" + "\n".join("       " + line for line in tree.splitlines()[:40]),
          flush=True)


def first_shape(env, timeout=10.0):
    """The launcher window's shape extents when first seen mapped ("none": unshaped)."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        window = xdotool(env, "search", "--onlyvisible", "--name", "^Form1$").split()
        if window:
            info = run(["xwininfo", "-shape", "-id", window[0]], env).stdout
            for line in info.splitlines():
                if "Window shape extents" in line:
                    return line.split(":", 1)[1].strip()
                if "No window shape defined" in line:
                    return "none"
        time.sleep(0.01)
    return None


def shown(screen, point, colour, timeout=3.0):
    return screen.wait_for(*point, lambda p: p == colour, timeout) == colour


def main():
    xvfb, display = start_xvfb()
    base = tempfile.mkdtemp(prefix="zantho1_e2e_")
    env = dict(os.environ, DISPLAY=display)
    env.pop("WAYLAND_DISPLAY", None)
    env.pop("SDL_VIDEODRIVER", None)
    launchers = []
    try:
        package = os.path.join(base, "package")
        workdir = os.path.join(base, "work")
        os.makedirs(package)
        os.makedirs(workdir)
        shutil.copy2(ZANTHO1, os.path.join(package, "Zantho1"))
        shutil.copy2(APP_SO, os.path.join(package, "app.so"))
        demo = os.path.join(package, "demo")
        with open(demo, "w") as f:
            f.write('#!/bin/sh\nprintf "%s|%s|%s\\n" "$#" "$*" "$(pwd)" > "$(dirname "$0")/demo-record.txt"\n')
        os.chmod(demo, 0o755)
        make_background(os.path.join(workdir, "backgd.png"))
        screen = Screen(env)
        xdotool(env, "mousemove", "5", "5")
        root_before = screen.grab()

        def launch(extra_env=None, expect=BLUE_BODY):
            launcher = Launcher(dict(env, **(extra_env or {})), package, workdir)
            launchers.append(launcher)
            window = find_window(env, "^Form1$")
            if not check(window is not None, "the launcher window appears"):
                describe_missing_window(env, launcher)
            check(shown(screen, (300, 300), expect), "the background picture is painted")
            return launcher, window

        # Run 1: shaped from its first mapped frame (an unshaped window over
        # the whole screen would show, if only for the picture's decoding).
        launcher = Launcher(env, package, workdir)
        launchers.append(launcher)
        extents = first_shape(env)
        check(extents not in (None, "none") and not extents.startswith(f"{SCREEN_W}x{SCREEN_H}"),
              f"the window is shaped when first mapped (shape extents {extents})")
        launcher.stop()
        # What the window shows, the hover faces' edges, start with 1.
        launcher, window = launch()
        look = screen.grab(keep_as=os.path.join(os.getcwd(), "launcher_e2e_screen.png"))
        check(look(300, 300) == BLUE_BODY, "background body colour")
        check(look(10, 10) == root_before(10, 10) and look(10, 10) != RED,
              "the red surroundings are not drawn: the root shows through")
        check(look(*HOLE) == root_before(*HOLE) and look(*HOLE) != RED,
              "pure red inside the picture is see-through")
        check(look(*NEAR_RED) == (0xFE, 0, 0), "near-red inside the picture is drawn")
        check(look(TOGGLE[0] + 2, TOGGLE[1] + 2) == DARK_GREY, "the toggle shows its picture")
        white = sum(1 for y in range(TOGGLE[1], TOGGLE[1] + TOGGLE[3])
                    for x in range(TOGGLE[0], TOGGLE[0] + TOGGLE[2]) if look(x, y) == (255, 255, 255))
        check(white > 50, f"the toggle's white text and dots show ({white} white pixels)")
        check(look(*QUIT_CENTRE) == QUIT_NORMAL and look(*START_POINT) == START_NORMAL,
              "no hover face while the cursor is away")
        check(window_under(env, *HOLE) != window, "clicks at the see-through hole reach the root")
        check(window_under(env, 300, 300) == window, "the painted picture takes the mouse")

        for x, y, inside in [(654, 230, True), (653, 230, False), (716, 230, True),
                             (717, 230, False), (685, 199, True), (685, 198, False),
                             (685, 261, True), (685, 262, False)]:
            xdotool(env, "mousemove", str(x), str(y))
            expected = CROSS_BLUE if inside else QUIT_NORMAL
            value = screen.wait_for(*QUIT_CENTRE, lambda p: p == expected)
            check(value == expected, f"quit face {'shown' if inside else 'hidden'} at ({x}, {y})")
        xdotool(env, "mousemove", *map(str, QUIT_CENTRE))
        shown(screen, QUIT_CENTRE, CROSS_BLUE)
        look = screen.grab(keep_as=os.path.join(os.getcwd(), "launcher_e2e_hover.png"))
        check(look(*QUIT_CORNER) == root_before(*QUIT_CORNER),
              "the quit face's red corners are see-through")

        xdotool(env, "key", "a")
        xdotool(env, "mousemove", "300", "300", "click", "1")
        time.sleep(0.2)
        check(launcher.proc.poll() is None, "a key press and a click on the picture change nothing")

        xdotool(env, "mousemove", *map(str, START_POINT))
        check(shown(screen, START_FACE_PIXEL, DARK_GREY), "the start face shows under the cursor")
        xdotool(env, "click", "1")
        status, err = launcher.wait()
        check(status == 0, f"the launcher ends after starting the demo (status {status}) {err}")
        check(read_record(package) == f"1|1|{workdir}",
              "start with no toggle click runs `demo 1` in the launcher's directory")
        os.remove(record_path(package))

        # Run 2: one click on the toggle, then start: `demo 0`.
        launcher, window = launch()
        before = screen.grab()
        xdotool(env, "mousemove", str(TOGGLE[0] + 50), str(TOGGLE[1] + 44), "click", "1")
        deadline = time.time() + 3
        changed = 0
        while time.time() < deadline and changed < 20:
            after = screen.grab()
            changed = sum(1 for y in range(TOGGLE[1], TOGGLE[1] + TOGGLE[3])
                          for x in range(TOGGLE[0], TOGGLE[0] + TOGGLE[2])
                          if after(x, y) != before(x, y))
        check(changed >= 20, f"the toggle switches its picture ({changed} pixels changed)")
        xdotool(env, "mousemove", *map(str, START_POINT))
        shown(screen, START_FACE_PIXEL, DARK_GREY)
        xdotool(env, "click", "1")
        status, err = launcher.wait()
        check(status == 0 and read_record(package) == f"1|0|{workdir}",
              f"after one toggle click start runs `demo 0` (status {status}: {err.strip()})")
        os.remove(record_path(package))

        # Run 3: quit.
        launcher, window = launch()
        xdotool(env, "mousemove", *map(str, QUIT_CENTRE))
        shown(screen, QUIT_CENTRE, CROSS_BLUE)
        xdotool(env, "click", "1")
        status, _ = launcher.wait()
        check(status == 0, f"a click on the quit face ends the launcher (status {status})")
        check(read_record(package, timeout=0.5) is None, "quitting starts nothing")

        # Runs 3b and 3c: a display that cannot shape windows. The window is
        # opaque, its surroundings painted red, and every control works.
        opaque = {"VEMU_NO_SHAPED_WINDOWS": "1"}
        launcher, window = launch(opaque)
        check(shown(screen, (10, 10), RED), "without shapes, the red surroundings are painted")
        check(window_under(env, *HOLE) == window, "without shapes, the window takes every click")
        xdotool(env, "mousemove", *map(str, QUIT_CENTRE))
        check(shown(screen, QUIT_CENTRE, CROSS_BLUE), "without shapes, the quit face shows")
        xdotool(env, "click", "1")
        status, err = launcher.wait()
        check(status == 0 and "opaque" in err,
              f"without shapes, the quit face quits and stderr says why the window is opaque "
              f"(status {status}: {err.strip()})")
        launcher, window = launch(opaque)
        xdotool(env, "mousemove", str(TOGGLE[0] + 50), str(TOGGLE[1] + 44), "click", "1")
        time.sleep(0.3)
        xdotool(env, "mousemove", *map(str, START_POINT))
        check(shown(screen, START_FACE_PIXEL, DARK_GREY), "without shapes, the start face shows")
        xdotool(env, "click", "1")
        status, err = launcher.wait()
        check(status == 0 and read_record(package) == f"1|0|{workdir}",
              f"without shapes, toggle then start runs `demo 0` (status {status}: {err.strip()})")
        os.remove(record_path(package))

        # Run 4: no demo beside the launcher.
        os.remove(demo)
        launcher, window = launch()
        xdotool(env, "mousemove", *map(str, START_POINT))
        shown(screen, START_FACE_PIXEL, DARK_GREY)
        xdotool(env, "click", "1")
        box = find_box(env, "Zantho1")
        check(box is not None, "the box titled Zantho1 appears")
        check(find_window(env, "^Form1$", timeout=0.5) is None, "the launcher window is hidden")
        check(launcher.proc.poll() is None, "the launcher waits for the box")
        if box:
            xdotool(env, "windowfocus", "--sync", box)
            xdotool(env, "key", "Return")
        status, err = launcher.wait()
        check(status is not None and status != 0 and "... ?" in err,
              f"after the box the launcher ends, failed (status {status}: {err.strip()})")

        # Run 5: no app.so beside the launcher.
        os.remove(os.path.join(package, "app.so"))
        launcher = Launcher(env, package, workdir)
        launchers.append(launcher)
        box = find_box(env, "Zantho1")
        check(box is not None, "a missing app.so is reported in a box")
        if box:
            xdotool(env, "windowfocus", "--sync", box)
            xdotool(env, "key", "Return")
        status, err = launcher.wait()
        check(status is not None and status != 0 and "app.so" in err,
              f"a missing app.so ends the launcher, failed (status {status}: {err.strip()})")

        # No display at all: a message and a failure, never a hang.
        bare = {k: v for k, v in env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        result = subprocess.run([ZANTHO1], env=bare, capture_output=True, text=True, timeout=30)
        check(result.returncode != 0 and "display" in result.stderr,
              f"without a display: status {result.returncode}, {result.stderr.strip()}")
        offscreen = dict(bare, SDL_VIDEODRIVER="offscreen")
        result = subprocess.run([ZANTHO1], env=offscreen, capture_output=True, text=True,
                                timeout=30)
        check(result.returncode != 0 and result.stderr.strip() != "",
              f"on an invisible video driver: status {result.returncode}, "
              f"{result.stderr.strip()}")
        result = subprocess.run([ZANTHO1, "--help"], env=bare, capture_output=True, text=True,
                                timeout=30)
        check(result.returncode == 0 and "Usage" in result.stdout, "--help prints the usage")
    finally:
        for launcher in launchers:
            launcher.stop()
        xvfb.terminate()
        try:
            xvfb.wait(timeout=10)
        except subprocess.TimeoutExpired:
            xvfb.kill()
        shutil.rmtree(base, ignore_errors=True)

    if failures:
        print(f"{len(failures)} check(s) failed", flush=True)
        sys.exit(1)
    print("all checks passed", flush=True)


if __name__ == "__main__":
    main()
