"""The Python types of the engine's values and errors (used by deducer._core)."""

__all__ = ["Symbol", "FactAddress", "EngineObject", "Error"]


class Symbol(str):
    """A symbol of the rule language, as opposed to a string.

    ``Symbol("red")`` is the symbol red, ``"red"`` the string "red". A
    symbol is a ``str``: it compares equal to the plain string of the same
    text; ``isinstance(value, Symbol)`` tells the two apart.
    """

    __slots__ = ()

    def __repr__(self):
        return f"Symbol({str.__repr__(self)})"


class FactAddress(int):
    """The address of a fact: its identifier, written ``<Fact-3>``.

    ``Engine.find_fact`` gives the fact itself while it is in working memory.
    """

    __slots__ = ()

    @property
    def id(self):
        return int(self)

    def __repr__(self):
        return f"<Fact-{int(self)}>"

    __str__ = __repr__


class EngineObject(str):
    """A value of the engine's own with no Python form (an instance of a
    class, for example): its text. It cannot be passed back to an engine."""

    __slots__ = ()

    def __repr__(self):
        return f"EngineObject({str.__repr__(self)})"


class Error(Exception):
    """What the engine raises: ``message`` is its text; ``line`` the line
    of the text being read (load, eval, assert of text), from 1, or 0."""

    def __init__(self, message, line=0):
        super().__init__(message)
        self.message = message
        self.line = line

    def __str__(self):
        return self.message


# They are the package's: deducer.Symbol, deducer.Error...
for _class in (Symbol, FactAddress, EngineObject, Error):
    _class.__module__ = "deducer"
del _class
