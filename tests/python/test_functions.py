"""Python functions called from rules, output, halting, threads, lifetime."""
import gc
import threading
import unittest
import weakref

import deducer
from deducer import Symbol


class FunctionsTest(unittest.TestCase):
    def setUp(self):
        self.engine = deducer.Engine()
        self.out = deducer.Output()
        self.engine.set_output(self.out)

    def test_a_rule_calls_a_python_function_with_converted_values(self):
        e = self.engine
        calls = []

        @e.function("price-of")
        def price_of(item, quantity, *extras):
            calls.append((item, quantity, extras))
            return {"bolts": 0.25, "nuts": 0.1}[item] * quantity + len(extras)

        e.load("""
          (defrule price (order ?item ?n $?rest)
            => (printout t ?item " " (price-of ?item ?n $?rest) crlf))""")
        e.reset()
        e.assert_ordered("order", Symbol("bolts"), 41, "rush", 2)
        self.assertEqual(e.run(), 1)
        self.assertEqual(self.out.text, "bolts 11.25\n")
        self.assertEqual(e.eval("(price-of nuts 5)"), 0.5)
        self.assertEqual(calls, [(Symbol("bolts"), 41, (["rush", 2],)), (Symbol("nuts"), 5, ())])
        self.assertIsInstance(calls[0][0], Symbol)
        # Returning None is no value; a decorator without a name takes the
        # function's own, "_" written "-".

        @e.function()
        def log_it(*values):
            calls.append(values)

        self.assertIsNone(e.eval('(log-it 1 "two")'))
        self.assertEqual(calls[-1], (1, "two"))

    def test_wrong_arguments_are_the_engines_error_before_the_call(self):
        e = self.engine
        calls = []
        e.add_function("two", lambda a, b=0: calls.append((a, b)))
        e.add_function("free", lambda *a: len(a), min_args=1)
        with self.assertRaisesRegex(deducer.Error, "Too few arguments for two"):
            e.eval("(two)")
        with self.assertRaisesRegex(deducer.Error, "Too many arguments for two"):
            e.eval("(two 1 2 3)")
        with self.assertRaisesRegex(deducer.Error, "Too few arguments for free"):
            e.eval("(free)")
        self.assertEqual(calls, [])
        e.eval("(two 1)")
        self.assertEqual(calls, [(1, 0)])
        self.assertEqual(e.eval("(free a b c)"), 3)
        with self.assertRaises(deducer.Error):
            e.add_function("two words", lambda: 1)
        with self.assertRaises(TypeError):
            e.add_function("kw", lambda *, must: 1)

    def test_an_exception_inside_fails_the_call_and_the_engine_goes_on(self):
        e = self.engine

        def check(n):
            if n > 10:
                raise ValueError(f"too many: {n}")
            return n

        e.add_function("check", check)
        e.add_function("unconvertible", lambda: object())
        e.load("""
          (defrule checked (count ?n) => (printout t "ok " (check ?n) crlf))""")
        e.reset()
        e.assert_ordered("count", 5)
        e.assert_ordered("count", 50)
        with self.assertRaises(deducer.Error) as caught:
            e.run()
        self.assertIn("ValueError: too many: 50", caught.exception.message)
        self.assertIsInstance(caught.exception.__cause__, ValueError)
        # The rest of the agenda is still there.
        self.assertEqual(e.run(), 1)
        self.assertEqual(self.out.text, "ok 5\n")
        # The language catches it like any function's error.
        self.assertIn("too many: 99", str(e.eval("(try (check 99) catch ?__ERROR)")))
        # A result with no engine form fails the call the same way.
        with self.assertRaisesRegex(deducer.Error, "TypeError") as caught:
            e.eval("(unconvertible)")
        self.assertIsInstance(caught.exception.__cause__, TypeError)
        self.assertEqual(e.eval("(check 3)"), 3)

    def test_a_python_function_halts_the_run(self):
        e = self.engine
        fired = []

        def step(n):
            fired.append(n)
            if n == 3:
                e.halt()
            return n + 1

        e.add_function("step", step)
        e.load("(defrule loop ?f <- (n ?n) => (retract ?f) (assert (n (step ?n))))")
        e.reset()
        e.assert_ordered("n", 0)
        self.assertEqual(e.run(), 4)
        self.assertEqual(fired, [0, 1, 2, 3])
        # A later run is not affected.
        self.assertEqual(e.run(2), 2)

    def test_functions_may_call_the_engine_again(self):
        e = self.engine
        e.load("(deftemplate seen (slot what))")

        def note(what):
            e.assert_fact("seen", what=what)
            return len(e.facts("seen"))

        e.add_function("note", note)
        e.load("(defrule noted (thing ?x) => (printout t (note ?x) crlf))")
        e.reset()
        e.assert_ordered("thing", Symbol("a"))
        e.assert_ordered("thing", Symbol("b"))
        self.assertEqual(e.run(), 2)
        self.assertEqual(self.out.text, "1\n2\n")
        # An engine error inside, not caught, fails the outer call with it.
        e.add_function("inner", lambda: e.eval("(+ 1 zz)"))
        with self.assertRaises(deducer.Error) as caught:
            e.eval("(inner)")
        self.assertIsInstance(caught.exception.__cause__, deducer.Error)

    def test_a_function_replacing_itself_finishes_its_call(self):
        e = self.engine

        def first():
            e.add_function("f", lambda: 2)
            return 1

        e.add_function("f", first)
        del first
        self.assertEqual(e.eval("(f)"), 1)
        self.assertEqual(e.eval("(f)"), 2)

    def test_output_is_captured_and_its_callback_errors_are_raised(self):
        e = self.engine
        e.eval('(printout t "one" crlf)')
        e.eval('(printout audit "kept" crlf)')
        self.assertEqual(self.out.parts, [("t", "one\n"), ("audit", "kept\n")])
        self.assertEqual(self.out.channel("audit"), "kept\n")
        with e.capture() as captured:
            e.eval('(printout t "inside" crlf)')
        self.assertEqual(captured.text, "inside\n")
        e.eval('(printout t "after" crlf)')
        self.assertEqual(self.out.text, "one\nkept\nafter\n")
        self.assertIs(e.output, self.out)

        def broken(channel, text):
            raise RuntimeError("disk full")

        e.set_output(broken)
        with self.assertRaisesRegex(RuntimeError, "disk full"):
            e.eval('(printout t "lost" crlf)')
        # The engine finished the call and goes on.
        self.assertEqual(e.eval("(+ 1 1)"), 2)
        with self.assertRaises(TypeError):
            e.set_output(42)

    def test_default_output_is_sys_stdout(self):
        import contextlib
        import io
        e = deducer.Engine()
        buffer = io.StringIO()
        with contextlib.redirect_stdout(buffer):
            e.eval('(printout t "hello" crlf)')
        self.assertEqual(buffer.getvalue(), "hello\n")

    def test_halt_from_another_thread_stops_a_run(self):
        e = self.engine
        started = threading.Event()
        e.add_function("tick", lambda: started.set())
        e.load("(defrule forever ?f <- (tick ?n) => (tick) (retract ?f) (assert (tick (+ ?n 1))))")
        e.reset()
        e.assert_ordered("tick", 0)

        def stopper():
            started.wait()
            e.halt()

        thread = threading.Thread(target=stopper)
        thread.start()
        fired = e.run()  # returns only if halt() reached it while it ran
        thread.join()
        self.assertGreaterEqual(fired, 1)

    def test_threads_sharing_an_engine_take_turns(self):
        e = self.engine
        e.load("(deftemplate item (slot thread) (slot n))")
        e.add_function("twice", lambda n: 2 * n)
        errors = []

        def work(t):
            try:
                for n in range(100):
                    f = e.assert_fact("item", thread=t, n=n)
                    self.assertEqual(e.eval(f"(twice {n})"), 2 * n)
                    self.assertEqual(f["n"], n)
            except Exception as error:  # reported below
                errors.append(error)

        threads = [threading.Thread(target=work, args=(t,)) for t in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(errors, [])
        self.assertEqual(len(e.facts("item")), 400)

    def test_an_engine_in_a_cycle_with_its_functions_is_collected(self):
        e = deducer.Engine()
        e.add_function("me", lambda: e.eval("1"))
        e.set_output(lambda channel, text: e)
        self.assertEqual(e.eval("(me)"), 1)
        ref = weakref.ref(e)
        del e
        gc.collect()
        self.assertIsNone(ref())


if __name__ == "__main__":
    unittest.main()
