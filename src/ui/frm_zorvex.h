// The main window: the problem's fields, the interval editor, the user constants,
// the run commands and the results panel. It wires widgets to the core and does no
// numerics of its own.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "docs/safe_file.h"
#include "engine/run_hooks.h"
#include "engine/search_options.h"
#include "model/function_evaluator.h"
#include "model/message_sink.h"
#include "model/problem.h"
#include "ui/frm_about.h"
#include "ui/help_window.h"
#include "ui/plot_window.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QPrinter;
class QTableWidget;
class QTabWidget;

namespace quorvant {

class ConstantsEditor;
class FieldGuard;
class IntervalEditor;
class RunWorker;
class StationaryPointsTable;

class frmZorvex : public QMainWindow {
  Q_OBJECT
 public:
  // `messages` receives the core's message boxes; null shows them as dialogs.
  explicit frmZorvex(MessageSink* messages = nullptr, QWidget* parent = nullptr);
  ~frmZorvex() override;

  // The window states: a new problem, the number of variables given, the problem
  // defined (names given or a file opened).
  enum class WindowState { New, CountGiven, ProblemDefined };
  WindowState windowState() const;
  bool runInProgress() const;
  FunctionEvaluator& evaluator() { return *evaluator_; }

  // Where file names come from: the toolkit's dialogs, or a test. An empty name
  // means no file was chosen.
  enum class FileDialogKind { Open, Save };
  using FileDialogProvider = std::function<QString(FileDialogKind)>;
  void SetFileDialogProvider(FileDialogProvider provider) { fileDialogs_ = std::move(provider); }
  // Asks the user a yes-or-no question (a message box, or a test); true for Yes.
  using Confirmer = std::function<bool(const QString& question)>;
  void SetConfirmer(Confirmer confirm) { confirm_ = std::move(confirm); }
  // Prepares the printer for the report (the print dialog, or a test); false cancels.
  using PrinterSetup = std::function<bool(QPrinter&)>;
  void SetPrinterSetup(PrinterSetup setup) { printerSetup_ = std::move(setup); }
  const std::string& problemPath() const { return problemPath_; }

  // The problem as the fields show it now, with the names and the extrema stored by
  // the last run or Open: what Save writes, Print prints, Plot draws and a run searches.
  Problem ProblemFromFields() const;

  // The commands, as the buttons and menus run them.
  void mnuOpen_Click();
  // Opens a problem file named on the command line exactly as File > Open does with
  // the name the dialog hands back.
  bool OpenNamedFile(const QString& path);
  void mnuSave_Click();
  void mnuSaveAs_Click();
  void mnuPrint_Click();
  void mnuHelp_Click();
  void mnuPlot_Click();
  PlotWindow* plotWindow() const { return plot_; }
  // The stationary points of the last run, as the table lists them.
  QTableWidget* pointsTable() const;
  bool ExportPointsCsv(const QString& path) const;
  PlotData CurrentPlotData() const;
  void mnuAbout_Click();
  // Where Help looks for its pages (the folder beside the program unless set).
  void SetHelpFolder(const QString& folder) { helpFolder_ = folder; }
  frmAbout* aboutWindow() const { return about_; }
  HelpWindow* helpWindow() const { return help_; }
  void cmdExplore_Click();
  void cmdRandom_Click();
  void cmdStop_Click();
  void ClearResults();

 signals:
  void runFinished();
  // The window is closing: the program ends after it.
  void unloading();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void createMenus();
  void createProblemFields(QWidget* host);
  QWidget* createResultsPanel();
  void guardFields();
  bool ReadSpecs(Problem& problem);
  void startRun(SearchOptions options);
  void onRunFinished();
  void setRunning(bool running);
  void setSelectAllOnFocus(QLineEdit* field);
  void ShowProblemDefined();
  QString AskFileName(FileDialogKind kind);
  bool OpenProblemFile(const std::string& path);
  void SetDisplayedSpecs(const Problem& problem);
  void WriteProblemFile(const FileStamp& expected);
  void ShowMessage(const QString& title, const QString& text);
  void UpdatePlotMenu();

  std::unique_ptr<MessageSink> ownMessages_;
  MessageSink* messages_;
  std::unique_ptr<FunctionEvaluator> evaluator_;
  FieldGuard* guard_;
  RunWorker* worker_;

  // The problem as far as the window has accepted it: the names (once given) and the
  // extrema stored by the last run or Open. Everything else lives in the fields.
  Problem problem_;
  int32_t varCount_ = 0;          // the accepted number of variables
  bool loading_ = false;          // a problem file is being put into the fields
  double errorBoundOnFocus_ = 0;  // the error bound when its field got the focus
  std::string problemPath_;       // the file opened or saved last
  FileStamp problemStamp_;        // its version as opened or saved here

  // fields
  QLineEdit* txtOrder;
  QLineEdit* txtVarNams;
  QLineEdit* txtError;
  QLineEdit* txtMaxcy;
  QLineEdit* txtRand;
  QLineEdit* txtEquation;
  QLabel* lblEquation;
  ConstantsEditor* constants_;
  IntervalEditor* intervals_;
  // run commands and results
  QPushButton* cmdExplore;
  QPushButton* cmdRandom;
  QPushButton* cmdStop;
  QProgressBar* prgRun;
  QListWidget* lstExtrema;
  QLabel* lblExtrema;
  QCheckBox* chkShowPivots;
  QTabWidget* tabResults;
  StationaryPointsTable* points_;
  std::vector<StationaryPoint> lastPoints_;
  // menus
  QAction* mnuOpen;
  QAction* mnuSave;
  QAction* mnuSaveAs;
  QAction* mnuPrint;
  QAction* mnuPlot;
  QAction* mnuHelp;
  QAction* mnuAbout;
  std::array<bool, 4> fileState_{};  // Open, Save, Save As, Print before a run
  FileDialogProvider fileDialogs_;
  Confirmer confirm_;
  PrinterSetup printerSetup_;
  QString helpFolder_;
  QPointer<frmAbout> about_;
  QPointer<HelpWindow> help_;
  QPointer<PlotWindow> plot_;
};

}  // namespace quorvant
