// Renders the program's windows offscreen and saves them as PNG files for the
// README: window_screenshot OUT.png (the main window after exploring Himmelblau's
// function, typed with key events as a user would), window_screenshot --about OUT.png,
// window_screenshot --help OUT.png.
#define QTEST_QPA_MOUSE_HANDLING
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "ui/frm_zorvex.h"

int main(int argc, char** argv) {
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
    auto* field = window.findChild<QLineEdit*>(name);
    field->setFocus();
    QApplication::processEvents();
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Tab);
    QApplication::processEvents();
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
