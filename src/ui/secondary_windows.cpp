#include "ui/secondary_windows.h"

#include <QEvent>
#include <QScreen>

#include "ui/window_settings.h"

namespace quorvant {

SecondaryWindows::SecondaryWindows(QWidget* anchor, WindowSettings& settings)
    : QObject(anchor), anchor_(anchor), settings_(settings) {}

SecondaryWindows::~SecondaryWindows() {
  delete about_;
  delete help_;
  delete plot_;
}

void SecondaryWindows::Place(QWidget* window) {
  PlaceSecondaryWindow(window, anchor_, window->size(), settings_);
  window->installEventFilter(this);
}

void SecondaryWindows::ShowHelp() {
  if (!help_) {
    help_ = new HelpWindow(helpFolder_.isEmpty() ? HelpWindow::DefaultFolder() : helpFolder_);
    Place(help_);
  }
  help_->show();
  help_->raise();
  help_->activateWindow();
}

void SecondaryWindows::ShowAbout() {
  if (!about_) {
    about_ = new frmAbout;
    Place(about_);
  }
  about_->show();
  about_->WriteName();
  about_->raise();
  about_->activateWindow();
}

void SecondaryWindows::ShowPlot(const PlotData& data) {
  if (!plot_) {
    plot_ = new PlotWindow;
    Place(plot_);
  }
  plot_->SetData(data);
  plot_->show();
  plot_->raise();
}

void SecondaryWindows::UpdatePlot(const PlotData& data) {
  if (plot_ && plot_->isVisible()) plot_->SetData(data);
}

void SecondaryWindows::CloseAll() {
  if (about_) about_->close();
  if (help_) help_->close();
  if (plot_) plot_->close();
}

bool SecondaryWindows::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close) {
    auto* window = static_cast<QWidget*>(watched);
    settings_.SetWindowSize(window->objectName(), window->size());
  }
  return QObject::eventFilter(watched, event);
}

void FitToScreen(QWidget* window, QSize wanted) {
  QSize size = wanted;
  if (const QScreen* shown = window->screen()) {
    const QRect available = shown->availableGeometry();
    // The frame the window manager adds is not known before the window is shown.
    const QSize frame(16, 40);
    size = size.boundedTo(available.size() - frame);
    size = size.expandedTo(window->minimumSizeHint());
    const QPoint at(available.left() + std::max(0, (available.width() - size.width()) / 2),
                    available.top() + std::max(0, (available.height() - size.height()) / 3));
    window->move(at);
  }
  window->resize(size);
}

}  // namespace quorvant
