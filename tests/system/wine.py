"""The Windows programs under Wine against the simulated Morvik 2, in a private Wine prefix that
can reach no real serial port: morvik2-flash.exe, the window morvik2-update.exe on a private X
display, driven with xdotool as a user would and read back through its controls by
morvik2-inspect.exe, and the installer's round trip. Only the x86_64 programs run: Debian's
wine64 cannot run 32-bit ones. scripts/wine-test builds what they need and runs them.

The fixture "prefix" makes what the checks share: the prefix, its X display, the port mapping
(COM7 and COM23 the device, COM8 a device that never answers, no other port) and the one
persistent wineserver. Each check makes its own preconditions: a device switched on afresh, a
window of its own with its own MV2.ini, the installation it needs.

MORVIK2_SCREENSHOT=FILE: window_opens saves a picture of the window as FILE,
window_150_percent one as FILE-150.png, and window_file_dialog_programs one of the file dialog
as FILE-dialog.png.
"""

import functools
import hashlib
import os
import re
import shutil
import signal
import subprocess
import time
from contextlib import contextmanager
from pathlib import Path

from harness import (BUILD, SOURCE, CheckFailed, Driver, expect, expect_equal, run, start_display,
                     stop_session, tail, wait_until)

driver = Driver("wine")
work = driver.work

VERSION = re.search(r"^project\(Morvik2Update VERSION ([0-9.]+)",
                    (SOURCE / "CMakeLists.txt").read_text(), re.M)[1]
FLASH_EXE = BUILD / "windows/tools/morvik2-flash.exe"
UPDATE_EXE = BUILD / "windows/app/morvik2-update.exe"
INSPECT_EXE = BUILD / "windows/tests/wine/morvik2-inspect.exe"
SIM = BUILD / "release/tools/morvik2-sim"
INSTALLER = SOURCE / f"dist/morvik2-{VERSION}-windows-x86_64-installer.exe"

PREFIX = work.path / "prefix"
DOSDEVICES = PREFIX / "dosdevices"
DRIVE = PREFIX / "drive_c"
HOME = work.path / "home"
RUN = work.path / "run"  # morvik2-flash.exe runs here, next to the firmware
WINDOW_DIR = work.path / "Prüfstand Jürgen"  # the window runs here, with the firmware and MV2.ini
PORTS = work.path / "ports"  # stable links to the simulators' pseudo-terminals
FIRMWARE = RUN / "Morvik2 update.QV"
SENT = RUN / "sent.bin"
NEW_FILE = RUN / "neu.QV"
RECEIVED = work.path / "received.hex"
LOGS = work.path / "logs"  # each Wine call's and each simulator's output

CAPTION = "QV Morvik 2 Softwareupdate"
# The taskbar button's text: the caption of the main window's owner.
APPLICATION_TITLE = "QV Update Morvik 2"
# COM23 stands for a USB adapter beyond the window's COM1 to COM16.
OUR_PORTS = {"com7": "device", "com8": "silent", "com23": "device"}
OPEN_FAILED = "Schnittstelle konnte nicht geöffnet werden!"
NO_FIRMWARE = ["Keine hex Datei ausgewählt oder ", "Datei existiert nicht!"]
FILE_DIALOG = "Update-Datei wählen"
# What the window and the command-line tool say below it of a port Windows does not have.
NO_SUCH_PORT = "Diese Schnittstelle gibt es nicht; die Liste zeigt die vorhandenen."
NO_SUCH_PORT_HERE = ("Diese Schnittstelle gibt es nicht; `morvik2-flash --list-ports` zeigt die "
                     "vorhandenen.")
DESKTOP = r"HKCU\Control Panel\Desktop"


# Wine itself

@functools.cache
def loader():
    for candidate in ("/usr/lib/wine/wine64", shutil.which("wine64"), shutil.which("wine")):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    raise CheckFailed("no Wine loader (/usr/lib/wine/wine64, wine64 or wine): "
                      "the wine64 package is not installed")


@functools.cache
def server():
    beside = Path(loader()).parent / "wineserver"
    found = str(beside) if os.access(beside, os.X_OK) else shutil.which("wineserver")
    expect(found, f"no wineserver beside {loader()} or on PATH")
    return found


def environment():
    """Wine's whole world stays in the work directory: prefix, home, the fixture's X display, no
    desktop menus, no prompts to download Mono or Gecko, no debug chatter."""
    dropped = ("WAYLAND_DISPLAY", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME")
    env = {name: value for name, value in os.environ.items() if name not in dropped}
    env.update(WINEPREFIX=str(PREFIX), WINEARCH="win64", WINEDEBUG="-all", HOME=str(HOME),
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
    display = work.state().get("display")
    if display:
        env["DISPLAY"] = display
    return env


def details(*logs):
    """The ends of the logs that say anything, for a failure's report."""
    return "\n".join(filter(None, map(tail, logs)))


def read(path):
    """A log as the shell's $(...) reads it: without CRs and trailing newlines."""
    return path.read_text(errors="replace").replace("\r", "").rstrip("\n") if path.exists() else ""


class Ran:
    def __init__(self, status, out, err):
        self.status, self.out, self.err = status, out, err
        self.lines = out.split("\n") if out else []


def log(name):
    return LOGS / name


def outputs(name):
    return open(log(f"{name}.out"), "wb"), open(log(f"{name}.err"), "wb")


def wine(name, seconds, program, *arguments, cwd=RUN):
    """Runs a Windows program, or one of Wine's own (reg, cmd, start), to its end. Its output
    goes to NAME.out and NAME.err in LOGS: Wine's processes keep the standard streams they were
    started with, so a pipe would stay open and collect the output of Wine's own processes."""
    command = [loader(), str(program), *map(str, arguments)]
    out, err = outputs(name)
    with out, err:
        try:
            status = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                    cwd=cwd, env=environment(), timeout=seconds).returncode
        except subprocess.TimeoutExpired:
            raise CheckFailed(f"{Path(program).name} {' '.join(command[2:])}: still running "
                              f"after {seconds} s\n{tail(log(f'{name}.err'))}") from None
    return Ran(status, read(log(f"{name}.out")), read(log(f"{name}.err")))


def start_wine(name, program, *arguments, cwd=RUN):
    """Starts a Windows program and leaves it running; its output as wine() keeps it."""
    out, err = outputs(name)
    with out, err:
        return subprocess.Popen([loader(), str(program), *map(str, arguments)], cwd=cwd,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                env=environment(), start_new_session=True)


def server_command(*arguments, seconds=60):
    try:
        return subprocess.run([server(), *arguments], stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              env=environment(), timeout=seconds).returncode
    except subprocess.TimeoutExpired:
        return None


def stop_server():
    if PREFIX.exists():
        server_command("-k", seconds=30)
        server_command("-w")


def wine_processes(program=None):
    """This prefix's Wine processes, the wineserver included, or those running PROGRAM."""
    found = []
    for entry in Path("/proc").iterdir():
        try:
            if (not entry.name.isdigit() or "/wine" not in os.readlink(entry / "exe") or
                    f"WINEPREFIX={PREFIX}".encode() not in
                    (entry / "environ").read_bytes().split(b"\0") or
                    program and program.encode() not in (entry / "cmdline").read_bytes()):
                continue
        except OSError:  # gone, or a zombie
            continue
        found.append(int(entry.name))
    return found


def end_process(pid):
    """SIGTERM, then SIGKILL when it is still there after 5 s."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.kill(pid, sig)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            try:
                os.readlink(f"/proc/{pid}/exe")
            except OSError:
                return
            time.sleep(0.05)


def windows_path(path):
    """A path as Wine's drive Z: shows it."""
    return "Z:" + str(path).replace("/", "\\")


def reg_value(key, name):
    """A value from the registry, "" when it is not there; the name "" is the default value."""
    said = wine("reg-query", 60, "reg", "query", key, *(["/v", name] if name else ["/ve"]))
    for line in said.lines:
        found = re.match(r" *[^ ].*REG_[A-Z_]* *(.*)", line)
        if found and "REG_" in line:
            return found[1]
    return ""


# The simulated devices, each behind a stable link that the port mapping names, so that a
# check can switch its device on afresh without touching the prefix.

def start_simulator(name, *options):
    link = PORTS / name
    out, err = outputs(name)
    with out, err:
        process = subprocess.Popen([SIM, "--link", link, *map(str, options)], cwd=work.path,
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                   start_new_session=True)
    work.remember(**{f"{name}_pid": process.pid})
    wait_until(lambda: link.is_symlink() and Path(os.path.realpath(link)).is_char_device()
               or process.poll() is not None, 20, f"the simulator behind {link}")
    expect(process.poll() is None, f"the simulator {name} did not start:\n"
                                   f"{tail(log(f'{name}.err'))}")


def stop_simulator(name):
    pid = work.state().get(f"{name}_pid")
    if pid:
        stop_session(pid)
        work.remember(**{f"{name}_pid": None})


def restart_device():
    """The device behind COM7 and COM23, switched on afresh with nothing received yet: it answers
    only after 15 sync bytes and is paced like the real line, so a search also runs into Win32
    read time limits; it serves one run after the other."""
    stop_simulator("device")
    RECEIVED.unlink(missing_ok=True)
    start_simulator("device", "--image", RECEIVED, "--log", "--power-on-after", 15,
                    "--baud", 115200)


def image_received():
    """Whether the device holds exactly the firmware; the simulator writes its image after each
    end command, so it may follow the run's end by a moment."""
    converted = work.path / "received.bin"

    def matches():
        return (RECEIVED.exists() and RECEIVED.stat().st_size > 0 and
                run(["srec_cat", RECEIVED, "-intel", "-o", converted, "-binary"], 60,
                    check=False).returncode == 0 and
                converted.read_bytes() == SENT.read_bytes())

    try:
        return wait_until(matches, 10, "the image")
    except CheckFailed:
        return False


def flash(name, *arguments, seconds=180):
    return wine(name, seconds, FLASH_EXE, *arguments)


def flash_fresh_device():
    restart_device()
    return flash("flash", "--port", "COM23", "--quiet", "--search-timeout", 60)


# The window: morvik2-inspect.exe reads what its controls hold, xdotool types and clicks.

def inspect(*arguments, wait=0):
    """morvik2-inspect.exe; `wait` is the limit of a waiting command, which Wine's own start-up
    time is added to."""
    return wine(f"inspect-{arguments[0]}", wait + 60, INSPECT_EXE, *arguments)


def wait_status(text, seconds):
    said = inspect("wait-status", text, seconds, wait=seconds)
    expect(said.status == 0, f'the status line reads "{said.out}", not "{text}" within {seconds} s')


def wait_box(seconds):
    """The open message box's caption and text, or None."""
    said = inspect("wait-box", seconds, wait=seconds)
    return said.lines if said.status == 0 else None


def port_list():
    return inspect("ports").lines


def expected_ports(chosen):
    return [("*" if name == chosen else " ") + name
            for name in [f"COM{n}" for n in range(1, 17)] + ["COM23"]]


def chosen_port(ports):
    return next((item[1:] for item in ports if item.startswith("*")), "none")


def control_box(name):
    """The control's screen rectangle: left, top, width, height."""
    said = inspect("control", name)
    expect(said.status == 0, f"the window has no control {name}")
    return tuple(int(number) for number in said.out.split())


def xdotool(*arguments, check=True):
    return run(["xdotool", *map(str, arguments)], 60, check=check, env=environment())


def keys(*names):
    xdotool("key", "--delay", 100, *names)


def click(name):
    left, top, width, height = control_box(name)
    xdotool("mousemove", left + width // 2, top + height // 2, "click", 1)


def x_window():
    found = xdotool("search", "--onlyvisible", "--name", f"^{CAPTION}$", check=False).stdout.split()
    return found[0] if found else None


def activate():
    window = x_window()
    if window:
        xdotool("windowactivate", "--sync", window, check=False)
    return window


def screenshot(window, suffix=""):
    """A picture of the window, when MORVIK2_SCREENSHOT names a file: FILE, or FILE with the
    suffix before .png; the text for the check's report."""
    wanted = os.environ.get("MORVIK2_SCREENSHOT")
    if not wanted or not window:
        return ""
    picture = Path(re.sub(r"\.png$", "", wanted) + suffix + ".png" if suffix else wanted)
    picture.parent.mkdir(parents=True, exist_ok=True)
    time.sleep(1)  # painted, for the picture only
    run(["import", "-window", window, "-frame", picture], 60, env=environment())
    return f"; picture: {picture}"


def ini_text(port):
    return (f"; Werkstatt 3\r\n[Setup]\r\nPort={port}\r\nSprache=de\r\n\r\n[Notizen]\r\n"
            f"Letzter=Gerät 17\r\n").encode()


def end_windows():
    """Ends a window an earlier check left open (one that failed or ran out of time), so that
    morvik2-inspect.exe finds this check's window."""
    for pid in wine_processes("morvik2-update.exe"):
        end_process(pid)


class Shown:
    def __init__(self, process, said, seconds):
        self.process, self.said, self.seconds = process, said, seconds


@contextmanager
def window(port="COM8", folder=WINDOW_DIR):
    """The window started in FOLDER, as a double click on a copy there starts it, with an
    MV2.ini that stores PORT; shown and active. Ended at the check's end if still open."""
    end_windows()
    (folder / "MV2.ini").write_bytes(ini_text(port))
    started = time.monotonic()
    process = start_wine("window", UPDATE_EXE, cwd=folder)
    try:
        said = inspect("window", 120, wait=120)
        expect(said.status == 0, f"the window did not show within 120 s: {said.out}\n"
                                 f"{tail(log('window.err'))}")
        shown = Shown(process, said.out, time.monotonic() - started)
        activate()
        yield shown
    finally:
        end_started(process)


def end_started(process):
    """Ends a program start_wine() started, if it still runs; the process alone: Wine's desktop
    process, which the first window starts, is in its session."""
    if process.poll() is None:
        end_process(process.pid)
        process.wait()


def expect_closes(process, key):
    """The window closes and its program ends after KEY."""
    expect(inspect("wait-gone", 60, wait=60).status == 0, f"{key} did not close the window")
    try:
        process.wait(60)
    except subprocess.TimeoutExpired:
        raise CheckFailed(f"{key} closed the window, but the program still runs after 60 s\n"
                          f"{tail(log('window.err'))}") from None


def link_colours(box):
    """Red and blue pixels on the screen within the link's box."""
    left, top, width, height = box
    pixels = subprocess.run(["import", "-window", "root", "-crop", f"{width}x{height}+{left}+{top}",
                             "-depth", "8", "rgb:-"], capture_output=True, env=environment(),
                            timeout=60).stdout
    red = blue = 0
    for i in range(0, len(pixels) - 2, 3):
        r, g, b = pixels[i:i + 3]
        red += r >= 160 and g <= 90 and b <= 90
        blue += b >= 160 and r <= 90 and g <= 90
    return red, blue


def link_becomes(box, condition):
    """Polls the link's colours until condition(red, blue) holds, for up to 10 s: whether it
    did, and the last colours."""
    deadline = time.monotonic() + 10
    while True:
        red, blue = link_colours(box)
        if condition(red, blue) or time.monotonic() >= deadline:
            return condition(red, blue), f"{red} red, {blue} blue"
        time.sleep(0.2)


# The installation

class Mode:
    def __init__(self, name, root, *flags):
        self.name, self.flags = name, ("/S", *flags)
        self.classes = root + r"\Software\Classes"
        self.uninstall_key = root + r"\Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvik2"

    def location(self):
        return reg_value(self.uninstall_key, "InstallLocation")


# For all users: an administrator's default, and Wine's user is one. For the current user
# alone: no administrator rights needed.
ALL_USERS = Mode("all users", "HKLM")
CURRENT_USER = Mode("current user", "HKCU", "/CurrentUser")


def unix_path(location):
    return DRIVE / re.sub(r"^[Cc]:", "", location).replace("\\", "/").lstrip("/")


def installed_files():
    """Everything in drive C: named like the programs, outside Windows' own folder."""
    found = []
    for folder, subfolders, files in os.walk(DRIVE):
        if Path(folder) == DRIVE and "windows" in subfolders:
            subfolders.remove("windows")
        found += [os.path.relpath(os.path.join(folder, name), DRIVE)
                  for name in subfolders + files if "morvik" in name.lower()]
    return sorted(found)


def install(mode):
    return wine("install", 180, INSTALLER, *mode.flags)


def uninstall(location):
    """Runs the uninstaller in place (_?=), so that it does not copy itself away first: its exit
    status and what it left in the folder, which is then removed. _?= must come last and
    unquoted, spaces and all: Wine would quote it as an argument, so a batch file gives the
    command line."""
    batch = RUN / "uninstall.bat"
    batch.write_bytes(f'@"{location}\\uninstall.exe" /S _?={location}\r\n'
                      f'@exit /b %errorlevel%\r\n'.encode())
    status = wine("uninstall", 180, "cmd", "/c", windows_path(batch)).status
    folder = unix_path(location)
    left = sorted(os.listdir(folder)) if folder.is_dir() else []
    (folder / "uninstall.exe").unlink(missing_ok=True)
    if folder.is_dir() and not os.listdir(folder):
        folder.rmdir()
    return status, left


def ensure_uninstalled(mode):
    location = mode.location()
    if location:
        status, left = uninstall(location)
        expect(status == 0 and not mode.location(),
               f"uninstalling the earlier installation ({mode.name}) failed: exit status {status}")


def ensure_installed(mode):
    """The installation in MODE in place, and the other one gone."""
    ensure_uninstalled(CURRENT_USER if mode is ALL_USERS else ALL_USERS)
    if not mode.location():
        ran = install(mode)
        expect(ran.status == 0 and mode.location(),
               f"the installer /S ({mode.name}) failed: exit status {ran.status}\n{tail(ran.err)}")


def installed_exe(mode, name):
    return unix_path(mode.location()) / name


@contextmanager
def opened_update_file():
    """neu.QV opened as a double click opens it, with the installation for all users in place and
    the user's folder for MV2.ini not there yet: the status line, once it names the file."""
    ensure_installed(ALL_USERS)
    end_windows()
    for folder in DRIVE.glob("users/*/AppData/Local/Morvik2"):
        shutil.rmtree(folder)
    try:
        wine("open", 60, "start", windows_path(NEW_FILE))
        said = inspect("wait-status", f"Datei: {NEW_FILE.name}", 120, wait=120)
        expect(said.status == 0, f'opening neu.QV: the status line reads "{said.out}"\n'
                                 f'{tail(log("open.err"))}')
        activate()
        yield said.out
    finally:
        end_windows()


# The fixture

def make_firmware():
    """A firmware of our own: 4 KiB of repeated text, as Intel HEX."""
    run(["srec_cat", "-generate", "0", "0x1000", "-repeat-string", "Morvik 2 unter Wine ",
         "-o", FIRMWARE, "-intel", "-output_block_size=16"], 60)
    run(["srec_cat", FIRMWARE, "-intel", "-o", SENT, "-binary"], 60)
    shutil.copy(FIRMWARE, WINDOW_DIR / FIRMWARE.name)
    shutil.copy(FIRMWARE, NEW_FILE)


def map_ports():
    """At each wineserver start Wine links the COMn named in HKLM\\Software\\Wine\\Ports, then
    hands every serial device it finds (/dev/ttyS*, ttyUSB*, ttyACM*) the lowest COM number left
    free, up to COM256. The key alone cannot keep those out: an empty value still makes a
    (driverless) port, and COM256 cannot be claimed. A directory where Wine would put a port's
    link makes that port fail, so placeholders stand at every number but ours while Wine scans,
    and go afterwards; what Wine put there instead, port_mapping shows."""
    for n in range(1, 257):
        entry = DOSDEVICES / f"com{n}"
        if entry.is_symlink():
            entry.unlink()
        entry.mkdir(exist_ok=True)
    lines = ["REGEDIT4", "", r"[HKEY_LOCAL_MACHINE\Software\Wine\Ports]"]
    lines += [f'"{name.upper()}"="{PORTS / link}"' for name, link in OUR_PORTS.items()]
    (RUN / "ports.reg").write_bytes(("\r\n".join(lines) + "\r\n").encode())
    imported = wine("ports", 120, "reg", "import", "ports.reg")
    expect(imported.status == 0, f"reg import of the port mapping failed\n{tail(imported.err)}")
    stop_server()
    for name in OUR_PORTS:
        (DOSDEVICES / name).rmdir()
    # Persistent, with its own log, so that Wine's processes do not write into the programs'
    # output, and the ports are scanned once for all checks.
    out, err = outputs("wineserver")
    with out, err:
        status = subprocess.run([server(), "-p"], stdin=subprocess.DEVNULL, stdout=out,
                                stderr=err, env=environment(), timeout=60).returncode
    expect(status == 0, f"wineserver -p: exit status {status}\n{tail(log('wineserver.err'))}")
    # Wine scans the parallel ports right after the serial ones: their device map appearing
    # means the scan is over.
    wait_until(lambda: wine("scan", 30, "reg", "query",
                            r"HKLM\HARDWARE\DEVICEMAP\PARALLEL PORTS").status == 0,
               60, "Wine's port scan", interval=0.5)
    for n in range(1, 257):
        if f"com{n}" not in OUR_PORTS:
            try:
                (DOSDEVICES / f"com{n}").rmdir()
            except OSError:
                pass


def stop_everything():
    """Ends what the fixture and the checks started, each by its id: Wine's processes of the
    prefix (once the prefix is gone, wineserver -k cannot find its server any more), the
    simulators, the display; removes the prefix."""
    stop_server()
    for pid in wine_processes():
        end_process(pid)
    for name in ("device", "silent"):
        stop_simulator(name)
    work.stop_all()
    shutil.rmtree(PREFIX, ignore_errors=True)
    shutil.rmtree(HOME, ignore_errors=True)
    work.forget()


@driver.setup("prefix", timeout=900)
def boot_prefix():
    """The prefix (wineboot), its X display, the simulators, the port mapping, the wineserver."""
    stop_everything()  # what an interrupted run left
    shutil.rmtree(LOGS, ignore_errors=True)
    for folder in (HOME, RUN, WINDOW_DIR, PORTS, LOGS):
        folder.mkdir(parents=True, exist_ok=True)
    for needed in (FLASH_EXE, UPDATE_EXE, INSPECT_EXE, SIM, INSTALLER):
        expect(needed.exists(), f"{needed} is missing: scripts/wine-test builds it")
    version = run([loader(), "--version"], 60, check=False).stdout.strip() or "unknown version"
    # Wine's desktop process starts with the prefix and needs the display from then on.
    work.remember(display=start_display(work, "wine"))
    started = time.monotonic()
    boot = wine("boot", 300, "wineboot", "-i")
    booted = (boot.status == 0 and server_command("-w", seconds=120) == 0 and
              (PREFIX / "system.reg").exists() and (PREFIX / "system.reg").stat().st_size > 0)
    expect(booted, f"Wine cannot start on this machine (wineboot -i failed)\n{tail(boot.err)}")
    seconds = time.monotonic() - started
    make_firmware()
    start_simulator("silent", "--power-on-after", 1000000000)
    restart_device()
    map_ports()
    servers = [pid for pid in wine_processes() if "wineserver" in os.readlink(f"/proc/{pid}/exe")]
    expect(servers, "the persistent wineserver is gone after the port scan")
    work.remember(server_pid=servers[0], installed_before=installed_files())
    return f"{version}, prefix ready after {seconds:.0f} s"


@driver.cleanup("prefix", timeout=300)
def shut_down():
    """After the checks: the one wineserver served them all, so dosdevices still holds only
    COM7, COM8 and COM23 (had Wine scanned again, real ports would show there), and once it is
    stopped no Wine process is left."""
    state = work.state()
    problems = []
    if state.get("server_pid"):
        after = sorted(entry.name for entry in DOSDEVICES.glob("com*"))
        if after != sorted(OUR_PORTS):
            problems.append(f"after the checks dosdevices holds: {' '.join(after) or 'nothing'}")
        if state["server_pid"] not in wine_processes():
            problems.append("the wineserver the fixture started has gone, and a new one scans "
                            "the ports anew")
        stop_server()
        left = wine_processes()
        if left:
            problems.append(f"Wine processes left after wineserver -k: {left}")
    stop_everything()
    expect(not problems, "; ".join(problems))
    if not state.get("server_pid"):
        return "the fixture had not started Wine; stopped what it had started"
    return ("after the checks still only COM7, COM8 and COM23 in dosdevices, from the one "
            "wineserver; stopped, it leaves no Wine process")


# morvik2-flash.exe

def port_number(name):
    return int(re.sub(r"\D", "", name) or 0)


def listing(links):
    return ", ".join(f"{name} -> {target}" for name, target in
                     sorted(links.items(), key=lambda link: port_number(link[0]))) or "nothing"


@driver.check(timeout=120, needs=["prefix"])
def port_mapping():
    """COM7 and COM23 lead to the device, COM8 to the silent one, and no other port exists."""
    found = {entry.name: os.readlink(entry) if entry.is_symlink() else "(not a link)"
             for entry in DOSDEVICES.glob("com*")}
    wanted = {name: str(PORTS / link) for name, link in OUR_PORTS.items()}
    expect(found == wanted, f"dosdevices holds {listing(found)}; expected only {listing(wanted)}")
    said = wine("serialcomm", 60, "reg", "query", r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM")
    known = sorted((fields[2] for fields in map(str.split, said.lines)
                    if len(fields) >= 3 and fields[1] == "REG_SZ"),
                   key=port_number)
    expect_equal(known, ["COM7", "COM8", "COM23"], "the serial ports Windows knows (SERIALCOMM)")
    targets = {link: os.path.realpath(PORTS / link) for link in ("device", "silent")}
    for link, target in targets.items():
        expect(Path(target).is_char_device(),
               f"{PORTS / link} leads to {target}, not to a simulator's pseudo-terminal")
    return (f"COM7 and COM23 are the simulator (ports/device -> {targets['device']}), COM8 the "
            f"silent one (ports/silent -> {targets['silent']}): the only ports")


@driver.check(timeout=300, needs=["prefix"])
def flash_exit_status():
    """morvik2-flash.exe --port COM23 programs the device: exit status 0."""
    ran = flash_fresh_device()
    expect(ran.status == 0, f"exit status {ran.status}, expected 0\n"
                            f"{details(ran.err, log('device.err'))}")
    return "exit status 0"


@driver.check(timeout=300, needs=["prefix"])
def flash_status_lines():
    """The run's status lines on stdout, exactly (the Windows C runtime ends them with CR LF)."""
    ran = flash_fresh_device()
    expect_equal(ran.lines, ["Reset", "Suche nach Morvik 2.", "Schreibe Daten, bitte warten!",
                             "Alles OK !"], "the status lines")
    return "status lines: " + "|".join(ran.lines)


@driver.check(timeout=300, needs=["prefix"])
def flash_image():
    """After the run the device holds exactly the firmware's bytes."""
    ran = flash_fresh_device()
    expect(image_received(), f"the simulator's image differs from the firmware file "
                             f"(exit status {ran.status})\n{tail(log('device.err'))}")
    return f"the simulator holds exactly the firmware's {SENT.stat().st_size} bytes"


@driver.check(timeout=300, needs=["prefix"])
def flash_search_syncs():
    """The search goes on through the 15 sync bytes a device that is switched on late ignores."""
    ran = flash_fresh_device()
    stop_simulator("device")
    counted = re.search(r"^morvik2-sim: (\d+) sync bytes", read(log("device.err")), re.M)
    restart_device()
    syncs = int(counted[1]) if counted else 0
    expect(syncs > 15, f"the simulator saw {syncs or 'no'} sync bytes, expected more than 15 "
                       f"(exit status {ran.status})")
    return f"the search went on through 15 unanswered sync bytes ({syncs} in all)"


@driver.check(timeout=120, needs=["prefix"])
def flash_no_device():
    """COM9, which has no device: exit status 3, the open failure message and the reason."""
    ran = flash("com9", "--port", "COM9", "--quiet", "--search-timeout", 10, seconds=60)
    expected = [OPEN_FAILED, rf"\\.\COM9: {NO_SUCH_PORT_HERE}"]
    expect(ran.status == 3 and ran.err.split("\n") == expected,
           f"exit status {ran.status}, expected 3 and {expected}\n{tail(ran.err)}")
    return "exit status 3, " + " ".join(ran.err.split("\n"))


@driver.check(timeout=300, needs=["prefix"])
def flash_refuses_a_port_twice_or_as_output():
    """Windows' own names for one port, and a run log or trace that is a port or the firmware
    file, are refused before anything is opened: exit status 64, and the device hears nothing."""
    restart_device()
    refused = "Run-Log/Aufzeichnung darf nicht die Firmware-Datei oder eine Schnittstelle sein: "
    cases = [
        (["-p", "COM7", "-p", r"\\.\COM7"],
         r'--port: "COM7" und "\\.\COM7" sind dieselbe Schnittstelle.'),
        (["-p", "COM7", "--log", "COM7"], refused + "COM7"),
        (["-p", "COM7", "--trace", r"\\.\COM23"], refused + r"\\.\COM23"),
        (["-p", "COM7", "--trace", "AUX"], refused + "AUX"),
        (["-p", "COM7", "--log", FIRMWARE.name], refused + FIRMWARE.name),
    ]
    for arguments, message in cases:
        ran = flash("refused", *arguments, "--search-timeout", 5, seconds=60)
        expect(ran.status == 64 and ran.err.split("\n")[:1] == [message],
               f"{' '.join(arguments)}: exit status {ran.status}, expected 64 and {message!r}\n"
               f"{tail(ran.err)}")
    stop_simulator("device")
    counted = re.search(r"^morvik2-sim: (\d+) sync bytes", read(log("device.err")), re.M)
    restart_device()
    expect(counted and counted[1] == "0", "the device received sync bytes: "
           + (counted[0] if counted else "the simulator said nothing"))
    return f"{len(cases)} refusals with exit status 64; the device heard nothing"


@driver.check(timeout=300, needs=["prefix"])
def flash_gang():
    """Two devices at once: COM7 answers, the silent COM8 runs into its time limit; the run log
    gets one line for each, with the firmware's digest."""
    restart_device()
    run_log = RUN / "Läufe.log"
    run_log.unlink(missing_ok=True)
    ran = flash("gang", "-p", "COM7", "-p", "COM8", "--search-timeout", 5, "--quiet",
                "--log", run_log.name)
    records = read(run_log).split("\n")
    digest = hashlib.sha256(FIRMWARE.read_bytes()).hexdigest()
    expect_equal(ran.status, 5, "exit status")
    expect("[COM7] Alles OK !" in ran.lines and "[COM8] Suche abgebrochen." in ran.lines,
           f"the status lines:\n{tail(ran.out)}")
    expect(image_received(), "the device on COM7 does not hold the firmware")
    expect_equal(sum(f'"sha256":"{digest}"' in record for record in records), 2,
                 "run log lines with the firmware's digest")
    for port, status in (("COM7", 0), ("COM8", 5)):
        expect(any(re.search(f'"port":"{port}".*"exit_status":{status}', record)
                   for record in records),
               f"the run log has no line for {port} with exit status {status}:\n"
               f"{tail(read(run_log))}")
    return ('-p COM7 -p COM8: COM7 "Alles OK !", COM8 timed out, exit status 5, two log lines '
            'with the digest')


@driver.check(timeout=120, needs=["prefix"])
def flash_list_ports():
    """--list-ports lists exactly the ports Windows has."""
    ran = flash("list", "--list-ports", seconds=60)
    listed = [line.split("\t")[0] for line in ran.lines]
    expect(ran.status == 0 and listed == ["COM7", "COM8", "COM23"],
           f"exit status {ran.status}, listed: {' '.join(listed) or 'nothing'}")
    return "--list-ports: " + " ".join(listed)


# The window. It runs from a folder named with umlauts, where it finds the firmware and MV2.ini.

@driver.check(timeout=300, needs=["prefix"])
def window_opens():
    """The window shows with its caption and its client area, as Windows and X see it."""
    with window() as shown:
        x = x_window()
        geometry = x and re.search(r"Geometry: (\S+)", xdotool("getwindowgeometry", x).stdout)
        picture = screenshot(x)
        expect_equal(shown.said, f"visible 275x338 {CAPTION}", "the window")
        expect_equal(geometry and geometry[1], "275x338", f"the X window {x or '(not found)'}")
    return f'"{CAPTION}", 275 x 338 client area, up after {shown.seconds:.1f} s{picture}'


@driver.check(timeout=300, needs=["prefix"])
def window_port_list():
    """The port list: COM1 to COM16, then COM23 from the registry; the stored COM8 chosen."""
    with window("COM8"):
        expect_equal(port_list(), expected_ports("COM8"), "the port list")
    return "COM1 to COM16, then COM23 from the registry; the stored COM8 chosen"


@driver.check(timeout=300, needs=["prefix"])
def window_escape_stops_search():
    """Esc during the search on the silent COM8 stops it, and the port is free again."""
    with window("COM8"):
        click("Button2")
        wait_status("Suche nach Morvik 2.", 60)
        keys("Escape")
        wait_status("Suche abgebrochen.", 30)
        released = flash("released", "--port", "COM8", "--quiet", "--search-timeout", 1,
                         seconds=60)
        expect(released.status == 5, f"COM8 is not free again: morvik2-flash.exe exit status "
                                     f"{released.status}, expected 5\n{tail(released.err)}")
    return 'Esc during the search on COM8: "Suche abgebrochen.", and the port is free again'


def minimise_and_restore(when):
    """SC_MINIMIZE, as the window's minimise box sends it: the window hides and its owner, the
    taskbar button, is iconic. Activating the owner's X window, as a taskbar click does, brings
    the window back, visible and focused."""
    minimised = inspect("minimise", 30, wait=30)
    expect(minimised.status == 0, f"{when}: after SC_MINIMIZE the window is {minimised.out}")
    expect_equal(inspect("owner").out, f"visible iconic {APPLICATION_TITLE}",
                 f"{when}: the owner after SC_MINIMIZE")
    # An iconic window is unmapped: no --onlyvisible.
    owners = xdotool("search", "--name", f"^{APPLICATION_TITLE}$", check=False).stdout.split()
    expect(len(owners) == 1, f"{when}: X windows named {APPLICATION_TITLE}: {owners}")
    xdotool("windowactivate", owners[0], check=False)  # no --sync: the main window takes over
    restored = inspect("wait-restored", 30, wait=30)
    expect(restored.status == 0, f"{when}: after activating the owner the window is "
                                 f"{restored.out}, not visible normal focused")


@driver.check(timeout=300, needs=["prefix"])
def window_minimise_restores():
    """Minimised, idle and during a search on the silent COM8, the window comes back from the
    taskbar button, which carries the application title, visible and focused; the search goes
    on until "Stop (ESC)" stops it. (The stop is a click: under Wine 8 and openbox the X focus
    after a restore sometimes stays with openbox, though Windows has focused the window.)"""
    with window("COM8"):
        expect_equal(inspect("owner").out, f"visible normal {APPLICATION_TITLE}",
                     "the main window's owner")
        minimise_and_restore("idle")
        click("Button2")
        wait_status("Suche nach Morvik 2.", 60)
        minimise_and_restore("during the search")
        wait_status("Suche nach Morvik 2.", 0)
        click("Button3")
        wait_status("Suche abgebrochen.", 30)
    return (f'the owner "{APPLICATION_TITLE}" iconic after SC_MINIMIZE, idle and during the '
            f'search; activating its X window brings the window back visible and focused, the '
            f'search goes on to "Suche abgebrochen." at "Stop (ESC)"')


@driver.check(timeout=300, needs=["prefix"])
def window_keyboard_chooses_port():
    """From "Programmieren", Shift+Tab reaches the port list and the arrow keys choose."""
    with window("COM8"):
        keys("Tab")  # from the port list, which has the focus at the start, to "Programmieren"
        keys("shift+Tab", "Home", *["Down"] * 6)
        expect_equal(chosen_port(port_list()), "COM7", "the port chosen with the keys")
    return "Shift+Tab reaches the port list, the arrow keys choose COM7"


@driver.check(timeout=400, needs=["prefix"])
def window_enter_programs():
    """Enter on "Programmieren" programs the device on the stored COM7."""
    restart_device()
    with window("COM7"):
        started = time.monotonic()
        keys("Tab", "Return")
        wait_status("Alles OK !", 240)
        seconds = time.monotonic() - started
        expect_equal(inspect("progress").out, "100", "the progress bar")
        expect(image_received(), f"the simulator's image differs from the firmware file\n"
                                 f"{tail(log('device.err'))}")
    return (f'Enter on "Programmieren": "Alles OK !" after {seconds:.0f} s, progress 100, the '
            f'simulator holds the firmware')


@contextmanager
def removed_after(path):
    try:
        yield
    finally:
        path.unlink(missing_ok=True)


def download_folder():
    """The Windows user's download folder, a folder of its own: Wine links it to the home folder
    that holds the desktop and the documents too, where a dialog may start without being told."""
    folders = [folder for folder in DRIVE.glob("users/*/Downloads")
               if folder.parent.name.lower() != "public"]
    expect(len(folders) == 1, f"download folders in the prefix: {folders}")
    if folders[0].is_symlink():
        folders[0].unlink()
    folders[0].mkdir(exist_ok=True)
    return folders[0]


@driver.check(timeout=400, needs=["prefix"])
def window_file_dialog_programs():
    """Started in a folder without the firmware, "Programmieren" says so; after OK the file
    dialog opens in the download folder, where the name typed and Enter choose the file, and
    the run starts at once: "Alles OK !", the device holds the file. The mouse over the disabled
    status line shows the file's whole path."""
    restart_device()
    folder = work.path / "Ohne Update"
    folder.mkdir(exist_ok=True)
    chosen = download_folder() / "Morvik2 neu.QV"
    shutil.copy(FIRMWARE, chosen)
    # Gone again afterwards: the uninstallers' checks count every file named like the programs.
    with window("COM7", folder), removed_after(chosen):
        click("Button2")
        expect_equal(wait_box(60), [CAPTION, *NO_FIRMWARE], "the message box")
        keys("Return")
        dialog = inspect("wait-box", 60, FILE_DIALOG, wait=60)
        expect(dialog.status == 0, f'no dialog "{FILE_DIALOG}" after the message')
        found = xdotool("search", "--onlyvisible", "--name", f"^{FILE_DIALOG}$",
                        check=False).stdout.split()
        expect(found, f'no X window "{FILE_DIALOG}"')
        xdotool("windowactivate", "--sync", found[0], check=False)
        picture = screenshot(found[0], "-dialog")
        xdotool("type", "--delay", 100, chosen.name)
        keys("Return")
        wait_status("Alles OK !", 240)
        expect(image_received(), f"the simulator's image differs from the firmware file\n"
                                 f"{tail(log('device.err'))}")
        left, top, width, height = control_box("Edit2")
        xdotool("mousemove", left + width // 2, top + height // 2)
        tip = inspect("wait-tooltip", 30, wait=30)
    path = "C:\\" + str(chosen.relative_to(DRIVE)).replace("/", "\\")
    expect_equal(tip.out, path, "the tooltip over the status line")
    return (f'message, then "{FILE_DIALOG}" in the download folder; "{chosen.name}" typed: '
            f'"Alles OK !", the simulator holds the file; tooltip "{tip.out}"{picture}')


@driver.check(timeout=300, needs=["prefix"])
def window_link_colours():
    """The maker's link is blue, red under the mouse, and blue again after it."""
    with window():
        box = control_box("link")
        away = (box[0] - 40, box[1] - 40)
        xdotool("mousemove", *away)
        blue, before = link_becomes(box, lambda red, blue: red == 0 and blue > 0)
        xdotool("mousemove", box[0] + box[2] // 2, box[1] + box[3] // 2)
        red, hovered = link_becomes(box, lambda red, blue: red > 0 and blue == 0)
        xdotool("mousemove", *away)
        blue_again, after = link_becomes(box, lambda red, blue: red == 0 and blue > 0)
        expect(blue and red and blue_again,
               f"link colours: before {before}, under the mouse {hovered}, after {after}")
    return f"link: blue ({before}), red under the mouse ({hovered}), blue again after ({after})"


def open_failure_box():
    """Programmieren on COM9, which has no device: the message box, once it is open."""
    keys("Tab", "Return")
    box = wait_box(60)
    expect_equal(box, [CAPTION, OPEN_FAILED, NO_SUCH_PORT], "the message box on COM9")
    return box


@driver.check(timeout=300, needs=["prefix"])
def window_open_failure_box():
    """The open failure on COM9 shows its message box, umlaut and caption as they should be."""
    with window("COM9"):
        open_failure_box()
    return f'message box on COM9: "{OPEN_FAILED}" and the reason, umlaut and caption as shown'


@driver.check(timeout=300, needs=["prefix"])
def window_escape_dismisses_box():
    """Esc dismisses a message box."""
    with window("COM9"):
        box = open_failure_box()
        keys("Escape")
        expect(wait_box(1) != box, "Esc did not dismiss the message box")
    return "Esc dismisses the message box"


@driver.check(timeout=300, needs=["prefix"])
def window_f10_saves_port():
    """F10 closes the window, and MV2.ini then holds the chosen port and all its other lines."""
    with window("COM8") as shown:
        keys("End")
        chosen = chosen_port(port_list())
        keys("F10")
        expect_equal(chosen, "COM23", "the port chosen with End")
        expect_closes(shown.process, "F10")
    expect_equal((WINDOW_DIR / "MV2.ini").read_bytes(), ini_text("COM23"), "MV2.ini")
    return (f'F10 closes the window; MV2.ini in "{WINDOW_DIR.name}" holds Port=COM23 and its '
            f'other lines')


@driver.check(timeout=300, needs=["prefix"])
def window_restart_keeps_port():
    """At the next start the stored COM23 is chosen; F10 during a search on the silent COM8 stops
    the run and closes the window, the program ends once the run has unwound, COM8 is kept."""
    with window("COM23") as shown:
        chosen = chosen_port(port_list())
        expect_equal(chosen, "COM23", "the port chosen at the start")
        keys("Home", *["Down"] * 7)
        click("Button2")
        wait_status("Suche nach Morvik 2.", 60)
        keys("F10")
        expect_closes(shown.process, "F10 during the search")
    stored = re.search(r"^Port=(.*?)\r?$", (WINDOW_DIR / "MV2.ini").read_text(), re.M)
    expect_equal(stored and stored[1], "COM8", "the port in MV2.ini")
    return "next start: the stored COM23 is chosen; F10 during a search closes, COM8 is kept"


@driver.check(timeout=300, needs=["prefix"])
def window_150_percent():
    """At 150 % (144 dots per inch) everything grows with the display, the fonts included; Alt+F4
    closes the window."""
    before = reg_value(DESKTOP, "LogPixels")

    def log_pixels(*value):
        changed = wine("dpi", 60, "reg", *value, "/f")
        expect(changed.status == 0, f"reg {value[0]} LogPixels failed\n{tail(changed.err)}")

    log_pixels("add", DESKTOP, "/v", "LogPixels", "/t", "REG_DWORD", "/d", 144)
    try:
        with window() as shown:
            button = control_box("Button2")
            picture = screenshot(x_window(), "-150")
            activate()
            keys("alt+F4")
            expect_equal(shown.said, f"visible 413x507 {CAPTION}", "the window at 150 %")
            expect_equal(button[2:], (134, 38), '"Programmieren" at 150 %, width and height')
            expect_closes(shown.process, "Alt+F4")
    finally:
        if before:
            log_pixels("add", DESKTOP, "/v", "LogPixels", "/t", "REG_DWORD", "/d", int(before, 0))
        else:
            log_pixels("delete", DESKTOP, "/v", "LogPixels")
    return f'at 150 %: 413 x 507 client area, "Programmieren" 134 x 38; Alt+F4 closes{picture}'


# The installer, silent (/S), for all users, then for the current user alone. Each time the
# programs, the start-menu entries and the .QV association are in place and work, the PATH of
# the system and the user stays as it was, and the uninstaller leaves nothing behind but itself.

WINDOW_ENTRY = "Morvik 2 Softwareupdate.lnk"
CONSOLE_ENTRY = "Morvik 2 Eingabeaufforderung.lnk"
PATH_KEYS = (r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment",
             r"HKCU\Environment")


def shortcut(name):
    """A start-menu entry's program and arguments, read from its .lnk file (the Shell Link
    format: a header, an optional item list, the target's location, then counted strings)."""
    found = next(DRIVE.rglob(name), None)
    expect(found, f'no start-menu entry "{name}"')
    data = found.read_bytes()

    def number(at, size):
        return int.from_bytes(data[at:at + size], "little")

    flags, at, target = number(0x14, 4), 0x4C, ""
    if flags & 0x1:
        at += 2 + number(at, 2)
    if flags & 0x2:
        base = at + number(at + 16, 4)
        if number(at + 8, 4) & 0x1:
            target = data[base:data.index(b"\0", base)].decode("cp1252")
        at += number(at, 4)
    strings = {}
    width = 2 if flags & 0x80 else 1
    for bit in (0x4, 0x8, 0x10, 0x20, 0x40):  # name, relative path, start folder, arguments, icon
        if flags & bit:
            end = at + 2 + number(at, 2) * width
            strings[bit] = data[at + 2:end].decode("utf-16-le" if width == 2 else "cp1252")
            at = end
    return target, strings.get(0x20, "").rstrip("\0")  # Wine counts the terminating NUL


def batch_spelling(command):
    """A command line as a batch file spells it to hand it on unchanged: percent signs doubled,
    and outside quotes cmd's operators escaped."""
    spelt, quoted = "", False
    for character in command:
        quoted ^= character == '"'
        if character in "&|<>^()" and not quoted:
            spelt += "^"
        spelt += "%%" if character == "%" else character
    return spelt


def typed_into(target, arguments, command):
    """What the console TARGET ARGUMENTS shows when COMMAND, then exit, is typed into it."""
    (RUN / "typed.txt").write_bytes(f"{command}\r\nexit\r\n".encode())
    batch = RUN / "console.bat"
    batch.write_bytes(f'@"{target}" {batch_spelling(arguments)} < typed.txt\r\n'.encode())
    return wine("console", 60, "cmd", "/c", windows_path(batch))


def check_install(mode):
    ensure_uninstalled(ALL_USERS)
    ensure_uninstalled(CURRENT_USER)
    paths = [reg_value(key, "PATH") for key in PATH_KEYS]
    started = time.monotonic()
    ran = install(mode)
    seconds = time.monotonic() - started
    location = mode.location()
    folder = unix_path(location)
    files = sorted(os.listdir(folder)) if location and folder.is_dir() else []
    command = reg_value(mode.classes + r"\Morvik2.UpdateFile\shell\open\command", "")
    expect(ran.status == 0, f"the installer /S ({mode.name}): exit status {ran.status}\n"
                            f"{tail(ran.err)}")
    expect_equal(files, sorted((SOURCE / "packaging/contents/windows-installer.txt")
                               .read_text().split()), f'the files in "{location}"')
    expect_equal(reg_value(mode.classes + r"\.QV", ""), "Morvik2.UpdateFile", ".QV's file type")
    expect_equal(command, f'"{location}\\morvik2-update.exe" --user-folder "%1"',
                 "the command that opens a .QV file")
    expect_equal(shortcut(WINDOW_ENTRY), (f"{location}\\morvik2-update.exe", "--user-folder"),
                 f"the start-menu entry {WINDOW_ENTRY}'s program and arguments")
    # cmd.exe with the install folder in front of PATH for that console alone.
    console, arguments = shortcut(CONSOLE_ENTRY)
    expect_equal((console.lower(), arguments),
                 (r"c:\windows\system32\cmd.exe",
                  f'/k set "PATH={location};%PATH%" && cd /d "%USERPROFILE%"'),
                 f"the start-menu entry {CONSOLE_ENTRY}'s program and arguments")
    typed = typed_into(console, arguments, "morvik2-flash --version")
    answer = re.search(rf"^(.*)>morvik2-flash {re.escape(VERSION)}$", typed.out, re.M)
    expect(answer, f"morvik2-flash --version typed into the console of {CONSOLE_ENTRY}: exit "
                   f"status {typed.status}\n{tail(typed.out)}\n{tail(typed.err)}")
    expect(re.fullmatch(r"C:\\users\\[^\\]+", answer[1], re.I),
           f"the console of {CONSOLE_ENTRY} starts in {answer[1]}, not in the user's folder")
    expect_equal([reg_value(key, "PATH") for key in PATH_KEYS], paths,
                 "the PATH of the system and the user after installing")
    return (f"installer /S ({mode.name}) after {seconds:.0f} s: {' '.join(files)} in {location}, "
            f"start-menu entries {WINDOW_ENTRY} with --user-folder and {CONSOLE_ENTRY}, whose "
            f"console finds morvik2-flash.exe; PATH untouched; .QV opens with {command}")


def check_version(mode):
    ensure_installed(mode)
    ran = wine("version", 60, installed_exe(mode, "morvik2-flash.exe"), "--version")
    expect(ran.status == 0 and ran.out == f"morvik2-flash {VERSION}",
           f'exit status {ran.status}, "{ran.out}"')
    return f"installed morvik2-flash.exe --version ({mode.name}): {ran.out}"


def check_uninstall(mode):
    ensure_installed(mode)
    status, left = uninstall(mode.location())
    before = set(work.state()["installed_before"])
    leftover = [path for path in installed_files()
                if path not in before and "/AppData/Local/Morvik2" not in path]
    expect(status == 0, f"the uninstaller ({mode.name}): exit status {status}\n"
                        f"{tail(log('uninstall.err'))}")
    expect_equal(left, ["uninstall.exe"], "what the uninstaller left in its folder")
    expect_equal(leftover, [], "what the installation left elsewhere")
    for key, name in ((mode.classes + r"\.QV", ""),
                      (mode.classes + r"\Morvik2.UpdateFile\shell\open\command", ""),
                      (mode.uninstall_key, "InstallLocation")):
        expect_equal(reg_value(key, name), "", f"the registry's {key} {name or '(default)'}")
    return (f"uninstaller /S _?= ({mode.name}): only itself left, no file, shortcut or registry "
            f"key of the installation")


@driver.check(timeout=600, needs=["prefix"])
def install_all_users():
    """Installed for all users: the files, the start-menu entry, the .QV association."""
    return check_install(ALL_USERS)


@driver.check(timeout=600, needs=["prefix"])
def installed_version_all_users():
    """The morvik2-flash.exe installed for all users runs."""
    return check_version(ALL_USERS)


@driver.check(timeout=600, needs=["prefix"])
def installed_port_list_drops_down():
    """The installed window's port list is built anew as it drops down: the same ports, the chosen
    one kept."""
    with opened_update_file():
        keys("alt+Down")
        dropped = inspect("dropped").out
        ports = port_list()
        keys("Escape")
        expect_equal(dropped, "open", "the port list after Alt+Down")
        expect_equal(ports, expected_ports("COM1"), "the port list dropped down")
    return "the port list dropped down: COM1 to COM16 and COM23, COM1 still chosen"


@driver.check(timeout=600, needs=["prefix"])
def installed_opens_update_file():
    """Opening an update file starts the installed window with it; closed, it keeps MV2.ini in
    the user's folder."""
    with opened_update_file() as opened:
        keys("F10")
        expect(inspect("wait-gone", 60, wait=60).status == 0, "F10 did not close the window")
        wait_until(lambda: not wine_processes("morvik2-update.exe"), 60, "the program's end")
    ini = next(DRIVE.glob("users/*/AppData/Local/Morvik2/MV2.ini"), None)
    expect(ini, "no MV2.ini in the user's AppData\\Local\\Morvik2")
    expect(re.search(r"^Port=COM1\r?$", ini.read_text(errors="replace"), re.M),
           f"{ini.relative_to(DRIVE)} does not hold Port=COM1:\n{tail(read(ini))}")
    return (f'opening neu.QV starts the window with it ("{opened}"); closed, it keeps MV2.ini '
            f'in {ini.relative_to(DRIVE)}')


@driver.check(timeout=600, needs=["prefix"])
def installed_help_box():
    """morvik2-update.exe --help shows the usage in a message box, for a program without a
    console; Enter closes it, exit status 0."""
    ensure_installed(ALL_USERS)
    end_windows()
    process = start_wine("help", installed_exe(ALL_USERS, "morvik2-update.exe"), "--help")
    try:
        box = wait_box(60)
        keys("Return")
        try:
            status = process.wait(60)
        except subprocess.TimeoutExpired:
            status = "none: still running after 60 s"
        expect_equal(box and box[:2], [CAPTION, "Aufruf: morvik2-update [--user-folder] [DATEI]"],
                     "the message box")
        expect_equal(status, 0, "exit status")
    finally:
        end_started(process)
    return "morvik2-update.exe --help: the usage in a message box; Enter closes it, exit status 0"


@driver.check(timeout=600, needs=["prefix"])
def uninstall_all_users():
    """The uninstaller for all users, run in place, leaves only itself."""
    return check_uninstall(ALL_USERS)


@driver.check(timeout=600, needs=["prefix"])
def install_current_user():
    """Installed for the current user alone: the files, the start-menu entry, the .QV
    association."""
    return check_install(CURRENT_USER)


@driver.check(timeout=600, needs=["prefix"])
def installed_version_current_user():
    """The morvik2-flash.exe installed for the current user runs."""
    return check_version(CURRENT_USER)


@driver.check(timeout=600, needs=["prefix"])
def uninstall_current_user():
    """The uninstaller for the current user, run in place, leaves only itself."""
    return check_uninstall(CURRENT_USER)


driver.main()
