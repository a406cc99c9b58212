"""stdout in the host: the lines on the process's standard output, their
length limit, and the flush when the object is deleted."""
import os
import subprocess
import tempfile
import unittest

import bench
from bench import run


def lines(script):
    """The host's standard output, line by line, after a run of script."""
    return run(script).stdout.split("\n")


def send(*messages):
    """The lines printed by one [stdout] for messages sent in turn."""
    events = "\n".join("@0 s " + m for m in messages)
    return lines("""
        s: stdout
        %s
    """ % events)


class LineTest(unittest.TestCase):
    def test_selector_then_arguments_then_semicolon(self):
        self.assertEqual(send("bang", "float 1.5", "float =-0", "symbol abc", "symbol", "list 1 2",
                              "list", "foo", "set 3 bar =inf =nan"),
                         ["bang;", "float 1.5;", "float -0;", "symbol abc;", "symbol ;", "list 1 2;",
                          "list;", "foo;", "set 3 bar inf nan;", ""])

    def test_arguments_in_the_hosts_own_text(self):
        # the host's renderer escapes what its parser would read as special;
        # semicolon, comma and dollar atoms come through unquote
        out = lines("""
            u: unquote
            s: stdout
            u -> s
            @0 s foo =s:a;b =s:c,d
            @0 u symbol =s:foo%20;%20a,%20$1%20$2-x%201e-07
        """)
        self.assertEqual(out, ["foo a\\;b c\\,d;", "foo ; a , $1 $2-x 1e-07;", ""])


class LengthTest(unittest.TestCase):
    # A line holds at most 999 characters before the ";". These cases put the
    # end of the text at and around that length; in the sanitizer build they
    # also show that nothing is written past the line's buffer.
    def check(self, messages, want):
        self.assertEqual(send(*messages), want + [""])

    def test_long_selectors_and_arguments(self):
        # The host's parser keeps atoms up to 1000 characters. It renders an
        # argument into the room left (its NUL included) keeping a spare byte:
        # text that does not fit with that byte to spare is cut and marked, a
        # symbol with '*', a number by its sign.
        a = "a" * 1000
        b = "b" * 40
        self.check([
            a[:999], a, a[:999] + " 5 b", a + " xyz",
            a[:998] + " 1.5 foo",  # no room for a blank and a character
            a[:997] + " x",        # room for one character: marked, 999 in all
            a[:997] + " -12.5",    # a number that does not fit shows its sign
            a[:996] + " 12",       # room for two: not enough with the spare byte
            a[:995] + " 12",       # fits
            a[:990] + " " + b,     # cut to 7 characters and '*'
            a[:995] + " x y z",    # 995 + " x" + " *", and z has no room
            a[:996] + " x y",      # y has no room for its blank and a character
            "foo " + a[:990],      # one argument with most of the line as its room
            "foo " + a[:995],      # the same, cut
        ], [a[:999] + ";"] * 4 + [
            a[:998] + ";",
            a[:997] + " *;",
            a[:997] + " -;",
            a[:996] + " +;",
            a[:995] + " 12;",
            a[:990] + " " + b[:7] + "*;",
            a[:995] + " x *;",
            a[:996] + " x;",
            "foo " + a[:990] + ";",
            "foo " + a[:994] + "*;",
        ])

    def test_special_atoms_at_the_end_of_the_line(self):
        # a dollar atom, a semicolon and a symbol the host escapes, each with
        # room for a single character; built with list tosymbol, as symbols
        # this long do not fit a patch file's atom
        def codes(text):
            return " ".join(str(ord(c)) for c in text)
        sel = "s" * 997
        out = lines("""
            t: list tosymbol
            u: unquote
            s: stdout
            t -> u -> s
            @0 t list %s
            @0 t list %s
            @0 t list %s
            @0 t list %s
        """ % (codes(sel + " $1"), codes(sel + " ;"), codes(sel + " a\\;b"), codes(sel[:996] + " $12")))
        # the host writes a dollar atom whole, whatever the room: its text is
        # cut to the room and marked, never left to read as another dollar
        self.assertEqual(out, [sel + " *;", sel + " ;;", sel + " *;", sel[:996] + " $*;", ""])
        self.assertTrue(all(len(l) == 1000 for l in out[:-1]))
        # with room to spare it prints whole
        self.assertEqual(send("foo =s:x"), ["foo x;", ""])


def run_merged(script, blocks):
    """Runs a bench script with the host's stdout and stderr on one pipe, so
    that the order of the two streams' writes is kept, and returns the lines."""
    text = bench.build(script, blocks)
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "case.pd")
        with open(path, "w") as f:
            f.write(text)
        proc = bench.host_run(bench.patch_command(path), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              timeout=20, env=bench.host_env())
    out = proc.stdout.decode("utf-8", "replace")
    assert proc.returncode == 0 and not any(m in out for m in bench.SANITIZER_MARKS), out
    return out.splitlines()


class LineEndTest(unittest.TestCase):
    def test_line_end_of_the_system(self):
        # CR LF on Windows (what its console and a redirected file read as a
        # line end), LF elsewhere; never CR CR LF
        text = bench.build("s: stdout\n@0 s foo 1\n@0 s bar\n", 1)
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "case.pd")
            with open(path, "w") as f:
                f.write(text)
            proc = bench.host_run(bench.patch_command(path), capture_output=True, timeout=20,
                                  env=bench.host_env())
        end = bench.LINE_END.encode()
        self.assertEqual(proc.stdout, b"foo 1;" + end + b"bar;" + end)


class FlushTest(unittest.TestCase):
    def test_flushed_when_deleted_not_before(self):
        # [r in] -> [stdout] are made inside the subpatch "inner" by messages,
        # and deleted with "clear". The instrument's lines go to the
        # unbuffered stderr at once, so their place among the stdout lines
        # shows when the buffered stdout text was written: not after each
        # message, but when the object was deleted.
        out = run_merged("""
            sub: pd inner
            m: rec mark
            @0 pd-inner obj 10 10 r in
            @0 pd-inner obj 10 40 stdout
            @0 pd-inner connect 0 0 1 0
            @1 in hello 1
            @1 in list 2
            @1 m before
            @2 pd-inner clear
            @2 m after
        """, blocks=3)
        mine = [l for l in out if l.startswith("|mark:") or l.endswith(";")]
        if not bench.STDOUT_BUFFERED:
            # the lines are there, in order, by the time the object is gone
            self.assertEqual(mine[-1], "|mark: after")
            self.assertEqual([l for l in mine if l.endswith(";")], ["hello 1;", "list 2;"])
            self.skipTest("this C runtime writes stdout at every printf: when it is flushed cannot be seen")
        self.assertEqual(mine, ["|mark: before", "hello 1;", "list 2;", "|mark: after"])


if __name__ == "__main__":
    unittest.main()
