// Internal to the engine's .cpp files: running the engine's parser over a
// text or a stream.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "engine/Deducer.h"
#include "framework/ScopeExit.h"
#include "framework/Streams.h"
#include "parser/KbClipsParser.h"

namespace kb {

// Runs Body(parser, tokens) with the engine's parser reading Stream through
// a new tokenizer, then gives the parser back its previous stream, also on
// failure, so that parses and loads nest inside each other.
template <class F>
auto WithParserOver(TDeducer& Engine, TStream& Stream, F&& Body) {
  std::unique_ptr<TKbTokenizerStream> tokens = Engine.NewTokenizer(&Stream);
  TKbParser& parser = Engine.GetParser();
  auto restore =
      OnScopeExit([&parser, previous = parser.GetStream()] { parser.SetStream(previous); });
  parser.SetStream(tokens.get());
  return Body(parser, *tokens);
}

// WithParserOver on a memory stream holding Text.
template <class F>
auto WithParserOn(TDeducer& Engine, const std::string& Text, F&& Body) {
  TMemoryStream source(Text);
  return WithParserOver(Engine, source, std::forward<F>(Body));
}

}  // namespace kb
