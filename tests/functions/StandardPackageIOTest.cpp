#include <cstdio>
#include <fstream>
#include <sstream>

#include "FunctionCallHelper.h"
#include "ProcessHelper.h"
#include "engine/DeducerIO.h"

using namespace kb;
using namespace kb::test;

namespace {

class StandardPackageIO : public TFunctionTest {
 protected:
  std::string FileText(const std::string& Name) {
    std::ifstream f(Name, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  void WriteFile(const std::string& Name, const std::string& Text) {
    std::ofstream(Name, std::ios::binary) << Text;
  }

  TTempDir Dir;
};

}  // namespace

// What printout and format print is tested by the scripts in
// tests/language/printout and tests/language/format.
TEST_F(StandardPackageIO, Bounds) {
  for (const char* name : {"printout", "format", "read", "readline", "open", "close", "remove",
                           "rename", "dribble-on", "dribble-off"})
    ExpectBounds(name);
}

TEST_F(StandardPackageIO, ReadLineAndReadTakeTheLogicalInput) {
  TMemoryStream input("first line\n\n  tokens here\n\"quoted\" 2.5\n(a b)\n");
  Engine.SetStdInput(&input);
  EXPECT_EQ(Call("readline")->GetToString(), "\"first line\"");
  // An empty line is an empty string, not the end.
  IKbValue empty = Call("readline", {Atom("t")});
  EXPECT_EQ(empty->GetDType(), dtString);
  EXPECT_EQ(empty->GetAsString(), "");
  IKbValue token = Call("read");
  EXPECT_EQ(token->GetDType(), dtAtom);
  EXPECT_EQ(token->GetAsString(), "tokens");
  EXPECT_EQ(Call("read", {Atom("t")})->GetToString(), "\"quoted\"");
  // Punctuation is read as its character.
  EXPECT_EQ(Call("read")->GetToString(), "\"(\"");
  EXPECT_EQ(Call("readline"), FCEOF);
  EXPECT_EQ(Call("read"), FCEOF);

  WriteFile(Dir.File("in.txt"), "7 8\n-2.5\n");
  Call("open", {Str(Dir.File("in.txt")), Atom("in")});
  IKbValue seven = Call("read", {Atom("in")});
  EXPECT_EQ(seven->GetDType(), dtInteger);
  EXPECT_EQ(seven->GetAsInteger(), 7);
  EXPECT_EQ(Call("read", {Atom("in")})->GetAsNumeric(), -2.5);
  EXPECT_EQ(Call("read", {Atom("in")}), FCEOF);
  EXPECT_EQ(ErrorOf("readline", {Atom("closed")}), "Invalid stream name: closed");
}

TEST_F(StandardPackageIO, OpenModesAndResults) {
  const std::string file = Dir.File("f.txt");
  IKbValue name = Str("a name");
  IKbValue result = Call("open", {Str(file), name, Str("w")});
  EXPECT_EQ(result->GetToString(), "\"a name\"");
  EXPECT_NE(result.get(), name.get());  // a copy of the argument
  Call("printout", {Str("a name"), Str("one"), Atom("crlf")});
  EXPECT_EQ(Call("close", {Str("a name")}), FCTrue);
  EXPECT_EQ(FileText(file), "one\r\n");

  // "a" appends to what is there.
  Call("open", {Str(file), Atom("f"), Str("a")});
  Call("printout", {Atom("f"), Str("two")});
  Call("close", {Atom("f")});
  EXPECT_EQ(FileText(file), "one\r\ntwo");
  // "w" starts the file anew; "r" is the default mode.
  Call("open", {Str(file), Atom("f"), Str("w")});
  Call("close");
  EXPECT_EQ(FileText(file), "");
  WriteFile(file, "abc\ndef\n");
  Call("open", {Str(file), Atom("f")});
  EXPECT_EQ(Call("readline", {Atom("f")})->GetAsString(), "abc");
  Call("close");
  // "r+" reads and writes in place.
  Call("open", {Str(file), Atom("f"), Str("r+")});
  EXPECT_EQ(Call("readline", {Atom("f")})->GetAsString(), "abc");
  Call("printout", {Atom("f"), Str("XY")});
  EXPECT_EQ(Call("readline", {Atom("f")})->GetAsString(), "f");
  Call("close");
  EXPECT_EQ(FileText(file), "abc\nXYf\n");
}

TEST_F(StandardPackageIO, OpenFailuresLeaveNothingBehind) {
  const std::string file = Dir.File("kept.txt");
  WriteFile(file, "precious");
  TIOStreams& streams = Engine.IOStreams();
  EXPECT_EQ(ErrorOf("open", {Str(file), Atom("f"), Str("rw")}),
            "Invalid File Access Specifier: \"rw\"");
  EXPECT_EQ(ErrorOf("open", {Str(file), Atom("f"), Str("R")}),
            "Invalid File Access Specifier: \"R\"");
  EXPECT_EQ(ErrorOf("open", {Str(Dir.File("missing")), Atom("f")}),
            "Cannot open file \"" + Dir.File("missing") + "\". No such file or directory");
  EXPECT_EQ(ErrorOf("open", {Str(Dir.Path()), Atom("f")}),
            "Cannot open file \"" + Dir.Path() + "\". Is a directory");
  EXPECT_EQ(ErrorOf("open", {Str(Dir.File("no/dir/x")), Atom("f"), Str("w")}),
            "Cannot create file \"" + Dir.File("no/dir/x") + "\". No such file or directory");
  EXPECT_EQ(ErrorOf("open", {Str(file), Atom("t"), Str("w")}),
            "Logical name t is reserved for standard input and output");
  EXPECT_EQ(streams.Count(), 0);
  EXPECT_EQ(FileText(file), "precious");

  // A name in use is refused before the file is touched.
  Call("open", {Str(Dir.File("other.txt")), Atom("f"), Str("w")});
  EXPECT_EQ(ErrorOf("open", {Str(file), Atom("f"), Str("w")}), "Logical name already in use: f");
  EXPECT_EQ(FileText(file), "precious");
  EXPECT_EQ(streams.Count(), 1);

  EXPECT_EQ(ErrorOf("close", {Atom("g")}), "Invalid stream name: g");
  Call("open", {Str(file), Atom("g")});
  EXPECT_EQ(Call("close"), FCTrue);
  EXPECT_EQ(streams.Count(), 0);
}
