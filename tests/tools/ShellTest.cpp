// The deducer program driven as a process: options, files, commands,
// standard input, errors and exit statuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ProcessHelper.h"

using kb::test::RunProcess;
using kb::test::TProcessResult;
using kb::test::TTempDir;

namespace {

class Shell : public ::testing::Test {
 protected:
  TProcessResult Run(std::vector<std::string> Args, const std::string& Input = std::string()) {
    Args.insert(Args.begin(), KB_DEDUCER_PATH);
    return RunProcess(Args, Input, Dir.Path());
  }
  std::string Write(const std::string& Name, const std::string& Text) {
    std::ofstream(Dir.File(Name), std::ios::binary) << Text;
    return Dir.File(Name);
  }
  TTempDir Dir;
};

}  // namespace

TEST_F(Shell, HelpAndVersion) {
  TProcessResult r = Run({"--help"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out.rfind("Usage: deducer [OPTIONS] [FILE...]\n", 0), 0u) << r.Out;
  for (const char* option : {"--eval TEXT", "--batch FILE", "--watch ITEM", "--interactive",
                             "--crlf", "--version", "Exit status"})
    EXPECT_NE(r.Out.find(option), std::string::npos) << option;
  EXPECT_EQ(Run({"-h"}).Out, r.Out);
  r = Run({"--version"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out.rfind("deducer ", 0), 0u);
  EXPECT_EQ(r.Err, "");
}

TEST_F(Shell, BadUsageExitsWithTwo) {
  struct TCase {
    std::vector<std::string> Args;
    const char* Message;
  };
  const TCase cases[] = {
      {{"--bogus"}, "deducer: unknown option '--bogus'\n"},
      {{"-x"}, "deducer: unknown option '-x'\n"},
      {{"-e"}, "deducer: option '-e' needs an argument\n"},
      {{"--batch"}, "deducer: option '--batch' needs an argument\n"},
      {{"-w", "fact"},
       "deducer: cannot watch 'fact' (facts, rules, activations, compilations, statistics or "
       "all)\n"},
  };
  for (const TCase& c : cases) {
    TProcessResult r = Run(c.Args, "(printout t \"must not run\" crlf)\n");
    EXPECT_EQ(r.Status, 2) << c.Message;
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(r.Err, std::string(c.Message) + "Try 'deducer --help' for more information.\n");
  }
}

TEST_F(Shell, FilesThenCommandsAndBatchesInOrder) {
  const std::string a = Write("a.clp",
                              "(deffunction double (?x) (* 2 ?x))\n"
                              "(printout t \"a loaded\" crlf)\n"
                              "(double 4)\n");
  const std::string b = Write("b.clp", "(double 5)\n");
  const std::string batch = Write("batch.bat", "(printout t \"batch\" crlf)\n(double 6)\n");
  TProcessResult r = Run({"-e", "(double 1)", a, "-b", batch, "-e", "(double 2)", b}, "ignored\n");
  EXPECT_EQ(r.Out, "a loaded\n8\n10\n2\nbatch\n12\n4\n");
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(r.Status, 0);
}

TEST_F(Shell, LineEndsAreLfUnlessKept) {
  TProcessResult r = Run({"-e", "(printout t \"a\" crlf \"b\")"});
  EXPECT_EQ(r.Out, "a\nb");
  r = Run({"--crlf", "-e", "(printout t \"a\" crlf) (+ 1 1)"});
  EXPECT_EQ(r.Out, "a\r\n2\r\n");
}

TEST_F(Shell, StandardInputIsReadCommandByCommand) {
  // No file, -e or -b: commands come from standard input, without a
  // prompt; a construct may span lines; each error is reported and the
  // session goes on, then ends with status 1.
  TProcessResult r = Run({},
                         "(deffunction f (?x)\n"
                         "   (+ ?x 1))\n"
                         "(f 1)\n"
                         "(printot t \"typo\" crlf)\n"
                         "\n"
                         "; a comment\n"
                         "(printout t \"still here\" crlf) (f 2)\n"
                         "(printout t \"(\" \";\" crlf)\n");
  EXPECT_EQ(r.Out, "2\nstill here\n3\n(;\n");
  EXPECT_EQ(r.Err, "Function is unimplemented or unassigned: printot\n");
  EXPECT_EQ(r.Status, 1);

  r = Run({}, "(+ 1 2)\n");
  EXPECT_EQ(r.Out, "3\n");
  EXPECT_EQ(r.Status, 0);
  // An empty input is a successful, silent session.
  r = Run({});
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Status, 0);
}

TEST_F(Shell, UnbalancedInputIsReportedAtTheEnd) {
  TProcessResult r = Run({}, "(printout t \"ok\" crlf)\n(+ 1\n  2\n");
  EXPECT_EQ(r.Out, "ok\n");
  EXPECT_NE(r.Err.find("Parsing Error, Unexpected end of stream in ParseFunCall"),
            std::string::npos)
      << r.Err;
  EXPECT_EQ(r.Status, 1);

  const std::string file = Write("open.clp", "(printout t \"first\" crlf)\n(deffunction f ()\n");
  r = Run({file, "-e", "(printout t \"not run\" crlf)"});
  EXPECT_EQ(r.Out, "first\n");
  EXPECT_EQ(r.Err.rfind(file + ": Parsing Error, ", 0), 0u) << r.Err;
  EXPECT_EQ(r.Status, 1);
}

TEST_F(Shell, ErrorsWhileLoadingEndTheProgram) {
  // A missing file.
  TProcessResult r = Run({"missing.clp", "-e", "(printout t \"not run\" crlf)"});
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Err, "Cannot open file \"missing.clp\". No such file or directory\n");
  EXPECT_EQ(r.Status, 1);
  // A directory.
  r = Run({"."});
  EXPECT_EQ(r.Err, "Cannot open file \".\". Is a directory\n");
  EXPECT_EQ(r.Status, 1);
  // A typo in a command of a file: what ran before stays printed.
  const std::string file = Write("typo.clp", "(printout t \"one\" crlf)\n(prntout t \"two\")\n");
  r = Run({file});
  EXPECT_EQ(r.Out, "one\n");
  EXPECT_EQ(r.Err, file + ": Function is unimplemented or unassigned: prntout\n");
  EXPECT_EQ(r.Status, 1);
  // A failing -e, and a missing batch file.
  r = Run({"-e", "(div 1 0)", "-e", "(printout t \"not run\")"});
  EXPECT_EQ(r.Err, "Division by zero in div function call\n");
  EXPECT_EQ(r.Status, 1);
  r = Run({"-b", "missing.bat"});
  EXPECT_EQ(r.Err, "Cannot open file \"missing.bat\". No such file or directory\n");
  EXPECT_EQ(r.Status, 1);
  // A logical name that is not open.
  r = Run({"-e", "(printout nowhere \"x\")"});
  EXPECT_EQ(r.Err, "Invalid stream name: nowhere\n");
  EXPECT_EQ(r.Status, 1);
}

TEST_F(Shell, ExitEndsEverythingCleanly) {
  const std::string file =
      Write("exit.clp", "(printout t \"before\" crlf)\n(exit)\n(printout t \"after\")\n");
  TProcessResult r = Run({file, "-e", "(printout t \"not run\")", "-i"}, "(printout t \"no\")\n");
  EXPECT_EQ(r.Out, "before\n");
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(r.Status, 0);
  // exit inside a deffunction called from standard input.
  r = Run({},
          "(deffunction quit () (exit))\n(printout t \"a\" crlf)\n(quit)\n(printout t \"b\")\n");
  EXPECT_EQ(r.Out, "a\n");
  EXPECT_EQ(r.Status, 0);
  // Files opened by "open" are closed (and flushed) on the way out.
  r = Run({"-e", "(open \"out.txt\" o \"w\") (printout o \"kept\") (exit)"});
  EXPECT_EQ(r.Status, 0);
  std::ifstream in(Dir.File("out.txt"));
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "kept");
}

TEST_F(Shell, ReadAndReadLineTakeStandardInput) {
  // With a file, standard input is the input of read and readline.
  const std::string file = Write("ask.clp",
                                 "(printout t \"name? \")\n"
                                 "(bind ?name (readline))\n"
                                 "(printout t \"age? \")\n"
                                 "(bind ?age (read))\n"
                                 "(printout t ?name \" is \" (+ ?age 1) \" next year\" crlf)\n"
                                 "(printout t (readline) (readline) crlf)\n");
  TProcessResult r = Run({file}, "Ada Lovelace\n36 years\n");
  EXPECT_EQ(r.Out, "name? \"Ada Lovelace\"\nage? 36\nAda Lovelace is 37 next year\nEOFEOF\n");
  EXPECT_EQ(r.Status, 0);
  // In the command loop, the lines after a command are its input.
  r = Run({"-i"}, "(printout t \"<\" (readline) \">\" crlf)\ndata line\n(+ 1 1)\n");
  EXPECT_EQ(r.Out, "<data line>\n2\n");
  // -i after a file.
  const std::string lib = Write("lib.clp", "(deffunction sq (?x) (* ?x ?x))\n");
  r = Run({lib, "-i"}, "(sq 7)\n");
  EXPECT_EQ(r.Out, "49\n");
  EXPECT_EQ(r.Status, 0);
}

TEST_F(Shell, WatchOptionsAreAccepted) {
  TProcessResult r = Run({"-w", "facts", "--watch", "all", "-e", "(+ 1 1)"});
  EXPECT_EQ(r.Out, "2\n");
  EXPECT_EQ(r.Status, 0);
}

TEST_F(Shell, TheExampleRuns) {
  const char* source = std::getenv("KB_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  TProcessResult r = Run({std::string(source) + "/examples/savings.clp"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_NE(r.Out.find("The goal is reached after 8 years.\n"), std::string::npos) << r.Out;
}
