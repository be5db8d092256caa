#!/usr/bin/env python3
"""Resident memory of a hub before and after a flood.

Starts the program (offscreen, on a loopback address, with its own home
folder), seats two raw peers, lets one of them send FLOOD bytes of chat lines
while the other reads what the hub relays, and prints the hub's VmRSS before
the flood, right after the last line came through, and once the pane has
caught up, with the spool file's size. Then it ends the hub with SIGTERM (a
clean end, as closing the window: no spool stays) and starts it again.

--full-disk puts the cache, runtime and temporary folders on a 1 MiB tmpfs
(needs root), so no folder takes the spool: the hub then keeps at most 64 MiB
of the newest lines in memory and says so in its window.

usage: scripts/flood-rss.py [build/app/pelmora] [--bytes N] [--line-size N] [--full-disk]
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


def folders(home):
    full = home + "/full" if os.path.ismount(home + "/full") else home
    return dict(XDG_CACHE_HOME=full + "/cache", XDG_RUNTIME_DIR=full + "/run", TMPDIR=full + "/tmp")


def spools(home):
    return [s for f in folders(home).values() for s in glob.glob(f + "/pelmora*/*.spool")]


def start(exe, home, port):
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_DATA_HOME=home + "/data",
               QT_QPA_PLATFORM="offscreen", PELMORA_ADDRESS=ADDR, PELMORA_PORT=str(port), **folders(home))
    for f in folders(home).values():
        os.makedirs(f, mode=0o700, exist_ok=True)
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
    ap.add_argument("--full-disk", action="store_true")
    a = ap.parse_args()

    home = tempfile.mkdtemp(prefix="pelmora-flood-", dir=os.path.dirname(os.path.abspath(a.exe)))
    if a.full_disk:
        os.makedirs(home + "/full")
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m,mode=0700", "tmpfs", home + "/full"], check=True)
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
    held = spools(home)
    size = sum(os.path.getsize(s) for s in held)
    mode = oct(os.stat(held[0]).st_mode & 0o777) if held else "-"
    print(f"flood: {sent / 2**20:.0f} MiB in {secs:.1f} s ({sent / 2**20 / secs:.0f} MiB/s), "
          f"lines of {len(body)} bytes; longest wait to hand the hub 1 MiB {stall * 1000:.0f} ms")
    print(f"VmRSS before {before} MiB, after {after} MiB, settled {settled} MiB "
          f"(growth {settled - before} MiB), peak {peak} MiB")
    print(f"spool: {len(held)} file(s), {size / 2**20:.0f} MiB, mode {mode}")

    hub.send_signal(signal.SIGTERM)
    hub.wait(30)
    sender.close()
    reader.close()
    left = len(spools(home))
    hub2, s2 = start(os.path.abspath(a.exe), home, port)
    s2.close()
    time.sleep(0.5)
    now = spools(home)
    print(f"after SIGTERM: {left} spool(s) left; after the next start: {len(now)} (its own)")
    hub2.send_signal(signal.SIGTERM)
    hub2.wait(30)
    if a.full_disk:
        subprocess.run(["umount", home + "/full"])
    shutil.rmtree(home, ignore_errors=True)
    # The pane's scrollback comes on top of the spool's memory bound.
    return 0 if settled - before <= (128 if a.full_disk else 64) else 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    finally:  # a failed run leaves no hub behind
        for child in list(_children):
            if child.poll() is None:
                child.kill()
                child.wait()
