#include "libraries/BusinessPackage.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kb {

// ------------------------------------------------------ financial routines

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// Newton's method converges in a handful of steps when it converges at
// all; past this many it is taken to diverge.
constexpr int MaxIterations = 100;
// The step, relative to the rate (absolute below 1), at which an iteration
// has converged.
constexpr double Tolerance = 1e-12;
// Below this rate the derivative of the annuity factor comes from its
// series, as the closed form cancels.
constexpr double SeriesRate = 1e-6;

// (1 + r)^n and the annuity factor ((1 + r)^n - 1) / r, accurate for rates
// near 0 (the factor tends to n).
struct TGrowth {
  double Factor;
  double Annuity;
};

TGrowth Growth(double Rate, double N) {
  if (Rate == 0) return {1, N};
  if (Rate > -1) {
    const double l = N * std::log1p(Rate);
    return {std::exp(l), std::expm1(l) / Rate};
  }
  const double f = std::pow(1 + Rate, N);
  return {f, (f - 1) / Rate};
}

// Payments at the start of a period earn interest for one period more.
double Timed(double Rate, TPaymentTime Timing) { return Timing == ptStartOfPeriod ? 1 + Rate : 1; }

// Newton's method on F (which returns the value and sets the derivative)
// from Start. A step to a rate of -100% or below goes halfway to -100%
// instead, since rates there have no meaning; only a full Newton step
// counts towards convergence.
template <class Fn>
double SolveRate(double Start, Fn F) {
  double r = Start;
  for (int i = 0; i < MaxIterations; ++i) {
    double slope = 0;
    const double value = F(r, slope);
    if (!std::isfinite(value) || !std::isfinite(slope) || slope == 0) return NaN;
    const double next = r - value / slope;
    if (next <= -1) {
      r = (r - 1) / 2;
      continue;
    }
    if (std::fabs(next - r) <= Tolerance * std::max(1.0, std::fabs(next))) return next;
    r = next;
  }
  return NaN;
}

}  // namespace

TPaymentTime StrToPaymentTime(std::string_view Text) {
  if (SameText(Text, "ptEndOfPeriod")) return ptEndOfPeriod;
  if (SameText(Text, "ptStartOfPeriod")) return ptStartOfPeriod;
  throw EConvertError(Format(SInvalidPaymentTime, Text));
}

double FutureValue(double Rate, int32_t NPeriods, double Pmt, double Pv, TPaymentTime Timing) {
  const TGrowth g = Growth(Rate, NPeriods);
  return -(Pv * g.Factor + Pmt * Timed(Rate, Timing) * g.Annuity);
}

double PresentValue(double Rate, int32_t NPeriods, double Pmt, double Fv, TPaymentTime Timing) {
  const TGrowth g = Growth(Rate, NPeriods);
  return -(Fv + Pmt * Timed(Rate, Timing) * g.Annuity) / g.Factor;
}

double Payment(double Rate, int32_t NPeriods, double Pv, double Fv, TPaymentTime Timing) {
  const TGrowth g = Growth(Rate, NPeriods);
  return -(Pv * g.Factor + Fv) / (Timed(Rate, Timing) * g.Annuity);
}

double InterestPayment(double Rate, int32_t Period, int32_t NPeriods, double Pv, double Fv,
                       TPaymentTime Timing) {
  if (Period < 1 || Period > NPeriods) return NaN;
  const double pmt = Payment(Rate, NPeriods, Pv, Fv, Timing);
  // The interest of a period is earned on the balance at its start; the
  // future value is that balance with the opposite sign.
  if (Timing == ptEndOfPeriod) return FutureValue(Rate, Period - 1, pmt, Pv, Timing) * Rate;
  // Paid in advance, the first payment carries no interest, and each later
  // one the interest of the period before, earned on the balance left after
  // that period's own payment.
  if (Period == 1) return 0;
  return (FutureValue(Rate, Period - 2, pmt, Pv, Timing) - pmt) * Rate;
}

double PeriodPayment(double Rate, int32_t Period, int32_t NPeriods, double Pv, double Fv,
                     TPaymentTime Timing) {
  return Payment(Rate, NPeriods, Pv, Fv, Timing) -
         InterestPayment(Rate, Period, NPeriods, Pv, Fv, Timing);
}

double InterestRate(int32_t NPeriods, double Pmt, double Pv, double Fv, TPaymentTime Timing) {
  const double n = NPeriods;
  const double t = Timing == ptStartOfPeriod ? 1 : 0;
  // Pv (1 + r)^n + Pmt (1 + r t) A(r) + Fv = 0, with A the annuity factor.
  return SolveRate(0.1, [&](double r, double& Slope) {
    const TGrowth g = Growth(r, n);
    const double factorSlope = n * g.Factor / (1 + r);
    const double annuitySlope = std::fabs(r) < SeriesRate
                                    ? n * (n - 1) / 2 * (1 + (n - 2) * r * 2 / 3)
                                    : (factorSlope - g.Annuity) / r;
    Slope = Pv * factorSlope + Pmt * (t * g.Annuity + (1 + r * t) * annuitySlope);
    return Pv * g.Factor + Pmt * (1 + r * t) * g.Annuity + Fv;
  });
}

double NumberOfPeriods(double Rate, double Pmt, double Pv, double Fv, TPaymentTime Timing) {
  if (Rate == 0) return -(Pv + Fv) / Pmt;
  // (1 + r)^n = (p - Fv r) / (p + Pv r) with p the timed payment; written
  // with log1p so that small rates keep their precision.
  const double p = Pmt * Timed(Rate, Timing);
  return std::log1p(-Rate * (Fv + Pv) / (p + Pv * Rate)) / std::log1p(Rate);
}

double NetPresentValue(double Rate, const std::vector<double>& CashFlows, TPaymentTime Timing) {
  // Horner's scheme from the last flow back: each flow is worth the next
  // discounted by one period.
  double value = 0;
  for (auto it = CashFlows.rbegin(); it != CashFlows.rend(); ++it) value = *it + value / (1 + Rate);
  return Timing == ptEndOfPeriod ? value / (1 + Rate) : value;
}

double InternalRateOfReturn(double Guess, const std::vector<double>& CashFlows) {
  if (CashFlows.empty()) return NaN;
  // With d = 1 / (1 + r): npv = P(d) = sum cf_i d^i, d npv / dr = -d^2 P'(d).
  return SolveRate(Guess, [&](double r, double& Slope) {
    const double d = 1 / (1 + r);
    double p = 0;
    double dp = 0;
    for (auto it = CashFlows.rbegin(); it != CashFlows.rend(); ++it) {
      dp = dp * d + p;
      p = p * d + *it;
    }
    Slope = -dp * d * d;
    return p;
  });
}

double SLNDepreciation(double Cost, double Salvage, int32_t Life) {
  return (Cost - Salvage) / Life;
}

double SYDDepreciation(double Cost, double Salvage, int32_t Life, int32_t Period) {
  if (Period < 1 || Period > Life) return NaN;
  const double life = Life;
  return (Cost - Salvage) * (life - Period + 1) * 2 / (life * (life + 1));
}

double DoubleDecliningBalance(double Cost, double Salvage, int32_t Life, int32_t Period) {
  if (Period < 1 || Period > Life) return NaN;
  const double rate = 2.0 / Life;
  // The book value at the start of the period, had nothing been held back
  // for the salvage; once the salvage limit is reached every later period
  // depreciates nothing, and this closed form agrees with that.
  const double book = Cost * std::pow(1 - rate, Period - 1);
  return std::max(std::min(book * rate, book - Salvage), 0.0);
}

// ------------------------------------------------------------ the package

KB_REGISTER_PACKAGE(TBusinessPackage);

TBusinessPackage::TBusinessPackage(TComponent* AOwner) : TUserPackage(AOwner) {
  AfterConstruction();
}

void TBusinessPackage::CreateFunctions() {
  TUserPackage::CreateFunctions();
  // The package's table, in order.
  RegisterClasses({
      "TFutureValueFunction",             // future-value
      "TPresentValueFunction",            // present-value
      "TPaymentFunction",                 // payment
      "TPeriodPaymentFunction",           // period-payment
      "TInterestPaymentFunction",         // interest-payment
      "TInterestRateFunction",            // interest-rate
      "TNumberOfPeriodsFunction",         // number-of-periods
      "TNetPresentValueFunction",         // net-present-value
      "TInternalRateOfReturnFunction",    // internal-rate-of-return
      "TSLNDepreciationFunction",         // sln-depreciation
      "TSYDDepreciationFunction",         // syd-depreciation
      "TDoubleDecliningBalanceFunction",  // double-declining-balance
  });
}

namespace {

// The argument readers. The functions below read their arguments into
// locals in order, so they are evaluated left to right.
TPaymentTime TimingArg(const TArgs& Args, int I) { return StrToPaymentTime(Args.Str(I)); }

std::vector<double> CashFlowsArg(const TArgs& Args, int I) {
  IValueVector list = Args.List(I);
  std::vector<double> flows;
  flows.reserve(static_cast<size_t>(list->Count()));
  for (const IKbValue& item : *list) flows.push_back(Args.ItemNum(item));
  return flows;
}

}  // namespace

#define KB_RATE_SYNTAX " <rate-numeric-expression>"
#define KB_NPER_SYNTAX " <num-periods-integer-expression>"
#define KB_PERIOD_SYNTAX " <period-integer-expression>"
#define KB_PMT_SYNTAX " <payment-numeric-expression>"
#define KB_PV_SYNTAX " <present-value-numeric-expression>"
#define KB_FV_SYNTAX " <future-value-numeric-expression>"
#define KB_TIMING_SYNTAX " ptEndOfPeriod|ptStartOfPeriod"
#define KB_FLOWS_SYNTAX " <cash-flows-multifield-expression>"
#define KB_ASSET_SYNTAX \
  " <cost-numeric-expression> <salvage-numeric-expression> <life-integer-expression>"

KB_FUNCTION(TFutureValueFunction, "future-value", 5, 5,
            "Returns the future value of an investment of <present-value> with a constant "
            "<payment> each period for <num-periods> periods at an interest <rate> per period, "
            "the payments made at the end or at the start of each period",
            "future-value" KB_RATE_SYNTAX KB_NPER_SYNTAX KB_PMT_SYNTAX KB_PV_SYNTAX
                KB_TIMING_SYNTAX) {
  const double rate = Args.Num(0);
  const int32_t nper = Args.Int32(1);
  const double pmt = Args.Num(2);
  const double pv = Args.Num(3);
  return NewFloat(FutureValue(rate, nper, pmt, pv, TimingArg(Args, 4)));
}

KB_FUNCTION(TPresentValueFunction, "present-value", 5, 5,
            "Returns the present value of a constant <payment> each period for <num-periods> "
            "periods and a final <future-value>, discounted at an interest <rate> per period, the "
            "payments made at the end or at the start of each period",
            "present-value" KB_RATE_SYNTAX KB_NPER_SYNTAX KB_PMT_SYNTAX KB_FV_SYNTAX
                KB_TIMING_SYNTAX) {
  const double rate = Args.Num(0);
  const int32_t nper = Args.Int32(1);
  const double pmt = Args.Num(2);
  const double fv = Args.Num(3);
  return NewFloat(PresentValue(rate, nper, pmt, fv, TimingArg(Args, 4)));
}

KB_FUNCTION(TPaymentFunction, "payment", 5, 5,
            "Returns the constant payment per period that takes a <present-value> to a "
            "<future-value> in <num-periods> periods at an interest <rate> per period, the "
            "payments made at the end or at the start of each period",
            "payment" KB_RATE_SYNTAX KB_NPER_SYNTAX KB_PV_SYNTAX KB_FV_SYNTAX KB_TIMING_SYNTAX) {
  const double rate = Args.Num(0);
  const int32_t nper = Args.Int32(1);
  const double pv = Args.Num(2);
  const double fv = Args.Num(3);
  return NewFloat(Payment(rate, nper, pv, fv, TimingArg(Args, 4)));
}

KB_FUNCTION(TPeriodPaymentFunction, "period-payment", 6, 6,
            "Returns the principal part of the payment of the given <period> (from 1 to "
            "<num-periods>) of a loan or investment with constant payments",
            "period-payment" KB_RATE_SYNTAX KB_PERIOD_SYNTAX KB_NPER_SYNTAX KB_PV_SYNTAX
                KB_FV_SYNTAX KB_TIMING_SYNTAX) {
  const double rate = Args.Num(0);
  const int32_t period = Args.Int32(1);
  const int32_t nper = Args.Int32(2);
  const double pv = Args.Num(3);
  const double fv = Args.Num(4);
  return NewFloat(PeriodPayment(rate, period, nper, pv, fv, TimingArg(Args, 5)));
}

KB_FUNCTION(TInterestPaymentFunction, "interest-payment", 6, 6,
            "Returns the interest part of the payment of the given <period> (from 1 to "
            "<num-periods>) of a loan or investment with constant payments",
            "interest-payment" KB_RATE_SYNTAX KB_PERIOD_SYNTAX KB_NPER_SYNTAX KB_PV_SYNTAX
                KB_FV_SYNTAX KB_TIMING_SYNTAX) {
  const double rate = Args.Num(0);
  const int32_t period = Args.Int32(1);
  const int32_t nper = Args.Int32(2);
  const double pv = Args.Num(3);
  const double fv = Args.Num(4);
  return NewFloat(InterestPayment(rate, period, nper, pv, fv, TimingArg(Args, 5)));
}

KB_FUNCTION(TInterestRateFunction, "interest-rate", 5, 5,
            "Returns the interest rate per period at which constant payments take a "
            "<present-value> to a <future-value> in <num-periods> periods, found by iteration",
            "interest-rate" KB_NPER_SYNTAX KB_PMT_SYNTAX KB_PV_SYNTAX KB_FV_SYNTAX
                KB_TIMING_SYNTAX) {
  const int32_t nper = Args.Int32(0);
  const double pmt = Args.Num(1);
  const double pv = Args.Num(2);
  const double fv = Args.Num(3);
  return NewFloat(InterestRate(nper, pmt, pv, fv, TimingArg(Args, 4)));
}

KB_FUNCTION(TNumberOfPeriodsFunction, "number-of-periods", 5, 5,
            "Returns the number of periods in which constant payments take a <present-value> to "
            "a <future-value> at an interest <rate> per period",
            "number-of-periods" KB_RATE_SYNTAX KB_PMT_SYNTAX KB_PV_SYNTAX KB_FV_SYNTAX
                KB_TIMING_SYNTAX) {
  const double rate = Args.Num(0);
  const double pmt = Args.Num(1);
  const double pv = Args.Num(2);
  const double fv = Args.Num(3);
  return NewFloat(NumberOfPeriods(rate, pmt, pv, fv, TimingArg(Args, 4)));
}

KB_FUNCTION(TNetPresentValueFunction, "net-present-value", 3, 3,
            "Returns the net present value of a multifield of cash flows, one per period, "
            "discounted at an interest <rate> per period, the flows falling at the end or at the "
            "start of each period",
            "net-present-value" KB_RATE_SYNTAX KB_FLOWS_SYNTAX KB_TIMING_SYNTAX) {
  const double rate = Args.Num(0);
  const std::vector<double> flows = CashFlowsArg(Args, 1);
  return NewFloat(NetPresentValue(rate, flows, TimingArg(Args, 2)));
}

KB_FUNCTION(TInternalRateOfReturnFunction, "internal-rate-of-return", 2, 2,
            "Returns the rate per period at which a multifield of cash flows (the first one now, "
            "then one per period) has a net present value of zero, found by iteration from the "
            "<guess>",
            "internal-rate-of-return <guess-numeric-expression>" KB_FLOWS_SYNTAX) {
  const double guess = Args.Num(0);
  return NewFloat(InternalRateOfReturn(guess, CashFlowsArg(Args, 1)));
}

KB_FUNCTION(TSLNDepreciationFunction, "sln-depreciation", 3, 3,
            "Returns the depreciation of an asset for one period by the straight-line method: "
            "(cost - salvage) / life",
            "sln-depreciation" KB_ASSET_SYNTAX) {
  const double cost = Args.Num(0);
  const double salvage = Args.Num(1);
  return NewFloat(SLNDepreciation(cost, salvage, Args.Int32(2)));
}

KB_FUNCTION(TSYDDepreciationFunction, "syd-depreciation", 4, 4,
            "Returns the depreciation of an asset for the given <period> (from 1 to <life>) by "
            "the sum-of-years-digits method",
            "syd-depreciation" KB_ASSET_SYNTAX KB_PERIOD_SYNTAX) {
  const double cost = Args.Num(0);
  const double salvage = Args.Num(1);
  const int32_t life = Args.Int32(2);
  return NewFloat(SYDDepreciation(cost, salvage, life, Args.Int32(3)));
}

KB_FUNCTION(TDoubleDecliningBalanceFunction, "double-declining-balance", 4, 4,
            "Returns the depreciation of an asset for the given <period> (from 1 to <life>) by "
            "the double-declining-balance method, never taking the book value below the salvage",
            "double-declining-balance" KB_ASSET_SYNTAX KB_PERIOD_SYNTAX) {
  const double cost = Args.Num(0);
  const double salvage = Args.Num(1);
  const int32_t life = Args.Int32(2);
  return NewFloat(DoubleDecliningBalance(cost, salvage, life, Args.Int32(3)));
}

#undef KB_RATE_SYNTAX
#undef KB_NPER_SYNTAX
#undef KB_PERIOD_SYNTAX
#undef KB_PMT_SYNTAX
#undef KB_PV_SYNTAX
#undef KB_FV_SYNTAX
#undef KB_TIMING_SYNTAX
#undef KB_FLOWS_SYNTAX
#undef KB_ASSET_SYNTAX

}  // namespace kb
