// Renders the main window after a real Explore run (Himmelblau's function) and saves
// it as a PNG: window_screenshot OUT.png. Runs offscreen and types the problem with
// key events, as a user would; used for the README.
#define QTEST_QPA_MOUSE_HANDLING
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "ui/frm_zorvex.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  quorvant::Dimension dim;
  quorvant::frmZorvex window(dim);
  window.show();
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
  window.findChild<QListWidget*>("lstExtrema")->setFocus();
  QApplication::processEvents();
  return window.grab().save(argv[1]) ? 0 : 1;
}
