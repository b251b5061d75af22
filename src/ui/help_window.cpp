#include "ui/help_window.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>

namespace quorvant {

// Beside the program (a build folder), or where an installation puts shared data
// (<prefix>/share/quorvant/help for <prefix>/bin/quorvant).
QString HelpWindow::DefaultFolder() {
  const QDir programDir(QCoreApplication::applicationDirPath());
  const QString beside = programDir.filePath("help");
  const QString installed = QDir::cleanPath(programDir.filePath("../share/quorvant/help"));
  if (!QFileInfo::exists(QDir(beside).filePath("index.html")) &&
      QFileInfo::exists(QDir(installed).filePath("index.html")))
    return installed;
  return beside;
}

HelpWindow::HelpWindow(const QString& folder, QWidget* parent) : QMainWindow(parent) {
  setObjectName("HelpWindow");
  setWindowTitle("Quorvant Help");
  setAttribute(Qt::WA_DeleteOnClose);
  browser_ = new QTextBrowser;
  browser_->setObjectName("helpBrowser");
  browser_->setOpenExternalLinks(true);
  setCentralWidget(browser_);
  QToolBar* bar = addToolBar("Navigation");
  QAction* back = bar->addAction("Back", browser_, &QTextBrowser::backward);
  QAction* forward = bar->addAction("Forward", browser_, &QTextBrowser::forward);
  bar->addAction("Contents", browser_, &QTextBrowser::home);
  back->setEnabled(false);
  forward->setEnabled(false);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);

  const QString start = QDir(folder).filePath("index.html");
  found_ = QFileInfo::exists(start);
  if (found_) {
    browser_->setSearchPaths({folder});
    browser_->setSource(QUrl::fromLocalFile(start));
  } else {
    browser_->setHtml(
        "<h2>The help pages were not found</h2>"
        "<p>Quorvant looked for its help pages in</p><p><code>" +
        QDir::toNativeSeparators(folder).toHtmlEscaped() +
        "</code></p><p>but found no <code>index.html</code> there. The pages are installed "
        "with the program; reinstall it, or run it from its build folder, where the build "
        "copies them beside the program.</p>");
  }
  resize(760, 620);
}

}  // namespace quorvant
