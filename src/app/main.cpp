// Start-up: the application object, the problem state, the main window.
#include <QApplication>

#include "model/dimension.h"
#include "ui/frm_zorvex.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Quorvant");
  quorvant::Dimension dim;
  quorvant::frmZorvex window(dim);
  window.show();
  return QApplication::exec();
}
