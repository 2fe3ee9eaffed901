"""The flasher in a small Linux guest (QEMU, TCG), reaching simulated devices on the host
through the kernel's own serial drivers: ftdi_sio behind QEMU's FTDI adapter on USB, and the
8250 UART. QEMU's trace shows each modem-line request at the adapter with the host's clock;
QMP pulls an adapter out and plugs it back.

The kernel and busybox are Debian's, fetched with apt-get download into the build tree and
never installed; the flasher is a static Release build of this tree.
"""

import atexit
import json
import lzma
import random
import re
import shutil
import socket
import subprocess
import threading
import time

from harness import BUILD, SOURCE, CheckFailed, Driver, expect, expect_equal, run, tail

driver = Driver("guest")
work = driver.work
CACHE = BUILD / "guest"  # downloads and the static build, kept between runs
PROGRAMS = SOURCE / "build/guest-programs"  # the preset's tree
MODULES = ["usb-common", "usbcore", "xhci-hcd", "xhci-pci", "usbserial", "ftdi_sio"]
FIRMWARE = {"full": 0x10000, "medium": 0x4000, "small": 0x1000}  # bytes of each test file
STATUS_LINES = ["Reset", "Suche nach Morvik 2.", "Schreibe Daten, bitte warten!", "Alles OK !"]
PORT_LOST = "Verbindung zur Schnittstelle unterbrochen!"
DIALOUT = 20  # Debian's group dialout


# --- The fixture: kernel, modules, busybox, static programs, firmware, the base initramfs ---

def apt_download(package, into):
    """The package's .deb in `into`, downloaded unless it is there already."""
    found = sorted(into.glob(f"{package}_*.deb"))
    if found:
        return found[-1]
    command = ["apt-get", "download", "-q", package]
    if run(command, 600, check=False, cwd=into).returncode != 0:
        # A stale list can name a version the mirror no longer has.
        run(["apt-get", "update", "-q"], 600, "apt-get update")
        run(command, 600, f"apt-get download {package}", cwd=into)
    return sorted(into.glob(f"{package}_*.deb"))[-1]


def kernel_package():
    said = run(["apt-cache", "depends", "linux-image-amd64"], 60, "apt-cache depends").stdout
    match = re.search(r"Depends: (linux-image-\S+)", said)
    expect(match, f"linux-image-amd64 names no kernel:\n{tail(said)}")
    return match.group(1)


def unpack_kernel(package, into):
    """vmlinuz and the modules the guest loads, as plain .ko files, from Debian's package."""
    if (into / "vmlinuz").exists():
        return
    deb = apt_download(package, CACHE)
    unpacked = CACHE / "unpacked"
    shutil.rmtree(unpacked, ignore_errors=True)
    run(["dpkg", "-x", str(deb), str(unpacked)], 300, "dpkg -x of the kernel")
    staging = into.with_suffix(".new")
    shutil.rmtree(staging, ignore_errors=True)
    (staging / "modules").mkdir(parents=True)
    shutil.copy(next(unpacked.glob("boot/vmlinuz-*")), staging / "vmlinuz.tmp")
    for module in MODULES:
        found = list(unpacked.glob(f"lib/modules/*/kernel/**/{module}.ko*"))
        expect(found, f"{package} has no module {module}")
        data = found[0].read_bytes()
        if found[0].suffix == ".xz":
            data = lzma.decompress(data)
        (staging / "modules" / f"{module}.ko").write_bytes(data)
    (staging / "vmlinuz.tmp").rename(staging / "vmlinuz")
    shutil.rmtree(unpacked)
    shutil.rmtree(into, ignore_errors=True)
    staging.rename(into)


def intel_hex(data):
    """`data` from address 0 as Intel HEX: 32-byte data records, then the end record."""
    lines = []
    for address in range(0, len(data), 32):
        chunk = data[address:address + 32]
        record = bytes([len(chunk), address >> 8, address & 0xFF, 0]) + chunk
        lines.append(":" + (record + bytes([-sum(record) & 0xFF])).hex().upper())
    return "\n".join(lines + [":00000001FF"]) + "\n"


def hex_image(text):
    """Address -> byte of every data record in an Intel HEX text."""
    image = {}
    for line in text.split():
        record = bytes.fromhex(line[1:])
        if record[3] == 0:
            address = record[1] << 8 | record[2]
            for offset, byte in enumerate(record[4:4 + record[0]]):
                image[address + offset] = byte
    return image


def pack(tree, archive):
    """Everything under `tree` as a newc cpio archive, as the kernel unpacks an initramfs."""
    names = sorted(str(path.relative_to(tree)) for path in tree.rglob("*"))
    with open(archive, "wb") as out:
        subprocess.run(["cpio", "--quiet", "-o", "-H", "newc", "-R", "0:0"], cwd=tree,
                       input="\n".join(names).encode(), stdout=out, check=True, timeout=120)


@driver.setup("assets", timeout=1200)
def assets():
    for tool, package in (("qemu-system-x86_64", "qemu-system-x86"), ("cpio", "cpio")):
        expect(shutil.which(tool), f"{tool} is missing: scripts/test installs {package}")
    CACHE.mkdir(parents=True, exist_ok=True)
    package = kernel_package()
    kernel = CACHE / package
    unpack_kernel(package, kernel)
    busybox = CACHE / "busybox"
    if not busybox.exists():
        deb = apt_download("busybox-static", CACHE)
        unpacked = CACHE / "busybox-unpacked"
        run(["dpkg", "-x", str(deb), str(unpacked)], 120, "dpkg -x of busybox-static")
        shutil.copy(unpacked / "bin/busybox", busybox)
        shutil.rmtree(unpacked)
    # Static: the guest has no C library. The sanitizers' build cannot be linked so.
    run(["cmake", "--preset", "guest-programs"], 300, "cmake of the static programs", cwd=SOURCE)
    run(["cmake", "--build", str(PROGRAMS), "--target", "morvik2-flash", "morvik2-sim"], 1200,
        "build of the static programs")

    tree = work.path / "base"
    shutil.rmtree(tree, ignore_errors=True)
    for folder in ("bin", "dev", "proc", "sys", "tmp", "fw", "lib/modules"):
        (tree / folder).mkdir(parents=True)
    shutil.copy(busybox, tree / "bin/busybox")
    shutil.copy(PROGRAMS / "tools/morvik2-flash", tree / "bin/morvik2-flash")
    for module in (kernel / "modules").iterdir():
        shutil.copy(module, tree / "lib/modules" / module.name)
    shutil.copy(SOURCE / "tests/system/guest-init.sh", tree / "init")
    (tree / "init").chmod(0o755)
    generator = random.Random(2)
    for name, size in FIRMWARE.items():
        (tree / "fw" / f"{name}.QV").write_text(intel_hex(generator.randbytes(size)))
    pack(tree, work.path / "base.cpio")
    work.remember(kernel=str(kernel / "vmlinuz"), sim=str(PROGRAMS / "tools/morvik2-sim"))
    return f"{package}, busybox-static, static morvik2-flash"


# --- One guest and its devices ---

class Device:
    """A simulated Morvik 2 on a host pty, behind one adapter of the guest; stopped at the
    latest when the check ends, however it ends."""

    def __init__(self, name, *options):
        self.name = name
        self.image = work.path / f"{name}.hex"
        self.image.unlink(missing_ok=True)
        self.log = work.path / f"{name}.err"
        self.process = subprocess.Popen(
            [work.state()["sim"], "--image", str(self.image), "--baud", "115200", "--log",
             *options], stdout=subprocess.PIPE, stderr=open(self.log, "wb"),
            stdin=subprocess.DEVNULL, text=True)
        atexit.register(self.stop)
        self.pty = self.process.stdout.readline().strip()
        expect(self.pty.startswith("/dev/"), f"morvik2-sim did not start:\n{tail(self.log)}")

    def frames(self):
        text = self.log.read_text(errors="replace") if self.log.exists() else ""
        return len(re.findall(r"^frame \d+$", text, re.MULTILINE))

    def holds(self, firmware):
        """Whether the device's image is exactly the firmware file's data."""
        text = (work.path / "base/fw" / f"{firmware}.QV").read_text()
        return self.image.exists() and hex_image(self.image.read_text()) == hex_image(text)

    def stop(self):
        if self.process.poll() is not None:
            return
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()


class Qmp:
    """QEMU's machine protocol on a unix socket: one command at a time."""

    def __init__(self, path, seconds=30):
        deadline = time.monotonic() + seconds
        while True:
            try:
                self.socket = socket.socket(socket.AF_UNIX)
                self.socket.connect(str(path))
                break
            except OSError:
                self.socket.close()
                if time.monotonic() > deadline:
                    raise CheckFailed(f"QMP socket {path} did not open")
                time.sleep(0.05)
        self.replies = self.socket.makefile("r")
        self.replies.readline()  # the greeting
        self.events = []
        self.execute("qmp_capabilities")

    def wait_for_event(self, name, seconds=30, **data):
        """Until QEMU reports event `name` with `data`."""
        self.socket.settimeout(seconds)
        try:
            while not any(event["event"] == name and data.items() <= event.get("data", {}).items()
                          for event in self.events):
                self.events.append(json.loads(self.replies.readline()))
        except (socket.timeout, ValueError):
            raise CheckFailed(f"QEMU did not report {name} {data} within {seconds} s")
        finally:
            self.socket.settimeout(None)

    def execute(self, command, **arguments):
        self.socket.sendall(json.dumps({"execute": command, "arguments": arguments}).encode())
        while True:
            reply = json.loads(self.replies.readline())
            if "event" in reply:
                self.events.append(reply)
            if "error" in reply:
                raise CheckFailed(f"QMP {command}: {reply['error']}")
            if "return" in reply:
                return reply["return"]


class Guest:
    """One boot of the guest with its adapters, running `scenario` (shell, sourced by init).

    usb: Devices behind FTDI adapters ("adapter0", ... with serial numbers "MV2-0", ...);
    uart: a Device behind the second 8250 (/dev/ttyS1)."""

    def __init__(self, scenario, usb=(), uart=None):
        self.usb, self.uart = list(usb), uart
        self.trace = work.path / "trace.txt"
        self.trace.unlink(missing_ok=True)
        self.console = []
        self.results = {}
        self.qmp = None
        tree = work.path / "scenario"
        shutil.rmtree(tree, ignore_errors=True)
        tree.mkdir()
        (tree / "scenario.sh").write_text(scenario)
        pack(tree, work.path / "scenario.cpio")
        self.initrd = work.path / "initrd.cpio"
        with open(self.initrd, "wb") as out:  # the kernel unpacks both, one after the other
            for part in ("base.cpio", "scenario.cpio"):
                out.write((work.path / part).read_bytes())

    def command(self, qmp):
        command = ["qemu-system-x86_64", "-accel", "tcg", "-m", "256", "-nographic",
                   "-no-reboot", "-nodefaults", "-no-user-config",
                   "-kernel", work.state()["kernel"], "-initrd", str(self.initrd),
                   "-append", "console=ttyS0 quiet panic=-1", "-serial", "stdio",
                   "-qmp", f"unix:{qmp},server=on,wait=off", "-msg", "timestamp=on",
                   "-trace", f"usb_serial_handle_control,file={self.trace}",
                   "-trace", f"serial_write,file={self.trace}"]
        if self.usb:
            command += ["-device", "qemu-xhci"]
        for index, device in enumerate(self.usb):
            command += ["-chardev", f"serial,id=c{index},path={device.pty}", "-device",
                        f"usb-serial,chardev=c{index},id=adapter{index},serial=MV2-{index}"]
        # The second UART is always there: the scenario's marks are written to it.
        backend = f"serial,id=uart,path={self.uart.pty}" if self.uart else "null,id=uart"
        command += ["-chardev", backend, "-device", "isa-serial,chardev=uart,index=1"]
        return command

    def unplug(self, index):
        self.qmp.execute("device_del", id=f"adapter{index}")
        # Only once it is gone is its chardev free for the next device_add.
        self.qmp.wait_for_event("DEVICE_DELETED", device=f"adapter{index}")

    def plug(self, index):
        self.qmp.execute("device_add", driver="usb-serial", chardev=f"c{index}",
                         id=f"adapter{index}", serial=f"MV2-{index}")

    def run(self, on_ask=None, watch=None, seconds=180):
        """Boots, serves the scenario's "@@ ask WHAT" lines with on_ask(WHAT) and calls
        watch() every 50 ms until the guest powers off; fails after `seconds`, well within the
        check's own limit, so that the console's end is reported."""
        qmp = work.path / "qmp.sock"
        qmp.unlink(missing_ok=True)
        process = subprocess.Popen(self.command(qmp), stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        asks = []
        reader = threading.Thread(target=self._read, args=(process.stdout, asks), daemon=True)
        reader.start()
        try:
            self.qmp = Qmp(qmp)
            deadline = time.monotonic() + seconds
            while process.poll() is None:
                if time.monotonic() > deadline:
                    raise CheckFailed(f"the guest still ran after {seconds} s:\n"
                                      + tail("\n".join(self.console), 25))
                while asks:
                    on_ask(asks.pop(0))
                if watch:
                    watch()
                time.sleep(0.05)
            reader.join(10)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
            for device in self.usb + ([self.uart] if self.uart else []):
                device.stop()
        expect("done" in self.results,
               "the scenario did not finish:\n" + tail("\n".join(self.console), 25))
        return self

    def _read(self, stream, asks):
        for raw in stream:
            line = raw.decode(errors="replace").rstrip("\r\n")
            self.console.append(line)
            if not line.startswith("@@ "):
                continue
            key, _, rest = line[3:].partition(" ")
            kind, _, text = rest.partition(" ")
            if key == "ask":
                asks.append(rest)
            elif kind in ("out", "err"):
                self.results.setdefault(f"{key} {kind}", []).append(text)
            else:
                self.results[key] = rest.split()
                self.results[f"{key} at"] = time.monotonic()

    # What a run of `flash NAME ...` in the scenario said.
    def exit(self, name):
        expect(name in self.results, f"run {name} did not end:\n" + self.report(name))
        return int(self.results[name][1])

    def out(self, name):
        return self.results.get(f"{name} out", [])

    def err(self, name):
        return self.results.get(f"{name} err", [])

    def report(self, name):
        return "\n".join(["  stdout:"] + [f"    {line}" for line in self.out(name)]
                         + ["  stderr:"] + [f"    {line}" for line in self.err(name)])

    def seconds(self, name):
        """Wall-clock, user and system seconds of run NAME, as the guest measured them."""
        return [float(value) for value in self.results[f"{name}-time"]]

    def events(self):
        """(host time in s, device, request, value) of every traced adapter request and UART
        register write, in order."""
        found = []
        pattern = re.compile(r"@(\d+\.\d+):(?:usb_serial_handle_control dev (\S+) got control "
                             r"(0x[0-9a-f]+), value (0x[0-9a-f]+)|serial_write write addr "
                             r"(0x[0-9a-f]+) val (0x[0-9a-f]+))")
        for match in pattern.finditer(self.trace.read_text(errors="replace")):
            at, device, request, value, register, byte = match.groups()
            if device:
                found.append((float(at), device, int(request, 16), int(value, 16)))
            else:
                found.append((float(at), "uart", int(register, 16), int(byte, 16)))
        return found

    def between_marks(self, first, last):
        """The events after scratch-register mark `first` and before `last`."""
        events = self.events()
        marks = [index for index, (_, device, register, value) in enumerate(events)
                 if device == "uart" and register == 7 and value in (first, last)]
        expect(len(marks) == 2, f"marks {first} and {last} not both in QEMU's trace")
        return events[marks[0] + 1:marks[1]]


# --- Checks ---

def whole_file(path, guest):
    result = guest.run()
    status, seconds = result.exit("run"), result.seconds("run")
    expect(status == 0, f"exit status {status}:\n{result.report('run')}")
    expect_equal(result.out("run"), STATUS_LINES, "status lines")
    device = (result.usb or [result.uart])[0]
    expect(device.holds("full"), "the device's image differs from the firmware file")
    return f"{FIRMWARE['full']} bytes through {path} in {seconds[0]:.1f} s, exit 0, image equal"


@driver.check(timeout=300, needs=["assets"])
def whole_file_ftdi():
    """A 64 KiB file through ftdi_sio: exit 0, and the device holds the file."""
    scenario = "wait_for /dev/ttyUSB0\nflash run -p /dev/ttyUSB0 --search-timeout 60 /fw/full.QV\n"
    return whole_file("ftdi_sio", Guest(scenario, usb=[Device("device")]))


@driver.check(timeout=300, needs=["assets"])
def whole_file_uart():
    """The same through the 8250 UART."""
    scenario = "flash run -p /dev/ttyS1 --search-timeout 60 /fw/full.QV\n"
    return whole_file("the 8250", Guest(scenario, uart=Device("device")))


def line_states(events, device):
    """(time, DTR, RTS) at each change of the lines, from the requests to one adapter (an FTDI
    SET_MODEM_CTRL: high byte mask, low byte state) or the UART's modem-control register."""
    dtr = rts = 0
    changes = []
    for at, who, request, value in events:
        if who != device:
            continue
        if device == "uart":
            if request != 4:
                continue
            new = (value & 1, value >> 1 & 1)
        elif request == 0x4001:
            mask, state = value >> 8, value & 0xFF
            new = (state & 1 if mask & 1 else dtr, state >> 1 & 1 if mask & 2 else rts)
        else:
            continue
        if new != (dtr, rts):
            dtr, rts = new
            changes.append((at, dtr, rts))
    return changes


# Linux raises both lines as the port opens, the tool lowers them; the reset pulse (DTR, then
# RTS too), DTR alone through search and transfer; the closing pulse (RTS alone); both low.
EXPECTED_LINES = [(1, 1), (0, 0), (1, 0), (1, 1), (1, 0), (0, 0), (0, 1), (0, 0)]


def modem_lines(port, guest, device):
    result = guest.run()
    expect(result.exit("run") == 0, f"the run failed:\n{result.report('run')}")
    changes = line_states(result.between_marks(1, 2), device)
    states = [(dtr, rts) for _, dtr, rts in changes]
    names = {(0, 0): "-", (1, 0): "DTR", (0, 1): "RTS", (1, 1): "DTR+RTS"}
    expect(states == EXPECTED_LINES,
           f"lines at the adapter: {' > '.join(names[s] for s in states)}, expected "
           f"{' > '.join(names[s] for s in EXPECTED_LINES)}")
    pulses = []
    for index, what in ((3, "reset pulse"), (6, "closing pulse")):
        milliseconds = (changes[index + 1][0] - changes[index][0]) * 1000
        expect(250 <= milliseconds <= 2000, f"{what}: {milliseconds:.1f} ms at the adapter")
        pulses.append(f"{what} {milliseconds:.1f} ms")
    opened = (changes[1][0] - changes[0][0]) * 1000
    return f"{port}: {', '.join(pulses)}; raised by the kernel's open for {opened:.1f} ms"


LINES_SCENARIO = """wait_for {port}
mark 1
flash run -p {port} --search-timeout 60 /fw/small.QV
mark 2
"""


@driver.check(timeout=300, needs=["assets"])
def modem_lines_ftdi():
    """The modem-line table and the pulses' lengths, as the FTDI adapter receives them."""
    guest = Guest(LINES_SCENARIO.format(port="/dev/ttyUSB0"), usb=[Device("device")])
    return modem_lines("ftdi_sio", guest, "0:1")


@driver.check(timeout=300, needs=["assets"])
def modem_lines_uart():
    """The same, as the 8250's modem-control register is written."""
    guest = Guest(LINES_SCENARIO.format(port="/dev/ttyS1"), uart=Device("device"))
    return modem_lines("8250", guest, "uart")


@driver.check(timeout=300, needs=["assets"])
def latency_restored():
    """The tool turns on the adapter's low-latency mode for its run and leaves the latency timer
    as it found it: after a run, and after a gang stopped by a second stop signal (which ends the
    program at once)."""
    scenario = """wait_for /dev/ttyUSB0 /dev/ttyUSB1 /dev/ttyUSB2
latency() { for n in 0 1 2; do cat /sys/bus/usb-serial/devices/ttyUSB$n/latency_timer; done | paste -sd ' '; }
echo "@@ before $(latency)"
mark 1
flash run -p /dev/ttyUSB0 --search-timeout 60 /fw/small.QV
echo "@@ after-run $(latency)"
morvik2-flash -p /dev/ttyUSB1 -p /dev/ttyUSB2 /fw/small.QV >/tmp/stopped.out 2>/tmp/stopped.err &
pid=$!
tries=300
until [ "$(grep -c 'Suche nach Morvik 2.' /tmp/stopped.out)" = 2 ] || [ $tries = 0 ]; do
    sleep 0.1; tries=$((tries - 1))
done
# A background job of a script starts with SIGINT ignored, and the tool keeps that ignore.
kill -TERM $pid; sleep 0.5; kill -TERM $pid
wait $pid
echo "@@ stopped exit $?"
echo "@@ after-stop $(latency)"
mark 2
"""
    silent = "--power-on-after", "1000000000"
    result = Guest(scenario, usb=[Device("device"), Device("silent1", *silent),
                                  Device("silent2", *silent)]).run()
    expect(result.exit("run") == 0, f"the run failed:\n{result.report('run')}")
    expect_equal(result.exit("stopped"), 2, "exit status after the second stop signal")
    before = result.results["before"]
    expect_equal(result.results["after-run"], before, "latency timers (ms) after the run")
    expect_equal(result.results["after-stop"], before, "latency timers (ms) after the stop")
    # At the adapters: each got low latency (1 ms) and then its own value back.
    requests = {}
    for _, device, request, value in result.between_marks(1, 2):
        if request == 0x4009:
            requests.setdefault(device, []).append(value)
    expect(len(requests) == 3 and all(values[0] == 1 and values[-1] != 1
                                      for values in requests.values()),
           f"latency requests at the adapters: {requests}")
    return f"latency {before[0]} ms before and after; requests {requests}"


def unplugged_report(result, name):
    status = result.exit(name)
    expect(status == 3, f"exit status {status}, expected 3:\n{result.report(name)}")
    expect(PORT_LOST in result.err(name) and "Verbindung Timeout!" not in result.err(name),
           f"messages after the unplug:\n{result.report(name)}")
    real, user, system = result.seconds(name)
    # A loop that spun on the gone port would use its CPU for the rest of the run.
    expect(user + system < max(2.0, real / 2), f"{user + system:.1f} s CPU in {real:.1f} s")


@driver.check(timeout=300, needs=["assets"])
def unplug_while_writing():
    """The adapter pulled out after some hundred frames: the message says the port was lost,
    "Schreibfehler!", exit 3, promptly; plugged back, the next run succeeds."""
    scenario = """wait_for /dev/ttyUSB0
flash run -p /dev/ttyUSB0 --search-timeout 60 /fw/full.QV
ask replug
wait_for /dev/ttyUSB0
flash again -p /dev/ttyUSB0 --search-timeout 60 /fw/full.QV
"""
    device = Device("device")
    guest = Guest(scenario, usb=[device])
    pulled = []

    def watch():
        if not pulled and device.frames() >= 300:
            pulled.append(time.monotonic())
            guest.unplug(0)

    result = guest.run(on_ask=lambda _: guest.plug(0), watch=watch)
    expect(pulled, "the transfer never reached 300 frames")
    unplugged_report(result, "run")
    expect_equal(result.out("run")[-1:], ["Schreibfehler!"], "last status line")
    ended = result.results["run at"] - pulled[0]
    expect(ended < 20, f"the run ended {ended:.1f} s after the unplug")
    again = result.exit("again")
    expect(again == 0, f"the run after plugging back: exit {again}:\n{result.report('again')}")
    expect(device.holds("full"), "after plugging back, the device's image differs from the file")
    return f"ended {ended:.2f} s after the unplug with exit 3; the next run: exit 0"


@driver.check(timeout=300, needs=["assets"])
def unplug_while_searching():
    """The adapter pulled out while the tool searches for a silent device: exit 3 promptly,
    with the port-lost message."""
    scenario = """wait_for /dev/ttyUSB0
flash run -p /dev/ttyUSB0 /fw/small.QV &
wait_for_line /tmp/run.out 'Suche nach Morvik 2.'
sleep 1
ask unplug
wait
"""
    guest = Guest(scenario, usb=[Device("silent", "--power-on-after", "1000000000")])
    pulled = []

    def unplug(_):
        pulled.append(time.monotonic())
        guest.unplug(0)

    result = guest.run(on_ask=unplug)
    unplugged_report(result, "run")
    ended = result.results["run at"] - pulled[0]
    expect(ended < 20, f"the run ended {ended:.1f} s after the unplug")
    return f"ended {ended:.2f} s after the unplug with exit 3"


@driver.check(timeout=300, needs=["assets"])
def gang_one_unplugged():
    """Four adapters at once, one pulled out while writing: the other three end "Alles OK !",
    the summary and the run log name the one that failed, exit 3."""
    scenario = """wait_for /dev/ttyUSB0 /dev/ttyUSB1 /dev/ttyUSB2 /dev/ttyUSB3
for tty in /sys/class/tty/ttyUSB*; do
    echo "@@ serial-$(cat $tty/device/../../serial) /dev/${tty##*/}"
done
flash gang -p /dev/ttyUSB0 -p /dev/ttyUSB1 -p /dev/ttyUSB2 -p /dev/ttyUSB3 \
    --search-timeout 60 --log /tmp/gang.log /fw/medium.QV
sed 's/^/@@ log out /' /tmp/gang.log
"""
    devices = [Device(f"device{index}") for index in range(4)]
    guest = Guest(scenario, usb=devices)
    pulled = []

    def watch():
        if not pulled and devices[2].frames() >= 100:
            guest.unplug(2)
            pulled.append(True)

    result = guest.run(watch=watch)
    expect(pulled, "the third device never reached 100 frames")
    lost = result.results["serial-MV2-2"][0]
    expect_equal(result.exit("gang"), 3, "exit status")
    for index, device in enumerate(devices):
        port = result.results[f"serial-MV2-{index}"][0]
        ending = "Schreibfehler!" if port == lost else "Alles OK !"
        expect(f"[{port}] {ending}" in result.out("gang"),
               f"{port} did not end {ending}:\n{result.report('gang')}")
        expect(port == lost or device.holds("medium"), f"{port}: the image differs")
    summary = [line for line in result.err("gang") if line.startswith(lost)]
    expect(summary and "Schreibfehler!" in summary[-1],
           f"the summary does not show {lost} failed:\n{result.report('gang')}")
    entries = {entry["port"]: entry for entry in map(json.loads, result.out("log"))}
    expect_equal(sorted(entries), sorted(result.results[f"serial-MV2-{i}"][0] for i in range(4)),
                 "ports in the run log")
    expect(entries[lost]["exit_status"] == 3 and PORT_LOST in entries[lost].get("message", ""),
           f"the run log's entry for {lost}: {entries[lost]}")
    expect(all(entry["exit_status"] == 0 for port, entry in entries.items() if port != lost),
           f"the run log: {entries}")
    return f"{lost} pulled: exit 3, the other three \"Alles OK !\", summary and log name it"


@driver.check(timeout=300, needs=["assets"])
def gang_by_usb_identity():
    """--port 'usb:0403:6001:*' finds the three FTDI adapters through the kernel's sysfs and
    programs them as a gang, each run labelled with its device path, in the order of the device
    names (the guest has no by-id links)."""
    scenario = """wait_for /dev/ttyUSB0 /dev/ttyUSB1 /dev/ttyUSB2
for tty in /sys/class/tty/ttyUSB*; do
    echo "@@ serial-$(cat $tty/device/../../serial) /dev/${tty##*/}"
done
flash gang -p 'usb:0403:6001:*' --search-timeout 60 /fw/small.QV
"""
    devices = [Device(f"device{index}") for index in range(3)]
    result = Guest(scenario, usb=devices).run()
    expect_equal(result.exit("gang"), 0, f"exit status\n{result.report('gang')}")
    paths = [f"/dev/ttyUSB{index}" for index in range(3)]
    for path in paths:
        expect(result.out("gang").count(f"[{path}] Alles OK !") == 1,
               f"{path} did not end \"Alles OK !\":\n{result.report('gang')}")
    rows = [line.split()[0] for line in result.err("gang")[1:]]
    expect_equal(rows, paths, "the summary's ports")
    for index, device in enumerate(devices):
        port = result.results[f"serial-MV2-{index}"][0]
        expect(device.holds("small"), f"the adapter MV2-{index} ({port}): the image differs")
    return "usb:0403:6001:* programmed " + ", ".join(paths) + " in this order"


@driver.check(timeout=300, needs=["assets"])
def exclusive_open():
    """A second flasher on an adapter in use is refused, and the first one goes on undisturbed."""
    scenario = """wait_for /dev/ttyUSB0
flash first -p /dev/ttyUSB0 --search-timeout 60 /fw/medium.QV &
wait_for_line /tmp/first.out 'Schreibe Daten, bitte warten!'
flash second -p /dev/ttyUSB0 --search-timeout 60 /fw/medium.QV
wait
"""
    result = Guest(scenario, usb=[Device("device")]).run()
    second = result.exit("second")
    expect(second == 3 and "Schnittstelle konnte nicht geöffnet werden!" in result.err("second"),
           f"the second flasher: exit {second}:\n{result.report('second')}")
    expect(result.exit("first") == 0 and result.out("first") == STATUS_LINES,
           f"the first flasher was disturbed:\n{result.report('first')}")
    expect(result.usb[0].holds("medium"), "the device's image differs from the file")
    return "the second: exit 3, " + " ".join(result.err("second"))


@driver.check(timeout=300, needs=["assets"])
def permission_denied():
    """A user outside the group that owns the adapter's node gets exit 3 and the hint."""
    scenario = f"""wait_for /dev/ttyUSB0
chown 0:{DIALOUT} /dev/ttyUSB0
chmod 0660 /dev/ttyUSB0
mkdir -p /etc
echo 'werkstatt:x:1000:1000::/tmp:/bin/sh' >/etc/passwd
printf 'werkstatt:x:1000:\\ndialout:x:{DIALOUT}:\\n' >/etc/group
printf '#!/bin/sh\\nexec su werkstatt -s /bin/sh -c "$*"\\n' >/tmp/as-werkstatt
chmod 755 /tmp/as-werkstatt
cd /tmp
RUN_AS=/tmp/as-werkstatt
flash user -p /dev/ttyUSB0 --search-timeout 5 /fw/small.QV
"""
    result = Guest(scenario, usb=[Device("device")]).run()
    status, said = result.exit("user"), result.err("user")
    expect(status == 3 and "Schnittstelle konnte nicht geöffnet werden!" in said
           and any('Gruppe "dialout"' in line for line in said),
           f"exit {status}:\n{result.report('user')}")
    expect_equal(result.usb[0].frames(), 0, "frames the device received")
    return "exit 3: " + " ".join(said)


@driver.check(timeout=300, needs=["assets"])
def port_list():
    """--list-ports on a real kernel's sysfs: the FTDI adapter with what it reports, the UART
    as a plain serial port; the same in JSON."""
    scenario = """wait_for /dev/ttyUSB0
flash list --list-ports
flash json --list-ports --json
"""
    result = Guest(scenario, usb=[Device("device")], uart=Device("uart")).run()
    expect(result.exit("list") == 0 and result.exit("json") == 0,
           f"exit status:\n{result.report('list')}\n{result.report('json')}")
    lines = {line.split("\t")[0]: line.split("\t")[1:] for line in result.out("list")}
    expect_equal(lines.get("/dev/ttyUSB0"), ["QEMU USB SERIAL", "Treiber: ftdi_sio",
                                            "USB: 0403:6001", "Hersteller: QEMU",
                                            "Seriennummer: MV2-0"], "the adapter's line")
    expect_equal(lines.get("/dev/ttyS1"), ["Treiber: serial"], "the UART's line")
    ports = {port["name"]: port for port in map(json.loads, result.out("json"))}
    adapter, uart = ports.get("/dev/ttyUSB0", {}), ports.get("/dev/ttyS1", {})
    expect_equal({key: adapter.get(key) for key in ("usb_id", "driver", "manufacturer",
                                                    "product", "serial_number")},
                 {"usb_id": "0403:6001", "driver": "ftdi_sio", "manufacturer": "QEMU",
                  "product": "QEMU USB SERIAL", "serial_number": "MV2-0"}, "the adapter in JSON")
    expect(uart.get("driver") == "serial" and not uart.get("usb_id"), f"the UART in JSON: {uart}")
    return f"{len(lines)} ports: " + ", ".join(sorted(lines))


driver.main()
