// The deducer program: its options, its standard output and the session
// that loads files, executes commands and batches, and reads commands from
// standard input.
//
// The session owns nothing of the engine but its event handlers: everything
// the engine prints to "t" goes to standard output (TOutput), other logical
// names that are not open raise SInvalidStreamName; "read" and "readline"
// on "t" read standard input through the engine's tokenizer
// (TDeducer::SetStdInput), which the command loop reads too, and so do the
// dialogs (TTerminalDialogs).
#pragma once

#include <climits>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Deducer.h"
#include "tools/deducer/Dialogs.h"
#include "tools/deducer/Terminal.h"

namespace deducer {

struct TOptions {
  // One -e or -b, in the order given.
  struct TStep {
    bool IsBatch = false;
    std::string Text;  // the commands, or the batch file's name
  };
  std::vector<std::string> Files;
  std::vector<TStep> Steps;
  kb::TConstructWatches Watch;
  bool Interactive = false;
  // -r: Reset and Run after the files and steps, at most MaxRules firings.
  bool Run = false;
  int32_t MaxRules = INT32_MAX;
  bool KeepCrLf = false;
  bool Help = false;
  bool Version = false;
};

// Reads the command line. On bad usage returns false with Error holding
// the message (without the program name).
bool ParseOptions(int argc, char** argv, TOptions& Options, std::string& Error);
// The text of --help.
std::string UsageText();

// Standard output: writes the engine's text, turning CR LF line ends into
// LF unless they are kept, and remembers the partial line written last.
class TOutput {
 public:
  explicit TOutput(bool KeepCrLf) : KeepCrLf_(KeepCrLf) {}
  void Write(std::string_view Text);
  void Flush();
  // The text written since the last line end (at most MaxTail characters;
  // longer partial lines are forgotten).
  std::string& Tail() { return Tail_; }

 private:
  static constexpr size_t MaxTail = 200;
  bool KeepCrLf_;
  bool PendingCr_ = false;  // a CR written last, held back to see if LF follows
  std::string Tail_;
};

class TShell {
 public:
  TShell(kb::TDeducer& Engine, const TOptions& Options);
  ~TShell();
  TShell(const TShell&) = delete;
  TShell& operator=(const TShell&) = delete;

  // Runs the session; returns the exit status.
  int Run();

 private:
  enum class TOutcome { Ok, Error, Exit };
  // Runs Body as one command: reports its error on standard error; an
  // "exit" ends the session.
  template <class F>
  TOutcome Execute(F&& Body, const std::string& ErrorPrefix = std::string());
  TOutcome LoadFile(const std::string& FileName);
  // Reads and executes commands until the input ends or "exit"; returns
  // the exit status.
  int Interact();
  void ReportError(std::string Message);
  int Finish(int Status);

  kb::TDeducer& Engine_;
  const TOptions& Options_;
  TOutput Output_;
  std::unique_ptr<TLineEditorStream> Editor_;  // set when standard input is a terminal
  std::unique_ptr<TFdInputStream> Pipe_;       // set otherwise
  TTerminalDialogs Dialogs_;
  bool ErrorsReported_ = false;
};

}  // namespace deducer
