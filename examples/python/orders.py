"""Order approval in Python: the rules of examples/embedding/orders.clp, a
Python function the rules call, facts from values and from text, a firing
limit, modify and retract, facts read back, captured output and errors.

    PYTHONPATH=build/release/python python3 examples/python/orders.py
"""
import pathlib
import sys

import deducer
from deducer import Symbol

RULES = pathlib.Path(__file__).resolve().parent.parent / "embedding" / "orders.clp"

engine = deducer.Engine()
# What the rules print arrives here, with the logical name it went to.
engine.set_output(lambda channel, text: print(f"{channel}| {text}", end=""))


@engine.function()
def approve(cents, limit, customer):
    """Called by the rules as (approve ?cents ?limit ?customer)."""
    return Symbol("approved" if cents <= limit or customer == "acme" else "review")


engine.load_file(sys.argv[1] if len(sys.argv) > 1 else RULES)
engine.reset()
engine.assert_ordered("limit", 5_000_000)
engine.assert_fact("order", {"customer": "acme", "cents": 9_000_000})
engine.assert_fact("order", customer="bob", cents=7_500_000)
engine.assert_fact('(order (customer "carol") (cents 1200))')
print("fired", engine.run(limit=4), "of at most 4")
print("fired", engine.run(), "more")

# The host approves what waits for review (the rule reports it again) and
# withdraws carol's order.
for order in engine.facts("order"):
    if order["state"] == Symbol("review"):
        engine.modify(order, state=Symbol("approved"))
    elif order["customer"] == "carol":
        engine.retract(order)
engine.run()
for order in engine.facts("order"):
    print(f"f-{order.id} {order.template} {dict(order)}")
print("approve:", engine.eval('(approve 6000000 5000000 "dan")'))

# Errors are deducer.Error, with the engine's message and, for text, the line.
try:
    engine.eval("(approve 1 2)")
except deducer.Error as error:
    print(error)
try:
    engine.load("(deftemplate ok (slot a))\n(deftemplate bad (slot 42))")
except deducer.Error as error:
    print("error on line", error.line)
print("library", deducer.__version__)
