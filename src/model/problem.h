// The problem: what the user states (variables, formula, constants, search box, error
// bound, iteration cap) and the extrema the last run stored. A value: the window edits
// one, a problem file reads and writes one, and every run works on its own copy.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvant {

inline constexpr int kMaxVariables = 10;
inline constexpr int kStoreSize = 100;      // stored maxima (and minima) at most
inline constexpr int kConstantSlots = 101;  // user constant statements at most

// A stored extremum: its coordinates in variable order, then the smallest absolute
// pivot of its classification (n + 1 values).
using StoredPoint = std::vector<double>;

struct Problem {
  std::vector<std::string> varNames;   // n of them, 1 to 10
  std::string formula;                 // an expression in the names and the constants
  std::vector<std::string> constants;  // statements such as "a=2.37", in list order
  double errorBound = 0.01;
  int32_t maxCycles = 8;
  std::vector<double> lowerLimit;
  std::vector<double> upperLimit;
  std::vector<int32_t> subintervals;
  std::vector<StoredPoint> maxima;  // in the order found, at most 100
  std::vector<StoredPoint> minima;

  int32_t varCount() const { return static_cast<int32_t>(varNames.size()); }
  int32_t lastVar() const { return varCount() - 1; }
  int32_t maxCount() const { return static_cast<int32_t>(maxima.size()); }
  int32_t minCount() const { return static_cast<int32_t>(minima.size()); }

  // A problem of n variables with empty names and the boxes the window starts with
  // (-10 to 10, 4 subintervals), nothing stored.
  static Problem WithVariables(int32_t n);

  bool operator==(const Problem&) const = default;
};

}  // namespace quorvant
