#!/usr/bin/env python3
"""Fails when two test files write out addresses of the same loopback block.

Tests run in parallel (ctest -j): two files that listen on the same address
and port meet, and the second one's listen fails. Every file keeps its own
127.A.B.* block; blocks from 127.100 up are handed out by testkit::address.
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
owner = {}
clashes = []
for path in sorted(root.rglob("*")):
    if path.suffix not in (".cpp", ".h", ".py"):
        continue
    text = path.read_text(encoding="utf-8", errors="replace")
    for a, b in set(re.findall(r"\b127\.(\d+)\.(\d+)\.", text)):
        block = (int(a), int(b))
        if block[0] == 0:
            continue  # 127.0.0.x: localhost itself, not listened on by block
        if block[0] >= 100:
            clashes.append(f"{path.relative_to(root)}: 127.{a}.{b}.* is testkit::address's")
        elif block in owner and owner[block] != path:
            clashes.append(f"{path.relative_to(root)} and {owner[block].relative_to(root)} share 127.{a}.{b}.*")
        owner.setdefault(block, path)
for c in clashes:
    print(c)
print(f"{len(owner)} blocks, {len(clashes)} clashes")
sys.exit(1 if clashes else 0)
