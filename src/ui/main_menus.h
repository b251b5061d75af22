// The main window's menu bar: File (New, Open, Recent Files, Save, Save As, Quit),
// Print, Plot, Prove, Help and About, with their keys, names and first states; the file
// commands' states are set aside during a run and come back after it.
#pragma once

#include <array>

class QAction;
class QMenu;
class QMenuBar;

namespace quorvant {

struct MainMenus {
  QAction* newFile;
  QAction* open;
  QAction* save;
  QAction* saveAs;
  QAction* quit;
  QAction* print;
  QAction* plot;
  QAction* prove;
  QAction* help;
  QAction* about;

  // Builds the menus into `bar`, with `recent` under File.
  void Build(QMenuBar* bar, QMenu* recent);
  // Save, Save As, Print and About become available once the problem is defined.
  void ShowProblemDefined();
  // During a run Open, Save, Save As and Print are disabled.
  void SetRunning(bool running);
  // Whether Save may be used (during a run: whether it could before).
  bool SaveAllowed(bool running) const;

 private:
  std::array<bool, 4> fileState_{};  // Open, Save, Save As, Print before a run
};

}  // namespace quorvant
