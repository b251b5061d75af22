// The help window: the HTML help pages installed beside the program, with back,
// forward and links. When the pages are missing it says where it looked.
#pragma once

#include <QMainWindow>
#include <QString>

class QTextBrowser;

namespace quorvant {

class HelpWindow : public QMainWindow {
  Q_OBJECT
 public:
  // `folder`: where the pages are (its index.html is the start page).
  explicit HelpWindow(const QString& folder, QWidget* parent = nullptr);
  QTextBrowser* browser() const { return browser_; }
  bool pagesFound() const { return found_; }
  // The folder beside the program: <program folder>/help.
  static QString DefaultFolder();

 private:
  QTextBrowser* browser_;
  bool found_ = false;
};

}  // namespace quorvant
