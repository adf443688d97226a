// The engine's I/O: logical streams, print-out, line and token input,
// capture, batches and the watch traces.
#include "engine/DeducerIO.h"

#include <exception>
#include <utility>

#include "core/KbDialogs.h"
#include "engine/Deducer.h"
#include "framework/ScopeExit.h"
#include "parser/KbParser.h"

namespace kb {

// ---------------------------------------------------------------- TIOStreams

TIOStreams::~TIOStreams() {
  // Nobody is left to hear of a lost write.
  try {
    Clear();
  } catch (const Exception&) {
  }
}

int TIOStreams::AddStream(const std::string& Name, std::unique_ptr<TGTextStream> Stream) {
  if (IsStandardStreamName(Name)) KbError(SStreamNameReserved, Name);
  if (Streams_.Contains(Name)) KbError(SStreamNameInUse, Name);
  Streams_.Put(Name, std::move(Stream));
  return Count() - 1;
}

const std::string& TIOStreams::GetName(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return Streams_.At(static_cast<size_t>(Index)).first;
}

TGTextStream* TIOStreams::GetData(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return Streams_.At(static_cast<size_t>(Index)).second.get();
}

void TIOStreams::PutData(int Index, std::unique_ptr<TGTextStream> Stream) {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  Streams_.At(static_cast<size_t>(Index)).second = std::move(Stream);
}

TGTextStream* TIOStreams::Find(std::string_view Name) const {
  const std::unique_ptr<TGTextStream>* s = Streams_.Find(Name);
  return s ? s->get() : nullptr;
}

void TIOStreams::Remove(std::string_view Name) {
  std::unique_ptr<TGTextStream> removed;
  if (!Streams_.Remove(Name, &removed)) KbError(SInvalidStreamName, Name);
  removed->Close();
}

void TIOStreams::Clear() {
  std::exception_ptr failure;
  while (!Streams_.IsEmpty()) {
    try {
      Remove(Streams_.At(Streams_.Count() - 1).first);
    } catch (const EFileError&) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

// ------------------------------------------------------------ TCommandBuffer

void TCommandBuffer::Append(std::string_view Line) {
  // Mirrors the lexer: strings run to an unescaped double quote (across
  // lines), ";" starts a comment outside strings, and a backslash outside
  // strings takes the next character literally.
  for (size_t i = 0; i < Line.size(); ++i) {
    const char c = Line[i];
    if (InString_) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        InString_ = false;
      continue;
    }
    switch (c) {
      case ';': i = Line.size(); continue;
      case '"': InString_ = true; break;
      case '(': ++Depth_; break;
      case ')': --Depth_; break;
      case '\\': ++i; break;
      default:
        if (static_cast<unsigned char>(c) <= ' ') continue;
        break;
    }
    HasContent_ = true;
  }
  Text_.append(Line);
  Text_ += '\n';
}

std::string TCommandBuffer::Take() {
  std::string r = std::move(Text_);
  Text_.clear();
  Depth_ = 0;
  InString_ = false;
  HasContent_ = false;
  return r;
}

// ----------------------------------------------------------------- print-out

TDeducerIO::TDeducerIO(TDeducer& Engine) : Engine_(Engine), PrintOutEvent_(Engine.OnPrintOut) {}

TDeducerIO::~TDeducerIO() = default;

void TDeducerIO::PrintOut(const std::string& OutID, const std::string& Text) {
  if (IsStandardStreamName(OutID)) {
    if (CaptureStream_)
      CaptureStream_->WriteString(Text);
    else if (PrintOutEvent_)
      PrintOutEvent_(&Engine_, OutID, Text);
    return;
  }
  if (TGTextStream* stream = Streams_.Find(OutID)) {
    // Each output is flushed at once, so that a write the system refuses
    // (a full disk) fails the very call that made it.
    stream->Put(Text);
    stream->Flush();
    return;
  }
  // Not a stream of ours: the host may know the name; text is never
  // dropped without a word.
  if (!PrintOutEvent_) KbError(SNoSuchFunction, "printout");
  PrintOutEvent_(&Engine_, OutID, Text);
}

TGTextStream* TDeducerIO::GetIOStream(std::string_view Name) const {
  TGTextStream* stream = Streams_.Find(Name);
  if (!stream) KbError(SInvalidStreamName, Name);
  return stream;
}

// --------------------------------------------------------------------- input

namespace {

bool ReadStreamLine(TGTextStream& Stream, std::string& Line) {
  if (Stream.IsEof()) return false;
  Line = Stream.GetLine();
  return true;
}

IStreamToken ReadStreamToken(TKbTokenizerStream& Stream) {
  IStreamToken token = Stream.NextToken();
  Stream.DiscardUntilEOL();
  return token;
}

}  // namespace

void TDeducerIO::SetStdInput(TStream* Stream) {
  StdInput_.reset();
  if (Stream) StdInput_ = Engine_.NewTokenizer(Stream);
}

bool TDeducerIO::ReadLine(const std::string& InID, std::string& Line) {
  Line.clear();
  if (!IsStandardStreamName(InID)) {
    if (TGTextStream* stream = Streams_.Find(InID)) return ReadStreamLine(*stream, Line);
    if (!Engine_.OnReadLine) KbError(SInvalidStreamName, InID);
  } else if (BatchStream_) {
    if (!ReadStreamLine(*BatchStream_, Line)) return false;
    Engine_.PrintOut(std::string(), Line + NewLineString);
    return true;
  } else if (StdInput_) {
    return ReadStreamLine(*StdInput_, Line);
  } else if (!Engine_.OnReadLine) {
    KbError(SNoReadFunctionWarning, "readline");
  }
  // The host answers; an empty answer means it has no input to give.
  Engine_.OnReadLine(&Engine_, InID, Line);
  return !Line.empty();
}

IStreamToken TDeducerIO::ReadToken(const std::string& InID) {
  IStreamToken token;
  if (!IsStandardStreamName(InID)) {
    if (TGTextStream* stream = Streams_.Find(InID)) {
      auto* tokens = dynamic_cast<TKbTokenizerStream*>(stream);
      if (!tokens) throw EInvalidCast(Format(SNotTokenStream, InID));
      return ReadStreamToken(*tokens);
    }
    if (!Engine_.OnReadToken) KbError(SInvalidStreamName, InID);
  } else if (BatchStream_) {
    token = ReadStreamToken(*BatchStream_);
    if (!token->Is(TokEOF)) Engine_.PrintOut(std::string(), token->GetToString() + NewLineString);
    return token;
  } else if (StdInput_) {
    return ReadStreamToken(*StdInput_);
  } else if (!Engine_.OnReadToken) {
    KbError(SNoReadFunctionWarning, "read");
  }
  Engine_.OnReadToken(&Engine_, InID, token);
  // A handler that gives nothing has no input to give.
  if (!token) token = IStreamToken(new TKbStreamToken(TokEOF, 0, "EOF"));
  return token;
}

// ------------------------------------------------------------------- capture

void TDeducerIO::StartCapture(std::unique_ptr<TStream> Stream) {
  CaptureStream_ = std::move(Stream);
}

bool TDeducerIO::StopCapture() {
  std::unique_ptr<TStream> capture = std::move(CaptureStream_);
  // False when some of the captured output never reached the file.
  if (auto* file = dynamic_cast<TFileStream*>(capture.get())) {
    try {
      file->Close();
    } catch (const EFileError&) {
      return false;
    }
  }
  return true;
}

// --------------------------------------------------------------------- batch

void TDeducerIO::Batch(TStream& Stream) {
  std::unique_ptr<TKbTokenizerStream> tokens = Engine_.NewTokenizer(&Stream);
  auto restore = OnScopeExit([this, previous = BatchStream_] { BatchStream_ = previous; });
  BatchStream_ = tokens.get();
  TCommandBuffer command;
  while (!tokens->IsEof()) {
    command.Append(tokens->GetLine());
    // A command still open at the end of the batch is parsed as it is, so
    // that the parser reports what is missing.
    if (!command.IsComplete() && !tokens->IsEof()) continue;
    if (command.IsEmpty()) {
      command.Clear();
      continue;
    }
    Engine_.Parse(command.Take());
  }
}

// ------------------------------------------------------------------- watches

template <class... Pieces>
void TDeducerIO::Trace(const Pieces&... P) {
  std::string line;
  (line.append(P), ...);
  line += NewLineString;
  Engine_.PrintOut(std::string(), line);
}

void TDeducerIO::WatchFact(bool Asserted, std::string_view FactIdText) {
  if (IsWatched(cwFact)) Trace(Asserted ? " ==> " : " <== ", FactIdText);
}

void TDeducerIO::WatchFact(bool Asserted, const TFact& Fact) {
  if (IsWatched(cwFact)) WatchFact(Asserted, Fact.GetToIDString());
}

void TDeducerIO::WatchActivationAdded(std::string_view ActivationText) {
  if (IsWatched(cwActivation)) Trace("==> Activation: ", ActivationText);
}

void TDeducerIO::WatchActivationRemoved(std::string_view RuleName, std::string_view FactsText) {
  if (IsWatched(cwActivation)) Trace("<== Activation: ", RuleName, " : ", FactsText);
}

void TDeducerIO::WatchRuleFiring(int32_t RulesFired, std::string_view RuleName,
                                 std::string_view FactsText) {
  if (IsWatched(cwRule)) Trace("FIRE ", IntToStr(RulesFired), " ", RuleName, " ", FactsText);
}

void TDeducerIO::WatchCompilation(std::string_view CompilationText) {
  if (IsWatched(cwCompilation)) Trace(CompilationText);
}

void TDeducerIO::WatchStatistics(int32_t RulesFired, double RunTime, double MeanFacts,
                                 int32_t MaxFacts, double MeanActivations, int32_t MaxActivations) {
  if (!IsWatched(cwStatistics) || RulesFired <= 0) return;
  const std::string fired = IntToStr(RulesFired);
  Trace(fired, " rules fired.     Run time is ", FloatToStr(RunTime), " seconds");
  Trace(RunTime == 0 ? fired : FloatToStr(RulesFired / RunTime), " rules per second");
  Trace(FloatToStr(MeanFacts), " mean number of facts (", IntToStr(MaxFacts), " maximum)");
  Trace(FloatToStr(MeanActivations), " mean number of activations (", IntToStr(MaxActivations),
        " maximum)");
}

IKbDialogs& TDeducerIO::GetDialogs() const {
  return Dialogs_ ? *Dialogs_ : TUnattendedDialogs::Instance();
}

// ------------------------------------------------- TDeducer's I/O, forwarded

void TDeducer::PrintOut(const std::string& OutID, const std::string& Text) {
  IO_->PrintOut(OutID, Text);
}

bool TDeducer::ReadLine(const std::string& InID, std::string& Line) {
  return IO_->ReadLine(InID, Line);
}

std::string TDeducer::ReadLine(const std::string& InID) {
  std::string line;
  ReadLine(InID, line);
  return line;
}

IStreamToken TDeducer::ReadToken(const std::string& InID) { return IO_->ReadToken(InID); }
void TDeducer::SetStdInput(TStream* Stream) { IO_->SetStdInput(Stream); }
TKbTokenizerStream* TDeducer::GetStdInput() const { return IO_->GetStdInput(); }
IKbDialogs& TDeducer::GetDialogs() const { return IO_->GetDialogs(); }
void TDeducer::SetDialogs(IKbDialogs* Dialogs) { IO_->SetDialogs(Dialogs); }
TIOStreams& TDeducer::IOStreams() { return IO_->Streams(); }
TGTextStream* TDeducer::GetIOStream(std::string_view Name) const { return IO_->GetIOStream(Name); }

bool TDeducer::StartCapture(std::unique_ptr<TStream> Stream) {
  IO_->StartCapture(std::move(Stream));
  return true;
}

bool TDeducer::StartCapture(const std::string& FileName) {
  std::unique_ptr<TStream> file;
  try {
    file = std::make_unique<TFileStream>(FileName, fmCreate);
  } catch (const EFileError&) {
    return false;
  }
  return StartCapture(std::move(file));
}

bool TDeducer::StopCapture() { return IO_->StopCapture(); }
TStream* TDeducer::GetCaptureStream() const { return IO_->GetCaptureStream(); }

bool TDeducer::Batch(TStream& Stream) {
  IO_->Batch(Stream);
  return true;
}

bool TDeducer::Batch(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead);
  return Batch(file);
}

TKbTokenizerStream* TDeducer::GetBatchStream() const { return IO_->GetBatchStream(); }
TConstructWatches TDeducer::GetWatch() const { return IO_->GetWatch(); }
void TDeducer::SetWatch(TConstructWatches Value) { IO_->SetWatch(Value); }
bool TDeducer::IsWatched(TConstructWatch What) const { return IO_->IsWatched(What); }

void TDeducer::WatchFact(bool Asserted, std::string_view FactIdText) {
  IO_->WatchFact(Asserted, FactIdText);
}

void TDeducer::WatchFact(bool Asserted, const TFact& Fact) { IO_->WatchFact(Asserted, Fact); }

void TDeducer::WatchActivationAdded(std::string_view ActivationText) {
  IO_->WatchActivationAdded(ActivationText);
}

void TDeducer::WatchActivationRemoved(std::string_view RuleName, std::string_view FactsText) {
  IO_->WatchActivationRemoved(RuleName, FactsText);
}

void TDeducer::WatchRuleFiring(int32_t RulesFired, std::string_view RuleName,
                               std::string_view FactsText) {
  IO_->WatchRuleFiring(RulesFired, RuleName, FactsText);
}

void TDeducer::WatchCompilation(std::string_view CompilationText) {
  IO_->WatchCompilation(CompilationText);
}

void TDeducer::WatchStatistics(int32_t RulesFired, double RunTime, double MeanFacts,
                               int32_t MaxFacts, double MeanActivations, int32_t MaxActivations) {
  IO_->WatchStatistics(RulesFired, RunTime, MeanFacts, MaxFacts, MeanActivations, MaxActivations);
}

}  // namespace kb
