"""The main window as a screen reader reads it, through at-spi2; run inside a
session bus by atspi_tree.sh: atspi_tree.py PROGRAM TMPDIR. Exit 77: skip."""
import os, socket, subprocess, sys, time

r, w = os.pipe()  # Xvfb writes the number of the display it found free
xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-nolisten", "tcp"], pass_fds=[w], stderr=subprocess.DEVNULL)
os.close(w)
display = os.read(r, 16).decode().strip()
if not display:
    print("SKIP: Xvfb could not start a display"); sys.exit(77)
with socket.socket() as s:  # a port this address leaves free
    s.bind(("127.61.9.1", 0)); port = str(s.getsockname()[1])
env = dict(os.environ, DISPLAY=":" + display, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
           PELMORA_ADDRESS="127.61.9.1", PELMORA_PORT=port, XDG_CONFIG_HOME=sys.argv[2],
           XDG_CACHE_HOME=sys.argv[2], XDG_DATA_HOME=sys.argv[2], XDG_RUNTIME_DIR=sys.argv[2])
env.pop("QT_QPA_PLATFORMTHEME", None)
program = subprocess.Popen([sys.argv[1]], env=env, stderr=subprocess.DEVNULL)
try:
    try:
        import pyatspi
    except Exception as e:
        print("SKIP: at-spi2 is not reachable:", e); sys.exit(77)
    app, deadline = None, time.monotonic() + 30
    while not (app and app.childCount):
        if time.monotonic() > deadline or program.poll() is not None:
            sys.exit("the program never showed up on the accessibility bus")
        time.sleep(0.2)
        app = next((a for a in pyatspi.Registry.getDesktop(0) if a and a.get_process_id() == program.pid), None)
    shown = []
    def walk(node, depth):
        if node.getState().contains(pyatspi.STATE_SHOWING):
            shown.append(node)
            print("  " * depth + node.getRoleName(), repr(node.name) if node.name else "")
        for child in node:
            walk(child, depth + 1)
    walk(app, 0)
    seen = {(n.getRoleName(), n.name) for n in shown}
    wanted = {("text", "発言の入力"), ("text", "会話"), ("push button", "発言"), ("image", "接続状況"), ("filler", "おともだち")}
    send = next(n for n in shown if n.name == "発言").queryAction()
    failures = [f"missing {w}" for w in wanted - seen] + [f"offered {n}" for n in seen if n[0] == "push button" and n[1] != "発言"]
    if "press" not in [send.getName(i).lower() for i in range(send.nActions)]:
        failures.append("発言 cannot be pressed")
    sys.exit("\n".join(failures) or None)
finally:
    program.kill(), program.wait(), xvfb.kill(), xvfb.wait()
