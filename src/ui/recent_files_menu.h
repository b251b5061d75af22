// File > Recent Files: the problem files opened or saved last, most recent first, each
// named with its folder as tooltip, and Clear. A file chosen that is gone leaves the
// list, and the user hears of it.
#pragma once

#include <QMenu>
#include <QString>
#include <functional>

namespace quorvant {

class WindowSettings;

class RecentFilesMenu : public QMenu {
  Q_OBJECT
 public:
  // `open` opens a file chosen that still exists; `gone` tells the user of one that
  // does not.
  RecentFilesMenu(WindowSettings& settings, std::function<void(const QString&)> open,
                  std::function<void(const QString&)> gone, QWidget* parent = nullptr);
  // Lists the files again; `allowed`: Open may be used now.
  void Update(bool allowed);
  // Remembers `path` as opened or saved last.
  void Add(const QString& path, bool allowed);

 private:
  void Choose(const QString& path);

  WindowSettings& settings_;
  std::function<void(const QString&)> open_;
  std::function<void(const QString&)> gone_;
  bool allowed_ = false;
};

}  // namespace quorvant
