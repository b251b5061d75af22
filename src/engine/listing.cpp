#include "engine/listing.h"

#include "model/numtext.h"

namespace quorvant {

std::string CoordinateLine(std::string_view name, double value) {
  std::string line(name);
  line += '=';
  AppendGeneral(line, value);
  return line;
}

std::string FunctionLine(double value) {
  return CoordinateLine("FUNCTION", value);
}

std::string FunctionNotEvaluatedLine(int32_t errorNumber) {
  return "FUNCTION=NOT EVALUATED (ERROR " + std::to_string(errorNumber) + ")";
}

std::string TrialLine(int32_t trial) {
  return "TRIAL" + std::to_string(trial) + ":";
}

namespace {

// 30 blanks with `right` from column 31, then `left` laid over the start.
std::string TwoColumns(std::string_view left, std::string_view right) {
  std::string line(30, ' ');
  line += right;
  line.replace(0, left.size(), left);
  return line;
}

}  // namespace

std::vector<std::string> DetailBlock(double smallestPivot, const std::vector<double>& minPivots,
                                     const std::vector<double>& determinants) {
  std::vector<std::string> lines;
  lines.push_back(std::string(kSmallestPivotLabel) + FormatGeneral(smallestPivot));
  lines.push_back(TwoColumns("SMALLEST PIVOTS (ABS.VAL.):", "DETERMINANTS:"));
  for (size_t k = 0; k < minPivots.size(); ++k)
    lines.push_back(TwoColumns(FormatGeneral(minPivots[k]), FormatGeneral(determinants[k])));
  return lines;
}

std::string CountsCaption(int32_t maxCount, int32_t minCount) {
  return std::to_string(maxCount) + " max. " + std::to_string(minCount) + " min. ";
}

std::vector<std::string> ProblemsSection(const RunProblems& problems) {
  std::vector<std::string> lines;
  if (!problems.Any()) return lines;
  lines.push_back("PROBLEMS ENCOUNTERED:");
  if (problems.problemBits & 1) lines.push_back("-ILLEGAL QUANTITY.");
  if (problems.problemBits & 2) lines.push_back("-OVERFLOW.");
  if (problems.convProblems) lines.push_back("-CONVERGENCE PROBLEMS.");
  if (problems.inconsistence) lines.push_back("-POSSIBLE INCONSISTENCE PROBLEMS.");
  if (problems.linDependence) lines.push_back("-POSSIBLE LINEAR DEPENDENCE PROBLEMS.");
  return lines;
}

std::string ListSolutions(const Problem& problem, PointFunction& function, const LineSink& append) {
  const int n = problem.varCount();
  auto listKind = [&](std::string_view heading, const std::vector<StoredPoint>& store) {
    for (const StoredPoint& stored : store) {
      append(heading);
      for (int i = 0; i < n; ++i) append(CoordinateLine(problem.varNames[i], stored[i]));
      double value;
      const int32_t e = function.EvaluateFunction(std::span<const double>(stored.data(), n), value);
      append(e == 0 ? FunctionLine(value) : FunctionNotEvaluatedLine(e));
      append(std::string(kSmallestPivotLabel) + FormatGeneral(stored[n]));
    }
  };
  listKind(kMaximumHeading, problem.maxima);
  listKind(kMinimumHeading, problem.minima);
  return CountsCaption(problem.maxCount(), problem.minCount());
}

}  // namespace quorvant
