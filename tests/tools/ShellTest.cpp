// The deducer program driven as a process: options, files, commands,
// standard input, errors and exit statuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "ProcessHelper.h"
#include "deducer/Version.h"

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
  for (const char* option :
       {"--eval TEXT", "--batch FILE", "--run", "--max-rules N", "--watch ITEM", "--interactive",
        "--crlf", "--version", "Examples:", "Exit status"})
    EXPECT_NE(r.Out.find(option), std::string::npos) << option;
  EXPECT_EQ(Run({"-h"}).Out, r.Out);
  // The release of the library, as its package and its headers give it.
  r = Run({"--version"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, "deducer " DEDUCER_VERSION_STRING "\n");
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
      {{"--watch", "nonsense", "-e", "(+ 1 1)"},
       "deducer: cannot watch 'nonsense' (facts, rules, activations, compilations, statistics "
       "or all)\n"},
      {{"-n", "abc"}, "deducer: --max-rules needs a number from 0 to 2147483647, not 'abc'\n"},
      {{"-n", "-1"}, "deducer: --max-rules needs a number from 0 to 2147483647, not '-1'\n"},
      {{"-n", " 5"}, "deducer: --max-rules needs a number from 0 to 2147483647, not ' 5'\n"},
      {{"--max-rules=2147483648"},
       "deducer: --max-rules needs a number from 0 to 2147483647, not '2147483648'\n"},
      {{"--max-rules="}, "deducer: --max-rules needs a number from 0 to 2147483647, not ''\n"},
      {{"-n"}, "deducer: option '-n' needs an argument\n"},
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

  // An open command of -e: nothing of it runs, nor anything after it.
  r = Run({"-e", "(printout t \"a\" crlf) (printout t \"b\"", "-e", "(printout t \"c\")"});
  EXPECT_EQ(r.Out, "a\n");
  EXPECT_EQ(r.Err,
            "Parsing Error, Unexpected end of stream in ParseFunCall at line 1:  ( printout t "
            "\"b\" EOF \n");
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
  // The same at the end of the input, and the dribble file too.
  r = Run({"-e", "(open \"end.txt\" o \"w\") (printout o \"kept too\")", "-e",
           "(dribble-on \"dribble.txt\") (printout t \"seen\" crlf)"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  std::ifstream end(Dir.File("end.txt"));
  std::getline(end, text);
  EXPECT_EQ(text, "kept too");
  std::ifstream dribble(Dir.File("dribble.txt"));
  text.assign(std::istreambuf_iterator<char>(dribble), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("seen"), std::string::npos) << text;
  // A write that failed is reported once, when it is made.
  r = Run({"-e", "(open \"/dev/full\" o \"w\") (printout o \"lost\")"});
  EXPECT_EQ(r.Err, "Stream write error on \"/dev/full\". No space left on device\n");
  EXPECT_EQ(r.Status, 1);
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

TEST_F(Shell, DialogsTakeTheNextInputLineAndCancelAtTheEnd) {
  // In the command loop, a dialog's answer is the line after its command;
  // the lines after that stay commands. Dialogs without a choice read
  // nothing.
  TProcessResult r = Run({"-i"},
                         "(input-box \"Customer\" \"Name?\" \"Bob\")\nAlice\n(+ 1 1)\n"
                         "(message-dlg \"Saved\" mtInformation \"[mbOK]\")\n"
                         "(show-message \"hi\")\n"
                         "(message-dlg \"Sure?\" mtConfirmation \"[mbYes,mbNo]\")\nyes\n"
                         "(+ 2 2)\n");
  EXPECT_EQ(r.Out,
            "Customer\nName? [Bob] Alice\n\"Alice\"\n2\nInformation: Saved\n\"mrOk\"\nhi\n"
            "TRUE\nConfirmation: Sure?\nYes/No? yes\n\"mrYes\"\n4\n");
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(r.Status, 0);
  // An answer that names no button takes that one line and is an error;
  // the commands after it run.
  r = Run({"-i"}, "(message-dlg \"Sure?\" mtConfirmation \"[mbYes,mbNo]\")\n(+ 2 2)\n(+ 3 3)\n");
  EXPECT_EQ(r.Out, "Confirmation: Sure?\nYes/No? (+ 2 2)\n6\n");
  EXPECT_EQ(r.Err, "message-dlg: \"(+ 2 2)\" is not an answer (Yes or No)\n");
  EXPECT_EQ(r.Status, 1);
  // In a batch the answer is the batch's next line, echoed by the batch.
  const std::string batch = Write("ask.bat", "(input-query \"\" \"Name\")\nAda\n(+ 1 1)\n");
  r = Run({"-b", batch}, "not read\n");
  EXPECT_EQ(r.Out, "Name: Ada\n\"Ada\"\n2\n");
  EXPECT_EQ(r.Status, 0);
  // With nothing to read, each dialog is cancelled and says so.
  r = Run({"-e",
           "(input-box \"\" \"Name\" \"Bob\") (input-query \"\" \"Name\") "
           "(message-dlg \"Sure?\" mtConfirmation \"[mbYes,mbNo,mbCancel]\")"});
  EXPECT_EQ(r.Out,
            "Name [Bob]: \nNo input: cancelled, the default \"Bob\" is taken.\n\"Bob\"\n"
            "Name: \nNo input: cancelled.\nFALSE\n"
            "Confirmation: Sure?\nYes/No/Cancel? \nNo input: Cancel is taken.\n\"mrCancel\"\n");
  EXPECT_EQ(r.Status, 0);
}

namespace {

// A rule that takes apples one by one, then one that sees none left.
const char* const Apples =
    "(deftemplate item (slot name) (slot qty (default 0)))\n"
    "(deffacts stock (item (name apple) (qty 2)))\n"
    "(defrule take ?f <- (item (name ?n) (qty ?q&:(> ?q 0)))\n"
    "  => (printout t \"take \" ?n crlf) (modify ?f (qty (- ?q 1))))\n"
    "(defrule gone (item (name ?n) (qty 0)) (not (item (qty ?x&:(> ?x 0))))\n"
    "  => (printout t ?n \" is gone\" crlf))\n";

}  // namespace

TEST_F(Shell, RunResetsAndFiresUpToTheLimit) {
  const std::string file = Write("apples.clp", Apples);
  // Loading alone fires nothing: the facts come with the reset.
  TProcessResult r = Run({file});
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Status, 0);
  r = Run({"--run", file});
  EXPECT_EQ(r.Out, "take apple\ntake apple\napple is gone\n");
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(r.Status, 0);
  // -n fires at most N rules and implies the run; 0 fires none.
  r = Run({"-n", "2", file});
  EXPECT_EQ(r.Out, "take apple\ntake apple\n");
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(Run({"-r", "--max-rules", "0", file}).Out, "");
  EXPECT_EQ(Run({"-r", "-n", "1", file}).Out, "take apple\n");
  // The run comes after the files and the commands, and each run starts
  // afresh from the reset.
  r = Run({"-r", "-e", "(reset) (run 1) (printout t \"commands\" crlf)", file});
  EXPECT_EQ(r.Out, "TRUE\ntake apple\n1\ncommands\ntake apple\ntake apple\napple is gone\n");
  // -r alone runs an empty engine and does not read standard input.
  r = Run({"-r"}, "(printout t \"not read\" crlf)\n");
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Status, 0);
  // -i reads commands after the run.
  r = Run({"-r", "-i", file}, "(run)\n(facts)\n");
  EXPECT_EQ(r.Out,
            "take apple\ntake apple\napple is gone\n0\nf-0 (Initial-Fact)\n"
            "f-3 (item (name apple) (qty 0))\nFor a total of 2 facts.\nTRUE\n");
}

TEST_F(Shell, WatchesTraceTheRun) {
  const std::string file = Write("apples.clp", Apples);
  const std::string facts =
      " ==> f-0 (Initial-Fact)\n"
      " ==> f-1 (item (name apple) (qty 2))\n";
  EXPECT_EQ(Run({"-w", "facts", "--run", file}).Out, facts +
                                                         "take apple\n"
                                                         " <== f-1 (item (name apple) (qty 2))\n"
                                                         " ==> f-2 (item (name apple) (qty 1))\n"
                                                         "take apple\n"
                                                         " <== f-2 (item (name apple) (qty 1))\n"
                                                         " ==> f-3 (item (name apple) (qty 0))\n"
                                                         "apple is gone\n");
  // Rules fired are counted from 0 in each run; a "not" shows as the
  // null fact f--1.
  EXPECT_EQ(Run({"-w", "rules", "--run", file}).Out,
            "FIRE 0 take f-1\ntake apple\n"
            "FIRE 1 take f-2\ntake apple\n"
            "FIRE 2 gone f-3, f--1\napple is gone\n");
  // An activation leaves the agenda when its fact goes (during the firing
  // that modifies it) or when its rule has fired.
  EXPECT_EQ(Run({"-w", "activations", "--run", file}).Out,
            "==> Activation: take : f-1\ntake apple\n<== Activation: take : f-1\n"
            "==> Activation: take : f-2\ntake apple\n<== Activation: take : f-2\n"
            "==> Activation: gone : f-3, f--1\napple is gone\n"
            "<== Activation: gone : f-3, f--1\n");
  // Compilations show as the rules are defined, while the file loads.
  const std::string compilations = "take: +1+1+t\ngone: =1+1=1=1+2+t\n";
  EXPECT_EQ(Run({"-w", "compilations", "--run", file}).Out,
            compilations + "take apple\ntake apple\napple is gone\n");
  EXPECT_EQ(Run({"-w", "compilations", "-w", "rules", "-n", "1", file}).Out,
            compilations + "FIRE 0 take f-1\ntake apple\n");
  // Statistics: four lines after a run that fired rules (the times vary).
  const std::regex statistics(
      "3 rules fired\\.     Run time is [0-9.e+-]+ seconds\n"
      "[0-9.e+-]+ rules per second\n"
      "2 mean number of facts \\(2 maximum\\)\n"
      "0\\.666666666666667 mean number of activations \\(1 maximum\\)\n");
  TProcessResult r = Run({"-w", "statistics", "--run", file});
  const std::string output = "take apple\ntake apple\napple is gone\n";
  ASSERT_EQ(r.Out.substr(0, output.size()), output);
  EXPECT_TRUE(std::regex_match(r.Out.substr(output.size()), statistics)) << r.Out;
  EXPECT_EQ(Run({"-w", "statistics", "-n", "0", file}).Out, "");
  // All of them, interleaved as they happen.
  r = Run({"-w", "all", "--run", file});
  const std::string all = compilations + facts +
                          "==> Activation: take : f-1\n"
                          "FIRE 0 take f-1\n"
                          "take apple\n"
                          "<== Activation: take : f-1\n"
                          " <== f-1 (item (name apple) (qty 2))\n"
                          " ==> f-2 (item (name apple) (qty 1))\n"
                          "==> Activation: take : f-2\n"
                          "FIRE 1 take f-2\n"
                          "take apple\n"
                          "<== Activation: take : f-2\n"
                          " <== f-2 (item (name apple) (qty 1))\n"
                          " ==> f-3 (item (name apple) (qty 0))\n"
                          "==> Activation: gone : f-3, f--1\n"
                          "FIRE 2 gone f-3, f--1\n"
                          "apple is gone\n"
                          "<== Activation: gone : f-3, f--1\n";
  ASSERT_EQ(r.Out.substr(0, all.size()), all);
  EXPECT_TRUE(std::regex_match(r.Out.substr(all.size()), statistics)) << r.Out;
  EXPECT_EQ(r.Status, 0);
  // Watching changes no result.
  r = Run({"-w", "facts", "-e", "(+ 1 1)"});
  EXPECT_EQ(r.Out, "2\n");
}

TEST_F(Shell, AnErrorInARuleNamesTheRuleAndEndsTheRun) {
  const std::string file =
      Write("bad.clp",
            "(deffacts start (a 1) (b 2))\n"
            "(defrule first (a ?x) => (printout t \"first \" ?x crlf))\n"
            "(defrule broken (declare (salience 5)) (b ?x)\n"
            "  => (printout t \"before\" crlf) (div ?x 0) (printout t \"after\" crlf))\n"
            "(defrule last (declare (salience -5)) => (printout t \"last\" crlf))\n");
  // What the rule printed before stays; nothing fires after; -i is not
  // reached.
  TProcessResult r = Run({"--run", "-i", file}, "(printout t \"not read\" crlf)\n");
  EXPECT_EQ(r.Out, "before\n");
  EXPECT_EQ(r.Err, "In rule broken: Division by zero in div function call\n");
  EXPECT_EQ(r.Status, 1);
  // A run inside a file names the file too.
  const std::string runs = Write("runs.clp", "(reset)\n(run)\n(printout t \"not reached\")\n");
  r = Run({file, runs});
  EXPECT_EQ(r.Out, "TRUE\nbefore\n");
  EXPECT_EQ(r.Err, runs + ": In rule broken: Division by zero in div function call\n");
  EXPECT_EQ(r.Status, 1);
  // From standard input the session goes on: the next run fires what is
  // left; an error outside a run names no rule, even after a caught one.
  r = Run({file, "-i"},
          "(reset)\n(run)\n(run)\n(assert (b 3))\n"
          "(try (run) catch (printout t \"caught: \" ?__ERROR crlf))\n(div 1 0)\n");
  EXPECT_EQ(r.Out,
            "TRUE\nbefore\nfirst 1\nlast\n2\n<Fact-3>\nbefore\n"
            "caught: Division by zero in div function call\n");
  EXPECT_EQ(r.Err,
            "In rule broken: Division by zero in div function call\n"
            "Division by zero in div function call\n");
  EXPECT_EQ(r.Status, 1);
}

// The examples of the repository, run as the README shows them (each also
// runs as a language test, tests/language/examples).
class Examples : public Shell {
 protected:
  TProcessResult RunExample(const std::string& Name, const std::string& Input = std::string()) {
    const char* source = std::getenv("KB_SOURCE_DIR");
    EXPECT_NE(source, nullptr);
    return Run({"--run", std::string(source ? source : "") + "/examples/" + Name}, Input);
  }
};

TEST_F(Examples, SavingsRunsWithoutRun) {
  // What scripts/run.sh runs without arguments: top-level calls only.
  const char* source = std::getenv("KB_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  TProcessResult r = Run({std::string(source) + "/examples/savings.clp"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_NE(r.Out.find("The goal is reached after 8 years.\n"), std::string::npos) << r.Out;
}

TEST_F(Examples, AnimalsAsksAgainAndStopsAtTheEndOfTheInput) {
  // Answers that are neither yes nor no are asked again; y, n and any
  // case will do; answers left over are not read.
  TProcessResult r = RunExample("animals.clp", "no\nYes\nmaybe\nn\ny\nno\n");
  EXPECT_EQ(r.Out,
            "Does it have hair or fur? (yes/no) "
            "Does it have feathers? (yes/no) "
            "Does it live in water? (yes/no) Please answer yes or no.\n"
            "Does it live in water? (yes/no) "
            "Does it hunt other animals? (yes/no) \n"
            "It is an eagle.\n");
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(r.Status, 0);
  // The end of the input stops the questions.
  r = RunExample("animals.clp", "no\n");
  EXPECT_EQ(r.Out,
            "Does it have hair or fur? (yes/no) "
            "Does it have feathers? (yes/no) \n"
            "No more answers; stopping.\n");
  EXPECT_EQ(r.Status, 0);
}
