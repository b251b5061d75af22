// No work is lost: a field holds any length a file brings, and closing or Open asks
// before the problem or its results, changed since the last Open or Save, would go.
#include <QComboBox>
#include <QLabel>

#include "window_fixture.h"

namespace quorvant {
namespace {

using uitest::DataFile;
using uitest::Files;
using uitest::ReadAll;
using uitest::TempCopy;
using Answer = frmZorvex::UnsavedAnswer;

std::filesystem::path ScratchFile(const char* name) {
  const auto dir = TempCopy(DataFile("quad2_bowl.zvx"), "scratch.zvx").parent_path();
  const auto path = dir / name;
  std::filesystem::remove(path);
  return path;
}

// A formula of exactly 100,000 characters, three times the line edit's default limit.
std::string LongFormula() {
  std::string formula;
  while (formula.size() < 99998) formula += "x+";
  formula += "42";
  return formula;
}

class Unsaved : public Files {
 protected:
  void SetUp() override {
    Files::SetUp();
    window->SetUnsavedPrompt([this](bool canSave) {
      prompts.push_back(canSave);
      return answer;
    });
  }
  // Opens a copy of `data` (a file of tests/data/files) as `as`.
  std::filesystem::path OpenCopy(const char* data, const char* as) {
    const auto copy = TempCopy(DataFile(data), as);
    openName = QString::fromStdString(copy.string());
    window->mnuOpen_Click();
    EXPECT_EQ(window->problemPath(), copy.string());
    return copy;
  }
  Answer answer = Answer::Cancel;
  std::vector<bool> prompts;  // canSave of every question asked
};

TEST_F(Unsaved, AHundredThousandCharacterFormulaSurvivesOpenThenSaveByteForByte) {
  const auto path = ScratchFile("long-formula.zvx");
  const std::string text =
      "Zorvex\r\n1,0,0,0.01,8,\"" + LongFormula() + "\"\r\n\"x\",-10,10,4\r\n 0 \r\n";
  std::ofstream(path, std::ios::binary) << text;
  ASSERT_TRUE(window->OpenNamedFile(QString::fromStdString(path.string())));
  EXPECT_EQ(Field("txtEquation")->text().size(), 100000);
  EXPECT_EQ(Held().formula, LongFormula());
  // Save writes the opened file again; Save As a new one: both byte for byte.
  window->mnuSave_Click();
  EXPECT_EQ(ReadAll(path), text);
  const auto other = ScratchFile("long-formula-copy.zvx");
  saveName = QString::fromStdString(other.string());
  window->mnuSaveAs_Click();
  EXPECT_EQ(ReadAll(other), text);
  EXPECT_TRUE(sink.titles.empty());
}

TEST_F(Unsaved, EveryFieldHoldsMoreThanTheDefaultLimit) {
  const QString longText(40000, 'a');
  for (QLineEdit* field : window->findChildren<QLineEdit*>()) {
    field->setText(longText);
    EXPECT_EQ(field->text().size(), longText.size()) << field->objectName().toStdString();
  }
}

TEST_F(Unsaved, TheTitleNamesTheFileAndMarksChanges) {
  EXPECT_EQ(window->windowTitle(), "Quorvant");
  EXPECT_FALSE(window->isModified());
  OpenCopy("quad2_bowl.saved.zvx", "bowl.zvx");
  EXPECT_EQ(window->windowTitle(), "Quorvant - bowl.zvx[*]");
  EXPECT_FALSE(window->isModified());
  EXPECT_FALSE(window->isWindowModified());
  Type(Field("txtEquation"), "x*x+y*y");
  EXPECT_TRUE(window->isModified());
  EXPECT_TRUE(window->isWindowModified());
  window->mnuSave_Click();
  EXPECT_FALSE(window->isModified());
  EXPECT_FALSE(window->isWindowModified());
  // A change of a limit counts; writing the same value another way does not.
  Type(Field("txtUL0"), "10.0");
  EXPECT_FALSE(window->isModified());
  Type(Field("txtUL0"), "11");
  EXPECT_TRUE(window->isModified());
  const auto other = ScratchFile("renamed.zvx");
  saveName = QString::fromStdString(other.string());
  window->mnuSaveAs_Click();
  EXPECT_EQ(window->windowTitle(), "Quorvant - renamed.zvx[*]");
  EXPECT_FALSE(window->isModified());
}

TEST_F(Unsaved, AnUntouchedWindowClosesWithoutAQuestion) {
  EXPECT_TRUE(window->close());
  EXPECT_TRUE(prompts.empty());
}

TEST_F(Unsaved, ANewProblemIsUnsavedWorkOnceItIsGiven) {
  DefineProblem("2", "x,y");
  EXPECT_TRUE(window->isModified());
  EXPECT_EQ(window->windowTitle(), "Quorvant");  // no file named yet
  EXPECT_FALSE(window->close());
  EXPECT_EQ(prompts, std::vector<bool>{true});
}

TEST_F(Unsaved, AnUnchangedFileClosesWithoutAQuestion) {
  OpenCopy("himmelblau.saved.zvx", "h.zvx");
  EXPECT_TRUE(window->close());
  EXPECT_TRUE(prompts.empty());
}

struct CloseCase {
  const char* name;
  Answer answer;
  bool closes;
  bool written;
};

void PrintTo(const CloseCase& c, std::ostream* os) {
  *os << c.name;
}

class ClosePrompt : public Unsaved, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(ClosePrompt, AnswersDecideWhatHappens) {
  const auto copy = OpenCopy("quad2_bowl.saved.zvx", "close.zvx");
  const std::string before = ReadAll(copy);
  Type(Field("txtEquation"), "x*x+y*y+1");
  answer = GetParam().answer;
  EXPECT_EQ(window->close(), GetParam().closes);
  ASSERT_EQ(prompts, std::vector<bool>{true});
  EXPECT_EQ(window->isVisible(), !GetParam().closes);
  const std::string after = ReadAll(copy);
  if (GetParam().written) {
    EXPECT_NE(after.find("\"x*x+y*y+1\""), std::string::npos) << after;
    EXPECT_FALSE(window->isModified());
  } else {
    EXPECT_EQ(after, before);
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, ClosePrompt,
                         ::testing::Values(CloseCase{"Save", Answer::Save, true, true},
                                           CloseCase{"Discard", Answer::Discard, true, false},
                                           CloseCase{"Cancel", Answer::Cancel, false, false}),
                         [](const ::testing::TestParamInfo<CloseCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(Unsaved, SaveWithoutAFileNameAsksForOneAndACancelKeepsTheWindow) {
  DefineProblem("1", "x");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "x*x"));
  answer = Answer::Save;
  saveName = "";  // the dialog is cancelled
  EXPECT_FALSE(window->close());
  EXPECT_EQ(dialogs, 1);
  EXPECT_TRUE(window->isVisible());
  const auto path = ScratchFile("named-at-close.zvx");
  saveName = QString::fromStdString(path.string());
  EXPECT_TRUE(window->close());
  EXPECT_NE(ReadAll(path).find("\"x*x\""), std::string::npos);
}

TEST_F(Unsaved, BeforeTheNamesNothingCanBeSavedSoOnlyDiscardIsOffered) {
  Type(Field("txtEquation"), "x*x");
  answer = Answer::Cancel;
  EXPECT_FALSE(window->close());
  ASSERT_EQ(prompts, std::vector<bool>{false});
  answer = Answer::Save;  // not offered: taken as Cancel
  EXPECT_FALSE(window->close());
  answer = Answer::Discard;
  EXPECT_TRUE(window->close());
}

TEST_F(Unsaved, OpenAsksBeforeItReplacesTypedWork) {
  Type(Field("txtEquation"), "x*x");
  openName = QString::fromStdString(DataFile("himmelblau.saved.zvx").string());
  answer = Answer::Cancel;
  window->mnuOpen_Click();
  EXPECT_EQ(prompts.size(), 1u);
  EXPECT_EQ(dialogs, 0);  // cancelled before the dialog
  EXPECT_EQ(window->windowState(), frmZorvex::WindowState::New);
  answer = Answer::Discard;
  window->mnuOpen_Click();
  EXPECT_EQ(window->windowState(), frmZorvex::WindowState::ProblemDefined);
}

TEST_F(Unsaved, ResultsOfARunAreUnsavedWork) {
  OpenCopy("quad2_bowl.zvx", "bowl-run.zvx");
  EXPECT_FALSE(window->isModified());
  ASSERT_TRUE(RunAndWait("cmdExplore"));
  EXPECT_TRUE(window->isModified());  // the file holds no extrema; the run found one
  window->mnuSave_Click();
  EXPECT_FALSE(window->isModified());
  ASSERT_TRUE(RunAndWait("cmdExplore"));
  EXPECT_FALSE(window->isModified());  // the same extremum again: nothing to save
}

TEST_F(Unsaved, ClosingDuringARunAsksThenStopsIt) {
  DefineProblem("1", "x");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "x"));
  Type(Field("txtSubintervals0"), "20000000");
  QTest::mouseClick(Find<QPushButton>("cmdExplore"), Qt::LeftButton);
  ASSERT_TRUE(window->runInProgress());
  EXPECT_TRUE(window->isModified());
  answer = Answer::Cancel;
  EXPECT_FALSE(window->close());
  EXPECT_TRUE(window->runInProgress());  // Cancel leaves the run alone
  answer = Answer::Save;
  const auto path = ScratchFile("saved-while-running.zvx");
  saveName = QString::fromStdString(path.string());
  EXPECT_TRUE(window->close());
  EXPECT_FALSE(window->runInProgress());
  EXPECT_EQ(prompts, (std::vector<bool>{true, true}));
  EXPECT_NE(ReadAll(path).find("\"x\",-10,10,20000000"), std::string::npos) << ReadAll(path);
}

TEST_F(Unsaved, DiscardDuringARunStopsItAndCloses) {
  DefineProblem("1", "x");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "x"));
  Type(Field("txtSubintervals0"), "20000000");
  QTest::mouseClick(Find<QPushButton>("cmdExplore"), Qt::LeftButton);
  ASSERT_TRUE(window->runInProgress());
  answer = Answer::Discard;
  EXPECT_TRUE(window->close());
  EXPECT_FALSE(window->runInProgress());
}

}  // namespace
}  // namespace quorvant
