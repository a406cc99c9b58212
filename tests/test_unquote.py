"""unquote in the host: parsing a symbol's text back into a message."""
import unittest

from bench import run


def sym(text):
    """A drive argument that arrives as the symbol `text` (blanks, tabs and
    the characters the patch format would eat are %XX escaped)."""
    return "=s:" + "".join(c if c.isalnum() or c in "-_.$" else "%%%02x" % ord(c) for c in text)


def unquote(*symbols, **kw):
    """What one [unquote] sends for each symbol in turn."""
    events = "\n".join("@0 u symbol %s" % sym(s) for s in symbols)
    r = run("""
        u: unquote
        u => o
        %s
    """ % events, **kw)
    return r["o"]


class ParseTest(unittest.TestCase):
    def test_first_atom_decides_the_output(self):
        self.assertEqual(unquote("440"), ["440"])
        self.assertEqual(unquote("1 2 3"), ["list 1 2 3"])
        self.assertEqual(unquote("set 5"), ["set 5"])
        self.assertEqual(unquote("1 foo"), ["list 1 foo"])
        self.assertEqual(unquote("-0"), ["-0"])
        self.assertEqual(unquote("1e40"), ["inf"])  # the host's parser reads it as a float

    def test_blanks_tabs_newlines(self):
        self.assertEqual(unquote("\t\n \r\t7"), ["7"])
        self.assertEqual(unquote("\n\nfoo\tbar\n 3\r"), ["foo bar 3"])
        self.assertEqual(unquote("1\t2\n3"), ["list 1 2 3"])

    def test_nothing_from_empty_or_blank_text(self):
        self.assertEqual(unquote("", " ", "\t\n\r  "), [])

    def test_semicolons_commas_dollars(self):
        # text that starts with one of them sends nothing
        self.assertEqual(unquote(";", "; set 5", ",", ", 1", "$1", "$1-foo"), [])
        # after the first atom they pass on as the parser made them
        self.assertEqual(unquote("set 5; foo $1, $2-x"), ["set 5 ; foo $1 , $2-x"])
        self.assertEqual(unquote("1 ; 2"), ["list 1 ; 2"])
        # escaped, they are plain characters of a symbol
        self.assertEqual(unquote("a\\;b \\$1"), ["a;b $1"])

    def test_each_symbol_parsed_on_its_own(self):
        self.assertEqual(unquote("foo 1", "2", " bar"), ["foo 1", "2", "bar"])


class MessageTest(unittest.TestCase):
    def test_bang_float_list_anything(self):
        r = run("""
            u: unquote
            u => o
            @0 u bang
            @0 u float 3
            @0 u list 1 2
            @0 u list
            @0 u list =s:foo
            @0 u foo bar baz
            @0 u symbol
        """)
        # floats and lists are ignored without a word from the host (run()
        # fails on host errors), the empty list included; the selector alone
        # is parsed; a symbol message without argument is the empty symbol
        self.assertEqual(r["o"], ["bang", "foo"])

    def test_reentry_does_not_disturb_the_message_being_sent(self):
        # "1\\ 2 foo 3" parses to the selector "1 2" (an escaped blank) with
        # the arguments foo and 3. The loop back (the first connection made is
        # served first) parses that selector again, into the list 1 2, which
        # unquote ignores. Only then does the recorder read the outer
        # message's atoms, which must still be intact.
        r = run("""
            u: unquote
            u -> u
            u => o
            @0 u symbol =s:1%5c%202%20foo%203
        """)
        self.assertEqual(r["o"], ["list 1 2", "1 2 foo 3"])


if __name__ == "__main__":
    unittest.main()
