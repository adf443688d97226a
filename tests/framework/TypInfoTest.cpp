#include "framework/TypInfo.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ErrorHelper.h"
#include "framework/ComponentStream.h"
#include "framework/Streams.h"

using namespace kb;
using kb::test::ErrorOf;

namespace {

enum TColour : uint8_t { clRed, clGreen, clBlue };
const char* const ColourNames[] = {"clRed", "clGreen", "clBlue"};

struct TColours {
  uint32_t Bits = 0;
  static TColours FromInt(uint32_t B) { return TColours{B}; }
  uint32_t ToInt() const { return Bits; }
};

class TShape : public TComponent {
 public:
  using TComponent::TComponent;
  int16_t GetSize() const { return Size; }
  void SetSize(int16_t V) { Size = V; }
  const std::string& GetCaption() const { return Caption; }
  void SetCaption(const std::string& V) { Caption = V; }
  TColour GetColour() const { return Colour; }
  void SetColour(TColour V) { Colour = V; }
  double GetRatio() const { return Ratio; }
  void SetRatio(double V) { Ratio = V; }
  TColours GetMix() const { return Mix; }
  void SetMix(TColours V) { Mix = V; }
  bool GetVisible() const { return Visible; }
  void SetVisible(bool V) { Visible = V; }
  char GetMark() const { return Mark; }
  void SetMark(char V) { Mark = V; }
  TShape* GetBuddy() const { return Buddy; }
  void SetBuddy(TShape* V) { Buddy = V; }
  int GetId() const { return 7; }
  std::vector<std::string> Notes;

  int16_t Size = 1;
  std::string Caption;
  TColour Colour = clRed;
  double Ratio = 0.5;
  TColours Mix;
  bool Visible = true;
  char Mark = 'x';
  TShape* Buddy = nullptr;
};

class TCircle : public TShape {
 public:
  using TShape::TShape;
  int32_t GetRadius() const { return Radius; }
  void SetRadius(int32_t V) { Radius = V; }
  int32_t Radius = 0;
};

const TClassRegistration<TShape> ShapeClass(
    "TTestShape", "TComponent",
    {
        Prop::Int<TShape>("Size", &TShape::GetSize, &TShape::SetSize, 1),
        Prop::Str<TShape>("Caption", &TShape::GetCaption, &TShape::SetCaption),
        Prop::Enum<TShape>("Colour", &TShape::GetColour, &TShape::SetColour, ColourNames, 3,
                           std::optional<TColour>(clRed)),
        Prop::Float<TShape>("Ratio", &TShape::GetRatio, &TShape::SetRatio, 0.5),
        Prop::Set<TShape>("Mix", &TShape::GetMix, &TShape::SetMix, ColourNames, 3, 0u),
        Prop::Bool<TShape>("Visible", &TShape::GetVisible, &TShape::SetVisible, true),
        Prop::Char<TShape>("Mark", &TShape::GetMark, &TShape::SetMark, 'x'),
        Prop::Object<TShape>("Buddy", &TShape::GetBuddy, &TShape::SetBuddy, "TTestShape", true),
        Prop::Int<TShape>("Id", &TShape::GetId, nullptr),
        Prop::Method("OnClick"),
    },
    [](TShape& S, TFiler& F) {
      TShape* s = &S;
      F.DefineProperty(
          "Notes",
          [s](TReader& R) {
            while (!R.EndOfList()) s->Notes.push_back(R.ReadString());
          },
          [s](TWriter& W) {
            for (const std::string& n : s->Notes) W.WriteString(n);
          },
          !S.Notes.empty());
    });
const TClassRegistration<TCircle> CircleClass("TTestCircle", "TTestShape",
                                              {Prop::Int<TCircle>("Radius", &TCircle::GetRadius,
                                                                  &TCircle::SetRadius, 0)});

// A component with a part: a persistent object it owns for good.
class TFrame;
class TPanel : public TPersistent {
 public:
  int32_t GetWidth() const { return Width; }
  void SetWidth(int32_t V) { Width = V; }
  int32_t Width = 0;
  std::vector<std::string> Lines;
  // The frame's Scale when the lines were read.
  int32_t ScaleSeen = -1;
  TFrame* Frame = nullptr;
};

class TFrame : public TComponent {
 public:
  explicit TFrame(TComponent* AOwner = nullptr) : TComponent(AOwner) { Panel.Frame = this; }
  TPanel* GetPanel() const { return const_cast<TPanel*>(&Panel); }
  int32_t GetScale() const { return Scale; }
  void SetScale(int32_t V) { Scale = V; }
  TPanel Panel;
  int32_t Scale = 1;
};

const TClassRegistration<TPanel> PanelClass("TTestPanel", "",
                                            {Prop::Int<TPanel>("Width", &TPanel::GetWidth,
                                                               &TPanel::SetWidth, 0)},
                                            [](TPanel& P, TFiler& F) {
                                              TPanel* p = &P;
                                              F.DefineProperty(
                                                  "Lines",
                                                  [p](TReader& R) {
                                                    p->ScaleSeen = p->Frame ? p->Frame->Scale : -1;
                                                    while (!R.EndOfList())
                                                      p->Lines.push_back(R.ReadString());
                                                  },
                                                  [p](TWriter& W) {
                                                    for (const std::string& l : p->Lines)
                                                      W.WriteString(l);
                                                  },
                                                  !P.Lines.empty());
                                            });
// The part is listed before the setting it depends on.
const TClassRegistration<TFrame> FrameClass(
    "TTestFrame", "TComponent",
    {Prop::Owned<TFrame>("Panel", &TFrame::GetPanel, "TTestPanel"),
     Prop::Int<TFrame>("Scale", &TFrame::GetScale, &TFrame::SetScale, 1)});

// The error reading Text raises.
std::string ReadError(const std::string& Text) {
  return ErrorOf([&] { std::unique_ptr<TPersistent>(ReadPersistentText(Text)); });
}

// Text with the first From replaced by To.
std::string Replaced(std::string Text, const std::string& From, const std::string& To) {
  size_t at = Text.find(From);
  EXPECT_NE(at, std::string::npos) << From;
  return at == std::string::npos ? Text : Text.replace(at, From.size(), To);
}

}  // namespace

TEST(TypInfo, PropertiesAreInheritedAndTypedByKind) {
  TCircle c;
  const TPersistentClass* cls = ClassOf(&c);
  ASSERT_EQ(cls, CircleClass.Get());
  EXPECT_TRUE(cls->InheritsFrom(ShapeClass.Get()));
  EXPECT_TRUE(cls->InheritsFrom(GetClass("tcomponent")));
  EXPECT_FALSE(ShapeClass.Get()->InheritsFrom(cls));
  // Parents' properties first, each once; found by name in any case.
  std::vector<const TPropInfo*> props = GetPropList(cls);
  ASSERT_EQ(props.size(), 12u);
  EXPECT_EQ(props.front()->Name, "Name");
  EXPECT_EQ(props.back()->Name, "Radius");
  EXPECT_EQ(FindPropInfo(cls, "radius"), props.back());

  SetOrdProp(&c, "Radius", 5);
  SetOrdProp(&c, "Size", -32768);
  SetStrProp(&c, "Caption", "hello");
  SetEnumProp(&c, "Colour", "CLBLUE");
  SetFloatProp(&c, "Ratio", 2.25);
  SetSetProp(&c, "Mix", "[clRed, clBlue]");
  SetEnumProp(&c, "Visible", "FALSE");
  SetStrProp(&c, "Mark", "q");
  EXPECT_EQ(c.Radius, 5);
  EXPECT_EQ(c.Size, -32768);
  EXPECT_EQ(GetStrProp(&c, "Caption"), "hello");
  EXPECT_EQ(GetEnumProp(&c, "Colour"), "clBlue");
  EXPECT_EQ(GetFloatProp(&c, "Ratio"), 2.25);
  EXPECT_EQ(GetSetProp(&c, "Mix"), "[clRed,clBlue]");
  EXPECT_FALSE(c.Visible);
  EXPECT_EQ(c.Mark, 'q');
  EXPECT_EQ(GetOrdProp(&c, "Id"), 7);
}

TEST(TypInfo, RefusesWhatAPropertyCannotHold) {
  TCircle c;
  // Out of the holding type's range: refused, never truncated.
  EXPECT_EQ(ErrorOf([&] { SetOrdProp(&c, "Size", 40000); }),
            "Value 40000 is out of range for property Size of class TTestCircle (-32768 to 32767)");
  EXPECT_EQ(c.Size, 1);
  EXPECT_EQ(ErrorOf([&] { SetEnumProp(&c, "Colour", "clPink"); }),
            "Unknown value clPink for property Colour (one of clRed, clGreen, clBlue)");
  EXPECT_EQ(ErrorOf([&] { SetOrdProp(&c, "Colour", 3); }),
            "Value 3 is out of range for property Colour of class TTestCircle");
  EXPECT_EQ(ErrorOf([&] { SetOrdProp(&c, "Mix", 8); }),
            "Value 8 is out of range for property Mix of class TTestCircle");
  EXPECT_EQ(ErrorOf([&] { SetStrProp(&c, "Mark", "ab"); }),
            "Property Mark takes one character, not \"ab\"");
  EXPECT_EQ(ErrorOf([&] { SetOrdProp(&c, "Id", 1); }),
            "Property Id of class TTestCircle is read-only");
  EXPECT_EQ(ErrorOf([&] { GetStrProp(&c, "Radius"); }),
            "Property Radius of class TTestCircle is of kind integer, not string");
  EXPECT_EQ(ErrorOf([&] { GetOrdProp(&c, "Depth"); }),
            "Unknown property Depth of class TTestCircle");
  // An object reference takes only objects of its class.
  TComponent other;
  EXPECT_EQ(ErrorOf([&] { SetObjectProp(&c, "Buddy", &other); }),
            "Property Buddy of class TTestCircle takes a TTestShape, not a TComponent");
  EXPECT_EQ(c.Buddy, nullptr);
}

TEST(TypInfo, ObjectLinksClearWhenTheirComponentGoes) {
  auto* c = new TShape();
  TObjectLink* link = TObjectLink::Of(c);
  link->AddRef();
  EXPECT_EQ(TObjectLink::Of(c), link);
  EXPECT_EQ(link->Get(), c);
  delete c;
  EXPECT_EQ(link->Get(), nullptr);
  EXPECT_EQ(link->GetClassName(), "(anonymous namespace)::TShape");
  EXPECT_EQ(TObjectLink::Find(c), nullptr);
  link->Release();
}

TEST(TypInfo, ParentsHearOfTheirControlsAndRefuseCycles) {
  TControl a, b;
  auto* c = new TControl();
  c->SetParent(&b);
  b.SetParent(&a);
  EXPECT_EQ(b.GetControlCount(), 1);
  EXPECT_EQ(ErrorOf([&] { a.SetParent(c); }), "A control cannot be placed inside itself");
  delete c;
  EXPECT_EQ(b.GetControlCount(), 0);
  // A parent that goes first leaves its controls without a parent.
  auto* parent = new TControl();
  TControl child;
  child.SetParent(parent);
  delete parent;
  EXPECT_EQ(child.GetParent(), nullptr);
}

TEST(ComponentFile, RoundTripsPropertiesDataAndOwnedComponents) {
  TComponent root;
  auto* s = new TShape(&root);
  s->SetName("first");
  s->Caption = "a \"quoted\" caption";
  s->Colour = clGreen;
  s->Mix = TColours{5};
  s->Ratio = 0.1;
  s->Notes = {"one", "two"};
  auto* child = new TCircle(s);
  child->SetName("inner");
  child->Radius = 3;
  child->Buddy = s;
  const std::string text = WritePersistentText(s);
  // Defaults are left out.
  EXPECT_EQ(text.find("\"Size\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"Mix\": [\n"), std::string::npos) << text;

  TComponent other;
  std::unique_ptr<TPersistent> read(ReadPersistentText(text));
  auto* r = dynamic_cast<TShape*>(read.get());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->GetName(), "first");
  EXPECT_EQ(r->Caption, s->Caption);
  EXPECT_EQ(r->Colour, clGreen);
  EXPECT_EQ(r->Mix.Bits, 5u);
  EXPECT_EQ(r->Ratio, 0.1);
  EXPECT_EQ(r->Notes, s->Notes);
  ASSERT_EQ(r->GetComponentCount(), 1);
  auto* rc = dynamic_cast<TCircle*>(r->GetComponent(0));
  ASSERT_NE(rc, nullptr);
  EXPECT_EQ(rc->Radius, 3);
  // The reference by name finds the new owner, not the old object.
  EXPECT_EQ(rc->Buddy, r);
  EXPECT_EQ(WritePersistentText(r), text);
}

TEST(ComponentFile, ObjectsWrittenToAStreamReadBackInOrder) {
  TShape first;
  first.SetName("first");
  // Braces and quotes inside strings do not end the object early.
  first.Caption = "a } and a \\\" in {text}";
  TCircle second;
  second.SetName("second");
  second.Radius = 7;
  TMemoryStream stream;
  WritePersistent(stream, &first);
  WritePersistent(stream, &second);
  stream.SetPosition(0);
  std::unique_ptr<TPersistent> a(ReadPersistent(stream));
  std::unique_ptr<TPersistent> b(ReadPersistent(stream));
  auto* shape = dynamic_cast<TShape*>(a.get());
  auto* circle = dynamic_cast<TCircle*>(b.get());
  ASSERT_TRUE(shape && circle);
  EXPECT_EQ(shape->Caption, first.Caption);
  EXPECT_EQ(circle->Radius, 7);
  // At the end, and before an unknown class, nothing is read and the
  // position stays.
  const int64_t end = stream.GetPosition();
  EXPECT_THROW(ReadPersistent(stream), EComponentFileError);
  EXPECT_EQ(stream.GetPosition(), end);
  TMemoryStream unknown(
      R"({"format": "deducer-component", "version": 1, "object": {"class": "TNoSuch"}})");
  EXPECT_THROW(ReadPersistent(unknown), EComponentFileError);
  EXPECT_EQ(unknown.GetPosition(), 0);
}

TEST(ComponentFile, MalformedFilesNameThePlaceAndBuildNothing) {
  TShape s;
  s.SetName("s");
  s.Caption = "c";
  auto* inner = new TCircle(&s);
  inner->SetName("inner");
  const std::string good = WritePersistentText(&s);
  auto read = ReadError;
  // Cut short anywhere: malformed JSON, with its byte.
  EXPECT_EQ(
      read(good.substr(0, good.size() / 2)).rfind("Component file is not valid JSON at byte ", 0),
      0u);
  auto replaced = [&](const std::string& From, const std::string& To) {
    return Replaced(good, From, To);
  };
  EXPECT_EQ(read(replaced("\"TTestCircle\"", "\"TNoSuchClass\"")),
            "Component file, at TTestShape \"s\": unknown class TNoSuchClass");
  EXPECT_EQ(
      read(replaced("\"Caption\"", "\"Title\"")),
      "Component file, at TTestShape \"s\" > property Title: unknown property of class TTestShape");
  EXPECT_EQ(
      read(replaced("\"c\"", "12")),
      "Component file, at TTestShape \"s\" > property Caption: a string expected for a property "
      "of kind string, not number");
  EXPECT_EQ(read(replaced("\"Caption\": \"c\"", "\"Size\": 70000")),
            "Component file, at TTestShape \"s\" > property Size: Value 70000 is out of range for "
            "property Size of class TTestShape (-32768 to 32767)");
  EXPECT_EQ(read(replaced("\"Caption\": \"c\"", "\"Id\": 3")),
            "Component file, at TTestShape \"s\" > property Id: the property is read-only");
  EXPECT_EQ(
      read(replaced("\"Caption\": \"c\"", "\"Colour\": \"clPink\"")),
      "Component file, at TTestShape \"s\" > property Colour: Unknown value clPink for property "
      "Colour (one of clRed, clGreen, clBlue)");
  EXPECT_EQ(read(replaced("\"properties\"", "\"data\": {\"Notes\": [\"a\", 2]}, \"properties\"")),
            "Component file, at TTestShape \"s\" > data Notes: item 1 is number, not a string");
  EXPECT_EQ(read(replaced("\"properties\"", "\"data\": {\"Lines\": []}, \"properties\"")),
            "Component file, at TTestShape \"s\": unknown data \"Lines\"");
  EXPECT_EQ(
      read(replaced("\"deducer-component\"", "\"other\"")),
      "Component file, at the top: not a component file (\"format\" is not \"deducer-component\")");
  // Read into an object of a class it does not derive from: refused
  // before anything is set.
  TCircle circle;
  circle.Caption = "round";
  const std::string circleText = WritePersistentText(&circle);
  TShape shape;
  EXPECT_EQ(ErrorOf([&] { ReadPersistentInto(circleText, &shape); }),
            "Component file, at the top: a TTestCircle cannot be read into a TTestShape");
  EXPECT_EQ(shape.Caption, "");
  ReadPersistentInto(good, &circle);
  EXPECT_EQ(circle.Caption, "c");
}

TEST(ComponentFile, PartsAreWrittenInlineAndReadIntoThePartHeld) {
  TFrame empty;
  // A part with nothing to say is left out.
  EXPECT_EQ(WritePersistentText(&empty).find("Panel"), std::string::npos);
  // Its holder cannot replace it.
  TPanel other;
  EXPECT_EQ(ErrorOf([&] { SetObjectProp(&empty, "Panel", &other); }),
            "Property Panel of class TTestFrame is a part of the object and cannot be replaced "
            "(set the part's properties instead)");
  EXPECT_EQ(GetObjectProp(&empty, "Panel"), &empty.Panel);

  TFrame f;
  f.Scale = 4;
  f.Panel.Width = 30;
  f.Panel.Lines = {"a", "b"};
  const std::string text = WritePersistentText(&f);
  // Inline with its class, after the other properties.
  EXPECT_NE(text.find("\"Scale\": 4,\n      \"Panel\": {\n        \"class\": \"TTestPanel\""),
            std::string::npos)
      << text;
  TFrame g;
  TPanel* held = &g.Panel;
  ReadPersistentInto(text, &g);
  EXPECT_EQ(&g.Panel, held);
  EXPECT_EQ(g.Panel.Width, 30);
  EXPECT_EQ(g.Panel.Lines, f.Panel.Lines);
  // The setting was read first, though the class lists the part first.
  EXPECT_EQ(g.Panel.ScaleSeen, 4);
  EXPECT_EQ(WritePersistentText(&g), text);

  // What is wrong inside a part names the part; nothing is built.
  auto read = ReadError;
  auto replaced = [&](const std::string& From, const std::string& To) {
    return Replaced(text, From, To);
  };
  EXPECT_EQ(read(replaced("\"Width\"", "\"Height\"")),
            "Component file, at TTestFrame > property Panel > TTestPanel > property Height: "
            "unknown property of class TTestPanel");
  EXPECT_EQ(read(replaced("\"a\",", "7,")),
            "Component file, at TTestFrame > property Panel > TTestPanel > data Lines: item 0 is "
            "number, not a string");
  EXPECT_EQ(read(replaced("\"TTestPanel\"", "\"TTestShape\"")),
            "Component file, at TTestFrame > property Panel: a TTestShape cannot be read into the "
            "TTestPanel the property holds");
  EXPECT_EQ(read(replaced("\"TTestPanel\"", "\"TNoSuch\"")),
            "Component file, at TTestFrame > property Panel: unknown class TNoSuch");
  EXPECT_EQ(read(R"({"format": "deducer-component", "version": 1, "object": {"class": )"
                 R"("TTestFrame", "properties": {"Panel": null}}})"),
            "Component file, at TTestFrame > property Panel: an object expected for a part, not "
            "null");
  EXPECT_EQ(
      read(replaced("\"class\": \"TTestPanel\"", "\"class\": \"TTestPanel\", \"name\": \"p\"")),
      "Component file, at TTestFrame > property Panel > TTestPanel \"p\": an object that "
      "is not a component has no name");
}
