// Byte streams over memory and files.
//
// TStream is the abstract byte stream; TMemoryStream keeps its bytes in a
// string; TFileStream reads and writes a file and raises EFileError with the
// file name and the system's reason when it cannot be opened or written
// (buffered writes may fail only when flushed or closed: Flush and Close
// report that).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "framework/SysUtils.h"

namespace kb {

enum TFileMode : uint8_t {
  fmOpenRead,       // existing file, read only
  fmOpenWrite,      // existing file, write only, position at the start
  fmOpenReadWrite,  // existing file, read and write
  fmCreate,         // new or truncated file, read and write
  fmAppend,         // new or existing file, writes go to the end
};

enum class TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  // Reads up to Count bytes; returns how many were read (0 at the end).
  virtual size_t Read(void* Buffer, size_t Count) = 0;
  // Writes Count bytes or raises.
  virtual void Write(const void* Buffer, size_t Count) = 0;
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
  virtual int64_t GetSize() = 0;

  int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, TSeekOrigin::soBeginning); }
  void WriteString(const std::string& S) { Write(S.data(), S.size()); }
  // The bytes from the current position to the end.
  std::string ReadAll();
  // Copies Count bytes from Source (all of it from its position when 0).
  void CopyFrom(TStream& Source, size_t Count = 0);
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string Data) : Data_(std::move(Data)) {}
  size_t Read(void* Buffer, size_t Count) override;
  void Write(const void* Buffer, size_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t GetSize() override { return static_cast<int64_t>(Data_.size()); }
  const std::string& DataString() const { return Data_; }
  void Clear() {
    Data_.clear();
    Pos_ = 0;
  }

 private:
  std::string Data_;
  size_t Pos_ = 0;
};

using TStringStream = TMemoryStream;

class TFileStream : public TStream {
 public:
  TFileStream(const std::string& FileName, TFileMode Mode);
  ~TFileStream() override;
  size_t Read(void* Buffer, size_t Count) override;
  void Write(const void* Buffer, size_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t GetSize() override;
  const std::string& GetFileName() const { return FileName_; }
  // Writes what is buffered; EFileError when the system refuses it.
  void Flush();
  // Writes what is buffered and closes the file. Raises EFileError when
  // anything written since the file was opened was lost (a write, the last
  // flush or the close itself failed); the file is closed either way, and
  // every later read, write or seek raises. Closing again does nothing.
  // The destructor closes without a word: whoever needs to know that the
  // data arrived closes first.
  void Close();

 private:
  // The C library needs a positioning call between a write and a read on
  // the same file; this remembers which came last.
  enum class TLastOp : uint8_t { None, Read, Write };
  void Switch(TLastOp Op);
  // The file, or EFileError when it has been closed.
  std::FILE* File();
  [[noreturn]] void WriteError(int Error);

  std::FILE* F_ = nullptr;
  std::string FileName_;
  TLastOp LastOp_ = TLastOp::None;
  int WriteErrno_ = 0;  // the reason of the first failed write, or 0
};

bool FileExists(const std::string& FileName);

}  // namespace kb
