// What the window remembers from one session to the next, through QSettings (the
// application's own settings file): its geometry, the folder of the last Open or Save
// As, and the problem files opened or saved last.
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

class QWidget;

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
  void RemoveRecentFile(const QString& path);
  void ClearRecentFiles();
  // The size a secondary window (Plot, Help, About) had when it was last closed, under
  // its object name; invalid when none is remembered.
  QSize WindowSize(const QString& name) const;
  void SetWindowSize(const QString& name, const QSize& size);
};

// Places a secondary window before it is first shown: its remembered size (or `wanted`),
// no larger than the available area of the screen `anchor` is on (with room for the
// frame the window manager adds), centred on `anchor` and inside that area.
void PlaceSecondaryWindow(QWidget* window, const QWidget* anchor, QSize wanted,
                          const WindowSettings& settings);

}  // namespace quorvant
