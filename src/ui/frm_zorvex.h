// The main window: the problem's fields, the interval editor, the user constants,
// the run commands and the results panel. It wires widgets to the core and does no
// numerics of its own.
#pragma once

#include <QMainWindow>
#include <QMessageBox>
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
class RunWorker;
struct RunOutcome;
class StationaryPointsTable;

// The icon of a message box of the core: file failures and other warnings get the
// warning sign, the interpreter's errors the error sign.
QMessageBox::Icon BoxIcon(MessageIcon icon);

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
  // means no file was chosen. SaveListing names the text file of "Save Listing As...".
  enum class FileDialogKind { Open, Save, SaveListing };
  using FileDialogProvider = std::function<QString(FileDialogKind)>;
  void SetFileDialogProvider(FileDialogProvider provider) { fileDialogs_ = std::move(provider); }
  // Asks the user a yes-or-no question (a message box, or a test); true for Yes.
  using Confirmer = std::function<bool(const QString& question)>;
  void SetConfirmer(Confirmer confirm) { confirm_ = std::move(confirm); }
  // Prepares the printer for the report (the print dialog, or a test); false cancels.
  using PrinterSetup = std::function<bool(QPrinter&)>;
  void SetPrinterSetup(PrinterSetup setup) { printerSetup_ = std::move(setup); }
  const std::string& problemPath() const { return problemPath_; }

  // Asked before unsaved work would be lost (closing the window, Open): Save, Discard or
  // Cancel; `canSave` is false where Save is not possible yet (the names not given),
  // and the question then offers Discard and Cancel only. A message box unless set.
  enum class UnsavedAnswer { Save, Discard, Cancel };
  using UnsavedPrompt = std::function<UnsavedAnswer(bool canSave)>;
  void SetUnsavedPrompt(UnsavedPrompt prompt) { unsavedPrompt_ = std::move(prompt); }
  // Whether the problem or its results changed since the last Open or Save (or since
  // the window was created); always during a run. The title shows it once a file is
  // named ("Quorvant - name.zvx*").
  bool isModified() const { return modified_; }
  // Asks about unsaved work as closing does; true when it may be lost now (saved,
  // discarded, or there was none). A run in progress is stopped once the answer allows.
  bool MaybeSave();
  // The problem files opened or saved last (most recent first), as File > Recent Files
  // lists them.
  QStringList recentFiles() const;
  QMenu* recentFilesMenu() const { return mnuRecent_; }

  // The problem as the fields show it now, with the names and the extrema stored by
  // the last run or Open: what Save writes, Print prints, Plot draws and a run searches.
  Problem ProblemFromFields() const;

  // Starts a program (File > New starts this one again): QProcess, or a test.
  using Launcher = std::function<bool(const QString& program, const QStringList& arguments)>;
  void SetLauncher(Launcher launch) { launcher_ = std::move(launch); }

  // The commands, as the buttons and menus run them.
  void mnuNew_Click();
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
  QTableView* pointsTable() const;
  // The results list and the lines it holds.
  ListingView* listingView() const { return lstExtrema; }
  ListingModel* listing() const { return listing_; }
  // Writes the listing's lines into `path` as text; false (with the reason shown) when
  // it cannot be written.
  bool SaveListing(const QString& path);
  void SaveListingAs();
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
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void createMenus();
  void PlaceNewWindow(QWidget* window);
  void FitToScreen();
  void UpdateRecentFilesMenu();
  void OpenRecentFile(const QString& path);
  // The local file a drag brings, when there is exactly one and Open is allowed now.
  QString DroppedFile(const QMimeData* mime) const;
  QString AcceptDroppedFile(QDropEvent* event) const;
  bool OpenAllowed() const;
  void SetCurrentFile(const std::string& path);
  void UpdateTitle();
  // What Save would write, as one text: equal texts mean nothing changed.
  std::string Fingerprint() const;
  void UpdateModified();
  void MarkSaved();
  void onLinesReady(const LineStore& lines, int permille);
  void ShowRunErrorPosition(const script::ScriptError& error);
  void createProblemFields(QWidget* host);
  QWidget* createResultsPanel();
  void guardFields();
  bool ReadSpecs(Problem& problem);
  void startRun(SearchOptions options);
  void onRunFinished(const std::shared_ptr<RunOutcome>& outcome);
  void setRunning(bool running);
  void setSelectAllOnFocus(QLineEdit* field);
  void ShowProblemDefined();
  QString AskFileName(FileDialogKind kind);
  QString WithProblemSuffix(const QString& name);
  bool OpenProblemFile(const std::string& path);
  void SetDisplayedSpecs(const Problem& problem);
  void WriteProblemFile(const FileStamp& expected);
  // A message box of the window's own (file failures): the warning sign.
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
  std::string currentFile_;       // the file the title names: opened or saved here
  std::string savedFingerprint_;  // Fingerprint() at the last Open or Save (or at start)
  bool modified_ = false;
  bool running_ = false;              // a run started and its end not yet handled
  QPushButton* startedBy_ = nullptr;  // the command that started the last run

  // fields
  QLineEdit* txtOrder;
  QLineEdit* txtVarNams;
  QLineEdit* txtError;
  QLineEdit* txtMaxcy;
  QLineEdit* txtRand;
  QLineEdit* txtEquation;
  ElidedLabel* lblEquation;
  ConstantsEditor* constants_;
  IntervalEditor* intervals_;
  // run commands and results
  QPushButton* cmdExplore;
  QPushButton* cmdRandom;
  QPushButton* cmdStop;
  QProgressBar* prgRun;
  ListingModel* listing_;
  ListingView* lstExtrema;
  QLabel* lblExtrema;
  QLabel* lblRunNote;  // beside the counts: a stopped run's listing is incomplete
  QCheckBox* chkShowPivots;
  QTabWidget* tabResults;
  StationaryPointsTable* points_;
  std::vector<StationaryPoint> lastPoints_;
  // menus
  QAction* mnuNew;
  QAction* mnuOpen;
  QMenu* mnuRecent_;
  QAction* mnuQuit;
  QAction* mnuSave;
  QAction* mnuSaveAs;
  QAction* mnuPrint;
  QAction* mnuPlot;
  QAction* mnuHelp;
  QAction* mnuAbout;
  std::array<bool, 4> fileState_{};  // Open, Save, Save As, Print before a run
  FileDialogProvider fileDialogs_;
  Confirmer confirm_;
  UnsavedPrompt unsavedPrompt_;
  PrinterSetup printerSetup_;
  Launcher launcher_;
  QString helpFolder_;
  QPointer<frmAbout> about_;
  QPointer<HelpWindow> help_;
  QPointer<PlotWindow> plot_;
  WindowSettings settings_;
};

}  // namespace quorvant
