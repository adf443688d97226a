#include "framework/SysUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace kb;

TEST(Format, FillsDirectivesTypeSafely) {
  EXPECT_EQ(Format("Not a %s.  Value Type is %s", "integer", std::string("dtAtom")),
            "Not a integer.  Value Type is dtAtom");
  EXPECT_EQ(Format("%d, %d", 3, -7), "3, -7");
  EXPECT_EQ(Format("contains \"%c\"", '!'), "contains \"!\"");
  EXPECT_EQ(Format("100%% of %s", 5), "100% of 5");
  EXPECT_EQ(Format("%5d|%-4s|", 42, "ab"), "   42|ab  |");
  // A missing argument or an unknown directive is printed as written.
  EXPECT_EQ(Format("%s and %s", "one"), "one and %s");
  EXPECT_EQ(Format("%x", 5), "%x");
  EXPECT_EQ(Format("tail %"), "tail %");
}

TEST(FloatToStr, GeneralFormatWithFifteenDigits) {
  EXPECT_EQ(FloatToStr(3.0), "3");
  EXPECT_EQ(FloatToStr(0.5), "0.5");
  EXPECT_EQ(FloatToStr(100.0), "100");
  EXPECT_EQ(FloatToStr(-2.25), "-2.25");
  EXPECT_EQ(FloatToStr(1e20), "1E20");
  EXPECT_EQ(FloatToStr(0.000001), "1E-6");
  EXPECT_EQ(FloatToStr(0.00001), "0.00001");
  EXPECT_EQ(FloatToStr(1.5e-7), "1.5E-7");
  EXPECT_EQ(FloatToStr(999999999999999.0), "999999999999999");
  EXPECT_EQ(FloatToStr(1e15), "1E15");
  EXPECT_EQ(FloatToStr(0.1 + 0.2), "0.3");
  EXPECT_EQ(FloatToStr(3.141592653589793), "3.14159265358979");
  EXPECT_EQ(FloatToStr(0.0), "0");
  EXPECT_EQ(FloatToStr(std::numeric_limits<double>::quiet_NaN()), "NAN");
  EXPECT_EQ(FloatToStr(-std::numeric_limits<double>::infinity()), "-INF");
}

TEST(NumberText, ParsesOnlyPlainNumbers) {
  EXPECT_EQ(TryStrToInt("12"), 12);
  EXPECT_EQ(TryStrToInt("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(TryStrToInt("+9223372036854775807"), INT64_MAX);
  EXPECT_EQ(TryStrToInt("2147483648"), 2147483648);
  EXPECT_FALSE(TryStrToInt("9223372036854775808"));
  EXPECT_FALSE(TryStrToInt("-9223372036854775809"));
  EXPECT_FALSE(TryStrToInt("99999999999999999999"));
  EXPECT_FALSE(TryStrToInt("1.5"));
  EXPECT_FALSE(TryStrToInt(""));
  EXPECT_FALSE(TryStrToInt("-"));
  EXPECT_FALSE(TryStrToInt(" 1"));
  EXPECT_THROW(StrToInt("x"), EConvertError);

  EXPECT_DOUBLE_EQ(*TryStrToFloat("1.5"), 1.5);
  EXPECT_DOUBLE_EQ(*TryStrToFloat("-.5e2"), -50);
  EXPECT_DOUBLE_EQ(*TryStrToFloat("7"), 7);
  EXPECT_DOUBLE_EQ(*TryStrToFloat("3."), 3);
  EXPECT_FALSE(TryStrToFloat("inf"));
  EXPECT_FALSE(TryStrToFloat("nan"));
  EXPECT_FALSE(TryStrToFloat("0x10"));
  EXPECT_FALSE(TryStrToFloat("1e"));
  EXPECT_FALSE(TryStrToFloat("."));
}

TEST(StringHelpers, CaseAndTrim) {
  EXPECT_EQ(UpperCase("aBc1"), "ABC1");
  EXPECT_EQ(LowerCase("aBc1"), "abc1");
  EXPECT_TRUE(SameText("Hello", "hELLO"));
  EXPECT_FALSE(SameText("Hello", "Hell"));
  EXPECT_EQ(Trim("  a b \r\n"), "a b");
}
