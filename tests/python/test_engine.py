"""The engine from Python: asserting, modifying, running, reading facts,
errors, facts as JSON."""
import os
import tempfile
import unittest

import deducer
from deducer import Symbol

ORDERS = """
(deftemplate order
  (slot customer (type STRING))
  (slot cents (type INTEGER))
  (slot state (default new))
  (multislot tags))

(defrule report
  (order (customer ?c) (state ?s&~new))
  =>
  (printout t ?c " " ?s crlf))
"""


class EngineTest(unittest.TestCase):
    def setUp(self):
        self.engine = deducer.Engine()
        self.out = deducer.Output()
        self.engine.set_output(self.out)
        self.engine.load(ORDERS)
        self.engine.reset()

    def test_asserts_from_text_values_and_ordered(self):
        e = self.engine
        a = e.assert_fact('(order (customer "acme") (cents 100) (tags rush "x"))')
        b = e.assert_fact("order", {"customer": "bob"}, cents=200)
        c = e.assert_ordered("limit", 5, Symbol("eur"), [1, 2])
        self.assertEqual(a["tags"], [Symbol("rush"), "x"])
        self.assertEqual(dict(b), {"customer": "bob", "cents": 200, "state": Symbol("new"),
                                   "tags": []})
        self.assertTrue(c.ordered)
        self.assertEqual(c.fields, [5, Symbol("eur"), 1, 2])
        self.assertEqual((c[0], c[-1]), (5, 2))
        self.assertEqual(len(c), 0)
        self.assertEqual(str(c), "(limit 5 eur 1 2)")
        # An equal fact is not asserted twice: the one there is returned.
        self.assertEqual(e.assert_fact("order", customer="bob", cents=200).id, b.id)
        self.assertEqual([f.id for f in e.facts("order")], [a.id, b.id])
        self.assertEqual(len(e.facts()), 4)  # with the initial fact
        self.assertEqual(e.find_fact(b.id)["customer"], "bob")
        self.assertEqual(e.find_fact(c.address).fields, c.fields)
        # Slots are read as a mapping.
        self.assertIn("cents", a)
        self.assertNotIn("colour", a)
        self.assertEqual(a.get("colour", "none"), "none")
        with self.assertRaises(KeyError):
            a["colour"]
        with self.assertRaises(IndexError):
            c[4]
        # Text and slot values do not mix; an unknown template is the engine's error.
        with self.assertRaises(TypeError):
            e.assert_fact("(order)", cents=1)
        with self.assertRaises(deducer.Error):
            e.assert_fact("invoice", total=1)

    def test_retract_and_find(self):
        e = self.engine
        f = e.assert_fact("order", customer="x")
        self.assertTrue(e.retract(f))
        self.assertFalse(e.retract(f.id))
        self.assertIsNone(e.find_fact(f))
        # The snapshot keeps what the fact held.
        self.assertEqual(f["customer"], "x")
        with self.assertRaises(TypeError):
            e.retract("f-1")

    def test_modify_refires_a_rule_whose_match_changed(self):
        e = self.engine
        f = e.assert_fact("order", customer="acme", state=Symbol("review"))
        self.assertEqual(e.run(), 1)
        g = e.modify(f, state=Symbol("approved"), tags=["checked", Symbol("ok")])
        self.assertNotEqual(g.id, f.id)
        self.assertEqual(g["tags"], ["checked", Symbol("ok")])
        self.assertEqual(f["state"], Symbol("review"))  # the old snapshot
        self.assertEqual(e.run(), 1)
        self.assertEqual(self.out.text, "acme review\nacme approved\n")
        # A modify that fails changes nothing.
        with self.assertRaises(deducer.Error):
            e.modify(g, {"cents": "lots"})
        with self.assertRaises(deducer.Error):
            e.modify(f, state=Symbol("gone"))  # no longer in working memory
        self.assertEqual([x.id for x in e.facts("order")], [g.id])

    def test_run_limit_reset_and_clear(self):
        e = self.engine
        for i in range(5):
            e.assert_fact("order", customer=f"c{i}", state=Symbol("done"))
        self.assertEqual(e.run(2), 2)
        self.assertEqual(e.run(limit=0), 0)
        self.assertEqual(e.run(), 3)
        self.assertEqual(e.run(), 0)
        e.reset()
        self.assertEqual(e.facts("order"), [])
        e.clear()
        with self.assertRaises(deducer.Error):
            e.assert_fact("order", customer="x")

    def test_errors_carry_the_message_and_line(self):
        e = self.engine
        with self.assertRaises(deducer.Error) as caught:
            e.load("(deftemplate a (slot x))\n\n(deftemplate b (slot 42))\n")
        self.assertEqual(caught.exception.line, 3)
        self.assertIn("42", caught.exception.message)
        self.assertIsInstance(caught.exception, Exception)
        with self.assertRaises(deducer.Error) as caught:
            e.eval("(+ 1 a)")
        self.assertEqual(caught.exception.line, 0)
        with self.assertRaises(deducer.Error):
            e.load_file("/nonexistent/rules.clp")
        # What was read before the error stays.
        with self.assertRaises(deducer.Error):
            e.load("(deftemplate kept (slot a))\n(deftemplate broken (slot))")
        self.assertEqual(e.assert_fact("kept", a=1)["a"], 1)

    def test_load_file_takes_paths(self):
        import pathlib
        with tempfile.TemporaryDirectory() as d:
            path = pathlib.Path(d) / "rules.clp"
            path.write_text("(deffacts start (ready))\n")
            self.engine.load_file(path)
            self.engine.load_file(str(path))
        self.engine.reset()
        self.assertEqual(len(self.engine.facts("ready")), 1)

    def test_facts_go_to_json_and_back_equal(self):
        e = self.engine
        e.assert_fact("order", customer='a "b"', cents=2**40, tags=[Symbol("x"), 1.0, "y"])
        e.assert_ordered("point", 1, 2.5, Symbol("z"), "s")
        before = [str(f) for f in e.facts()]
        text = e.facts_json()
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "facts.json")
            e.save_facts_json(path)
            e.reset()
            self.assertEqual(e.load_facts_json_file(path), 2)
        self.assertEqual([str(f) for f in e.facts()], before)
        e.reset()
        self.assertEqual(e.load_facts_json(text), 2)
        self.assertEqual([str(f) for f in e.facts()], before)
        # Malformed JSON: an error naming the position, and nothing asserted.
        with self.assertRaises(deducer.Error) as caught:
            e.load_facts_json('[{"template": "point", "values": [9]}, {"template": ')
        self.assertIn("JSON", caught.exception.message)
        self.assertEqual([str(f) for f in e.facts()], before)
        # A fact address has no JSON form: nothing is written.
        e.assert_ordered("link", e.facts()[0])
        with self.assertRaises(deducer.Error):
            e.facts_json()


if __name__ == "__main__":
    unittest.main()
