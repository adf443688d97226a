// The engine's input and output through the host's interface: printing
// by logical name, capture, named streams, reading lines and tokens from
// streams, the host and its events, watch traces and the command buffer.
// Batch files as the language runs them are tested by
// tests/language/batch/files.clp.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerIO.h"
#include "engine/DeducerPackages.h"
#include "parser/KbClipsParser.h"

using namespace kb;

namespace {

using kb::test::ErrorOf;

// An engine whose standard output is collected as "<name>|<text>" pieces.
struct TEngine {
  TEngine() {
    E.OnPrintOut = [this](TPersistent*, const std::string& Id, const std::string& Text) {
      Out += Id + "|" + Text;
    };
  }
  TDeducer E;
  std::string Out;
};

// A memory stream that tells whether it is still alive.
struct TWatchedStream : TMemoryStream {
  explicit TWatchedStream(bool& Alive) : Alive_(Alive) { Alive_ = true; }
  ~TWatchedStream() override { Alive_ = false; }
  bool& Alive_;
};

std::unique_ptr<TGTextStream> TextOver(std::string Text) {
  return TGTextStream::FromString(std::move(Text));
}

std::unique_ptr<TGTextStream> TokensOver(std::string Text) {
  return TKbClipsStream::FromText(std::move(Text));
}

const std::string NoReadLine =
    "The readline event has not been implemented or unassigned.\r\nWarning: Implementation of "
    "this function requires a blocking mechanism, \r\nsuch as ShowModal, or the use of threads";

}  // namespace

TEST(DeducerIO, PrintOutRoutesByLogicalName) {
  TEngine t;
  t.E.PrintOut("t", "a");
  t.E.PrintOut("b");
  EXPECT_EQ(t.Out, "t|a|b");

  // A registered name writes to its stream, not to the host.
  auto* memory = new TMemoryStream();
  t.E.IOStreams().AddStream("log", std::make_unique<TGTextStream>(memory, true));
  t.E.PrintOut("log", "line\r\n");
  EXPECT_EQ(memory->DataString(), "line\r\n");

  // Any other name reaches the host with its name.
  t.Out.clear();
  t.E.PrintOut("wdialog", "x");
  EXPECT_EQ(t.Out, "wdialog|x");
  t.E.OnPrintOut = nullptr;
  EXPECT_EQ(ErrorOf([&] { t.E.PrintOut("wdialog", "x"); }),
            "Function is unimplemented or unassigned: printout");
  // Standard output without a handler goes nowhere, without an error.
  t.E.PrintOut("t", "dropped");
}

TEST(DeducerIO, CaptureTakesStandardOutputInsteadOfTheHost) {
  TEngine t;
  bool firstAlive = false;
  auto* first = new TWatchedStream(firstAlive);
  EXPECT_TRUE(t.E.StartCapture(std::unique_ptr<TStream>(first)));
  t.E.PrintOut("t", "abc");
  t.E.PrintOut("", "d");
  EXPECT_EQ(first->DataString(), "abcd");
  EXPECT_EQ(t.Out, "");
  // Other names are not captured.
  t.E.PrintOut("elsewhere", "e");
  EXPECT_EQ(t.Out, "elsewhere|e");

  // A second capture replaces (and closes) the first.
  bool secondAlive = false;
  auto* second = new TWatchedStream(secondAlive);
  t.E.StartCapture(std::unique_ptr<TStream>(second));
  EXPECT_FALSE(firstAlive);
  // A file that cannot be created changes nothing.
  EXPECT_FALSE(t.E.StartCapture(std::string("/no/such/dir/capture.txt")));
  EXPECT_EQ(t.E.GetCaptureStream(), second);
  EXPECT_TRUE(t.E.StopCapture());
  EXPECT_FALSE(secondAlive);
  EXPECT_EQ(t.E.GetCaptureStream(), nullptr);
  EXPECT_TRUE(t.E.StopCapture());
  t.Out.clear();
  t.E.PrintOut("t", "back");
  EXPECT_EQ(t.Out, "t|back");

  // Captured into a file.
  const std::string name = ::testing::TempDir() + "kb_capture_test.txt";
  EXPECT_TRUE(t.E.StartCapture(name));
  t.E.PrintOut("t", "to the file\r\n");
  t.E.StopCapture();
  TGTextStream in(name, fmOpenRead);
  EXPECT_EQ(in.GetLine(), "to the file");
  std::remove(name.c_str());
}

TEST(DeducerIO, StreamsAreNamedOnceAndClosedAsTheyGo) {
  TDeducer e;
  TIOStreams& streams = e.IOStreams();
  bool aAlive = false, bAlive = false;
  EXPECT_EQ(
      streams.AddStream("a", std::make_unique<TGTextStream>(new TWatchedStream(aAlive), true)), 0);
  EXPECT_EQ(
      streams.AddStream("b", std::make_unique<TGTextStream>(new TWatchedStream(bAlive), true)), 1);
  EXPECT_EQ(streams.GetName(1), "b");
  EXPECT_EQ(streams.IndexOf("a"), 0);
  EXPECT_EQ(e.GetIOStream("b"), streams.GetData(1));
  // Names are compared exactly.
  EXPECT_EQ(streams.Find("A"), nullptr);
  EXPECT_EQ(ErrorOf([&] { e.GetIOStream("A"); }), "Invalid stream name: A");

  bool refusedAlive = false;
  EXPECT_EQ(ErrorOf([&] {
              streams.AddStream(
                  "a", std::make_unique<TGTextStream>(new TWatchedStream(refusedAlive), true));
            }),
            "Logical name already in use: a");
  EXPECT_FALSE(refusedAlive);  // closed, not leaked
  EXPECT_EQ(ErrorOf([&] { streams.AddStream("t", TextOver("")); }),
            "Logical name t is reserved for standard input and output");
  EXPECT_EQ(ErrorOf([&] { streams.AddStream("", TextOver("")); }),
            "Logical name  is reserved for standard input and output");
  EXPECT_EQ(streams.Count(), 2);

  streams.Remove("a");
  EXPECT_FALSE(aAlive);
  EXPECT_EQ(streams.IndexOf("b"), 0);
  EXPECT_EQ(ErrorOf([&] { streams.Remove("a"); }), "Invalid stream name: a");
  EXPECT_THROW(streams.GetData(1), EListError);

  streams.PutData(0, TextOver("new"));
  EXPECT_FALSE(bAlive);
  streams.Clear();
  EXPECT_EQ(streams.Count(), 0);

  // The engine closes what is still open when it goes.
  bool lastAlive = false;
  {
    TDeducer other;
    other.IOStreams().AddStream(
        "x", std::make_unique<TGTextStream>(new TWatchedStream(lastAlive), true));
  }
  EXPECT_FALSE(lastAlive);
}

TEST(DeducerIO, ReadLineFromStreamsBatchesHostStreamsAndEvents) {
  TEngine t;
  std::string line;
  // A registered stream: lines in order, an empty line is a line, then the end.
  t.E.IOStreams().AddStream("in", TextOver("one\r\n\r\ntwo"));
  EXPECT_TRUE(t.E.ReadLine("in", line));
  EXPECT_EQ(line, "one");
  EXPECT_TRUE(t.E.ReadLine("in", line));
  EXPECT_EQ(line, "");
  EXPECT_EQ(t.E.ReadLine("in"), "two");
  EXPECT_FALSE(t.E.ReadLine("in", line));
  EXPECT_EQ(line, "");

  // Standard input without a source.
  EXPECT_EQ(ErrorOf([&] { t.E.ReadLine("t"); }), NoReadLine);
  EXPECT_EQ(ErrorOf([&] { t.E.ReadLine("unknown"); }), "Invalid stream name: unknown");

  // The host's event; an empty answer means no input.
  std::string asked;
  std::string answer = "typed";
  t.E.OnReadLine = [&](TPersistent*, const std::string& Id, std::string& Text) {
    asked += Id + ";";
    Text = answer;
  };
  EXPECT_TRUE(t.E.ReadLine("", line));
  EXPECT_EQ(line, "typed");
  EXPECT_TRUE(t.E.ReadLine("unknown", line));
  EXPECT_EQ(asked, ";unknown;");
  answer.clear();
  EXPECT_FALSE(t.E.ReadLine("t", line));

  // The host's standard input comes before the event.
  TMemoryStream input("from stdin\n");
  t.E.SetStdInput(&input);
  EXPECT_EQ(t.E.ReadLine("t"), "from stdin");
  EXPECT_FALSE(t.E.ReadLine("t", line));
  EXPECT_EQ(asked, ";unknown;t;");
  t.E.SetStdInput(nullptr);
  EXPECT_EQ(t.E.GetStdInput(), nullptr);
}

TEST(DeducerIO, ReadTokenTakesOneTokenPerLine) {
  TEngine t;
  t.E.IOStreams().AddStream("in", TokensOver("alpha beta\r\n\r\n  \"a string\" rest\r\n42"));
  EXPECT_EQ(t.E.ReadToken("in")->GetText(), "alpha");
  IStreamToken s = t.E.ReadToken("in");
  EXPECT_TRUE(s->Is(TokString));
  EXPECT_EQ(s->GetText(), "a string");
  EXPECT_EQ(t.E.ReadToken("in")->GetNumber(), 42);
  EXPECT_TRUE(t.E.ReadToken("in")->Is(TokEOF));

  // A plain text stream cannot be read token by token.
  t.E.IOStreams().AddStream("plain", TextOver("x"));
  EXPECT_EQ(ErrorOf([&] { t.E.ReadToken("plain"); }),
            "Logical name plain cannot be read token by token");
  EXPECT_THROW(t.E.ReadToken("plain"), EInvalidCast);

  EXPECT_EQ(ErrorOf([&] { t.E.ReadToken("t"); }),
            "The read event has not been implemented or unassigned.\r\nWarning: Implementation "
            "of this function requires a blocking mechanism, \r\nsuch as ShowModal, or the use of "
            "threads");
  EXPECT_EQ(ErrorOf([&] { t.E.ReadToken("unknown"); }), "Invalid stream name: unknown");

  // The event; a handler that gives nothing gives the end of the input.
  t.E.OnReadToken = [](TPersistent*, const std::string&, IStreamToken&) {};
  EXPECT_TRUE(t.E.ReadToken("t")->Is(TokEOF));
  t.E.OnReadToken = [](TPersistent*, const std::string& Id, IStreamToken& Token) {
    Token = IStreamToken(new TKbStreamToken(TokAtom, 1, "from-" + Id));
  };
  EXPECT_EQ(t.E.ReadToken("elsewhere")->GetText(), "from-elsewhere");

  // The host's standard input.
  TMemoryStream input("first second\nthird\n");
  t.E.SetStdInput(&input);
  EXPECT_EQ(t.E.ReadToken("")->GetText(), "first");
  EXPECT_EQ(t.E.ReadToken("t")->GetText(), "third");
  EXPECT_TRUE(t.E.ReadToken("t")->Is(TokEOF));
  t.E.SetStdInput(nullptr);
}

TEST(DeducerIO, WatchTracesExactLinesOnlyWithAHandler) {
  TEngine t;
  // Nothing is watched by default.
  t.E.WatchFact(true, "f-1 (a)");
  EXPECT_EQ(t.Out, "");

  t.E.SetWatch({cwActivation, cwFact, cwRule, cwCompilation, cwStatistics});
  t.E.WatchFact(true, "f-1 (a)");
  t.E.WatchFact(false, "f-1 (a)");
  t.E.WatchActivationAdded("0 r: f-1");
  t.E.WatchActivationRemoved("r", "f-1");
  t.E.WatchRuleFiring(0, "r", "f-1");
  t.E.WatchCompilation("r: +j");
  EXPECT_EQ(t.Out,
            "| ==> f-1 (a)\r\n| <== f-1 (a)\r\n|==> Activation: 0 r: f-1\r\n"
            "|<== Activation: r : f-1\r\n|FIRE 0 r f-1\r\n|r: +j\r\n");

  t.Out.clear();
  t.E.WatchStatistics(0, 1.5, 0, 0, 0, 0);
  EXPECT_EQ(t.Out, "");
  t.E.WatchStatistics(4, 0.5, 2.5, 3, 1.25, 2);
  EXPECT_EQ(t.Out,
            "|4 rules fired.     Run time is 0.5 seconds\r\n|8 rules per second\r\n"
            "|2.5 mean number of facts (3 maximum)\r\n"
            "|1.25 mean number of activations (2 maximum)\r\n");
  t.Out.clear();
  t.E.WatchStatistics(3, 0, 1, 1, 1, 1);
  EXPECT_EQ(t.Out.substr(0, t.Out.find("\r\n|1 mean")),
            "|3 rules fired.     Run time is 0 seconds\r\n|3 rules per second");

  // Only the watched kinds are traced.
  t.Out.clear();
  t.E.SetWatch({cwRule});
  t.E.WatchFact(true, "f-1 (a)");
  t.E.WatchRuleFiring(7, "r", "f-1,f-2");
  EXPECT_EQ(t.Out, "|FIRE 7 r f-1,f-2\r\n");

  // Without a handler nothing is traced, not even to a capture stream.
  auto* capture = new TMemoryStream();
  t.E.StartCapture(std::unique_ptr<TStream>(capture));
  t.E.SetWatch({cwFact});
  t.E.WatchFact(true, "f-1 (a)");
  EXPECT_EQ(capture->DataString(), " ==> f-1 (a)\r\n");
  t.E.OnPrintOut = nullptr;
  t.E.WatchFact(true, "f-2 (b)");
  EXPECT_EQ(capture->DataString(), " ==> f-1 (a)\r\n");
  EXPECT_FALSE(t.E.IsWatched(cwFact));
}

// Asserting and retracting write the fact's text only for a watch that
// prints it: unwatched, no fact is printed at all.
TEST(DeducerIO, FactTextIsMadeOnlyWhenFactsAreWatched) {
  struct TCountingEngine : TDeducer {
    using TDeducer::PrettyPrint;
    std::string PrettyPrint(const IFact& Fact) override {
      ++Printed;
      return TDeducer::PrettyPrint(Fact);
    }
    int Printed = 0;
  } e;
  std::string out;
  e.OnPrintOut = [&out](TPersistent*, const std::string&, const std::string& Text) { out += Text; };
  const int32_t id = e.Assert("(a 1)");
  e.Retract(id);
  EXPECT_EQ(e.Printed, 0);
  EXPECT_EQ(out, "");

  e.SetWatch({cwFact});
  e.Retract(e.Assert("(b 2)"));
  EXPECT_EQ(e.Printed, 2);
  EXPECT_EQ(out, " ==> f-2 (b 2)\r\n <== f-2 (b 2)\r\n");
}

TEST(DeducerIO, CommandBufferWaitsForBalancedInput) {
  struct TCase {
    std::vector<std::string> Lines;
    bool Complete;
    bool Empty;
  };
  const TCase cases[] = {
      {{"(+ 1 2)"}, true, false},
      {{"(deffunction f ()", "  (+ 1 2))"}, true, false},
      {{"(printout t \"(\" crlf)"}, true, false},   // a parenthesis in a string
      {{"(printout t \"a", "b)\")"}, true, false},  // a string across lines
      {{"(printout t \"\\\")\""}, false, false},    // an escaped quote
      {{"(a ; comment )"}, false, false},           // a parenthesis in a comment
      {{"(a \\( b)"}, true, false},                 // an escaped parenthesis in a word
      {{"abc"}, true, false},
      {{")"}, true, false},  // more closed than opened
      {{"", "  ; only a comment", "\t"}, true, true},
      {{"(a", "", "b"}, false, false},
  };
  for (const TCase& c : cases) {
    TCommandBuffer b;
    std::string joined;
    for (const std::string& l : c.Lines) {
      b.Append(l);
      joined += l + "\n";
    }
    EXPECT_EQ(b.IsComplete(), c.Complete) << joined;
    EXPECT_EQ(b.IsEmpty(), c.Empty) << joined;
    EXPECT_EQ(b.Take(), joined);
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_TRUE(b.IsComplete());
  }
}
