"""forward in the host: every kind of message passed unchanged, re-targeting
with "send", and receivers found anew for every message."""
import unittest

from bench import run


def forward(arg, events, extra="", blocks=3, allow_errors=False):
    return run("""
        x: forward %s
        a: r foo
        b: r bar
        a => foo
        b => bar
        %s
        %s
    """ % (arg, extra, events), dsp=False, blocks=blocks, allow_errors=allow_errors)


class ForwardTest(unittest.TestCase):
    def test_every_kind_of_message_arrives_unchanged(self):
        r = forward("foo", """
            @0 x bang
            @0 x float -2.5
            @0 x symbol a
            @0 x list 1 2
            @0 x list 1 b
            @0 x list a 2
            @0 x list
            @0 x hello 1 b =-inf
            @0 x set 3
        """)
        self.assertEqual(r["foo"], ["bang", "-2.5", "symbol a", "list 1 2", "list 1 b", "list a 2", "list",
                                    "hello 1 b -inf", "set 3"])
        self.assertEqual(r["bar"], [])

    def test_pointers_arrive(self):
        # a scalar of a template in the patch: [pointer] sends a pointer to
        # it, the forward passes it on as a pointer (not as a list holding
        # one, which a receiver with a method for lists would take apart as
        # such), [get] reads the field through it
        r = run("""
            t: struct fwd1 float x
            p: pointer
            x: forward fwdp
            a: r fwdp
            g: get fwd1 x
            p -> x
            a -> g
            g => got
            a => sent
            @0 pd-case.pd scalar fwd1 5
            @1 p traverse pd-case.pd
            @1 p next
        """, dsp=False, blocks=2)
        self.assertEqual(r["got"], ["5"])
        self.assertEqual(r["sent"], ["pointer (pointer)"])

    def test_send_changes_the_target(self):
        r = forward("foo", """
            @0 x float 1
            @1 x send bar
            @1 x list 1 2
            @2 x send
            @2 x float 3
            @2 x send foo
            @2 x float 4
        """)
        # a "send" without a name targets the empty name: nothing there
        self.assertEqual(r.seq("foo", "bar"), ["foo: 1", "bar: list 1 2", "foo: 4"])

    def test_without_argument_everything_is_dropped(self):
        r = forward("", """
            @0 x bang
            @0 x 1 2
            @0 x list 1 2
            @1 x send foo
            @1 x bang
        """)
        self.assertEqual(r.seq("foo", "bar"), ["foo: bang"])

    def test_the_binding_is_read_for_every_message(self):
        # a receiver of foo2 is made in a new subpatch after the forward,
        # then goes away when the subpatch is cleared
        r = forward("foo2", """
            @0 x float 1
            @1 pd-case.pd obj 10 200 pd sub
            @1 pd-sub obj 10 10 r foo2
            @1 pd-sub obj 10 40 rec got
            @1 pd-sub connect 0 0 1 0
            @1 x float 2
            @2 pd-sub clear
            @2 x float 3
        """)
        self.assertEqual(r["got"], ["2"])

    def test_every_receiver_of_the_name_gets_it(self):
        r = forward("foo", "@0 x float 7", extra="""
            c: r foo
            c => foo
        """)
        self.assertEqual(r["foo"], ["7", "7"])


if __name__ == "__main__":
    unittest.main()
