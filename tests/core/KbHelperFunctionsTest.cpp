#include "core/KbHelperFunctions.h"

#include <gtest/gtest.h>

using namespace kb;

TEST(CalculateHash, SamplesLongStrings) {
  EXPECT_EQ(CalculateHash(""), 0);
  EXPECT_EQ(CalculateHash("a"), 97);
  EXPECT_EQ(CalculateHash("ab"), 97 * 31 + 98);
  // 16 characters: positions 1, 3, ..., 15 (every second one).
  std::string s16 = "abcdefghijklmnop";
  uint32_t h = 0;
  for (size_t i = 0; i < 16; i += 2) h = h * 31u + static_cast<unsigned char>(s16[i]);
  EXPECT_EQ(CalculateHash(s16), static_cast<int32_t>(h));
  // Differences at unsampled positions do not change the hash.
  std::string t16 = s16;
  t16[1] = 'Z';
  EXPECT_EQ(CalculateHash(t16), CalculateHash(s16));
  // 17 characters: positions 1, 3, ..., 17 (nine characters).
  std::string s17 = s16 + "q";
  h = 0;
  for (size_t i = 0; i < 17; i += 2) h = h * 31u + static_cast<unsigned char>(s17[i]);
  EXPECT_EQ(CalculateHash(s17), static_cast<int32_t>(h));
  // 24 characters: step 3.
  std::string s24 = s16 + "qrstuvwx";
  uint32_t u = 0;
  for (size_t i = 0; i < 24; i += 3) u = u * 31u + static_cast<unsigned char>(s24[i]);
  EXPECT_EQ(CalculateHash(s24), static_cast<int32_t>(u));
  // Bytes are unsigned.
  EXPECT_EQ(CalculateHash("\xff"), 255);
}

TEST(ContainsCharacters, FindsFirstScreenedCharacter) {
  EXPECT_EQ(ContainsCharacters("abc", "xyz"), 0);
  EXPECT_EQ(ContainsCharacters("a b", " ;"), 2);
  EXPECT_EQ(ContainsCharacters("", "x"), 0);
}

TEST(EnumNames, ANameNoValueHasIsAnError) {
  const TEnumInfo& info = EnumInfo<TKbType>();
  EXPECT_EQ(info.ValueOf("dtMultiSlot"), dtMultiSlot);
  EXPECT_STREQ(info.NameOf(dtFactId), "dtFactId");
  EXPECT_EQ(info.Find("dtBogus"), -1);
  try {
    info.ValueOf("dtBogus");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "dtBogus is not a value of TKbType");
  }
  EXPECT_STREQ(info.NameOf(KbTypeCount), "");
  // The names of a table, by ordinal, made when the code compiles.
  static constexpr TEnumName<TSalience> table[] = {KB_ENUM_NAME(sActivate),
                                                   KB_ENUM_NAME(sEveryTime)};
  static constexpr auto names = EnumNames(table);
  static_assert(names.size() == 2);
  EXPECT_STREQ(names[1], "sEveryTime");
}

TEST(SetText, RoundTripsTypeSets) {
  EXPECT_EQ(SetToString(TKbTypes{}, ", ", true), "[]");
  EXPECT_EQ(SetToString(TKbTypes{}, ", ", false), "");
  EXPECT_EQ(SetToString(TKbTypes{dtString, dtAtom}, ", ", true), "[Atom, String]");
  const auto& info = EnumInfo<TKbType>();
  EXPECT_EQ(StringToSet("Atom String", info, "dt"), (TKbTypes{dtAtom, dtString}).ToInt());
  EXPECT_EQ(StringToSet(" [Atom,String] ", info, "dt"), (TKbTypes{dtAtom, dtString}).ToInt());
  EXPECT_EQ(StringToSet("[]", info, "dt"), 0u);
  EXPECT_EQ(StringToSet("", info, "dt"), 0u);
  EXPECT_EQ(SetToString(EnumInfo<TConstructWatch>(), (TConstructWatches{cwFact, cwRule}).ToInt(),
                        ",", false),
            "cwFact,cwRule");
  EXPECT_EQ(SetToString(EnumInfo<TConstructWatch>(), 3, " ", true, 2), "[Activation Fact]");
}

TEST(SetText, UnknownItemRaisesAtFirstBadToken) {
  const auto& info = EnumInfo<TKbType>();
  try {
    StringToSet("Atom Bogus Worse", info, "dt");
    FAIL();
  } catch (const EKbException&) {
    FAIL() << "must be the framework's general exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Invalid item for set: dtBogus");
  }
}
