#include "framework/TextStream.h"

namespace kb {

namespace {
constexpr size_t kReadChunk = 64 * 1024;
}

TGTextStream::TGTextStream(TStream* Source, bool Owned) : Stream_(Source), Owned_(Owned) {}

std::unique_ptr<TGTextStream> TGTextStream::FromString(std::string Text) {
  return std::make_unique<TGTextStream>(new TMemoryStream(std::move(Text)), true);
}

TGTextStream::TGTextStream(const std::string& FileName, TFileMode Mode)
    : Stream_(new TFileStream(FileName, Mode)), Owned_(true), FileName_(FileName) {}

TGTextStream::~TGTextStream() {
  if (Owned_) delete Stream_;
}

bool TGTextStream::Fill() {
  for (;;) {
    if (SourceDone_ || !Stream_) return false;
    Buffer_.resize(kReadChunk);
    size_t n = Stream_->Read(Buffer_.data(), kReadChunk);
    Buffer_.resize(n);
    BufPos_ = 0;
    if (n == 0) {
      SourceDone_ = true;
      return false;
    }
    if (!Started_) {
      Started_ = true;
      // The byte order mark some editors put before UTF-8 text is no text.
      if (Buffer_.compare(0, 3, "\xEF\xBB\xBF") == 0) BufPos_ = 3;
    }
    if (BufPos_ < Buffer_.size()) return true;
  }
}

char TGTextStream::GetChar() {
  if (!PutBack_.empty()) {
    char c = PutBack_.back();
    PutBack_.pop_back();
    return c;
  }
  if (BufPos_ >= Buffer_.size() && !Fill()) return '\0';
  return Buffer_[BufPos_++];
}

bool TGTextStream::IsEof() {
  if (!PutBack_.empty()) return false;
  if (BufPos_ < Buffer_.size()) return false;
  return !Fill();
}

std::string TGTextStream::GetLine() {
  std::string line;
  while (!IsEof()) {
    char c = GetChar();
    if (c == '\n') break;
    if (c == '\r') {
      if (!IsEof()) {
        char d = GetChar();
        if (d != '\n') PutBack(d);
      }
      break;
    }
    line += c;
  }
  return line;
}

bool TGTextStream::SkipInLineSpaces() {
  while (!IsEof()) {
    char c = GetChar();
    if (c == '\n') return true;
    // Every control character and NUL counts as a blank within the line.
    if (static_cast<unsigned char>(c) <= ' ') continue;
    PutBack(c);
    return false;
  }
  return false;
}

void TGTextStream::Put(const std::string& Text) {
  if (!Stream_) return;
  // Characters read ahead (or put back) but not yet consumed are given back
  // to the source first, so that text written after reading lands where
  // the reader stands, not after the buffered chunk.
  const size_t unread = Buffer_.size() - BufPos_ + PutBack_.size();
  if (unread > 0) {
    Stream_->Seek(-static_cast<int64_t>(unread), TSeekOrigin::soCurrent);
    Buffer_.clear();
    BufPos_ = 0;
    PutBack_.clear();
  }
  SourceDone_ = false;
  Stream_->WriteString(Text);
}

void TGTextStream::PutLine(const std::string& Text) {
  Put(Text);
  PutEOL();
}

void TGTextStream::PutEOL() { Put("\r\n"); }

void TGTextStream::Flush() {
  if (auto* f = dynamic_cast<TFileStream*>(Stream_)) f->Flush();
}

void TGTextStream::Close() {
  if (!Owned_) return;
  if (auto* f = dynamic_cast<TFileStream*>(Stream_)) f->Close();
}

}  // namespace kb
