#include "ui/field_guard.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace quorvant {

FieldGuard::FieldGuard(QObject* parent) : QObject(parent) {
  qApp->installEventFilter(this);
}

void FieldGuard::Guard(QWidget* field, Rules rules) {
  rules_[field] = std::move(rules);
  connect(field, &QObject::destroyed, this, [this, field] { rules_.erase(field); });
}

QWidget* FieldGuard::GuardedFocus() const {
  QWidget* focus = QApplication::focusWidget();
  return focus && rules_.count(focus) ? focus : nullptr;
}

bool FieldGuard::Validate(QWidget* field) {
  const Rules& r = rules_.at(field);
  const bool ok = !r.validate || r.validate();
  validated_ = ok ? field : nullptr;
  return ok;
}

bool FieldGuard::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::FocusOut) {
    auto* field = qobject_cast<QWidget*>(watched);
    if (!field || !rules_.count(field)) return false;
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    // Switching windows or opening a menu is not leaving the field.
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return false;
    const bool ok = validated_ == field || Validate(field);
    validated_ = nullptr;
    if (ok && rules_.at(field).accepted) rules_.at(field).accepted();
    return false;
  }
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
      type != QEvent::KeyPress)
    return false;
  QWidget* field = GuardedFocus();
  if (!field || !field->isEnabled()) return false;

  if (type == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Tab && key != Qt::Key_Backtab) return false;
    if (watched != field) return false;
    return !Validate(field);  // refused: the Tab does nothing
  }
  // Clicks are caught where they enter the window, before the toolkit moves the
  // focus to the clicked control.
  auto* window = qobject_cast<QWindow*>(watched);
  if (!window) return false;
  QWidget* top = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->windowHandle() == window) top = w;
  if (!top) return false;
  const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
  QWidget* target = top->childAt(at);
  if (!target) target = top;
  // A click inside the field itself, or in a menu, is not an attempt to leave.
  if (target == field) return false;
  for (QWidget* w = target; w; w = w->parentWidget())
    if (qobject_cast<QMenuBar*>(w) || qobject_cast<QMenu*>(w)) return false;
  if (target->window() != field->window()) return false;
  return !Validate(field);  // refused: the click is swallowed, the focus stays
}

}  // namespace quorvant
