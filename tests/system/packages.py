"""The packages scripts/package made in dist/: their files against packaging/contents/, Debian's
own checks, the desktop entry and the icons, the DLLs the Windows programs import; then the Debian packages installed on this machine
as a user installs them (apt-get, without recommended packages), their programs run, the window
started the way the menu starts it, and the packages purged again.

    cmake --preset integration && ctest --test-dir build/integration -L packages
"""

import functools
import gzip
import io
import os
import re
import shlex
import shutil
import struct
import subprocess
import tarfile
import tempfile
import time
import zipfile
from collections import Counter
from contextlib import contextmanager
from pathlib import Path

from harness import (SOURCE, CheckFailed, Driver, expect, expect_equal, run, start_display,
                     stop_session, tail, wait_until)

driver = Driver("packages")
work = driver.work

PROGRAMS = ("update", "flash", "sim")  # morvik2-NAME: a package and the program it brings
APP_ID = "com.example.Morvik2Update"
TITLE = "QV Morvik 2 Softwareupdate"
# Held while the packages are installed: another checkout's run would remove them under this one.
LOCK = "/tmp/morvik2-check-packages.lock"


@functools.cache
def version():
    project = (SOURCE / "CMakeLists.txt").read_text()
    return re.search(r"^project\(Morvik2Update VERSION ([0-9.]+)", project, re.M).group(1)


@functools.cache
def architecture():
    return run(["dpkg", "--print-architecture"], 60).stdout.strip()


def deb(name):
    path = SOURCE / "dist" / f"morvik2-{name}_{version()}_{architecture()}.deb"
    expect(path.is_file(), f"{path} is missing (scripts/package deb)")
    return path


def each(items, prefix, **options):
    """Registers the function as one check per item, PREFIX_ITEM, each a CTest test of its own."""
    def register(function):
        for item in items:
            def one(item=item):
                return function(item)
            one.__name__ = f"{prefix}_{item}"
            driver.check(**options)(one)
        return function
    return register


def expect_files(actual, listing, what):
    expected = (SOURCE / "packaging/contents" / listing).read_text().split()
    missing = Counter(expected) - Counter(actual)
    unexpected = Counter(actual) - Counter(expected)
    expect(not missing and not unexpected,
           f"{what}: files differ from packaging/contents/{listing}\n"
           f"    missing: {' '.join(sorted(missing)) or '-'}\n"
           f"    not listed: {' '.join(sorted(unexpected)) or '-'}")
    return expected


@contextmanager
def unpacked():
    """morvik2-update's files as it installs them; yields their usr/share."""
    with tempfile.TemporaryDirectory(dir=work.path, prefix="tree-") as root:
        run(["dpkg-deb", "-x", str(deb("update")), root], 120)
        yield Path(root) / "usr/share"


def mime_type(share):
    """The one file type morvik2-update's MIME data defines."""
    types = re.findall(r'<mime-type type="([^"]*)"',
                       (share / "mime/packages/morvik2-update.xml").read_text())
    expect(len(types) == 1, f"morvik2-update.xml defines {len(types)} file types, expected one")
    return types[0]


# What dist/ holds.

@each(PROGRAMS, "contents", timeout=120)
def contents(name):
    listed = subprocess.run(["dpkg-deb", "--fsys-tarfile", str(deb(name))], capture_output=True,
                            timeout=110)
    expect(listed.returncode == 0, f"dpkg-deb --fsys-tarfile: {listed.stderr.decode()}")
    with tarfile.open(fileobj=io.BytesIO(listed.stdout)) as tar:
        files = ["/" + member.name.removeprefix("./") for member in tar if not member.isdir()]
    expected = expect_files(files, f"morvik2-{name}.txt", f"morvik2-{name}")
    return f"holds the {len(expected)} files it should"


@each(("x86_64", "i686"), "zip", timeout=120)
def windows_zip(windows):
    zip_path = SOURCE / "dist" / f"morvik2-{version()}-windows-{windows}.zip"
    expect(zip_path.is_file(), f"{zip_path} is missing (scripts/package zip)")
    top = f"morvik2-{version()}-windows-{windows}/"
    with zipfile.ZipFile(zip_path) as archive:
        names = archive.namelist()
    outside = [name for name in names if not name.startswith(top)]
    expect(not outside, f"{zip_path.name} holds files outside {top}: {' '.join(outside)}")
    expected = expect_files([name.removeprefix(top) for name in names], "windows.txt",
                            zip_path.name)
    return f"{zip_path.name} holds {' '.join(expected)} in {top}"


# DLLs every Windows has, compared without regard to case; the universal C runtime's count as the
# system's. A program importing anything else would not start without MinGW's DLLs beside it.
SYSTEM_DLLS = re.compile(r"(kernel32|user32|gdi32|comctl32|shell32|advapi32|setupapi|ole32|"
                         r"oleaut32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\.dll", re.I)


def imported_dlls(program):
    """The DLLs a Windows program imports, as MinGW's objdump reads them (either reads both
    formats)."""
    objdump = shutil.which("x86_64-w64-mingw32-objdump") or shutil.which("i686-w64-mingw32-objdump")
    expect(objdump, "no MinGW objdump here (scripts/test installs the MinGW cross compilers)")
    listed = run([objdump, "-p", str(program)], 60, what=f"objdump -p {program.name}").stdout
    return re.findall(r"^\s*DLL Name:\s*(\S+)", listed, re.M)


@each(("x86_64", "i686"), "imports", timeout=120)
def windows_imports(windows):
    """Each program in the Windows zip imports only DLLs that Windows brings: it runs on its own."""
    zip_path = SOURCE / "dist" / f"morvik2-{version()}-windows-{windows}.zip"
    expect(zip_path.is_file(), f"{zip_path} is missing (scripts/package zip)")
    found = []
    with tempfile.TemporaryDirectory(dir=work.path, prefix="imports-") as unpacked:
        with zipfile.ZipFile(zip_path) as archive:
            programs = [name for name in archive.namelist() if name.endswith(".exe")]
            expect(programs, f"{zip_path.name} holds no program")
            archive.extractall(unpacked, programs)
        for name in programs:
            program = Path(unpacked) / name
            dlls = imported_dlls(program)
            expect(dlls, f"{name}: no imports found (not a Windows program?)")
            foreign = [dll for dll in dlls if not SYSTEM_DLLS.fullmatch(dll)]
            expect(not foreign, f"{name} imports DLLs that are not part of Windows: "
                   f"{' '.join(foreign)}")
            found.append(f"{program.name} ({program.stat().st_size} bytes): {' '.join(dlls)}")
    return "; ".join(found)


def machine(program):
    """The processor a Windows program is built for, from its PE header."""
    data = program.read_bytes()
    header = int.from_bytes(data[0x3C:0x40], "little") if data[:2] == b"MZ" else 0
    if not header or data[header:header + 4] != b"PE\0\0":
        return "no Windows program"
    code = int.from_bytes(data[header + 4:header + 6], "little")
    return {0x8664: "x86_64", 0x14C: "i686"}.get(code, hex(code))


@each(("x86_64", "i686"), "installer", timeout=300)
def installer(windows):
    """The installer runs on its Windows and installs that Windows' programs with the files the
    list names: read with 7z, not run (wine64 runs no 32-bit installer and still exits 0)."""
    path = SOURCE / "dist" / f"morvik2-{version()}-windows-{windows}-installer.exe"
    expect(path.is_file(), f"{path} is missing (scripts/package installer)")
    expect_equal(machine(path), windows, f"{path.name} is built for")
    expect(shutil.which("7z"), "7z is not installed (package p7zip-full, scripts/check-packages)")
    listed = run(["7z", "l", "-slt", str(path)], 120, what=f"7z l {path.name}").stdout
    names = re.findall(r"^Path = (.*)$", listed.split("\n----------\n", 1)[-1], re.M)
    expected = expect_files([name for name in names if not name.startswith("$PLUGINSDIR/")],
                            "windows-installer.txt", path.name)
    with tempfile.TemporaryDirectory(dir=work.path, prefix="installer-") as unpacked:
        run(["7z", "x", f"-o{unpacked}", str(path), "*.exe"], 240, what=f"7z x {path.name}")
        wrong = [f"{program.name} for {machine(program)}"
                 for program in sorted(Path(unpacked).glob("*.exe")) if machine(program) != windows]
    expect(not wrong, f"{path.name} holds programs for another Windows: {', '.join(wrong)}")
    return f"{path.name}, for {windows}, installs {' '.join(expected)}, all for {windows}"


@driver.check(timeout=900)
def lintian():
    done = run(["lintian", "--fail-on", "error,warning", "--display-info",
                *(str(deb(name)) for name in PROGRAMS)], 840, check=False)
    tags = [line for line in (done.stdout + done.stderr).splitlines()
            if re.match(r"[EWI]: ", line)]
    expect(done.returncode == 0, f"lintian: exit status {done.returncode}\n"
           + ("\n".join("    " + tag for tag in tags) or tail(done.stdout + done.stderr)))
    notes = [tag for tag in tags if tag.startswith("I: ")]
    if notes:
        print("\n".join(notes))
    return f"no error or warning ({len(notes)} notes)"


@driver.check(timeout=120)
def desktop_file_validate():
    with unpacked() as share:
        done = run(["desktop-file-validate", str(share / f"applications/{APP_ID}.desktop")], 60,
                   check=False)
    expect(done.returncode == 0, f"desktop-file-validate: {done.stdout}{done.stderr}")
    return f"{APP_ID}.desktop"


@driver.check(timeout=300)
def appstream_validate():
    with unpacked() as share:
        done = run(["appstreamcli", "validate", "--no-net",
                    str(share / f"metainfo/{APP_ID}.metainfo.xml")], 240, check=False)
    expect(done.returncode == 0, f"appstreamcli validate:\n{tail(done.stdout + done.stderr, 40)}")
    return f"{APP_ID}.metainfo.xml"


@driver.check(timeout=120)
def desktop_entry():
    """The menu entry and the file type start the window in the user's folder with the file
    opened; the type it handles is the one the MIME data defines for *.QV."""
    with unpacked() as share:
        lines = (share / f"applications/{APP_ID}.desktop").read_text().splitlines()
        mime = mime_type(share)
        types = (share / "mime/packages/morvik2-update.xml").read_text()
    lacking = [line for line in ("Exec=morvik2-update --user-folder %f", f"MimeType={mime};")
               if line not in lines]
    lacking += [f"{key}=..." for key in ("Name[de]", "Comment[de]")
                if not any(line.startswith(f"{key}=") for line in lines)]
    expect(not lacking, f"{APP_ID}.desktop lacks the lines {', '.join(lacking)}")
    expect('<glob pattern="*.QV"/>' in types, f"morvik2-update.xml gives {mime} no glob *.QV")
    return f"Exec with --user-folder %f, {mime} for *.QV, German and English"


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        return None
    return "%dx%d" % struct.unpack(">II", data[16:24])


@driver.check(timeout=120)
def icons():
    with unpacked() as share:
        found = {icon.parts[-3]: png_size(icon.read_bytes())
                 for icon in (share / "icons/hicolor").glob("*/apps/morvik2-update.png")}
    expect(found, "morvik2-update brings no icon in icons/hicolor")
    wrong = [f"{size} is drawn at {drawn or 'an unknown size (not a PNG)'}"
             for size, drawn in found.items() if drawn != size]
    expect(not wrong, "icons: " + "; ".join(sorted(wrong)))
    sizes = sorted(found, key=lambda size: (len(size), size))
    return "drawn at their sizes: " + " ".join(size.split("x")[0] for size in sizes)


@each(("update", "flash"), "dialout", timeout=60)
def dialout(name):
    description = run(["dpkg-deb", "-f", str(deb(name)), "Description"], 50).stdout
    expect("dialout" in description,
           f"morvik2-{name}'s description says nothing of the group dialout:\n{tail(description)}")
    return f"morvik2-{name}'s description tells of the group dialout"


# Installed on this machine.

def apt(*arguments, timeout):
    sudo = [] if os.geteuid() == 0 else ["sudo"]
    return run([*sudo, "env", "DEBIAN_FRONTEND=noninteractive", "apt-get", "-y", "-q",
                "-o", "DPkg::Lock::Timeout=300", *arguments], timeout,
               what=f"apt-get {arguments[0]}")


def known_to_dpkg():
    """Ours in any state but gone: also what an interrupted install left half-done."""
    known = []
    for name in PROGRAMS:
        status = run(["dpkg-query", "-W", "-f=${Status}", f"morvik2-{name}"], 60,
                     check=False).stdout
        if status and not status.endswith("not-installed"):
            known.append(f"morvik2-{name}")
    return known


def remove():
    known = known_to_dpkg()
    if known:
        apt("purge", *known, timeout=600)


def lock_holder():
    """The pid of this run's process that holds LOCK, while it holds it."""
    pid = work.state().get("lock_holder")
    try:
        alive = pid and LOCK in Path(f"/proc/{pid}/cmdline").read_text()
    except OSError:
        alive = False
    return pid if alive else None


def take_lock():
    """The holder keeps LOCK until the cleanup ends it, or until whoever ran this setup (CTest)
    is gone: an interrupted run holds nothing, and the next run's setup purges what it left.
    Its tail writes to /dev/null: tail -f ends once its output is a closed pipe."""
    holder = subprocess.Popen(
        ["flock", "-w", "600", LOCK, "sh", "-c",
         f"echo locked && exec tail --pid={os.getppid()} -f /dev/null >/dev/null"],
        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
        start_new_session=True)
    work.remember(lock_holder=holder.pid, locked=False)
    with holder.stdout:
        said = holder.stdout.readline()
    expect(said == b"locked\n", "another package check held the lock for 10 minutes")
    work.remember(locked=True)


def purge_and_unlock(left):
    """Purges ours if this run holds the lock and then returns left(); ends the holder. None:
    this run installed nothing."""
    holder = lock_holder()
    try:
        if not work.state().get("locked"):
            return None
        expect(holder, "the lock's holder ended before the purge (was the setup's parent "
                       "gone?): the packages stay installed until the next run's setup")
        remove()
        return left()
    finally:
        if holder:
            stop_session(holder)
        work.remember(lock_holder=None, locked=False)


@driver.setup("installed", timeout=1800)
def install():
    try:
        take_lock()
        remove()  # what an interrupted run left
        apt("install", "--no-install-recommends", *(str(deb(name)) for name in PROGRAMS),
            timeout=900)
        work.remember(mime_type=mime_type(Path("/usr/share")))
    except BaseException:
        purge_and_unlock(lambda: None)
        raise
    packages = " ".join(f"morvik2-{name}" for name in PROGRAMS)
    return f"apt-get install --no-install-recommends of {packages}"


def leftovers():
    mime = work.state()["mime_type"]
    left = [f"/usr/bin/morvik2-{name}" for name in PROGRAMS
            if os.path.lexists(f"/usr/bin/morvik2-{name}")]
    left += [str(path) for path in (Path(f"/usr/share/applications/{APP_ID}.desktop"),
                                    Path(f"/usr/share/mime/{mime}.xml")) if path.exists()]
    cache = Path("/usr/share/applications/mimeinfo.cache")
    if cache.exists() and mime in cache.read_text():
        left.append(f"{mime} in {cache}")
    left += [f"{package} known to dpkg" for package in known_to_dpkg()]
    return left


@driver.cleanup("installed", timeout=900)
def purge():
    left = purge_and_unlock(leftovers)
    if left is None:
        return "nothing to purge: the setup installed nothing"
    expect(not left, "left after apt-get purge: " + ", ".join(left))
    return "apt-get purge removed the programs, the entry and the file type"


@each(PROGRAMS, "version", timeout=120, needs=["installed"])
def installed_version(name):
    program = f"/usr/bin/morvik2-{name}"
    done = run([program, "--version"], 60, check=False)
    said = (done.stdout + done.stderr).rstrip("\n")
    expect(done.returncode == 0 and said == f"morvik2-{name} {version()}",
           f"{program} --version: {said!r} with exit status {done.returncode}, "
           f"expected 'morvik2-{name} {version()}'")
    return f"{program} --version: {said}"


@driver.check(timeout=120, needs=["installed"])
def help_and_man():
    usage = run(["/usr/bin/morvik2-update", "--help"], 60).stdout
    expect("--user-folder" in usage,
           f"morvik2-update --help names no --user-folder:\n{tail(usage)}")
    for name in PROGRAMS:
        run(["man", "-w", f"morvik2-{name}"], 60, what=f"man -w morvik2-{name}")
    return "morvik2-update --help shows the usage; man finds the three man pages"


def man_page(name):
    page = Path(f"/usr/share/man/man1/morvik2-{name}.1.gz")
    try:
        return gzip.decompress(page.read_bytes()).decode("utf-8")
    except UnicodeDecodeError as error:
        raise CheckFailed(f"{page} is not UTF-8: {error}") from None


@each(PROGRAMS, "man_page", timeout=120, needs=["installed"])
def man_page_letters(name):
    """The man page is UTF-8 and shows every letter beyond ASCII that --help shows: help2man in
    its own C locale writes each byte of an umlaut as "?"."""
    text = man_page(name)
    marked = [f"    {number}: {line}" for number, line in enumerate(text.splitlines(), 1)
              if "??" in line]
    expect(not marked, f"morvik2-{name}.1 holds '??':\n" + "\n".join(marked[:5]))
    usage = run([f"/usr/bin/morvik2-{name}", "--help"], 60, encoding="utf-8").stdout
    letters = sorted({letter for letter in usage if not letter.isascii()})
    lacking = [letter for letter in letters if letter not in text]
    expect(not lacking, f"morvik2-{name}.1 lacks {' '.join(lacking)}, which --help shows")
    return f"morvik2-{name}.1 is UTF-8 and shows {''.join(letters) or 'no letter beyond ASCII'}"


@driver.check(timeout=300, needs=["installed"])
def sim_man_page_example():
    """The example of morvik2-sim's man page works as it is written: a demo firmware made with
    srec_cat, the simulator in one terminal, morvik2-flash writing the file from a second."""
    commands, inside = [], False
    for line in man_page("sim").splitlines():
        if line.startswith((".EX", ".EE")):
            inside = line.startswith(".EX")
        elif inside:
            commands.append(line.replace("\\-", "-"))
    expect_equal([command.split()[0] for command in commands],
                 ["srec_cat", "morvik2-sim", "morvik2-flash"], "the commands of the example")
    with tempfile.TemporaryDirectory(dir=work.path, prefix="example-") as home:
        environment = dict(os.environ, HOME=home)
        run(["bash", "-c", commands[0]], 60, what=commands[0], cwd=home, env=environment)
        try:
            sim = work.start(["bash", "-c", f"exec {commands[1]}"], "example-sim", cwd=home,
                             env=environment)
            said = work.log("example-sim.out")
            wait_until(lambda: sim.poll() is not None or said.read_text().startswith("/dev/"), 30,
                       "the simulator's pseudo-terminal")
            expect(sim.poll() is None, f"{commands[1]}: exit status {sim.returncode}\n"
                                       f"{tail(work.log('example-sim.err'))}")
            flashed = run(["bash", "-c", commands[2]], 240, what=commands[2], cwd=home,
                          env=environment, check=False)
            expect(flashed.returncode == 0 and flashed.stdout.splitlines()[-1:] == ["Alles OK !"],
                   f"{commands[2]}: exit status {flashed.returncode}\n{tail(flashed.stdout)}\n"
                   f"{tail(flashed.stderr)}")
            try:
                status = sim.wait(60)
            except subprocess.TimeoutExpired:
                status = "none: still running 60 s after the run"
            expect_equal(status, 0, f"{commands[1]}: exit status")
        finally:
            work.stop_all()
    return f"{commands[0]}; {commands[1]}; {commands[2]}: \"Alles OK !\""


# Each case: a program, the words after its name, and what completing the last one offers, in a
# folder that holds FILES.
FILES = ("alt.hex", "liesmich.txt", "neu.QV")
FIRMWARE_FILES = ["alt.hex", "neu.QV"]
COM1_AND_ABOVE = ["COM1"] + [f"COM{n}" for n in range(10, 17)]
COMPLETIONS = [
    ("morvik2-flash", ["--po"], ["--port"]),
    ("morvik2-flash", ["-p", "COM1"], COM1_AND_ABOVE),
    ("morvik2-flash", ["--port", "COM1"], COM1_AND_ABOVE),
    ("morvik2-flash", ["-f", ""], FIRMWARE_FILES),
    ("morvik2-flash", ["--file", ""], FIRMWARE_FILES),
    ("morvik2-update", ["--us"], ["--user-folder"]),
    ("morvik2-sim", ["--p"], ["--power-on-after"]),
    ("morvik2-sim", ["--fault", "end"], ["end-silent", "end-wrong"]),
    ("morvik2-sim", ["--link", ""], list(FILES)),
    ("morvik2-sim", ["--image", ""], list(FILES)),
]
# The installed completion of $1, asked for the words after it as bash asks it.
COMPLETE = r"""exec 2>&1
source /usr/share/bash-completion/bash_completion
program=$1
shift
source "/usr/share/bash-completion/completions/$program"
function=$(complete -p "$program")
function=${function#*-F }
function=${function%% *}
COMP_WORDS=("$program" "$@")
COMP_CWORD=$#
COMP_LINE="${COMP_WORDS[*]}"
COMP_POINT=${#COMP_LINE}
"$function" "$program" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
printf '%s\n' "${COMPREPLY[@]}"
"""


@driver.check(timeout=300, needs=["installed"])
def bash_completion():
    """The shell completes each program's options as its --help names them, and their values:
    ports, firmware files, the simulator's faults and paths."""
    wrong = []
    with tempfile.TemporaryDirectory(dir=work.path, prefix="completion-") as folder:
        for name in FILES:
            Path(folder, name).touch()
        for program, words, expected in COMPLETIONS:
            done = run(["bash", "-c", COMPLETE, "bash", program, *words], 60, check=False,
                       cwd=folder)
            offered = sorted(filter(None, done.stdout.splitlines()))
            if offered != expected:
                wrong.append(f"    {program} {' '.join(words)}: {' '.join(offered) or '-'}, "
                             f"expected {' '.join(expected)}")
    expect(not wrong, "bash completion offers:\n" + "\n".join(wrong))
    return f"{len(COMPLETIONS)} completions of morvik2-flash, morvik2-update and morvik2-sim"


@driver.check(timeout=120, needs=["installed"])
def mime_registered():
    """The system's databases learnt the file type and who opens it (the triggers of
    shared-mime-info and desktop-file-utils)."""
    mime = mime_type(Path("/usr/share"))
    expect(Path(f"/usr/share/mime/{mime}.xml").is_file(),
           f"{mime} is not in the MIME database (/usr/share/mime/{mime}.xml)")
    cache = Path("/usr/share/applications/mimeinfo.cache")
    handlers = [line.split("=", 1)[1] for line in
                (cache.read_text().splitlines() if cache.exists() else [])
                if line.startswith(f"{mime}=")]
    expect(handlers and handlers[0].split(";")[0] == f"{APP_ID}.desktop",
           f"{cache} does not open {mime} with {APP_ID}.desktop: {handlers}")
    return f"{mime} is known to the MIME database and opens with {APP_ID}.desktop"


def loaded_plugins(pid):
    try:
        maps = Path(f"/proc/{pid}/maps").read_text()
    except OSError:
        raise CheckFailed("the window ended before its plugins were read")
    return sorted({fields[5] for fields in map(str.split, maps.splitlines())
                   if len(fields) >= 6 and re.search(r"/qt6/plugins/.*\.so$", fields[5])})


def settled(read, steady=2.0, seconds=60):
    """What read() gives once it has not changed for `steady` seconds: Qt loads some plugins only
    after the window shows."""
    seen = [None, 0.0]

    def unchanged():
        value, now = read(), time.monotonic()
        if value != seen[0]:
            seen[:] = [value, now]
        return (value,) if now - seen[1] >= steady else None

    return wait_until(unchanged, seconds, "the window's loaded plugins settling", 0.25)[0]


def run_window():
    """The installed window as the desktop starts it for a .QV file, on a display of its own: in
    the user's folder, which it makes. Waits until it shows and its plugins settled, closes it
    with F10. Returns its exit status, the Qt plugins it had loaded and its MV2.ini (None: none)."""
    exec_line = re.search(r"^Exec=(.*)$", Path(f"/usr/share/applications/{APP_ID}.desktop")
                          .read_text(), re.M).group(1)
    with tempfile.TemporaryDirectory(dir=work.path, prefix="user-") as user:
        home, downloads = Path(user, "home"), Path(user, "Downloads")
        home.mkdir()
        downloads.mkdir()
        opened = downloads / "neu.QV"
        shutil.copy(SOURCE / "packaging/debian/changelog", opened)  # any file: it is not written
        command = [str(opened) if word == "%f" else word for word in shlex.split(exec_line)]
        try:
            environment = dict(os.environ, DISPLAY=start_display(work, "window", "640x480x24"),
                               HOME=str(home), XDG_DATA_HOME="", QT_QPA_PLATFORM="xcb")
            window = work.start(command, "window", cwd=home, env=environment)

            def shown():
                expect(window.poll() is None, f"the window ended with status {window.returncode}"
                       f" before it showed:\n{tail(work.log('window.err'))}")
                return run(["xdotool", "search", "--onlyvisible", "--name", f"^{TITLE}$"], 30,
                           check=False, env=environment).stdout.split()

            shown_id = wait_until(shown, 90, f"the window {TITLE!r} showing")[0]
            plugins = settled(lambda: loaded_plugins(window.pid))
            run(["xdotool", "windowactivate", "--sync", shown_id, "key", "F10"], 30, check=False,
                env=environment)
            try:
                status = window.wait(60)
            except subprocess.TimeoutExpired:
                raise CheckFailed("the window did not close with F10 within 60 s:\n"
                                  + tail(work.log("window.err")))
        finally:
            work.stop_all()
        ini = home / ".local/share/morvik2/MV2.ini"
        return status, plugins, ini.read_bytes() if ini.exists() else None


@driver.check(timeout=300, needs=["installed"])
def window_from_menu():
    status, _, ini = run_window()
    expect(status == 0, f"the window's exit status after F10: {status}\n"
           + tail(work.log("window.err")))
    expect(ini == b"[Setup]\r\nPort=COM1\r\n",
           f"~/.local/share/morvik2/MV2.ini: {ini!r}, expected b'[Setup]\\r\\nPort=COM1\\r\\n'")
    return "up under X, closed with F10, MV2.ini in ~/.local/share/morvik2"


def dependencies():
    """The packages morvik2-update brings with it, itself included."""
    listed = run(["apt-cache", "depends", "--recurse", "--installed", "--no-recommends",
                  "--no-suggests", "--no-conflicts", "--no-breaks", "--no-replaces",
                  "--no-enhances", "morvik2-update"], 120).stdout
    return {line.split(":")[0] for line in listed.splitlines() if line and not line[0].isspace()}


def owner(path):
    said = run(["dpkg", "-S", path], 60, check=False).stdout.splitlines()
    return re.split(r"[:,]", said[0])[0] if said else None


@driver.check(timeout=300, needs=["installed"])
def qt_plugins():
    """Every Qt plugin the running window loaded (the platform plugin, image formats, ...) comes
    from a package its dependencies bring: dpkg-shlibdeps cannot see plugins."""
    _, plugins, _ = run_window()
    closure = dependencies()
    outside = [f"{Path(plugin).name} ({package or 'no package'})"
               for plugin, package in ((plugin, owner(plugin)) for plugin in plugins)
               if package not in closure]
    names = " ".join(Path(plugin).name for plugin in plugins)
    expect(any(plugin.endswith("/platforms/libqxcb.so") for plugin in plugins),
           f"the window loaded no xcb platform plugin (it loaded: {names or 'none'})")
    expect(not outside, "Qt plugins from outside the window's dependencies: " + ", ".join(outside))
    return f"the window's Qt plugins come with its dependencies: {names}"


driver.main()
