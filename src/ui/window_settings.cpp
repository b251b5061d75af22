#include "ui/window_settings.h"

#include <QFileInfo>
#include <QSettings>

namespace quorvant {

QByteArray WindowSettings::Geometry() const {
  return QSettings().value(kGeometryKey).toByteArray();
}

void WindowSettings::SetGeometry(const QByteArray& geometry) {
  QSettings().setValue(kGeometryKey, geometry);
}

QString WindowSettings::LastFolder() const {
  return QSettings().value(kLastFolderKey).toString();
}

void WindowSettings::RememberFolderOf(const QString& path) {
  if (path.isEmpty()) return;
  QSettings().setValue(kLastFolderKey, QFileInfo(path).absolutePath());
}

QStringList WindowSettings::RecentFiles() const {
  QStringList files = QSettings().value(kRecentFilesKey).toStringList();
  files.removeAll(QString());
  files.removeDuplicates();
  while (files.size() > kMaxRecentFiles) files.removeLast();
  return files;
}

void WindowSettings::AddRecentFile(const QString& path) {
  if (path.isEmpty()) return;
  const QString absolute = QFileInfo(path).absoluteFilePath();
  QStringList files = RecentFiles();
  files.removeAll(absolute);
  files.prepend(absolute);
  while (files.size() > kMaxRecentFiles) files.removeLast();
  QSettings().setValue(kRecentFilesKey, files);
}

}  // namespace quorvant
