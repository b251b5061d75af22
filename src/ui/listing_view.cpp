#include "ui/listing_view.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QStyledItemDelegate>
#include <algorithm>

#include "ui/listing_model.h"

namespace quorvant {

namespace {

// Every row is as wide as the longest line: with uniform row sizes the view asks for
// one row's size only, and a row as wide as its own text would cut the longer ones.
class LineDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text = index.data(ListingModel::kLongestLineRole).toString();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    return style->sizeFromContents(QStyle::CT_ItemViewItem, &opt, QSize(), widget);
  }
};

}  // namespace

ListingView::ListingView(ListingModel* model, QWidget* parent)
    : QListView(parent), listing_(model) {
  setModel(model);
  setItemDelegate(new LineDelegate(this));
  setUniformItemSizes(true);
  setTextElideMode(Qt::ElideNone);
  setWordWrap(false);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setEditTriggers(QAbstractItemView::NoEditTriggers);

  copy_ = new QAction("&Copy", this);
  copy_->setObjectName("actListingCopy");
  copy_->setShortcut(QKeySequence::Copy);
  copy_->setShortcutContext(Qt::WidgetShortcut);
  selectAll_ = new QAction("Select &All", this);
  selectAll_->setObjectName("actListingSelectAll");
  selectAll_->setShortcut(QKeySequence::SelectAll);
  selectAll_->setShortcutContext(Qt::WidgetShortcut);
  save_ = new QAction("&Save Listing As...", this);
  save_->setObjectName("actListingSave");
  connect(copy_, &QAction::triggered, this, &ListingView::CopySelection);
  connect(selectAll_, &QAction::triggered, this, &QListView::selectAll);
  connect(save_, &QAction::triggered, this, &ListingView::saveRequested);
}

std::vector<int> ListingView::SelectedRows() const {
  std::vector<int> rows;
  if (!selectionModel()) return rows;
  for (const QItemSelectionRange& range : selectionModel()->selection())
    for (int row = range.top(); row <= range.bottom(); ++row) rows.push_back(row);
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

QString ListingView::SelectedText() const {
  std::string text;
  const std::vector<int> rows = SelectedRows();
  // Runs of consecutive rows are copied in one piece.
  for (size_t k = 0; k < rows.size();) {
    size_t end = k;
    while (end + 1 < rows.size() && rows[end + 1] == rows[end] + 1) ++end;
    text += listing_->Text(rows[k], rows[end]);
    k = end + 1;
  }
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void ListingView::CopySelection() {
  const QString text = SelectedText();
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void ListingView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    CopySelection();
    event->accept();
    return;
  }
  QListView::keyPressEvent(event);
}

void ListingView::contextMenuEvent(QContextMenuEvent* event) {
  copy_->setEnabled(selectionModel() && selectionModel()->hasSelection());
  selectAll_->setEnabled(listing_->rowCount() > 0);
  save_->setEnabled(listing_->rowCount() > 0);
  QMenu menu(this);
  menu.addAction(copy_);
  menu.addAction(selectAll_);
  menu.addSeparator();
  menu.addAction(save_);
  menu.exec(event->globalPos());
}

}  // namespace quorvant
