// The main window's secondary windows, Help, About and Plot: made when first asked for,
// opened on the main window's screen centred on it and no larger than the screen
// allows, their size remembered when they close, closed with the main window.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include "engine/plot_data.h"
#include "ui/frm_about.h"
#include "ui/help_window.h"
#include "ui/plot_window.h"

namespace quorvant {

class WindowSettings;

class SecondaryWindows : public QObject {
 public:
  SecondaryWindows(QWidget* anchor, WindowSettings& settings);
  ~SecondaryWindows() override;

  frmAbout* about() const { return about_; }
  HelpWindow* help() const { return help_; }
  PlotWindow* plot() const { return plot_; }
  // Where Help looks for its pages (the folder beside the program unless set).
  void SetHelpFolder(const QString& folder) { helpFolder_ = folder; }

  void ShowHelp();
  void ShowAbout();
  void ShowPlot(const PlotData& data);
  // Draws `data` again where the plot is shown.
  void UpdatePlot(const PlotData& data);
  void CloseAll();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Place(QWidget* window);

  QWidget* anchor_;
  WindowSettings& settings_;
  QString helpFolder_;
  QPointer<frmAbout> about_;
  QPointer<HelpWindow> help_;
  QPointer<PlotWindow> plot_;
};

// The main window's start size when nothing is remembered: `wanted` where the screen has
// room for it, else the screen's available area (never less than the window's minimum),
// placed on the screen.
void FitToScreen(QWidget* window, QSize wanted = QSize(940, 620));

}  // namespace quorvant
