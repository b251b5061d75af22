// The lines of the results list: what a run appends for each point it reports, the
// detail block of pivots and determinants, the problems section, the counts caption,
// and the listing of stored extrema after a problem file is opened.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/point_function.h"
#include "model/problem.h"

namespace quorvant {

using LineSink = std::function<void(std::string_view)>;

inline constexpr std::string_view kMaximumHeading = "MAXIMUM AT:";
inline constexpr std::string_view kMinimumHeading = "MINIMUM AT:";
inline constexpr std::string_view kSmallestPivotLabel =
    "SMALLEST (OVERALL) PIVOT (ABSOLUTE VALUE)=";

// "name=value", no blanks.
std::string CoordinateLine(std::string_view name, double value);
// "FUNCTION=value".
std::string FunctionLine(double value);
// The line that stands for a function value that could not be computed at a stored
// point (listing after Open, report), with the error number.
std::string FunctionNotEvaluatedLine(int32_t errorNumber);
// "TRIAL" + number + ":".
std::string TrialLine(int32_t trial);
// The detail block: the smallest pivot, the column heading, then one line per
// leading minor with its smallest pivot from column 1 and its determinant from
// column 31.
std::vector<std::string> DetailBlock(double smallestPivot, const std::vector<double>& minPivots,
                                     const std::vector<double>& determinants);
// "2 max. 1 min. " (with the final blank).
std::string CountsCaption(int32_t maxCount, int32_t minCount);

// Problems met by a run, for its closing section.
struct RunProblems {
  bool convProblems = false;
  bool inconsistence = false;
  bool linDependence = false;
  int32_t problemBits = 0;  // 1: an illegal quantity, 2: an overflow
  bool Any() const { return convProblems || inconsistence || linDependence || problemBits != 0; }
  bool operator==(const RunProblems&) const = default;
};
std::vector<std::string> ProblemsSection(const RunProblems& problems);

// Lists the stored maxima, then the stored minima, as after a run: heading,
// coordinates, the function value (evaluated afresh at each stored point) and the
// stored smallest pivot. A value that cannot be evaluated is listed as such. Returns
// the counts caption.
std::string ListSolutions(const Problem& problem, PointFunction& function, const LineSink& append);

}  // namespace quorvant
