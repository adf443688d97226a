// The business package: time value of money (future and present value,
// payment and its principal and interest parts, rate, number of periods,
// net present value, internal rate of return) and depreciation
// (straight-line, sum-of-years-digits, double-declining-balance).
//
// The financial routines are plain functions, usable without an engine;
// the package's functions read their arguments and call them.
//
// Conventions: rates are per period (0.01 is 1%); money paid out is
// negative and money received positive, so a loan taken (a positive present
// value) has negative payments. The annuity functions take the payment
// timing: at the end of each period (ordinary annuity) or at its start
// (annuity due). Arguments outside a routine's domain, and iterations that
// do not converge, give NaN; a zero divisor gives an infinity or NaN. No
// routine raises for them.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/DeducerPackages.h"

namespace kb {

// When the payments of an annuity fall within each period.
enum TPaymentTime : uint8_t {
  ptEndOfPeriod,    // at the end (ordinary annuity)
  ptStartOfPeriod,  // at the start (annuity due)
};

// The timing named by its identifier, "ptEndOfPeriod" or "ptStartOfPeriod"
// (case does not matter); any other text raises EConvertError.
TPaymentTime StrToPaymentTime(std::string_view Text);

// The value after NPeriods of a present value Pv and a payment Pmt each period.
double FutureValue(double Rate, int32_t NPeriods, double Pmt, double Pv, TPaymentTime Timing);
// The value now of NPeriods payments Pmt and a final value Fv.
double PresentValue(double Rate, int32_t NPeriods, double Pmt, double Fv, TPaymentTime Timing);
// The constant payment that takes Pv to Fv in NPeriods.
double Payment(double Rate, int32_t NPeriods, double Pv, double Fv, TPaymentTime Timing);
// The principal part of the payment of period Period (1 to NPeriods).
double PeriodPayment(double Rate, int32_t Period, int32_t NPeriods, double Pv, double Fv,
                     TPaymentTime Timing);
// The interest part of the payment of period Period (1 to NPeriods).
double InterestPayment(double Rate, int32_t Period, int32_t NPeriods, double Pv, double Fv,
                       TPaymentTime Timing);
// The rate per period that takes Pv with payments Pmt to Fv in NPeriods,
// found by Newton's method from 10%; NaN when it does not converge.
double InterestRate(int32_t NPeriods, double Pmt, double Pv, double Fv, TPaymentTime Timing);
// The number of periods (not rounded) that payments Pmt take to bring Pv to Fv.
double NumberOfPeriods(double Rate, double Pmt, double Pv, double Fv, TPaymentTime Timing);
// The value now of the cash flows, one per period: the first is discounted
// one period when Timing is ptEndOfPeriod and not at all when it is
// ptStartOfPeriod.
double NetPresentValue(double Rate, const std::vector<double>& CashFlows, TPaymentTime Timing);
// The rate at which the cash flows (the first one now, then one per
// period) have a net present value of 0, found by Newton's method from
// Guess; NaN when it does not converge.
double InternalRateOfReturn(double Guess, const std::vector<double>& CashFlows);
// The depreciation of one period by the straight-line method.
double SLNDepreciation(double Cost, double Salvage, int32_t Life);
// The depreciation of period Period (1 to Life) by the sum-of-years-digits method.
double SYDDepreciation(double Cost, double Salvage, int32_t Life, int32_t Period);
// The depreciation of period Period (1 to Life) by the double-declining-
// balance method; the book value never falls below Salvage.
double DoubleDecliningBalance(double Cost, double Salvage, int32_t Life, int32_t Period);

class TBusinessPackage : public TUserPackage {
 public:
  explicit TBusinessPackage(TComponent* AOwner);
  ~TBusinessPackage() override { BeginDestruction(); }
  void CreateFunctions() override;
};

}  // namespace kb
