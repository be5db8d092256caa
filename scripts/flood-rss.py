#!/usr/bin/env python3
"""Resident memory of a hub before and after a flood.

Starts the program (offscreen, on a loopback address, with its own home
folder), seats two raw peers, lets one of them send FLOOD bytes of chat lines
while the other reads what the hub relays, and prints the hub's VmRSS before
the flood, right after the last line came through, and once the pane has
caught up, with the spool file's size. Then it ends the hub with SIGTERM (no
clean exit: the spool stays) and starts it again to show that the stale
spool is removed at the next start.

usage: scripts/flood-rss.py [build/app/pelmora] [--bytes N] [--line-size N]
"""
import argparse
import glob
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

ADDR = "127.0.0.77"
_children = []


def vm(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1]) // 1024  # MiB
    return -1


def start(exe, home, port):
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_CACHE_HOME=home + "/cache",
               XDG_RUNTIME_DIR=home + "/run", QT_QPA_PLATFORM="offscreen",
               PELMORA_ADDRESS=ADDR, PELMORA_PORT=str(port))
    os.makedirs(home + "/run", mode=0o700, exist_ok=True)
    p = subprocess.Popen([exe], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _children.append(p)
    for _ in range(200):
        try:
            s = socket.create_connection((ADDR, port), timeout=1)
            s.settimeout(None)
            return p, s
        except OSError:
            time.sleep(0.05)
    p.kill()
    sys.exit("the hub did not start listening")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("exe", nargs="?", default="build/app/pelmora")
    ap.add_argument("--bytes", type=int, default=1 << 30)
    ap.add_argument("--line-size", type=int, default=1000)
    a = ap.parse_args()

    home = tempfile.mkdtemp(prefix="pelmora-flood-", dir=os.path.dirname(os.path.abspath(a.exe)))
    with socket.socket() as probe:
        probe.bind((ADDR, 0))
        port = probe.getsockname()[1]
    hub, sender = start(os.path.abspath(a.exe), home, port)
    reader = socket.create_connection((ADDR, port))
    sender.sendall(b"uflooder\n")
    reader.sendall(b"ureader\n")

    marker = b"1flooder> END-OF-FLOOD\n"
    got = threading.Event()

    def drain():
        tail = b""
        while True:
            b = reader.recv(1 << 20)
            if not b:
                return
            tail = (tail + b)[-len(marker):]
            if tail == marker:
                got.set()
                return

    def discard():
        try:
            while sender.recv(1 << 20):
                pass
        except OSError:
            pass

    threading.Thread(target=drain, daemon=True).start()
    threading.Thread(target=discard, daemon=True).start()
    time.sleep(1.0)  # both seated, roster shown, the window idle
    before = vm(hub.pid, "VmRSS")

    body = b"1flooder> " + b"x" * (a.line_size - 11) + b"\n"
    block = body * max(1, (1 << 20) // len(body))
    sent, t0, stall = 0, time.time(), 0.0
    while sent < a.bytes:
        t = time.time()
        sender.sendall(block)
        stall = max(stall, time.time() - t)
        sent += len(block)
    sender.sendall(marker)
    if not got.wait(600):
        sys.exit("the flood did not come through")
    secs = time.time() - t0
    after = vm(hub.pid, "VmRSS")
    time.sleep(2.0)  # the pane catches up
    settled = vm(hub.pid, "VmRSS")
    peak = vm(hub.pid, "VmHWM")
    spools = glob.glob(home + "/cache/pelmora/*.spool")
    size = sum(os.path.getsize(s) for s in spools)
    mode = oct(os.stat(spools[0]).st_mode & 0o777) if spools else "-"
    print(f"flood: {sent / 2**20:.0f} MiB in {secs:.1f} s ({sent / 2**20 / secs:.0f} MiB/s), "
          f"lines of {len(body)} bytes; longest wait to hand the hub 1 MiB {stall * 1000:.0f} ms")
    print(f"VmRSS before {before} MiB, after {after} MiB, settled {settled} MiB "
          f"(growth {settled - before} MiB), peak {peak} MiB")
    print(f"spool: {len(spools)} file(s), {size / 2**20:.0f} MiB, mode {mode}")

    hub.send_signal(signal.SIGTERM)
    hub.wait(30)
    sender.close()
    reader.close()
    left = len(glob.glob(home + "/cache/pelmora/*.spool"))
    hub2, s2 = start(os.path.abspath(a.exe), home, port)
    s2.close()
    time.sleep(0.5)
    now = glob.glob(home + "/cache/pelmora/*.spool")
    print(f"after SIGTERM: {left} spool(s) left; after the next start: {len(now)} (its own)")
    hub2.send_signal(signal.SIGTERM)
    hub2.wait(30)
    shutil.rmtree(home, ignore_errors=True)
    return 0 if settled - before <= 64 else 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    finally:  # a failed run leaves no hub behind
        for child in list(_children):
            if child.poll() is None:
                child.kill()
                child.wait()
