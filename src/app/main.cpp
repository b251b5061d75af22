// The program: the application object, then the start-up of SubMain.
#include <QApplication>
#include <QMessageBox>

#include "app/decimal_point.h"
#include "app/sub_main.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Quorvant");
  // What the window remembers (geometry, last folder, recent files) goes to
  // ~/.config/Quorvant/Quorvant.conf.
  QApplication::setOrganizationName("Quorvant");
  QApplication::setQuitOnLastWindowClosed(false);  // the main window's closing ends it
  quorvant::ProcessLocale locale;
  quorvant::SubMain start(locale, [](const QString& title, const QString& text) {
    QString shown = text;
    shown.replace('\r', '\n');
    const auto button = QMessageBox::critical(
        nullptr, title, shown, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    return button == QMessageBox::Yes  ? quorvant::Answer::Yes
           : button == QMessageBox::No ? quorvant::Answer::No
                                       : quorvant::Answer::Cancel;
  });
  if (!start.Start()) return 0;
  // A problem file named on the command line (a double-click in a file manager) is
  // opened as File > Open would open it.
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() > 1) start.window()->OpenNamedFile(arguments.at(1));
  return QApplication::exec();
}
