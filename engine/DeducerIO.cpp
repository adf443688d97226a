// The engine's I/O: logical streams, print-out, line and token input,
// capture, batches and the watch traces.
#include "engine/DeducerIO.h"

#include <exception>
#include <utility>

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

void TDeducer::PrintOut(const std::string& OutID, const std::string& Text) {
  if (IsStandardStreamName(OutID)) {
    if (CaptureStream_)
      CaptureStream_->WriteString(Text);
    else if (OnPrintOut)
      OnPrintOut(this, OutID, Text);
    return;
  }
  if (TGTextStream* stream = IOStreams_->Find(OutID)) {
    // Each output is flushed at once, so that a write the system refuses
    // (a full disk) fails the very call that made it.
    stream->Put(Text);
    stream->Flush();
    return;
  }
  // Not a stream of ours: the host may know the name; text is never
  // dropped without a word.
  if (!OnPrintOut) KbError(SNoSuchFunction, "printout");
  OnPrintOut(this, OutID, Text);
}

TGTextStream* TDeducer::GetIOStream(std::string_view Name) const {
  TGTextStream* stream = IOStreams_->Find(Name);
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

void TDeducer::SetStdInput(TStream* Stream) {
  StdInput_.reset();
  if (Stream) StdInput_ = NewTokenizer(Stream);
}

bool TDeducer::ReadLine(const std::string& InID, std::string& Line) {
  Line.clear();
  if (!IsStandardStreamName(InID)) {
    if (TGTextStream* stream = IOStreams_->Find(InID)) return ReadStreamLine(*stream, Line);
    if (!OnReadLine) KbError(SInvalidStreamName, InID);
  } else if (BatchStream_) {
    if (!ReadStreamLine(*BatchStream_, Line)) return false;
    PrintOut(std::string(), Line + NewLineString);
    return true;
  } else if (StdInput_) {
    return ReadStreamLine(*StdInput_, Line);
  } else if (!OnReadLine) {
    KbError(SNoReadFunctionWarning, "readline");
  }
  // The host answers; an empty answer means it has no input to give.
  OnReadLine(this, InID, Line);
  return !Line.empty();
}

std::string TDeducer::ReadLine(const std::string& InID) {
  std::string line;
  ReadLine(InID, line);
  return line;
}

IStreamToken TDeducer::ReadToken(const std::string& InID) {
  IStreamToken token;
  if (!IsStandardStreamName(InID)) {
    if (TGTextStream* stream = IOStreams_->Find(InID)) {
      auto* tokens = dynamic_cast<TKbTokenizerStream*>(stream);
      if (!tokens) throw EInvalidCast(Format(SNotTokenStream, InID));
      return ReadStreamToken(*tokens);
    }
    if (!OnReadToken) KbError(SInvalidStreamName, InID);
  } else if (BatchStream_) {
    token = ReadStreamToken(*BatchStream_);
    if (!token->Is(TokEOF)) PrintOut(std::string(), token->GetToString() + NewLineString);
    return token;
  } else if (StdInput_) {
    return ReadStreamToken(*StdInput_);
  } else if (!OnReadToken) {
    KbError(SNoReadFunctionWarning, "read");
  }
  OnReadToken(this, InID, token);
  // A handler that gives nothing has no input to give.
  if (!token) token = IStreamToken(new TKbStreamToken(TokEOF, 0, "EOF"));
  return token;
}

// ------------------------------------------------------------------- capture

bool TDeducer::StartCapture(std::unique_ptr<TStream> Stream) {
  CaptureStream_ = std::move(Stream);
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

bool TDeducer::StopCapture() {
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

bool TDeducer::Batch(TStream& Stream) {
  std::unique_ptr<TKbTokenizerStream> tokens = NewTokenizer(&Stream);
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
    Parse(command.Take());
  }
  return true;
}

bool TDeducer::Batch(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead);
  return Batch(file);
}

// ------------------------------------------------------------------- watches

namespace {

// One trace line: the pieces and the line end, printed as one text.
template <class... Pieces>
void Trace(TDeducer& Engine, const Pieces&... P) {
  std::string line;
  (line.append(P), ...);
  line += NewLineString;
  Engine.PrintOut(std::string(), line);
}

}  // namespace

void TDeducer::WatchFact(bool Asserted, std::string_view FactIdText) {
  if (IsWatched(cwFact)) Trace(*this, Asserted ? " ==> " : " <== ", FactIdText);
}

void TDeducer::WatchFact(bool Asserted, const TFact& Fact) {
  if (IsWatched(cwFact)) WatchFact(Asserted, Fact.GetToIDString());
}

void TDeducer::WatchActivationAdded(std::string_view ActivationText) {
  if (IsWatched(cwActivation)) Trace(*this, "==> Activation: ", ActivationText);
}

void TDeducer::WatchActivationRemoved(std::string_view RuleName, std::string_view FactsText) {
  if (IsWatched(cwActivation)) Trace(*this, "<== Activation: ", RuleName, " : ", FactsText);
}

void TDeducer::WatchRuleFiring(int32_t RulesFired, std::string_view RuleName,
                               std::string_view FactsText) {
  if (IsWatched(cwRule)) Trace(*this, "FIRE ", IntToStr(RulesFired), " ", RuleName, " ", FactsText);
}

void TDeducer::WatchCompilation(std::string_view CompilationText) {
  if (IsWatched(cwCompilation)) Trace(*this, CompilationText);
}

void TDeducer::WatchStatistics(int32_t RulesFired, double RunTime, double MeanFacts,
                               int32_t MaxFacts, double MeanActivations, int32_t MaxActivations) {
  if (!IsWatched(cwStatistics) || RulesFired <= 0) return;
  const std::string fired = IntToStr(RulesFired);
  Trace(*this, fired, " rules fired.     Run time is ", FloatToStr(RunTime), " seconds");
  Trace(*this, RunTime == 0 ? fired : FloatToStr(RulesFired / RunTime), " rules per second");
  Trace(*this, FloatToStr(MeanFacts), " mean number of facts (", IntToStr(MaxFacts), " maximum)");
  Trace(*this, FloatToStr(MeanActivations), " mean number of activations (",
        IntToStr(MaxActivations), " maximum)");
}

}  // namespace kb
