// Standard input of the deducer program, as byte streams the engine reads
// through its tokenizer (TDeducer::SetStdInput): TFdInputStream over a file
// descriptor (pipes, files), TLineEditorStream over a terminal with line
// editing and history (libedit). Both flush standard output before they
// block, so that a question printed by a rule shows before its answer is
// read.
//
// Also the interrupt handling of the program: Ctrl-C while a command runs
// asks the engine to halt; a second Ctrl-C before the command ends stops
// the program. While a line is being edited, Ctrl-C is a key of the editor:
// it cancels the command being typed (or, for an answer that a command
// reads, ends that read and asks the engine to halt).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include <histedit.h>

#include "engine/Deducer.h"
#include "framework/Streams.h"

namespace deducer {

// A read-only stream over a file descriptor (not closed). Ctrl-C while it
// waits for input ends the read as the end of the input.
class TFdInputStream : public kb::TStream {
 public:
  explicit TFdInputStream(int Fd) : Fd_(Fd) {}
  size_t Read(void* Buffer, size_t Count) override;
  void Write(const void* Buffer, size_t Count) override;
  int64_t Seek(int64_t Offset, kb::TSeekOrigin Origin) override;
  int64_t GetSize() override { return 0; }

 private:
  int Fd_;
};

// Lines typed at a terminal, one Read per line (with its line feed). The
// prompt shown is the one last set; with an empty prompt the editor shows
// the partial line the program printed last (OutputTail), so that editing
// an answer never erases the question.
class TLineEditorStream : public kb::TStream {
 public:
  // HistoryFile, when not empty, is read now and written back on
  // destruction.
  explicit TLineEditorStream(std::string HistoryFile);
  ~TLineEditorStream() override;

  size_t Read(void* Buffer, size_t Count) override;
  void Write(const void* Buffer, size_t Count) override;
  int64_t Seek(int64_t Offset, kb::TSeekOrigin Origin) override;
  int64_t GetSize() override { return 0; }

  void SetPrompt(std::string Prompt) { Prompt_ = std::move(Prompt); }
  // Where the program keeps the text it printed since the last line end
  // (not owned). The editor shows it as the prompt of a read inside a
  // command, and empties it once the cursor is at the start of a line.
  void SetOutputTail(std::string* Tail) { OutputTail_ = Tail; }
  // Remembers a complete command (its lines joined by blanks).
  void AddHistory(const std::string& Command);
  // Whether the user ended the input (Ctrl-D) since the last call.
  bool TakeEnded();
  // Whether the user cancelled a line (Ctrl-C) since the last call.
  bool TakeCancelled();

  // For the editor's callbacks: the prompt being shown, and Ctrl-C.
  const char* CurrentPrompt() const { return Shown_.c_str(); }
  void MarkCancelled();

 private:
  EditLine* El_ = nullptr;
  History* History_ = nullptr;
  std::string Shown_;
  std::string HistoryFile_;
  std::string Prompt_;
  std::string* OutputTail_ = nullptr;
  std::string Pending_;
  size_t PendingPos_ = 0;
  bool Ended_ = false;
  bool Cancelled_ = false;
};

// What the program is doing when Ctrl-C arrives: waiting at the command
// prompt of a terminal (the line is cancelled), or anything else (the
// engine is asked to halt; a second Ctrl-C before the next prompt ends the
// program).
enum class TActivity : int { Running, Prompting };

// Installs the SIGINT handler for Engine (which must outlive the program's
// use of it).
void InstallInterruptHandler(kb::TDeducer* Engine);
void SetActivity(TActivity Activity);
// Whether Ctrl-C was pressed since the last call (and forgets it).
bool TakeInterrupt();

}  // namespace deducer
