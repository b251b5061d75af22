#include "ui/results_panel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "docs/safe_file.h"
#include "engine/listing.h"
#include "ui/listing_model.h"
#include "ui/listing_view.h"
#include "ui/points_table.h"
#include "ui/ui_style.h"

namespace quorvant {

ResultsPanel::ResultsPanel(QWidget* parent) : QWidget(parent) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  auto* commands = new QHBoxLayout;
  cmdExplore_ = MakeButton("cmdExplore", "Explore",
                           "Explores the search interval on a grid to find the extrema");
  cmdRandom_ = MakeButton("cmdRandom", "Random",
                          "Generates random seeds in the search interval to find the extrema");
  cmdStop_ =
      MakeButton("cmdStop", "Stop", "Stops the search; the extrema found so far stay listed");
  cmdStop_->setVisible(false);
  commands->addWidget(cmdExplore_);
  commands->addWidget(cmdRandom_);
  commands->addWidget(cmdStop_);
  commands->addStretch(1);
  chkShowPivots_ = new QCheckBox("Show additional info");
  chkShowPivots_->setObjectName("chkShowPivots");
  chkShowPivots_->setToolTip("Check if you want persistent graphics");
  commands->addWidget(chkShowPivots_);
  column->addLayout(commands);

  listing_ = new ListingModel(this);
  lstExtrema_ = new ListingView(listing_);
  lstExtrema_->setObjectName("lstExtrema");
  lstExtrema_->setFont(QFont("Courier New", 9));
  lstExtrema_->setToolTip("Quorvant");
  connect(lstExtrema_, &ListingView::saveRequested, this, &ResultsPanel::saveListingRequested);
  points_ = new StationaryPointsTable;
  connect(points_, &StationaryPointsTable::exportFailed, this, &ResultsPanel::exportFailed);
  tabResults_ = new QTabWidget;
  tabResults_->setObjectName("tabResults");
  tabResults_->addTab(lstExtrema_, "Listing");
  tabResults_->addTab(points_, "Stationary points");
  column->addWidget(tabResults_, 1);
  auto* bottom = new QHBoxLayout;
  lblExtrema_ = new QLabel;
  lblExtrema_->setObjectName("lblExtrema");
  lblExtrema_->setToolTip("How many extrema were found");
  lblExtrema_->setStyleSheet("background-color: #ffffe0; padding: 2px");
  lblExtrema_->setMinimumWidth(160);
  lblRunNote_ = new QLabel;
  lblRunNote_->setObjectName("lblRunNote");
  lblRunNote_->setToolTip("The search was stopped before it ended: other extrema may exist");
  lblRunNote_->setStyleSheet("color: #a04000; padding: 2px");
  lblRunNote_->setVisible(false);
  prgRun_ = new QProgressBar;
  prgRun_->setObjectName("prgRun");
  prgRun_->setRange(0, 1000);
  prgRun_->setVisible(false);
  bottom->addWidget(lblExtrema_);
  bottom->addWidget(lblRunNote_);
  bottom->addWidget(prgRun_, 1);
  bottom->addStretch(0);
  column->addLayout(bottom);
}

// The table and the plot's stationary points go with the listing: what the listing no
// longer shows cannot be exported or plotted as if it were current.
void ResultsPanel::Clear() {
  listing_->Clear();
  lblExtrema_->setText("");
  lblRunNote_->setVisible(false);
  lastPoints_.clear();
  lastPoints_.shrink_to_fit();
  lastUndecided_.clear();
  proof_ = false;
  points_->Clear();
}

// The bar never runs ahead of the listing.
void ResultsPanel::Append(const LineStore& lines, int permille, bool running) {
  listing_->Append(lines);
  if (running) prgRun_->setValue(permille);
}

void ResultsPanel::SetCounts(const QString& caption) {
  lblExtrema_->setText(caption);
}

void ResultsPanel::ShowRunning(bool running) {
  if (running) prgRun_->setValue(0);
  cmdStop_->setVisible(running);
  prgRun_->setVisible(running);
}

void ResultsPanel::ShowStopped() {
  lblRunNote_->setText("Stopped: incomplete");
  lblRunNote_->setVisible(true);
}

void ResultsPanel::ShowProgress(int permille) {
  prgRun_->setValue(permille);
}

void ResultsPanel::SetPoints(const Problem& problem, std::vector<StationaryPoint> points,
                             const std::vector<std::string>& kinds) {
  lastPoints_ = std::move(points);
  points_->Fill(problem, lastPoints_, kinds);
}

void ResultsPanel::ShowStored(const Problem& problem, PointFunction& function) {
  Clear();
  LineStore lines;
  const std::string caption =
      ListSolutions(problem, function, [&lines](std::string_view line) { lines.Append(line); });
  listing_->Append(lines);
  SetCounts(QString::fromStdString(caption));
}

QString ResultsPanel::SaveListing(const QString& path) const {
  const std::string text = listing_->Text(0, listing_->rowCount() - 1);
  const SaveResult saved = ReplaceFileContents(path.toStdString(), text);
  if (saved.ok()) return {};
  return "Cannot save the listing as \"" + path + "\": " + QString::fromStdString(saved.reason) +
         ".";
}

}  // namespace quorvant
