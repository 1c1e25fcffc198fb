#!/usr/bin/env python3
"""End-to-end tests of the real installer program under Xvfb.

A release folder is made with mkrelease from generated content, the built
`install` is copied into it, and the program is driven like a user would:
real pointer clicks and key presses through xdotool. Screenshots of every
step are kept in the output folder.

Scenarios:
  install   click Install, make a folder in the dialog, OK, wait for the run,
            compare every extracted file with its source, press Esc: exit 0
  escape    Esc on the idle title screen: exit code 0
  badini    NUMFILES=12x: the start-up error box, then exit code 1
  drag      a press on the background and a move drag the borderless window;
            a press on a button does not
  hidpi     at a scale factor of 2 the window is 1142 x 612, pixels stay
            sharp and the pointer still finds the buttons
"""
import argparse
import hashlib
import os
import random
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from xdisplay import XDisplay  # noqa: E402


def log(*args):
    print(*args, flush=True)


def screenshot(display, path):
    display.screenshot(path)
    log("screenshot", path)


def make_content(root):
    """Deterministic sample content: text, incompressible data, odd names."""
    rng = random.Random(1234)
    words = ("lantern harbour quiet copper meadow signal orbit ember glacier "
             "willow cobalt thunder pixel atlas").split()
    files = {
        "readme.txt": ("\r\n".join(" ".join(rng.choice(words) for _ in range(12))
                                   for _ in range(4000))).encode(),
        "data/level 01.bin": bytes(rng.getrandbits(8) for _ in range(700_000)),
        "data/empty.dat": b"",
        "data/deep/er/still/notes.txt": b"deep file\r\n" * 500,
        "music/track.raw": bytes((i * 7 + (i >> 8)) & 0xFF for i in range(900_000)),
    }
    for name, data in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as handle:
            handle.write(data)
    return files


def md5(path):
    with open(path, "rb") as handle:
        return hashlib.md5(handle.read()).hexdigest()


def make_release(args, work):
    content = os.path.join(work, "content")
    release = os.path.join(work, "release")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(content)
    files = make_content(content)
    extras = os.path.join(work, "extras")
    os.makedirs(extras)
    nfo = os.path.join(extras, "release.nfo")
    with open(nfo, "wb") as handle:
        handle.write(b"\xdb\xdb\xdb E2E RELEASE \xdb\xdb\xdb\r\n\xb0\xb1\xb2 test \xb2\xb1\xb0\r\n")
    for name in ("settings.reg", "extra.reg"):
        with open(os.path.join(extras, name), "wb") as handle:
            handle.write(b"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\E2E]\r\n\"Name\"=\"" +
                         name.encode() + b"\"\r\n")
    command = [args.mkrelease, "--title", "End To End", "--publisher", "Test Bench",
               "--default-dir", "e2e-game", "--volume-size", "600000",
               "--nfo", nfo, "--reg", os.path.join(extras, "settings.reg"),
               "--reg", os.path.join(extras, "extra.reg"), "--quiet", content, release]
    if args.mesh:
        command[1:1] = ["--emblem", args.mesh]
    log("running", " ".join(command))
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    shutil.copy2(args.install, os.path.join(release, "install"))
    return release, files


def start_install(display, release, extra_env=None):
    env = display.env()
    env.update(extra_env or {})
    return subprocess.Popen([os.path.join(release, "install")], cwd="/", env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def geometry(display, window):
    values = dict(line.split("=", 1) for line in
                  display.xdo("getwindowgeometry", "--shell", window).splitlines())
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def pixels(path, x, y, width, height):
    """The colours of a rectangle of a screenshot: {(x, y): (r, g, b)}."""
    out = subprocess.run(["convert", path, "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                          "-depth", "8", "txt:-"], capture_output=True, text=True, check=True).stdout
    result = {}
    for line in out.splitlines()[1:]:
        where, rest = line.split(":", 1)
        px, py = (int(v) for v in where.split(","))
        colour = rest.split("(", 1)[1].split(")", 1)[0].split(",")[:3]
        result[(x + px, y + py)] = tuple(int(float(v)) for v in colour)
    return result


def finish(process, timeout=20):
    try:
        return process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        raise RuntimeError("the program did not end")


def escape_ends_with_zero(display, window, program):
    """Esc on the main window ends the program with exit code 0."""
    display.key(window, "Escape")
    code = finish(program)
    if code != 0:
        raise RuntimeError(f"exit code {code} after Esc, expected 0")


def scenario_install(args, display):
    release, files = make_release(args, os.path.join(args.work, "install"))
    target = os.path.join(release, "e2e-target")
    program = start_install(display, release)
    try:
        main = display.find_window("^Install$")
        time.sleep(1.0)
        screenshot(display, os.path.join(args.screens, "1-title-screen.png"))
        display.click(main, 65, 52)  # the Install button at (0, 30), 130 x 44
        dialog = display.find_window("^Form2$")
        time.sleep(0.5)
        screenshot(display, os.path.join(args.screens, "2-folder-dialog.png"))
        display.click(dialog, 254, 48)  # New folder
        box = display.find_window("^New folder$")
        display.enter_text(box, "e2e-target")
        time.sleep(0.5)
        display.click(dialog, 254, 18)  # OK
        deadline = time.time() + 120
        shot = False
        while time.time() < deadline:
            if os.path.exists(os.path.join(target, "extra.reg")):
                break
            if not shot and os.path.isdir(target):
                time.sleep(0.3)
                screenshot(display, os.path.join(args.screens, "3-progress.png"))
                shot = True
            if program.poll() is not None:
                raise RuntimeError("the program ended during the run: " +
                                   program.stderr.read().decode(errors="replace"))
            time.sleep(0.05)
        else:
            raise RuntimeError("the installation did not finish in time")
        time.sleep(1.0)
        screenshot(display, os.path.join(args.screens, "4-after-install.png"))
        bad = []
        for name in files:
            path = os.path.join(target, name)
            source = os.path.join(args.work, "install", "content", name)
            if not os.path.isfile(path) or md5(path) != md5(source):
                bad.append(name)
        if bad:
            raise RuntimeError(f"extracted files differ or are missing: {bad}")
        log(f"all {len(files)} files extracted intact; registry files copied")
        escape_ends_with_zero(display, main, program)
    finally:
        if program.poll() is None:
            program.kill()


def scenario_escape(args, display):
    release, _ = make_release(args, os.path.join(args.work, "escape"))
    program = start_install(display, release)
    main = display.find_window("^Install$")
    time.sleep(0.5)
    escape_ends_with_zero(display, main, program)
    log("Esc on the title screen: exit code 0")


def scenario_badini(args, display):
    release, _ = make_release(args, os.path.join(args.work, "badini"))
    with open(os.path.join(release, "install.ini"), "a") as handle:
        handle.write("")
    ini = os.path.join(release, "install.ini")
    text = open(ini, encoding="latin-1").read()
    lines = [l for l in text.splitlines() if not l.upper().startswith("NUMFILES")]
    lines.insert(1, "NUMFILES=12x")
    open(ini, "w", encoding="latin-1").write("\r\n".join(lines) + "\r\n")
    program = start_install(display, release)
    box = display.find_window("^Application Error$")
    screenshot(display, os.path.join(args.screens, "5-startup-error.png"))
    display.key(box, "Return")
    code = finish(program)
    if code != 1:
        raise RuntimeError(f"exit code {code} with a broken install.ini, expected 1")
    log("broken install.ini: error box, exit code 1")


def scenario_drag(args, display):
    release, _ = make_release(args, os.path.join(args.work, "drag"))
    program = start_install(display, release)
    try:
        main = display.find_window("^Install$")
        time.sleep(0.5)
        x0, y0, _, _ = geometry(display, main)
        display.xdo("mousemove", "--window", main, "300", "200")
        display.xdo("mousedown", "1")
        for step in range(1, 6):
            display.xdo("mousemove", str(x0 + 300 + 10 * step), str(y0 + 200 + 8 * step))
            time.sleep(0.05)
        display.xdo("mouseup", "1")
        time.sleep(0.3)
        x1, y1, _, _ = geometry(display, main)
        if (x1 - x0, y1 - y0) != (50, 40):
            raise RuntimeError(f"dragging moved the window by {(x1 - x0, y1 - y0)}, expected (50, 40)")
        # A press on the NFO button that moves stays the button's: no drag.
        display.xdo("mousemove", "--window", main, "60", "100")
        display.xdo("mousedown", "1")
        display.xdo("mousemove", str(x1 + 90), str(y1 + 110))
        time.sleep(0.1)
        x2, y2, _, _ = geometry(display, main)
        display.xdo("mousemove", str(x1 + 200), str(y1 + 250))  # leave the buttons before release
        display.xdo("mouseup", "1")
        if (x2, y2) != (x1, y1):
            raise RuntimeError("a press on a button moved the window")
        escape_ends_with_zero(display, main, program)
        log("background drag moved the window by (50, 40); button presses do not drag")
    finally:
        if program.poll() is None:
            program.kill()


def scenario_hidpi(args, display):
    release, _ = make_release(args, os.path.join(args.work, "hidpi"))
    program = start_install(display, release, {"QT_SCALE_FACTOR": "2"})
    try:
        main = display.find_window("^Install$")
        time.sleep(1.0)
        x, y, width, height = geometry(display, main)
        if (width, height) != (1142, 612):
            raise RuntimeError(f"window is {width} x {height} at scale 2, expected 1142 x 612")
        normal = os.path.join(args.screens, "6-hidpi-normal.png")
        screenshot(display, normal)
        # Device pixel (130, 104) is surface pixel (65, 52): inside the Install
        # button's hot area, whose picture changes to the hover state.
        display.xdo("mousemove", "--window", main, "130", "104")
        time.sleep(0.5)
        hover = os.path.join(args.screens, "7-hidpi-hover.png")
        screenshot(display, hover)
        before = pixels(normal, x + 8, y + 64, 1, 1)[(x + 8, y + 64)]
        after = pixels(hover, x + 8, y + 64, 1, 1)[(x + 8, y + 64)]
        if before == after:
            raise RuntimeError(f"no hover state under the pointer at scale 2 ({before})")
        # Whole-factor scaling: each surface pixel is a 2 x 2 block of one colour.
        area = pixels(normal, x, y + 60, 240, 40)
        for px in range(0, 240, 2):
            for py in range(0, 40, 2):
                block = {area[(x + px + dx, y + 60 + py + dy)] for dx in (0, 1) for dy in (0, 1)}
                if len(block) != 1:
                    raise RuntimeError(f"pixels are not sharp 2 x 2 blocks at ({px}, {60 + py})")
        escape_ends_with_zero(display, main, program)
        log("scale 2: 1142 x 612, sharp 2 x 2 pixels, hover found under the pointer")
    finally:
        if program.poll() is None:
            program.kill()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", choices=["install", "escape", "badini", "drag", "hidpi"])
    parser.add_argument("--install", required=True)
    parser.add_argument("--mkrelease", required=True)
    parser.add_argument("--mesh")
    parser.add_argument("--work", required=True)
    parser.add_argument("--screens", required=True)
    args = parser.parse_args()
    os.makedirs(args.screens, exist_ok=True)
    display = XDisplay(numbers=range(140, 200))
    try:
        {"install": scenario_install, "escape": scenario_escape, "badini": scenario_badini,
         "drag": scenario_drag, "hidpi": scenario_hidpi}[args.scenario](args, display)
    except Exception as error:  # report and fail the test
        log("FAILED:", error)
        screenshot(display, os.path.join(args.screens, f"failed-{args.scenario}.png"))
        return 1
    finally:
        display.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
