#!/usr/bin/env python3
"""What strangers on the Internet do to a hub, measured on loopback.

Starts `pelmora --hub` (its journal kept), seats two named members, then
plays the strangers a port open to the Internet meets: connect-and-close
probes, an HTTP request, a TLS hello, an SSH banner, blank lines, a caller
that never names itself, and eight named callers from one address. Prints
the lines each member received (with the departures among them), what the
silent caller heard, how many of the eight were seated, and the journal's
departure lines. --flood instead has one member send 20 000 lines of 900
bytes at full speed while a second reads at its own pace and a third never
reads: how many lines the reader got and when the non-reader was dropped.

usage: scripts/hub-probes.py [build/app/pelmora] [--flood] [--options '--line-rate 0']
"""
import argparse, os, socket, subprocess, sys, tempfile, time

NET, PORT = "127.0.78.", 22078


def call(host, name=None):
    s = socket.socket()
    s.bind((NET + str(host), 0))
    s.connect((NET + "1", PORT))
    if name:
        s.sendall(b"u" + name + b"\n")
    return s


def drain(s, wait=0.3, ended=None):
    """What arrives until wait seconds pass quietly; ended[0] tells whether
    the hub closed the connection."""
    s.settimeout(wait)
    got = b""
    try:
        while True:
            b = s.recv(65536)
            if not b:
                if ended is not None:
                    ended[0] = True
                break
            got += b
    except socket.timeout:
        pass
    except ConnectionResetError:
        if ended is not None:
            ended[0] = True
    return got


NL = b"\n"


def probes(members):
    for _ in range(6):
        call(20).close()
    for payload in (b"GET / HTTP/1.0\r\n\r\n", b"\x16\x03\x01\x00\xa5\x01\x00\x00\xa1\x03\x03" + bytes(32),
                    b"SSH-2.0-OpenSSH_9.6\r\n", b"\r\n\r\n\n"):
        s = call(21)
        s.sendall(payload)
        time.sleep(0.05)
        s.close()
    silent = call(22)
    drain(silent, 0.2)
    members[0].sendall(b"1A> hello\n")
    heard = drain(silent, 0.5)
    eight = [call(30, b"x%d" % i) for i in range(8)]
    seated = sum(1 for s in eight if not drain(s, 0.2).startswith(b"1"))
    friend = call(31, b"friend")
    friend_in = not drain(friend, 0.3).startswith(b"1")
    t0, ended = time.time(), [False]
    drain(silent, 12, ended)
    closed = "after %.1f s" % (time.time() - t0) if ended[0] else "no"
    print(f"silent caller: heard {heard.count(NL)} lines after its admission, "
          f"{heard.count(b'1A> hello')} of them chat; closed by the hub: {closed}")
    print(f"eight named callers from one address: {seated} seated; a friend from another: {'in' if friend_in else 'turned away'}")
    for s in eight + [friend, silent]:
        s.close()


def flood(members, count=20000, size=900):
    sender, reader = members
    stalled = call(12, b"stalled")
    stalled.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    time.sleep(0.3)
    drain(reader, 0.2)
    line = b"1S> " + b"x" * (size - 5) + b"\n"
    t0 = time.time()
    sender.setblocking(True)
    import threading
    def send():
        try:
            sender.sendall(line * count)
        except OSError as e:
            print("the sender was cut off:", e)
    th = threading.Thread(target=send)
    th.start()
    got, dropped_at = 0, None
    reader.settimeout(0.5)
    while time.time() - t0 < 30 and got < count:
        try:
            b = reader.recv(65536)
        except socket.timeout:
            continue
        except ConnectionResetError:
            print("reader was reset")
            break
        if not b:
            print("reader was closed")
            break
        got += b.count(b"1S> ")
        time.sleep(0.0005)  # a reader slower than loopback
        if dropped_at is None and b"cstalled\n" in b:
            dropped_at = time.time() - t0
    th.join(timeout=5)
    print(f"reader received {got} of {count} lines in {time.time() - t0:.1f} s; "
          f"never-reading member dropped: {'after %.1f s' % dropped_at if dropped_at else 'not seen'}")


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("pelmora", nargs="?", default="build/app/pelmora")
    p.add_argument("--flood", action="store_true")
    p.add_argument("--options", default="")
    a = p.parse_args()
    home = tempfile.mkdtemp()
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home, QT_QPA_PLATFORM="")
    journal = open(home + "/journal", "w+")  # a file: a full pipe would stop the hub
    hub = subprocess.Popen([a.pelmora, "--hub", "--address", NET + "1", "--port", str(PORT), "--name", "H"]
                           + a.options.split(), env=env, stdout=journal)
    for _ in range(100):
        try:
            socket.create_connection((NET + "1", PORT)).close()
            break
        except OSError:
            time.sleep(0.05)
    members = [call(10, b"A"), call(11, b"B")]
    time.sleep(0.3)
    for m in members:
        drain(m, 0.2)
    try:
        if a.flood:
            flood(members)
            return
        probes(members)
        time.sleep(0.5)
        for name, m in zip("AB", members):
            got = drain(m, 0.3)
            nameless = (NL + got).count(NL + b"c" + NL)
            print(f"member {name} received {got.count(NL)} lines, {nameless} of them departures of nameless callers")
    finally:
        hub.terminate()
        hub.wait(timeout=10)
        journal.seek(0)
        journal = journal.read()
        print(f"journal: {journal.count('さんが帰りました')} departure lines, "
              f"{journal.count('がやってきました')} arrivals")


if __name__ == "__main__":
    sys.exit(main())
