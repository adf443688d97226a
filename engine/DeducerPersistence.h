// The engine's persistence: the whole-system text, saving and loading
// facts, templates, rules and whole knowledge bases, and copying one
// engine's knowledge base into another.
#pragma once

#include <string>

namespace kb {

class TDeducer;
class TStream;

// What TDeducer's persistence members do (they forward here; the file
// variants open the file and call the engine's stream variants). The part
// keeps no state: it works through the engine, so that what a descendant
// of the engine overrides (Clear, Reset, the stream variants) takes part.
//
// Everything is saved as CLIPS text that the parser reads back. Saves to a
// file build the whole text before the file is created, so a failure never
// leaves a half-written file in place of the old one; write errors raise
// EFileError. Loads add to what is there unless they say otherwise; a parse
// error leaves what was installed before it, and the parser gets its
// previous input back in every case.
class TDeducerPersistence {
 public:
  explicit TDeducerPersistence(TDeducer& Engine) : Engine_(Engine) {}
  TDeducerPersistence(const TDeducerPersistence&) = delete;
  TDeducerPersistence& operator=(const TDeducerPersistence&) = delete;

  // The whole knowledge base in commented sections: fact templates (each
  // after the template it extends), deffunctions, the global variables
  // when there are any, rules, fact sets, and the facts in one "assert"
  // call when there are any.
  std::string GetExpertSystem();
  // Clears the engine, reads Text (its constructs are installed, its calls
  // run) and resets it: afterwards the engine holds the initial fact and
  // the fact sets' facts, not the facts Text asserted.
  void SetExpertSystem(const std::string& Text);
  // Reads the stream as Parse reads a text, to its end, without clearing
  // anything first.
  bool Load(TStream& Stream);
  // One fact text per line, without identifiers, in working-memory order;
  // with TemplateName only the facts of the template of exactly that name.
  void SaveFacts(TStream& Stream);
  void SaveFacts(TStream& Stream, const std::string& TemplateName);
  // Every template's text. Loading clears the whole engine first.
  std::string FactTemplatesText();
  bool LoadFactTemplates(TStream& Stream);
  // Every rule's text. Loading replaces the rules only.
  std::string RulesText();
  bool LoadRules(TStream& Stream);
  // Clears the engine, copies From's settings (strategy, salience
  // evaluation, fact duplication, duplicate constructs, type checks, parser
  // settings, watches, reset of globals) and then its deffunctions,
  // templates, engine variables, globals, fact sets, rules and facts. What
  // holds function calls is copied through this engine's parser, so that
  // nothing keeps a pointer to the source engine.
  void Assign(TDeducer& From);

 private:
  TDeducer& Engine_;
};

}  // namespace kb
