// The results listing: a compact line store under a list model, batches from a run with
// a progress bar that never runs ahead of them, a horizontal scroll bar for long lines,
// copy and Save Listing As; and the Stationary points table beside it.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QProgressBar>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <cmath>

#include "model/numtext.h"
#include "ui/listing_view.h"
#include "ui/points_table.h"
#include "window_fixture.h"

namespace quorvant {
namespace {

using uitest::Files;
using uitest::ReadAll;
using uitest::Window;

// --- the line store and its model ------------------------------------------------

struct StoreCase {
  const char* name;
  std::vector<std::string> lines;
  int64_t longest;
};

void PrintTo(const StoreCase& c, std::ostream* os) {
  *os << c.name;
}

class Store : public ::testing::TestWithParam<StoreCase> {};

TEST_P(Store, GivesBackEveryLineAndKnowsTheLongest) {
  LineStore store;
  for (const std::string& line : GetParam().lines) store.Append(line);
  ASSERT_EQ(store.size(), GetParam().lines.size());
  for (size_t i = 0; i < store.size(); ++i) EXPECT_EQ(store.Line(i), GetParam().lines[i]);
  EXPECT_EQ(store.longest(), GetParam().longest);
  // Appended as a whole to another store, the lines come after its own.
  LineStore joined;
  joined.Append("first");
  joined.Append(store);
  ASSERT_EQ(joined.size(), store.size() + 1);
  for (size_t i = 0; i < store.size(); ++i) EXPECT_EQ(joined.Line(i + 1), store.Line(i));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Store,
    ::testing::Values(
        StoreCase{"None", {}, -1}, StoreCase{"EmptyLines", {"", "", ""}, 0},
        StoreCase{"LongestInTheMiddle", {"MINIMUM AT:", "x=1.5", "TRIAL123456:"}, 2},
        StoreCase{"FirstOfEqualLength", {"ab", "cd", "e"}, 0},
        // Five characters in ten bytes are shorter than six in six.
        StoreCase{"CharactersNotBytes", {"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", "abcdef"}, 1}),
    [](const ::testing::TestParamInfo<StoreCase>& info) { return std::string(info.param.name); });

TEST(ListingModelTest, ABatchIsOneInsertionAndClearGivesTheMemoryBack) {
  ListingModel model;
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  LineStore batch;
  for (int k = 0; k < 1000; ++k) batch.Append("TRIAL" + std::to_string(k) + ":");
  model.Append(batch);
  EXPECT_EQ(inserted.count(), 1);
  EXPECT_EQ(model.rowCount(), 1000);
  EXPECT_EQ(model.Line(999), "TRIAL999:");
  EXPECT_EQ(model.Text(1, 2), "TRIAL1:\nTRIAL2:\n");
  EXPECT_EQ(model.data(model.index(0), ListingModel::kLongestLineRole).toString(), "TRIAL100:");
  model.Clear();
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_LT(model.lines().capacityBytes(), 100u);
}

// --- a run's lines in the window -------------------------------------------------

TEST_F(Window, ARunsLinesArriveInBatchesWithTheProgressTrueToThem) {
  DefineProblem("1", "x");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "x"));  // mostly two lines a trial
  const int trials = 4000;
  ASSERT_TRUE(TypeAndLeave("txtRand", QString::number(trials)));
  auto* progress = Find<QProgressBar>("prgRun");
  ListingModel* listing = window->listing();
  int insertions = 0;
  QObject::connect(listing, &QAbstractItemModel::rowsInserted, [&] { ++insertions; });
  // Whenever the bar moves, the listing already shows every trial it counts.
  std::vector<std::string> ahead;
  QObject::connect(progress, &QProgressBar::valueChanged, [&](int permille) {
    if (!window->runInProgress()) return;
    int shown = 0;  // the last trial whose header is listed
    for (int row = listing->rowCount() - 1; row >= 0 && shown == 0; --row) {
      const QString line = listing->Line(row);
      if (line.startsWith("TRIAL")) shown = line.mid(5).chopped(1).toInt();
    }
    const int done = permille * trials / 1000;  // trials the bar counts as done
    if (done > shown)
      ahead.push_back(std::to_string(permille) + " permille with trial " + std::to_string(shown));
  });
  ASSERT_TRUE(RunAndWait("cmdRandom", 60000));
  int headers = 0;
  for (int row = 0; row < listing->rowCount(); ++row)
    if (listing->Line(row).startsWith("TRIAL")) ++headers;
  EXPECT_EQ(headers, trials);
  EXPECT_EQ(progress->value(), 1000);
  EXPECT_TRUE(ahead.empty()) << ahead.front();
  EXPECT_LT(insertions, listing->rowCount() / 10);  // batches, not a row at a time
}

TEST_F(Window, LinesWiderThanThePanelScrollHorizontally) {
  const QString name(200, 'w');
  DefineProblem("1", name);
  ASSERT_TRUE(TypeAndLeave("txtEquation", "(" + name + "-1)^2"));
  ASSERT_TRUE(RunAndWait("cmdExplore"));
  ListingView* view = window->listingView();
  ASSERT_EQ(window->listing()->Line(1), name + "=1");
  QApplication::processEvents();
  view->doItemsLayout();
  const QModelIndex longLine = window->listing()->index(1);
  // The row is as wide as its text: nothing is cut to "...".
  EXPECT_GE(view->visualRect(longLine).width(), view->fontMetrics().horizontalAdvance(name + "=1"));
  EXPECT_GT(view->horizontalScrollBar()->maximum(), 0);
  const int rowHeight = view->visualRect(window->listing()->index(0)).height();
  EXPECT_EQ(view->visualRect(longLine).height(), rowHeight);  // uniform rows
}

TEST_F(Window, CtrlAAndCtrlCCopyTheListing) {
  DefineProblem("2", "x,y");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "(x-1)^2+(y+2)^2"));
  ASSERT_TRUE(RunAndWait("cmdExplore"));
  ListingView* view = window->listingView();
  view->setFocus();
  QApplication::clipboard()->clear();
  QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "MINIMUM AT:\nx=1\ny=-2\nFUNCTION=0\n");
  // Two lines chosen with the mouse: those two only.
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                    view->visualRect(window->listing()->index(1)).center());
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                    view->visualRect(window->listing()->index(2)).center());
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "x=1\ny=-2\n");
}

// The entries of the context menu `target` shows, read while it is open.
QStringList ContextMenuEntries(QWidget* target) {
  QStringList entries;
  QTimer::singleShot(0, [&entries] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      for (QAction* a : menu->actions())
        if (!a->isSeparator()) entries << a->text() + (a->isEnabled() ? "" : " (disabled)");
      menu->close();
    }
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, target->rect().center(),
                          target->mapToGlobal(target->rect().center()));
  QApplication::sendEvent(target, &event);
  return entries;
}

TEST_F(Files, TheListingsContextMenuCopiesAndSavesTheLines) {
  openName = QString::fromStdString(uitest::DataFile("himmelblau.saved.zvx").string());
  window->mnuOpen_Click();
  ListingView* view = window->listingView();
  EXPECT_EQ(ContextMenuEntries(view->viewport()),
            (QStringList{"&Copy (disabled)", "Select &All", "&Save Listing As..."}));
  view->selectAllAction()->trigger();
  EXPECT_EQ(view->SelectedRows().size(), 25u);
  const auto path =
      uitest::TempCopy(uitest::DataFile("quad2_bowl.zvx"), "x.zvx").parent_path() / "listing.txt";
  std::filesystem::remove(path);
  saveName = QString::fromStdString(path.string());
  view->saveAction()->trigger();
  std::string expected;
  for (const QString& line : Lines()) expected += line.toStdString() + "\n";
  EXPECT_EQ(ReadAll(path), expected);
  EXPECT_TRUE(sink.titles.empty());
}

// --- the Stationary points table -------------------------------------------------

StationaryPoint Saddle(std::vector<double> at, int cycles) {
  StationaryPoint p{PointKind::Indefinite, at, at, 0.5, cycles, false};
  return p;
}

Problem TwoVariables() {
  Problem problem = Problem::WithVariables(2);
  problem.varNames = {"x", "y"};
  problem.formula = "x*x - y*y";
  return problem;
}

TEST(PointsTableTest, NumbersShowFifteenDigitsAndSortAsNumbers) {
  StationaryPointsTable panel;
  panel.show();
  panel.Fill(TwoVariables(), {Saddle({9, 0.123456789012345678}, 3), Saddle({10, -2}, 12),
                              Saddle({-2, 1e-5}, 4), Saddle({123.456789012345678, 7}, 2)});
  StationaryPointsModel* model = panel.model();
  ASSERT_EQ(model->rowCount(), 4);
  // Every number cell is the listing's number text, which reads back as the value.
  for (int r = 0; r < model->rowCount(); ++r) {
    for (int c : {1, 2, 3, 4, 6}) {
      const double v = model->index(r, c).data(StationaryPointsModel::kSortRole).toDouble();
      EXPECT_EQ(model->Cell(r, c).toStdString(), FormatGeneral(v));
    }
  }
  EXPECT_EQ(model->Cell(3, 1), "123.456789012346");
  EXPECT_EQ(model->Cell(0, 2), "0.123456789012346");
  EXPECT_EQ(model->Cell(2, 2), "1E-05");
  // A click on the x header sorts by value (as text "-2" < "10" < "123..." < "9").
  QHeaderView* header = panel.table()->horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                    QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
  QStringList xs;
  for (int r = 0; r < model->rowCount(); ++r) xs << model->Cell(r, 1);
  const bool ascending = header->sortIndicatorOrder() == Qt::AscendingOrder;
  const QStringList sorted{"-2", "9", "10", "123.456789012346"};
  const QStringList reversed(sorted.rbegin(), sorted.rend());
  EXPECT_EQ(xs, ascending ? sorted : reversed);
  panel.table()->sortByColumn(6, Qt::AscendingOrder);  // cycles: 2, 3, 4, 12
  QStringList cycles;
  for (int r = 0; r < model->rowCount(); ++r) cycles << model->Cell(r, 6);
  EXPECT_EQ(cycles, (QStringList{"2", "3", "4", "12"}));
}

TEST(PointsTableTest, SelectedCellsCopyAsTabSeparatedRows) {
  StationaryPointsTable panel;
  panel.show();
  panel.Fill(TwoVariables(), {Saddle({1, 2}, 3), Saddle({4, 5}, 6), Saddle({7, 8}, 9)});
  QTableView* table = panel.table();
  auto* selection = table->selectionModel();
  selection->select(QItemSelection(panel.model()->index(0, 1), panel.model()->index(1, 2)),
                    QItemSelectionModel::ClearAndSelect);
  table->setFocus();
  QApplication::clipboard()->clear();
  QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "1\t2\n4\t5\n");
  // Two cells apart: the rows and columns between them, the unselected cells empty.
  selection->select(panel.model()->index(0, 1), QItemSelectionModel::ClearAndSelect);
  selection->select(panel.model()->index(2, 2), QItemSelectionModel::Select);
  panel.CopySelection();
  EXPECT_EQ(QApplication::clipboard()->text(), "1\t\n\t8\n");
  EXPECT_EQ(ContextMenuEntries(table->viewport()),
            (QStringList{"&Copy", "Select &All", "&Export CSV..."}));
}

TEST_F(Window, TheTableIsEmptiedWithTheListing) {
  DefineProblem("2", "x,y");
  ASSERT_TRUE(TypeAndLeave("txtEquation", "x*x - y*y + 1"));
  ASSERT_TRUE(TypeAndLeave("txtRand", "3"));
  ASSERT_TRUE(RunAndWait("cmdRandom"));
  ASSERT_EQ(window->pointsTable()->model()->rowCount(), 3);
  Field("txtEquation")->setFocus();
  QTest::keyClick(Field("txtEquation"), Qt::Key_Space);  // an edit clears the results
  EXPECT_TRUE(Lines().isEmpty());
  EXPECT_EQ(window->pointsTable()->model()->rowCount(), 0);
  const auto path = std::filesystem::temp_directory_path() / "quorvant-cleared.csv";
  std::filesystem::remove(path);
  ASSERT_TRUE(window->ExportPointsCsv(QString::fromStdString(path.string())));
  EXPECT_EQ(ReadAll(path), "\n");  // nothing of the previous run
  // The plot no longer shows the old run's saddles either.
  EXPECT_TRUE(window->CurrentPlotData().others.empty());
}

}  // namespace
}  // namespace quorvant
