// The window as a desktop program: shortcuts and menu letters, the focus after a run,
// hints that do not trap, remembered geometry, folder and recent files, drag and drop,
// long labels, the start size, message boxes that say why, and About.
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPrinter>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QUrl>

#include "ui/elided_label.h"
#include "ui/frm_about.h"
#include "ui/help_window.h"
#include "ui/listing_view.h"
#include "ui/window_settings.h"
#include "window_fixture.h"

namespace quorvant {
namespace {

using uitest::DataFile;
using uitest::Files;
using uitest::ReadAll;
using uitest::TempCopy;
using uitest::Window;
using Answer = frmZorvex::UnsavedAnswer;

// --- shortcuts and menu letters ------------------------------------------------

struct ShortcutCase {
  const char* name;
  const char* action;
  QKeyCombination keys;
};

void PrintTo(const ShortcutCase& c, std::ostream* os) {
  *os << c.action << " " << QKeySequence(c.keys).toString().toStdString();
}

class Shortcut : public Files, public ::testing::WithParamInterface<ShortcutCase> {};

TEST_P(Shortcut, TriggersItsCommand) {
  DefineProblem("1", "x");  // every command is available now
  window->SetUnsavedPrompt([](bool) { return Answer::Cancel; });
  window->SetPrinterSetup([](QPrinter&) { return false; });
  window->SetHelpFolder("/nonexistent");
  window->SetLauncher([](const QString&, const QStringList&) { return true; });
  QAction* action = Menu(GetParam().action);
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->shortcut(), QKeySequence(GetParam().keys));
  QSignalSpy triggered(action, &QAction::triggered);
  QTest::keyClick(QApplication::focusWidget(), GetParam().keys.key(),
                  GetParam().keys.keyboardModifiers());
  EXPECT_EQ(triggered.count(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, Shortcut,
    ::testing::Values(ShortcutCase{"Save", "mnuSave", Qt::CTRL | Qt::Key_S},
                      ShortcutCase{"SaveAs", "mnuSaveAs", Qt::CTRL | Qt::SHIFT | Qt::Key_S},
                      ShortcutCase{"Print", "mnuPrint", Qt::CTRL | Qt::Key_P},
                      ShortcutCase{"Help", "mnuHelp", QKeyCombination(Qt::Key_F1)},
                      ShortcutCase{"Quit", "mnuQuit", Qt::CTRL | Qt::Key_Q},
                      ShortcutCase{"New", "mnuNew", Qt::CTRL | Qt::Key_N}),
    [](const ::testing::TestParamInfo<ShortcutCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(Files, CtrlOOpensAsFileOpenDoes) {
  openName = QString::fromStdString(DataFile("quad2_bowl.saved.zvx").string());
  QTest::keyClick(Field("txtOrder"), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(window->windowState(), frmZorvex::WindowState::ProblemDefined);
}

TEST_F(Window, AltFOpensTheFileMenuWhichEndsWithQuit) {
  QMenu* file = window->findChild<QMenu*>("mnuFile");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->title(), "&File");
  QTest::keyClick(Field("txtOrder"), Qt::Key_F, Qt::AltModifier);
  QApplication::processEvents();
  EXPECT_EQ(QApplication::activePopupWidget(), file);
  file->close();
  const QList<QAction*> items = file->actions();
  ASSERT_GE(items.size(), 2);
  EXPECT_EQ(items.back()->objectName(), "mnuQuit");
  EXPECT_TRUE(items[items.size() - 2]->isSeparator());
  // Every menu command has a letter of its own.
  QStringList letters;
  for (QAction* a : window->menuBar()->actions()) {
    EXPECT_TRUE(a->text().contains('&')) << a->text().toStdString();
    letters << a->text().mid(a->text().indexOf('&') + 1, 1).toLower();
  }
  letters.removeDuplicates();
  EXPECT_EQ(letters.size(), window->menuBar()->actions().size());
}

// Alt and a letter open what the letter marks; a letter no menu has (About's before the
// problem is given) types nothing into the field that has the focus.
TEST_F(Window, AltAndALetterOpensWhatItMarksAndNeverTypesIntoAField) {
  QLineEdit* error = Field("txtError");
  Type(error, ".02");
  error->selectAll();
  QTest::keyClick(error, Qt::Key_A, Qt::AltModifier);
  EXPECT_EQ(error->text(), ".02");
  EXPECT_EQ(window->aboutWindow(), nullptr);
  EXPECT_TRUE(Leave(error));
  DefineProblem("1", "x");
  window->listingView()->setFocus();
  QTest::keyClick(window->listingView(), Qt::Key_A, Qt::AltModifier);
  ASSERT_NE(window->aboutWindow(), nullptr);
  EXPECT_TRUE(window->aboutWindow()->isVisible());
}

// One problem per window: File > New starts the program again, which opens a new, empty
// window; this one keeps its problem.
TEST_F(Window, FileNewStartsTheProgramAgain) {
  QStringList started;
  bool ok = true;
  window->SetLauncher([&](const QString& program, const QStringList& arguments) {
    started << program << arguments;
    return ok;
  });
  DefineProblem("1", "x");
  Menu("mnuNew")->trigger();
  EXPECT_EQ(started, QStringList{QCoreApplication::applicationFilePath()});
  EXPECT_EQ(window->windowState(), frmZorvex::WindowState::ProblemDefined);
  EXPECT_TRUE(sink.texts.empty());
  ok = false;
  Menu("mnuNew")->trigger();
  ASSERT_EQ(sink.texts.size(), 1u);
  EXPECT_NE(sink.texts[0].find("could not be started"), std::string::npos) << sink.texts[0];
}

TEST_F(Window, QuitClosesTheWindow) {
  QSignalSpy unloading(window.get(), &frmZorvex::unloading);
  Menu("mnuQuit")->trigger();
  EXPECT_EQ(unloading.count(), 1);
  EXPECT_FALSE(window->isVisible());
}

// --- the focus -----------------------------------------------------------------

TEST_F(Window, AfterARunTheFocusIsBackOnTheCommandThatStartedIt) {
  DefineProblem("2", "x,y");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "(x-1)^2+(y+2)^2"));
  auto* explore = Find<QPushButton>("cmdExplore");
  explore->setFocus();
  QSignalSpy done(window.get(), &frmZorvex::runFinished);
  QTest::keyClick(explore, Qt::Key_Space);
  ASSERT_TRUE(done.count() > 0 || done.wait(20000));
  EXPECT_EQ(QApplication::focusWidget(), explore);
  // Space again explores again; it does not tick "Show additional info".
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  ASSERT_TRUE(done.count() > 1 || done.wait(20000));
  EXPECT_FALSE(Find<QCheckBox>("chkShowPivots")->isChecked());
  EXPECT_EQ(QApplication::focusWidget(), explore);
  ASSERT_TRUE(RunAndWait("cmdRandom"));
  EXPECT_EQ(QApplication::focusWidget(), Find<QPushButton>("cmdRandom"));
}

TEST_F(Window, TheHintToEnterTheFunctionDoesNotTrapTheUser) {
  DefineProblem("2", "x,y");
  QTest::mouseClick(Find<QPushButton>("cmdExplore"), Qt::LeftButton);
  EXPECT_EQ(window->statusBar()->currentMessage(), "Enter the function first.");
  EXPECT_FALSE(window->runInProgress());
  EXPECT_NE(QApplication::focusWidget(), Field("txtEquation"));
  // Other controls still act.
  QTest::mouseClick(Find<QPushButton>("cmdNextLim"), Qt::LeftButton);
  EXPECT_EQ(QApplication::focusWidget(), Field("txtLL1"));
}

// --- what the window remembers -------------------------------------------------

TEST_F(Files, RecentFilesAreRememberedAndOpenLikeOpen) {
  const auto first = TempCopy(DataFile("quad2_bowl.saved.zvx"), "recent-a.zvx");
  openName = QString::fromStdString(first.string());
  window->mnuOpen_Click();
  ASSERT_EQ(window->problemPath(), first.string());
  EXPECT_EQ(window->recentFiles().value(0), QString::fromStdString(first.string()));
  EXPECT_EQ(QSettings().value(WindowSettings::kLastFolderKey).toString(),
            QString::fromStdString(first.parent_path().string()));
  // Open is not allowed once a problem is given: the menu is too.
  EXPECT_FALSE(window->recentFilesMenu()->isEnabled());

  // The next window lists the file and opens it from the menu.
  window.reset();
  Window::SetUp();
  QMenu* recent = window->recentFilesMenu();
  ASSERT_TRUE(recent->isEnabled());
  ASSERT_FALSE(recent->actions().isEmpty());
  EXPECT_EQ(recent->actions().front()->text(), "&1 recent-a.zvx");
  // The tooltip says where the file is.
  EXPECT_EQ(recent->actions().front()->toolTip(),
            QString::fromStdString(first.parent_path().string()));
  recent->actions().front()->trigger();
  EXPECT_EQ(window->problemPath(), first.string());
  EXPECT_EQ(Lines().size(), 5);

  // A file that is gone leaves the list, saying so; Clear empties it.
  const auto gone = TempCopy(DataFile("quad2_bowl.saved.zvx"), "recent-gone.zvx");
  WindowSettings().AddRecentFile(QString::fromStdString(gone.string()));
  std::filesystem::remove(gone);
  window.reset();
  Window::SetUp();
  ASSERT_EQ(window->recentFiles().value(0), QString::fromStdString(gone.string()));
  window->recentFilesMenu()->actions().front()->trigger();
  EXPECT_FALSE(window->recentFiles().contains(QString::fromStdString(gone.string())));
  ASSERT_EQ(sink.texts.size(), 1u);
  EXPECT_NE(sink.texts[0].find("no longer exists"), std::string::npos) << sink.texts[0];
  EXPECT_EQ(window->windowState(), frmZorvex::WindowState::New);
  Menu("mnuClearRecent")->trigger();
  EXPECT_TRUE(window->recentFiles().isEmpty());
  EXPECT_FALSE(window->recentFilesMenu()->isEnabled());
}

TEST(WindowSettings, KeepsTheEightLatestFilesEachOnce) {
  WindowSettings settings;
  QSettings().remove(WindowSettings::kRecentFilesKey);
  for (int k = 0; k < 10; ++k) settings.AddRecentFile(QString("/tmp/file%1.zvx").arg(k));
  settings.AddRecentFile("/tmp/file5.zvx");
  const QStringList files = settings.RecentFiles();
  ASSERT_EQ(files.size(), WindowSettings::kMaxRecentFiles);
  EXPECT_EQ(files[0], "/tmp/file5.zvx");
  EXPECT_EQ(files[1], "/tmp/file9.zvx");
  EXPECT_EQ(files.count("/tmp/file5.zvx"), 1);
  EXPECT_FALSE(files.contains("/tmp/file1.zvx"));
}

TEST_F(Window, GeometryIsRememberedAtClose) {
  // A secondary window remembers its size when it closes.
  window->SetHelpFolder("/nonexistent");
  window->mnuHelp_Click();
  window->helpWindow()->resize(500, 410);
  window->helpWindow()->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  window->mnuHelp_Click();
  EXPECT_EQ(window->helpWindow()->size(), QSize(500, 410));
  window->resize(760, 530);
  window->move(40, 30);
  QApplication::processEvents();
  ASSERT_TRUE(window->close());
  EXPECT_FALSE(QSettings().value(WindowSettings::kGeometryKey).toByteArray().isEmpty());
  frmZorvex next(&sink);
  EXPECT_EQ(next.size(), QSize(760, 530));
}

// --- drag and drop -------------------------------------------------------------

struct Dropped {
  bool entered = false;
  bool dropped = false;
};

// A file dragged onto `target` and dropped there, as the toolkit delivers it.
Dropped DragAndDrop(QWidget* target, const QString& path) {
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(path)});
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  Dropped result;
  result.entered = enter.isAccepted();
  QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                  Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  result.dropped = drop.isAccepted();
  return result;
}

TEST_F(Files, ADroppedProblemFileOpensAsOpenDoes) {
  const QString path = QString::fromStdString(DataFile("himmelblau.saved.zvx").string());
  const Dropped d = DragAndDrop(window.get(), path);
  EXPECT_TRUE(d.entered);
  EXPECT_TRUE(d.dropped);
  EXPECT_EQ(window->windowState(), frmZorvex::WindowState::ProblemDefined);
  EXPECT_EQ(Lines().size(), 25);
  EXPECT_EQ(dialogs, 0);
  // Open is no longer allowed: another drop is refused and changes nothing.
  const Dropped again =
      DragAndDrop(window.get(), QString::fromStdString(DataFile("quad2_bowl.saved.zvx").string()));
  EXPECT_FALSE(again.entered);
  EXPECT_FALSE(again.dropped);
  EXPECT_EQ(window->problemPath(), path.toStdString());
}

TEST_F(Files, AFileDroppedOnAFieldIsForTheWindowNotTextForTheField) {
  const QString path = QString::fromStdString(DataFile("quad2_bowl.saved.zvx").string());
  const Dropped d = DragAndDrop(Field("txtEquation"), path);
  EXPECT_TRUE(d.dropped);
  EXPECT_EQ(window->problemPath(), path.toStdString());
  EXPECT_EQ(Field("txtEquation")->text(), "(x-1)^2+(y+2)^2");
}

TEST_F(Files, ADropIsRefusedWhereOpenIs) {
  ASSERT_TRUE(TypeAndLeave("txtOrder", "2"));  // Open is disabled from here on
  const Dropped d =
      DragAndDrop(window.get(), QString::fromStdString(DataFile("quad2_bowl.saved.zvx").string()));
  EXPECT_FALSE(d.entered);
  EXPECT_FALSE(d.dropped);
  EXPECT_TRUE(window->problemPath().empty());
  EXPECT_EQ(window->windowState(), frmZorvex::WindowState::CountGiven);
}

// --- layout --------------------------------------------------------------------

TEST_F(Window, LongNamesAreElidedWithTheWholeTextAsTooltipAndNeverWidenTheWindow) {
  const int width = window->width();
  const int minimum = window->minimumSizeHint().width();
  QStringList names;
  for (int k = 0; k < 10; ++k) names << QString("a_rather_long_variable_name_%1").arg(k);
  names[0] = QString(301, 'v');
  DefineProblem("10", names.join(','));
  QApplication::processEvents();
  auto* equation = Find<ElidedLabel>("lblEquation");
  EXPECT_EQ(equation->text(), "f(" + names.join(',') + ")");
  EXPECT_TRUE(equation->elided());
  EXPECT_TRUE(equation->shownText().endsWith(QString::fromUtf8("…")))
      << equation->shownText().toStdString();
  equation->repaint();
  EXPECT_EQ(equation->toolTip(), equation->text());
  auto* name = Find<ElidedLabel>("lblVar0");
  name->repaint();
  EXPECT_TRUE(name->elided());
  EXPECT_EQ(name->toolTip(), names[0]);
  EXPECT_EQ(window->width(), width);
  EXPECT_EQ(window->minimumSizeHint().width(), minimum);
  // So does a status text (a script error's message, say).
  auto* status = qobject_cast<ElidingStatusBar*>(window->statusBar());
  ASSERT_NE(status, nullptr);
  const QString message = "The run was not started. " + QString(400, 'e');
  status->showMessage(message);
  EXPECT_EQ(status->currentMessage(), message);
  EXPECT_TRUE(status->shownText().endsWith(QString::fromUtf8("…")))
      << status->shownText().toStdString();
  EXPECT_EQ(status->toolTip(), message);
  EXPECT_EQ(window->width(), width);
  status->showMessage("Saved");
  EXPECT_TRUE(status->toolTip().isEmpty());
  // A short name fits: no tooltip.
  auto* second = Find<ElidedLabel>("lblVar1");
  QTest::mouseClick(Find<QPushButton>("cmdNextLim"), Qt::LeftButton);
  second->repaint();
  EXPECT_FALSE(second->elided());
  EXPECT_TRUE(second->toolTip().isEmpty());
}

TEST_F(Window, TheLeftColumnStretchesWithTheWindow) {
  window->resize(800, 560);
  QApplication::processEvents();
  const int narrow = Field("txtEquation")->width();
  window->resize(1200, 560);
  QApplication::processEvents();
  EXPECT_GT(Field("txtEquation")->width(), narrow + 100);
}

TEST_F(Window, AtTheMinimumSizeNothingIsClipped) {
  DefineProblem("2", "x,y");
  window->resize(1, 1);
  QApplication::processEvents();
  EXPECT_GE(window->width(), window->minimumSizeHint().width());
  EXPECT_GE(window->height(), window->minimumSizeHint().height());
  for (QWidget* w : window->findChildren<QWidget*>()) {
    // Elided labels may be narrower than their text by design; a combo box sizes its
    // own editor.
    if (!w->isVisible() || qobject_cast<ElidedLabel*>(w) ||
        qobject_cast<QComboBox*>(w->parentWidget()))
      continue;
    const QSize least = w->minimumSizeHint();
    if (!least.isValid()) continue;
    EXPECT_GE(w->width(), least.width())
        << w->metaObject()->className() << " " << w->objectName().toStdString();
    EXPECT_GE(w->height(), least.height())
        << w->metaObject()->className() << " " << w->objectName().toStdString();
  }
}

// The start size on a given screen: this test program is started again with the
// offscreen platform given that screen, and the child checks the window it opens.
struct ScreenCase {
  const char* name;
  int width, height;
  const char* scale;
};

void PrintTo(const ScreenCase& c, std::ostream* os) {
  *os << c.width << "x" << c.height << " at " << c.scale;
}

class StartSize : public ::testing::TestWithParam<ScreenCase> {};

TEST_P(StartSize, FitsTheAvailableArea) {
#if defined(__SANITIZE_THREAD__)
  // The child is started with fork, which ThreadSanitizer refuses in a process that
  // has threads; the layout does not depend on it, the other builds check it.
  GTEST_SKIP() << "ThreadSanitizer cannot start a child process from here";
#endif
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString config = dir.filePath("screen.json");
  {
    std::ofstream out(config.toStdString());
    out << "{\"screens\": [{\"name\": \"s\", \"x\": 0, \"y\": 0, \"width\": " << GetParam().width
        << ", \"height\": " << GetParam().height
        << ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}";
  }
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + config);
  env.insert("QT_SCALE_FACTOR", GetParam().scale);
  env.insert("QUORVANT_START_SIZE_CHILD", "1");
  child.setProcessEnvironment(env);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QCoreApplication::applicationFilePath(),
              {"--gtest_filter=StartSizeChild.WindowFitsItsScreen"});
  ASSERT_TRUE(child.waitForFinished(60000));
  const QString output = QString::fromLocal8Bit(child.readAll());
  EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
  EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Screens, StartSize,
                         ::testing::Values(ScreenCase{"Laptop1366x768", 1366, 768, "1"},
                                           ScreenCase{"Laptop1366x768At150", 1366, 768, "1.5"},
                                           ScreenCase{"Screen1400x900At150", 1400, 900, "1.5"},
                                           ScreenCase{"FullHdAt150", 1920, 1080, "1.5"}),
                         [](const ::testing::TestParamInfo<ScreenCase>& info) {
                           return std::string(info.param.name);
                         });

// Run by StartSize in a child with a screen of its own: registered only there, so it is
// neither listed nor skipped in other runs.
class StartSizeChild : public ::testing::Test {
 public:
  void TestBody() override;
};

[[maybe_unused]] const bool kStartSizeChildRegistered =
    !qEnvironmentVariableIsEmpty("QUORVANT_START_SIZE_CHILD") &&
    ::testing::RegisterTest("StartSizeChild", "WindowFitsItsScreen", nullptr, nullptr, __FILE__,
                            __LINE__, []() -> ::testing::Test* { return new StartSizeChild; });

void StartSizeChild::TestBody() {
  QSettings().remove(WindowSettings::kGeometryKey);
  frmZorvex window;
  window.show();
  QApplication::processEvents();
  const QRect available = window.screen()->availableGeometry();
  // Room for a title bar and borders, which the window manager adds around it.
  EXPECT_LE(window.width() + 16, available.width());
  EXPECT_LE(window.height() + 40, available.height());
  EXPECT_TRUE(available.contains(window.geometry()))
      << window.geometry().x() << "," << window.geometry().y();
  EXPECT_GE(window.width(), window.minimumSizeHint().width());
  EXPECT_GE(window.height(), window.minimumSizeHint().height());
  // So do the Plot, Help and About windows, each centred on the main window.
  for (const char* key : {"windows/PlotWindow/size", "windows/HelpWindow/size"})
    QSettings().remove(key);
  ASSERT_TRUE(window.OpenNamedFile(QUORVANT_EXAMPLES "/saddle.zvx"));
  window.mnuPlot_Click();
  window.SetHelpFolder("/nonexistent");
  window.mnuHelp_Click();
  window.mnuAbout_Click();
  QApplication::processEvents();
  for (QWidget* shown : std::initializer_list<QWidget*>{window.plotWindow(), window.helpWindow(),
                                                        window.aboutWindow()}) {
    ASSERT_NE(shown, nullptr);
    const std::string name = shown->objectName().toStdString();
    EXPECT_LE(shown->width() + 16, available.width()) << name;
    EXPECT_LE(shown->height() + 40, available.height()) << name;
    EXPECT_TRUE(available.contains(shown->geometry())) << name;
    EXPECT_TRUE(window.geometry().contains(shown->geometry().center())) << name;
  }
  window.SetUnsavedPrompt([](bool) { return frmZorvex::UnsavedAnswer::Discard; });
}

// --- message boxes ---------------------------------------------------------------

struct IconCase {
  const char* name;
  MessageIcon icon;
  QMessageBox::Icon box;
};

void PrintTo(const IconCase& c, std::ostream* os) {
  *os << c.name;
}

class Icons : public ::testing::TestWithParam<IconCase> {};

TEST_P(Icons, EachKindOfMessageHasItsSign) {
  EXPECT_EQ(BoxIcon(GetParam().icon), GetParam().box);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Icons,
    ::testing::Values(IconCase{"Error", MessageIcon::Critical, QMessageBox::Critical},
                      IconCase{"Warning", MessageIcon::Exclamation, QMessageBox::Warning},
                      IconCase{"Information", MessageIcon::Information, QMessageBox::Information}),
    [](const ::testing::TestParamInfo<IconCase>& info) { return std::string(info.param.name); });

TEST_F(Files, SavingOntoAReadOnlyFileSaysSoWithTheWarningSign) {
  const auto copy = TempCopy(DataFile("quad2_bowl.zvx"), "read-only.zvx");
  openName = QString::fromStdString(copy.string());
  window->mnuOpen_Click();
  std::filesystem::permissions(copy, std::filesystem::perms::owner_read);
  window->mnuSave_Click();
  std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
  ASSERT_EQ(sink.texts.size(), 1u);
  EXPECT_NE(sink.texts[0].find("read-only"), std::string::npos) << sink.texts[0];
  EXPECT_EQ(sink.texts[0].find("No such file"), std::string::npos) << sink.texts[0];
  EXPECT_EQ(sink.icons[0], MessageIcon::Exclamation);
}

TEST_F(Files, AFileThatCannotBeReadSaysWhyWithTheWarningSign) {
  openName = "/nonexistent/folder/problem.zvx";
  window->mnuOpen_Click();
  ASSERT_EQ(sink.texts.size(), 1u);
  EXPECT_NE(sink.texts[0].find("/nonexistent/folder/problem.zvx"), std::string::npos)
      << sink.texts[0];
  EXPECT_EQ(sink.icons[0], MessageIcon::Exclamation);
}

// A formula the interpreter rejects while running: its message box, and the cursor at
// the place it names.
struct FormulaErrorCase {
  const char* name;
  const char* formula;
  int position;  // where the interpreter reports the error (characters)
};

void PrintTo(const FormulaErrorCase& c, std::ostream* os) {
  *os << c.formula;
}

class FormulaError : public Window, public ::testing::WithParamInterface<FormulaErrorCase> {};

TEST_P(FormulaError, PutsTheCursorWhereTheInterpreterReportedIt) {
  DefineProblem("1", "x");
  QLineEdit* equation = Field("txtEquation");
  equation->setFocus();
  equation->setText(QString::fromUtf8(GetParam().formula));  // typed keys are ASCII only
  ASSERT_TRUE(Leave(equation));
  ASSERT_TRUE(RunAndWait("cmdExplore"));
  QApplication::processEvents();
  EXPECT_EQ(sink.titles, std::vector<std::string>{"Error in Script Control"});
  EXPECT_EQ(QApplication::focusWidget(), Field("txtEquation"));
  EXPECT_EQ(Field("txtEquation")->cursorPosition(), GetParam().position);
  EXPECT_FALSE(Field("txtEquation")->hasSelectedText());
}

INSTANTIATE_TEST_SUITE_P(
    Formulas, FormulaError,
    // The interpreter reports a compile error where it is, a run-time error at the start
    // of the formula.
    ::testing::Values(FormulaErrorCase{"SyntaxErrorInside", "x * 2 + ) + 1", 8},
                      FormulaErrorCase{"SyntaxErrorAtTheEnd", "x * (2 + ", 9},
                      FormulaErrorCase{"AfterNonAsciiText", "\"\u00e9\u00e9\" + ) + x", 7},
                      FormulaErrorCase{"RunTimeError", "x * 2 + Foo(x)", 0}),
    [](const ::testing::TestParamInfo<FormulaErrorCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(Window, AnUpperLimitBelowTheLowerOneIsNotedAfterTheRun) {
  DefineProblem("2", "x,y");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "x*x+y*y"));
  ASSERT_TRUE(TypeAndLeave("txtLL0", "5"));
  ASSERT_TRUE(TypeAndLeave("txtUL0", "-5"));
  ASSERT_TRUE(RunAndWait("cmdExplore"));
  const QString note = window->statusBar()->currentMessage();
  EXPECT_TRUE(note.contains("The upper limit of x (-5) lies below its lower limit (5)."))
      << note.toStdString();
  EXPECT_FALSE(note.contains(" of y ")) << note.toStdString();
  // A box the right way round gives no such note.
  ASSERT_TRUE(TypeAndLeave("txtLL0", "-5"));
  ASSERT_TRUE(TypeAndLeave("txtUL0", "5"));
  ASSERT_TRUE(RunAndWait("cmdExplore"));
  EXPECT_FALSE(window->statusBar()->currentMessage().contains("lies below"));
}

// --- About and Help ----------------------------------------------------------------

TEST_F(Window, AboutShowsTheVersionAndTheQtVersionUnderTheName) {
  DefineProblem("1", "x");
  window->mnuAbout_Click();
  frmAbout* about = window->aboutWindow();
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->lines(), (QStringList{"", "", "", "Quorvant"}));
  // Its Close button and Esc close it.
  QPointer<frmAbout> watch = about;
  QTest::mouseClick(about->findChild<QPushButton*>("cmdAboutClose"), Qt::LeftButton);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(watch.isNull());
  window->mnuAbout_Click();
  watch = window->aboutWindow();
  QTest::keyClick(watch.data(), Qt::Key_Escape);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(watch.isNull());
  const QStringList versions = frmAbout::VersionLines();
  ASSERT_EQ(versions.size(), 2);
  EXPECT_TRUE(versions[0].startsWith("Version "));
  EXPECT_TRUE(versions[0].contains(QRegularExpression("^Version \\d+\\.\\d+\\.\\d+$")))
      << versions[0].toStdString();
  EXPECT_EQ(versions[1], QString("Qt ") + qVersion());
}

}  // namespace
}  // namespace quorvant
