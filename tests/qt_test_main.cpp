// main() of the test programs that drive widgets: an application object on the
// offscreen platform, then the tests.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  // Offscreen; a test that starts this program again may give the offscreen platform a
  // screen of its own (offscreen:configfile=...).
  if (!qEnvironmentVariable("QT_QPA_PLATFORM").startsWith("offscreen"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // What the window remembers goes into a settings file of this test program's own,
  // removed when it ends: never the user's, never another test program's.
  QTemporaryDir settings;
  if (!settings.isValid()) return 1;
  QCoreApplication::setOrganizationName("QuorvantTests");
  QCoreApplication::setApplicationName("Quorvant");
  QSettings::setDefaultFormat(QSettings::IniFormat);
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
