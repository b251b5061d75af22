#include "ui/window_settings.h"

#include <QFileInfo>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <algorithm>

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

void WindowSettings::RemoveRecentFile(const QString& path) {
  QStringList files = RecentFiles();
  files.removeAll(path);
  QSettings().setValue(kRecentFilesKey, files);
}

void WindowSettings::ClearRecentFiles() {
  QSettings().remove(kRecentFilesKey);
}

QSize WindowSettings::WindowSize(const QString& name) const {
  return QSettings().value("windows/" + name + "/size").toSize();
}

void WindowSettings::SetWindowSize(const QString& name, const QSize& size) {
  QSettings().setValue("windows/" + name + "/size", size);
}

void PlaceSecondaryWindow(QWidget* window, const QWidget* anchor, QSize wanted,
                          const WindowSettings& settings) {
  const QSize remembered = settings.WindowSize(window->objectName());
  QSize size = remembered.isValid() ? remembered : wanted;
  const QScreen* screen = anchor ? anchor->screen() : window->screen();
  if (!screen) {
    window->resize(size);
    return;
  }
  const QRect available = screen->availableGeometry();
  // The frame the window manager adds is not known before the window is shown.
  const QSize frame(16, 40);
  size = size.boundedTo(available.size() - frame).expandedTo(window->minimumSizeHint());
  const QPoint centre = anchor ? anchor->frameGeometry().center() : available.center();
  const int x = std::clamp(centre.x() - size.width() / 2, available.left(),
                           std::max(available.left(), available.right() + 1 - size.width() - 16));
  const int y = std::clamp(centre.y() - size.height() / 2, available.top(),
                           std::max(available.top(), available.bottom() + 1 - size.height() - 40));
  window->resize(size);
  window->move(x, y);
}

}  // namespace quorvant
