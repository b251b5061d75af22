// Refusing a value: a field whose leave rule refuses keeps the keyboard focus, shows
// no message, and a click on any other control of the window (a button included)
// does not act. Menus stay usable. One event filter on the application does this
// for every guarded field.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <map>

class QWidget;

namespace quorvant {

class FieldGuard : public QObject {
  Q_OBJECT
 public:
  // `validate` is the field's leave attempt: true when it may be left. `accepted`
  // runs once the field has really lost the focus with an accepted value.
  struct Rules {
    std::function<bool()> validate;
    std::function<void()> accepted;
  };

  explicit FieldGuard(QObject* parent = nullptr);
  void Guard(QWidget* field, Rules rules);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* GuardedFocus() const;
  bool Validate(QWidget* field);

  std::map<QWidget*, Rules> rules_;
  QPointer<QWidget> validated_;  // validated by the last attempt to leave it
};

}  // namespace quorvant
