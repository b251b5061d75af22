// Pictures of the program's windows for the README.
//
// Offscreen: window_screenshot OUT.png (the main window after exploring Himmelblau's
// function, typed with key events as a user would), window_screenshot --about OUT.png,
// window_screenshot --help OUT.png.
//
// On a real display (tools/xvfb_screenshots.sh runs it under Xvfb with a window manager,
// so the title bars show): window_screenshot --tour PROBLEM.zvx OUTDIR opens the
// problem file, runs Random with "Show additional info" and saves the window with its
// title (OUTDIR/main-window.png), the question closing then asks
// (OUTDIR/close-prompt.png), and the Plot window (OUTDIR/himmelblau-plot.png).
//
// The README's pictures without any display: window_screenshot --readme PROBLEM.zvx OUTDIR
// opens the problem and runs Random with "Show additional info" (OUTDIR/main-window.png),
// shows the Stationary points table (OUTDIR/points-table.png) and the Plot window with its
// colour scale (OUTDIR/himmelblau-plot.png), and a run refused for a user constant the
// interpreter cannot execute, with the reason in the status bar (OUTDIR/refusal.png).
//
// Prove without any display: window_screenshot --prove PROBLEM.zvx OUTDIR opens the
// problem and proves its list of stationary points complete (OUTDIR/prove-window.png),
// then shows the Plot window with the proven points marked (OUTDIR/prove-plot.png).
#define QTEST_QPA_MOUSE_HANDLING
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <string>

#include "ui/frm_zorvex.h"
#include "ui/listing_model.h"
#include "ui/listing_view.h"
#include "ui/plot_window.h"
#include "window_driver.h"

namespace {

// The screen as it shows `window` now, its frame and title bar included (the window
// manager draws them), with `margin` pixels around it.
bool SaveFramed(QWidget* window, const QString& path, int margin = 0) {
  QApplication::processEvents();
  QTest::qWait(300);  // the window manager and the compositor settle
  const QRect frame = window->frameGeometry().adjusted(-margin, -margin, margin, margin);
  const QPixmap shot =
      window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  return shot.save(path);
}

int Fail(const char* what) {
  std::fprintf(stderr, "window_screenshot: %s\n", what);
  return 1;
}

// The interpreter's message box would wait for a click no one gives offscreen; the
// refusal the picture shows is the status bar's.
class NoMessages final : public quorvant::MessageSink {
 public:
  void ShowMessage(std::string_view, std::string_view, quorvant::MessageIcon) override {}
};

bool Grab(QWidget* window, const QString& path) {
  QApplication::processEvents();
  return window->grab().save(path);
}

// Opens the problem, runs 400 random trials with additional info and shows the middle
// of the listing, where trials meet saddles and minima; what went wrong, or null.
const char* OpenAndRunRandom(quorvant::frmZorvex& window, const QString& problem) {
  if (!window.OpenNamedFile(problem)) return "the problem file did not open";
  window.findChild<QLineEdit*>("txtRand")->setText("400");
  window.findChild<QCheckBox*>("chkShowPivots")->setChecked(true);
  QSignalSpy done(&window, &quorvant::frmZorvex::runFinished);
  window.cmdRandom_Click();
  if (!done.wait(60000)) return "the run did not end";
  quorvant::ListingView* listing = window.listingView();
  listing->scrollTo(window.listing()->index(window.listing()->rowCount() / 2),
                    QAbstractItemView::PositionAtTop);
  listing->setFocus();
  return nullptr;
}

int ReadmePictures(const QString& problem, const QString& out) {
  NoMessages messages;
  quorvant::frmZorvex window(&messages);
  window.resize(1040, 660);
  window.show();
  QApplication::setActiveWindow(&window);
  if (!QTest::qWaitForWindowActive(&window)) return Fail("the window did not show");
  if (const char* failed = OpenAndRunRandom(window, problem)) return Fail(failed);
  if (!Grab(&window, out + "/main-window.png")) return Fail("cannot save main-window.png");

  window.findChild<QTabWidget*>("tabResults")->setCurrentIndex(1);
  if (!Grab(&window, out + "/points-table.png")) return Fail("cannot save points-table.png");
  window.findChild<QTabWidget*>("tabResults")->setCurrentIndex(0);

  window.mnuPlot_Click();
  quorvant::PlotWindow* plot = window.plotWindow();
  if (!plot) return Fail("no Plot window");
  QSignalSpy rendered(plot, &quorvant::PlotWindow::rendered);
  plot->resize(860, 760);
  if (rendered.isEmpty() && !rendered.wait(20000)) return Fail("the plot was not drawn");
  if (!Grab(plot, out + "/himmelblau-plot.png")) return Fail("cannot save himmelblau-plot.png");
  plot->close();

  // A constant the interpreter cannot execute: the run is not started, and says why.
  auto* constant = window.findChild<QComboBox*>("cboConstants");
  constant->setFocus();
  QTest::keyClicks(constant->lineEdit(), "k=1/");
  QTest::keyClick(constant->lineEdit(), Qt::Key_Return);
  window.resize(900, 660);
  QTest::mouseClick(window.findChild<QPushButton*>("cmdExplore"), Qt::LeftButton);
  if (!Grab(&window, out + "/refusal.png")) return Fail("cannot save refusal.png");
  window.SetUnsavedPrompt([](bool) { return quorvant::frmZorvex::UnsavedAnswer::Discard; });
  window.close();
  return 0;
}

int ProvePictures(const QString& problem, const QString& out) {
  NoMessages messages;
  quorvant::frmZorvex window(&messages);
  window.resize(1120, 660);  // the verdict line whole
  window.show();
  QApplication::setActiveWindow(&window);
  if (!QTest::qWaitForWindowActive(&window)) return Fail("the window did not show");
  if (!window.OpenNamedFile(problem)) return Fail("the problem file did not open");
  QSignalSpy done(&window, &quorvant::frmZorvex::runFinished);
  window.mnuProve_Click();
  if (!done.wait(60000)) return Fail("the proof did not end");
  window.listingView()->setFocus();
  if (!Grab(&window, out + "/prove-window.png")) return Fail("cannot save prove-window.png");
  window.mnuPlot_Click();
  quorvant::PlotWindow* plot = window.plotWindow();
  if (!plot) return Fail("no Plot window");
  QSignalSpy rendered(plot, &quorvant::PlotWindow::rendered);
  plot->resize(860, 760);
  if (rendered.isEmpty() && !rendered.wait(20000)) return Fail("the plot was not drawn");
  if (!Grab(plot, out + "/prove-plot.png")) return Fail("cannot save prove-plot.png");
  plot->close();
  window.SetUnsavedPrompt([](bool) { return quorvant::frmZorvex::UnsavedAnswer::Discard; });
  window.close();
  return 0;
}

int Session(const QString& problem, const QString& out) {
  quorvant::frmZorvex window;
  window.resize(1040, 660);
  window.move(40, 30);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return Fail("the window did not show");
  if (const char* failed = OpenAndRunRandom(window, problem)) return Fail(failed);
  if (!SaveFramed(&window, out + "/main-window.png")) return Fail("cannot save main-window.png");

  // Closing asks about the unsaved results; the picture is taken while it asks, and
  // the question is cancelled.
  bool asked = false;
  QTimer::singleShot(800, [&] {
    QWidget* box = QApplication::activeModalWidget();
    if (!box) return;
    asked = SaveFramed(&window, out + "/close-prompt.png");
    if (auto* message = qobject_cast<QMessageBox*>(box))
      message->button(QMessageBox::Cancel)->click();
  });
  window.close();
  if (!asked) return Fail("closing did not ask");

  window.mnuPlot_Click();
  quorvant::PlotWindow* plot = window.plotWindow();
  if (!plot) return Fail("no Plot window");
  QSignalSpy rendered(plot, &quorvant::PlotWindow::rendered);
  plot->resize(860, 760);
  plot->move(120, 20);
  if (!QTest::qWaitForWindowExposed(plot)) return Fail("the Plot window did not show");
  if (rendered.isEmpty() && !rendered.wait(20000)) return Fail("the plot was not drawn");
  if (!SaveFramed(plot, out + "/himmelblau-plot.png"))
    return Fail("cannot save himmelblau-plot.png");
  window.SetUnsavedPrompt([](bool) { return quorvant::frmZorvex::UnsavedAnswer::Discard; });
  window.close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Read before the application object, which takes its own options out of argv.
  if (argc == 4 && (std::string(argv[1]) == "--readme" || std::string(argv[1]) == "--prove")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool prove = std::string(argv[1]) == "--prove";
    const QString problem = QString::fromLocal8Bit(argv[2]);
    const QString out = QString::fromLocal8Bit(argv[3]);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorvant screenshots");
    return prove ? ProvePictures(problem, out) : ReadmePictures(problem, out);
  }
  if (argc == 4 && std::string(argv[1]) == "--tour") {
    const QString problem = QString::fromLocal8Bit(argv[2]);
    const QString out = QString::fromLocal8Bit(argv[3]);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorvant screenshots");
    return Session(problem, out);
  }
  if (argc != 2 && argc != 3) return 2;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  quorvant::frmZorvex window;
  window.show();
  if (argc == 3) {
    const QString mode = argv[1];
    QWidget* shown = nullptr;
    if (mode == "--about") {
      window.mnuAbout_Click();
      shown = window.aboutWindow();
    } else if (mode == "--help") {
      window.mnuHelp_Click();
      shown = window.helpWindow();
    }
    if (!shown) return 2;
    QApplication::processEvents();
    return shown->grab().save(argv[2]) ? 0 : 1;
  }
  QApplication::setActiveWindow(&window);
  if (!QTest::qWaitForWindowActive(&window)) return 1;
  auto type = [&](const char* name, const QString& text) {
    quorvant::driver::TypeAndLeave(window, name, text);
  };
  type("txtOrder", "2");
  type("txtVarNams", "x,y");
  type("txtError", ".0001");
  type("txtMaxcy", "20");
  type("txtEquation", "(x*x+y-11)*(x*x+y-11)+(x+y*y-7)*(x+y*y-7)");
  for (const char* axis : {"0", "1"}) {
    type((QString("txtLL") + axis).toUtf8().constData(), "-5");
    type((QString("txtUL") + axis).toUtf8().constData(), "5");
    type((QString("txtSubintervals") + axis).toUtf8().constData(), "10");
    QTest::mouseClick(window.findChild<QPushButton*>("cmdNextLim"), Qt::LeftButton);
  }
  window.findChild<QCheckBox*>("chkShowPivots")->setChecked(true);
  QSignalSpy done(&window, &quorvant::frmZorvex::runFinished);
  QTest::mouseClick(window.findChild<QPushButton*>("cmdExplore"), Qt::LeftButton);
  if (!done.wait(20000)) return 1;
  window.listingView()->setFocus();
  QApplication::processEvents();
  return window.grab().save(argv[1]) ? 0 : 1;
}
