#!/usr/bin/env python3
"""Holds the core's UTF-8 decoder (utf8_probe, the program given) against Python's strict one.

Every lead byte is tried with every second byte, alone (a cut sequence) and before tails that
complete, break or cut the third and fourth bytes; at each offset both must read the same code
point and length, or nothing."""
import subprocess
import sys

TAILS = [b"", b"\x80\xbf\x80", b"\xbf\x7f", b"\x80\xc0", b"\xbf"]


def python_reads(window):
    """The code point and length of the character `window` begins with, as Python decodes it."""
    for length in range(1, len(window) + 1):
        try:
            text = window[:length].decode("utf-8", "strict")
        except UnicodeDecodeError:
            continue
        return (ord(text), length) if len(text) == 1 else (0, 0)
    return (0, 0)


def main():
    cases = [bytes([lead, second]) + tail
             for lead in range(256) for second in range(256) for tail in TAILS]
    cases += [bytes([byte]) for byte in range(256)]
    probe = subprocess.run([sys.argv[1]], input="".join(c.hex() + "\n" for c in cases),
                           capture_output=True, text=True, check=True)
    lines = probe.stdout.splitlines()
    if len(lines) != len(cases):
        print("%d lines back for %d byte sequences" % (len(lines), len(cases)))
        return 1
    known = {}
    wrong = 0
    for case, line in zip(cases, lines):
        expected = []
        for at in range(len(case)):
            window = case[at:at + 4]
            if window not in known:
                known[window] = "%X:%d" % python_reads(window)
            expected.append(known[window])
        if line != " ".join(expected):
            wrong += 1
            if wrong <= 10:
                print("%s: the core reads %s, Python %s" % (case.hex(" "), line, " ".join(expected)))
    print("%d of %d byte sequences read differently" % (wrong, len(cases)))
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
