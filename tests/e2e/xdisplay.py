"""A private Xvfb display, driven with xdotool like a user would drive it.

Shared by the end-to-end tests and the benchmark suite: both start the real
program on a display of their own, find its windows by name and click and
type into them.
"""
import os
import subprocess
import time


class XDisplay:
    """Starts Xvfb on the first free display number in `numbers`."""

    def __init__(self, numbers=range(140, 260), width=1600, height=1000, black_root=False):
        self.process = None
        for number in numbers:
            if os.path.exists(f"/tmp/.X{number}-lock"):
                continue
            self.name = f":{number}"
            command = ["Xvfb", self.name, "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp"]
            if black_root:
                command.append("-br")  # anything drawn shows up against it
            self.process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.time() + 10
            while time.time() < deadline:
                if subprocess.run(["xdpyinfo", "-display", self.name], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL).returncode == 0:
                    return
                if self.process.poll() is not None:
                    break  # the number was taken after all: try the next one
                time.sleep(0.1)
            self.process.kill()
            self.process.wait()
            self.process = None
        raise RuntimeError("could not start Xvfb")

    def env(self):
        """The environment for a program shown on this display."""
        env = dict(os.environ)
        env["DISPLAY"] = self.name
        env.pop("QT_QPA_PLATFORM", None)
        return env

    def xdo(self, *args, check=True):
        result = subprocess.run(["xdotool", *args], env=self.env(), capture_output=True, text=True)
        if check and result.returncode != 0:
            raise RuntimeError(f"xdotool {' '.join(args)} failed: {result.stderr.strip()}")
        return result.stdout.strip()

    def find_window(self, name, timeout=20):
        """The newest visible window whose name matches `name`."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            out = self.xdo("search", "--onlyvisible", "--name", name, check=False)
            if out:
                return out.splitlines()[-1]
            time.sleep(0.05)
        raise RuntimeError(f"no window named {name!r} appeared")

    def window_gone(self, window, timeout=20):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.xdo("getwindowname", window, check=False) == "":
                return True
            visible = self.xdo("search", "--onlyvisible", "--name", ".*", check=False).split()
            if window not in visible:
                return True
            time.sleep(0.1)
        return False

    def click(self, window, x, y):
        """A real pointer click at window-relative pixel (x, y)."""
        self.xdo("mousemove", "--window", window, str(x), str(y))
        time.sleep(0.15)
        self.xdo("mousedown", "1")
        time.sleep(0.08)
        self.xdo("mouseup", "1")

    def enter_text(self, window, text):
        """Replaces the text of the focused field of `window` and confirms."""
        self.xdo("windowfocus", "--sync", window, check=False)
        self.xdo("key", "ctrl+a")
        self.xdo("type", text)
        self.xdo("key", "Return")

    def key(self, window, name):
        self.xdo("windowfocus", "--sync", window, check=False)
        self.xdo("key", "--clearmodifiers", name)

    def screenshot(self, path):
        subprocess.run(["import", "-display", self.name, "-window", "root", path],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self):
        if self.process:
            self.process.terminate()
            self.process.wait(5)
            self.process = None
