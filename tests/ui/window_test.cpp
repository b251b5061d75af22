// The main window driven with real key and mouse events (offscreen): refusals, the
// interval editor, the constants, the menu states, and whole runs.
// Mouse events go through the window, as a real click does (the toolkit moves the
// focus on the way; the refusal must stop it there).
#define QTEST_QPA_MOUSE_HANDLING

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "ui/frm_zorvex.h"

namespace quorvant {
namespace {

class RecordingSink : public MessageSink {
 public:
  void ShowMessage(std::string_view title, std::string_view, MessageIcon) override {
    titles.emplace_back(title);
  }
  std::vector<std::string> titles;
};

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<frmZorvex>(dim, &sink);
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  void TearDown() override { window.reset(); }

  template <typename T>
  T* Find(const char* name) {
    T* w = window->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QLineEdit* Field(const char* name) { return Find<QLineEdit>(name); }
  QAction* Menu(const char* name) { return Find<QAction>(name); }

  // Puts `text` in the field the way a user does: focus, select all, type.
  void Type(QLineEdit* field, const QString& text) {
    field->setFocus();
    QApplication::processEvents();
    field->selectAll();
    if (text.isEmpty()) QTest::keyClick(field, Qt::Key_Delete);
    else QTest::keyClicks(field, text);
  }
  // Tries to leave the field with Tab; true when the focus moved.
  bool Leave(QLineEdit* field) {
    QTest::keyClick(field, Qt::Key_Tab);
    QApplication::processEvents();
    return QApplication::focusWidget() != field;
  }
  bool TypeAndLeave(const char* name, const QString& text) {
    QLineEdit* field = Field(name);
    Type(field, text);
    return Leave(field);
  }
  void DefineProblem(const QString& order, const QString& names) {
    ASSERT_TRUE(TypeAndLeave("txtOrder", order));
    QApplication::processEvents();
    ASSERT_TRUE(TypeAndLeave("txtVarNams", names));
  }
  QStringList Lines() {
    QStringList lines;
    auto* list = Find<QListWidget>("lstExtrema");
    for (int k = 0; k < list->count(); ++k) lines << list->item(k)->text();
    return lines;
  }
  bool RunAndWait(const char* button, int timeoutMs = 20000) {
    QSignalSpy done(window.get(), &frmZorvex::runFinished);
    QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton);
    return done.count() > 0 || done.wait(timeoutMs);
  }

  Dimension dim;
  RecordingSink sink;
  std::unique_ptr<frmZorvex> window;
};

struct OrderCase {
  const char* text;
  bool accepted;
  int32_t varCount;
};

class OrderField : public Window, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(OrderField, AcceptsOrRefuses) {
  EXPECT_EQ(TypeAndLeave("txtOrder", GetParam().text), GetParam().accepted) << GetParam().text;
  if (GetParam().accepted) EXPECT_EQ(dim.varCount, GetParam().varCount);
  EXPECT_EQ(Field("txtOrder")->isEnabled(), !GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(Texts, OrderField,
                         ::testing::Values(OrderCase{"2.5", true, 2}, OrderCase{"3.5", true, 4},
                                           OrderCase{"10", true, 10}, OrderCase{"3 x", true, 3},
                                           OrderCase{"10.4", false, 0}, OrderCase{"0", false, 0},
                                           OrderCase{"-3", false, 0}, OrderCase{"abc", false, 0},
                                           OrderCase{"", false, 0}, OrderCase{"0.4", false, 0}));

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
  EXPECT_EQ(dim.varNames, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Find<QLabel>("lblVar0")->text(), "a");
  EXPECT_EQ(Find<QLabel>("lblVar2")->text(), "c");
  EXPECT_EQ(Find<QLabel>("lblEquation")->text(), "f(a,b,c)");
  EXPECT_FALSE(Field("txtVarNams")->isEnabled());
}

TEST_F(Window, BlankAfterACommaIsPartOfTheName) {
  DefineProblem("2", "x, y");
  EXPECT_EQ(dim.varNames, (std::vector<std::string>{"x", " y"}));
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
  EXPECT_TRUE(TypeAndLeave("txtError", ".01"));
  EXPECT_TRUE(TypeAndLeave("txtMaxcy", "2.5"));
  EXPECT_EQ(Field("txtMaxcy")->text(), "2");
  EXPECT_EQ(dim.maxCycles, 2);
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

TEST_F(Window, TabOrderAfterLoadObjects) {
  DefineProblem("3", "x,y,z");
  // Every member's three fields, member after member; hidden ones are skipped, so
  // the order is checked on the chain itself.
  QWidget* w = Field("txtSubintervals0");
  const char* expected[] = {"txtLL1", "txtUL1", "txtSubintervals1", "txtLL2", "txtUL2",
                            "txtSubintervals2"};
  for (const char* name : expected) {
    w = w->nextInFocusChain();
    while (!qobject_cast<QLineEdit*>(w)) w = w->nextInFocusChain();
    EXPECT_EQ(w->objectName().toStdString(), name);
  }
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
  EXPECT_EQ(dim.constCount, 2);
  EXPECT_EQ(dim.constants[1], "a=5");
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
  EXPECT_EQ(dim.constCount, 2);
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
  EXPECT_EQ(dim.constCount, 101);
  EXPECT_EQ(dim.constants[100], "c100=100");
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
  EXPECT_EQ(dim.randomTrials, 0);
  EXPECT_FALSE(dim.randomMode);
}

TEST_F(Window, StopDuringALongRun) {
  DefineProblem("2", "x,y");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "Sin(x)*Cos(y)"));
  ASSERT_TRUE(TypeAndLeave("txtSubintervals0", "3000"));
  ASSERT_TRUE(TypeAndLeave("txtUL0", "1000"));
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
  EXPECT_FALSE(Find<QLabel>("lblExtrema")->text().isEmpty());
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

}  // namespace
}  // namespace quorvant

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
