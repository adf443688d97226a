#include <cstdio>
#include <fstream>
#include <sstream>

#include "FunctionCallHelper.h"
#include "ProcessHelper.h"

using namespace kb;
using namespace kb::test;

namespace {

class StandardPackageIO : public TFunctionTest {
 protected:
  StandardPackageIO() {
    Engine.OnPrintOut = [this](TPersistent*, const std::string& Id, const std::string& Text) {
      Out += Id + "|" + Text;
    };
  }
  // What format prints for Control and the arguments.
  std::string Formatted(const std::string& Control, std::initializer_list<IKbValue> Values) {
    IFunCall call = MakeCall("format", {Atom("t"), Str(Control)});
    for (const IKbValue& v : Values) call->AddArgument(v);
    Out.clear();
    call->Execute(Engine.GetContext());
    return Out.substr(2);  // drop the "t|"
  }
  std::string FormatError(const std::string& Control, const IKbValue& Value) {
    try {
      Formatted(Control, {Value});
    } catch (const Exception& e) {
      return e.Message();
    }
    return "<no error>";
  }
  std::string FileText(const std::string& Name) {
    std::ifstream f(Name, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  void WriteFile(const std::string& Name, const std::string& Text) {
    std::ofstream(Name, std::ios::binary) << Text;
  }

  std::string Out;
  TTempDir Dir;
};

}  // namespace

TEST_F(StandardPackageIO, Bounds) {
  for (const char* name : {"printout", "format", "read", "readline", "open", "close", "remove",
                           "rename", "dribble-on", "dribble-off"})
    ExpectBounds(name);
}

TEST_F(StandardPackageIO, PrintOutItems) {
  EXPECT_EQ(Call("printout", {Atom("t"), Str("a"), Atom("crlf"), Int(1), Flt(2.5)}), FCNil);
  EXPECT_EQ(Out, "t|a\r\n12.5");
  Out.clear();
  Call("printout", {Atom("t"), List({Atom("x"), Str("y"), Int(3)}), Atom("sym"), Atom("CRLF")});
  EXPECT_EQ(Out, "t|(x \"y\" 3)symCRLF");
  Out.clear();
  Call("printout", {Atom("t"), NewFactId(4), Nested("create$", {})});
  EXPECT_EQ(Out, "t|<Fact-4>()");
  // No arguments: standard output, nothing printed.
  Out.clear();
  Call("printout");
  EXPECT_EQ(Out, "|");
}

TEST_F(StandardPackageIO, PrintOutEvaluatesInOrderAndNests) {
  // A printout inside a printout's arguments prints first; the outer text is
  // not disturbed by it.
  Call("printout", {Atom("t"), Str("a"), Nested("printout", {Atom("t"), Str("inner")}), Str("b")});
  EXPECT_EQ(Out, "t|innert|ab");
  // The logical name is evaluated.
  Out.clear();
  Call("bind", {NewVariable("where"), Atom("t")});
  Call("printout", {NewVariable("where"), Str("via a variable")});
  EXPECT_EQ(Out, "t|via a variable");
}

TEST_F(StandardPackageIO, FormatDirectives) {
  struct TCase {
    const char* Control;
    std::vector<IKbValue> Args;
    const char* Expected;
  };
  const TCase cases[] = {
      {"%d items%n", {Int(3)}, "3 items\r\n"},
      {"x=%d", {Int(1), Int(2)}, "x=1 2"},
      {"%n%n", {Int(1)}, "\r\n\r\n 1"},
      {"no directive", {Str("a"), Flt(2.5)}, "no directive a 2.5"},
      {"%d and %d", {Int(1)}, "1 and %d"},
      {"100%%", {}, "100%"},
      {"%d%%", {Int(5)}, "5%"},
      {"%s then %d", {Str("50%d"), Int(7)}, "50%d then 7"},
      {"[%5d|%-5d|%05d]", {Int(42), Int(42), Int(-42)}, "[   42|42   |-0042]"},
      {"[%.3d|%x|%X|%u]", {Int(7), Int(255), Int(255), Int(-1)}, "[007|ff|FF|4294967295]"},
      {"[%f|%.2f|%8.3f]", {Flt(2.5), Flt(3.14159), Flt(-1)}, "[2.500000|3.14|  -1.000]"},
      {"[%e|%.2E|%g]", {Flt(12345.678), Flt(0.5), Flt(1e20)}, "[1.234568e+04|5.00E-01|1e+20]"},
      {"[%s|%8s|%-4s|%.2s]", {Atom("a"), Str("right"), Int(7), Flt(1.5)}, "[a|   right|7   |1.]"},
      {"%s", {List({Atom("a"), Int(1)})}, "(a 1)"},
      {"%d %d", {NewFactId(3), Flt(-7.9)}, "3 -7"},
      {"%.1f", {Int(7)}, "7.0"},
      {"[%n %.1n %12m]",
       {Flt(1234567.891), Flt(-1234.56), Int(1000)},
       "[\r\n 1,234,567.9    -1,234.56] 1000"},
      {"[%.2n|%.0n]", {Flt(999.999), Int(-1000)}, "[1,000.00|-1,000]"},
  };
  for (const TCase& c : cases) {
    IFunCall call = MakeCall("format", {Atom("t"), Str(c.Control)});
    for (const IKbValue& v : c.Args) call->AddArgument(v);
    Out.clear();
    EXPECT_EQ(call->Execute(Engine.GetContext()), FCNil) << c.Control;
    EXPECT_EQ(Out, std::string("t|") + c.Expected) << c.Control;
  }
}

TEST_F(StandardPackageIO, FormatRefusesWhatItCannotFormat) {
  EXPECT_EQ(FormatError("%d", Atom("abc")), "Format '%d' invalid or incompatible with argument");
  EXPECT_EQ(FormatError("%x", Str("1")), "Format '%x' invalid or incompatible with argument");
  EXPECT_EQ(FormatError("%e", List({})), "Format '%e' invalid or incompatible with argument");
  EXPECT_EQ(FormatError("a %c", Int(65)), "Format '%c' invalid or incompatible with argument");
  EXPECT_EQ(FormatError("%5", Int(1)), "Format '%5' invalid or incompatible with argument");
  EXPECT_EQ(FormatError("%", Int(1)), "Format '%' invalid or incompatible with argument");
  EXPECT_EQ(FormatError("%1-d", Int(1)), "Format '%1-d' invalid or incompatible with argument");
  EXPECT_EQ(FormatError("%1.2.3f", Flt(1)),
            "Format '%1.2.3f' invalid or incompatible with argument");
  // Fields are bounded: a hostile width is refused, not allocated.
  EXPECT_EQ(FormatError("%99999999999d", Int(1)),
            "Format '%99999999999d' invalid or incompatible with argument");
  EXPECT_EQ(FormatError("%.1001f", Flt(1)),
            "Format '%.1001f' invalid or incompatible with argument");
  EXPECT_EQ(Formatted("%1000d", {Int(1)}).size(), 1000u);
  EXPECT_EQ(FormatError("%d", Flt(1e300)), "Format '%d' invalid or incompatible with argument");
  // No user text ever reaches the C formatter as a format.
  EXPECT_EQ(Formatted("%s", {Str("%n%s%x")}), "%n%s%x");
  // The control string is evaluated.
  Call("bind", {NewVariable("c"), Str("<%d>")});
  Out.clear();
  IFunCall call = MakeCall("format", {Atom("t"), NewVariable("c"), Int(5)});
  call->Execute(Engine.GetContext());
  EXPECT_EQ(Out, "t|<5>");
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
