#include "libraries/BusinessPackage.h"

#include <gtest/gtest.h>

#include <cmath>

#include "FunctionCallHelper.h"

using namespace kb;
using namespace kb::test;

// Reference values: each one computed by hand, independently of the closed
// forms used by the library, in 50-digit decimal arithmetic: values and
// payments by running the balance period by period (or discounting every
// payment on its own), interest parts from the amortization schedule,
// rates and periods by bisection. The inputs are the worked examples of the
// Microsoft Excel function reference (FV, PV, PMT, IPMT, RATE, NPER, NPV,
// IRR, SLN, SYD, DDB), whose published results, rounded to cents or
// percents, the reference values reproduce.

namespace {

const IKbValue End = Atom("ptEndOfPeriod");
const IKbValue Start = Atom("ptStartOfPeriod");

class BusinessPackage : public TFunctionTest {
 protected:
  double Fin(const std::string& Name, std::initializer_list<IKbValue> Args) {
    IKbValue v = Call(Name, Args);
    EXPECT_EQ(v->GetDType(), dtFloat) << Name;
    return v->FloatPayload();
  }
};

// Agreement to 1e-9 relative.
#define EXPECT_CLOSE(Actual, Expected) EXPECT_NEAR(Actual, Expected, 1e-9 * std::fabs(Expected))

}  // namespace

TEST_F(BusinessPackage, FunctionTableInOrderWithBounds) {
  struct Row {
    const char* Name;
    int32_t Count;
  };
  const Row table[] = {
      {"future-value", 5},      {"present-value", 5},     {"payment", 5},
      {"period-payment", 6},    {"interest-payment", 6},  {"interest-rate", 5},
      {"number-of-periods", 5}, {"net-present-value", 3}, {"internal-rate-of-return", 2},
      {"sln-depreciation", 3},  {"syd-depreciation", 4},  {"double-declining-balance", 4}};
  auto* package = FindComponentOfType<TBusinessPackage>(&Engine);
  ASSERT_NE(package, nullptr);
  std::vector<std::string> expected;
  for (const Row& r : table) expected.push_back(r.Name);
  EXPECT_EQ(FunctionNames(*package), expected);
  for (const Row& r : table) {
    EXPECT_EQ(Engine.GetUserFunction(r.Name)->GetMinArgumentCount(), r.Count) << r.Name;
    EXPECT_EQ(Engine.GetUserFunction(r.Name)->GetMaxArgumentCount(), r.Count) << r.Name;
    ExpectBounds(r.Name);
  }
  EXPECT_NE(Engine.GetUserFunction("future-value")
                ->GetComment()
                .find("syntax: (future-value <rate-numeric-expression> "
                      "<num-periods-integer-expression> <payment-numeric-expression> "
                      "<present-value-numeric-expression> ptEndOfPeriod|ptStartOfPeriod)"),
            std::string::npos);
}

TEST_F(BusinessPackage, FutureAndPresentValue) {
  const IKbValue rate = Flt(0.06 / 12);
  EXPECT_CLOSE(Fin("future-value", {rate, Int(10), Int(-200), Int(-500), End}),
               2571.17534765202103);
  EXPECT_CLOSE(Fin("future-value", {rate, Int(10), Int(-200), Int(-500), Start}),
               2581.40337406017915);
  EXPECT_CLOSE(Fin("future-value", {Int(0), Int(10), Int(-200), Int(-500), End}), 2500);
  EXPECT_CLOSE(Fin("present-value", {Flt(0.08 / 12), Int(240), Int(500), Int(0), End}),
               -59777.1458511880218);
  EXPECT_CLOSE(Fin("present-value", {Flt(0.08 / 12), Int(240), Int(500), Int(1000), Start}),
               -60378.6315455134350);
  // A tiny rate keeps its precision (no cancellation in (1 + r)^n - 1).
  EXPECT_CLOSE(Fin("future-value", {Flt(1e-12), Int(10), Int(-1), Int(0), End}), 10.000000000045);
}

TEST_F(BusinessPackage, PaymentAndItsParts) {
  EXPECT_CLOSE(Fin("payment", {Flt(0.08 / 12), Int(10), Int(10000), Int(0), End}),
               -1037.03208935915218);
  EXPECT_CLOSE(Fin("payment", {Flt(0.08 / 12), Int(10), Int(10000), Int(0), Start}),
               -1030.16432717796574);
  EXPECT_CLOSE(Fin("payment", {Flt(0.005), Int(120), Int(0), Int(50000), End}),
               -305.102509708247326);
  EXPECT_CLOSE(Fin("payment", {Int(0), Int(10), Int(1000), Int(0), End}), -100);

  const IKbValue monthly = Flt(0.1 / 12);
  EXPECT_CLOSE(Fin("interest-payment", {monthly, Int(1), Int(36), Int(8000), Int(0), End}),
               -66.6666666666666667);
  EXPECT_CLOSE(Fin("interest-payment", {Flt(0.1), Int(3), Int(3), Int(8000), Int(0), End}),
               -292.447129909365559);
  EXPECT_CLOSE(Fin("interest-payment", {monthly, Int(17), Int(36), Int(8000), Int(1000), End}),
               -36.0792669157234327);
  EXPECT_CLOSE(Fin("interest-payment", {monthly, Int(17), Int(36), Int(8000), Int(1000), Start}),
               -35.7810911560893547);
  EXPECT_CLOSE(Fin("interest-payment", {monthly, Int(2), Int(36), Int(8000), Int(0), Start}),
               -64.5332989183137750);
  // Paid in advance, the first payment carries no interest.
  EXPECT_EQ(Fin("interest-payment", {monthly, Int(1), Int(36), Int(8000), Int(0), Start}), 0);

  EXPECT_CLOSE(Fin("period-payment", {monthly, Int(1), Int(36), Int(8000), Int(1000), End}),
               -215.404684744537379);
  EXPECT_CLOSE(Fin("period-payment", {monthly, Int(1), Int(36), Int(8000), Int(1000), Start}),
               -279.740183217723021);
  EXPECT_CLOSE(Fin("period-payment", {monthly, Int(17), Int(36), Int(8000), Int(1000), End}),
               -245.992084495480613);
  EXPECT_CLOSE(Fin("period-payment", {monthly, Int(17), Int(36), Int(8000), Int(1000), Start}),
               -243.959092061633666);
  EXPECT_CLOSE(Fin("period-payment", {monthly, Int(36), Int(36), Int(8000), Int(1000), End}),
               -288.004646027640376);
  EXPECT_CLOSE(Fin("period-payment", {monthly, Int(36), Int(36), Int(8000), Int(1000), Start}),
               -285.624442341461530);

  // A period outside 1 to n has no payment.
  EXPECT_TRUE(
      std::isnan(Fin("interest-payment", {monthly, Int(0), Int(36), Int(8000), Int(0), End})));
  EXPECT_TRUE(
      std::isnan(Fin("period-payment", {monthly, Int(37), Int(36), Int(8000), Int(0), End})));
  // No periods: the payment divides by zero.
  EXPECT_TRUE(std::isinf(Fin("payment", {monthly, Int(0), Int(8000), Int(0), End})));
}

TEST_F(BusinessPackage, RateAndNumberOfPeriods) {
  EXPECT_CLOSE(Fin("interest-rate", {Int(48), Int(-200), Int(8000), Int(0), End}),
               0.00770147248820204382);
  EXPECT_CLOSE(Fin("interest-rate", {Int(48), Int(-200), Int(8000), Int(0), Start}),
               0.00805298192390603425);
  EXPECT_CLOSE(Fin("interest-rate", {Int(10), Int(-100), Int(-1000), Int(3000), End}),
               0.0551942885093347560);
  // A zero rate solves exactly.
  EXPECT_NEAR(Fin("interest-rate", {Int(10), Int(-100), Int(1000), Int(0), End}), 0, 1e-12);
  // Payments that can never repay the loan: no rate converges.
  EXPECT_TRUE(std::isnan(Fin("interest-rate", {Int(10), Int(100), Int(1000), Int(0), End})));

  const IKbValue monthly = Flt(0.12 / 12);
  EXPECT_CLOSE(Fin("number-of-periods", {monthly, Int(-100), Int(-1000), Int(10000), Start}),
               59.6738656742946256);
  EXPECT_CLOSE(Fin("number-of-periods", {monthly, Int(-100), Int(-1000), Int(10000), End}),
               60.0821228537617226);
  EXPECT_CLOSE(Fin("number-of-periods", {Int(0), Int(-100), Int(-1000), Int(10000), End}), 90);
  // Interest outgrows the payment: the loan is never repaid.
  EXPECT_TRUE(std::isnan(Fin("number-of-periods", {Flt(0.1), Int(-50), Int(1000), Int(0), End})));
}

TEST_F(BusinessPackage, NetPresentValueAndInternalRateOfReturn) {
  const IKbValue flows = List({Int(-10000), Int(3000), Int(4200), Int(6800)});
  EXPECT_CLOSE(Fin("net-present-value", {Flt(0.1), flows, End}), 1188.44341233522300);
  EXPECT_CLOSE(Fin("net-present-value", {Flt(0.1), flows, Start}), 1307.28775356874530);
  EXPECT_EQ(Fin("net-present-value", {Flt(0.1), List({}), End}), 0);

  const IKbValue project =
      List({Int(-70000), Int(12000), Int(15000), Int(18000), Int(21000), Int(26000)});
  EXPECT_CLOSE(Fin("internal-rate-of-return", {Flt(0.1), project}), 0.0866309480365316143);
  EXPECT_CLOSE(
      Fin("internal-rate-of-return",
          {Flt(-0.1), List({Int(-70000), Int(12000), Int(15000), Int(18000), Int(21000)})}),
      -0.0212448482734109910);
  // Cash flows of one sign have no rate of return.
  EXPECT_TRUE(std::isnan(Fin("internal-rate-of-return", {Flt(0.1), List({Int(1), Int(2)})})));
  EXPECT_TRUE(std::isnan(Fin("internal-rate-of-return", {Flt(0.1), List({})})));
  EXPECT_EQ(ErrorOf("net-present-value", {Flt(0.1), List({Int(1), Atom("x")}), End}),
            "Not a numeric.  Value Type is dtAtom");
  EXPECT_EQ(ErrorOf("internal-rate-of-return", {Flt(0.1), Int(5)}),
            "Not a list.  Value Type is dtInteger");
}

TEST_F(BusinessPackage, Depreciation) {
  EXPECT_CLOSE(Fin("sln-depreciation", {Int(30000), Int(7500), Int(10)}), 2250);
  EXPECT_CLOSE(Fin("syd-depreciation", {Int(30000), Int(7500), Int(10), Int(1)}),
               4090.90909090909091);
  EXPECT_CLOSE(Fin("syd-depreciation", {Int(30000), Int(7500), Int(10), Int(10)}),
               409.090909090909091);
  EXPECT_CLOSE(Fin("double-declining-balance", {Int(2400), Int(300), Int(10), Int(1)}), 480);
  EXPECT_CLOSE(Fin("double-declining-balance", {Int(2400), Int(300), Int(10), Int(2)}), 384);
  EXPECT_CLOSE(Fin("double-declining-balance", {Int(2400), Int(300), Int(10), Int(10)}),
               22.1225472);
  // The salvage stops the decline: 4000, 2400, then the 600 left, then nothing.
  EXPECT_CLOSE(Fin("double-declining-balance", {Int(10000), Int(3000), Int(5), Int(3)}), 600);
  EXPECT_EQ(Fin("double-declining-balance", {Int(10000), Int(3000), Int(5), Int(4)}), 0);
  EXPECT_TRUE(std::isnan(Fin("syd-depreciation", {Int(30000), Int(7500), Int(10), Int(11)})));
  EXPECT_TRUE(std::isnan(Fin("double-declining-balance", {Int(2400), Int(300), Int(0), Int(1)})));
  EXPECT_TRUE(std::isinf(Fin("sln-depreciation", {Int(30000), Int(7500), Int(0)})));
  // A life of two billion periods is computed, not looped through.
  EXPECT_GT(Fin("double-declining-balance", {Int(1000), Int(0), Int(INT32_MAX), Int(INT32_MAX)}),
            0);
}

TEST_F(BusinessPackage, PaymentTimingIsReadByIdentifier) {
  EXPECT_EQ(StrToPaymentTime("ptEndOfPeriod"), ptEndOfPeriod);
  EXPECT_EQ(StrToPaymentTime("PTSTARTOFPERIOD"), ptStartOfPeriod);
  EXPECT_CLOSE(
      Fin("future-value", {Flt(0.005), Int(10), Int(-200), Int(-500), Str("ptstartofperiod")}),
      2581.40337406017915);
  EXPECT_EQ(ErrorOf("future-value", {Flt(0.005), Int(10), Int(-200), Int(-500), Atom("end")}),
            "Invalid payment time: \"end\", expected ptEndOfPeriod or ptStartOfPeriod");
  EXPECT_THROW(StrToPaymentTime("1"), EConvertError);
}
