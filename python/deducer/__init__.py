"""Deducer, a forward-chaining rule engine, for Python.

    import deducer

    engine = deducer.Engine()
    engine.load('''
        (deftemplate order (slot customer) (slot cents (type INTEGER)))
        (defrule big (order (customer ?c) (cents ?n&:(> ?n 100000)))
          => (printout t ?c " needs a review" crlf))''')
    engine.reset()
    engine.assert_fact("order", customer="acme", cents=250000)
    engine.run()            # prints: acme needs a review

Values: None (no value), bool (the symbols TRUE and FALSE), int (64 bits),
float, str (a string), Symbol (a str subclass: a symbol), FactAddress (an
int subclass: a fact address), list (a multifield; tuples are taken too).
Facts read from an engine are snapshots (Fact). Every failure of the
engine raises deducer.Error, with .message and .line.
"""

import contextlib as _contextlib
import inspect as _inspect

from ._values import EngineObject, Error, FactAddress, Symbol
from . import _core

__all__ = ["Engine", "Fact", "Symbol", "FactAddress", "EngineObject", "Error", "Output"]
__version__ = _core.__version__

Fact = _core.Fact


def _argument_counts(function):
    """The least and most arguments a callable takes (-1: no most), from
    its signature; (0, -1) when it has none Python can tell."""
    try:
        signature = _inspect.signature(function)
    except (TypeError, ValueError):
        return 0, -1
    least, most = 0, 0
    for parameter in signature.parameters.values():
        if parameter.kind is parameter.VAR_POSITIONAL:
            most = -1
        elif parameter.kind in (parameter.POSITIONAL_ONLY, parameter.POSITIONAL_OR_KEYWORD):
            if parameter.default is parameter.empty:
                least += 1
            if most >= 0:
                most += 1
        elif parameter.kind is parameter.KEYWORD_ONLY and parameter.default is parameter.empty:
            raise TypeError(f"{function!r} has a keyword-only parameter without a default: "
                            "rules pass arguments by position")
    return least, most


class Output:
    """Output collected by Engine.capture(): ``text`` is all of it;
    ``parts`` the (channel, text) pieces in order; ``channel(name)`` the
    text that went to one logical name ("t" is standard output)."""

    def __init__(self):
        self.parts = []

    def __call__(self, channel, text):
        self.parts.append((channel, text))

    @property
    def text(self):
        return "".join(text for _, text in self.parts)

    def channel(self, name):
        return "".join(text for channel, text in self.parts if channel == name)

    def __str__(self):
        return self.text

    def __repr__(self):
        return f"Output({self.text!r})"


class Engine(_core.Engine):
    """A rule engine: templates, rules, functions, working memory, agenda.

    load(text), load_file(path)     read constructs and run top-level calls
    eval(expression)                the value of "(+ 1 2)" or "?*global*"
    assert_fact(text)               assert "(order (item bolts))"
    assert_fact(template, {slot: value}, **slots)
                                    assert from values; returns the Fact
    assert_ordered(relation, *values)
    modify(fact, {slot: value}, **slots), retract(fact)
    run(limit=None)                 fire rules; returns how many fired
    halt(), reset(), clear()
    facts(template=None), find_fact(id)
    add_function(name, function), function(name)   Python functions for rules
    set_output(callback), capture()                where output goes
    facts_json(), save_facts_json(path), load_facts_json(text),
    load_facts_json_file(path)      facts as JSON
    """

    def add_function(self, name, function, min_args=None, max_args=None):
        """Makes ``function`` callable from rules and calls as (name args...).

        It receives the arguments converted to Python values, and its
        result converts back (None: no value). The engine checks the number
        of arguments (from the function's signature unless min_args and
        max_args are given; max_args -1: any number) before calling it. An
        exception it raises fails the call with its text (the language's
        "try" catches it); when it ends the run, the deducer.Error raised
        has the exception as its __cause__. Returns ``function``.
        """
        least, most = _argument_counts(function)
        super().add_function(name, function,
                             least if min_args is None else min_args,
                             most if max_args is None else max_args)
        return function

    def function(self, name=None, min_args=None, max_args=None):
        """A decorator: add_function under ``name`` (default: the function's
        own name, with "_" written "-")."""
        def register(function):
            return self.add_function(name or function.__name__.replace("_", "-"), function,
                                     min_args, max_args)
        return register

    @_contextlib.contextmanager
    def capture(self):
        """Collects the engine's output while the block runs, in an Output;
        the previous callback is back afterwards."""
        previous = self.output
        collected = Output()
        self.set_output(collected)
        try:
            yield collected
        finally:
            self.set_output(previous)
