// The deducer program's options and session.
#include "tools/deducer/Shell.h"

#include <getopt.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>

#include "engine/DeducerIO.h"
#include "parser/KbParser.h"
#include "tools/deducer/CommandError.h"

namespace deducer {

namespace {

constexpr const char* CommandPrompt = "deducer> ";
constexpr const char* ContinuationPrompt = "       > ";

// The watch items of -w, as the "watch" command names them.
struct TWatchItem {
  const char* Name;
  kb::TConstructWatches Watches;
};
constexpr TWatchItem WatchItems[] = {
    {"facts", {kb::cwFact}},
    {"rules", {kb::cwRule}},
    {"activations", {kb::cwActivation}},
    {"compilations", {kb::cwCompilation}},
    {"statistics", {kb::cwStatistics}},
    {"all", {kb::cwActivation, kb::cwFact, kb::cwRule, kb::cwCompilation, kb::cwStatistics}},
};

// Text for a person: CR LF line ends become LF, and it ends with a line end.
std::string AsLines(std::string Text) {
  std::string r;
  r.reserve(Text.size() + 1);
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') continue;
    r += Text[i];
  }
  if (r.empty() || r.back() != '\n') r += '\n';
  return r;
}

}  // namespace

// ------------------------------------------------------------------- options

std::string UsageText() {
  return "Usage: deducer [OPTIONS] [FILE...]\n"
         "Runs knowledge bases and commands written in the CLIPS rule language.\n"
         "\n"
         "  FILE                load each file in order: constructs are defined,\n"
         "                      top-level calls run and their results are echoed\n"
         "  -e, --eval TEXT     parse and execute TEXT after the files\n"
         "  -b, --batch FILE    execute FILE as a batch, command after command, as if\n"
         "                      typed (read and readline take the lines that follow)\n"
         "                      (-e and -b are repeatable and run in the order given)\n"
         "  -r, --run           then reset the engine and run its rules (the rules'\n"
         "                      output is shown; what reset and run return is not)\n"
         "  -n, --max-rules N   fire at most N rules in that run (implies --run)\n"
         "  -w, --watch ITEM    trace facts, rules, activations, compilations,\n"
         "                      statistics or all (repeatable)\n"
         "  -i, --interactive   then read commands from standard input; the default\n"
         "                      when no FILE, -e, -b or -r is given\n"
         "      --crlf          keep CR LF line ends on standard output\n"
         "  -h, --help          show this help and exit\n"
         "      --version       show the version and exit\n"
         "\n"
         "Examples:\n"
         "  deducer --run examples/blocks.clp     load a knowledge base and run it\n"
         "  deducer -w rules -r examples/blocks.clp\n"
         "                                        the same, showing each rule fired\n"
         "  deducer -e '(+ 1 2)'                  execute one command\n"
         "  deducer                               start the interactive shell\n"
         "\n"
         "At a terminal, commands may span lines (input is read until the parentheses\n"
         "balance); Ctrl-C halts a running command, Ctrl-D or (exit) ends the session.\n"
         "\n"
         "Dialogs (input-box, input-query, message-dlg) print their question and take\n"
         "the next input line as the answer, as readline does: the text (an empty line\n"
         "takes the default), or a button's label (yes, No to All, ...). At the end of\n"
         "the input they are cancelled and say so. show-message only prints.\n"
         "\n"
         "Exit status: 0 on success; 1 when loading or running raised an error or was\n"
         "interrupted (or any command read from a non-terminal standard input failed);\n"
         "2 on bad usage.\n";
}

bool ParseOptions(int argc, char** argv, TOptions& Options, std::string& Error) {
  enum { OptCrLf = 1000, OptVersion };
  static const option longOptions[] = {
      {"eval", required_argument, nullptr, 'e'},
      {"batch", required_argument, nullptr, 'b'},
      {"watch", required_argument, nullptr, 'w'},
      {"interactive", no_argument, nullptr, 'i'},
      {"run", no_argument, nullptr, 'r'},
      {"max-rules", required_argument, nullptr, 'n'},
      {"crlf", no_argument, nullptr, OptCrLf},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, OptVersion},
      {nullptr, 0, nullptr, 0},
  };
  opterr = 0;
  optind = 1;
  // The option getopt refused, as written: a short one by its letter, a
  // long one as it stands on the command line.
  auto refused = [&](bool ByLetter) -> std::string {
    if (ByLetter && optopt) return "-" + std::string(1, static_cast<char>(optopt));
    std::string text = argv[optind - 1];
    return text.substr(0, text.find('='));
  };
  for (;;) {
    const int c = getopt_long(argc, argv, ":e:b:w:irn:h", longOptions, nullptr);
    if (c == -1) break;
    switch (c) {
      case 'e': Options.Steps.push_back({false, optarg}); break;
      case 'b': Options.Steps.push_back({true, optarg}); break;
      case 'w': {
        const TWatchItem* found = nullptr;
        for (const TWatchItem& item : WatchItems)
          if (std::string_view(optarg) == item.Name) found = &item;
        if (!found) {
          Error = "cannot watch '" + std::string(optarg) +
                  "' (facts, rules, activations, compilations, statistics or all)";
          return false;
        }
        Options.Watch = Options.Watch | found->Watches;
        break;
      }
      case 'i': Options.Interactive = true; break;
      case 'r': Options.Run = true; break;
      case 'n': {
        char* end = nullptr;
        errno = 0;
        const long n = std::strtol(optarg, &end, 10);
        // Digits only: strtol alone would also take blanks and a sign.
        if (!std::isdigit(static_cast<unsigned char>(*optarg)) || *end || errno || n > INT32_MAX) {
          Error = "--max-rules needs a number from 0 to " + std::to_string(INT32_MAX) + ", not '" +
                  std::string(optarg) + "'";
          return false;
        }
        Options.Run = true;
        Options.MaxRules = static_cast<int32_t>(n);
        break;
      }
      case 'h': Options.Help = true; break;
      case OptCrLf: Options.KeepCrLf = true; break;
      case OptVersion: Options.Version = true; break;
      case ':': Error = "option '" + refused(false) + "' needs an argument"; return false;
      default: Error = "unknown option '" + refused(true) + "'"; return false;
    }
  }
  for (int i = optind; i < argc; ++i) Options.Files.emplace_back(argv[i]);
  if (Options.Files.empty() && Options.Steps.empty() && !Options.Run) Options.Interactive = true;
  return true;
}

// -------------------------------------------------------------------- output

void TOutput::Write(std::string_view Text) {
  if (Text.empty()) return;
  std::string out;
  if (KeepCrLf_) {
    out.assign(Text);
  } else {
    out.reserve(Text.size() + 1);
    for (char c : Text) {
      if (PendingCr_) {
        PendingCr_ = false;
        if (c != '\n') out += '\r';
      }
      if (c == '\r') {
        PendingCr_ = true;
        continue;
      }
      out += c;
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  const size_t lineEnd = out.find_last_of('\n');
  if (lineEnd != std::string::npos)
    Tail_.assign(out, lineEnd + 1);
  else
    Tail_ += out;
  if (Tail_.size() > MaxTail) Tail_.clear();
}

void TOutput::Flush() {
  if (PendingCr_) {
    std::fputc('\r', stdout);
    PendingCr_ = false;
  }
  std::fflush(stdout);
}

// ------------------------------------------------------------------- session

TShell::TShell(kb::TDeducer& Engine, const TOptions& Options)
    : Engine_(Engine), Options_(Options), Output_(Options.KeepCrLf), Dialogs_(Engine, Output_) {
  Engine_.SetWatch(Options_.Watch);
  Engine_.SetDialogs(&Dialogs_);
  Engine_.OnPrintOut = [this](kb::TPersistent*, const std::string& OutID, const std::string& Text) {
    // Only "t" reaches the program; an unknown name is a mistake to report.
    if (!kb::IsStandardStreamName(OutID)) kb::KbError(kb::SInvalidStreamName, OutID);
    Output_.Write(Text);
  };
  if (Options_.Interactive && ::isatty(STDIN_FILENO)) {
    const char* home = std::getenv("HOME");
    Editor_ = std::make_unique<TLineEditorStream>(
        home && *home ? std::string(home) + "/.deducer_history" : std::string());
    Editor_->SetOutputTail(&Output_.Tail());
    Engine_.SetStdInput(Editor_.get());
  } else {
    Pipe_ = std::make_unique<TFdInputStream>(STDIN_FILENO);
    Engine_.SetStdInput(Pipe_.get());
  }
  InstallInterruptHandler(&Engine_);
}

TShell::~TShell() {
  Engine_.SetDialogs(nullptr);
  Engine_.SetStdInput(nullptr);
  Engine_.OnPrintOut = nullptr;
  InstallInterruptHandler(nullptr);
}

void TShell::ReportError(std::string Message) {
  ErrorsReported_ = true;
  if (!Output_.Tail().empty() && ::isatty(STDOUT_FILENO)) {
    // The message starts on a line of its own.
    Output_.Write("\n");
  }
  Output_.Flush();
  const std::string text = AsLines(std::move(Message));
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

template <class F>
TShell::TOutcome TShell::Execute(F&& Body, const std::string& ErrorPrefix) {
  TOutcome outcome = TOutcome::Ok;
  // A Ctrl-C meant for the previous command does not stop this one.
  Engine_.SetInterrupted(false);
  SetActivity(TActivity::Running);
  try {
    Body();
  } catch (const kb::EAbort&) {
    if (Engine_.GetExitRequested()) {
      Engine_.SetExitRequested(false);
      outcome = TOutcome::Exit;
    } else {
      // A silent abort: no message, but the command did not complete.
      ErrorsReported_ = true;
      outcome = TOutcome::Error;
    }
  } catch (const std::exception&) {
    ReportError(CommandErrorMessage(Engine_, ErrorPrefix));
    outcome = TOutcome::Error;
  }
  // A command that Ctrl-C halted did not complete (the handler has said
  // so); the presses it handled are forgotten.
  if (TakeInterrupt() && outcome == TOutcome::Ok) {
    ErrorsReported_ = true;
    outcome = TOutcome::Error;
  }
  return outcome;
}

TShell::TOutcome TShell::LoadFile(const std::string& FileName) {
  // Opened here, so that a file that cannot be read is reported by itself
  // while errors inside it name the file; then read as LoadFromFile reads
  // it, construct by construct.
  std::unique_ptr<kb::TFileStream> file;
  try {
    file = std::make_unique<kb::TFileStream>(FileName, kb::fmOpenRead);
  } catch (const kb::Exception& e) {
    ReportError(e.Message());
    return TOutcome::Error;
  }
  return Execute([&] { Engine_.LoadFromStream(*file); }, FileName + ": ");
}

int TShell::Interact() {
  kb::TCommandBuffer command;
  if (Editor_) {
    // At a terminal, a word on what this is and how to leave.
    Output_.Write(std::string("deducer ") + kb::LibraryVersion() +
                  ": commands in the CLIPS rule language; (exit) or Ctrl-D ends the session.\n");
  }
  for (;;) {
    kb::TKbTokenizerStream* input = Engine_.GetStdInput();
    if (Editor_) {
      Editor_->SetPrompt(command.IsEmpty() ? CommandPrompt : ContinuationPrompt);
      SetActivity(TActivity::Prompting);
    }
    Output_.Flush();
    const bool ended = input->IsEof();
    std::string line = ended ? std::string() : input->GetLine();
    SetActivity(TActivity::Running);
    TakeInterrupt();
    if (Editor_ && Editor_->TakeCancelled()) {
      command.Clear();
      continue;
    }
    if (ended && Editor_) {
      // The prompt that Ctrl-D answered is left on a line of its own.
      Output_.Write("\n");
    }
    if (!ended) command.Append(line);
    // At the end of the input, a command still open is parsed as it is, so
    // that its error is reported.
    if (!ended && !command.IsComplete()) continue;
    if (command.IsEmpty()) {
      command.Clear();
      if (ended) break;
      continue;
    }
    const std::string text = command.Take();
    if (Editor_) {
      Editor_->AddHistory(text);
      Editor_->SetPrompt(std::string());
    }
    const TOutcome outcome = Execute([&] { Engine_.Parse(text); });
    // A Ctrl-D or Ctrl-C that ended a read inside the command ends only
    // that read: the next prompt reads afresh.
    if (Editor_ && (Editor_->TakeEnded() | Editor_->TakeCancelled()))
      Engine_.SetStdInput(Editor_.get());
    if (outcome == TOutcome::Exit || ended) break;
  }
  // At a terminal, errors were seen as they happened; from a pipe or file
  // they make the run fail.
  return !Editor_ && ErrorsReported_ ? 1 : 0;
}

int TShell::Finish(int Status) {
  Output_.Flush();
  return Status;
}

int TShell::Run() {
  for (const std::string& file : Options_.Files) {
    const TOutcome outcome = LoadFile(file);
    if (outcome != TOutcome::Ok) return Finish(outcome == TOutcome::Error ? 1 : 0);
  }
  for (const TOptions::TStep& step : Options_.Steps) {
    const TOutcome outcome = step.IsBatch ? Execute([&] { Engine_.Batch(step.Text); })
                                          : Execute([&] { Engine_.Parse(step.Text); });
    if (outcome != TOutcome::Ok) return Finish(outcome == TOutcome::Error ? 1 : 0);
  }
  if (Options_.Run) {
    const TOutcome outcome = Execute([&] {
      Engine_.Reset();
      Engine_.Run(Options_.MaxRules);
    });
    if (outcome != TOutcome::Ok) return Finish(outcome == TOutcome::Error ? 1 : 0);
  }
  if (Options_.Interactive) return Finish(Interact());
  return Finish(0);
}

}  // namespace deducer
