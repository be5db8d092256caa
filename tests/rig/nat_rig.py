#!/usr/bin/env python3
"""NAT rig: a group regrouping across a virtual Internet.

The Internet is a bridge on 203.0.113.0/24 (a documentation range, so it
counts as public) whose provider (203.0.113.254) drops whatever is sent to a
private address. Routers masquerade their LAN (192.168.N.0/24) behind their
WAN address; some forward port 2200 to one LAN host, with hairpin NAT; a
router without a forward refuses unasked calls, or drops them ("drop"). A
watcher (a raw member, last to join) records what the hub announces. The
hub is killed with SIGKILL; every survivor must be in one group at the
announced candidate within 5 s.

Scenarios (members in the order they join):
  public     hub and C public, A behind a router, B behind a dropping one: A, B, C
  cfirst     the same, C joins first: C, A, B
  hubfwd     the hub behind a router forwarding 2200, joined by the router's
             address; A and B behind routers, C public: A, B, C
  lanfriend  as hubfwd, plus L on the hub's LAN, joined by the hub's LAN
             address: L, A, B, C
  hairpin    A behind a router forwarding 2200 to A, with hairpin; B behind a
             dropping router: A, B

--observe reports the candidate and what became of the group instead of
asserting (to see how a build behaves). Exits 77 where it cannot run.
Usage: nat_rig.py --pelmora PATH --scenario NAME [--observe] [--keep DIR]
"""

import argparse
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import deadlink_rig as dr  # noqa: E402

INET = "203.0.113."
ISP = INET + "254"
WATCHER = INET + "9"
REGROUP_LIMIT = 5.0


class NatNet(dr.Net):
    """The Internet (the switch's bridge), its provider, routers and hosts."""

    def __init__(self):
        super().__init__()
        isp = self.plug("isp", ISP)
        dr.run("ip", "netns", "exec", isp, "sysctl", "-qw", "net.ipv4.ip_forward=0")

    def plug(self, tag, address):
        ns = self.add_ns(tag)
        self.veth(ns, "eth0", self.switch, "p" + tag)
        dr.run("ip", "-n", self.switch, "link", "set", "p" + tag, "master", "br0")
        dr.run("ip", "-n", ns, "addr", "add", address + "/24", "dev", "eth0")
        if address != ISP:
            dr.run("ip", "-n", ns, "route", "add", "default", "via", ISP)
        return ns

    def public(self, tag, number):
        return self.plug(tag, INET + str(number)), INET + str(number)

    def router(self, tag, number, lan, forward=None, drop=False):
        """A router at 203.0.113.<number> for 192.168.<lan>.0/24; forward:
        the LAN host that gets port 2200 (hairpin included)."""
        ns, wan = self.public(tag, number)
        dr.run("ip", "-n", ns, "link", "add", "lan0", "type", "bridge")
        dr.run("ip", "-n", ns, "link", "set", "lan0", "up")
        dr.run("ip", "-n", ns, "addr", "add", "192.168.%d.1/24" % lan, "dev", "lan0")
        for key in ("net.ipv4.ip_forward=1", "net.ipv4.conf.all.send_redirects=0",
                    "net.ipv4.conf.lan0.send_redirects=0"):
            dr.run("ip", "netns", "exec", ns, "sysctl", "-qw", key)
        # The LAN bridge is the router's own switch: frames crossing it are
        # not routed, so the firewall must not see them (where the kernel
        # would hand it bridged frames, a hairpin reply would be lost).
        dr.run("ip", "netns", "exec", ns, "sysctl", "-qw", "net.bridge.bridge-nf-call-iptables=0", check=False)
        fwd = ("ip daddr %s tcp dport %d dnat to %s;" % (wan, dr.PORT, forward)) if forward else ""
        deaf = ('iifname "eth0" tcp dport %d drop;' % dr.PORT) if drop else ""
        rules = """
table ip nat {
  chain pre { type nat hook prerouting priority -100; policy accept; %s }
  chain post { type nat hook postrouting priority 100; policy accept;
    oifname "eth0" masquerade;
    oifname "lan0" ip saddr 192.168.%d.0/24 ct status dnat masquerade; }
}
table ip filter {
  chain in { type filter hook input priority 0; policy accept; %s }
}
""" % (fwd, lan, deaf)
        r = dr.subprocess.run(["ip", "netns", "exec", ns, "nft", "-f", "-"], input=rules, text=True,
                              stdout=dr.subprocess.PIPE, stderr=dr.subprocess.PIPE)
        if r.returncode != 0:
            raise dr.Failure("nft in %s: %s" % (tag, r.stderr.strip()))
        return ns, wan

    def behind(self, router_ns, lan, tag, host):
        ns = self.add_ns(tag)
        address = "192.168.%d.%d" % (lan, host)
        self.veth(ns, "eth0", router_ns, "l" + tag)
        dr.run("ip", "-n", router_ns, "link", "set", "l" + tag, "master", "lan0")
        dr.run("ip", "-n", ns, "addr", "add", address + "/24", "dev", "eth0")
        dr.run("ip", "-n", ns, "route", "add", "default", "via", "192.168.%d.1" % lan)
        return ns, address


class NatRig(dr.Rig):
    def build(self, scenario):
        """The network of a scenario: (hub host, hub's address as members
        call it, [(nick, host, target, address the hub sees)] in joining
        order, nick of the candidate to announce, its reachable address)."""
        n = self.net = NatNet()
        hosts = {}
        if scenario in ("public", "cfirst", "hairpin"):
            hub, target = n.public("h", 1), INET + "1"
        else:
            rh, _ = n.router("rh", 21, 3, forward="192.168.3.10")
            hub, target = n.behind(rh, 3, "h", 10), INET + "21"
        fwd = "192.168.1.10" if scenario == "hairpin" else None
        ra, _ = n.router("ra", 11, 1, forward=fwd)
        rb, _ = n.router("rb", 12, 2, drop=True)
        hosts["A"] = (n.behind(ra, 1, "a", 10), target, INET + "11")
        hosts["B"] = (n.behind(rb, 2, "b", 10), target, INET + "12")
        if scenario != "hairpin":
            hosts["C"] = (n.public("c", 3), target, INET + "3")
        if scenario == "lanfriend":
            hosts["L"] = (n.behind(rh, 3, "l", 20), "192.168.3.10", "192.168.3.20")
        order = {"public": "ABC", "cfirst": "CAB", "hubfwd": "ABC", "lanfriend": "LABC", "hairpin": "AB"}
        members = [(nick,) + hosts[nick] for nick in order[scenario]]
        cand = ("A", INET + "11") if scenario == "hairpin" else ("C", INET + "3")
        return hub, target, members, cand

    def nat(self, scenario, observe):
        hub_host, target, members, (cand_nick, cand_addr) = self.build(scenario)
        hub = dr.Instance(self, "hub", *hub_host, nick="H")
        self.expect(dr.wait_until(hub.listening, 20), "the hub did not listen")
        inst = {}
        for nick, host, join, seen in members:
            inst[nick] = dr.Instance(self, nick, *host, nick=nick, join=join)
            self.expect(dr.wait_until(lambda: hub.link_from(seen) is not None, 10), nick + " was not seated")
        watcher = dr.Watcher(self.net.plug("w", WATCHER), WATCHER, "watcher")
        self.watchers.append(watcher)
        self.expect(watcher.join(target) == "seated", "the watcher was not seated")
        for nick, *_ in members:
            self.expect(watcher.wait_line("u" + nick, 10), "the hub did not introduce " + nick)
        seen_of = {nick: seen for nick, _, _, seen in members}
        want = "n" + seen_of[cand_nick]
        if observe:
            time.sleep(4)  # every check has ended
        else:
            self.expect(watcher.wait_line(want, 8), "the hub never announced %s (%s)" % (cand_nick, want))
            time.sleep(0.3)
        with watcher.cond:
            announced = [got.decode("cp932") for _, got in watcher.lines if got.startswith(b"n")]
        dr.say("candidate announced: %s" % (announced[-1][1:] if announced else "none"))
        self.expect(observe or announced[-1] == want, "the hub went on to announce " + announced[-1])

        hub.proc.kill()
        killed = time.monotonic()
        watcher.leave()
        cand = inst[cand_nick]
        others = [nick for nick in inst if nick != cand_nick]

        def seats(i):
            return [r for l, r, st, _ in i.table() if l == (i.address, dr.PORT) and st == "01"]

        if observe:
            time.sleep(REGROUP_LIMIT + 3)
            for nick, i in inst.items():
                links = [r[0] for l, r, st, _ in i.table() if r[1] == dr.PORT and st == "01"]
                dr.say("%s: seats %s, link to %s" % (nick, seats(i) or "none", links or "nobody"))
            return
        whole = dr.wait_until(lambda: len(seats(cand)) >= len(others), REGROUP_LIMIT)
        self.expect(whole, "after %.0f s %s seats only %s, not %s" % (REGROUP_LIMIT, cand_nick, seats(cand), others))
        dr.say("hub killed -> everyone at %s: %.2f s" % (cand_nick, time.monotonic() - killed))
        self.expect(watcher.join(cand_addr) == "seated", "the new hub did not seat the watcher")
        for nick in [cand_nick] + others:
            self.expect(watcher.wait_line("u" + nick, 5), "%s's roster lacks %s" % (cand_nick, nick))
        time.sleep(0.3)
        with watcher.cond:
            names = [got for _, got in watcher.lines if got.startswith(b"u")]
        self.expect(len(names) == len(inst), "the new hub's roster: %r" % names)
        watcher.leave()
        for i in [hub] + list(inst.values()):
            i.stop()
        self.expect("他の人達が接続してくるかもしれないので、" in cand.log(),
                    "%s did not show the waiting note:\n%s" % (cand_nick, cand.log()))
        for nick in others:
            self.expect("自分自身への呼び出しです。" not in inst[nick].log(), nick + " called itself")


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--pelmora", required=True)
    p.add_argument("--scenario", choices=("public", "cfirst", "hubfwd", "lanfriend", "hairpin"), required=True)
    p.add_argument("--observe", action="store_true")
    p.add_argument("--keep")
    args = p.parse_args()
    args.deadlink_seconds, args.chat_seconds = 0, 0
    why = dr.can_make_namespaces() or (None if shutil.which("nft") else "nft (nftables) is missing")
    if why:
        print("SKIPPED: " + why, flush=True)
        return dr.SKIP
    dr.signal.signal(dr.signal.SIGTERM, lambda s, _f: sys.exit(128 + s))
    dr.remove_leftovers()
    rig = NatRig(args)
    dr.say("nat " + args.scenario)
    try:
        rig.nat(args.scenario, args.observe)
    except dr.Failure as e:
        print("FAILED: %s" % e, flush=True)
        for i in rig.instances:
            print("--- %s stderr\n%s" % (i.role, i.stderr()), flush=True)
        return 1
    finally:
        rig.close()
    dr.say("passed" if not args.observe else "observed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
