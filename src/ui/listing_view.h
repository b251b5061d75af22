// The results list: one row per listing line in the listing's fixed-pitch font, every row
// as high as the others and as wide as the longest line (a horizontal scroll bar shows
// what the panel cannot), lines selectable and copied with Ctrl+C or the context menu.
#pragma once

#include <QListView>
#include <QString>
#include <vector>

class QAction;

namespace quorvant {

class ListingModel;

class ListingView : public QListView {
  Q_OBJECT
 public:
  explicit ListingView(ListingModel* model, QWidget* parent = nullptr);
  ListingModel* listing() const { return listing_; }
  // The selected rows, in listing order.
  std::vector<int> SelectedRows() const;
  // The selected lines joined by "\n" (each ended by one).
  QString SelectedText() const;
  // Puts the selected lines on the clipboard.
  void CopySelection();

  QAction* selectAllAction() const { return selectAll_; }
  QAction* saveAction() const { return save_; }

 signals:
  // "Save Listing As..." was chosen.
  void saveRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  ListingModel* listing_;
  QAction* copy_;
  QAction* selectAll_;
  QAction* save_;
};

}  // namespace quorvant
