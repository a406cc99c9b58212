"""singleshot and next in the host: arming, creation arguments, re-entry
during the output, feedback wires, and first-of-instant sorting."""
import unittest

from bench import run


def shots(arg, events, extra="", blocks=1, allow_errors=False):
    r = run("""
        x: singleshot %s
        x => o
        %s
        %s
    """ % (arg, extra, events), dsp=False, blocks=blocks, allow_errors=allow_errors)
    return r


class SingleshotTest(unittest.TestCase):
    def test_arming_lets_exactly_one_bang_through(self):
        r = shots("", """
            @0 x bang
            @1 x:1 bang
            @1 x:1 bang
            @1 x bang
            @1 x bang
            @2 x bang1
            @2 x bang
            @2 x bang
        """, blocks=3)
        self.assertEqual(r["o"], ["bang", "bang"])

    def test_creation_argument_truncates_toward_zero(self):
        for arg, passes in (("1", 1), ("-3", 1), ("2.5", 1), ("1e30", 1), ("-1e30", 1),
                            ("0.9", 0), ("-0.9", 0), ("0", 0), ("", 0)):
            with self.subTest(arg=arg):
                r = shots(arg, "@0 x bang\n@0 x bang")
                self.assertEqual(r["o"], ["bang"] * passes)

    def test_nan_argument_starts_closed(self):
        # a box cannot hold a NaN; an object made by a message can
        r = run("""
            @0 pd-case.pd obj 10 200 pd sub
            @0 pd-sub obj 10 10 r go
            @0 pd-sub obj 10 40 singleshot =nan
            @0 pd-sub obj 10 70 rec o
            @0 pd-sub connect 0 0 1 0
            @0 pd-sub connect 1 0 2 0
            @1 go bang
            @2 go bang
        """, dsp=False, blocks=3)
        self.assertEqual(r["o"], [])

    def test_bang_re_entering_during_the_output_passes_too(self):
        # a counter on the outlet sends one bang back at the first output
        r = shots("1", """
            @0 x bang
            @1 x bang
        """, extra="""
            c: f
            p: + 1
            s: sel 1
            x -> c
            c -> p
            p -> c:1
            p -> s
            s -> x
        """, blocks=2)
        self.assertEqual(r["o"], ["bang", "bang"])

    def test_arming_during_the_output_is_cancelled(self):
        r = shots("1", """
            @0 x bang
            @1 x bang
        """, extra="""
            t: t b
            x -> t
            t -> x:1
        """, blocks=2)
        self.assertEqual(r["o"], ["bang"])

    def test_feedback_wire_ends_in_the_host_stack_error(self):
        r = shots("1", """
            @0 x bang
            @1 x bang
        """, extra="x -> x", blocks=2, allow_errors=True)
        self.assertIn("error: stack overflow", r.console)
        self.assertEqual(set(r.console), {"error: stack overflow"})
        # every nested call passed until the host refused (at its nesting
        # depth of 1000), then the gate closed: the second bang passes nothing
        self.assertGreater(len(r["o"]), 100)
        self.assertLess(len(r["o"]), 1000)

def nexts(events, extra="", blocks=3):
    r = run("""
        x: next
        x:0 => first
        x:1 => again
        %s
        %s
    """ % (extra, events), dsp=False, blocks=blocks)
    return r.seq("first", "again")


class NextTest(unittest.TestCase):
    def test_first_of_each_instant(self):
        # @0 is the instant the patch was made in: already seen
        self.assertEqual(nexts("""
            @0 x bang
            @1 x float 1
            @1 x symbol a
            @1 x list 1 2
            @1 x foo bar 3
            @2 x list
        """), ["again: bang", "first: bang", "again: bang", "again: bang", "again: bang", "first: bang"])

    def test_made_later_its_instant_of_creation_counts_as_seen(self):
        # an object made at block 2 (the logical time is no longer 0) sends
        # a message of that same instant to outlet 2, one of the next to 1
        r = run("""
            @2 pd-case.pd obj 10 200 pd sub
            @2 pd-sub obj 10 10 r go
            @2 pd-sub obj 10 40 next
            @2 pd-sub obj 10 70 rec first
            @2 pd-sub obj 150 70 rec again
            @2 pd-sub connect 0 0 1 0
            @2 pd-sub connect 1 0 2 0
            @2 pd-sub connect 1 1 3 0
            @2 go bang
            @3 go bang
        """, dsp=False, blocks=4)
        self.assertEqual(r.seq("first", "again"), ["again: bang", "first: bang"])

    def test_message_coming_back_during_the_first_bang(self):
        self.assertEqual(nexts("""
            @1 x bang
            @2 x float 5
        """, extra="""
            t: t b
            x:0 -> t
            t -> x
        """), ["first: bang", "again: bang", "first: bang", "again: bang"])


if __name__ == "__main__":
    unittest.main()
