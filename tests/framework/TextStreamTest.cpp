#include "framework/TextStream.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "framework/Classes.h"

using namespace kb;

TEST(TextStream, ReadsCharactersWithPutBackAndEnd) {
  auto s = TGTextStream::FromString("ab");
  EXPECT_FALSE(s->IsEof());
  EXPECT_EQ(s->GetChar(), 'a');
  s->PutBack('x');
  EXPECT_EQ(s->GetChar(), 'x');
  EXPECT_EQ(s->GetChar(), 'b');
  EXPECT_TRUE(s->IsEof());
  EXPECT_EQ(s->GetChar(), '\0');
  s->PutBack('z');
  EXPECT_FALSE(s->IsEof());
}

TEST(TextStream, AByteOrderMarkAtTheStartIsSkipped) {
  EXPECT_EQ(TGTextStream::FromString("\xEF\xBB\xBF(a)")->GetLine(), "(a)");
  // Only at the very start, and a mark alone is an empty text.
  EXPECT_EQ(TGTextStream::FromString("(a)\xEF\xBB\xBF")->GetLine(), "(a)\xEF\xBB\xBF");
  EXPECT_EQ(TGTextStream::FromString(" \xEF\xBB\xBF")->GetLine(), " \xEF\xBB\xBF");
  auto mark = TGTextStream::FromString("\xEF\xBB\xBF");
  EXPECT_TRUE(mark->IsEof());
  EXPECT_EQ(mark->GetChar(), '\0');
  // Something like it stays.
  EXPECT_EQ(TGTextStream::FromString("\xEF\xBBx")->GetLine(), "\xEF\xBBx");
}

TEST(TextStream, GetLineAndSkipInLineSpaces) {
  auto s = TGTextStream::FromString("one two\r\n  \t\nthree");
  EXPECT_EQ(s->GetLine(), "one two");
  EXPECT_TRUE(s->SkipInLineSpaces());   // consumed the blank line's end
  EXPECT_FALSE(s->SkipInLineSpaces());  // stopped before "three"
  EXPECT_EQ(s->GetChar(), 't');
  EXPECT_EQ(s->GetLine(), "hree");
  EXPECT_FALSE(s->SkipInLineSpaces());  // at the end
}

TEST(TextStream, WritesAndReadsFiles) {
  std::string name = ::testing::TempDir() + "kb_textstream_test.txt";
  {
    TGTextStream out(name, fmCreate);
    out.PutLine("hello");
    out.Put("x");
  }
  TGTextStream in(name, fmOpenRead);
  EXPECT_EQ(in.GetLine(), "hello");
  EXPECT_EQ(in.GetLine(), "x");
  EXPECT_TRUE(in.IsEof());
  std::remove(name.c_str());
  EXPECT_THROW(TGTextStream(name, fmOpenRead), EFileError);
}

TEST(TextStream, WritingAfterReadingLandsWhereTheReaderStands) {
  // The reader buffers ahead; text written after a partial read must go to
  // the reader's position (over a file opened for reading and writing, and
  // over memory), not after the buffered chunk.
  std::string name = ::testing::TempDir() + "kb_textstream_rw.txt";
  {
    TGTextStream out(name, fmCreate);
    out.Put("first\nsecond\nthird\n");
  }
  {
    TGTextStream rw(name, fmOpenReadWrite);
    EXPECT_EQ(rw.GetLine(), "first");
    rw.Put("SECOND");
    // Reading goes on after what was written.
    EXPECT_EQ(rw.GetLine(), "");
    EXPECT_EQ(rw.GetLine(), "third");
    EXPECT_TRUE(rw.IsEof());
  }
  TGTextStream in(name, fmOpenRead);
  EXPECT_EQ(in.GetLine(), "first");
  EXPECT_EQ(in.GetLine(), "SECOND");
  EXPECT_EQ(in.GetLine(), "third");
  std::remove(name.c_str());

  TMemoryStream memory("ab\ncd\n");
  TGTextStream text(&memory);
  EXPECT_EQ(text.GetChar(), 'a');
  text.PutBack('a');
  text.Put("X");
  EXPECT_EQ(memory.DataString(), "Xb\ncd\n");
  EXPECT_EQ(text.GetLine(), "b");
}

// Writes to a full device fail only when the buffer is flushed; closing
// must report them, not pass them for written data.
TEST(TextStream, CloseReportsWritesLostOnAFullDevice) {
  TFileStream file("/dev/full", fmCreate);
  file.WriteString("lost");  // buffered
  EXPECT_THROW(file.Close(), EFileError);
  file.Close();  // closed already: nothing more to say
  EXPECT_THROW(file.WriteString("x"), EFileError);

  // A failed flush is remembered by the close that follows.
  TFileStream again("/dev/full", fmCreate);
  again.WriteString("lost");
  EXPECT_THROW(again.Flush(), EFileError);
  EXPECT_THROW(again.Close(), EFileError);

  TGTextStream text("/dev/full", fmCreate);
  text.Put("lost");
  EXPECT_THROW(text.Close(), EFileError);

  TStringList lines;
  lines.Add("lost");
  EXPECT_THROW(lines.SaveToFile("/dev/full"), EFileError);
}
