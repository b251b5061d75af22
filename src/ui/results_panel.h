// The results column of the main window: the run commands and "Show additional info",
// the listing and the stationary points table in tabs, the counts of extrema, the note
// of a stopped run and the progress bar.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

#include "engine/plot_data.h"
#include "engine/run_hooks.h"
#include "model/point_function.h"
#include "model/problem.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace quorvant {

class LineStore;
class ListingModel;
class ListingView;
class StationaryPointsTable;

class ResultsPanel : public QWidget {
  Q_OBJECT
 public:
  explicit ResultsPanel(QWidget* parent = nullptr);

  QPushButton* exploreButton() const { return cmdExplore_; }
  QPushButton* randomButton() const { return cmdRandom_; }
  QPushButton* stopButton() const { return cmdStop_; }
  QCheckBox* showInfoBox() const { return chkShowPivots_; }
  ListingModel* listing() const { return listing_; }
  ListingView* listingView() const { return lstExtrema_; }
  StationaryPointsTable* pointsTable() const { return points_; }
  // The stationary points of the last run, as the table lists them.
  const std::vector<StationaryPoint>& points() const { return lastPoints_; }
  // The sub-boxes the last proof left undecided.
  const std::vector<PlotBox>& undecided() const { return lastUndecided_; }

  // Empties the listing, the counts, the stopped note and the table.
  void Clear();
  // Lines of a run and the progress it had when it wrote them (shown while it runs).
  void Append(const LineStore& lines, int permille, bool running);
  void SetCounts(const QString& caption);
  // The progress of a proof: its share of the sub-boxes met that were examined.
  void ShowProgress(int permille);
  // Stop and the progress bar while a run goes on.
  void ShowRunning(bool running);
  // Beside the counts until the next run: the listing is incomplete.
  void ShowStopped();
  // The stationary points of a run of `problem`, for the table (and the plot); `kinds`
  // as the table's Fill takes them.
  void SetPoints(const Problem& problem, std::vector<StationaryPoint> points,
                 const std::vector<std::string>& kinds = {});
  // The results shown are a proof's, which left `undecided` undecided (for the plot).
  void SetProof(std::vector<PlotBox> undecided) {
    proof_ = true;
    lastUndecided_ = std::move(undecided);
  }
  bool showsProof() const { return proof_; }
  // The extrema an opened problem holds, listed and counted as a run lists them.
  void ShowStored(const Problem& problem, PointFunction& function);
  // Writes the listing's lines into `path` as text; what the user is told when it
  // cannot be written (empty when it was).
  QString SaveListing(const QString& path) const;

 signals:
  // "Save Listing As..." was chosen.
  void saveListingRequested();
  // The table could not be exported; the message says why.
  void exportFailed(const QString& message);

 private:
  QPushButton* cmdExplore_;
  QPushButton* cmdRandom_;
  QPushButton* cmdStop_;
  QCheckBox* chkShowPivots_;
  ListingModel* listing_;
  ListingView* lstExtrema_;
  StationaryPointsTable* points_;
  QTabWidget* tabResults_;
  QLabel* lblExtrema_;
  QLabel* lblRunNote_;
  QProgressBar* prgRun_;
  std::vector<StationaryPoint> lastPoints_;
  std::vector<PlotBox> lastUndecided_;
  bool proof_ = false;
};

}  // namespace quorvant
