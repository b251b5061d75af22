// The main window driven with real key and mouse events (offscreen): refusals, the
// interval editor, the constants, the menu states, and whole runs.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPrinter>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableView>
#include <cstdio>
#include <cstdlib>

#include "cli/cli_runner.h"
#include "plot/plot_view.h"
#include "ui/plot_window.h"
#include "ui/points_table.h"
#include "ui/prove_run.h"
#include "window_fixture.h"

namespace quorvant {
namespace {

using uitest::DataFile;
using uitest::Files;
using uitest::ReadAll;
using uitest::TempCopy;
using uitest::Window;

struct OrderCase {
  const char* name;
  const char* text;
  bool accepted;
  int32_t varCount;
};

void PrintTo(const OrderCase& c, std::ostream* os) {
  *os << '"' << c.text << '"';
}

class OrderField : public Window, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(OrderField, AcceptsOrRefuses) {
  EXPECT_EQ(TypeAndLeave("txtOrder", GetParam().text), GetParam().accepted) << GetParam().text;
  if (GetParam().accepted) {
    EXPECT_EQ(Held().varCount(), GetParam().varCount);
  }
  EXPECT_EQ(Field("txtOrder")->isEnabled(), !GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, OrderField,
    ::testing::Values(OrderCase{"TwoAndAHalfIsTwo", "2.5", true, 2},
                      OrderCase{"ThreeAndAHalfIsFour", "3.5", true, 4},
                      OrderCase{"Ten", "10", true, 10}, OrderCase{"LeadingNumber", "3 x", true, 3},
                      OrderCase{"TenPointFour", "10.4", false, 0}, OrderCase{"Zero", "0", false, 0},
                      OrderCase{"Negative", "-3", false, 0}, OrderCase{"Letters", "abc", false, 0},
                      OrderCase{"Empty", "", false, 0}, OrderCase{"RoundsToZero", "0.4", false, 0}),
    [](const ::testing::TestParamInfo<OrderCase>& info) { return std::string(info.param.name); });

TEST_F(Window, RefusedFieldKeepsTheFocusAndSwallowsClicks) {
  Type(Field("txtOrder"), "11");
  QTest::mouseClick(Find<QPushButton>("cmdNextLim"), Qt::LeftButton);
  EXPECT_EQ(QApplication::focusWidget(), Field("txtOrder"));
  QTest::mouseClick(Find<QPushButton>("cmdExplore"), Qt::LeftButton);
  EXPECT_EQ(QApplication::focusWidget(), Field("txtOrder"));
  EXPECT_TRUE(Menu("mnuOpen")->isEnabled());  // menus stay usable
}

TEST_F(Window, NamesMustMatchTheCount) {
  ASSERT_TRUE(TypeAndLeave("txtOrder", "3"));
  EXPECT_FALSE(TypeAndLeave("txtVarNams", "x,y"));
  EXPECT_FALSE(TypeAndLeave("txtVarNams", "x,,y"));
  EXPECT_TRUE(TypeAndLeave("txtVarNams", "a,b,c"));
  EXPECT_EQ(Held().varNames, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Find<QLabel>("lblVar0")->text(), "a");
  EXPECT_EQ(Find<QLabel>("lblVar2")->text(), "c");
  EXPECT_EQ(Find<QLabel>("lblEquation")->text(), "f(a,b,c)");
  EXPECT_FALSE(Field("txtVarNams")->isEnabled());
}

TEST_F(Window, BlankAfterACommaIsPartOfTheName) {
  DefineProblem("2", "x, y");
  EXPECT_EQ(Held().varNames, (std::vector<std::string>{"x", " y"}));
}

TEST_F(Window, MenuStatesThroughTheWindowStates) {
  EXPECT_EQ(window->windowState(), frmZorvex::WindowState::New);
  EXPECT_TRUE(Menu("mnuOpen")->isEnabled());
  EXPECT_FALSE(Menu("mnuSave")->isEnabled());
  EXPECT_FALSE(Menu("mnuSaveAs")->isEnabled());
  EXPECT_FALSE(Menu("mnuPrint")->isVisible());
  EXPECT_FALSE(Menu("mnuAbout")->isVisible());
  ASSERT_TRUE(TypeAndLeave("txtOrder", "2"));
  EXPECT_EQ(window->windowState(), frmZorvex::WindowState::CountGiven);
  EXPECT_FALSE(Menu("mnuOpen")->isEnabled());
  EXPECT_FALSE(Menu("mnuSave")->isEnabled());
  EXPECT_FALSE(Menu("mnuPrint")->isVisible());
  ASSERT_TRUE(TypeAndLeave("txtVarNams", "x,y"));
  EXPECT_EQ(window->windowState(), frmZorvex::WindowState::ProblemDefined);
  EXPECT_FALSE(Menu("mnuOpen")->isEnabled());
  EXPECT_TRUE(Menu("mnuSave")->isEnabled());
  EXPECT_TRUE(Menu("mnuSaveAs")->isEnabled());
  EXPECT_TRUE(Menu("mnuPrint")->isVisible());
  EXPECT_TRUE(Menu("mnuAbout")->isVisible());
}

TEST_F(Window, ErrorBoundMaxCyclesAndSeeds) {
  EXPECT_FALSE(TypeAndLeave("txtError", "0"));
  EXPECT_FALSE(TypeAndLeave("txtError", "-1"));
  // No file could hold it: written with 15 digits it lies beyond the largest number.
  EXPECT_FALSE(TypeAndLeave("txtError", "1.7976931348623157E+308"));
  EXPECT_TRUE(TypeAndLeave("txtError", ".01"));
  EXPECT_TRUE(TypeAndLeave("txtMaxcy", "2.5"));
  EXPECT_EQ(Field("txtMaxcy")->text(), "2");
  EXPECT_EQ(Held().maxCycles, 2);
  EXPECT_TRUE(TypeAndLeave("txtMaxcy", "0.6"));
  EXPECT_EQ(Field("txtMaxcy")->text(), "1");
  EXPECT_FALSE(TypeAndLeave("txtMaxcy", "0.4"));
  EXPECT_EQ(Field("txtMaxcy")->text(), "0");
  EXPECT_FALSE(TypeAndLeave("txtMaxcy", "40000"));
  EXPECT_TRUE(TypeAndLeave("txtMaxcy", "8"));
  EXPECT_FALSE(TypeAndLeave("txtRand", "0.5"));
  EXPECT_TRUE(TypeAndLeave("txtRand", "1.5"));
  EXPECT_FALSE(TypeAndLeave("txtEquation", ""));
  EXPECT_TRUE(TypeAndLeave("txtEquation", "x"));
}

TEST_F(Window, LimitsMustBeNumbersAsAWhole) {
  EXPECT_FALSE(TypeAndLeave("txtLL0", "12abc"));
  EXPECT_FALSE(TypeAndLeave("txtLL0", "abc"));
  EXPECT_FALSE(TypeAndLeave("txtLL0", ""));
  EXPECT_TRUE(TypeAndLeave("txtLL0", "1e2"));
  EXPECT_TRUE(TypeAndLeave("txtUL0", "-3.5"));
  EXPECT_TRUE(TypeAndLeave("txtSubintervals0", "abc"));
}

// The interval fields come right after the constants list, member after member, before
// any button; hidden ones are skipped when tabbing, so the order is checked on the chain.
void ExpectIntervalFieldsAfterTheConstants(QComboBox* constants, int members) {
  QWidget* w = constants;
  for (int i = 0; i < members; ++i) {
    for (const char* base : {"txtLL", "txtUL", "txtSubintervals"}) {
      do w = w->nextInFocusChain();
      while (w->parentWidget() == constants || !(w->focusPolicy() & Qt::TabFocus));
      EXPECT_EQ(w->objectName(), QString("%1%2").arg(base).arg(i));
    }
  }
}

// With the keys, as a user goes: a click in the lower limit, then Tab and Tab.
void ExpectTabFromTheLowerLimit(QLineEdit* lower) {
  QTest::mouseClick(lower, Qt::LeftButton);
  ASSERT_EQ(QApplication::focusWidget(), lower);
  for (const char* next : {"txtUL0", "txtSubintervals0"}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), next);
  }
}

TEST_F(Window, TabOrderAfterLoadObjects) {
  DefineProblem("3", "x,y,z");
  ExpectIntervalFieldsAfterTheConstants(Find<QComboBox>("cboConstants"), 3);
  ExpectTabFromTheLowerLimit(Field("txtLL0"));
}

TEST_F(Window, NextAndPreviousCycle) {
  DefineProblem("3", "x,y,z");
  auto shown = [&] {
    for (int i = 0; i < 3; ++i)
      if (Field(QString("txtLL%1").arg(i).toUtf8().constData())->isVisible()) return i;
    return -1;
  };
  EXPECT_EQ(shown(), 0);
  QTest::mouseClick(Find<QPushButton>("cmdNextLim"), Qt::LeftButton);
  EXPECT_EQ(shown(), 1);
  QTest::mouseClick(Find<QPushButton>("cmdNextLim"), Qt::LeftButton);
  EXPECT_EQ(shown(), 2);
  QTest::mouseClick(Find<QPushButton>("cmdNextLim"), Qt::LeftButton);
  EXPECT_EQ(shown(), 0);
  QTest::mouseClick(Find<QPushButton>("cmdPrevLim"), Qt::LeftButton);
  EXPECT_EQ(shown(), 2);
  EXPECT_EQ(QApplication::focusWidget(), Field("txtLL2"));
}

TEST_F(Window, NextWithOneVariableShowsItAgain) {
  DefineProblem("1", "x");
  QTest::mouseClick(Find<QPushButton>("cmdNextLim"), Qt::LeftButton);
  EXPECT_TRUE(Field("txtLL0")->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), Field("txtLL0"));
  QTest::mouseClick(Find<QPushButton>("cmdPrevLim"), Qt::LeftButton);
  EXPECT_TRUE(Field("txtLL0")->isVisible());
}

TEST_F(Window, ConstantsAddReplaceRefuseRemove) {
  auto* combo = Find<QComboBox>("cboConstants");
  auto add = [&](const QString& text) {
    combo->setFocus();
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), text);
    QTest::mouseClick(Find<QPushButton>("cmdAddCons"), Qt::LeftButton);
  };
  for (const char* bad : {"a = 2", "2a=1", "my_c=1", "=5", "abc", "a b=1"}) {
    add(bad);
    EXPECT_EQ(combo->count(), 0) << bad;
    EXPECT_EQ(combo->currentText().toStdString(), bad);
  }
  add("a=2.37");
  add("A=5");
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->itemText(0), "a=2.37");
  EXPECT_EQ(combo->itemText(1), "A=5");
  add("a=5");  // replaces a=2.37, which moves to the end
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->itemText(0), "A=5");
  EXPECT_EQ(combo->itemText(1), "a=5");
  EXPECT_EQ(Held().constants, (std::vector<std::string>{"A=5", "a=5"}));
  // Enter adds like the button.
  combo->setFocus();
  QTest::keyClicks(combo->lineEdit(), "b=1");
  QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(combo->count(), 3);
  // Remove the selected entry: its name is reset to 0 in the interpreter.
  window->evaluator().engine().ExecuteStatement("b=1");
  combo->setCurrentIndex(2);
  QTest::mouseClick(Find<QPushButton>("cmdRemCons"), Qt::LeftButton);
  EXPECT_EQ(combo->count(), 2);
  EXPECT_EQ(Held().constants, (std::vector<std::string>{"A=5", "a=5"}));
  script::Variant v;
  ASSERT_EQ(window->evaluator().engine().Eval("b", v), 0);
  EXPECT_EQ(v.Number(), 0);
  // An edit text without "=" resets the removed entry's own name.
  window->evaluator().engine().ExecuteStatement("a=5");
  combo->setCurrentIndex(1);
  combo->setEditText("no equals sign");
  QTest::mouseClick(Find<QPushButton>("cmdRemCons"), Qt::LeftButton);
  EXPECT_EQ(combo->count(), 1);
  ASSERT_EQ(window->evaluator().engine().Eval("a", v), 0);
  EXPECT_EQ(v.Number(), 0);
  EXPECT_TRUE(sink.titles.empty());
}

TEST_F(Window, The102ndConstantIsRefused) {
  auto* combo = Find<QComboBox>("cboConstants");
  combo->setFocus();  // away from the empty number of variables, which refuses
  for (int k = 0; k < 102; ++k) {
    combo->setEditText(QString("c%1=%1").arg(k));
    QTest::mouseClick(Find<QPushButton>("cmdAddCons"), Qt::LeftButton);
  }
  EXPECT_EQ(combo->count(), 101);
  ASSERT_EQ(Held().constants.size(), 101u);
  EXPECT_EQ(Held().constants[100], "c100=100");
  combo->setEditText("c5=7");  // replacing still works when full
  QTest::mouseClick(Find<QPushButton>("cmdAddCons"), Qt::LeftButton);
  EXPECT_EQ(combo->count(), 101);
  EXPECT_EQ(combo->itemText(100), "c5=7");
}

TEST_F(Window, RunRefusedBeforeTheProblemIsDefined) {
  QTest::mouseClick(Find<QPushButton>("cmdExplore"), Qt::LeftButton);
  EXPECT_FALSE(window->runInProgress());
  EXPECT_TRUE(Lines().isEmpty());
}

TEST_F(Window, ExploreFromTypedInputToTheCaption) {
  DefineProblem("2", "x,y");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "(x-1)^2+(y+2)^2"));
  ASSERT_TRUE(RunAndWait("cmdExplore"));
  EXPECT_EQ(Lines(), (QStringList{"MINIMUM AT:", "x=1", "y=-2", "FUNCTION=0"}));
  EXPECT_EQ(Find<QLabel>("lblExtrema")->text(), "0 max. 1 min. ");
  // The error bound tightened clears the results; a wider one keeps them.
  ASSERT_TRUE(TypeAndLeave("txtError", ".02"));
  EXPECT_EQ(Lines().size(), 4);
  ASSERT_TRUE(TypeAndLeave("txtError", ".005"));
  EXPECT_TRUE(Lines().isEmpty());
  EXPECT_EQ(Find<QLabel>("lblExtrema")->text(), "");
  // With additional info the detail block follows, and typing in the function clears.
  Find<QCheckBox>("chkShowPivots")->setChecked(true);
  ASSERT_TRUE(RunAndWait("cmdExplore"));
  EXPECT_EQ(Lines().size(), 8);
  Field("txtEquation")->setFocus();
  QTest::keyClick(Field("txtEquation"), Qt::Key_Space);
  EXPECT_TRUE(Lines().isEmpty());
}

TEST_F(Window, RandomListsTrialHeaders) {
  DefineProblem("2", "x,y");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "x*y"));
  ASSERT_TRUE(TypeAndLeave("txtRand", "2.5"));
  ASSERT_TRUE(RunAndWait("cmdRandom"));
  EXPECT_EQ(Lines(), (QStringList{"", "TRIAL1:", "", "TRIAL2:"}));
}

TEST_F(Window, StopDuringALongRun) {
  // 20 million grid points of a function without extrema: seconds of work.
  DefineProblem("1", "x");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "x"));
  ASSERT_TRUE(TypeAndLeave("txtSubintervals0", "20000000"));
  QSignalSpy done(window.get(), &frmZorvex::runFinished);
  QTest::mouseClick(Find<QPushButton>("cmdExplore"), Qt::LeftButton);
  ASSERT_TRUE(window->runInProgress());
  EXPECT_FALSE(Find<QPushButton>("cmdExplore")->isEnabled());
  EXPECT_FALSE(Field("txtEquation")->isEnabled());
  auto* stop = Find<QPushButton>("cmdStop");
  EXPECT_TRUE(stop->isVisible());
  QTest::qWait(100);
  QTest::mouseClick(stop, Qt::LeftButton);
  ASSERT_TRUE(done.count() > 0 || done.wait(10000));
  EXPECT_FALSE(window->runInProgress());
  EXPECT_TRUE(Find<QPushButton>("cmdExplore")->isEnabled());
  EXPECT_EQ(Find<QLabel>("lblExtrema")->text(), "0 max. 0 min. ");
  EXPECT_TRUE(window->statusBar()->currentMessage().startsWith("Stopped"))
      << window->statusBar()->currentMessage().toStdString();
  // The listing is incomplete, and the caption area says so until the next run.
  auto* note = Find<QLabel>("lblRunNote");
  EXPECT_TRUE(note->isVisible());
  EXPECT_EQ(note->text(), "Stopped: incomplete");
  ASSERT_TRUE(TypeAndLeave("txtSubintervals0", "4"));
  ASSERT_TRUE(RunAndWait("cmdExplore"));
  EXPECT_FALSE(note->isVisible());
  EXPECT_FALSE(window->statusBar()->currentMessage().startsWith("Stopped"));
}

// The run evaluates with its own evaluator: the window's constants, formula and
// evaluator changed while it goes on change nothing it lists (and race with nothing).
TEST_F(Window, EditsDuringARunLeaveItAlone) {
  DefineProblem("1", "x");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "(x-k)^2"));
  ASSERT_TRUE(TypeAndLeave("txtSubintervals0", "1000000"));
  Find<QComboBox>("cboConstants")->setEditText("k=1");
  QTest::mouseClick(Find<QPushButton>("cmdAddCons"), Qt::LeftButton);
  ASSERT_TRUE(RunAndWait("cmdExplore"));
  const QStringList undisturbed = Lines();
  QSignalSpy done(window.get(), &frmZorvex::runFinished);
  QTest::mouseClick(Find<QPushButton>("cmdExplore"), Qt::LeftButton);
  ASSERT_TRUE(window->runInProgress());
  Field("txtEquation")->setText("x*x*x");
  FunctionEvaluator& own = window->evaluator();
  ASSERT_FALSE(own.RegisterConstants(std::vector<std::string>{"k=7"}));
  own.SetFunction(std::vector<std::string>{"x"}, "x*x*x+k");
  double value = 0;
  for (double x = 0; x < 1000; ++x) ASSERT_EQ(own.EvaluateFunction(std::vector{x}, value), 0);
  ASSERT_TRUE(done.count() > 0 || done.wait(60000));
  EXPECT_EQ(Lines(), undisturbed);
}

TEST_F(Window, ConstantTheInterpreterRejectsAbandonsTheRun) {
  DefineProblem("1", "x");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "x*x"));
  auto* combo = Find<QComboBox>("cboConstants");
  combo->setEditText("k=)");
  QTest::mouseClick(Find<QPushButton>("cmdAddCons"), Qt::LeftButton);
  QTest::mouseClick(Find<QPushButton>("cmdExplore"), Qt::LeftButton);
  EXPECT_FALSE(window->runInProgress());
  EXPECT_EQ(sink.titles, (std::vector<std::string>{"Error in Script Control"}));
  EXPECT_TRUE(Find<QPushButton>("cmdExplore")->isEnabled());
}

// --- Prove ---------------------------------------------------------------------

// What quorvant-cli writes on standard output for `args`.
std::string RunnerOutput(const std::vector<std::string>& args) {
  char* text = nullptr;
  size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  std::FILE* err = std::fopen("/dev/null", "w");
  RunCli(args, out, err);
  std::fclose(out);
  std::fclose(err);
  std::string result(text, size);
  std::free(text);
  return result;
}

class Proof : public Files {
 protected:
  void SetUp() override {
    Files::SetUp();
    if (!ProveBuilt()) {
      // The command is there, disabled, and says why.
      DefineProblem("1", "x");
      EXPECT_FALSE(Menu("mnuProve")->isEnabled());
      EXPECT_EQ(Menu("mnuProve")->toolTip(), ProveMissingReason());
      GTEST_SKIP() << ProveMissingReason();
    }
  }
  bool ProveAndWait(int timeoutMs = 60000) {
    QSignalSpy done(window.get(), &frmZorvex::runFinished);
    Menu("mnuProve")->trigger();
    return done.count() > 0 || done.wait(timeoutMs);
  }
};

// The listing, the comparison with the stored extrema and the saved file are the
// runner's; the table and the plot hold every proven point.
TEST_F(Proof, ListsTableAndPlotAsTheRunnerAndSavesAsItDoes) {
  const auto mine = TempCopy(DataFile("himmelblau.saved.zvx"), "proven-window.zvx");
  const auto runners = TempCopy(DataFile("himmelblau.saved.zvx"), "proven-runner.zvx");
  ASSERT_TRUE(window->OpenNamedFile(QString::fromStdString(mine.string())));
  ASSERT_TRUE(ProveAndWait());
  const QString expected = QString::fromStdString(RunnerOutput({"--prove", runners.string()}));
  EXPECT_EQ(Lines().join("\n") + "\n", expected);
  const int proven = static_cast<int>(Lines().filter(QRegularExpression(" AT:$")).size());
  EXPECT_EQ(window->pointsTable()->model()->rowCount(), proven);
  window->mnuPlot_Click();
  ASSERT_NE(window->plotWindow(), nullptr);
  window->plotWindow()->RenderNow();
  PlotView* plot = window->plotWindow()->view();
  EXPECT_EQ(plot->drawn("maximum").size() + plot->drawn("minimum").size() +
                plot->drawn("saddle / neither").size(),
            static_cast<size_t>(proven));
  window->mnuSave_Click();
  RunnerOutput({"--prove", "--save", runners.string()});
  EXPECT_EQ(ReadAll(mine), ReadAll(runners));
}

// More extrema of a kind than the store holds: the first 100 are stored, the status bar
// says so, and the plot marks every one.
TEST_F(Proof, KeepsTheFirst100OfEachKindAndPlotsThemAll) {
  const auto file = TempCopy(std::filesystem::path(QUORVANT_TEST_DATA) / "prove" / "rastrigin.zvx",
                             "rastrigin.zvx");
  ASSERT_TRUE(window->OpenNamedFile(QString::fromStdString(file.string())));
  ASSERT_TRUE(ProveAndWait());
  const auto minima = static_cast<size_t>(Lines().filter("MINIMUM AT:").size());
  ASSERT_GT(minima, static_cast<size_t>(kStoreSize));
  EXPECT_EQ(Held().minima.size(), static_cast<size_t>(kStoreSize));
  EXPECT_TRUE(window->statusBar()->currentMessage().contains("keep the first 100 of each kind"))
      << window->statusBar()->currentMessage().toStdString();
  window->mnuPlot_Click();
  window->plotWindow()->RenderNow();
  EXPECT_EQ(window->plotWindow()->view()->drawn("minimum").size(), minima);
}

// What cannot be decided is shaded on the plot, one sub-box per undecided block.
TEST_F(Proof, UndecidedSubBoxesAreShaded) {
  DefineProblem("2", "x,y");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "x^4+y^4"));
  ASSERT_TRUE(ProveAndWait());
  window->mnuPlot_Click();
  window->plotWindow()->RenderNow();
  const auto& shaded = window->plotWindow()->view()->shaded();
  ASSERT_FALSE(shaded.empty());
  EXPECT_EQ(shaded.size(),
            static_cast<size_t>(Lines().filter(QRegularExpression("^UNDECIDED: ")).size()));
}

// Stopped after an earlier search and a Save: what was proven is listed, and the
// stored extrema stay the search's, with nothing new to save.
TEST_F(Proof, StopEndsItWithWhatWasProven) {
  DefineProblem("2", "x,y");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "Sin(x)*Sin(y)"));
  ASSERT_TRUE(TypeAndLeave("txtLL0", "-2000"));
  ASSERT_TRUE(TypeAndLeave("txtUL0", "2000"));
  ASSERT_TRUE(RunAndWait("cmdExplore"));
  saveName = QString::fromStdString(TempCopy(DataFile("quad2_bowl.zvx"), "stopped.zvx").string());
  window->mnuSave_Click();
  const Problem searched = Held();
  ASSERT_FALSE(searched.maxima.empty() && searched.minima.empty());
  QSignalSpy done(window.get(), &frmZorvex::runFinished);
  Menu("mnuProve")->trigger();
  ASSERT_TRUE(window->runInProgress());
  EXPECT_FALSE(Menu("mnuProve")->isEnabled());
  QTest::qWait(300);
  QTest::mouseClick(Find<QPushButton>("cmdStop"), Qt::LeftButton);
  ASSERT_TRUE(done.count() > 0 || done.wait(10000));
  EXPECT_FALSE(window->runInProgress());
  EXPECT_TRUE(Find<QLabel>("lblRunNote")->isVisible());
  EXPECT_TRUE(Lines().filter(QRegularExpression(" sub-boxes undecided ")).size() == 1);
  EXPECT_EQ(Held().maxima, searched.maxima);
  EXPECT_EQ(Held().minima, searched.minima);
  EXPECT_FALSE(window->isModified());
}

TEST_F(Proof, ARefusedFormulaIsNamedAndNothingStarts) {
  DefineProblem("2", "x,y");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "Int(x)+y*y"));
  Menu("mnuProve")->trigger();
  EXPECT_FALSE(window->runInProgress());
  ASSERT_EQ(sink.texts.size(), 1u);
  EXPECT_TRUE(QString::fromStdString(sink.texts[0]).startsWith("Prove refuses this formula: Int "))
      << sink.texts[0];
}

// --- Open, Save, Save As, Print --------------------------------------------------

TEST_F(Files, OpenFillsTheFieldsAndListsTheStoredExtrema) {
  openName = QString::fromStdString(DataFile("himmelblau.saved.zvx").string());
  window->mnuOpen_Click();
  EXPECT_EQ(window->windowState(), frmZorvex::WindowState::ProblemDefined);
  EXPECT_EQ(Field("txtOrder")->text(), "2");
  EXPECT_EQ(Field("txtVarNams")->text(), "x,y");
  EXPECT_EQ(Field("txtError")->text(), "0.0001");
  EXPECT_EQ(Field("txtMaxcy")->text(), "20");
  EXPECT_EQ(Field("txtEquation")->text(), "(x*x+y-11)*(x*x+y-11)+(x+y*y-7)*(x+y*y-7)");
  EXPECT_EQ(Field("txtLL1")->text(), "-5");
  EXPECT_EQ(Field("txtSubintervals1")->text(), "10");
  EXPECT_EQ(Find<QLabel>("lblVar1")->text(), "y");
  EXPECT_EQ(Lines().size(), 5 * (2 + 3));  // n + 3 lines for each of 5 extrema
  EXPECT_EQ(Lines()[0], "MAXIMUM AT:");
  EXPECT_EQ(Find<QLabel>("lblExtrema")->text(), "1 max. 4 min. ");
  EXPECT_FALSE(Menu("mnuOpen")->isEnabled());
  EXPECT_TRUE(Menu("mnuSave")->isEnabled());
  EXPECT_TRUE(Menu("mnuPrint")->isVisible());
  ExpectIntervalFieldsAfterTheConstants(Find<QComboBox>("cboConstants"), 2);
  ExpectTabFromTheLowerLimit(Field("txtLL0"));
}

TEST_F(Files, AFileNamedOnTheCommandLineOpensAsOpenDoes) {
  EXPECT_TRUE(
      window->OpenNamedFile(QString::fromStdString(DataFile("quad2_bowl.saved.zvx").string())));
  EXPECT_EQ(dialogs, 0);
  EXPECT_EQ(Lines().size(), 5);
  EXPECT_EQ(window->windowState(), frmZorvex::WindowState::ProblemDefined);
  // Once a problem is defined, another file is not opened.
  EXPECT_FALSE(
      window->OpenNamedFile(QString::fromStdString(DataFile("himmelblau.saved.zvx").string())));
}

TEST_F(Files, OpenWithoutExtremaListsNothing) {
  openName = QString::fromStdString(DataFile("quad2_bowl.zvx").string());
  window->mnuOpen_Click();
  EXPECT_TRUE(Lines().isEmpty());
  EXPECT_EQ(Find<QLabel>("lblExtrema")->text(), "0 max. 0 min. ");
}

TEST_F(Files, BadFilesChangeNothing) {
  const auto dir = TempCopy(DataFile("quad2_bowl.zvx"), "good.zvx").parent_path();
  const std::pair<const char*, const char*> files[] = {
      {"lower.zvx", "zorvex\r\n2,0,0,0.01,8,\"x\"\r\n"},
      {"truncated.zvx", "Zorvex\r\n2,0,0,0.01,8,\"x*y\"\r\n\"x\",-10,10,4\r\n"},
      {"malformed.zvx",
       "Zorvex\r\n2,0,0,abc,8,\"x*y\"\r\n\"x\",-10,10,4\r\n\"y\",-1,1,4\r\n 0 \r\n"}};
  for (const auto& [name, text] : files) {
    std::ofstream(dir / name, std::ios::binary) << text;
    sink.titles.clear();
    openName = QString::fromStdString((dir / name).string());
    window->mnuOpen_Click();
    EXPECT_EQ(sink.titles.size(), 1u) << name;
    EXPECT_EQ(window->windowState(), frmZorvex::WindowState::New) << name;
    EXPECT_TRUE(Menu("mnuOpen")->isEnabled()) << name;
    EXPECT_EQ(Held().varCount(), 0) << name;
    EXPECT_TRUE(window->problemPath().empty()) << name;
  }
}

TEST_F(Files, SaveAfterOpenWritesWithoutADialogAndKeepsEveryDigit) {
  const auto copy = TempCopy(DataFile("himmelblau.saved.zvx"), "copy.zvx");
  const std::string before = ReadAll(copy);
  openName = QString::fromStdString(copy.string());
  window->mnuOpen_Click();
  ASSERT_EQ(dialogs, 1);
  std::ofstream(copy, std::ios::binary | std::ios::trunc) << "scrambled";
  std::filesystem::remove(copy);
  std::ofstream(copy, std::ios::binary) << "another program's file";
  // The file changed since it was opened: Save asks before it overwrites; No keeps it.
  window->mnuSave_Click();
  ASSERT_EQ(questions.size(), 1);
  EXPECT_TRUE(questions[0].contains("changed by another program")) << questions[0].toStdString();
  EXPECT_EQ(ReadAll(copy), "another program's file");
  answer = true;
  window->mnuSave_Click();
  EXPECT_EQ(questions.size(), 2);
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(ReadAll(copy), before);
  // Saved here, the file is this program's version again: no more questions.
  window->mnuSave_Click();
  EXPECT_EQ(questions.size(), 2);
  EXPECT_EQ(ReadAll(copy), before);
}

TEST_F(Files, SaveAsAsksAndACancelWritesNothing) {
  DefineProblem("1", "x");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "Max(x, 2)"));  // commas survive in quotes
  saveName = "";
  window->mnuSaveAs_Click();
  EXPECT_TRUE(window->problemPath().empty());
  const auto dir = TempCopy(DataFile("quad2_bowl.zvx"), "other.zvx").parent_path();
  saveName = QString::fromStdString((dir / "new.zvx").string());
  window->mnuSave_Click();  // no remembered name yet: Save asks
  EXPECT_EQ(window->problemPath(), saveName.toStdString());
  const std::string text = ReadAll(dir / "new.zvx");
  EXPECT_NE(text.find("\"Max(x, 2)\""), std::string::npos) << text;
  // A name without an extension gets ".zvx"; a file of that name is replaced only when
  // the user says so.
  std::filesystem::remove(dir / "plain.zvx");
  saveName = QString::fromStdString((dir / "plain").string());
  window->mnuSaveAs_Click();
  EXPECT_EQ(window->problemPath(), (dir / "plain.zvx").string());
  EXPECT_TRUE(questions.isEmpty());
  answer = false;
  window->mnuSaveAs_Click();
  EXPECT_EQ(questions.size(), 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "plain"));
}

TEST_F(Files, PrintToPdf) {
  openName = QString::fromStdString(DataFile("quad2_bowl.saved.zvx").string());
  window->mnuOpen_Click();
  const auto dir = TempCopy(DataFile("quad2_bowl.zvx"), "x.zvx").parent_path();
  const auto pdf = dir / "report.pdf";
  std::filesystem::remove(pdf);
  window->SetPrinterSetup([&](QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf.string()));
    return true;
  });
  window->mnuPrint_Click();
  ASSERT_TRUE(std::filesystem::exists(pdf));
  EXPECT_GT(std::filesystem::file_size(pdf), 500u);
  if (std::system("command -v pdftotext > /dev/null") == 0) {
    const auto txt = dir / "report.txt";
    ASSERT_EQ(std::system(("pdftotext -layout " + pdf.string() + " " + txt.string()).c_str()), 0);
    const std::string text = ReadAll(txt);
    EXPECT_NE(text.find("SOLUTIONS FOUND:"), std::string::npos) << text;
    // Text extraction approximates the spacing; the words and digits are exact.
    for (const char* part : {"MINIMA:", "SET # 1 :", "y= -2", "2.00000000000153"})
      EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    const auto fonts = dir / "fonts.txt";
    ASSERT_EQ(std::system(("pdffonts " + pdf.string() + " > " + fonts.string()).c_str()), 0);
    EXPECT_NE(ReadAll(fonts).find("Mono"), std::string::npos) << ReadAll(fonts);  // fixed pitch
  }
}

}  // namespace
}  // namespace quorvant
