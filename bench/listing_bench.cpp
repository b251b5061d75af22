// The window's results listing under a million lines.
//
// AppendMillionLines: 1,000,000 lines of a random run appended to the listing model in
// batches, as the run hands them over, with the list view shown (offscreen) so that its
// layout is paid for too. Reports the time and how much the process grew.
//
// WindowRandomRun: the whole window, a Random run of 500,000 trials of f(x) = 0*x (two
// lines a trial: a million lines), typed in as a user would. Reports the run's time, the
// memory above the empty window once the listing holds every line, and how long closing
// the window then takes. StopDuringARun: how long after Stop the run has ended and the
// window is usable again, a second into a run of 50 million trials.
//
// Each is one iteration (memory does not shrink back between iterations); run with
//   QT_QPA_PLATFORM=offscreen build/bench/listing_bench
#define QTEST_QPA_MOUSE_HANDLING
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ui/frm_zorvex.h"
#include "ui/listing_model.h"
#include "ui/listing_view.h"
#include "window_driver.h"

namespace {

using quorvant::frmZorvex;
using quorvant::LineStore;
using quorvant::ListingModel;
using quorvant::ListingView;

// Resident memory of this process, in megabytes.
double ResidentMb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1048576.0;
}

constexpr int kLines = 1000000;
// A fast run hands over some ten thousand lines every 50 ms.
constexpr int kBatch = 10000;

void AppendMillionLines(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    // The lines of a random run: a blank line and a trial header, now and then a minimum.
    std::vector<LineStore> batches(kLines / kBatch);
    int trial = 0;
    for (LineStore& batch : batches) {
      while (batch.size() < kBatch) {
        batch.Append("");
        batch.Append("TRIAL" + std::to_string(++trial) + ":");
        if (trial % 50 == 0) {
          batch.Append("MINIMUM AT:");
          batch.Append("x=-2.80511808695274");
          batch.Append("y=3.13131251825057");
          batch.Append("FUNCTION=3.85531739908491E-26");
        }
      }
    }
    auto model = std::make_unique<ListingModel>();
    auto view = std::make_unique<ListingView>(model.get());
    view->setFont(QFont("Courier New", 9));
    view->resize(600, 420);
    view->show();
    QApplication::processEvents();
    const double before = ResidentMb();
    state.ResumeTiming();
    for (const LineStore& batch : batches) {
      model->Append(batch);
      QApplication::processEvents();  // the view lays the new rows out, as in the window
    }
    view->scrollToBottom();
    QApplication::processEvents();
    state.PauseTiming();
    state.counters["lines"] = model->rowCount();
    state.counters["grown_MB"] = ResidentMb() - before;
    state.counters["store_MB"] = static_cast<double>(model->lines().capacityBytes()) / 1048576.0;
    view.reset();
    model.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(AppendMillionLines)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Types into a field of the window and leaves it with Tab, as a user does.
void Type(frmZorvex& window, const char* name, const QString& text) {
  quorvant::driver::TypeAndLeave(window, name, text);
}

// Closes the window and destroys it; the milliseconds that took.
double CloseMs(std::unique_ptr<frmZorvex>& window) {
  QElapsedTimer closing;
  closing.start();
  window->close();
  window.reset();
  return static_cast<double>(closing.nsecsElapsed()) / 1e6;
}

std::unique_ptr<frmZorvex> LinearProblem(const QString& trials) {
  auto window = std::make_unique<frmZorvex>();
  window->SetUnsavedPrompt([](bool) { return frmZorvex::UnsavedAnswer::Discard; });
  window->show();
  QApplication::setActiveWindow(window.get());
  if (!QTest::qWaitForWindowActive(window.get()))
    std::fprintf(stderr, "the window is not active\n");
  Type(*window, "txtOrder", "1");
  Type(*window, "txtVarNams", "x");
  // Every point of f(x) = 0*x is stationary and neither maximum nor minimum: a trial
  // lists its blank line and header only, and nothing fills the store.
  Type(*window, "txtEquation", "0*x");
  Type(*window, "txtRand", trials);
  return window;
}

void WindowRandomRun(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<frmZorvex> window = LinearProblem("500000");
    QApplication::processEvents();
    const double empty = ResidentMb();
    QSignalSpy done(window.get(), &frmZorvex::runFinished);
    state.ResumeTiming();
    window->cmdRandom_Click();
    done.wait(600000);
    QApplication::processEvents();
    state.PauseTiming();
    state.counters["lines"] = window->listing()->rowCount();
    state.counters["above_empty_window_MB"] = ResidentMb() - empty;
    state.counters["close_ms"] = CloseMs(window);
    state.ResumeTiming();
  }
}
BENCHMARK(WindowRandomRun)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void StopDuringARun(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<frmZorvex> window = LinearProblem("50000000");
    QSignalSpy done(window.get(), &frmZorvex::runFinished);
    window->cmdRandom_Click();
    QTest::qWait(1000);  // the run is well under way, the window busy with its lines
    QElapsedTimer stopping;
    state.ResumeTiming();
    stopping.start();
    // Stop as the button does, from the window's event loop.
    QTest::mouseClick(window->findChild<QPushButton*>("cmdStop"), Qt::LeftButton);
    if (done.isEmpty()) done.wait(60000);
    state.PauseTiming();
    state.counters["stop_ms"] = static_cast<double>(stopping.nsecsElapsed()) / 1e6;
    state.counters["lines_at_stop"] = window->listing()->rowCount();
    // Closing a window that holds all those lines.
    state.counters["close_ms"] = CloseMs(window);
    state.ResumeTiming();
  }
}
BENCHMARK(StopDuringARun)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Closing during a run: the question is answered Discard, the run stops, the window
// goes.
void CloseDuringARun(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<frmZorvex> window = LinearProblem("50000000");
    window->cmdRandom_Click();
    QTest::qWait(1000);
    state.ResumeTiming();
    const double closeMs = CloseMs(window);
    state.PauseTiming();
    state.counters["close_ms"] = closeMs;
    state.ResumeTiming();
  }
}
BENCHMARK(CloseDuringARun)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
