// A buffered text stream over a string, a byte stream or a named file.
// A UTF-8 byte order mark at the start of what it reads is skipped.
//
// Readers take characters one at a time with look-back (PutBack); writers
// append text and CR LF line ends. The stream counts nothing: line counting
// belongs to the lexer that reads through it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/Streams.h"

namespace kb {

class TGTextStream {
 public:
  // Reads from (and writes to) Source; owns it when Owned is true.
  explicit TGTextStream(TStream* Source, bool Owned = false);
  // Reads the given text.
  static std::unique_ptr<TGTextStream> FromString(std::string Text);
  // Opens a file with the given mode; raises EFileError when it cannot.
  TGTextStream(const std::string& FileName, TFileMode Mode);
  TGTextStream(const TGTextStream&) = delete;
  TGTextStream& operator=(const TGTextStream&) = delete;
  virtual ~TGTextStream();

  // The next character; once the input is exhausted, '\0'.
  virtual char GetChar();
  // Returns one character to be read again (several may be stacked).
  void PutBack(char C) { PutBack_.push_back(C); }
  bool IsEof();
  // Reads the rest of the current line and its line end; returns the line
  // without the line end. Virtual so that readers can count lines.
  virtual std::string GetLine();
  // Skips blanks within the line. True exactly when it consumed a line end;
  // false when it stopped before a visible character or at the end.
  virtual bool SkipInLineSpaces();

  void Put(const std::string& Text);
  void PutLine(const std::string& Text);
  void PutEOL();
  // Writes what is buffered to a file; EFileError when the system refuses.
  void Flush();
  // Closes the file this stream opened (or was given to own), reporting
  // lost writes as TFileStream::Close does; other streams are left as they
  // are. Reading or writing afterwards raises.
  void Close();

  TStream* GetStream() const { return Stream_; }
  const std::string& GetFileName() const { return FileName_; }

 private:
  bool Fill();

  TStream* Stream_ = nullptr;
  bool Owned_ = false;
  std::string FileName_;
  std::string Buffer_;
  size_t BufPos_ = 0;
  bool SourceDone_ = false;
  bool Started_ = false;  // something was read (a byte order mark is looked for once)
  std::vector<char> PutBack_;
};

}  // namespace kb
