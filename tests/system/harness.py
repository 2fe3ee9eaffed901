"""What every system check shares: the register of checks and fixtures, the runner CTest calls,
processes that outlive one check, and small waiting and X display helpers.

A driver is a Python file that makes a Driver, declares its checks with decorators and ends with
driver.main(). CTest runs it one check at a time:

    python3 DRIVER.py --list      one line per fixture step and check, for CMake
    python3 DRIVER.py NAME        runs one; exit 0 when it holds, 1 with the reason when not

Fixture steps share what they make through files in the driver's work directory
(MORVIK2_WORK_DIR); CTest runs a check's fixture setup first, also when the check runs alone.
"""

import json
import os
import signal
import subprocess
import sys
import time
import traceback
from pathlib import Path

SOURCE = Path(os.environ.get("MORVIK2_SOURCE_DIR", Path(__file__).resolve().parents[2]))
BUILD = Path(os.environ.get("MORVIK2_BUILD_DIR", SOURCE / "build"))


class CheckFailed(Exception):
    """A check that does not hold; its text is the whole report."""


def expect(condition, message):
    if not condition:
        raise CheckFailed(message)


def expect_equal(actual, expected, what):
    if actual != expected:
        raise CheckFailed(f"{what}: {actual!r}, expected {expected!r}")


def tail(text, lines=15):
    """The end of a log, indented, for a failure's report."""
    if isinstance(text, Path):
        text = text.read_text(errors="replace") if text.exists() else ""
    kept = [line.rstrip("\r") for line in text.splitlines()[-lines:]]
    return "\n".join("    " + line for line in kept)


def wait_until(condition, seconds, what, interval=0.1):
    """Polls until condition() gives a true value and returns it; fails naming `what`."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise CheckFailed(f"{what}: not within {seconds} s")
        time.sleep(interval)


def run(command, timeout, what=None, check=True, **options):
    """Runs a command to its end with its output captured as text; fails with its output when
    it exits non-zero (check) or outlives `timeout`."""
    options.setdefault("stdin", subprocess.DEVNULL)
    try:
        done = subprocess.run(command, capture_output=True, text=True, errors="replace",
                              timeout=timeout, **options)
    except subprocess.TimeoutExpired as expired:
        raise CheckFailed(f"{what or command[0]}: still running after {timeout} s\n"
                          f"{tail(expired.stdout or '')}{tail(expired.stderr or '')}")
    if check and done.returncode != 0:
        raise CheckFailed(f"{what or command[0]}: exit status {done.returncode}\n"
                          f"{tail(done.stdout)}\n{tail(done.stderr)}")
    return done


class Work:
    """The driver's work directory: files, a JSON state, and the processes a fixture leaves
    running for the checks after it."""

    def __init__(self, path):
        self.path = Path(path)
        self.path.mkdir(parents=True, exist_ok=True)
        self._state = self.path / "state.json"
        self._pids = self.path / "pids"

    def state(self):
        return json.loads(self._state.read_text()) if self._state.exists() else {}

    def remember(self, **values):
        state = self.state()
        state.update(values)
        self._state.write_text(json.dumps(state, indent=1))

    def forget(self):
        self._state.unlink(missing_ok=True)

    def start(self, command, name, **options):
        """Starts a process in a session of its own, its output in NAME.out and NAME.err, and
        records it for stop_all()."""
        options.setdefault("stdin", subprocess.DEVNULL)
        process = subprocess.Popen(command, start_new_session=True,
                                   stdout=open(self.path / f"{name}.out", "wb"),
                                   stderr=open(self.path / f"{name}.err", "wb"), **options)
        with open(self._pids, "a") as pids:
            pids.write(f"{process.pid}\n")
        return process

    def log(self, name):
        return self.path / name

    def stop_all(self):
        """Ends every process start() recorded, with its whole session."""
        if not self._pids.exists():
            return
        for pid in {int(line) for line in self._pids.read_text().split()}:
            stop_session(pid)
        self._pids.unlink()


def stop_session(pid, grace=5):
    """SIGTERM to the process's session, then SIGKILL to what is left after `grace` seconds."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(pid, sig)
        except (ProcessLookupError, PermissionError):
            return
        deadline = time.monotonic() + grace
        while time.monotonic() < deadline:
            try:
                if os.waitpid(pid, os.WNOHANG)[0] == pid:
                    return
            except ChildProcessError:
                pass
            try:
                os.killpg(pid, 0)
            except ProcessLookupError:
                return
            time.sleep(0.05)


def start_display(work, name="x", size="1024x768x24"):
    """A private X display (Xvfb) with openbox managing it, left running for later checks.
    Returns the DISPLAY value, once the window manager manages the screen: a window mapped
    while it is still starting can stay unmapped for good."""
    read, write = os.pipe()
    # Keys repeat only after a minute: on a busy machine xdotool's key release can come late
    # enough for X to repeat the key, and one Down would move a list by several items.
    work.start(["Xvfb", "-displayfd", str(write), "-screen", "0", size, "-nolisten", "tcp",
                "-ardelay", "60000"], f"{name}-xvfb", pass_fds=(write,))
    os.close(write)
    with os.fdopen(read) as numbers:
        number = numbers.readline().strip()
    expect(number, "Xvfb did not start:\n" + tail(work.log(f"{name}-xvfb.err")))
    display = f":{number}"
    environment = dict(os.environ, DISPLAY=display)
    work.start(["openbox", "--config-file", str(SOURCE / "scripts/openbox.xml")],
               f"{name}-openbox", env=environment)

    def managed():
        return "window id" in run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], 10,
                                  check=False, env=environment).stdout

    wait_until(managed, 20, f"openbox on {display}")
    return display


class Driver:
    """The checks of one kind (guest, wine, packages) and their fixture steps."""

    def __init__(self, label):
        self.label = label
        self.work = Work(os.environ.get("MORVIK2_WORK_DIR", BUILD / "integration" / label))
        self._steps = {}

    def _register(self, kind, timeout, fixtures):
        def register(function):
            self._steps[function.__name__] = (kind, timeout, fixtures, function)
            return function
        return register

    def setup(self, fixture, timeout):
        """Makes what the checks that need `fixture` share."""
        return self._register("setup", timeout, (fixture,))

    def cleanup(self, fixture, timeout=60):
        return self._register("cleanup", timeout, (fixture,))

    def check(self, timeout, needs=()):
        return self._register("check", timeout, tuple(needs))

    def main(self):
        sys.exit(self._run(sys.argv[1:]))

    def _run(self, arguments):
        if arguments == ["--list"]:
            for name, (kind, timeout, fixtures, _) in self._steps.items():
                print(kind, name, timeout, ",".join(fixtures) or "-")
            return 0
        if len(arguments) != 1 or arguments[0] not in self._steps:
            print(f"usage: {sys.argv[0]} --list | {' | '.join(self._steps)}", file=sys.stderr)
            return 64
        name = arguments[0]
        started = time.monotonic()
        try:
            said = self._steps[name][3]()
        except CheckFailed as failure:
            print(f"FAIL: {self.label}.{name}: {failure}", flush=True)
            return 1
        except Exception:  # a driver's own fault reads as one, with where it happened
            print(f"FAIL: {self.label}.{name}: the driver broke:\n{traceback.format_exc()}",
                  flush=True)
            return 1
        seconds = time.monotonic() - started
        print(f"PASS: {self.label}.{name}" + (f": {said}" if said else "") + f" ({seconds:.1f} s)",
              flush=True)
        return 0
