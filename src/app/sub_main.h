// Start-up and exit: the decimal-separator check, then the main window; when the
// main window closes, the saved separator is written back, every other window of
// the program closes, and the program ends.
#pragma once

#include <QObject>
#include <memory>

#include "app/decimal_point.h"
#include "ui/frm_zorvex.h"

namespace quorvant {

class SubMain : public QObject {
  Q_OBJECT
 public:
  SubMain(LocaleService& locale, DecimalPoint::Ask ask, MessageSink* messages = nullptr);
  ~SubMain() override;
  // The check, then the window is created and shown; false when the user declined
  // the switch to a decimal point (no window is created then).
  bool Start();
  frmZorvex* window() const { return window_.get(); }
  const DecimalPoint& guard() const { return guard_; }

 private:
  void Form_Unload();
  DecimalPoint guard_;
  MessageSink* messages_;
  std::unique_ptr<frmZorvex> window_;
};

}  // namespace quorvant
