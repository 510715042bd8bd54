#!/usr/bin/python3
"""Both windows fit a 1366×768 screen, frame and all, at every scale and font size.

Usage: dbus-run-session -- screen_fit.py VESTRELLE [SHOTS-FOLDER]

For each screen case the program is started on an X server of its own with a
window manager, the estimate is run from the main window over the AT-SPI bus,
and the frames of both windows are read off the window manager. Given a
folder, a capture of the whole screen of each case is saved there.
Exits 77 (skipped) with the reason where the stack cannot start here.
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktopsession import (application, check, find, finish, press, pump, skip, start_desktop,  # noqa: E402
                            start_program, stop)

# name, Qt's scale, the desktop's font size in points (None: Qt's own)
CASES = [
    ("scale 1", "1", None),
    ("scale 1.5", "1.5", None),
    ("scale 2", "2", None),
    ("9 pt", "1", 9),
    ("12 pt at scale 1.5", "1.5", 12),
    ("16 pt", "1", 16),
]

for tool in ("xdotool", "xwininfo", "xprop"):
    if not shutil.which(tool):
        skip(tool + " is not installed")


def x(*command):
    return subprocess.run(command, capture_output=True, text=True).stdout


def work_area():
    """The free area of the screen as the window manager tells it: x, y, width, height."""
    numbers = x("xprop", "-root", "_NET_WORKAREA").split("=")[-1].split(",")
    if len(numbers) >= 4:
        return tuple(int(n) for n in numbers[:4])
    size = x("xwininfo", "-root")
    return (0, 0, int(size.split("Width:")[1].split()[0]), int(size.split("Height:")[1].split()[0]))


def frame_of(pid, title):
    """The outer frame of PID's shown window whose title starts with TITLE, or None."""
    for window in x("xdotool", "search", "--onlyvisible", "--pid", str(pid), "--name", ".").split():
        if not x("xdotool", "getwindowname", window).startswith(title):
            continue
        info = x("xwininfo", "-id", window)
        extents = x("xprop", "-id", window, "_NET_FRAME_EXTENTS").split("=")[-1].split(",")
        if len(extents) < 4:
            return None  # not decorated yet

        def field(name):
            return int(info.split(name + ":")[1].split()[0])

        left, right, top, bottom = (int(n) for n in extents[:4])
        return (field("Absolute upper-left X") - left, field("Absolute upper-left Y") - top,
                field("Width") + left + right, field("Height") + top + bottom)
    return None


def within(frame, area):
    fx, fy, fw, fh = frame
    ax, ay, aw, ah = area
    return ax <= fx and ay <= fy and fx + fw <= ax + aw and fy + fh <= ay + ah


def settled(pid, title, area):
    """The window's frame once it lies within AREA, or as it stands after a while."""
    frames = []

    def look():
        frames[:] = [frame_of(pid, title)]
        return frames[0] is not None and within(frames[0], area)

    pump(15, look)
    return frames[0] if frames else None


def save_shots(folder, case, pid):
    """Captures each shown window of PID into FOLDER (the root window's capture
    leaves a window that is not on top black)."""
    os.makedirs(folder, exist_ok=True)
    for window in x("xdotool", "search", "--onlyvisible", "--pid", str(pid), "--name", ".").split():
        title = x("xdotool", "getwindowname", window).split(" ")[0].strip()
        capture = subprocess.run(["xwd", "-id", window, "-silent"], capture_output=True).stdout
        subprocess.run(["convert", "xwd:-", os.path.join(folder, "%s-%s.png" % (case.replace(" ", "-"), title))],
                       input=capture)


def main():
    program = sys.argv[1]
    shots = sys.argv[2] if len(sys.argv) > 2 else None
    scratch = tempfile.mkdtemp(prefix="vestrelle-fit-")
    desktop = []
    try:
        desktop = start_desktop()
        folders = [os.path.join(scratch, name) for name in ("source", "destination")]
        for folder in folders:
            os.makedirs(folder)
        for name, scale, points in CASES:
            home = os.path.join(scratch, name.replace(" ", "-"))
            os.makedirs(os.path.join(home, "config"))
            settings = {"QT_SCALE_FACTOR": scale}
            if points:
                # The font a KDE desktop sets, which Qt reads from the desktop's settings.
                with open(os.path.join(home, "config", "kdeglobals"), "w") as file:
                    file.write("[General]\nfont=IPAGothic,%d,-1,5,50,0,0,0,0,0\n" % points)
                settings.update(XDG_CURRENT_DESKTOP="KDE", KDE_SESSION_VERSION="5")
            program_process = start_program(program, home, **settings)
            try:
                app = application(program_process.pid)
                frame = app and find(app, "frame", "更新ファイルコピー")
                area = work_area()
                main_frame = settled(program_process.pid, "更新ファイルコピー", area)
                check(main_frame is not None and within(main_frame, area),
                      "%s: the main window %s lies within the screen's free area %s" % (name, main_frame, area))
                if not frame:
                    continue
                for field, folder in zip(("コピー元フォルダ", "コピー先フォルダ"), folders):
                    find(frame, "text", field).queryEditableText().setTextContents(folder)
                press(find(frame, "push button", "コピー先の必要容量見積"))
                estimate = find(app, "dialog", "コピー容量見積*", timeout=60)
                closing = estimate and find(estimate, "push button", "閉じる", timeout=60)
                estimate_frame = settled(program_process.pid, "コピー容量見積", area)
                check(closing is not None and estimate_frame is not None and within(estimate_frame, area),
                      "%s: the estimate window %s lies within %s" % (name, estimate_frame, area))
                if shots:
                    save_shots(shots, name, program_process.pid)
            finally:
                stop([program_process])
    finally:
        stop(desktop)
        shutil.rmtree(scratch, ignore_errors=True)


main()
finish()
