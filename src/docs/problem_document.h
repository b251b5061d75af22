// The problem the window edits, as a document: the file it was opened from or saved to,
// that file's version as read or written here, the problem as last saved, and whether
// the problem or its results changed since. Open, Save and Save As go through it, and
// it decides what an answer to the unsaved-work question leads to. No Qt here.
#pragma once

#include <string>
#include <string_view>

#include "docs/problem_file.h"
#include "docs/safe_file.h"
#include "model/problem.h"

namespace quorvant {

class ProblemDocument {
 public:
  // The file Save writes (empty: Save asks for a name first).
  const std::string& path() const { return path_; }
  // The file the title names: opened or saved here (empty before either).
  const std::string& shownFile() const { return shownFile_; }
  // Whether the problem or its results differ from those last saved (or opened, or
  // started with); always while a run is replacing the results.
  bool modified() const { return running_ || formulaChanged_ || restChanged_; }
  void SetRunning(bool running) { running_ = running; }

  // The problem as the window shows it now, compared by value as a file holds it
  // (".01" and "0.01" are the same): a change marks the document modified, a change
  // back clears the mark.
  void Update(const Problem& now);
  // The formula alone, as it is typed: no more than one comparison of the text.
  void SetFormula(std::string_view formula) { formulaChanged_ = formula != saved_.formula; }
  // `problem` is what the file now holds (or what a new window starts with).
  void MarkSaved(const Problem& problem);

  // Reads `path` whole into `opened`; on success the document is that file. `notice`
  // tells of an interrupted save that was completed or kept. Nothing changes on failure.
  bool Open(const std::string& path, Problem& opened, std::string& error, std::string& notice);
  // Save names a file first when none is known; Save As names another one. The file
  // opened or saved last, named again, is still not overwritten blindly if another
  // program changed it.
  void NameForSave(const std::string& path);
  void NameForSaveAs(const std::string& path);
  // Writes `problem` into path(). Unless `evenIfChanged`, a file another program changed
  // since it was opened or saved here is left alone (Outcome::ChangedOnDisk). On success
  // the document is saved.
  SaveResult Write(const Problem& problem, bool evenIfChanged);

  // The unsaved-work question's answers, and what follows from one: go on (the work
  // was saved, discarded, or there was none), save first, or stay.
  enum class Answer { Save, Discard, Cancel };
  enum class Step { Proceed, SaveFirst, Stay };
  // `canSave` is false where Save is not possible yet: Save is then not on offer.
  static Step AfterAnswer(Answer answer, bool canSave);

 private:
  Problem saved_;
  std::string path_;
  std::string shownFile_;
  FileStamp stamp_;
  bool running_ = false;
  bool formulaChanged_ = false;
  bool restChanged_ = false;
};

}  // namespace quorvant
