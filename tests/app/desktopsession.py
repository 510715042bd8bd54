"""What the tests that follow the real window share: an X server with a window
manager and the AT-SPI bus of their own, the program on it, and the bus read
as a screen reader reads it. Run under dbus-run-session; where a piece of the
stack is missing the test is skipped (exit 77) with the reason."""
import os
import shutil
import subprocess
import sys
import time

SKIP = 77
LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def skip(reason):
    print("SKIPPED: " + reason)
    sys.exit(SKIP)


try:
    import gi

    gi.require_version("Atspi", "2.0")
    from gi.repository import GLib
    import pyatspi
except (ImportError, ValueError) as error:
    skip("python3-pyatspi is not installed (%s)" % error)

for tool in ("Xvfb",):
    if not shutil.which(tool):
        skip(tool + " is not installed")
if not os.path.exists(LAUNCHER):
    skip("at-spi2-core is not installed")
if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
    skip("no session bus: run under dbus-run-session")

failures = []
STARTED = time.monotonic()


def check(ok, what):
    print("%5.1f s  %s %s" % (time.monotonic() - STARTED, "ok  " if ok else "FAIL", what))
    if not ok:
        failures.append(what)


def pump(seconds, until=lambda: False):
    """Handles bus events for up to SECONDS, or until UNTIL() holds."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while context.pending():
            context.iteration(False)
        if until():
            return True
        time.sleep(0.02)
    return until()


def walk(node):
    """NODE and what lies below it, but not the rows of a table."""
    yield node
    if node.getRoleName() == "table":
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def nodes(root, keep=lambda node: True, timeout=20):
    """The nodes below ROOT that KEEP holds for, read again while the tree
    changes under the reading (a window still being built, a row gone)."""
    found = []

    def read():
        try:
            found[:] = [n for n in walk(root) if keep(n)]
            return True
        except Exception:
            return False

    pump(timeout, read)
    return found


def find(root, role, name=None, timeout=20):
    """The first node below ROOT of ROLE named NAME (a trailing * matches any end)."""
    found = []

    def look():
        try:
            found[:] = [n for n in walk(root) if n.getRoleName() == role
                         and (name is None or n.name == name or name.endswith("*") and n.name.startswith(name[:-1]))]
        except Exception:  # the tree changes while it is walked
            found[:] = []
        return bool(found)

    return found[0] if pump(timeout, look) else None


def press(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "click"):
            action.doAction(i)
            return
    action.doAction(0)


def text_of(node):
    try:
        text = node.queryText()
    except NotImplementedError:  # a caption: its name is its text
        return node.name
    return text.getText(0, text.characterCount)


def application(pid=None, timeout=30):
    """The program on the bus (the one of process PID, when given)."""
    desktop = pyatspi.Registry.getDesktop(0)
    apps = []

    def look():
        try:
            apps[:] = [a for a in desktop if a is not None and a.name == "vestrelle"
                       and (pid is None or a.get_process_id() == pid)]
        except Exception:  # an application leaving the bus
            apps[:] = []
        return bool(apps)

    return apps[0] if pump(timeout, look) else None


def window_manager_ready():
    """Whether a window manager has taken the screen (it names its check window on the root)."""
    answer = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True, text=True)
    return "window id" in answer.stdout


def start_desktop():
    """An X server of 1366×768 with a window manager, and the accessibility
    bus; the processes, to be ended by stop()."""
    read, write = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write), "-screen", "0", "1366x768x24", "-nolisten", "tcp"],
        pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as answer:
        display = answer.readline().strip()
    if not display:
        skip("Xvfb did not start")
    os.environ["DISPLAY"] = ":" + display
    processes = [server]
    if shutil.which("openbox") and shutil.which("xprop"):
        processes.append(subprocess.Popen(["openbox"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        # A window shown before the window manager runs is adopted later, where it stands.
        if not pump(60, window_manager_ready):
            skip("the window manager did not start")
    processes.append(subprocess.Popen([LAUNCHER, "--launch-immediately"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    return processes


def start_program(program, scratch, **settings):
    """PROGRAM with its settings in SCRATCH, on the accessibility bus."""
    environment = dict(os.environ, HOME=scratch, XDG_CONFIG_HOME=os.path.join(scratch, "config"),
                       QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb", **settings)
    return subprocess.Popen([program], env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def stop(processes):
    for process in reversed(processes):
        process.terminate()
    for process in processes:
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()


def finish():
    if failures:
        print("%d check(s) failed" % len(failures))
        sys.exit(1)
