#!/usr/bin/env python3
"""Virtual-network rig: real instances of the program on veth links, cut off
without a word.

Needs root (it creates network namespaces). Every namespace, veth and bridge
it makes lives inside namespaces of its own, named pelmora-rig-<pid>-<tag>-*,
and every address it uses (192.0.2.0/24, a documentation range) exists only
inside them, so no packet leaves. It removes them when it ends, also on a
failure or a signal; leftovers of a run that was killed outright are removed
by the next run. Exits 77 (skipped) when namespaces cannot be made here.

Scenarios:
  cuts      a hub with a candidate, a third peer and a watcher (a raw peer
            of this script that joins like any member and records every line
            it gets). The hub's switch port goes down: the candidate must
            become hub and the third peer must rejoin it. Then the third
            peer, now the next candidate, is cut: the hub must announce its
            departure and a new candidate. Prints the two times.
  stagger   as the hub cut above, but the candidate notices the loss long
            after the third peer: the third peer must wait for it rather
            than be sent back to the lost hub.
  slowlink  one peer behind a link with delay and loss (a userspace relay
            between its namespace and the switch, since the kernel here may
            have no netem), a minute of chat with pauses longer than the
            keep-alive idle time: nobody may be declared gone.

Usage: deadlink_rig.py --pelmora PATH [--scenario cuts|stagger|slowlink]
                       [--deadlink-seconds N] [--chat-seconds S] [--keep DIR]
"""

import argparse
import ctypes
import fcntl
import glob
import heapq
import os
import random
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
PORT = 2200
NET = "192.0.2."
CLONE_NEWNET = 0x40000000
PR_SET_PDEATHSIG = 1
ETH_P_ALL = 0x0003
PACKET_OUTGOING = 4
SIOCETHTOOL = 0x8946
ETHTOOL_STXCSUM = 0x17

libc = ctypes.CDLL(None, use_errno=True)


def say(text):
    print("rig: " + text, flush=True)


class Failure(Exception):
    pass


def run(*cmd, check=True):
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if check and r.returncode != 0:
        raise Failure("%s: %s" % (" ".join(cmd), r.stderr.strip()))
    return r


def wait_until(cond, timeout, step=0.02):
    """Poll cond() until it gives a true value; None after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        v = cond()
        if v:
            return v
        if time.monotonic() >= deadline:
            return None
        time.sleep(step)


# ---------------------------------------------------------------- namespaces

class Net:
    """A switch (a bridge in its own namespace) and hosts plugged into it."""

    def __init__(self):
        self.prefix = "pelmora-rig-%d-%04x" % (os.getpid(), random.getrandbits(16))
        self.namespaces = []
        self.switch = self.add_ns("sw")
        run("ip", "-n", self.switch, "link", "add", "br0", "type", "bridge")
        run("ip", "-n", self.switch, "link", "set", "br0", "up")

    def add_ns(self, tag):
        name = "%s-%s" % (self.prefix, tag)
        run("ip", "netns", "add", name)
        self.namespaces.append(name)
        run("ip", "-n", name, "link", "set", "lo", "up")
        return name

    def veth(self, ns_a, if_a, ns_b, if_b):
        run("ip", "link", "add", "name", if_a, "netns", ns_a, "type", "veth", "peer", "name", if_b, "netns", ns_b)
        run("ip", "-n", ns_a, "link", "set", if_a, "up")
        run("ip", "-n", ns_b, "link", "set", if_b, "up")

    def host(self, tag, number):
        """A namespace with eth0 at 192.0.2.<number>, plugged into port p<tag>."""
        ns = self.add_ns(tag)
        self.veth(ns, "eth0", self.switch, "p" + tag)
        run("ip", "-n", self.switch, "link", "set", "p" + tag, "master", "br0")
        run("ip", "-n", ns, "addr", "add", "%s%d/24" % (NET, number), "dev", "eth0")
        return ns, NET + str(number)

    def cut(self, tag):
        """The switch port of host <tag> goes down: its packets go nowhere and
        nobody is told (no FIN, no RST)."""
        run("ip", "-n", self.switch, "link", "set", "p" + tag, "down")

    def remove(self):
        for ns in reversed(self.namespaces):
            run("ip", "netns", "del", ns, check=False)
        self.namespaces = []


def remove_leftovers():
    """Namespaces of earlier runs whose process is gone (killed outright)."""
    r = run("ip", "netns", "list", check=False)
    for line in r.stdout.splitlines():
        m = re.match(r"^(pelmora-rig-(\d+)-[0-9a-f]{4}-\S+)", line)
        if not m:
            continue
        try:
            os.kill(int(m.group(2)), 0)
            continue  # that run is still going
        except ProcessLookupError:
            pass
        except PermissionError:
            continue
        run("ip", "netns", "del", m.group(1), check=False)


def ns_socket(ns, family, kind, proto=0):
    """A socket made inside namespace ns (a socket stays in the namespace it
    was made in; only the helper thread enters it)."""
    out = {}

    def enter():
        fd = os.open("/run/netns/" + ns, os.O_RDONLY)
        try:
            if libc.setns(fd, CLONE_NEWNET) != 0:
                err = ctypes.get_errno()
                raise OSError(err, "setns: " + os.strerror(err))
            out["s"] = socket.socket(family, kind, proto)
        except BaseException as e:  # handed to the caller
            out["e"] = e
        finally:
            os.close(fd)

    t = threading.Thread(target=enter)
    t.start()
    t.join()
    if "e" in out:
        raise out["e"]
    return out["s"]


def no_checksum_offload(ns, ifname):
    """Have the kernel fill in checksums before a frame leaves ifname. A veth
    otherwise hands frames on with the checksum still to be done, which the
    next kernel trusts but which a relay's copy no longer carries."""
    s = ns_socket(ns, socket.AF_INET, socket.SOCK_DGRAM)
    try:
        value = ctypes.create_string_buffer(struct.pack("II", ETHTOOL_STXCSUM, 0))
        ifreq = struct.pack("16sP", ifname.encode(), ctypes.addressof(value)).ljust(40, b"\0")
        fcntl.ioctl(s.fileno(), SIOCETHTOOL, ifreq)
    finally:
        s.close()


def tcp_table(pid):
    """Established and listening TCP sockets of the namespace of process pid:
    (local (addr, port), remote (addr, port), state, tx_queue)."""
    rows = []
    try:
        with open("/proc/%d/net/tcp" % pid) as f:
            next(f)
            for line in f:
                p = line.split()
                rows.append((addr(p[1]), addr(p[2]), p[3], int(p[4].split(":")[0], 16)))
    except (OSError, StopIteration):
        pass
    return rows


def addr(hexpair):
    ip, port = hexpair.split(":")
    return socket.inet_ntoa(struct.pack("<I", int(ip, 16))), int(port, 16)


# ---------------------------------------------------------------- instances

class Instance:
    """A real instance of the program, offscreen, in namespace ns."""

    def __init__(self, rig, role, ns, address, nick, join=None, deadlink_seconds=None):
        self.role, self.ns, self.address, self.nick = role, ns, address, nick
        self.home = os.path.join(rig.workdir, role)
        for d in ("config/tovanit", "run", "logs"):
            os.makedirs(os.path.join(self.home, d), exist_ok=True)
        os.chmod(os.path.join(self.home, "run"), 0o700)
        with open(os.path.join(self.home, "config/tovanit/pelmora.conf"), "w", encoding="utf-8") as f:
            f.write("[position]\nLeft=10\nTop=10\nWidth=420\nHeight=360\n\n[user]\nname=%s\n" % nick)
        env = dict(os.environ)
        env.update(QT_QPA_PLATFORM="offscreen", PELMORA_ADDRESS=address, PELMORA_UNATTENDED="yes",
                   XDG_CONFIG_HOME=os.path.join(self.home, "config"),
                   XDG_RUNTIME_DIR=os.path.join(self.home, "run"), HOME=self.home)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        seconds = deadlink_seconds or rig.deadlink_seconds
        if seconds:
            env["PELMORA_DEADLINK_SECONDS"] = str(seconds)
        else:
            env.pop("PELMORA_DEADLINK_SECONDS", None)
        self.err_path = os.path.join(self.home, "stderr.txt")
        cmd = ["ip", "netns", "exec", ns, rig.pelmora] + ([join] if join else [])
        with open(self.err_path, "w") as err:
            # Dies with the rig, whatever kills it.
            self.proc = subprocess.Popen(
                cmd, cwd=os.path.join(self.home, "logs"), env=env, stdin=subprocess.DEVNULL,
                stdout=err, stderr=err,
                preexec_fn=lambda: libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL))
        rig.instances.append(self)

    def table(self):
        if self.proc.poll() is not None:
            raise Failure("%s ended early (exit %s):\n%s" % (self.role, self.proc.returncode, self.stderr()))
        return tcp_table(self.proc.pid)

    def listening(self):
        return any(l == (self.address, PORT) and st == "0A" for l, _, st, _ in self.table())

    def link_from(self, address):
        """The established seat of a caller from address, or None."""
        for l, r, st, txq in self.table():
            if l == (self.address, PORT) and r[0] == address and st == "01":
                return txq
        return None

    def stop(self):
        """SIGTERM: the instance saves its log and closes its window."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def stderr(self):
        with open(self.err_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def log(self):
        text = ""
        for path in sorted(glob.glob(os.path.join(self.home, "logs", "*.log"))):
            with open(path, "rb") as f:
                text += f.read().decode("cp932", errors="replace")
        return text


class Watcher:
    """A member of the group made of a raw socket: it joins like any peer,
    records every line it gets with the time it got it, and can speak."""

    def __init__(self, ns, address, nick):
        self.ns, self.address, self.nick = ns, address, nick
        self.sock = None
        self.lines = []  # (monotonic time, bytes)
        self.cond = threading.Condition()

    def join(self, hub, timeout=5.0):
        """Join hub; 'seated', or 'redirect' when hub is only a peer."""
        self.leave()
        s = ns_socket(self.ns, socket.AF_INET, socket.SOCK_STREAM)
        s.bind((self.address, 0))
        s.settimeout(timeout)
        s.connect((hub, PORT))
        s.sendall(b"u" + self.nick.encode("cp932") + b"\n")
        buf = b""
        while b"\n" not in buf:
            chunk = s.recv(4096)
            if not chunk:
                s.close()
                return "closed"
            buf += chunk
        if buf.startswith(b"s"):
            s.close()
            return "redirect"
        s.settimeout(None)
        with self.cond:
            self.lines = []
        self.sock = s
        self._take(buf)
        threading.Thread(target=self._read, args=(s, buf[buf.rfind(b"\n") + 1:]), daemon=True).start()
        return "seated"

    def _take(self, data):
        now = time.monotonic()
        with self.cond:
            for line in data.split(b"\n")[:-1]:
                self.lines.append((now, line.rstrip(b"\r")))
            self.cond.notify_all()

    def _read(self, s, rest):
        buf = rest
        while True:
            try:
                chunk = s.recv(4096)
            except OSError:
                return
            if not chunk:
                return
            buf += chunk
            cut = buf.rfind(b"\n")
            if cut >= 0:
                self._take(buf[:cut + 1])
                buf = buf[cut + 1:]

    def wait_line(self, line, timeout):
        """Time at which the exact line (without its line feed) arrived."""
        want = line.encode("cp932") if isinstance(line, str) else line
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                for t, got in self.lines:
                    if got == want:
                        return t
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.cond.wait(left)

    def has(self, line):
        want = line.encode("cp932")
        with self.cond:
            return any(got == want for _, got in self.lines)

    def speak(self, text):
        self.sock.sendall(b"1" + self.nick.encode("cp932") + b"> " + text.encode("cp932") + b"\r\n")

    def leave(self):
        if self.sock:
            try:
                self.sock.close()
            except OSError:
                pass
            self.sock = None


class Relay(threading.Thread):
    """A slow, lossy cable: frames between two interfaces of namespace ns
    are each dropped with probability loss or passed on after delay seconds."""

    def __init__(self, ns, if_a, if_b, delay, loss):
        super().__init__(daemon=True)
        self.delay, self.loss = delay, loss
        self.a = ns_socket(ns, socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
        self.b = ns_socket(ns, socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
        self.a.bind((if_a, ETH_P_ALL))
        self.b.bind((if_b, ETH_P_ALL))
        self.stopping = False
        self.passed = self.dropped = 0
        self.random = random.Random(2200)

    def run(self):
        queue, seq = [], 0
        other = {self.a: self.b, self.b: self.a}
        while not self.stopping:
            now = time.monotonic()
            while queue and queue[0][0] <= now:
                _, _, out, frame = heapq.heappop(queue)
                try:
                    out.send(frame)
                except OSError:
                    pass
            timeout = min(0.05, max(0.0, queue[0][0] - now)) if queue else 0.05
            ready, _, _ = select.select([self.a, self.b], [], [], timeout)
            for s in ready:
                frame, address = s.recvfrom(65536)
                if address[2] == PACKET_OUTGOING:
                    continue  # our own sending, seen on the way out
                if self.random.random() < self.loss:
                    self.dropped += 1
                    continue
                self.passed += 1
                seq += 1
                heapq.heappush(queue, (time.monotonic() + self.delay, seq, other[s], frame))

    def stop(self):
        self.stopping = True
        self.join(timeout=2)


# ---------------------------------------------------------------- scenarios

class Rig:
    def __init__(self, args):
        self.pelmora = os.path.abspath(args.pelmora)
        self.deadlink_seconds = args.deadlink_seconds
        self.dead_after = args.deadlink_seconds or 20
        self.instances = []
        self.watchers = []
        self.relays = []
        self.net = None
        self.keep = args.keep
        self.chat_seconds = args.chat_seconds
        self.workdir = tempfile.mkdtemp(prefix="pelmora-rig-")

    def close(self):
        for r in self.relays:
            r.stop()
        for w in self.watchers:
            w.leave()
        for i in self.instances:
            i.stop()
        if self.net:
            self.net.remove()
        if self.keep:
            shutil.rmtree(self.keep, ignore_errors=True)
            shutil.copytree(self.workdir, self.keep)
        shutil.rmtree(self.workdir, ignore_errors=True)

    def expect(self, cond, what):
        if not cond:
            raise Failure(what)

    def seat(self, hub, inst, timeout=10):
        self.expect(wait_until(lambda: hub.link_from(inst.address) is not None, timeout),
                    "%s was not seated at %s" % (inst.role, hub.role))

    def quiet(self, hub, peers, timeout=5):
        """Wait until everything the hub sent to peers has been acknowledged,
        so the silence starts now."""
        self.expect(wait_until(lambda: all(hub.link_from(p) == 0 for p in peers), timeout),
                    "%s did not get its lines acknowledged" % hub.role)

    def start_group(self, extra_hosts=()):
        self.net = Net()
        hosts = {}
        for tag, number in (("h", 1), ("c", 2), ("t", 3), ("w", 9)) + tuple(extra_hosts):
            hosts[tag] = self.net.host(tag, number)
        return hosts

    def form_group(self, cand_seconds=None):
        """Hub, candidate (seat 1), third peer (seat 2) and the watcher
        (seat 3), talking; the silence starts when this returns."""
        hosts = self.start_group()
        hub = Instance(self, "hub", *hosts["h"], nick="ハブ")
        self.expect(wait_until(hub.listening, 20), "the hub did not listen")
        cand = Instance(self, "cand", *hosts["c"], nick="こうほ", join=hosts["h"][1],
                        deadlink_seconds=cand_seconds)
        self.seat(hub, cand)
        third = Instance(self, "third", *hosts["t"], nick="さんにん", join=hosts["h"][1])
        self.seat(hub, third)
        watcher = Watcher(*hosts["w"], nick="watcher")
        self.watchers.append(watcher)
        self.expect(watcher.join(hub.address) == "seated", "the watcher was not seated at the hub")
        for line in ("uハブ", "uこうほ", "uさんにん", "n" + cand.address, "rこうほ"):
            self.expect(watcher.wait_line(line, 10), "the hub did not send %r" % line)
        watcher.speak("まえ")
        self.quiet(hub, (cand.address, third.address))
        return hub, cand, third, watcher

    def stagger(self):
        """The third peer notices the loss well before the candidate does
        (the candidate's dead-link time is three times longer): it must
        not be sent back to the lost hub, but be seated at the candidate
        once the candidate has become hub."""
        d = self.dead_after
        hub, cand, third, watcher = self.form_group(cand_seconds=3 * d)
        self.net.cut("h")
        cut = time.monotonic()
        watcher.leave()
        # Until the candidate notices, it answers every call (the third
        # peer's and the watcher's) with the lost hub's address.
        self.expect(wait_until(lambda: watcher.join(cand.address) == "seated", 3 * d + 10, step=0.2),
                    "the candidate never became hub")
        self.expect(watcher.wait_line("uさんにん", 10), "the third peer did not rejoin the candidate")
        say("hub cut -> third peer seated at the late candidate: %.2f s" % (time.monotonic() - cut))
        for i in (hub, cand, third):
            i.stop()
        err = third.stderr()
        self.expect("接続先はクライアントです。" not in err and "接続失敗" not in third.log(),
                    "the third peer was sent back to the lost hub:\n" + err + third.log())

    def cuts(self):
        d = self.dead_after
        hub, cand, third, watcher = self.form_group()

        # 1. The hub vanishes.
        self.net.cut("h")
        cut = time.monotonic()
        watcher.leave()
        limit = d + 10
        self.expect(wait_until(lambda: cand.link_from(third.address) is not None, limit),
                    "the third peer did not rejoin the candidate within %d s" % limit)
        self.expect(wait_until(lambda: watcher.join(cand.address) == "seated", 10),
                    "the candidate did not seat the watcher")
        whole = watcher.wait_line("uさんにん", 5)
        self.expect(watcher.has("uこうほ") and whole, "the candidate's roster lacks the third peer")
        regroup = whole - cut
        say("hub cut -> group whole again at the candidate: %.2f s" % regroup)
        for line in ("n" + third.address, "rさんにん"):
            self.expect(watcher.wait_line(line, 5), "the new hub did not announce %r" % line)

        # 2. The seated next candidate vanishes.
        watcher.speak("あと")
        self.quiet(cand, (third.address, watcher.address))
        self.net.cut("t")
        cut = time.monotonic()
        gone = watcher.wait_line("cさんにん", d + 10)
        self.expect(gone, "the hub did not announce the departure of the cut peer")
        departure = gone - cut
        say("seated peer cut -> departure line at the hub: %.2f s" % departure)
        for line in ("n" + watcher.address, "rwatcher"):
            self.expect(watcher.wait_line(line, 5), "no new candidate after the departure: %r" % line)

        # What the instances saved and said.
        for i in (hub, cand, third):
            i.stop()
        clog, tlog = cand.log(), third.log()
        self.expect("サーバの人が落ちました。" in clog and "他の人達が接続してくるかもしれないので、" in clog,
                    "the candidate's log lacks its waiting note:\n" + clog)
        self.expect(re.search("他の人達が.*さんにんがやってきました。", clog, re.S),
                    "the candidate's log lacks the third peer's arrival after the loss:\n" + clog)
        self.expect("さんにんさんが帰りました。" in clog, "the candidate's log lacks the departure:\n" + clog)
        self.expect("まだチャットを続けますか？" in third.stderr(),
                    "the third peer was not asked to go on:\n" + third.stderr())
        self.expect("こうほさんが帰りました。" in hub.log(),
                    "the cut hub never noticed its seats were gone:\n" + hub.log())
        target = 3 if self.deadlink_seconds and self.deadlink_seconds <= 2 else 25
        for what, value in (("regroup", regroup), ("departure", departure)):
            self.expect(value <= d + 5, "%s took %.2f s, far beyond %d s of silence" % (what, value, d))
            say("%s %.2f s: %s the %d s target" % (what, value, "within" if value <= target else "OVER", target))

    def slowlink(self):
        minute, delay, loss = self.chat_seconds, 0.2, 0.05
        hosts = self.start_group()
        # The slow peer's cable: its namespace -> relay namespace -> switch.
        slow = self.net.add_ns("s")
        relay_ns = self.net.add_ns("x")
        self.net.veth(slow, "eth0", relay_ns, "in")
        self.net.veth(relay_ns, "out", self.net.switch, "ps")
        run("ip", "-n", self.net.switch, "link", "set", "ps", "master", "br0")
        for ifname in ("in", "out"):
            run("ip", "-n", relay_ns, "link", "set", ifname, "promisc", "on")
        run("ip", "-n", slow, "addr", "add", NET + "5/24", "dev", "eth0")
        for ns in (slow, hosts["h"][0], hosts["w"][0]):
            no_checksum_offload(ns, "eth0")
        relay = Relay(relay_ns, "in", "out", delay, loss)
        self.relays.append(relay)
        relay.start()

        hub = Instance(self, "hub", *hosts["h"], nick="ハブ")
        self.expect(wait_until(hub.listening, 20), "the hub did not listen")
        peer = Instance(self, "slow", slow, NET + "5", nick="おそい", join=hosts["h"][1])
        self.seat(hub, peer, timeout=20)
        watcher = Watcher(*hosts["w"], nick="watcher")
        self.watchers.append(watcher)
        self.expect(watcher.join(hub.address) == "seated", "the watcher was not seated at the hub")
        self.expect(watcher.wait_line("uおそい", 10), "the slow peer is not in the roster")

        # Lines, then pauses longer than the keep-alive idle time, so both
        # data and probes cross the bad link.
        start = time.monotonic()
        pauses = [0.5, 0.5, 1, 12, 0.3, 0.3, 2, 15, 1, 1, 9]
        n = 0
        while time.monotonic() - start < minute:
            n += 1
            watcher.speak("%d 行目: ゆっくりでもだいじょうぶ" % n)
            time.sleep(pauses[n % len(pauses)])
            self.expect(not any(got.startswith(b"c") for _, got in watcher.lines),
                        "a departure was announced over the slow link")
        self.expect(hub.link_from(peer.address) is not None, "the slow peer's seat is gone")
        say("slow link: %d lines in %.0f s, %d frames passed, %d dropped (%.1f %%), "
            "%.0f ms each way; no departure"
            % (n, time.monotonic() - start, relay.passed, relay.dropped,
               100.0 * relay.dropped / max(1, relay.passed + relay.dropped), delay * 1000))
        for i in (hub, peer):
            i.stop()
        self.expect("asked:" not in peer.stderr(), "the slow peer thought its hub lost:\n" + peer.stderr())
        self.expect("が帰りました" not in hub.log(), "the hub logged a departure:\n" + hub.log())


def can_make_namespaces():
    if os.geteuid() != 0:
        return "needs root to create network namespaces"
    if not shutil.which("ip"):
        return "the ip command (iproute2) is missing"
    name = "pelmora-rig-%d-probe" % os.getpid()
    r = run("ip", "netns", "add", name, check=False)
    if r.returncode != 0:
        return "cannot create a network namespace: " + r.stderr.strip()
    try:
        r = run("ip", "-n", name, "link", "add", "name", "va", "type", "veth", "peer", "name", "vb", check=False)
        if r.returncode != 0:
            return "cannot create veth pairs: " + r.stderr.strip()
        r = run("ip", "-n", name, "link", "add", "name", "br0", "type", "bridge", check=False)
        if r.returncode != 0:
            return "cannot create a bridge: " + r.stderr.strip()
    finally:
        run("ip", "netns", "del", name, check=False)
    return None


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--pelmora", required=True)
    p.add_argument("--scenario", choices=("cuts", "stagger", "slowlink"), default="cuts")
    p.add_argument("--deadlink-seconds", type=int, default=0,
                   help="PELMORA_DEADLINK_SECONDS for the instances (0: the default constants)")
    p.add_argument("--chat-seconds", type=float, default=60.0,
                   help="how long the slow-link group chats")
    p.add_argument("--keep", help="copy the instances' folders (logs, stderr) here at the end")
    args = p.parse_args()

    why = can_make_namespaces()
    if why:
        print("SKIPPED: " + why, flush=True)
        return SKIP
    if not os.access(args.pelmora, os.X_OK):
        print("cannot run " + args.pelmora, flush=True)
        return 1

    def interrupted(signum, _frame):
        raise SystemExit(128 + signum)

    signal.signal(signal.SIGTERM, interrupted)
    signal.signal(signal.SIGHUP, interrupted)
    remove_leftovers()
    rig = Rig(args)
    say("%s, dead link after %s s of silence" % (args.scenario, rig.dead_after))
    return run_scenario(rig, getattr(rig, args.scenario))


def run_scenario(rig, scenario):
    """Runs scenario() on rig; on a failure prints it with every instance's
    standard error. Returns the exit code."""
    try:
        scenario()
    except Failure as e:
        print("FAILED: %s" % e, flush=True)
        for i in rig.instances:
            print("--- %s stderr\n%s" % (i.role, i.stderr()), flush=True)
        return 1
    finally:
        rig.close()
    say("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
