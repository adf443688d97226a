#include "parser/KbParser.h"

#include <gtest/gtest.h>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "parser/KbClipsParser.h"

using namespace kb;

namespace {

IStreamToken Token(int32_t Kind, std::string Text, double Number = 0, int32_t Line = 1) {
  return IStreamToken(new TKbStreamToken(Kind, Line, std::move(Text), Number));
}

using kb::test::ErrorOf;

}  // namespace

TEST(StreamToken, ValuesOfEachKind) {
  EXPECT_EQ(Token(TokAtom, "TRUE")->Value(), FCTrue);
  EXPECT_EQ(Token(TokAtom, "FALSE")->Value(), FCFalse);
  // Only the exact upper-case words are the shared booleans; nil in any case.
  IKbValue lower = Token(TokAtom, "true")->Value();
  EXPECT_NE(lower, FCTrue);
  EXPECT_EQ(lower->GetDType(), dtAtom);
  EXPECT_EQ(lower->GetAsString(), "true");
  for (const char* nil : {"nil", "NIL", "Nil"}) EXPECT_EQ(Token(TokAtom, nil)->Value(), FCNil);
  EXPECT_NE(Token(TokAtom, "nils")->Value(), FCNil);

  EXPECT_EQ(Token(TokEOF, "EOF")->Value(), FCEOF);
  IKbValue zero = Token(TokEOF, "x")->Value();
  EXPECT_EQ(zero->GetDType(), dtString);
  EXPECT_EQ(zero->GetAsString(), "0");
  EXPECT_EQ(Token(TokOpenParen, "(")->Value()->GetAsString(), "40");
  EXPECT_EQ(Token(TokOpenParen, "(")->Value()->GetDType(), dtString);

  EXPECT_EQ(Token(TokInteger, "", -3.9)->Value()->GetAsInteger(), -3);
  // Out-of-range numbers saturate instead of overflowing.
  EXPECT_EQ(Token(TokInteger, "", 1e20)->Value()->GetAsInteger(), INT64_MAX);
  // Integers are held exactly, past the 53 bits of a double.
  EXPECT_EQ(IStreamToken(new TKbStreamToken(TokInteger, 1, INT64_MIN + 1))->Value()->GetAsInteger(),
            INT64_MIN + 1);
  EXPECT_EQ(IStreamToken(new TKbStreamToken(TokInteger, 1, 9007199254740993))->GetToString(),
            "9007199254740993");
  EXPECT_EQ(Token(TokFloat, "", 2.5)->Value()->GetAsFloat(), 2.5);
  EXPECT_EQ(Token(TokVariable, "x")->Value()->GetToString(), "?x");
  EXPECT_EQ(Token(TokMultiVariable, "x")->Value()->GetToString(), "$?x");
  EXPECT_EQ(Token(dtFactId, "", 4)->Value()->GetToString(), "<Fact-4>");
  EXPECT_EQ(Token(dtSlot, "s")->Value()->GetDType(), dtSlot);
  EXPECT_EQ(Token(dtMultiSlot, "s")->Value()->GetDType(), dtMultiSlot);
  EXPECT_EQ(Token(dtDescriptor, "", 7)->Value()->GetAsDescriptor(), 7);
}

TEST(StreamToken, TextForms) {
  // A string's text form is what error messages quote: the string as it
  // is written.
  EXPECT_EQ(Token(TokString, "abc")->GetToString(), "\"abc\"");
  EXPECT_EQ(Token(TokString, "")->GetToString(), "\"\"");
  EXPECT_EQ(Token(TokString, "a\"b\\c")->GetToString(), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(Token(TokVariable, "x")->GetToString(), "?x");
  EXPECT_EQ(Token(TokMultiVariable, "x")->GetToString(), "$?x");
  EXPECT_EQ(Token(TokFloat, "", 0.5)->GetToString(), "0.5");
  EXPECT_EQ(Token(TokInteger, "", 12)->GetToString(), "12");
  EXPECT_EQ(Token(TokAtom, "abc")->GetToString(), "abc");
  EXPECT_EQ(Token(TokOpenParen, "")->GetToString(), "(");
  EXPECT_EQ(Token(TokEOF, "EOF")->GetToString(), "EOF");
}

TEST(StreamToken, EqualityCloneAssign) {
  // Text and tag play no part in equality.
  EXPECT_TRUE(Token(TokString, "a")->Equals(Token(TokString, "b").get()));
  EXPECT_FALSE(Token(TokString, "a")->Equals(Token(TokString, "a", 0, 2).get()));
  EXPECT_FALSE(Token(TokInteger, "", 1)->Equals(Token(TokInteger, "", 2).get()));
  EXPECT_FALSE(Token(TokAtom, "a")->Equals(NewAtom("a").get()));

  IStreamToken t = Token(TokAtom, "abc", 0, 5);
  t->SetTag(9);
  auto c = RefCast<TKbStreamToken>(t->Clone());
  ASSERT_TRUE(c);
  EXPECT_NE(c, t);
  EXPECT_EQ(c->GetText(), "abc");
  EXPECT_EQ(c->GetLineNumber(), 5);
  EXPECT_EQ(c->GetTag(), 9);
  EXPECT_THROW(t->Assign(ICloneable(NewAtom("x"))), EInvalidCast);
  EXPECT_THROW(t->Assign(static_cast<const TPersistent*>(NewAtom("x").get())), EConvertError);
  EXPECT_EQ(t->GetText(), "abc");
}

TEST(StreamToken, SetValueAndContextLookup) {
  IStreamToken t = Token(TokAtom, "");
  t->SetValue(NewInteger(42));
  EXPECT_EQ(t->GetDataType(), TokInteger);
  EXPECT_EQ(t->Value()->GetAsInteger(), 42);
  t->SetValue(NewString("s"));
  EXPECT_EQ(t->GetDataType(), TokString);
  EXPECT_EQ(t->Value()->GetAsString(), "s");
  t->SetValue(NewFloat(1.5));
  EXPECT_EQ(t->Value()->GetAsFloat(), 1.5);

  TDeducer engine;
  engine.GetContext()->AddBinding("x", NewInteger(3));
  EXPECT_EQ(Token(TokVariable, "x")->Value(engine.GetContext())->GetAsInteger(), 3);
  EXPECT_EQ(Token(TokVariable, "x")->Value()->GetDType(), dtVariable);
  EXPECT_EQ(ErrorOf([&] { Token(TokVariable, "y")->Value(engine.GetContext()); }),
            "Unknown variable name: y");
}

TEST(Parser, OwnerAndStreamMustFit) {
  TComponent notAnEngine;
  EXPECT_THROW((TKbClipsParser{&notAnEngine, nullptr}), EInvalidCast);

  class TOtherStream : public TKbTokenizerStream {
   public:
    TOtherStream() : TKbTokenizerStream(nullptr) {}
    void Clear() override {}
    void DiscardUntilEOL() override {}
    void MoveToNextConstruct() override {}
    IStreamToken NextToken() override { return IStreamToken(); }
    void PutBackToken(const IStreamToken&) override {}
    std::string Head() override { return std::string(); }
  } other;
  TDeducer engine;
  TKbClipsParser parser(&engine, nullptr);
  EXPECT_THROW(parser.SetStream(&other), EInvalidCast);
  EXPECT_EQ(parser.GetStream(), nullptr);
  EXPECT_EQ(ErrorOf([&] { parser.ParseValue(); }), "The parser has no input stream");
  EXPECT_EQ(parser.GenerateSymbol("g"), "g0");
}
