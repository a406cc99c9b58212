"""Volley in the host: bursts, counts, pause and resume from downstream,
re-entry, feedback wires, and loading under its other names."""
import os
import re
import tempfile
import unittest

from bench import TESSEL_DIR, SignalCase, build, host_unwinds_after_overflow, run, run_patch

RECORD = """
    v:0 => o1
    v:1 => o2
    v:2 => o3
"""


def burst(*indices, done=True):
    """The lines of one burst: index then bang per iteration, then the done bang."""
    out = []
    for i in indices:
        out += ["o3: %d" % i, "o1: bang"]
    return out + (["o2: bang"] if done else [])


def messages(body):
    """Turns 'm: msg TEXT' boxes into [list prepend TEXT] -> [list trim], so
    that a bang into m sends the message TEXT out of m."""
    lines = []
    boxes = set()
    for line in body.splitlines():
        m = re.match(r"^\s*(\w+): msg (.+)$", line)
        if m:
            boxes.add(m.group(1))
            lines += ["%s: list prepend %s" % m.groups(), "%s_t: list trim" % m.group(1),
                      "%s -> %s_t" % (m.group(1), m.group(1))]
            continue
        m = re.match(r"^\s*(\w+)(:\d+)? -> (.+)$", line)
        if m and m.group(1) in boxes:
            line = "%s_t%s -> %s" % (m.group(1), m.group(2) or "", m.group(3))
        lines.append(line)
    return "\n".join(lines)


def volley(body, record=True, **kw):
    r = run(messages(body) + (RECORD if record else ""), dsp=False, **kw)
    return r, r.seq("o1", "o2", "o3")


class CountTest(unittest.TestCase):
    def test_default_and_repeated_bursts(self):
        _, seq = volley("""
            v: Volley
            @0 v bang
            @1 v float 3.9
            @2 v bang
        """, blocks=3)
        self.assertEqual(seq, burst(1) + burst(1, 2, 3) + burst(1, 2, 3))

    def test_counts_of_zero_below_and_undefined_give_only_done(self):
        _, seq = volley("""
            v: Volley 5
            @0 v float 0
            @0 v float -2.5
            @0 v float =nan
            @0 v float =-inf
            @0 v float =-0
            @1 v:1 float 0
            @1 v bang
        """, blocks=2)
        self.assertEqual(seq, ["o2: bang"] * 6)

    def test_creation_argument_is_clamped_to_one(self):
        for arg, n in (("0.5", 1), ("-4", 1), ("1", 1), ("1.5", 1), ("2.99", 2), ("", 1)):
            with self.subTest(arg=arg):
                _, seq = volley("v: Volley %s\n@0 v bang" % arg)
                self.assertEqual(seq, burst(*range(1, n + 1)))
        # a NaN argument (only a message can make such an object) gives 1
        r = run("""
            @0 pd-case.pd obj 10 200 pd sub
            @0 pd-sub obj 10 10 r go
            @0 pd-sub obj 10 40 Volley =nan
            @0 pd-sub obj 10 70 rec o3
            @0 pd-sub connect 0 0 1 0
            @0 pd-sub connect 1 2 2 0
            @1 go bang
        """, dsp=False, blocks=2)
        self.assertEqual(r["o3"], ["1"])

    def test_inlet_two_does_not_touch_a_running_burst(self):
        # the index outlet raises the count to 5 during a burst of 2
        _, seq = volley("""
            v: Volley 2
            s: sel 1
            m: msg 5
            v:2 -> s
            s -> m
            m -> v:1
            @0 v bang
            @1 v bang
        """, blocks=2)
        self.assertEqual(seq, burst(1, 2) + burst(1, 2, 3, 4, 5))


class PauseTest(unittest.TestCase):
    PAUSE_AT_2 = """
        v: Volley 5
        s: sel 2
        m: msg pause
        v:2 -> s
        s -> m
        m -> v
    """

    def test_pause_from_downstream_then_resume(self):
        _, seq = volley(self.PAUSE_AT_2 + """
            @0 v bang
            @1 v resume
            @2 v continue
        """, blocks=3)
        # the iteration whose index paused still sends its bang; no done bang
        self.assertEqual(seq, burst(1, 2, done=False) + burst(3, 4, 5))

    def test_count_changed_while_paused(self):
        for count, tail in (("7", burst(3, 4, 5, 6, 7)), ("1", ["o2: bang"])):
            with self.subTest(count=count):
                _, seq = volley(self.PAUSE_AT_2 + """
                    @0 v bang
                    @1 v:1 float %s
                    @1 v resume
                    @2 v resume
                """ % count, blocks=3)
                self.assertEqual(seq, burst(1, 2, done=False) + tail)

    def test_break_from_outlet_one(self):
        # a counter on outlet 1 breaks at the third bang
        _, seq = volley("""
            v: Volley 6
            c: f
            p: + 1
            s: sel 3
            m: msg break
            v -> c
            c -> p
            p -> c:1
            p -> s
            s -> m
            m -> v
            @0 v bang
            @1 v resume
        """, blocks=2)
        self.assertEqual(seq, burst(1, 2, 3, done=False) + burst(4, 5, 6))

    def test_pause_while_idle(self):
        _, seq = volley("""
            v: Volley 4
            @0 v resume
            @0 v pause
            @0 v pause
            @0 v resume
            @1 v break
            @1 v:1 float 6
            @1 v resume
            @2 v resume
        """, blocks=3)
        self.assertEqual(seq, ["o2: bang"] + burst(5, 6))

    def test_pause_while_idle_with_an_undefined_count(self):
        # a NaN count is 0 iterations: the position stored is 0, so a
        # resume after a count of 3 runs 1 to 3
        _, seq = volley("""
            v: Volley 4
            @0 v:1 float =nan
            @0 v pause
            @0 v:1 float 3
            @0 v resume
        """)
        self.assertEqual(seq, burst(1, 2, 3))

    def test_bang_while_paused_starts_afresh(self):
        _, seq = volley("""
            v: Volley 3
            s: sel 1
            m: msg pause
            v:2 -> s
            s -> m
            m -> v
            @0 v bang
            @1 v:1 float 2
            @1 v bang
            @2 v resume
        """, blocks=3)
        # every burst pauses at index 1; a bang discards the paused position
        self.assertEqual(seq, burst(1, done=False) * 2 + burst(2))
        # a burst that no longer reaches the pause runs to its done bang
        _, seq = volley(self.PAUSE_AT_2 + """
            @0 v bang
            @1 v:1 float 1
            @1 v bang
        """, blocks=2)
        self.assertEqual(seq, burst(1, 2, done=False) + burst(1))

    def test_huge_counts_stop_at_two_to_the_24(self):
        # pausing while idle stores the count, limited; resuming from there
        # must neither wrap round nor run on
        _, seq = volley("""
            v: Volley
            @0 v:1 float =inf
            @0 v pause
            @0 v resume
            @1 v:1 float 3e9
            @1 v pause
            @1 v:1 float 16777217
            @1 v resume
            @2 v resume
        """, blocks=3)
        self.assertEqual(seq, ["o2: bang"] * 2)

    def test_a_huge_burst_ends_at_the_last_exact_index(self):
        # [f] keeps the last index; the done bang reads it out
        r = run("""
            v: Volley
            f: f
            v:2 -> f:1
            v:1 -> f
            f => last
            @0 v float 1e30
        """, dsp=False, timeout=60)
        self.assertEqual(r["last"], ["16777216"])


class ReentryTest(SignalCase):
    def test_bang_during_a_burst_runs_an_inner_burst(self):
        # a counter on outlet 1 bangs the Volley again at the second bang;
        # the recorders are wired first so that they print before the re-entry
        _, seq = volley("""
            v: Volley 3
            v:0 => o1
            v:1 => o2
            v:2 => o3
            c: f
            p: + 1
            s: sel 2
            v -> c
            c -> p
            p -> c:1
            p -> s
            s -> v
            @0 v bang
        """, record=False)
        self.assertEqual(seq, burst(1, 2, done=False) + burst(1, 2, 3) + burst(3))

    def test_pause_inside_an_inner_burst_stops_the_outer_one(self):
        _, seq = volley("""
            v: Volley 3
            v:0 => o1
            v:1 => o2
            v:2 => o3
            c: f
            p: + 1
            s: sel 2 4
            m: msg pause
            v -> c
            c -> p
            p -> c:1
            p -> s
            s:0 -> v
            s:1 -> m
            m -> v
            @0 v bang
            @1 v resume
        """, record=False, blocks=2)
        # bang 2 starts the inner burst, whose second bang (4th overall)
        # pauses: both loops stop; resume carries on from the outer index 2
        self.assertEqual(seq, burst(1, 2, done=False) + burst(1, 2, done=False) + burst(3))

    def test_pause_during_the_done_bang_is_undone(self):
        _, seq = volley("""
            v: Volley 2
            m: msg pause
            v:1 -> m
            m -> v
            @0 v bang
            @1 v resume
        """, blocks=2)
        self.assertEqual(seq, burst(1, 2))

    def test_resume_during_the_done_bang_is_ignored(self):
        _, seq = volley("""
            v: Volley 3
            s: sel 1
            p: msg pause
            m: msg resume
            v:2 -> s
            s -> p
            p -> v
            v:1 -> m
            m -> v
            @0 v bang
            @1 v:1 float 0
            @1 v resume
        """, blocks=2)
        self.assertEqual(seq, burst(1, done=False) + ["o2: bang"])

    def test_feedback_wires_end_in_the_host_stack_error(self):
        # outlet 1, 2 or 3 wired straight into inlet 1: the host refuses the
        # nested call at its depth limit; the run must end, and afterwards
        # the object is idle (a resume does nothing)
        for outlet in (0, 1, 2):
            for count in (1, 3):
                with self.subTest(outlet=outlet, count=count):
                    r = run("""
                        v: Volley %d
                        v:2 => o3
                        v:%d -> v
                        @0 v bang
                        @1 v resume
                    """ % (count, outlet), dsp=False, blocks=2, allow_errors=True, timeout=30)
                    self.assertIn("error: stack overflow", r.console)
                    self.assertEqual(set(r.console) - {"error: stack overflow"}, set())
                    self.assertLess(len(r["o3"]), 5000)


    def test_after_a_refused_feedback_the_object_is_whole_again(self):
        # levels re-enter until the host refuses one; the wire is then cut
        # and a fresh burst must run complete, whatever the chain left behind;
        # the same again after the wire is made anew and refused once more
        # (the recorders are wired first, so they print before the re-entry)
        for outlet in (0, 1, 2):
            for count in (1, 3):
                with self.subTest(outlet=outlet, count=count):
                    script = "v: Volley %d\n%s\nv:%d -> v\n" % (count, RECORD, outlet) + """
                        @0 v bang
                        @1 pd-case.pd disconnect 0 %(k)d 0 0
                        @1 v resume
                        @1 v pause
                        @1 v resume
                        @1 v bang
                        @2 pd-case.pd connect 0 %(k)d 0 0
                        @2 v bang
                        @3 pd-case.pd disconnect 0 %(k)d 0 0
                        @3 v bang
                    """ % {"k": outlet}
                    r, seq = volley(script, record=False, blocks=4, allow_errors=True, timeout=60)
                    self.assertEqual(set(r.console), {"error: stack overflow"})
                    # two whole bursts hold an index 1 each
                    levels = (seq.count("o3: 1") - 2) // 2
                    self.assertGreater(levels, 100)
                    whole = burst(*range(1, count + 1))
                    unwinds = host_unwinds_after_overflow()
                    chain = {
                        # the bang of every level goes out first; the deepest is refused
                        0: ["o3: 1", "o1: bang"] * levels,
                        # every level's burst ends; its done bang starts the next
                        1: whole * levels,
                        # the index 1 sets the count to 1 and starts the next level;
                        # each level's bang goes out as it returns, where the
                        # host passes messages while the refused chain unwinds
                        2: ["o3: 1"] * levels + ["o1: bang"] * (levels if unwinds else 0),
                    }[outlet]
                    # idle afterwards: resume does nothing, pause then resume
                    # gives the done bang alone; a bang runs a whole burst (a
                    # fed-back index has set the count to 1), at once after
                    # the second chain too
                    after = burst(1) if outlet == 2 else whole
                    self.assertSame(seq, chain + ["o2: bang"] + after + chain + after)

    def test_a_pause_while_a_refused_chain_unwinds(self):
        # the index goes straight back in, then to a pause: the deepest
        # re-entry is refused and each level pauses as it unwinds; with the
        # wire cut and a count of 2, resume must finish the outermost burst
        r, seq = volley("v: Volley 2\n" + RECORD + """
            s: sel 1
            m: msg pause
            v:2 -> v
            v:2 -> s
            s -> m
            m -> v
            @0 v bang
            @1 pd-case.pd disconnect 0 2 0 0
            @1 v:1 float 2
            @1 v resume
        """, record=False, blocks=2, allow_errors=True, timeout=30)
        self.assertEqual(set(r.console), {"error: stack overflow"})
        if host_unwinds_after_overflow():
            self.assertNotIn("o2: bang", seq[:-1])
            self.assertSame(seq[-3:], burst(2))
        else:
            # no pause reaches the object while the chain unwinds: every
            # level stops without its done bang, the object ends idle and
            # resume does nothing
            self.assertGreater(len(seq), 100)
            self.assertEqual(set(seq), {"o3: 1"})

    def test_a_refused_chain_inside_the_done_bang(self):
        # a burst of 0 sends only its done bang, which sets the count to 1
        # and starts the chain of the direct wire inside it; after the
        # chain, and the wire cut, the object must be idle: pause stores the
        # count, resume sends only the done bang, a bang runs a whole burst
        r, seq = volley("v: Volley\n" + RECORD + """
            m: msg 1
            v:0 -> v
            v:1 -> m
            m -> v
            @0 v float 0
            @1 pd-case.pd disconnect 0 0 0 0
            @1 v pause
            @1 v resume
            @1 v bang
        """, record=False, blocks=2, allow_errors=True, timeout=30)
        self.assertEqual(set(r.console), {"error: stack overflow"})
        self.assertGreater(len(seq), 200)
        self.assertSame(seq[-4:], ["o2: bang"] + burst(1))

    def test_a_direct_wire_whose_re_entry_ends_is_no_refusal(self):
        # the index sets the count to 0 before the bang re-enters, so each
        # inner burst is only its done bang: the outer one runs on
        _, seq = volley("v: Volley 3\n" + RECORD + """
            z: * 0
            v:2 -> z
            z -> v:1
            v:0 -> v
            @0 v bang
        """, record=False)
        self.assertSame(seq, ["o3: 1", "o1: bang", "o2: bang", "o3: 2", "o1: bang", "o2: bang",
                              "o3: 3", "o1: bang", "o2: bang", "o2: bang"])

    def test_a_wire_into_inlet_two_is_no_feedback(self):
        # the index sets the count of the next burst; this burst runs on
        _, seq = volley("""
            v: Volley 3
            v:2 -> v:1
            @0 v bang
            @0 v bang
            @1 v:1 float 2
            @1 v bang
        """, blocks=2)
        self.assertEqual(seq, burst(1, 2, 3) * 2 + burst(1, 2))


class NamesTest(unittest.TestCase):
    """Volley, Peak and Trough under their lower-case and prefixed names."""

    def test_help_names(self):
        r = run("""
            h: helpname help
            a: volley
            b: tessel/volley
            c: peak
            d: tessel/peak
            e: trough
            f: tessel/trough
            h -> a
            h -> b
            h -> c
            h -> d
            h -> e
            h -> f
            @0 h bang
        """, dsp=False)
        self.assertEqual(r["help"], ["Volley", "Volley", "Peak", "Peak", "Trough", "Trough"])

    def test_loading_under_lower_case_names(self):
        # only the folder above tessel/ on the path: the prefixed names load
        # first; tessel/ itself on the path: the lower-case names load first;
        # each module then makes the other names of its class too
        parent = os.path.dirname(os.path.abspath(TESSEL_DIR))
        cases = [
            ([parent], "tessel/volley 2", "tessel/peak", "tessel/trough", "volley", "peak", "Trough"),
            ([TESSEL_DIR], "volley 2", "peak", "trough", "tessel/volley", "tessel/peak", "tessel/trough"),
        ]
        for dirs, *boxes in cases:
            with self.subTest(first=boxes[:3]):
                text = build("""
                    a: %s
                    b: %s
                    c: %s
                    d: %s
                    e: %s
                    f: %s
                    a:2 => o
                    b => o
                    c => o
                    d:2 => o
                    e => o
                    f => o
                    @0 a bang
                    @0 b float 5
                    @0 c float 6
                    @0 d bang
                    @0 e float 7
                    @0 f float 8
                """ % tuple(boxes), blocks=1, dsp=False)
                with tempfile.TemporaryDirectory() as d:
                    path = os.path.join(d, "case.pd")
                    with open(path, "w") as f:
                        f.write(text)
                    r = run_patch(path, path_dirs=dirs, patch_text=text)
                self.assertEqual(r["o"], ["1", "2", "5", "6", "1", "7", "8"])


if __name__ == "__main__":
    unittest.main()
