// What every field of the main window does with the keyboard, the focus and a drag:
// Alt with a key is for the menus, never text; a field selects its whole text when it
// gets the focus; a file dragged over a field is for the window, not text to take.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QDropEvent;

namespace quorvant {

class FieldKeys : public QObject {
 public:
  // Drags bringing files go to `drag` (a drag entering, moving or dropping).
  FieldKeys(QObject* parent, std::function<void(QDropEvent*)> drag);
  // The local file a drag brings, when there is exactly one and `allowed` (Open may be
  // used now): the event is accepted as a copy. Otherwise it is ignored (an empty name).
  static QString AcceptDroppedFile(QDropEvent* event, bool allowed);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<void(QDropEvent*)> drag_;
};

}  // namespace quorvant
