// What the steps of one search run share: the function with the run's error policy,
// the run's own checked arithmetic, Stop, the problems met, and the working values
// that carry from one step to the next.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "engine/listing.h"
#include "model/point_function.h"

namespace quorvant {

// Why a run ended.
enum class RunEnd {
  Completed,  // grid exhausted or every random trial made
  Failed,     // an evaluation failed in a way the run does not tolerate
  Stopped,    // the user asked it to stop
  StoreFull,  // a new extremum found no room among the 100 of its kind
  Refused,    // the problem cannot be searched as it stands (reason says why)
  Internal,   // the run met a failure of its own (out of memory, say: reason says which)
};
const char* ToString(RunEnd end);

struct RunSummary {
  RunEnd end = RunEnd::Completed;
  int32_t errorNumber = 0;       // Failed: the number that ended the run
  std::string reason;            // Refused: what is wrong and what to do; Internal: what failed
  std::vector<double> failedAt;  // Failed: the point whose evaluation failed
};

// What the user is told about a run that failed (or met a failure of its own): the
// error, where, and that the listing holds what was found before. `names` are the
// variable names.
std::string RunFailureMessage(const RunSummary& summary, const std::vector<std::string>& names);

// Thrown to end a run before its end: Stop, an untolerated failure, a full store.
struct RunAborted {
  RunSummary summary;
};

// A working value that carries from one step of a run to the next, and may be read
// before this part of the run has set it: then its value is the one an earlier part
// left, which a part run ahead of time on another thread cannot know. Such a read is
// recorded, so that part is run again in order.
class CarriedValue {
 public:
  explicit CarriedValue(bool* dependent) : dependent_(dependent) {}
  operator double() const {
    if (!known_) *dependent_ = true;
    return value_;
  }
  CarriedValue& operator=(double value) {
    value_ = value;
    known_ = true;
    return *this;
  }
  // Starts a part of the run: with the value the part before left (known), or with none
  // (a part run ahead of time).
  void Begin(double value, bool known) {
    value_ = value;
    known_ = known;
  }
  bool known() const { return known_; }
  double raw() const { return value_; }

 private:
  double value_ = 0;
  bool known_ = true;
  bool* dependent_;
};

class RunContext {
 public:
  // `stopRequested` is asked before evaluations while polling is on, and between
  // starting points.
  RunContext(PointFunction& function, std::function<bool()> stopRequested)
      : function_(function), stopRequested_(std::move(stopRequested)) {}
  RunContext(const RunContext&) = delete;
  RunContext& operator=(const RunContext&) = delete;

  // One evaluation statement at `x`: true with the value. A failure the run tolerates
  // (a numeric fault) records its number in `ierr` and returns false, leaving the
  // caller's target as it was; any other failure ends the run (RunAborted).
  bool Evaluate(std::span<const double> x, double& value);
  bool Evaluate(std::span<const double> x, CarriedValue& value);
  // The same with the 15-digit values of `x` known (PointFunction::EvaluateRounded).
  bool Evaluate(std::span<const double> x, std::span<const double> rounded, CarriedValue& value);
  // The same with an outcome known beforehand (0 and a value, or an error number): a
  // value the run has already computed at the same point.
  bool Replay(int32_t error, double known, double& value, std::span<const double> x) {
    if (error == 0) {
      value = known;
      return true;
    }
    Fail(error, x);
    return false;
  }

  // The run's own arithmetic: a result that is not finite is a floating-point fault,
  // recorded like a tolerated failure (ierr 6, Overflow) and kept as it is.
  double Checked(double result);
  // A quotient, checked: a non-zero number divided by zero records 11 (Division by
  // zero), any other result that is not finite 6.
  double CheckedQuotient(double numerator, double denominator);

  // Ends the run (RunAborted, Stopped) when the user asked it to stop.
  void CheckStop();
  // While polling is on, Stop is checked before every evaluation: inside a Newton
  // iteration or a classification, one start can take long.
  class PollStopWhile {
   public:
    explicit PollStopWhile(RunContext& run) : run_(run) { run_.pollStop_ = true; }
    ~PollStopWhile() { run_.pollStop_ = false; }
    PollStopWhile(const PollStopWhile&) = delete;
    PollStopWhile& operator=(const PollStopWhile&) = delete;

   private:
    RunContext& run_;
  };

  PointFunction& function() { return function_; }

  // The number of the last tolerated failure; the Newton iteration resets it at every
  // cycle and gives its start up when it is set after the derivatives.
  int32_t ierr = 0;
  // Problems met, for the closing section.
  RunProblems problems;
  // Set when a working value carried in from an earlier part of the run was read before
  // this part set it (see CarriedValue).
  bool dependent = false;
  // The accumulator of the difference formulas (and the elimination's multiplier). A
  // failed evaluation leaves it as it was, so its value carries from one formula, or
  // one start, into the next.
  CarriedValue fdAcc{&dependent};

 private:
  void Fail(int32_t error, std::span<const double> x);
  PointFunction& function_;
  std::function<bool()> stopRequested_;
  bool pollStop_ = false;
};

}  // namespace quorvant
