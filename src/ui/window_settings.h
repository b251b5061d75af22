// What the window remembers from one session to the next, through QSettings (the
// application's own settings file): its geometry, the folder of the last Open or Save
// As, and the problem files opened or saved last.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quorvant {

class WindowSettings {
 public:
  static constexpr int kMaxRecentFiles = 8;
  static constexpr const char* kGeometryKey = "window/geometry";
  static constexpr const char* kLastFolderKey = "files/lastFolder";
  static constexpr const char* kRecentFilesKey = "files/recent";

  QByteArray Geometry() const;
  void SetGeometry(const QByteArray& geometry);
  QString LastFolder() const;
  // Remembers the folder of `path`.
  void RememberFolderOf(const QString& path);
  // The most recent first, at most kMaxRecentFiles, each once.
  QStringList RecentFiles() const;
  void AddRecentFile(const QString& path);
};

}  // namespace quorvant
