// Standard input streams and interrupt handling of the deducer program.
#include "tools/deducer/Terminal.h"

#include <editline/readline.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace deducer {

namespace {

// Lock-free atomics: the signal handler reads and writes them.
std::atomic<kb::TDeducer*> Engine{nullptr};
std::atomic<int> Activity{static_cast<int>(TActivity::Idle)};
std::atomic<int> Interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free &&
              std::atomic<kb::TDeducer*>::is_always_lock_free);

// Stops the program as Ctrl-C would have without a handler.
void DieOfInterrupt() {
  std::signal(SIGINT, SIG_DFL);
  std::raise(SIGINT);
}

void OnInterrupt(int) {
  const int count = Interrupts.fetch_add(1) + 1;
  switch (static_cast<TActivity>(Activity.load())) {
    case TActivity::Running: {
      if (count >= 2) {
        // Delivered as soon as this handler returns.
        DieOfInterrupt();
        return;
      }
      if (kb::TDeducer* engine = Engine.load()) engine->SetHalted(true);
      static const char note[] = "\nInterrupted: halting (press Ctrl-C again to quit)\n";
      [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, note, sizeof note - 1);
      break;
    }
    case TActivity::Prompting: break;  // the line editor cancels the line
    case TActivity::Idle: DieOfInterrupt(); break;
  }
}

}  // namespace

void InstallInterruptHandler(kb::TDeducer* AEngine) {
  Engine.store(AEngine);
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  // No SA_RESTART: a read at the prompt returns, so the line is cancelled
  // at once.
  sa.sa_flags = 0;
  sigaction(SIGINT, &sa, nullptr);
}

void SetActivity(TActivity A) { Activity.store(static_cast<int>(A)); }

bool TakeInterrupt() { return Interrupts.exchange(0) != 0; }

// ------------------------------------------------------------ TFdInputStream

size_t TFdInputStream::Read(void* Buffer, size_t Count) {
  std::fflush(stdout);
  for (;;) {
    const ssize_t n = ::read(Fd_, Buffer, Count);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return 0;
  }
}

void TFdInputStream::Write(const void*, size_t) {
  throw kb::EFileError("Standard input cannot be written");
}

int64_t TFdInputStream::Seek(int64_t, kb::TSeekOrigin) { return 0; }

// --------------------------------------------------------- TLineEditorStream

TLineEditorStream::TLineEditorStream(std::string HistoryFile)
    : HistoryFile_(std::move(HistoryFile)) {
  rl_readline_name = "deducer";
  // The program handles Ctrl-C itself.
  rl_catch_signals = 0;
  rl_initialize();
  // Tab inserts itself: pasted code keeps its indentation.
  rl_bind_key('\t', rl_insert);
  stifle_history(1000);
  if (!HistoryFile_.empty()) read_history(HistoryFile_.c_str());
}

TLineEditorStream::~TLineEditorStream() {
  if (!HistoryFile_.empty()) write_history(HistoryFile_.c_str());
}

void TLineEditorStream::AddHistory(const std::string& Command) {
  std::string line;
  for (char c : Command) line += c == '\n' || c == '\r' ? ' ' : c;
  while (!line.empty() && line.back() == ' ') line.pop_back();
  if (!line.empty()) add_history(line.c_str());
}

bool TLineEditorStream::TakeEnded() { return std::exchange(Ended_, false); }

bool TLineEditorStream::TakeCancelled() { return std::exchange(Cancelled_, false); }

size_t TLineEditorStream::Read(void* Buffer, size_t Count) {
  if (PendingPos_ >= Pending_.size()) {
    const bool command = !Prompt_.empty();
    std::string prompt = Prompt_;
    if (OutputTail_ && !OutputTail_->empty()) {
      if (command) {
        // A command prompt starts its own line.
        std::fputs("\n", stdout);
      } else {
        // Show the question again as the prompt, over itself, so that
        // editing the answer redraws it instead of erasing it.
        prompt = *OutputTail_;
        std::fputs("\r", stdout);
      }
      OutputTail_->clear();
    }
    std::fflush(stdout);
    const int before = Interrupts.load();
    char* line = ::readline(prompt.c_str());
    if (!line) {
      if (Interrupts.load() == before) {
        Ended_ = true;
        return 0;
      }
      Cancelled_ = true;
      std::fputs("\n", stdout);
      std::fflush(stdout);
      // A cancelled command line reads as an empty line; a cancelled answer
      // as the end of the input.
      if (!command) return 0;
      Pending_ = "\n";
    } else {
      Pending_ = line;
      Pending_ += '\n';
      std::free(line);
    }
    PendingPos_ = 0;
  }
  const size_t n = std::min(Count, Pending_.size() - PendingPos_);
  std::memcpy(Buffer, Pending_.data() + PendingPos_, n);
  PendingPos_ += n;
  return n;
}

void TLineEditorStream::Write(const void*, size_t) {
  throw kb::EFileError("Standard input cannot be written");
}

int64_t TLineEditorStream::Seek(int64_t, kb::TSeekOrigin) { return 0; }

}  // namespace deducer
