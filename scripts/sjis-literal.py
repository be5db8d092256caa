#!/usr/bin/env python3
"""Print a fixed-text table entry for text/texts.def.

    scripts/sjis-literal.py kName 'UTF-8 text with \\r\\n escapes'

The entry holds the CP932 bytes as a C++ literal and the UTF-8 text beside
it, so that tests can check one against the other.
"""
import sys


def literal(data: bytes) -> str:
    out = []
    prev_hex = False
    for b in data:
        if 0x20 <= b < 0x7F and b not in (0x22, 0x5C):
            ch = chr(b)
            # A hex escape swallows following hex digits: split the literal.
            if prev_hex and ch in "0123456789abcdefABCDEF":
                out.append('" "')
            out.append(ch)
            prev_hex = False
        elif b == 0x0D:
            out.append("\\r"); prev_hex = False
        elif b == 0x0A:
            out.append("\\n"); prev_hex = False
        elif b == 0x22:
            out.append('\\"'); prev_hex = False
        elif b == 0x5C:
            out.append("\\\\"); prev_hex = False
        else:
            out.append("\\x%02X" % b); prev_hex = True
    return '"' + "".join(out) + '"'


def main() -> None:
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    name = sys.argv[1]
    text = sys.argv[2].replace("\\r", "\r").replace("\\n", "\n")
    utf8 = text.replace("\r", "\\r").replace("\n", "\\n").replace('"', '\\"')
    print('PELMORA_TEXT(%s,\n             %s,\n             u8"%s")' % (name, literal(text.encode("cp932")), utf8))


if __name__ == "__main__":
    main()
