#include "ui/main_menus.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "ui/prove_run.h"

namespace quorvant {

void MainMenus::Build(QMenuBar* bar, QMenu* recent) {
  QMenu* file = bar->addMenu("&File");
  file->setObjectName("mnuFile");
  newFile = file->addAction("&New");
  newFile->setObjectName("mnuNew");
  newFile->setShortcut(QKeySequence("Ctrl+N"));
  newFile->setToolTip("Opens a new, empty window for another problem");
  open = file->addAction("&Open");
  open->setShortcut(QKeySequence("Ctrl+O"));
  file->addMenu(recent);
  file->addSeparator();
  save = file->addAction("&Save");
  save->setShortcut(QKeySequence("Ctrl+S"));
  saveAs = file->addAction("Save &As");
  saveAs->setShortcut(QKeySequence("Ctrl+Shift+S"));
  file->addSeparator();
  quit = file->addAction("&Quit");
  quit->setShortcut(QKeySequence("Ctrl+Q"));
  print = bar->addAction("&Print");
  print->setShortcut(QKeySequence("Ctrl+P"));
  plot = bar->addAction("P&lot");
  plot->setObjectName("mnuPlot");
  plot->setEnabled(false);
  // Beside Plot: the proof that the list of stationary points in the box is complete.
  prove = bar->addAction("Pro&ve");
  prove->setObjectName("mnuProve");
  prove->setEnabled(false);
  prove->setToolTip(ProveBuilt() ? "Proves that the list of stationary points in the search "
                                   "box is complete, or says which parts it could not decide"
                                 : ProveMissingReason());
  prove->setStatusTip(prove->toolTip());
  help = bar->addAction("&Help");
  help->setShortcut(QKeySequence(Qt::Key_F1));
  about = bar->addAction("&About");
  open->setObjectName("mnuOpen");
  save->setObjectName("mnuSave");
  saveAs->setObjectName("mnuSaveAs");
  quit->setObjectName("mnuQuit");
  print->setObjectName("mnuPrint");
  help->setObjectName("mnuHelp");
  about->setObjectName("mnuAbout");
  save->setEnabled(false);
  saveAs->setEnabled(false);
  print->setVisible(false);
  about->setVisible(false);
}

void MainMenus::ShowProblemDefined() {
  save->setEnabled(true);
  saveAs->setEnabled(true);
  print->setVisible(true);
  about->setVisible(true);
}

void MainMenus::SetRunning(bool running) {
  const std::array<QAction*, 4> files{open, save, saveAs, print};
  if (running) {
    for (size_t k = 0; k < files.size(); ++k) {
      fileState_[k] = files[k]->isEnabled();
      files[k]->setEnabled(false);
    }
  } else {
    for (size_t k = 0; k < files.size(); ++k) files[k]->setEnabled(fileState_[k]);
  }
}

bool MainMenus::SaveAllowed(bool running) const {
  return running ? fileState_[1] : save->isEnabled();
}

}  // namespace quorvant
