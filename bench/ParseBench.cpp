// Measures the CLIPS lexer and parser on generated constructs.
//
//   parse_bench [megabytes]   (default 10)
//
// Builds a text of deffunctions and defglobals of the given size, then times
// tokenizing it (every token handed out) and parsing it into a fresh engine
// (every construct installed). Both are also timed on a quarter and a half
// of the text: the time per megabyte should not grow with the size.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/Deducer.h"
#include "engine/DeducerParse.h"
#include "parser/KbClipsParser.h"

using namespace kb;

namespace {

// One block of constructs, numbered N: about 600 bytes.
void AppendBlock(std::string& Out, int N) {
  const std::string n = std::to_string(N);
  Out += "; function " + n + "\n";
  Out += "(deffunction fn" + n + " (?a ?b $?rest)\n";
  Out += "  \"Computes the value of item " + n + "\"\n";
  Out += "  (bind ?x (plus ?a ?b " + n + " 4.5e2 -7 .25))\n";
  Out += "  (if (> ?x 10) then (bind ?y \"a \\\"quoted\\\" text; not a comment\")\n";
  Out += "      else (bind ?y sym-" + n + "))\n";
  Out += "  (while (< ?x 100) do (bind ?x (plus ?x 1)) (bind ?rest (create$ ?rest ?x)))\n";
  Out += "  (foreach ?e ?rest (printout t ?e crlf))\n";
  Out += "  (try (check ?x) catch (printout t ?__ERROR crlf))\n";
  Out += "  (return ?x))\n";
  Out += "(defglobal ?*g" + n + "* = " + n + " ?*s" + n + "* = \"text " + n + "\" ?*f" + n +
         "* = 2.5)\n";
}

std::string MakeText(size_t Bytes) {
  std::string text;
  text.reserve(Bytes + 1024);
  for (int n = 0; text.size() < Bytes; ++n) AppendBlock(text, n);
  return text;
}

double Seconds(std::chrono::steady_clock::time_point Start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

size_t Tokenize(const std::string& Text) {
  auto stream = TKbClipsStream::FromText(Text);
  size_t count = 0;
  while (!stream->NextToken()->Is(TokEOF)) ++count;
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const double megabytes = argc > 1 ? std::atof(argv[1]) : 10.0;
  const auto full = static_cast<size_t>(megabytes * 1024 * 1024);
  const std::string text = MakeText(full);
  std::printf("input: %.2f MB, %zu tokens\n", static_cast<double>(text.size()) / 1048576.0,
              Tokenize(text));
  std::printf("%-10s %10s %12s %12s %12s\n", "size", "MB", "tokenize s", "parse s", "parse s/MB");
  for (size_t parts : {4u, 2u, 1u}) {
    // Cut at a block boundary so that every slice parses.
    size_t cut = text.size() / parts;
    cut = parts == 1 ? text.size() : text.find("; function", cut);
    const std::string slice = text.substr(0, cut);
    const double mb = static_cast<double>(slice.size()) / 1048576.0;

    auto start = std::chrono::steady_clock::now();
    size_t tokens = Tokenize(slice);
    const double tokenizeSeconds = Seconds(start);

    TDeducer engine;
    start = std::chrono::steady_clock::now();
    engine.Parse(slice);
    const double parseSeconds = Seconds(start);
    if (tokens == 0 || engine.GlobalVariables().Count() == 0) return 1;
    std::printf("1/%-8zu %10.2f %12.3f %12.3f %12.3f\n", parts, mb, tokenizeSeconds, parseSeconds,
                parseSeconds / mb);
  }
  return 0;
}
