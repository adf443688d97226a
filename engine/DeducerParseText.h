// Internal to the engine's .cpp files: running the engine's parser over a
// text.
#pragma once

#include <memory>
#include <string>

#include "engine/Deducer.h"
#include "framework/Streams.h"
#include "parser/KbClipsParser.h"

namespace kb {

// Runs Body(parser, tokens) with the engine's parser reading Text, then gives
// the parser back its previous stream, also on failure, so that parses nest.
template <class F>
auto WithParserOn(TDeducer& Engine, const std::string& Text, F&& Body) {
  TMemoryStream source(Text);
  std::unique_ptr<TKbTokenizerStream> tokens = Engine.NewTokenizer(&source);
  TKbParser& parser = Engine.GetParser();
  struct TRestore {
    TKbParser& Parser;
    TKbTokenizerStream* Previous;
    ~TRestore() { Parser.SetStream(Previous); }
  } restore{parser, parser.GetStream()};
  parser.SetStream(tokens.get());
  return Body(parser, *tokens);
}

}  // namespace kb
