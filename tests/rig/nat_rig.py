#!/usr/bin/env python3
"""NAT rig: a group regrouping across a virtual Internet (203.0.113.0/24,
public to the program; its provider drops private addresses) with routers
that masquerade, forward 2200 (with hairpin) or drop unasked calls. The hub
is killed; every survivor must be at the announced candidate within 5 s.
Scenarios (members in joining order): public (A, B behind NAT, C public: A B
C), cfirst (C A B), hubfwd (hub behind a forward: A B C), lanfriend (hubfwd
plus L on the hub's LAN: L A B C), hairpin (A behind a forward: A B).
--observe reports instead of asserting. Exits 77 where it cannot run."""

import argparse, os, shutil, subprocess, sys, time
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import deadlink_rig as dr  # noqa: E402

NET, ISP, LIMIT = "203.0.113.", "203.0.113.254", 5.0
ROUTER = """table ip nat {
  chain pre { type nat hook prerouting priority -100; %s }
  chain post { type nat hook postrouting priority 100; oifname "eth0" masquerade;
               oifname "lan0" ip saddr 192.168.%d.0/24 ct status dnat masquerade; }
}
table ip filter {
  chain in { type filter hook input priority 0; %s }
}
"""


class NatNet(dr.Net):
    def __init__(self):
        super().__init__()
        # The provider forwards nothing: what is sent to a private address is lost.
        self.sh(self.plug("isp", ISP)[0], "sysctl", "-qw", "net.ipv4.ip_forward=0")

    def sh(self, ns, *cmd, stdin=None):
        r = subprocess.run(("ip", "netns", "exec", ns) + cmd, input=stdin, text=True, capture_output=True)
        if r.returncode:
            raise dr.Failure("%s: %s" % (" ".join(cmd), r.stderr.strip()))

    def plug(self, tag, address, gateway=ISP, switch=None):
        ns = self.add_ns(tag)
        self.veth(ns, "eth0", switch or self.switch, "p" + tag)
        dr.run("ip", "-n", switch or self.switch, "link", "set", "p" + tag, "master", "br0" if not switch else "lan0")
        dr.run("ip", "-n", ns, "addr", "add", address + "/24", "dev", "eth0")
        if address != ISP:
            dr.run("ip", "-n", ns, "route", "add", "default", "via", gateway)
        return ns, address

    def router(self, tag, n, lan, forward=None, drop=False):
        ns, wan = self.plug(tag, NET + str(n))
        dr.run("ip", "-n", ns, "link", "add", "lan0", "type", "bridge")
        dr.run("ip", "-n", ns, "link", "set", "lan0", "up")
        dr.run("ip", "-n", ns, "addr", "add", "192.168.%d.1/24" % lan, "dev", "lan0")
        self.sh(ns, "sysctl", "-qw", "net.ipv4.ip_forward=1", "net.ipv4.conf.all.send_redirects=0")
        # Frames crossing the LAN bridge are switched, not routed: keep the
        # firewall out of them, or a hairpin reply is lost on the bridge.
        dr.run("ip", "netns", "exec", ns, "sysctl", "-qw", "net.bridge.bridge-nf-call-iptables=0", check=False)
        self.sh(ns, "nft", "-f", "-", stdin=ROUTER % (
            "ip daddr %s tcp dport 2200 dnat to %s;" % (wan, forward) if forward else "", lan,
            'iifname "eth0" tcp dport 2200 drop;' if drop else ""))
        return ns, lan

    def behind(self, router, tag, host):
        return self.plug(tag, "192.168.%d.%d" % (router[1], host), "192.168.%d.1" % router[1], router[0])


class NatRig(dr.Rig):
    def nat(self, scenario, observe):
        n = self.net = NatNet()
        behind_nat = scenario in ("hubfwd", "lanfriend")
        rh = n.router("rh", 21, 3, forward="192.168.3.10") if behind_nat else None
        hub_host, target = (n.behind(rh, "h", 10), NET + "21") if rh else (n.plug("h", NET + "1"), NET + "1")
        ra = n.router("ra", 11, 1, forward="192.168.1.10" if scenario == "hairpin" else None)
        rb = n.router("rb", 12, 2, drop=True)
        hosts = {"A": (n.behind(ra, "a", 10), target, NET + "11"), "B": (n.behind(rb, "b", 10), target, NET + "12"),
                 "C": (n.plug("c", NET + "3"), target, NET + "3")}
        if rh:
            hosts["L"] = (n.behind(rh, "l", 20), "192.168.3.10", "192.168.3.20")
        order = {"public": "ABC", "cfirst": "CAB", "hubfwd": "ABC", "lanfriend": "LABC", "hairpin": "AB"}[scenario]
        cand_nick = "A" if scenario == "hairpin" else "C"

        hub = dr.Instance(self, "hub", *hub_host, nick="H")
        self.expect(dr.wait_until(hub.listening, 20), "the hub did not listen")
        inst = {}
        for nick in order:
            host, join, seen = hosts[nick]
            inst[nick] = dr.Instance(self, nick, *host, nick=nick, join=join)
            self.expect(dr.wait_until(lambda: hub.link_from(seen) is not None, 10), nick + " was not seated")
        watcher = dr.Watcher(*n.plug("w", NET + "9"), nick="w")
        self.watchers.append(watcher)
        self.expect(watcher.join(target) == "seated" and all(watcher.wait_line("u" + m, 10) for m in order),
                    "the watcher did not get the roster")
        want = "n" + hosts[cand_nick][2]
        self.expect(observe or watcher.wait_line(want, 8), "%s was never announced" % cand_nick)
        time.sleep(4 if observe else 0.3)  # observing: until every check has ended
        with watcher.cond:
            last = [got.decode() for _, got in watcher.lines if got.startswith(b"n")][-1]
        dr.say("candidate announced: " + last[1:])
        self.expect(observe or last == want, "then the hub announced " + last)

        hub.proc.kill()
        killed = time.monotonic()
        watcher.leave()
        cand, others = inst[cand_nick], [m for m in order if m != cand_nick]

        def seats(i):
            return [r for l, r, st, _ in i.table() if l == (i.address, dr.PORT) and st == "01"]

        if observe:
            time.sleep(LIMIT + 3)
            for m, i in inst.items():
                links = [r[0] for _, r, st, _ in i.table() if r[1] == dr.PORT and st == "01"]
                dr.say("%s: seats %s, link to %s" % (m, seats(i) or "none", links or "nobody"))
            return
        self.expect(dr.wait_until(lambda: len(seats(cand)) >= len(others), LIMIT),
                    "after %.0f s %s seats only %s" % (LIMIT, cand_nick, seats(cand)))
        dr.say("hub killed -> everyone at %s: %.2f s" % (cand_nick, time.monotonic() - killed))
        self.expect(watcher.join(hosts[cand_nick][2]) == "seated", "the new hub did not seat the watcher")
        self.expect(all(watcher.wait_line("u" + m, 5) for m in order), "the new hub's roster lacks someone")
        time.sleep(0.3)
        # A seat whose name line is still on its way is announced as "u" and
        # named by a later line; no name may come twice.
        names = [got.decode()[1:] for _, got in watcher.lines if got.startswith(b"u") and len(got) > 1]
        self.expect(sorted(names) == sorted(order), "a name came twice: %s" % names)
        for i in [hub] + list(inst.values()):
            i.stop()
        self.expect("他の人達が接続してくるかもしれないので、" in cand.log(), cand_nick + " did not show the waiting note")
        self.expect(not any("自分自身への呼び出しです。" in inst[m].log() for m in others), "someone called itself")


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--pelmora", required=True)
    p.add_argument("--scenario", choices=("public", "cfirst", "hubfwd", "lanfriend", "hairpin"), required=True)
    p.add_argument("--observe", action="store_true")
    args = p.parse_args()
    args.deadlink_seconds, args.chat_seconds, args.keep = 0, 0, None
    why = dr.can_make_namespaces() or (None if shutil.which("nft") else "nft (nftables) is missing")
    if why:
        print("SKIPPED: " + why, flush=True)
        return dr.SKIP
    dr.signal.signal(dr.signal.SIGTERM, lambda s, _f: sys.exit(128 + s))
    dr.remove_leftovers()
    rig = NatRig(args)
    return dr.run_scenario(rig, lambda: rig.nat(args.scenario, args.observe))


if __name__ == "__main__":
    sys.exit(main())
