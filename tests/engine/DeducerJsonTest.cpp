#include "engine/DeducerJson.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"

using namespace kb;

namespace {

constexpr const char* Templates =
    "(deftemplate order (slot item (type SYMBOL)) (slot note (type STRING)) (slot any)"
    " (slot qty (type INTEGER)) (slot price (type FLOAT)) (multislot tags))";

// The facts of an engine as their texts, in order.
std::string Texts(TDeducer& E) {
  std::string r;
  for (const IFact& f : E.Facts().Snapshot()) r += f->GetToString() + "\n";
  return r;
}

}  // namespace

TEST(FactsJson, RoundTripsKeepEveryFactEqual) {
  TDeducer source;
  source.Parse(Templates);
  source.Assert(
      "(order (item pen) (note \"q\\\"b\\\\ \xC3\xBC\") (any sym) (qty -9223372036854775808)"
      " (price 1.0) (tags a \"a\" 3 3.0))");
  source.Assert("(order (item x) (any \"x\") (tags))");
  source.Assert("(point 1 2.5 x \"x\" nil)");
  source.Assert("(empty)");
  TMemoryStream json;
  SaveFactsJson(source, json);
  EXPECT_NE(json.DataString().find("\"price\": 1.0"), std::string::npos) << json.DataString();

  TDeducer target;
  target.Parse(Templates);
  TMemoryStream in(json.DataString());
  EXPECT_EQ(LoadFactsJson(target, in), 4);  // the initial fact is there already
  EXPECT_EQ(Texts(target), Texts(source));
  const auto facts = target.Facts().Snapshot();
  const auto sourceFacts = source.Facts().Snapshot();
  ASSERT_EQ(facts.size(), sourceFacts.size());
  for (size_t i = 1; i < facts.size(); ++i) {
    const int n = facts[i]->GetTemplate()->GetSlotCount();
    for (int s = 0; s < n; ++s)
      EXPECT_TRUE(facts[i]->PeekValue(s)->Equals(sourceFacts[i]->PeekValue(s)))
          << facts[i]->GetToString() << " slot " << s;
  }
}

TEST(FactsJson, BadTextAssertsNothingAndNamesThePlace) {
  TDeducer e;
  e.Parse(Templates);
  const size_t before = e.Facts().Snapshot().size();
  auto error = [&](const std::string& Text) {
    try {
      LoadFactsJson(e, Text);
    } catch (const EKbException& x) {
      return std::string(x.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(error("[{\"template\": \"point\", \"values\": [1]}, "
                  "{\"template\": \"order\", \"slots\": {\"tags\": [1, {\"x\": 1}]}}]"),
            "Facts as JSON: fact 1, slot tags: an object other than {\"symbol\": text}");
  EXPECT_EQ(error("[1]"), "Facts as JSON: fact 0: not an object");
  EXPECT_EQ(error("[{\"template\": \"order\", \"slots\": {\"qty\": 18446744073709551615}}]"),
            "Facts as JSON: fact 0, slot qty: an integer out of range");
  EXPECT_EQ(error("[{\"template\": \"order\", \"values\": []}]"),
            "Facts as JSON: fact 0: template order has slots");
  EXPECT_EQ(error("[{\"template\": 1, \"slots\": {}}]"),
            "Facts as JSON: fact 0: no \"template\" name");
  EXPECT_EQ(error("[1,").rfind("Malformed JSON at byte 4: ", 0), 0u) << error("[1,");
  EXPECT_EQ(e.Facts().Snapshot().size(), before);
  EXPECT_FALSE(e.FindFactTemplate("point"));

  // Writing refuses what has no JSON form, and writes nothing then.
  e.Assert("(order (price (/ 1.0 0)))");
  TMemoryStream out;
  EXPECT_THROW(SaveFactsJson(e, out), EKbException);
  EXPECT_TRUE(out.DataString().empty());
}
