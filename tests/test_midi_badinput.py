"""Bad input at every inlet of every MIDI class: numbers from -1e9 to 1e9,
NaN, infinities, values beyond 32 bits, symbols, lists and unknown
selectors. Nothing crashes, the classes post nothing of their own (only the
host's refusals of messages they have no method for), and whatever comes
out stays in the range the class promises."""
import re
import unittest

from bench import run

BAD = ["-1e9", "1e9", "=nan", "=-nan", "=inf", "=-inf", "1e10", "-1e10", "2147483648", "-2147483649",
       "-0.5", "=-0", "127.9", "255.5", "256", "-1", "16383.5", "16384"]
# a valid stream woven through the bad values, so that the machines are mid-message when hit
STREAM = ["144", "60", "100", "176", "7", "224", "0", "64", "197", "3", "128", "60", "248", "240", "1", "247",
          "145", "62", "146", "61", "1", "239", "1", "2"]
MESSAGES = ["bang", "symbol x", "list", "list 1", "list 144 60 100", "list x 1", "list 1 x", "foo 1", "clear"]

# class, creation argument, inlet count, outlet ranges (None: any number)
CLASSES = [
    ("bytesift", "", 1, [None, None, None, (0, 127), (0, 127), (0, 127), (1, 16)]),
    ("bytecast", "", 7, [None]),
    ("bytecast", "-1e10", 7, [None]),
    ("hushnotes", "", 1, [(0, 255)]),
    ("flush", "", 2, [(0, 127), None]),
    ("sustain", "", 3, [(0, 127), None]),
    ("keysend", "", 4, [(0, 255)]),
    ("keysend", "1e10", 4, [(0, 255)]),
    ("keyrecv", "", 1, [(0, 127), (0, 127), (0, 1), (1, 16)]),
    ("keyrecv", "3", 1, [(0, 127), (0, 127), (0, 1)]),
    ("wheelsend", "", 2, [(0, 255)]),
    ("wheelsend2", "", 3, [(0, 255)]),
    ("wheelrecv", "", 1, [(0, 16383), (1, 16)]),
    ("wheelrecv", "-1e10", 1, [(0, 16383)]),
    ("wheelrecv2", "", 1, [(0, 127), (0, 127), (1, 16)]),
    ("wheelrecv2", "16", 1, [(0, 127), (0, 127)]),
]

# the host's own refusals: no method for a selector, a symbol at a number
# inlet, a symbol where a method takes a number
HOST_REFUSAL = re.compile(r"^error: (\w+: no method for '\w+'|inlet: expected '\w+' but got '\w+'"
                          r"|bad arguments for message '\w+' to object '\w+')$")


class BadInputTest(unittest.TestCase):
    def test_every_inlet(self):
        for cls, arg, inlets, ranges in CLASSES:
            with self.subTest(cls=cls, arg=arg):
                lines = ["x: %s %s" % (cls, arg)]
                lines += ["x:%d => o%d" % (k, k) for k in range(len(ranges))]
                for inlet in range(inlets):
                    for i, v in enumerate(BAD):
                        lines.append("@0 x:%d float %s" % (inlet, STREAM[i % len(STREAM)]))
                        lines.append("@0 x:%d float %s" % (inlet, v))
                    for m in MESSAGES:
                        lines.append("@0 x:%d %s" % (inlet, m))
                    # the stream again, so that any state the bad input left is exercised
                    lines += ["@0 x:%d float %s" % (inlet, v) for v in STREAM]
                    if cls not in ("keyrecv", "wheelrecv", "wheelrecv2"):
                        lines.append("@0 x bang")
                r = run("\n".join(lines), allow_errors=True)
                self.assertEqual([l for l in r.console if l and not HOST_REFUSAL.match(l)], [])
                self.assertEqual(r.stdout, "")
                for k, rng in enumerate(ranges):
                    for line in r["o%d" % k]:
                        values = line.split()[1:] if line.startswith("list") else [line]
                        for v in values:
                            if rng:
                                x = float(v)  # NaN and infinities fail the range test
                                self.assertTrue(rng[0] <= x <= rng[1] and x == int(x), (k, line))


if __name__ == "__main__":
    unittest.main()
