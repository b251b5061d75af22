// The problem and the run state: everything the program knows about the current
// problem and the current search. One object, owned by the application and passed by
// reference to whoever reads or writes it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvant {

// A dense matrix of doubles with 0-based rows and columns.
class Matrix {
 public:
  Matrix() = default;
  Matrix(int rows, int cols) : rows_(rows), cols_(cols), data_(static_cast<size_t>(rows) * cols) {}
  int rows() const { return rows_; }
  int cols() const { return cols_; }
  double& operator()(int r, int c) { return data_[static_cast<size_t>(r) * cols_ + c]; }
  double operator()(int r, int c) const { return data_[static_cast<size_t>(r) * cols_ + c]; }

 private:
  int rows_ = 0;
  int cols_ = 0;
  std::vector<double> data_;
};

inline constexpr int kMaxVariables = 10;
inline constexpr int kStoreSize = 100;     // stored maxima (and minima) at most
inline constexpr int kConstantSlots = 101; // user constant statements at most

struct Dimension {
  // --- problem definition ---
  int32_t varCount = 0;  // n, 1 to 10 once accepted
  int32_t lastVar = 0;   // n - 1
  std::vector<std::string> varNames;
  std::string formula;
  double errorBound = 0;
  int32_t maxCycles = 0;
  std::vector<double> lowerLimit;
  std::vector<double> upperLimit;
  std::vector<int32_t> subintervals;
  std::array<std::string, kConstantSlots> constants;
  int32_t constCount = 0;

  // --- run state and results ---
  bool randomMode = false;
  int32_t randomTrials = 0;
  std::vector<double> point;
  Matrix maxima;  // rows 0..n (coordinates, then the smallest pivot), columns 0..100
  Matrix minima;
  int32_t maxCount = 0;
  int32_t minCount = 0;
  Matrix hessian;  // n by n+1
  std::vector<double> minPivots;
  std::vector<double> determinants;
  std::vector<double> newtonStep;
  std::vector<double> startPoint;
  std::vector<double> gridStep;
  // Finite-difference steps. fdStep2Sq is the square of the outer step, computed
  // once and never recomputed, even while the classification uses smaller steps.
  double fdStep = 0.004;
  double fdStep2 = 0.008;
  double fdStep2Sq = 0.008 * 0.008;
  int32_t trialCount = 0;
  int32_t ierr = 0;  // number of the last error met while evaluating the function

  // --- constants computed at start-up ---
  double halfpi = 0;
  double pi = 0;
  double e = 0;

  // --- window bookkeeping ---
  int32_t shownVar = 1;
  bool loading = false;
  double errorBoundOnFocus = 0;
  int32_t tabBase = 0;
  std::string problemPath;

  // Accepts n variables: sets varCount and lastVar and creates every per-variable
  // array anew, zero-filled (empty names), whatever it held before.
  void Resize(int32_t n);
};

}  // namespace quorvant
