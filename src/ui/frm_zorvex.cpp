#include "ui/frm_zorvex.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPrinter>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "engine/listing.h"
#include "engine/plot_data.h"
#include "model/numtext.h"
#include "ui/constants_editor.h"
#include "ui/elided_label.h"
#include "ui/field_guard.h"
#include "ui/interval_editor.h"
#include "ui/listing_model.h"
#include "ui/qt_report_printer.h"
#include "ui/ui_style.h"

namespace quorvant {

frmZorvex::frmZorvex(MessageSink* messages, QWidget* parent) : QMainWindow(parent) {
  setWindowTitle("Quorvant");
  setObjectName("frmZorvex");
  if (!messages) {
    ownMessages_ = std::make_unique<DialogMessages>(this);
    messages = ownMessages_.get();
  }
  messages_ = messages;
  // The interpreter is prepared once, with halfpi, pi and e.
  evaluator_ = std::make_unique<FunctionEvaluator>(*messages);
  evaluator_->Prepare();
  guard_ = new FieldGuard(this);
  fieldKeys_ = new FieldKeys(this, [this](QDropEvent* event) {
    if (event->type() == QEvent::Drop)
      dropEvent(event);
    else
      AcceptDroppedFile(event);
  });
  windows_ = new SecondaryWindows(this, settings_);
  run_ = new RunController(*messages_, this);
  connect(run_, &RunController::linesReady, this, &frmZorvex::onLinesReady);
  connect(run_, &RunController::finished, this, &frmZorvex::onRunFinished);
  connect(run_, &RunController::proofProgress, this, &frmZorvex::onProofProgress);
  connect(run_, &RunController::proofFinished, this, &frmZorvex::onProofFinished);
  setAcceptDrops(true);

  createMenus();
  auto* central = new QWidget;
  auto* columns = new QHBoxLayout(central);
  // Close spacing keeps the smallest window within a 1366 x 768 screen at 150 %.
  columns->setContentsMargins(8, 6, 8, 4);
  auto* left = new QVBoxLayout;
  left->setSpacing(4);
  constants_ = new ConstantsEditor;
  intervals_ =
      new IntervalEditor(*guard_, [this](QLineEdit* field) { setSelectAllOnFocus(field); });
  createProblemFields();
  left->addWidget(fields_);
  left->addWidget(constants_);
  left->addWidget(intervals_);
  left->addStretch(1);
  // Both columns share a wider window: long formulas and names get room too.
  columns->addLayout(left, 2);
  columns->addWidget(createResultsPanel(), 3);
  setCentralWidget(central);
  setStatusBar(new ElidingStatusBar);

  connect(constants_, &ConstantsEditor::edited, this, &frmZorvex::ClearResults);
  connect(constants_, &ConstantsEditor::listChanged, this, &frmZorvex::UpdateModified);
  connect(intervals_, &IntervalEditor::edited, this, &frmZorvex::UpdateModified);
  constants_->combo()->lineEdit()->installEventFilter(fieldKeys_);
  connect(constants_, &ConstantsEditor::resetRequested, this,
          [this](const QString& statement) { evaluator_->Execute(statement.toStdString()); });
  connect(constants_, &ConstantsEditor::full, this, [this] {
    statusBar()->showMessage("The constants table is full (101 constants): remove one first.",
                             5000);
  });

  // Tab order: the six fields, the constants list, then the interval fields.
  fields_->ChainTabOrder({constants_->combo(), intervals_->firstField()});
  intervals_->LoadObjects(1);
  const QByteArray geometry = settings_.Geometry();
  if (geometry.isEmpty() || !restoreGeometry(geometry)) FitToScreen(this);
  MarkSaved();
  fields_->orderField()->setFocus();
}

frmZorvex::~frmZorvex() {
  run_->StopAndWait();
}

void frmZorvex::closeEvent(QCloseEvent* event) {
  if (!MaybeSave()) {
    event->ignore();
    return;
  }
  run_->StopAndWait();
  settings_.SetGeometry(saveGeometry());
  windows_->CloseAll();
  emit unloading();
  QMainWindow::closeEvent(event);
}

void frmZorvex::createMenus() {
  mnuRecent_ = new RecentFilesMenu(
      settings_,
      [this](const QString& path) {
        if (MaybeSave()) OpenProblemFile(path.toStdString());
      },
      [this](const QString& text) { ShowMessage("Quorvant", text); }, this);
  menus_.Build(menuBar(), mnuRecent_);
  connect(menus_.newFile, &QAction::triggered, this, &frmZorvex::mnuNew_Click);
  connect(menus_.open, &QAction::triggered, this, &frmZorvex::mnuOpen_Click);
  connect(menus_.save, &QAction::triggered, this, &frmZorvex::mnuSave_Click);
  connect(menus_.saveAs, &QAction::triggered, this, &frmZorvex::mnuSaveAs_Click);
  connect(menus_.quit, &QAction::triggered, this, &QWidget::close);
  connect(menus_.print, &QAction::triggered, this, &frmZorvex::mnuPrint_Click);
  connect(menus_.help, &QAction::triggered, this, &frmZorvex::mnuHelp_Click);
  connect(menus_.plot, &QAction::triggered, this, &frmZorvex::mnuPlot_Click);
  connect(menus_.prove, &QAction::triggered, this, &frmZorvex::mnuProve_Click);
  connect(menus_.about, &QAction::triggered, this, &frmZorvex::mnuAbout_Click);
  // Recent Files opens as Open does, where Open is allowed.
  connect(menus_.open, &QAction::changed, this, &frmZorvex::UpdateRecentFilesMenu);
  UpdateRecentFilesMenu();
}

// A problem per window: a new window is a new run of the program, which starts empty
// with every command in its first state (Open among them).
void frmZorvex::mnuNew_Click() {
  const QString program = QCoreApplication::applicationFilePath();
  if (!dialogs_.Launch(program, {}))
    ShowMessage("Quorvant", "A new window could not be started: \"" + program + "\" did not run.");
}

void frmZorvex::ShowMessage(const QString& title, const QString& text) {
  // The warning sign: these are file failures and refusals, not the interpreter's errors.
  messages_->ShowMessage(title.toStdString(), text.toStdString(), MessageIcon::Exclamation);
}

Problem frmZorvex::ProblemFromFields() const {
  Problem p = problem_;
  fields_->ReadInto(p);
  p.constants = constants_->statements();
  intervals_->ReadInto(p);
  return p;
}

// Open: a file is read whole into a fresh problem first, so a file that cannot be read
// leaves the window and the problem exactly as they were.
void frmZorvex::mnuOpen_Click() {
  if (!OpenAllowed() || !MaybeSave()) return;
  const QString name = dialogs_.AskFileName(FileDialogKind::Open);
  if (name.isEmpty()) return;
  OpenProblemFile(name.toStdString());
}

bool frmZorvex::OpenNamedFile(const QString& path) {
  if (!OpenAllowed() || path.isEmpty() || !MaybeSave()) return false;
  return OpenProblemFile(path.toStdString());
}

bool frmZorvex::OpenAllowed() const {
  return menus_.open->isEnabled() && !run_->running();
}

bool frmZorvex::OpenProblemFile(const std::string& path) {
  Problem opened;
  std::string error;
  std::string notice;
  if (!document_.Open(path, opened, error, notice)) {
    // The reader's messages name the file or the line themselves.
    ShowMessage("Quorvant", QString::fromStdString(error));
    return false;
  }
  // An interrupted save was completed, or left a copy that is kept: the user hears of it.
  if (!notice.empty()) ShowMessage("Quorvant", QString::fromStdString(notice));
  settings_.AddRecentFile(QString::fromStdString(path));
  loading_ = true;
  fields_->SetLoading(true);
  problem_ = opened;
  constants_->SetStatements(opened.constants);
  fields_->Show(opened);
  // A constant that cannot be executed leaves the ones after it unset: the values
  // listed below would be wrong, so the user hears of it.
  if (const ConstantFailure failure = evaluator_->RegisterConstants(opened.constants))
    ShowMessage("Quorvant", QString::fromStdString(ConstantFailureMessage(failure)));
  evaluator_->SetFunction(opened.varNames, opened.formula);
  results_->ShowStored(opened, *evaluator_);
  windows_->UpdatePlot(CurrentPlotData());
  menus_.open->setEnabled(false);
  ShowProblemDefined();
  loading_ = false;
  fields_->SetLoading(false);
  MarkSaved();
  UpdateRecentFilesMenu();
  return true;
}

// Writes the problem to the document's file. A file that another program changed since
// it was opened or saved here is overwritten only when the user says so.
void frmZorvex::WriteProblemFile() {
  const Problem problem = ProblemFromFields();
  SaveResult saved = document_.Write(problem, false);
  if (saved.outcome == SaveResult::Outcome::ChangedOnDisk) {
    if (!dialogs_.Confirm(QString::fromStdString("\"" + document_.path() + "\": " + saved.reason +
                                                 ".\n\nOverwrite it with this problem?")))
      return;
    saved = document_.Write(problem, true);
  }
  if (!saved.ok()) {
    ShowMessage("Quorvant", QString::fromStdString(saved.reason));
    return;
  }
  settings_.AddRecentFile(QString::fromStdString(document_.path()));
  UpdateRecentFilesMenu();
  UpdateTitle();
  statusBar()->showMessage(QString::fromStdString("Saved " + document_.path()), 5000);
}

void frmZorvex::mnuSave_Click() {
  if (!menus_.save->isEnabled() || run_->running()) return;
  if (document_.path().empty()) {
    const QString name = dialogs_.AskFileName(FileDialogKind::Save);
    if (name.isEmpty()) return;
    document_.NameForSave(name.toStdString());
  }
  WriteProblemFile();
}

// A cancelled Save As writes nothing and keeps the remembered name.
void frmZorvex::mnuSaveAs_Click() {
  if (!menus_.saveAs->isEnabled() || run_->running()) return;
  const QString name = dialogs_.AskFileName(FileDialogKind::Save);
  if (name.isEmpty()) return;
  document_.NameForSaveAs(name.toStdString());
  WriteProblemFile();
}

// Print: the report onto the chosen printer, or into a PDF file when no printer is
// installed.
void frmZorvex::mnuPrint_Click() {
  if (run_->running()) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageMargins(QMarginsF(20, 15, 15, 15), QPageLayout::Millimeter);
  if (!dialogs_.SetUpPrinter(printer)) return;
  const Problem problem = ProblemFromFields();
  evaluator_->SetFunction(problem.varNames, problem.formula);
  const QString failure = PrintProblemReport(printer, problem, *evaluator_);
  if (!failure.isEmpty()) ShowMessage("Quorvant", failure);
}

void frmZorvex::createProblemFields() {
  fields_ = new ProblemFields(*guard_, *intervals_,
                              [this](QLineEdit* field) { setSelectAllOnFocus(field); });
  connect(fields_, &ProblemFields::countGiven, this,
          [this](int32_t count) { problem_ = Problem::WithVariables(count); });
  connect(fields_, &ProblemFields::countAccepted, this, [this] {
    menus_.open->setEnabled(false);
    UpdateModified();
  });
  connect(fields_, &ProblemFields::namesGiven, this,
          [this](const std::vector<std::string>& names) { problem_.varNames = names; });
  connect(fields_, &ProblemFields::namesAccepted, this, [this] {
    ShowProblemDefined();
    UpdateModified();
  });
  connect(fields_, &ProblemFields::resultsOutdated, this, &frmZorvex::ClearResults);
  connect(fields_, &ProblemFields::edited, this, &frmZorvex::UpdateModified);
  // The formula alone is compared as it is typed: a long one stays quick to edit.
  connect(fields_, &ProblemFields::formulaEdited, this, [this](const QString& text) {
    if (loading_) return;
    document_.SetFormula(text.toStdString());
    UpdateTitle();
  });
}

QWidget* frmZorvex::createResultsPanel() {
  results_ = new ResultsPanel;
  cmdExplore = results_->exploreButton();
  cmdRandom = results_->randomButton();
  connect(results_, &ResultsPanel::saveListingRequested, this, &frmZorvex::SaveListingAs);
  connect(results_, &ResultsPanel::exportFailed, this,
          [this](const QString& message) { ShowMessage("Quorvant", message); });
  connect(cmdExplore, &QPushButton::clicked, this, &frmZorvex::cmdExplore_Click);
  connect(cmdRandom, &QPushButton::clicked, this, &frmZorvex::cmdRandom_Click);
  connect(results_->stopButton(), &QPushButton::clicked, this, &frmZorvex::cmdStop_Click);
  connect(results_->showInfoBox(), &QCheckBox::toggled, this,
          [this](bool on) { run_->SetShowAdditionalInfo(on); });
  return results_;
}

// Save, Save As, Print, About and Plot become available once the problem is defined.
void frmZorvex::ShowProblemDefined() {
  menus_.ShowProblemDefined();
  UpdatePlotMenu();
}

// The table and the plot's stationary points go with the listing: what the listing no
// longer shows cannot be exported or plotted as if it were current.
void frmZorvex::ClearResults() {
  if (loading_ || run_->running()) return;
  results_->Clear();
  // Typing into the formula clears results each time: only a change of the stored
  // extrema is news for the document.
  if (problem_.maxima.empty() && problem_.minima.empty()) return;
  problem_.maxima.clear();
  problem_.minima.clear();
  UpdateModified();
}

// Runs use every core the machine has.
void frmZorvex::cmdExplore_Click() {
  startedBy_ = cmdExplore;
  startRun(SearchOptions::Explore(0));
}
void frmZorvex::cmdRandom_Click() {
  startedBy_ = cmdRandom;
  startRun(SearchOptions::Random(fields_->RandomSeeds(), 0));
}

void frmZorvex::startRun(SearchOptions options) {
  if (run_->running()) return;
  if (windowState() != WindowState::ProblemDefined) {
    statusBar()->showMessage("Give the number of variables and their names first.", 5000);
    return;
  }
  // The focus stays where it is: an empty function field would not let it go again.
  if (fields_->formulaField()->text().isEmpty()) {
    statusBar()->showMessage("Enter the function first.", 5000);
    return;
  }
  ClearResults();
  // The user constants are executed in the interpreter first: one that fails starts
  // nothing.
  Problem problem = ProblemFromFields();
  if (const ConstantFailure failure = evaluator_->RegisterConstants(problem.constants)) {
    statusBar()->showMessage("The run was not started. " +
                             QString::fromStdString(ConstantFailureMessage(failure)));
    return;
  }
  evaluator_->SetFunction(problem.varNames, problem.formula);
  statusBar()->clearMessage();
  run_->SetShowAdditionalInfo(results_->showInfoBox()->isChecked());
  run_->Start(std::move(problem), options, evaluator_->Recipe());
  setRunning(true);
}

// A batch of the run's lines, with the progress the run had when it wrote the last of
// them: the bar never runs ahead of the listing.
void frmZorvex::onLinesReady(const LineStore& lines, int permille) {
  results_->Append(lines, permille, run_->running());
}

void frmZorvex::onRunFinished(const std::shared_ptr<RunOutcome>& outcome) {
  const RunNotice notice = RunController::Apply(*outcome, outcome->points.size(), problem_);
  results_->SetCounts(
      QString::fromStdString(CountsCaption(problem_.maxCount(), problem_.minCount())));
  setRunning(false);
  results_->SetPoints(ProblemFromFields(), std::move(outcome->points));
  windows_->UpdatePlot(CurrentPlotData());
  if (notice.stopped) results_->ShowStopped();
  if (!notice.text.isEmpty()) statusBar()->showMessage(notice.text, notice.timeout);
  if (startedBy_ && startedBy_->isEnabled()) startedBy_->setFocus(Qt::OtherFocusReason);
  if (outcome->result.summary.end == RunEnd::Failed) ShowRunErrorPosition(outcome->error);
  emit runFinished();
}

// A formula the interpreter rejected: the cursor goes to where it reported the error
// (the message box has said what it is).
void frmZorvex::ShowRunErrorPosition(const script::ScriptError& error) {
  QLineEdit* formula = fields_->formulaField();
  const int position = RunController::ErrorPosition(error, formula->text().toStdString());
  if (position < 0) return;
  formula->setFocus(Qt::OtherFocusReason);
  // After the field's own select-all on focus, which is queued.
  QTimer::singleShot(0, formula, [formula, position] {
    formula->deselect();
    formula->setCursorPosition(position);
  });
}

// While a run is in progress nothing it uses can be changed: the run commands, the
// problem fields, the constants, the interval editor and the file commands are
// disabled, and Stop and the progress bar are shown.
void frmZorvex::setRunning(bool running) {
  document_.SetRunning(running);
  for (QWidget* w : std::initializer_list<QWidget*>{
           cmdExplore, cmdRandom, fields_->errorField(), fields_->cyclesField(),
           fields_->seedsField(), fields_->formulaField(), constants_, intervals_})
    w->setEnabled(!running);
  menus_.SetRunning(running);
  if (running)
    QApplication::setOverrideCursor(Qt::BusyCursor);
  else
    QApplication::restoreOverrideCursor();
  results_->ShowRunning(running);
  UpdatePlotMenu();
  UpdateModified();
}

void frmZorvex::UpdatePlotMenu() {
  const bool allowed = windowState() == WindowState::ProblemDefined && !run_->running();
  menus_.plot->setEnabled(allowed);
  menus_.prove->setEnabled(allowed && ProveBuilt());
}

// Everything a plot needs, as the window shows it now.
PlotData frmZorvex::CurrentPlotData() const {
  PlotData data = PlotDataFrom(ProblemFromFields(), results_->points());
  if (!results_->showsProof()) return data;
  // Every proven extremum is marked, also beyond the first 100 of each kind stored.
  data.maxima.clear();
  data.minima.clear();
  for (const StationaryPoint& p : results_->points()) {
    if (p.kind == PointKind::Maximum) data.maxima.push_back(p.point);
    if (p.kind == PointKind::Minimum) data.minima.push_back(p.point);
  }
  data.undecided = results_->undecided();
  return data;
}

// The proof compares the extrema stored now (by the last run or Open) with what it
// proves. Only the results shown are cleared: the stored extrema stay until the proof
// ends by itself, so a stopped proof leaves them (and the document) as they were. A
// formula Prove cannot prove is refused before anything changes, with the construct
// named.
void frmZorvex::mnuProve_Click() {
  if (!menus_.prove->isEnabled() || run_->running()) return;
  if (fields_->formulaField()->text().isEmpty()) {
    statusBar()->showMessage("Enter the function first.", 5000);
    return;
  }
  Problem problem = ProblemFromFields();
  if (const ConstantFailure failure = evaluator_->RegisterConstants(problem.constants)) {
    statusBar()->showMessage("The proof was not started. " +
                             QString::fromStdString(ConstantFailureMessage(failure)));
    return;
  }
  evaluator_->SetFunction(problem.varNames, problem.formula);
  if (const std::string refusal = ProveRefusal(*evaluator_, problem); !refusal.empty()) {
    ShowMessage("Quorvant", QString::fromStdString(refusal));
    return;
  }
  results_->Clear();
  statusBar()->clearMessage();
  startedBy_ = nullptr;
  run_->StartProof(std::move(problem), evaluator_->Recipe());
  setRunning(true);
}

// The bar shows the share of the sub-boxes met so far that were examined; the status
// bar the counts, as the runner's progress line says them.
void frmZorvex::onProofProgress(const ProveCounts& counts) {
  const int64_t met = counts.boxes + counts.waiting;
  results_->ShowProgress(met > 0 ? static_cast<int>(1000 * counts.boxes / met) : 0);
  statusBar()->showMessage(QString("%1 sub-boxes examined, %2 waiting, %3 %4 of a single "
                                   "stationary point")
                               .arg(counts.boxes)
                               .arg(counts.waiting)
                               .arg(counts.proven)
                               .arg(counts.proven == 1 ? "proof" : "proofs"));
}

// The listing as the runner writes it, the proven points the table's, and the plot marks
// them with the undecided sub-boxes. A proof that ended by itself (also by its budget,
// as the runner's --save does) makes the proven maxima and minima the stored extrema
// (what Save writes); a stopped one leaves the stored extrema as they were, so that a
// Save cannot write its partial list over earlier, complete results.
void frmZorvex::onProofFinished(const std::shared_ptr<ProveOutcome>& outcome) {
  if (!outcome->refusal.empty()) {
    setRunning(false);
    statusBar()->clearMessage();
    ShowMessage("Quorvant", QString::fromStdString(outcome->refusal));
    emit runFinished();
    return;
  }
  if (!outcome->stopped) {
    problem_.maxima = outcome->maxima;
    problem_.minima = outcome->minima;
  }
  results_->Append(outcome->lines, 1000, false);
  results_->SetCounts(QString::fromStdString(CountsCaption(
      static_cast<int32_t>(outcome->maxima.size()), static_cast<int32_t>(outcome->minima.size()))));
  setRunning(false);
  results_->SetPoints(ProblemFromFields(), std::move(outcome->points), outcome->kinds);
  results_->SetProof(std::move(outcome->undecided));
  windows_->UpdatePlot(CurrentPlotData());
  QStringList notes;
  if (outcome->stopped) {
    results_->ShowStopped();
    notes << "Stopped: incomplete; the stored extrema are left as they were.";
  } else if (outcome->provenMaxima > kStoreSize || outcome->provenMinima > kStoreSize) {
    notes << QString(
                 "The stored extrema keep the first %1 of each kind (in the listing's order): "
                 "%2 maxima and %3 minima were proven.")
                 .arg(kStoreSize)
                 .arg(outcome->provenMaxima)
                 .arg(outcome->provenMinima);
  }
  if (notes.isEmpty())
    statusBar()->clearMessage();
  else
    statusBar()->showMessage(notes.join("  "));
  emit runFinished();
}

void frmZorvex::mnuPlot_Click() {
  if (!menus_.plot->isEnabled()) return;
  windows_->ShowPlot(CurrentPlotData());
}

void frmZorvex::UpdateModified() {
  if (loading_) return;
  document_.Update(ProblemFromFields());
  UpdateTitle();
}

void frmZorvex::MarkSaved() {
  document_.MarkSaved(ProblemFromFields());
  UpdateTitle();
}

// "Quorvant" until a file is opened or saved, then "Quorvant - name.zvx", with the
// modified marker.
void frmZorvex::UpdateTitle() {
  if (document_.shownFile().empty()) {
    setWindowTitle("Quorvant");
    return;
  }
  QString name = QFileInfo(QString::fromStdString(document_.shownFile())).fileName();
  name.replace("[*]", "[**]");  // a literal "[*]" in a name is not the marker
  setWindowTitle("Quorvant - " + name + "[*]");
  setWindowModified(document_.modified());
}

bool frmZorvex::MaybeSave() {
  if (!document_.modified()) return true;
  const bool running = run_->running();
  const bool canSave = menus_.SaveAllowed(running);
  const auto step = ProblemDocument::AfterAnswer(dialogs_.AskUnsaved(canSave, running), canSave);
  if (step == ProblemDocument::Step::Stay) return false;
  // The run ends first: what is saved, or discarded, is what it found until now.
  if (running) run_->StopAndWait();
  if (step == ProblemDocument::Step::Proceed) return true;
  mnuSave_Click();
  return !document_.modified();
}

void frmZorvex::SaveListingAs() {
  if (results_->listing()->rowCount() == 0) return;
  const QString name = dialogs_.AskFileName(FileDialogKind::SaveListing);
  if (!name.isEmpty()) SaveListing(name);
}

bool frmZorvex::SaveListing(const QString& path) {
  if (const QString failure = results_->SaveListing(path); !failure.isEmpty()) {
    ShowMessage("Quorvant", failure);
    return false;
  }
  statusBar()->showMessage("Saved the listing as " + path, 5000);
  return true;
}

// A problem file dropped on the window opens as File > Open does; where Open is not
// allowed (a problem already given, a run in progress), the drop is refused.
QString frmZorvex::AcceptDroppedFile(QDropEvent* event) const {
  return FieldKeys::AcceptDroppedFile(event, OpenAllowed());
}

void frmZorvex::dragEnterEvent(QDragEnterEvent* event) {
  AcceptDroppedFile(event);
}

void frmZorvex::dragMoveEvent(QDragMoveEvent* event) {
  AcceptDroppedFile(event);
}

void frmZorvex::dropEvent(QDropEvent* event) {
  const QString path = AcceptDroppedFile(event);
  if (!path.isEmpty() && MaybeSave()) OpenProblemFile(path.toStdString());
}

}  // namespace quorvant
