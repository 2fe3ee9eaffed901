"""The Qt window on a real X server (Xvfb with openbox), drawn as a desktop draws it and as
scripts/screenshot takes its pictures: what only the pixels on the screen and the window
manager's own buttons show. The window is
the one scripts/test builds first (build/test).

The fixture "display" starts the display; each check starts a window of its own in a folder of
its own, with a home folder of its own.
"""

import os
import re
import shutil
import subprocess

from harness import (BUILD, CheckFailed, Driver, expect, expect_equal, run, start_display,
                     stop_session, wait_until)

driver = Driver("qt")
work = driver.work

PROGRAM = BUILD / "test/app/morvik2-update"
HOME = work.path / "home"
RUN = work.path / "run"
CAPTION = "QV Morvik 2 Softwareupdate"
# Edit2 in the window's client area: left, top, width, height (app/ControlTable.cpp).
STATUS_LINE = (32, 216, 225, 21)
# The field's frame, left out of what is measured.
FRAME = 3
TOOLS = ("Xvfb", "openbox", "xprop", "xdotool", "xwininfo", "import")
# WCAG's level AA for normal text.
LEAST_CONTRAST = 4.5
# openbox's title buttons (scripts/openbox.xml: icon, label, iconify, close), from the client
# area's top right corner.
ICONIFY_BUTTON = (-27, -12)
CLOSE_BUTTON = (-10, -12)


def environment():
    dropped = ("WAYLAND_DISPLAY", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CURRENT_DESKTOP")
    env = {name: value for name, value in os.environ.items() if name not in dropped}
    env.update(DISPLAY=work.state()["display"], HOME=str(HOME), QT_QPA_PLATFORM="xcb",
               ASAN_OPTIONS="detect_leaks=0")
    return env


def start_window(*arguments):
    """The window started in RUN; its X window, once it is mapped."""
    process = work.start([PROGRAM, *map(str, arguments)], "window", cwd=RUN, env=environment())

    def mapped():
        expect(process.poll() is None, f"the window ended with exit status {process.returncode}")
        found = run(["xdotool", "search", "--onlyvisible", "--name", f"^{CAPTION}$"], 30,
                    check=False, env=environment()).stdout.split()
        return found[0] if found else None

    return process, wait_until(mapped, 60, "the window")


def client_area(window):
    """The window's client area on the screen: left, top, width, height."""
    # xwininfo, not xdotool getwindowgeometry: that one adds the frame's offset twice.
    info = run(["xwininfo", "-id", window], 30, env=environment()).stdout
    return [int(re.search(rf"{field}: *(-?\d+)", info)[1])
            for field in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")]


def map_state(window):
    info = run(["xwininfo", "-id", window], 30, env=environment()).stdout
    return re.search(r"Map State: *(\w+)", info)[1]


def click_title_button(window, button):
    left, top, width, _ = client_area(window)
    run(["xdotool", "mousemove", str(left + width + button[0]), str(top + button[1]), "click",
         "1"], 30, env=environment())


def pixels(left, top, width, height):
    """The screen's pixels in that box, rows from the top, as (red, green, blue)."""
    taken = subprocess.run(["import", "-window", "root", "-crop", f"{width}x{height}+{left}+{top}",
                            "-depth", "8", "rgb:-"], capture_output=True, env=environment(),
                           timeout=60)
    if taken.returncode != 0:
        raise CheckFailed(f"import: exit status {taken.returncode}: {taken.stderr.decode()}")
    data = taken.stdout
    return [tuple(data[i:i + 3]) for i in range(0, len(data) - 2, 3)]


def luminance(pixel):
    """WCAG's relative luminance of an sRGB pixel."""
    def linear(value):
        value /= 255
        return value / 12.92 if value <= 0.04045 else ((value + 0.055) / 1.055) ** 2.4
    red, green, blue = map(linear, pixel)
    return 0.2126 * red + 0.7152 * green + 0.0722 * blue


def contrast(a, b):
    lighter, darker = sorted((luminance(a), luminance(b)), reverse=True)
    return (lighter + 0.05) / (darker + 0.05)


def hex_colour(pixel):
    return "#" + "".join(f"{value:02X}" for value in pixel)


@driver.setup("display", timeout=120)
def start_x():
    """Xvfb with openbox managing it."""
    work.stop_all()
    work.forget()
    expect(PROGRAM.exists(), f"{PROGRAM} is missing: scripts/test builds it")
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    expect(not missing, f"missing here: {' '.join(missing)} (scripts/test installs them)")
    for folder in (HOME, RUN):
        folder.mkdir(parents=True, exist_ok=True)
    display = start_display(work, "qt")
    work.remember(display=display)
    return f"display {display}"


@driver.cleanup("display")
def stop_x():
    work.stop_all()
    work.forget()


@driver.check(timeout=180, needs=["display"])
def status_line_contrast():
    """The status line, greyed as a disabled field, can be read: its darkest text pixel against
    the field's most common pixel has a contrast of at least 4.5:1."""
    update = RUN / "Morvik2 update 2.1.QV"
    update.write_text(":00000001FF\n")
    process, window = start_window(update)
    try:
        origin = client_area(window)
        left, top, width, height = STATUS_LINE
        box = (origin[0] + left + FRAME, origin[1] + top + FRAME, width - 2 * FRAME,
               height - 2 * FRAME)

        def drawn():
            """The field's background and its darkest pixel, once the text is drawn and two
            pictures agree."""
            first, second = pixels(*box), pixels(*box)
            if first != second:
                return None
            background = max(set(first), key=first.count)
            darkest = min(first, key=luminance)
            return (background, darkest) if darkest != background else None

        background, darkest = wait_until(drawn, 60, "the status line's text")
    finally:
        stop_session(process.pid)
    ratio = contrast(background, darkest)
    measured = (f"darkest text pixel {hex_colour(darkest)} on the field's {hex_colour(background)}:"
                f" {ratio:.2f}:1")
    expect(ratio >= LEAST_CONTRAST, f"{measured}, less than {LEAST_CONTRAST}:1")
    return measured



@driver.check(timeout=180, needs=["display"])
def window_minimise_restore_close():
    """As a user does it: the title bar's minimise button hides the window, activating it (as a
    taskbar does) brings it back whole, and its close button ends the program, which stores the
    port in MV2.ini."""
    (RUN / "MV2.ini").unlink(missing_ok=True)
    process, window = start_window()
    try:
        before = client_area(window)
        click_title_button(window, ICONIFY_BUTTON)
        wait_until(lambda: map_state(window) == "IsUnMapped", 30, "the window minimised")
        expect(process.poll() is None, "the program ended when its window was minimised")
        run(["xdotool", "windowactivate", window], 30, env=environment())
        wait_until(lambda: map_state(window) == "IsViewable", 30, "the window restored")
        # openbox animates the frame back from the bottom of the screen.
        wait_until(lambda: client_area(window) == before, 30,
                   f"the window back at {before}")
        click_title_button(window, CLOSE_BUTTON)
        status = process.wait(timeout=60)
    finally:
        stop_session(process.pid)
    expect_equal(status, 0, "the exit status after the close button")
    expect_equal((RUN / "MV2.ini").read_bytes(), b"[Setup]\r\nPort=COM1\r\n",
                 "MV2.ini after the close")
    return f"minimised, restored at {before}, closed with exit status {status}"


driver.main()
