#include "ui/field_keys.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTimer>

namespace quorvant {

FieldKeys::FieldKeys(QObject* parent, std::function<void(QDropEvent*)> drag)
    : QObject(parent), drag_(std::move(drag)) {}

QString FieldKeys::AcceptDroppedFile(QDropEvent* event, bool allowed) {
  const QMimeData* mime = event->mimeData();
  QString path;
  if (mime && mime->hasUrls() && allowed && mime->urls().size() == 1 &&
      mime->urls().front().isLocalFile())
    path = mime->urls().front().toLocalFile();
  if (path.isEmpty()) {
    event->ignore();
    return path;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  return path;
}

bool FieldKeys::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) {
    if (auto* drop = static_cast<QDropEvent*>(event); drop->mimeData()->hasUrls()) {
      drag_(drop);
      return true;
    }
  }
  // Alt with a key is for the menus: one that no menu letter takes (About while it is
  // hidden, say) is not text for a field. AltGr, which types characters, comes without
  // Alt here (X11) or with Ctrl (Windows).
  if (type == QEvent::KeyPress && qobject_cast<QLineEdit*>(watched)) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers();
    if ((mods & Qt::AltModifier) && !(mods & Qt::ControlModifier) && !key->text().isEmpty() &&
        key->text().front().isPrint())
      return true;
  }
  if (type == QEvent::FocusIn) {
    if (auto* field = qobject_cast<QLineEdit*>(watched)) {
      // Select the whole text once the focus has settled (a mouse click would
      // otherwise place the cursor over the selection). A focus that has already moved
      // on (through a field being disabled) selects nothing.
      QTimer::singleShot(0, field, [field] {
        if (field->hasFocus()) field->selectAll();
      });
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace quorvant
