#include "app/sub_main.h"

#include <QApplication>

namespace quorvant {

SubMain::SubMain(LocaleService& locale, DecimalPoint::Ask ask, MessageSink* messages)
    : guard_(locale, std::move(ask)), messages_(messages) {}

SubMain::~SubMain() = default;

bool SubMain::Start() {
  if (!guard_.CheckDecimalSeparator()) return false;
  window_ = std::make_unique<frmZorvex>(messages_);
  connect(window_.get(), &frmZorvex::unloading, this, &SubMain::Form_Unload);
  window_->show();
  return true;
}

void SubMain::Form_Unload() {
  guard_.RestoreDecimalSeparator();
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != window_.get() && w->isVisible()) w->close();
  QCoreApplication::quit();
}

}  // namespace quorvant
