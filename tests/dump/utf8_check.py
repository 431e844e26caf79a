#!/usr/bin/env python3
# The core's UTF-8 decoder (the probe program given) against Python's strict one: every lead
# byte with every second byte, alone (cut) and before tails that complete, break or cut the
# rest; at each offset and at the end both read the same code point and length, or nothing
# ("0:0"), and both take the whole for UTF-8 or not.
import subprocess
import sys


def python_reads(window):
    for length in range(1, len(window) + 1):
        try:
            text = window[:length].decode("utf-8", "strict")
            return "%X:%d" % ((ord(text), length) if len(text) == 1 else (0, 0))
        except UnicodeDecodeError:
            pass
    return "0:0"


cases = [bytes([lead, second]) + tail for lead in range(256) for second in range(256)
         for tail in (b"", b"\x80\xbf\x80", b"\xbf\x7f", b"\x80\xc0", b"\xbf")]
cases += [bytes([byte]) for byte in range(256)]
lines = subprocess.run([sys.argv[1]], input="".join(c.hex() + "\n" for c in cases), text=True,
                       capture_output=True, check=True, timeout=120).stdout.splitlines()
known = {}

def python_says(case):
    try:
        return case.decode("utf-8", "strict") and "UTF-8"
    except UnicodeDecodeError:
        return "not"


expected = [" ".join([known.setdefault(c[at:at + 4], python_reads(c[at:at + 4]))
                      for at in range(len(c) + 1)] + [python_says(c)]) for c in cases]
wrong = [(c.hex(" "), got, want) for c, got, want in zip(cases, lines, expected) if got != want]
for case, got, want in wrong[:10]:
    print("%s: the core reads %s, Python %s" % (case, got, want))
print("%d of %d byte sequences read differently" % (len(wrong), len(cases)))
sys.exit(1 if wrong or len(lines) != len(cases) else 0)
