#include "docs/problem_document.h"

#include "model/numtext.h"

namespace quorvant {
namespace {

bool SameNumber(double a, double b) {
  return FormatGeneral(a) == FormatGeneral(b);
}

bool SameNumbers(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k)
    if (!SameNumber(a[k], b[k])) return false;
  return true;
}

bool SameStore(const std::vector<StoredPoint>& a, const std::vector<StoredPoint>& b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k)
    if (!SameNumbers(a[k], b[k])) return false;
  return true;
}

// Everything but the formula, as Save writes it.
bool SameApartFromFormula(const Problem& a, const Problem& b) {
  return a.varNames == b.varNames && SameNumber(a.errorBound, b.errorBound) &&
         a.maxCycles == b.maxCycles && SameNumbers(a.lowerLimit, b.lowerLimit) &&
         SameNumbers(a.upperLimit, b.upperLimit) && a.subintervals == b.subintervals &&
         a.constants == b.constants && SameStore(a.maxima, b.maxima) &&
         SameStore(a.minima, b.minima);
}

}  // namespace

void ProblemDocument::Update(const Problem& now) {
  SetFormula(now.formula);
  restChanged_ = !SameApartFromFormula(now, saved_);
}

void ProblemDocument::MarkSaved(const Problem& problem) {
  saved_ = problem;
  formulaChanged_ = restChanged_ = false;
}

bool ProblemDocument::Open(const std::string& path, Problem& opened, std::string& error,
                           std::string& notice) {
  FileStamp stamp;
  if (!LoadProblemFile(path, opened, error, &stamp, &notice)) return false;
  path_ = shownFile_ = path;
  stamp_ = stamp;
  MarkSaved(opened);
  return true;
}

void ProblemDocument::NameForSave(const std::string& path) {
  path_ = path;
  stamp_ = {};
}

void ProblemDocument::NameForSaveAs(const std::string& path) {
  path_ = path;
  if (!StampOf(path_).SameFile(stamp_)) stamp_ = {};
}

SaveResult ProblemDocument::Write(const Problem& problem, bool evenIfChanged) {
  SaveResult saved = SaveProblemFile(path_, problem, evenIfChanged ? FileStamp{} : stamp_);
  if (!saved.ok()) return saved;
  stamp_ = saved.stamp;
  shownFile_ = path_;
  MarkSaved(problem);
  return saved;
}

ProblemDocument::Step ProblemDocument::AfterAnswer(Answer answer, bool canSave) {
  if (answer == Answer::Cancel || (answer == Answer::Save && !canSave)) return Step::Stay;
  return answer == Answer::Save ? Step::SaveFirst : Step::Proceed;
}

}  // namespace quorvant
