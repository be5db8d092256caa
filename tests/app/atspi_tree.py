"""Walks the main window's accessibility tree through at-spi2 and checks
what a screen reader is offered. Run inside a session bus (atspi_tree.sh).
Usage: atspi_tree.py PROGRAM TMPDIR. Exit 0 pass, 1 fail, 77 skip."""
import os
import socket
import subprocess
import sys
import time

PROGRAM, TMP = sys.argv[1], sys.argv[2]
DEADLINE = time.monotonic() + 40


def skip(reason):
    print("SKIP:", reason)
    sys.exit(77)


def free_port():
    with socket.socket() as s:
        s.bind(("127.61.9.1", 0))
        return s.getsockname()[1]


def start_display():
    read, write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-nolisten", "tcp", "-screen", "0", "800x600x24"],
                            pass_fds=[write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read, 16)
        if not chunk:
            xvfb.kill()
            skip("Xvfb could not start a display")
        number += chunk
    os.close(read)
    return xvfb, ":" + number.decode().strip()


def find_app(pyatspi, pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def walk(node, depth, lines, nodes):
    states = node.getState()
    showing = states.contains(pyatspi.STATE_SHOWING)
    nodes.append((node, showing))
    if showing:
        lines.append("  " * depth + node.getRoleName() + (" " + repr(node.name) if node.name else ""))
    for child in node:
        if child is not None:
            walk(child, depth + 1, lines, nodes)


xvfb, display = start_display()
env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
           QT_ACCESSIBILITY="1", PELMORA_ADDRESS="127.61.9.1", PELMORA_PORT=str(free_port()),
           XDG_CONFIG_HOME=TMP, XDG_CACHE_HOME=TMP, XDG_RUNTIME_DIR=TMP, HOME=TMP)
env.pop("QT_QPA_PLATFORMTHEME", None)
program = subprocess.Popen([PROGRAM], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
try:
    try:
        import pyatspi
    except Exception as e:  # the accessibility bus did not come up
        skip("at-spi2 is not reachable: %s" % e)
    app = None
    while app is None or app.childCount == 0:
        if time.monotonic() > DEADLINE or program.poll() is not None:
            print("the program never showed up on the accessibility bus", file=sys.stderr)
            sys.exit(1)
        time.sleep(0.2)
        try:
            app = find_app(pyatspi, program.pid)
        except Exception:
            app = None
    lines, nodes = [], []
    walk(app, 0, lines, nodes)
    print("\n".join(lines))

    shown = [(n.getRoleName(), n.name) for n, showing in nodes if showing]
    failures = []
    for role, name in [("text", "発言の入力"), ("text", "会話"), ("push button", "発言")]:
        if (role, name) not in shown:
            failures.append("no %s named %s" % (role, name))
    for name in ["おともだち", "接続状況"]:
        if name not in [n for _, n in shown]:
            failures.append("nothing named " + name)
    for node, showing in nodes:
        if showing and node.getRoleName() == "push button" and not node.name:
            failures.append("an unnamed push button")
        if showing and node.name in ("Button1", "Button2"):
            failures.append("the hidden button %s is offered" % node.name)
        if showing and node.name == "発言":
            action = node.queryAction()
            names = [action.getName(i).lower() for i in range(action.nActions)]
            if "press" not in names:
                failures.append("発言 has no press action: %s" % names)
    for f in failures:
        print("FAIL:", f, file=sys.stderr)
    sys.exit(1 if failures else 0)
finally:
    program.kill()
    program.wait()
    xvfb.kill()
    xvfb.wait()
