// The plot: markers where the stored extrema are, gaps where the function has no
// value, export to PNG; and the table of stationary points.
#define QTEST_QPA_MOUSE_HANDLING

#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/plot_sampler.h"
#include "model/numtext.h"
#include "plot/plot_scene.h"
#include "ui/frm_zorvex.h"
#include "ui/plot_window.h"
#include "window_driver.h"

namespace quorvant {
namespace {

PlotData Himmelblau() {
  PlotData data;
  data.problem.varNames = {"x", "y"};
  data.problem.formula = "(x*x+y-11)*(x*x+y-11)+(x+y*y-7)*(x+y*y-7)";
  data.lower = {-5, -5};
  data.upper = {5, 5};
  data.maxima = {{-0.270844590671085, -0.923038556471062}};
  data.minima = {{3, 2}, {-2.80511808695276, 3.13131251825058}};
  data.others = {{0.0866775, 2.88425}};
  return data;
}

TEST(PlotSampler, FailuresAreGapsNotZeros) {
  PlotSampler sampler({{"x"}, "Log(x) * k", {"k=2"}, {0}});
  PlotGrid grid;
  ASSERT_TRUE(sampler.SampleCurve(0, -1, 1, 5, grid));
  ASSERT_EQ(grid.values.size(), 5u);
  EXPECT_TRUE(std::isnan(grid.values[0]));  // Log(-1)
  EXPECT_TRUE(std::isnan(grid.values[2]));  // Log(0)
  EXPECT_EQ(grid.values[4], 0);             // Log(1) * 2
  EXPECT_NEAR(sampler.ValueAt(std::vector<double>{std::exp(1.0)}), 2,
              1e-13);  // e rounded to 15 digits
  std::atomic<bool> cancel{true};
  EXPECT_FALSE(sampler.SampleGrid(0, 0, 1, 10, 0, 0, 1, 10, grid, &cancel));
}

TEST(Plot, MarksEveryStoredExtremumWhereItIs) {
  PlotWindow window;
  window.SetData(Himmelblau());
  window.RenderNow();
  const auto maxima = window.view()->drawn("maximum");
  const auto minima = window.view()->drawn("minimum");
  ASSERT_EQ(maxima.size(), 1u);
  ASSERT_EQ(minima.size(), 2u);
  EXPECT_EQ(maxima[0].x, -0.270844590671085);
  EXPECT_EQ(maxima[0].y, -0.923038556471062);
  EXPECT_EQ(minima[1].x, -2.80511808695276);
  EXPECT_EQ(minima[1].y, 3.13131251825058);
  EXPECT_EQ(window.view()->drawn("saddle / neither").size(), 1u);
  window.showOthers()->setChecked(false);
  window.RenderNow();
  EXPECT_TRUE(window.view()->drawn("saddle / neither").empty());
}

TEST(Plot, OneVariableIsACurveWithTheValueAtEachMarker) {
  PlotData data;
  data.problem.varNames = {"x"};
  data.problem.formula = "x^4 - 3*x^2 + x";
  data.lower = {-3};
  data.upper = {3};
  data.minima = {{1.13090112271517}};
  PlotWindow window;
  window.SetData(data);
  window.RenderNow();
  const auto minima = window.view()->drawn("minimum");
  ASSERT_EQ(minima.size(), 1u);
  EXPECT_NEAR(minima[0].y, -1.07023018177615, 1e-12);  // f at the minimum
}

TEST(Plot, ThreeVariablesSliceThroughTheChosenPoint) {
  PlotData data;
  data.problem.varNames = {"x", "y", "z"};
  data.problem.formula = "x*x + y*y + (z-2)*(z-2)";
  data.lower = {-1, -1, -1};
  data.upper = {1, 1, 5};
  data.minima = {{0, 0, 2}};
  // Undecided sub-boxes: the plane z = 2 crosses the first, not the second.
  data.undecided = {{{0, 0, 1}, {0.5, 0.5, 3}}, {{-1, -1, 4}, {0, 0, 5}}};
  PlotWindow window;
  window.SetData(data);
  auto* through = window.findChild<QComboBox*>("plotThrough");
  ASSERT_EQ(through->count(), 2);  // the centre of the box, the minimum
  through->setCurrentIndex(1);
  window.RenderNow();
  ASSERT_EQ(window.view()->drawn("minimum").size(), 1u);
  const auto& shaded = window.view()->shaded();
  ASSERT_EQ(shaded.size(), 2u);
  EXPECT_TRUE(shaded[0].onSlice);
  EXPECT_FALSE(shaded[1].onSlice);
  EXPECT_EQ(shaded[1].x0, -1);
  EXPECT_EQ(shaded[1].y1, 0);
}

TEST(Plot, ExportWritesAPng) {
  PlotWindow window;
  window.SetData(Himmelblau());
  window.RenderNow();
  // The heading is part of the picture, so the exported file carries it.
  auto* heading = window.view()->plot()->findChild<QCPTextElement*>("plotTitle");
  ASSERT_NE(heading, nullptr);
  EXPECT_EQ(heading->text(),
            "f(x,y) = (x*x+y-11)*(x*x+y-11)+(x+y*y-7)*(x+y*y-7) on x: -5 to 5, y: -5 to 5");
  const auto path = std::filesystem::temp_directory_path() / "quorvant-plot-test.png";
  std::filesystem::remove(path);
  ASSERT_TRUE(window.view()->ExportPng(QString::fromStdString(path.string()), 400, 300));
  QImage image(QString::fromStdString(path.string()));
  EXPECT_EQ(image.width(), 400);
  EXPECT_EQ(image.height(), 300);
}

TEST(Plot, SamplingOnAWorkerThreadEndsInAPicture) {
  PlotWindow window;
  QSignalSpy rendered(&window, &PlotWindow::rendered);
  window.SetData(Himmelblau());
  window.SetData(Himmelblau());  // the first request is cancelled
  ASSERT_TRUE(rendered.wait(10000));
  QTest::qWait(200);
  EXPECT_EQ(rendered.count(), 1);
  EXPECT_EQ(window.view()->drawn("minimum").size(), 2u);
}

TEST(PointsTable, OneRowPerStationaryPointAndCsv) {
  frmZorvex window;
  window.show();
  auto type = [&](const char* name, const QString& text) {
    driver::TypeAndLeave(window, name, text);
  };
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  type("txtOrder", "2");
  type("txtVarNams", "x,y");
  type("txtEquation", "x*x - y*y + 1");
  type("txtRand", "3");
  QSignalSpy done(&window, &frmZorvex::runFinished);
  window.cmdRandom_Click();
  ASSERT_TRUE(done.wait(20000));
  QAbstractItemModel* table = window.pointsTable()->model();
  ASSERT_EQ(table->rowCount(), 3);  // the saddle, met from each start
  EXPECT_EQ(table->index(0, 0).data().toString(), "indefinite (saddle)");
  EXPECT_EQ(table->headerData(1, Qt::Horizontal).toString(), "x");
  EXPECT_EQ(table->index(0, 3).data().toString(), "1");  // f at the saddle
  // Shown: every column as wide as its widest text, rows one line high.
  window.findChild<QTabWidget*>("tabResults")->setCurrentIndex(1);
  QApplication::processEvents();
  QTableView* view = window.pointsTable();
  for (int c = 0; c < table->columnCount(); ++c)
    EXPECT_GE(view->columnWidth(c), static_cast<QAbstractItemView*>(view)->sizeHintForColumn(c))
        << c;
  EXPECT_LT(view->rowHeight(0), 2 * view->fontMetrics().height());
  EXPECT_FALSE(view->wordWrap());
  const auto path = std::filesystem::temp_directory_path() / "quorvant-points.csv";
  ASSERT_TRUE(window.ExportPointsCsv(QString::fromStdString(path.string())));
  std::ifstream in(path);
  std::string header;
  std::getline(in, header);
  EXPECT_EQ(header, "Kind,x,y,f,Smallest pivot,Start,Cycles");
  int rows = 0;
  for (std::string line; std::getline(in, line);) ++rows;
  EXPECT_EQ(rows, 3);
  EXPECT_TRUE(window.findChild<QAction*>("mnuPlot")->isEnabled());
  window.mnuPlot_Click();
  ASSERT_NE(window.plotWindow(), nullptr);
}

// --- the Plot window as a user meets it ----------------------------------------

PlotData ThreeVariables() {
  PlotData data;
  data.problem.varNames = {"x", "y", "z"};
  data.problem.formula = "x*x + y*y + (z-2)*(z-2)";
  data.lower = {-1, -1, -1};
  data.upper = {1, 1, 5};
  data.minima = {{0, 0, 2}, {0.5, 0.5, 4}};
  return data;
}

TEST(PlotWindowTest, TheTwoAxesAreNeverTheSameVariable) {
  PlotWindow window;
  window.SetData(ThreeVariables());
  QComboBox* x = window.horizontalBox();
  QComboBox* y = window.verticalBox();
  ASSERT_EQ(x->currentIndex(), 0);
  ASSERT_EQ(y->currentIndex(), 1);
  x->setCurrentIndex(1);  // y's variable: y moves on
  EXPECT_EQ(x->currentIndex(), 1);
  EXPECT_EQ(y->currentIndex(), 2);
  y->setCurrentIndex(1);  // x's variable: x moves on
  EXPECT_EQ(y->currentIndex(), 1);
  EXPECT_EQ(x->currentIndex(), 2);
}

TEST(PlotWindowTest, OneVariableHasNoVerticalBox) {
  PlotData data;
  data.problem.varNames = {"x"};
  data.problem.formula = "x*x";
  data.lower = {-1};
  data.upper = {1};
  PlotWindow window;
  window.show();
  window.SetData(data);
  EXPECT_FALSE(window.verticalBox()->isVisible());
  window.SetData(Himmelblau());
  EXPECT_TRUE(window.verticalBox()->isVisible());
}

TEST(PlotWindowTest, NoMarkersNoLegendAndTheLegendNeverCoversThePicture) {
  PlotData bare = Himmelblau();
  bare.maxima.clear();
  bare.minima.clear();
  bare.others.clear();
  PlotWindow window;
  window.SetData(bare);
  window.RenderNow();
  QCustomPlot* plot = window.view()->plot();
  EXPECT_EQ(plot->legend, nullptr);
  window.SetData(Himmelblau());
  window.RenderNow();
  ASSERT_NE(plot->legend, nullptr);
  EXPECT_EQ(plot->legend->itemCount(), 3);
  plot->replot();
  EXPECT_FALSE(plot->legend->outerRect().intersects(plot->axisRect()->rect()));
}

struct UnplottableCase {
  const char* name;
  double lower, upper;
  const char* says;
};

void PrintTo(const UnplottableCase& c, std::ostream* os) {
  *os << c.lower << " to " << c.upper;
}

class Unplottable : public ::testing::TestWithParam<UnplottableCase> {};

TEST_P(Unplottable, LimitsThePlotCannotSampleGiveAMessage) {
  PlotData data = Himmelblau();
  data.lower[0] = GetParam().lower;
  data.upper[0] = GetParam().upper;
  PlotWindow window;
  QSignalSpy rendered(&window, &PlotWindow::rendered);
  window.SetData(data);
  ASSERT_TRUE(rendered.count() > 0 || rendered.wait(10000));
  EXPECT_TRUE(window.view()->message().contains(GetParam().says))
      << window.view()->message().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, Unplottable,
    ::testing::Values(UnplottableCase{"WiderThanTheLargestDouble", -1e308, 1e308, "too wide"},
                      UnplottableCase{"Infinite", -INFINITY, 1, "not numbers"}),
    [](const ::testing::TestParamInfo<UnplottableCase>& info) {
      return std::string(info.param.name);
    });

TEST(PlotWindowTest, AFunctionWithNoValueAnywhereGivesAMessage) {
  PlotData data = Himmelblau();
  data.problem.formula = "Log(-1 - x*x)";
  PlotWindow window;
  window.SetData(data);
  window.RenderNow();
  EXPECT_TRUE(window.view()->message().contains("no value"))
      << window.view()->message().toStdString();
  window.SetData(Himmelblau());
  window.RenderNow();
  EXPECT_TRUE(window.view()->message().isEmpty());
}

TEST(PlotWindowTest, ASliceSaysWhereItLiesAndExtremaOffItAreHollow) {
  PlotWindow window;
  window.SetData(ThreeVariables());
  window.findChild<QComboBox*>("plotThrough")->setCurrentIndex(1);  // minimum 1 (0, 0, 2)
  window.RenderNow();
  EXPECT_EQ(window.view()->sliceCaption(), "z = 2");
  // The caption is part of the picture, so exported files carry it.
  QCustomPlot* plot = window.view()->plot();
  bool captioned = false;
  for (int k = 0; k < plot->plotLayout()->elementCount(); ++k)
    if (auto* text = qobject_cast<QCPTextElement*>(plot->plotLayout()->elementAt(k)))
      captioned = captioned || text->text() == "Slice at z = 2";
  EXPECT_TRUE(captioned);
  const auto minima = window.view()->drawn("minimum");
  ASSERT_EQ(minima.size(), 2u);
  EXPECT_TRUE(minima[0].onSlice);
  EXPECT_FALSE(minima[1].onSlice);  // z = 4
  bool hollow = false;
  for (int k = 0; k < plot->graphCount(); ++k)
    if (plot->graph(k)->name() == "minimum (off the slice)")
      hollow = plot->graph(k)->scatterStyle().brush().style() == Qt::NoBrush;
  EXPECT_TRUE(hollow);
  // Two variables: no slice, no caption.
  window.SetData(Himmelblau());
  window.RenderNow();
  EXPECT_TRUE(window.view()->sliceCaption().isEmpty());
}

TEST(PlotWindowTest, ResetViewRestoresTheZoom) {
  PlotWindow window;
  window.show();
  window.SetData(Himmelblau());
  window.RenderNow();
  QCustomPlot* plot = window.view()->plot();
  const QCPRange x = plot->xAxis->range(), y = plot->yAxis->range();
  plot->xAxis->scaleRange(0.25);
  plot->yAxis->moveRange(1.5);
  ASSERT_NE(plot->xAxis->range(), x);
  QTest::mouseClick(window.findChild<QPushButton*>("plotResetView"), Qt::LeftButton);
  EXPECT_EQ(plot->xAxis->range(), x);
  EXPECT_EQ(plot->yAxis->range(), y);
}

TEST(PlotView, TheColourScaleIsPerceptuallyOrdered) {
  QCPColorGradient gradient = PlotView::Gradient();
  const QCPRange range(0, 1);
  EXPECT_EQ(QColor(gradient.color(0, range)), QColor(68, 1, 84));     // dark violet
  EXPECT_EQ(QColor(gradient.color(1, range)), QColor(253, 231, 37));  // yellow
  // Lightness grows steadily from the low end to the high end (a rainbow goes up and
  // down again).
  double previous = -1;
  for (int k = 0; k <= 20; ++k) {
    const QColor c = QColor::fromRgb(gradient.color(k / 20.0, range));
    const double lightness = 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF();
    EXPECT_GT(lightness, previous) << k;
    previous = lightness;
  }
}

// The heat map's colours span every value drawn (the examples' peaks included), unless a
// pole would flatten the rest: then the bar says where it stops and the note under the
// picture names the value beyond it and where it lies.
struct ScaleCase {
  const char* name;
  const char* formula;
  std::vector<std::string> constants;
  bool clipped;
};

void PrintTo(const ScaleCase& c, std::ostream* os) {
  *os << c.formula;
}

class ColourScale : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ColourScale, CoversTheValuesDrawnOrSaysWhereItStops) {
  PlotData data;
  data.problem.varNames = {"x", "y"};
  data.problem.formula = GetParam().formula;
  data.problem.constants = GetParam().constants;
  data.lower = {-4, -4};
  data.upper = {4, 4};
  PlotWindow window;
  window.SetData(data);
  window.RenderNow();
  QCPColorScale* scale = nullptr;
  QCustomPlot* plot = window.view()->plot();
  for (int k = 0; k < plot->plotLayout()->elementCount(); ++k)
    if (auto* s = qobject_cast<QCPColorScale*>(plot->plotLayout()->elementAt(k))) scale = s;
  ASSERT_NE(scale, nullptr);
  PlotSampler sampler(
      PlotProblem{data.problem.varNames, data.problem.formula, data.problem.constants, {0, 0}});
  const PlotGrid grid = SamplePlot(data, sampler, ChooseAxes(2, 0, 1), nullptr);
  const auto [lowest, highest] = std::minmax_element(grid.values.begin(), grid.values.end());
  if (!GetParam().clipped) {
    EXPECT_LE(scale->dataRange().lower, *lowest);
    EXPECT_GE(scale->dataRange().upper, *highest);
    EXPECT_EQ(scale->label(), "f");
    EXPECT_TRUE(window.view()->scaleNote().isEmpty());
  } else {
    EXPECT_LT(scale->dataRange().upper, *highest);
    EXPECT_EQ(scale->label(), "f (clipped above " +
                                  QString::fromStdString(FormatGeneral(scale->dataRange().upper)) +
                                  ")");
    EXPECT_TRUE(window.view()->scaleNote().contains(
        "highest value " + QString::fromStdString(FormatGeneral(*highest)) + " at x = 1, y = 1"))
        << window.view()->scaleNote().toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Functions, ColourScale,
    ::testing::Values(ScaleCase{"ConstantsExample",
                                "a*Exp(-((x-x0)^2 + (y-y0)^2)/w) + Sin(x)*Cos(y)/k",
                                {"a=2", "x0=0.5", "y0=-0.5", "w=1.5", "k=4"},
                                false},
                      ScaleCase{"SaddleExample", "x*x + y*y - 3*x*y + x^4/10", {}, false},
                      ScaleCase{"Pole", "1/((x-1)^2+(y-1)^2+0.0001)", {}, true}),
    [](const ::testing::TestParamInfo<ScaleCase>& info) { return std::string(info.param.name); });

TEST(PlotMenu, IsDisabledDuringARun) {
  frmZorvex window;
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  auto type = [&](const char* name, const QString& text) {
    driver::TypeAndLeave(window, name, text);
  };
  type("txtOrder", "1");
  type("txtVarNams", "x");
  type("txtEquation", "x");
  type("txtSubintervals0", "20000000");
  QAction* plot = window.findChild<QAction*>("mnuPlot");
  ASSERT_TRUE(plot->isEnabled());
  QSignalSpy done(&window, &frmZorvex::runFinished);
  window.cmdExplore_Click();
  ASSERT_TRUE(window.runInProgress());
  EXPECT_FALSE(plot->isEnabled());
  window.cmdStop_Click();
  ASSERT_TRUE(done.count() > 0 || done.wait(10000));
  EXPECT_TRUE(plot->isEnabled());
}

}  // namespace
}  // namespace quorvant
