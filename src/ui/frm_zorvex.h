// The main window: the problem's fields, the interval editor, the user constants,
// the run commands and the results panel. It wires widgets to the core and does no
// numerics of its own.
#pragma once

#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "docs/problem_document.h"
#include "engine/run_hooks.h"
#include "engine/search_options.h"
#include "model/function_evaluator.h"
#include "model/message_sink.h"
#include "model/problem.h"
#include "ui/field_keys.h"
#include "ui/main_menus.h"
#include "ui/plot_window.h"
#include "ui/points_table.h"
#include "ui/problem_fields.h"
#include "ui/recent_files_menu.h"
#include "ui/results_panel.h"
#include "ui/run_controller.h"
#include "ui/secondary_windows.h"
#include "ui/window_dialogs.h"
#include "ui/window_settings.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QPrinter;
class QTableView;
class QTabWidget;
class QMimeData;
class QDropEvent;

namespace quorvant {

class ConstantsEditor;
class ElidedLabel;
class FieldGuard;
class IntervalEditor;
class LineStore;
class ListingModel;
class ListingView;
class FieldKeys;
class ProblemFields;
class SecondaryWindows;
class RecentFilesMenu;
class ResultsPanel;
class RunController;
struct RunOutcome;
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
  WindowState windowState() const { return static_cast<WindowState>(fields_->state()); }
  bool runInProgress() const { return run_->running(); }
  FunctionEvaluator& evaluator() { return *evaluator_; }

  // The dialogs and questions (see WindowDialogs), the toolkit's unless a test sets them.
  using FileDialogKind = WindowDialogs::FileDialogKind;
  void SetFileDialogProvider(WindowDialogs::FileDialogProvider provider) {
    dialogs_.fileDialogs = std::move(provider);
  }
  void SetConfirmer(WindowDialogs::Confirmer confirm) { dialogs_.confirm = std::move(confirm); }
  void SetPrinterSetup(WindowDialogs::PrinterSetup setup) {
    dialogs_.printerSetup = std::move(setup);
  }
  const std::string& problemPath() const { return document_.path(); }

  // Asked before unsaved work would be lost (closing the window, Open).
  using UnsavedAnswer = ProblemDocument::Answer;
  void SetUnsavedPrompt(WindowDialogs::UnsavedPrompt prompt) {
    dialogs_.unsavedPrompt = std::move(prompt);
  }
  // Whether the problem or its results changed since the last Open or Save (or since
  // the window was created); always during a run. The title shows it once a file is
  // named ("Quorvant - name.zvx*").
  bool isModified() const { return document_.modified(); }
  // Asks about unsaved work as closing does; true when it may be lost now (saved,
  // discarded, or there was none). A run in progress is stopped once the answer allows.
  bool MaybeSave();
  // The problem files opened or saved last (most recent first), as File > Recent Files
  // lists them.
  QStringList recentFiles() const { return settings_.RecentFiles(); }
  QMenu* recentFilesMenu() const { return mnuRecent_; }

  // The problem as the fields show it now, with the names and the extrema stored by
  // the last run or Open: what Save writes, Print prints, Plot draws and a run searches.
  Problem ProblemFromFields() const;

  // Starts a program (File > New starts this one again): QProcess, or a test.
  void SetLauncher(WindowDialogs::Launcher launch) { dialogs_.launcher = std::move(launch); }

  // The commands, as the buttons and menus run them.
  void mnuNew_Click();
  void mnuOpen_Click();
  // Opens a problem file named on the command line exactly as File > Open does with
  // the name the dialog hands back.
  bool OpenNamedFile(const QString& path);
  void mnuSave_Click();
  void mnuSaveAs_Click();
  void mnuPrint_Click();
  void mnuHelp_Click() { windows_->ShowHelp(); }
  void mnuPlot_Click();
  // Proves over the search box that the list of stationary points is complete (or says
  // what it could not decide), on a worker thread; Stop ends it.
  void mnuProve_Click();
  PlotWindow* plotWindow() const { return windows_->plot(); }
  // The stationary points of the last run, as the table lists them.
  QTableView* pointsTable() const { return results_->pointsTable()->table(); }
  // The results list and the lines it holds.
  ListingView* listingView() const { return results_->listingView(); }
  ListingModel* listing() const { return results_->listing(); }
  // Writes the listing's lines into `path` as text; false (with the reason shown) when
  // it cannot be written.
  bool SaveListing(const QString& path);
  void SaveListingAs();
  bool ExportPointsCsv(const QString& path) const {
    return results_->pointsTable()->ExportCsv(path);
  }
  PlotData CurrentPlotData() const;
  void mnuAbout_Click() { windows_->ShowAbout(); }
  // Where Help looks for its pages (the folder beside the program unless set).
  void SetHelpFolder(const QString& folder) { windows_->SetHelpFolder(folder); }
  frmAbout* aboutWindow() const { return windows_->about(); }
  HelpWindow* helpWindow() const { return windows_->help(); }
  void cmdExplore_Click();
  void cmdRandom_Click();
  void cmdStop_Click() { run_->RequestStop(); }
  void ClearResults();

 signals:
  void runFinished();
  // The window is closing: the program ends after it.
  void unloading();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void createMenus();
  void UpdateRecentFilesMenu() { mnuRecent_->Update(OpenAllowed()); }
  // The local file a drag brings, when there is exactly one and Open is allowed now;
  // the event accepted as a copy then, ignored otherwise.
  QString AcceptDroppedFile(QDropEvent* event) const;
  bool OpenAllowed() const;
  void UpdateTitle();
  // The document told of the problem as the fields show it now.
  void UpdateModified();
  void MarkSaved();
  void onLinesReady(const LineStore& lines, int permille);
  void ShowRunErrorPosition(const script::ScriptError& error);
  void createProblemFields();
  QWidget* createResultsPanel();
  void startRun(SearchOptions options);
  void onRunFinished(const std::shared_ptr<RunOutcome>& outcome);
  void onProofProgress(const ProveCounts& counts);
  void onProofFinished(const std::shared_ptr<ProveOutcome>& outcome);
  void setRunning(bool running);
  void setSelectAllOnFocus(QLineEdit* field) { field->installEventFilter(fieldKeys_); }
  void ShowProblemDefined();
  bool OpenProblemFile(const std::string& path);
  void WriteProblemFile();
  // A message box of the window's own (file failures): the warning sign.
  void ShowMessage(const QString& title, const QString& text);
  void UpdatePlotMenu();

  std::unique_ptr<MessageSink> ownMessages_;
  MessageSink* messages_;
  std::unique_ptr<FunctionEvaluator> evaluator_;
  FieldGuard* guard_;
  RunController* run_;
  ProblemDocument document_;

  // The problem as far as the window has accepted it: the names (once given) and the
  // extrema stored by the last run or Open. Everything else lives in the fields.
  Problem problem_;
  bool loading_ = false;              // a problem file is being put into the fields
  QPushButton* startedBy_ = nullptr;  // the command that started the last run

  // fields
  ProblemFields* fields_;
  ConstantsEditor* constants_;
  IntervalEditor* intervals_;
  // run commands and results
  QPushButton* cmdExplore;
  QPushButton* cmdRandom;
  ResultsPanel* results_;
  // menus
  RecentFilesMenu* mnuRecent_;
  MainMenus menus_;
  SecondaryWindows* windows_;
  FieldKeys* fieldKeys_;
  WindowSettings settings_;
  WindowDialogs dialogs_{this, settings_};
};

}  // namespace quorvant
