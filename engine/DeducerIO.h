// The engine's named I/O streams and the command buffer of shells and
// batches (TDeducer::IOStreams; TDeducer's I/O is in engine/Deducer.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "framework/Collections.h"
#include "framework/TextStream.h"

namespace kb {

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

}  // namespace kb
