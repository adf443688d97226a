// Component files: a tree of components (or one persistent object) as JSON
// text, written and read through the published properties of their
// registered classes (framework/TypInfo.h).
//
//   {"format": "deducer-component", "version": 1,
//    "object": {"class": "TDeducer", "name": "engine",
//               "properties": {"Strategy": "ssBreadthFirst", ...,
//                  "FactTemplates": {"class": "TFactTemplates",
//                                    "data": {"Templates": ["(deftemplate ...)"]}},
//                  ...},
//               "data": {"FactsList": ["(order (id 1))", ...]},
//               "components": [{"class": "TFactSet", ...}, ...]}}
//
// "properties" holds the stored published properties whose value differs
// from the declared default: integers and floats as numbers, strings and
// characters as strings, enumerations by value name, sets as arrays of
// member names, object references by component name. The parts of an
// object (owned properties, TPropInfo::Owned) follow the other properties,
// each written inline as an object of its own (its class, properties and
// data) when it has something to say; reading reads the other properties
// first, then the parts in the order the class lists them, each into the
// part the object already holds. "data" holds what DefineProperties adds,
// each a flat array, in the order defined; it is read after the
// properties.
// "components" holds the owned components that are written (see
// TWriteFilter), each nested in its owner.
//
// Reading checks as it goes and raises EComponentFileError naming the place
// (the path of classes and names down to the property, or the byte offset
// of malformed JSON); it builds new objects only, so a caller that reads
// into a fresh object and swaps it in on success changes nothing on error.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "framework/Classes.h"
#include "framework/SysUtils.h"

namespace kb {

class EComponentFileError : public Exception {
  using Exception::Exception;
};

// Whether an owned component is written with its owner. Nil: every
// component whose class is registered.
using TWriteFilter = std::function<bool(const TComponent* Owner, const TComponent* Child)>;

// The text of Object: its class, properties, data and, for a component,
// its name and the owned components Filter accepts.
std::string WritePersistentText(const TPersistent* Object, const TWriteFilter& Filter = nullptr);
// Creates the object the text describes (a component owned by Owner),
// reads it and everything nested, then calls Loaded on every component
// read, in the order read. On error everything created is freed.
// REQUIRES: the class of the text is registered.
TPersistent* ReadPersistentText(std::string_view Text, TComponent* Owner = nullptr);
// Reads the text's properties, data and components into an existing
// Object, which must be of the text's class or derive from it.
void ReadPersistentInto(std::string_view Text, TPersistent* Object);

class TStream;
// Writes the text of Instance (any object whose class is registered, with
// its class name) at Stream's position; objects written one after another
// read back in the same order.
void WritePersistent(TStream& Stream, const TPersistent* Instance);
// Reads the next object written by WritePersistent from Stream's position
// (left just after it) and returns it; the caller owns it. Raises
// EComponentFileError, with the position left where it was, when the
// stream holds no such object or its class is not registered.
TPersistent* ReadPersistent(TStream& Stream);

}  // namespace kb
