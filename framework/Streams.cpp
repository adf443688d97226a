#include "framework/Streams.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kb {

std::string TStream::ReadAll() {
  std::string r;
  char buf[8192];
  for (;;) {
    size_t n = Read(buf, sizeof buf);
    if (n == 0) break;
    r.append(buf, n);
  }
  return r;
}

void TStream::CopyFrom(TStream& Source, size_t Count) {
  if (Count == 0) {
    WriteString(Source.ReadAll());
    return;
  }
  char buf[8192];
  while (Count > 0) {
    size_t n = Source.Read(buf, std::min(Count, sizeof buf));
    if (n == 0) throw EFileError("Stream read error");
    Write(buf, n);
    Count -= n;
  }
}

size_t TMemoryStream::Read(void* Buffer, size_t Count) {
  if (Pos_ >= Data_.size()) return 0;
  size_t n = std::min(Count, Data_.size() - Pos_);
  std::memcpy(Buffer, Data_.data() + Pos_, n);
  Pos_ += n;
  return n;
}

void TMemoryStream::Write(const void* Buffer, size_t Count) {
  if (Pos_ > Data_.size()) Data_.resize(Pos_, '\0');
  if (Pos_ == Data_.size())
    Data_.append(static_cast<const char*>(Buffer), Count);
  else
    Data_.replace(Pos_, std::min(Count, Data_.size() - Pos_), static_cast<const char*>(Buffer),
                  Count);
  Pos_ += Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base = Origin == TSeekOrigin::soBeginning ? 0
                 : Origin == TSeekOrigin::soCurrent ? static_cast<int64_t>(Pos_)
                                                    : static_cast<int64_t>(Data_.size());
  int64_t p = base + Offset;
  Pos_ = p < 0 ? 0 : static_cast<size_t>(p);
  return static_cast<int64_t>(Pos_);
}

TFileStream::TFileStream(const std::string& FileName, TFileMode Mode) : FileName_(FileName) {
  const char* m = "rb";
  switch (Mode) {
    case fmOpenRead: m = "rb"; break;
    case fmOpenWrite: m = "r+b"; break;
    case fmOpenReadWrite: m = "r+b"; break;
    case fmCreate: m = "w+b"; break;
    case fmAppend: m = "ab"; break;
  }
  struct stat st;
  if (::stat(FileName.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    const char* what = Mode == fmCreate ? "create" : "open";
    throw EFileError(Format("Cannot %s file \"%s\". %s", what, FileName, std::strerror(EISDIR)));
  }
  F_ = std::fopen(FileName.c_str(), m);
  if (!F_) {
    const char* what = Mode == fmCreate ? "create" : "open";
    throw EFileError(Format("Cannot %s file \"%s\". %s", what, FileName, std::strerror(errno)));
  }
}

TFileStream::~TFileStream() {
  if (F_) std::fclose(F_);
}

std::FILE* TFileStream::File() {
  if (!F_) throw EFileError(Format("File \"%s\" is closed", FileName_));
  return F_;
}

void TFileStream::WriteError(int Error) {
  if (!WriteErrno_) WriteErrno_ = Error ? Error : EIO;
  throw EFileError(Format("Stream write error on \"%s\". %s", FileName_, std::strerror(Error)));
}

void TFileStream::Switch(TLastOp Op) {
  if (LastOp_ != TLastOp::None && LastOp_ != Op) std::fseek(F_, 0, SEEK_CUR);
  LastOp_ = Op;
}

size_t TFileStream::Read(void* Buffer, size_t Count) {
  std::FILE* f = File();
  Switch(TLastOp::Read);
  return std::fread(Buffer, 1, Count, f);
}

void TFileStream::Write(const void* Buffer, size_t Count) {
  std::FILE* f = File();
  Switch(TLastOp::Write);
  if (Count && std::fwrite(Buffer, 1, Count, f) != Count) WriteError(errno);
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  std::FILE* f = File();
  int whence = Origin == TSeekOrigin::soBeginning ? SEEK_SET
               : Origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                  : SEEK_END;
  if (!(Origin == TSeekOrigin::soCurrent && Offset == 0)) {
    std::fseek(f, Offset, whence);
    LastOp_ = TLastOp::None;
  }
  return std::ftell(f);
}

int64_t TFileStream::GetSize() {
  std::FILE* f = File();
  long cur = std::ftell(f);
  std::fseek(f, 0, SEEK_END);
  long size = std::ftell(f);
  std::fseek(f, cur, SEEK_SET);
  return size;
}

void TFileStream::Flush() {
  // Buffered writes fail here when the disk is full: a save must not
  // report success for a file it did not write.
  if (std::fflush(File()) != 0) WriteError(errno);
}

void TFileStream::Close() {
  if (!F_) return;
  std::FILE* f = F_;
  F_ = nullptr;
  // fclose writes what is buffered; a write that failed before counts too,
  // even when nothing was buffered since.
  const int error = std::fclose(f) != 0 ? (errno ? errno : EIO) : WriteErrno_;
  if (error)
    throw EFileError(Format("Stream write error on \"%s\". %s", FileName_, std::strerror(error)));
}

bool FileExists(const std::string& FileName) {
  struct stat st;
  return ::stat(FileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace kb
