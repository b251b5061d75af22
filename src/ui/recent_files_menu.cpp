#include "ui/recent_files_menu.h"

#include <QDir>
#include <QFileInfo>

#include "ui/window_settings.h"

namespace quorvant {

RecentFilesMenu::RecentFilesMenu(WindowSettings& settings, std::function<void(const QString&)> open,
                                 std::function<void(const QString&)> gone, QWidget* parent)
    : QMenu("&Recent Files", parent),
      settings_(settings),
      open_(std::move(open)),
      gone_(std::move(gone)) {
  setObjectName("mnuRecent");
  setToolTipsVisible(true);
}

void RecentFilesMenu::Add(const QString& path, bool allowed) {
  settings_.AddRecentFile(path);
  Update(allowed);
}

void RecentFilesMenu::Update(bool allowed) {
  allowed_ = allowed;
  const QStringList files = settings_.RecentFiles();
  clear();
  for (int k = 0; k < files.size(); ++k) {
    const QString& path = files[k];
    QAction* entry =
        addAction(QString("&%1 %2").arg(k + 1).arg(QFileInfo(path).fileName().replace('&', "&&")));
    // The name says which file; the tooltip says where it is.
    entry->setToolTip(QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
    entry->setData(path);
    connect(entry, &QAction::triggered, this, [this, path] { Choose(path); });
  }
  if (!files.isEmpty()) {
    addSeparator();
    QAction* clearAll = addAction("&Clear Recent Files");
    clearAll->setObjectName("mnuClearRecent");
    connect(clearAll, &QAction::triggered, this, [this] {
      settings_.ClearRecentFiles();
      Update(allowed_);
    });
  }
  setEnabled(allowed && !files.isEmpty());
}

void RecentFilesMenu::Choose(const QString& path) {
  if (!allowed_) return;
  if (!QFileInfo::exists(path)) {
    settings_.RemoveRecentFile(path);
    Update(allowed_);
    gone_("\"" + QDir::toNativeSeparators(path) +
          "\" no longer exists; it is removed from Recent Files.");
    return;
  }
  open_(path);
}

}  // namespace quorvant
