// The deducer program at a terminal: it runs on a pseudo-terminal, and the
// test types at it and waits for what it prints (a wait has a generous
// deadline as a safety net; no test depends on timing).
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ProcessHelper.h"

namespace {

class TTerminalSession {
 public:
  explicit TTerminalSession(const std::string& Home, std::vector<std::string> Args = {}) {
    Args.insert(Args.begin(), KB_DEDUCER_PATH);
    std::vector<char*> argv;
    for (std::string& a : Args) argv.push_back(a.data());
    argv.push_back(nullptr);
    Pid_ = ::forkpty(&Fd_, nullptr, nullptr, nullptr);
    if (Pid_ == 0) {
      ::setenv("HOME", Home.c_str(), 1);
      ::setenv("TERM", "dumb", 1);
      ::execv(KB_DEDUCER_PATH, argv.data());
      ::_exit(127);
    }
  }
  ~TTerminalSession() {
    if (Pid_ > 0 && !Ended_) {
      ::kill(Pid_, SIGKILL);
      ::waitpid(Pid_, nullptr, 0);
    }
    if (Fd_ >= 0) ::close(Fd_);
  }
  bool Started() const { return Pid_ > 0; }

  void Type(const std::string& Keys) {
    [[maybe_unused]] ssize_t n = ::write(Fd_, Keys.data(), Keys.size());
  }
  // Reads until Text has appeared after what earlier waits consumed; true
  // when it did.
  bool WaitFor(const std::string& Text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
      const size_t at = Screen_.find(Text, Seen_);
      if (at != std::string::npos) {
        Seen_ = at + Text.size();
        return true;
      }
      if (std::chrono::steady_clock::now() > deadline) return false;
      pollfd p{Fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buf[1024];
      const ssize_t n = ::read(Fd_, buf, sizeof buf);
      if (n <= 0) return Screen_.find(Text, Seen_) != std::string::npos;
      Screen_.append(buf, static_cast<size_t>(n));
    }
  }
  // WaitFor(Prompt), then waits until the line editor has the terminal
  // (not in canonical mode): keys typed before that would be taken by the
  // terminal's own line discipline.
  bool WaitForPrompt(const std::string& Prompt) {
    if (!WaitFor(Prompt)) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
      termios t{};
      if (::tcgetattr(Fd_, &t) == 0 && !(t.c_lflag & ICANON)) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      pollfd p{Fd_, POLLIN, 0};
      if (::poll(&p, 1, 10) > 0) {
        char buf[1024];
        const ssize_t n = ::read(Fd_, buf, sizeof buf);
        if (n > 0) Screen_.append(buf, static_cast<size_t>(n));
      }
    }
  }
  // Waits for the program to end; its exit status (128 + signal if killed).
  int Wait() {
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (::waitpid(Pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return -1;
      // Keep draining, so that the program never blocks on output.
      pollfd p{Fd_, POLLIN, 0};
      if (::poll(&p, 1, 50) > 0) {
        char buf[1024];
        const ssize_t n = ::read(Fd_, buf, sizeof buf);
        if (n > 0) Screen_.append(buf, static_cast<size_t>(n));
      }
    }
    Ended_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  const std::string& Screen() const { return Screen_; }

 private:
  pid_t Pid_ = -1;
  int Fd_ = -1;
  bool Ended_ = false;
  std::string Screen_;
  size_t Seen_ = 0;
};

}  // namespace

TEST(Terminal, PromptsEditsAndEndsWithCtrlD) {
  kb::test::TTempDir home;
  TTerminalSession s(home.Path());
  ASSERT_TRUE(s.Started());
  // A word on how to leave, then the prompt.
  ASSERT_TRUE(s.WaitFor("deducer ")) << s.Screen();
  ASSERT_TRUE(
      s.WaitFor(": commands in the CLIPS rule language; (exit) or Ctrl-D ends the "
                "session.\r\n"))
      << s.Screen();
  ASSERT_TRUE(s.WaitForPrompt("deducer> ")) << s.Screen();
  // A construct over two lines: a continuation prompt, then the result.
  s.Type("(+ 1\r");
  ASSERT_TRUE(s.WaitForPrompt("       > ")) << s.Screen();
  s.Type("2)\r");
  ASSERT_TRUE(s.WaitForPrompt("3\r\ndeducer> ")) << s.Screen();
  // An error is reported and the session goes on.
  s.Type("(prntout t 1)\r");
  ASSERT_TRUE(s.WaitFor("Function is unimplemented or unassigned: prntout")) << s.Screen();
  ASSERT_TRUE(s.WaitForPrompt("deducer> ")) << s.Screen();
  // readline takes its answer from the terminal, after the question.
  s.Type("(printout t \"Name? \") (printout t \"[\" (readline) \"]\" crlf)\r");
  ASSERT_TRUE(s.WaitForPrompt("Name? \rName? ")) << s.Screen();
  s.Type("Ada\r");
  ASSERT_TRUE(s.WaitForPrompt("[Ada]\r\ndeducer> ")) << s.Screen();
  s.Type("\x04");
  EXPECT_EQ(s.Wait(), 0) << s.Screen();
}

TEST(Terminal, DialogsAskAtThePromptAndCtrlDCancelsOnlyTheDialog) {
  kb::test::TTempDir home;
  TTerminalSession s(home.Path());
  ASSERT_TRUE(s.Started());
  ASSERT_TRUE(s.WaitForPrompt("deducer> ")) << s.Screen();
  // The question is the line editor's prompt; the answer is typed after it.
  s.Type("(input-box \"Customer\" \"Name?\" \"Bob\")\r");
  ASSERT_TRUE(s.WaitForPrompt("Customer\r\nName? [Bob] \rName? [Bob] ")) << s.Screen();
  s.Type("Ada\r");
  ASSERT_TRUE(s.WaitForPrompt("\"Ada\"\r\ndeducer> ")) << s.Screen();
  // An answer that names no button asks again; Ctrl-D closes the dialog
  // without a choice, and the session goes on.
  s.Type("(message-dlg \"Sure?\" mtConfirmation \"[mbYes,mbNo]\")\r");
  ASSERT_TRUE(s.WaitForPrompt("Confirmation: Sure?\r\nYes/No? \rYes/No? ")) << s.Screen();
  s.Type("maybe\r");
  ASSERT_TRUE(s.WaitForPrompt("Please answer Yes or No.\r\nYes/No? \rYes/No? ")) << s.Screen();
  s.Type("\x04");
  ASSERT_TRUE(s.WaitForPrompt("No input: No is taken.\r\n\"mrNo\"\r\ndeducer> ")) << s.Screen();
  s.Type("(+ 1 2)\r");
  ASSERT_TRUE(s.WaitForPrompt("3\r\ndeducer> ")) << s.Screen();
  s.Type("\x04");
  EXPECT_EQ(s.Wait(), 0) << s.Screen();
}

TEST(Terminal, CtrlCCancelsTheLineOrHaltsTheCommand) {
  kb::test::TTempDir home;
  TTerminalSession s(home.Path());
  ASSERT_TRUE(s.Started());
  ASSERT_TRUE(s.WaitForPrompt("deducer> ")) << s.Screen();
  // At the prompt, Ctrl-C drops what was typed, also over several lines.
  s.Type("(printout t \"dropped\"\r");
  ASSERT_TRUE(s.WaitForPrompt("       > ")) << s.Screen();
  s.Type("\x03");
  ASSERT_TRUE(s.WaitForPrompt("deducer> ")) << s.Screen();
  s.Type("(printout t \"kept\" crlf)\r");
  ASSERT_TRUE(s.WaitForPrompt("kept\r\ndeducer> ")) << s.Screen();
  EXPECT_EQ(s.Screen().find("dropped\r\n"), std::string::npos) << s.Screen();
  // Ctrl-C during a read ends that read only.
  s.Type("(printout t \"? \") (printout t \"<\" (readline) \">\" crlf)\r");
  // The question is shown again as the prompt of the answer.
  ASSERT_TRUE(s.WaitForPrompt("? \r? ")) << s.Screen();
  s.Type("\x03");
  ASSERT_TRUE(s.WaitForPrompt("<EOF>\r\ndeducer> ")) << s.Screen();
  // A command that does not stop: Ctrl-C stops it, also inside "try", and
  // the session goes on.
  s.Type(
      "(printout t \"looping\" crlf) (try (while TRUE do (+ 1 1)) catch (printout t caught "
      "crlf))\r");
  ASSERT_TRUE(s.WaitFor("looping\r\n")) << s.Screen();
  s.Type("\x03");
  ASSERT_TRUE(s.WaitFor("Interrupted: halting (press Ctrl-C again to quit)")) << s.Screen();
  ASSERT_TRUE(s.WaitForPrompt("deducer> ")) << s.Screen();
  // So does a run whose rules never stop firing.
  s.Type("(defrule again ?t <- (tick ?n) => (retract ?t) (assert (tick (+ ?n 1))))\r");
  ASSERT_TRUE(s.WaitForPrompt("deducer> ")) << s.Screen();
  s.Type("(assert (tick 0)) (printout t \"running\" crlf) (run)\r");
  ASSERT_TRUE(s.WaitFor("running\r\n")) << s.Screen();
  s.Type("\x03");
  ASSERT_TRUE(s.WaitFor("press Ctrl-C again to quit")) << s.Screen();
  ASSERT_TRUE(s.WaitForPrompt("deducer> ")) << s.Screen();
  s.Type("(printout t \"still here\" crlf)\r");
  ASSERT_TRUE(s.WaitForPrompt("still here\r\ndeducer> ")) << s.Screen();
  EXPECT_EQ(s.Screen().find("caught\r\n"), std::string::npos) << s.Screen();
  s.Type("\x04");
  EXPECT_EQ(s.Wait(), 0) << s.Screen();
}

TEST(Terminal, ExitEndsTheSessionAndHistoryIsKept) {
  kb::test::TTempDir home;
  {
    TTerminalSession s(home.Path());
    ASSERT_TRUE(s.Started());
    ASSERT_TRUE(s.WaitForPrompt("deducer> ")) << s.Screen();
    s.Type("(+ 40\r");
    ASSERT_TRUE(s.WaitForPrompt("       > ")) << s.Screen();
    s.Type("2)\r");
    ASSERT_TRUE(s.WaitForPrompt("42\r\ndeducer> ")) << s.Screen();
    s.Type("(exit)\r");
    EXPECT_EQ(s.Wait(), 0) << s.Screen();
  }
  // The next session recalls the command (Ctrl-P: the previous line).
  TTerminalSession s(home.Path());
  ASSERT_TRUE(s.WaitForPrompt("deducer> ")) << s.Screen();
  s.Type("\x10\x10");
  ASSERT_TRUE(s.WaitFor("(+ 40 2)")) << s.Screen();
  s.Type("\r");
  ASSERT_TRUE(s.WaitForPrompt("42\r\ndeducer> ")) << s.Screen();
  s.Type("\x04");
  EXPECT_EQ(s.Wait(), 0) << s.Screen();
}

TEST(Terminal, RuleErrorsAndAnOpenCommandAtCtrlD) {
  kb::test::TTempDir home;
  TTerminalSession s(home.Path());
  ASSERT_TRUE(s.Started());
  ASSERT_TRUE(s.WaitForPrompt("deducer> ")) << s.Screen();
  // An error in a rule's actions names the rule; the session goes on.
  s.Type("(defrule broken (go) => (printout t \"half\") (div 1 0))\r");
  ASSERT_TRUE(s.WaitForPrompt("deducer> ")) << s.Screen();
  s.Type("(assert (go)) (run)\r");
  // The message starts on a line of its own, after what the rule printed.
  ASSERT_TRUE(s.WaitFor("half\r\nIn rule broken: Division by zero in div function call\r\n"))
      << s.Screen();
  ASSERT_TRUE(s.WaitForPrompt("deducer> ")) << s.Screen();
  s.Type("(printout t \"still here\" crlf)\r");
  ASSERT_TRUE(s.WaitForPrompt("still here\r\ndeducer> ")) << s.Screen();
  // Ctrl-D in the middle of a construct: what is missing is reported and
  // the session ends (errors at a terminal do not make it fail).
  s.Type("(deffunction f ()\r");
  ASSERT_TRUE(s.WaitForPrompt("       > ")) << s.Screen();
  s.Type("\x04");
  ASSERT_TRUE(s.WaitFor("Parsing Error, Unexpected end of stream in ParseFunction")) << s.Screen();
  EXPECT_EQ(s.Wait(), 0) << s.Screen();
}

TEST(Terminal, CtrlCStopsARunOfTheCommandLine) {
  // Not interactive: the run halts and the program ends as failed.
  kb::test::TTempDir home;
  const std::string file = home.File("loop.clp");
  std::ofstream(file)
      << "(deffacts start (tick 0))\n"
         "(defrule first (declare (salience 1)) => (printout t \"running\" crlf))\n"
         "(defrule again ?t <- (tick ?n) => (retract ?t) (assert (tick (+ ?n 1))))\n";
  TTerminalSession s(home.Path(), {"--run", "-i", file});
  ASSERT_TRUE(s.Started());
  ASSERT_TRUE(s.WaitFor("running\r\n")) << s.Screen();
  s.Type("\x03");
  ASSERT_TRUE(s.WaitFor("Interrupted: halting (press Ctrl-C again to quit)")) << s.Screen();
  EXPECT_EQ(s.Wait(), 1) << s.Screen();
  EXPECT_EQ(s.Screen().find("deducer> "), std::string::npos) << s.Screen();

  // So does a run that waits for an answer: the read ends with it.
  const std::string ask = home.File("ask.clp");
  std::ofstream(ask) << "(defrule ask => (printout t \"Name? \") (bind ?n (readline))\n"
                        "  (printout t \"not reached\" crlf))\n";
  TTerminalSession q(home.Path(), {"--run", ask});
  ASSERT_TRUE(q.Started());
  ASSERT_TRUE(q.WaitFor("Name? ")) << q.Screen();
  q.Type("\x03");
  ASSERT_TRUE(q.WaitFor("Interrupted: halting (press Ctrl-C again to quit)")) << q.Screen();
  EXPECT_EQ(q.Wait(), 1) << q.Screen();
  EXPECT_EQ(q.Screen().find("not reached"), std::string::npos) << q.Screen();
}
