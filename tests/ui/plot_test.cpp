// The plot: markers where the stored extrema are, gaps where the function has no
// value, export to PNG; and the table of stationary points.
#define QTEST_QPA_MOUSE_HANDLING

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/plot_sampler.h"
#include "ui/frm_zorvex.h"
#include "ui/plot_window.h"

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
  PlotWindow window;
  window.SetData(data);
  auto* through = window.findChild<QComboBox*>("plotThrough");
  ASSERT_EQ(through->count(), 2);  // the centre of the box, the minimum
  through->setCurrentIndex(1);
  window.RenderNow();
  ASSERT_EQ(window.view()->drawn("minimum").size(), 1u);
}

TEST(Plot, ExportWritesAPng) {
  PlotWindow window;
  window.SetData(Himmelblau());
  window.RenderNow();
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
    auto* field = window.findChild<QLineEdit*>(name);
    field->setFocus();
    QApplication::processEvents();
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Tab);
    QApplication::processEvents();
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

}  // namespace
}  // namespace quorvant
