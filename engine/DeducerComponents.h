// Component files of an engine: the engine, its settings, its knowledge
// base and the fact sets and host packages it owns, as one JSON text
// (framework/ComponentStream.h) written and read through the published
// properties of the library's registered classes.
//
// The engine writes its published settings that differ from their
// defaults, then its collections as its parts, each with its list of
// construct texts, in the order they must be read: FactTemplates
// ("Templates", with the backward-chaining marks), UserFunctions
// ("Functions": deffunctions), GlobalVariables ("Variables": defglobals
// and globals made by bind), Rules ("Rules"), Variables ("Variables":
// store and fetch); then its own "FactsList" (working memory, without
// goals). Its fact sets and the packages it owns beyond its default ones
// follow as nested components. Files that carry those lists on the engine
// itself ("Templates", "Functions", "GlobalVariables", "Rules",
// "Variables"), as files were written before, are read as well.
//
// Saving first checks that every text reads back as what is there (as
// save does) and writes nothing otherwise. Loading reads the whole file
// into a new engine, and only when that succeeded makes the engine hold
// what was read (Assign: the engine is cleared, host functions stay);
// an error names the place in the file and leaves the engine as it was.
#pragma once

#include <string>

#include "framework/Streams.h"

namespace kb {

class TDeducer;

constexpr const char* SLoadWhileFiring = "A component file cannot be loaded while a rule fires";

std::string ComponentText(TDeducer& Engine);
void SaveComponent(TDeducer& Engine, TStream& Stream);
void SaveComponentFile(TDeducer& Engine, const std::string& FileName);
// Refused (SLoadWhileFiring) from inside a firing: the rule's engine
// would be cleared under it.
void LoadComponentText(TDeducer& Engine, const std::string& Text);
void LoadComponent(TDeducer& Engine, TStream& Stream);
void LoadComponentFile(TDeducer& Engine, const std::string& FileName);

}  // namespace kb
