"""unquote in the host: parsing a symbol's text back into a message."""
import unittest

from bench import fmt, run


def sym(text):
    """A drive argument that arrives as the symbol `text`."""
    return "=s:" + "".join(c if c.isalnum() or c in "-_.$" else "%%%02x" % ord(c) for c in text)


def unquote(*symbols):
    """What one [unquote] sends for each symbol in turn."""
    events = "\n".join("@0 u symbol %s" % sym(s) for s in symbols)
    return run("u: unquote\nu => o\n" + events)["o"]


class UnquoteTest(unittest.TestCase):
    def test_first_atom_decides_the_output(self):
        self.assertEqual(unquote("440", "1 2 3", "set 5", "1 foo", "-0", "1e40"),
                         ["440", "list 1 2 3", "set 5", "list 1 foo", "-0", fmt(1e40)])

    def test_blanks_tabs_newlines(self):
        self.assertEqual(unquote("\t\n \r\t7", "\n\nfoo\tbar\n 3\r", "1\t2\n3", "", " ", "\t\n\r  "),
                         ["7", "foo bar 3", "list 1 2 3"])

    def test_semicolons_commas_dollars(self):
        # text that starts with one of them sends nothing; after the first
        # atom they pass on as the parser made them; escaped, they are
        # characters of a symbol
        self.assertEqual(unquote(";", "; set 5", ",", "$1", "$1-foo", "set 5; foo $1, $2-x", "1 ; 2",
                                 "a\\;b \\$1"),
                         ["set 5 ; foo $1 , $2-x", "list 1 ; 2", "a;b $1"])

    def test_other_messages(self):
        # floats and lists, the empty one included, are ignored without a word
        # from the host (run() fails on host errors); another selector's name
        # alone is parsed; a symbol message without argument is the empty symbol
        r = run("""
            u: unquote
            u => o
            @0 u bang
            @0 u float 3
            @0 u list 1 2
            @0 u list
            @0 u foo bar baz
            @0 u symbol
        """)
        self.assertEqual(r["o"], ["bang", "foo"])

    def test_reentry_does_not_disturb_the_message_being_sent(self):
        # "1\ 2 foo 3" parses to the selector "1 2" (an escaped blank) with the
        # arguments foo and 3. The loop back (the first connection made is
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
