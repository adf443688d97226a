// Standard input streams and interrupt handling of the deducer program.
#include "tools/deducer/Terminal.h"

#include <histedit.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "framework/ScopeExit.h"

namespace deducer {

namespace {

// Lock-free atomics: the signal handler reads and writes them.
std::atomic<kb::TDeducer*> Engine{nullptr};
std::atomic<int> Activity{static_cast<int>(TActivity::Running)};
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
      if (kb::TDeducer* engine = Engine.load()) {
        engine->SetHalted(true);
        engine->SetInterrupted(true);
      }
      static const char note[] = "\nInterrupted: halting (press Ctrl-C again to quit)\n";
      [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, note, sizeof note - 1);
      break;
    }
    // At the prompt the terminal gives Ctrl-C to the line editor as a key;
    // a signal from elsewhere is ignored there.
    case TActivity::Prompting: break;
  }
}

}  // namespace

void InstallInterruptHandler(kb::TDeducer* AEngine) {
  Engine.store(AEngine);
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
}

void SetActivity(TActivity A) { Activity.store(static_cast<int>(A)); }

bool TakeInterrupt() { return Interrupts.exchange(0) != 0; }

// ------------------------------------------------------------ TFdInputStream

size_t TFdInputStream::Read(void* Buffer, size_t Count) {
  std::fflush(stdout);
  // Ctrl-C ends a read as the end of the input would: the command waiting
  // for it is being halted. SIGINT stays blocked between the look at the
  // presses and the wait, which lets it in (a read would be restarted
  // after the handler; a wait never is).
  sigset_t interrupt, previous;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  pthread_sigmask(SIG_BLOCK, &interrupt, &previous);
  auto restore = kb::OnScopeExit([&previous] { pthread_sigmask(SIG_SETMASK, &previous, nullptr); });
  for (;;) {
    if (Interrupts.load() > 0) return 0;
    pollfd p{Fd_, POLLIN, 0};
    if (::ppoll(&p, 1, nullptr, &previous) < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
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

namespace {

const char* PromptOf(EditLine* El) {
  void* self = nullptr;
  el_get(El, EL_CLIENTDATA, &self);
  return static_cast<TLineEditorStream*>(self)->CurrentPrompt();
}

// Ctrl-C while a line is edited: the terminal delivers it as a key (no
// signal at the prompt, so it can never be lost between the prompt and the
// read), and the line ends, marked as cancelled.
unsigned char CancelLine(EditLine* El, int) {
  void* self = nullptr;
  el_get(El, EL_CLIENTDATA, &self);
  static_cast<TLineEditorStream*>(self)->MarkCancelled();
  return CC_NEWLINE;
}

}  // namespace

TLineEditorStream::TLineEditorStream(std::string HistoryFile)
    : HistoryFile_(std::move(HistoryFile)) {
  History_ = history_init();
  HistEvent ev;
  history(History_, &ev, H_SETSIZE, 1000);
  history(History_, &ev, H_SETUNIQUE, 1);
  if (!HistoryFile_.empty()) history(History_, &ev, H_LOAD, HistoryFile_.c_str());
  El_ = el_init("deducer", stdin, stdout, stderr);
  el_set(El_, EL_CLIENTDATA, this);
  el_set(El_, EL_EDITOR, "emacs");
  el_set(El_, EL_SIGNAL, 1);
  el_set(El_, EL_PROMPT, PromptOf);
  el_set(El_, EL_HIST, history, History_);
  // While a line is edited, Ctrl-C is a key, not a signal.
  el_set(El_, EL_SETTY, "-d", "-isig", nullptr);
  // The wide form keeps the (static) name and help as given; the narrow one
  // copies them and never frees the copies.
  el_wset(El_, EL_ADDFN, L"deducer-cancel", L"Cancel the line", CancelLine);
  el_set(El_, EL_BIND, "^C", "deducer-cancel", nullptr);
  // Tab inserts itself: pasted code keeps its indentation.
  el_set(El_, EL_BIND, "^I", "ed-insert", nullptr);
}

TLineEditorStream::~TLineEditorStream() {
  HistEvent ev;
  if (!HistoryFile_.empty()) history(History_, &ev, H_SAVE, HistoryFile_.c_str());
  el_end(El_);
  history_end(History_);
}

void TLineEditorStream::AddHistory(const std::string& Command) {
  std::string line;
  for (char c : Command) line += c == '\n' || c == '\r' ? ' ' : c;
  while (!line.empty() && line.back() == ' ') line.pop_back();
  HistEvent ev;
  if (!line.empty()) history(History_, &ev, H_ENTER, line.c_str());
}

bool TLineEditorStream::TakeEnded() { return std::exchange(Ended_, false); }

bool TLineEditorStream::TakeCancelled() { return std::exchange(Cancelled_, false); }

void TLineEditorStream::MarkCancelled() {
  Cancelled_ = true;
  // Inside a command, Ctrl-C also asks the engine to halt.
  if (Prompt_.empty())
    if (kb::TDeducer* engine = Engine.load()) engine->SetHalted(true);
}

size_t TLineEditorStream::Read(void* Buffer, size_t Count) {
  if (PendingPos_ >= Pending_.size()) {
    const bool command = !Prompt_.empty();
    Shown_ = Prompt_;
    if (OutputTail_ && !OutputTail_->empty()) {
      if (command) {
        // A command prompt starts its own line.
        std::fputs("\n", stdout);
      } else {
        // Show the question again as the prompt, over itself, so that
        // editing the answer redraws it instead of erasing it.
        Shown_ = *OutputTail_;
        std::fputs("\r", stdout);
      }
      OutputTail_->clear();
    }
    std::fflush(stdout);
    int count = 0;
    const char* line = el_gets(El_, &count);
    if (Cancelled_) {
      // A cancelled command line reads as an empty line; a cancelled
      // answer as the end of the input.
      if (!command) return 0;
      Pending_ = "\n";
    } else if (!line || count <= 0) {
      Ended_ = true;
      return 0;
    } else {
      Pending_.assign(line, static_cast<size_t>(count));
      if (Pending_.back() != '\n') Pending_ += '\n';
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
