// The engine's I/O part (print-out, input, capture, batches, watches), its
// named I/O streams and the command buffer of shells and batches.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/KbConsts.h"
#include "core/KbInterfaces.h"
#include "framework/Collections.h"
#include "framework/TextStream.h"

namespace kb {

class IKbDialogs;
class TDeducer;
class TFact;
class TKbTokenizerStream;
class TStream;

// The logical name of standard input and output. The empty name means the
// same.
constexpr const char* SStandardStreamName = "t";
// Messages of the I/O streams beyond the shared table.
constexpr const char* SStreamNameInUse = "Logical name already in use: %s";
constexpr const char* SStreamNameReserved =
    "Logical name %s is reserved for standard input and output";
constexpr const char* SNotTokenStream = "Logical name %s cannot be read token by token";

// Whether Name means standard input and output ("t" or the empty name).
inline bool IsStandardStreamName(std::string_view Name) {
  return Name.empty() || Name == SStandardStreamName;
}

// The engine's named I/O streams: logical name to text stream, in the order
// they were added. Names are compared exactly (case matters).
//
// Ownership: the list owns its streams and closes each one as it leaves
// (Remove, Clear, destruction). A host that wants to keep the underlying
// bytes wraps its own TStream in a TGTextStream that does not own it.
class TIOStreams {
 public:
  TIOStreams() = default;
  TIOStreams(const TIOStreams&) = delete;
  TIOStreams& operator=(const TIOStreams&) = delete;
  ~TIOStreams();

  // Registers Stream under Name and returns its index. A name already
  // registered raises SStreamNameInUse and a standard name
  // SStreamNameReserved; the stream is then closed and nothing changes.
  int AddStream(const std::string& Name, std::unique_ptr<TGTextStream> Stream);
  int Count() const { return static_cast<int>(Streams_.Count()); }
  // REQUIRES: 0 <= Index < Count() (EListError otherwise).
  const std::string& GetName(int Index) const;
  TGTextStream* GetData(int Index) const;
  // Replaces the stream at Index, closing the previous one.
  void PutData(int Index, std::unique_ptr<TGTextStream> Stream);
  int IndexOf(std::string_view Name) const { return Streams_.IndexOf(Name); }
  // The stream registered under Name, or nil.
  TGTextStream* Find(std::string_view Name) const;
  // Closes the stream of Name and forgets the name; SInvalidStreamName when
  // the name is not registered. Writes to the file that were lost (a full
  // disk) raise the stream's EFileError once the name is gone.
  void Remove(std::string_view Name);
  // Closes every stream, the most recent first; when writes to any of them
  // were lost, raises the first such EFileError once all are closed.
  void Clear();

 private:
  TStringMap<std::unique_ptr<TGTextStream>> Streams_;
};

// Collects lines of CLIPS input until they hold complete commands: every
// "(" outside strings and comments has its ")", and no string is left
// open. Shells and batches use it so that a construct may span lines.
class TCommandBuffer {
 public:
  // Adds Line and a line end.
  void Append(std::string_view Line);
  // True when the text read so far can be parsed: the parentheses balance
  // (or close more than they open) and no string is open.
  bool IsComplete() const { return !InString_ && Depth_ <= 0; }
  // True while nothing but blanks and comments has been added.
  bool IsEmpty() const { return !HasContent_; }
  // The text collected so far; the buffer starts again empty.
  std::string Take();
  void Clear() { Take(); }

 private:
  std::string Text_;
  int64_t Depth_ = 0;
  bool InString_ = false;
  bool HasContent_ = false;
};

// The engine's I/O: what TDeducer's print-out, input, capture, batch and
// watch members do (they forward here). It owns the named streams, the
// capture stream and the tokenizer over the host's standard input; the
// events (OnPrintOut, OnReadLine, OnReadToken) stay the engine's, and what
// a descendant of the engine may override (PrintOut, NewTokenizer, Parse)
// is reached through the engine.
class TDeducerIO {
 public:
  explicit TDeducerIO(TDeducer& Engine);
  TDeducerIO(const TDeducerIO&) = delete;
  TDeducerIO& operator=(const TDeducerIO&) = delete;
  ~TDeducerIO();

  // Standard output ("t" or "") goes to the capture stream while one is
  // set, otherwise to OnPrintOut (and nowhere without a handler). A
  // registered name writes to its stream. Any other name goes to
  // OnPrintOut with its name, so the host decides; without a handler it
  // raises SNoSuchFunction "printout".
  void PrintOut(const std::string& OutID, const std::string& Text);

  // Reads one line (without its line end) of the logical input InID into
  // Line. Answers false, with Line empty, at the end of the input. A
  // registered name reads its stream. Standard input reads, in this order,
  // the running batch (echoing the line to standard output), the host's
  // standard input stream (SetStdInput), or asks OnReadLine, whose empty
  // answer means that no input is available. A name that is neither
  // standard nor registered is asked of OnReadLine. Without a source it
  // raises SNoReadFunctionWarning "readline" (SInvalidStreamName for an
  // unknown name).
  bool ReadLine(const std::string& InID, std::string& Line);
  // Reads one token of the logical input InID and drops the rest of its
  // line. Sources as for ReadLine, OnReadToken in place of OnReadLine; at
  // the end of the input the end-of-input token (never nil). A registered
  // stream must be a tokenizer stream (EInvalidCast SNotTokenStream).
  IStreamToken ReadToken(const std::string& InID);

  // The host's standard input: Stream (not owned, must outlive its use)
  // is read through a tokenizer of the engine, after a running batch and
  // before the read events. Nil removes it. Setting it again starts a
  // fresh tokenizer (forgetting what the old one had read ahead).
  void SetStdInput(TStream* Stream);
  // The tokenizer over the host's standard input, or nil. A shell reads its
  // own commands through it, so that commands and the lines that "read"
  // and "readline" take come from one buffer.
  TKbTokenizerStream* GetStdInput() const { return StdInput_.get(); }

  // The dialogs that input-box, input-query, message-dlg and show-message
  // show (core/KbDialogs.h): the host's (not owned; they must outlive their
  // use), or the unattended ones (every dialog closed at once, without a
  // choice) when it installed none (nil).
  IKbDialogs& GetDialogs() const;
  void SetDialogs(IKbDialogs* Dialogs) { Dialogs_ = Dialogs; }

  TIOStreams& Streams() { return Streams_; }
  // The stream registered under Name; SInvalidStreamName when there is none.
  TGTextStream* GetIOStream(std::string_view Name) const;

  // Sends standard output to Stream (owned) instead of the host, replacing
  // (and closing) any previous capture.
  void StartCapture(std::unique_ptr<TStream> Stream);
  // Closes the capture stream, if any. False when output captured into a
  // file was lost (the system refused a write, a flush or the close).
  bool StopCapture();
  TStream* GetCaptureStream() const { return CaptureStream_.get(); }

  // Executes Stream as commands typed one after the other: each complete
  // command (a construct may span lines, see TCommandBuffer) is parsed and
  // run. While it runs, standard input reads the batch: a command that
  // calls "read" or "readline" takes the lines after it. Batches nest.
  // Errors propagate and end the batch.
  void Batch(TStream& Stream);
  // The tokenizer of the running batch, or nil.
  TKbTokenizerStream* GetBatchStream() const { return BatchStream_; }

  // What the engine traces to standard output.
  TConstructWatches GetWatch() const { return Watch_; }
  void SetWatch(TConstructWatches Value) { Watch_ = Value; }
  // Whether What is traced: watched, and OnPrintOut is assigned (a trace
  // needs the handler even while a capture stream is set).
  bool IsWatched(TConstructWatch What) const { return Watch_.Contains(What) && PrintOutEvent_; }
  // The trace lines, each printed (with a line end) only when its watch is
  // on. Facts: " ==> " or " <== " and the identified fact text.
  void WatchFact(bool Asserted, std::string_view FactIdText);
  // The same for Fact, whose text is made only when facts are watched.
  void WatchFact(bool Asserted, const TFact& Fact);
  // "==> Activation: " and the activation's text.
  void WatchActivationAdded(std::string_view ActivationText);
  // "<== Activation: ", the rule name, " : " and the token's facts text.
  void WatchActivationRemoved(std::string_view RuleName, std::string_view FactsText);
  // "FIRE ", the number of rules fired before in this run, the rule name
  // and the token's facts text, separated by blanks.
  void WatchRuleFiring(int32_t RulesFired, std::string_view RuleName, std::string_view FactsText);
  // A rule's compilation text.
  void WatchCompilation(std::string_view CompilationText);
  // The four summary lines of a run, when at least one rule fired.
  // RunTime is in seconds.
  void WatchStatistics(int32_t RulesFired, double RunTime, double MeanFacts, int32_t MaxFacts,
                       double MeanActivations, int32_t MaxActivations);

 private:
  // One trace line: the pieces and a line end, printed as one text.
  template <class... Pieces>
  void Trace(const Pieces&... P);

  TDeducer& Engine_;
  // The engine's OnPrintOut, read by every watch check.
  const TPrintOutEvent& PrintOutEvent_;
  TIOStreams Streams_;
  std::unique_ptr<TStream> CaptureStream_;
  std::unique_ptr<TKbTokenizerStream> StdInput_;
  TKbTokenizerStream* BatchStream_ = nullptr;  // owned by the running Batch
  IKbDialogs* Dialogs_ = nullptr;              // the host's, not owned
  TConstructWatches Watch_;
};

}  // namespace kb
