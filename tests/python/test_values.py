"""Values between Python and the engine: every type both ways."""
import unittest

import deducer
from deducer import EngineObject, FactAddress, Symbol

ORDERS = """
(deftemplate order
  (slot item (type SYMBOL))
  (slot quantity (type INTEGER) (default 1))
  (slot price (type FLOAT))
  (slot note (type STRING))
  (slot ref)
  (slot any)
  (multislot tags))
"""


class ValuesTest(unittest.TestCase):
    def setUp(self):
        self.engine = deducer.Engine()
        self.engine.add_function("same", lambda value: value)

    def _through_function(self, value):
        # Out to the engine as a function's result, back in as its argument.
        self.engine.add_function("give", lambda: value)
        return self.engine.eval("(same (give))")

    def test_every_type_comes_back_as_it_went(self):
        cases = [
            (42, int), (-(2**63), int), (2**63 - 1, int), (2.5, float), (1.0, float),
            ("text", str), (Symbol("red"), Symbol), (True, bool), (False, bool),
            (None, type(None)), ("", str), ("naïve ünïcode ✓", str),
            ("a \"quoted\" \\ word", str),
        ]
        for value, kind in cases:
            with self.subTest(value=value):
                back = self._through_function(value)
                self.assertEqual(back, value)
                self.assertIs(type(back), kind)
        # A symbol is not a string, though it compares equal to its text.
        self.assertNotIsInstance(self._through_function("red"), Symbol)
        self.assertEqual(self.engine.eval('(eq red "red")'), False)
        self.assertIs(self.engine.eval("(stringp (give))"), True)

    def test_multifields_are_lists_and_nest_flat(self):
        back = self._through_function([1, 2.5, Symbol("a"), "b", [3, (4, 5)], True])
        self.assertEqual(back, [1, 2.5, Symbol("a"), "b", 3, 4, 5, True])
        self.assertIsInstance(back[2], Symbol)
        self.assertNotIsInstance(back[3], Symbol)
        self.assertEqual(self._through_function([]), [])
        self.assertEqual(self.engine.eval("(create$ x 1)"), [Symbol("x"), 1])

    def test_engine_values_read_as_python_values(self):
        e = self.engine
        self.assertEqual(e.eval("(+ 1 2)"), 3)
        self.assertEqual(e.eval("(/ 7 2)"), 3.5)
        self.assertEqual(e.eval("(sym-cat a b)"), Symbol("ab"))
        self.assertEqual(e.eval('(str-cat "a" "b")'), "ab")
        self.assertIs(e.eval("(> 2 1)"), True)
        self.assertIs(e.eval("(> 1 2)"), False)
        self.assertIsNone(e.eval("(printout t)"))
        self.assertEqual(e.eval("9223372036854775807"), 2**63 - 1)
        e.load("(defglobal ?*limit* = 5000000000)")
        self.assertEqual(e.eval("?*limit*"), 5_000_000_000)
        # A fact address is a FactAddress (an int); it goes back as one.
        address = e.eval("(assert (point 1 2))")
        self.assertIsInstance(address, FactAddress)
        self.assertEqual(repr(address), f"<Fact-{address.id}>")
        back = self._through_function(address)
        self.assertEqual(back, address)
        self.assertIsInstance(back, FactAddress)

    def test_text_that_is_not_utf8_survives(self):
        weird = "caf\udce9"  # the byte 0xE9 alone, as surrogateescape reads it
        self.assertEqual(self._through_function(weird), weird)

    def test_values_with_no_engine_form_are_refused(self):
        with self.assertRaises(OverflowError):
            self.engine.assert_ordered("big", 2**63)
        with self.assertRaises(OverflowError):
            self.engine.assert_ordered("big", -(2**63) - 1)
        for bad in ({"a": 1}, object(), b"bytes", {1, 2}):
            with self.subTest(bad=bad):
                with self.assertRaises(TypeError):
                    self.engine.assert_ordered("bad", bad)
        with self.assertRaises(TypeError):
            self.engine.assert_ordered("bad", EngineObject("<Instance-x>"))
        # Nothing half-asserted.
        self.assertEqual([f.template for f in self.engine.facts()], ["Initial-Fact"])

    def test_typed_slots_and_multislots_from_a_dict(self):
        e = self.engine
        e.load(ORDERS)
        e.reset()
        first = e.assert_ordered("point", 1, 2)
        f = e.assert_fact("order", {"item": Symbol("bolts"), "price": 0.25,
                                    "note": 'rush "now"', "ref": first,
                                    "any": None, "tags": [Symbol("a"), 2, 3.5, "s"]})
        self.assertEqual(f.template, "order")
        self.assertFalse(f.ordered)
        self.assertEqual(f["item"], "bolts")
        self.assertIsInstance(f["item"], Symbol)
        self.assertEqual(f["quantity"], 1)  # the default
        self.assertEqual(f["price"], 0.25)
        self.assertEqual(f["note"], 'rush "now"')
        self.assertEqual(f["ref"], first.id)
        self.assertIsInstance(f["ref"], FactAddress)
        self.assertIsNone(f["any"])
        self.assertEqual(f["tags"], [Symbol("a"), 2, 3.5, "s"])
        self.assertEqual(list(f.slots), ["item", "quantity", "price", "note", "ref", "any", "tags"])
        self.assertEqual(dict(f), f.slots)
        # One value in a multislot is a multifield of one.
        g = e.assert_fact("order", item=Symbol("nuts"), tags="one")
        self.assertEqual(g["tags"], ["one"])
        # Slot types are checked as for a fact read from text.
        with self.assertRaises(deducer.Error):
            e.assert_fact("order", {"quantity": "many"})
        with self.assertRaises(deducer.Error):
            e.assert_fact("order", {"colour": Symbol("red")})


if __name__ == "__main__":
    unittest.main()
