#include "ui/frm_zorvex.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QHeaderView>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "engine/listing.h"
#include "model/numtext.h"
#include "docs/report.h"
#include "ui/field_guard.h"
#include "ui/frm_about.h"
#include "ui/help_window.h"
#include "ui/qt_report_printer.h"
#include "ui/run_worker.h"

namespace quorvant {

namespace {

QFont FieldFont() { return QFont("Verdana", 9); }
QFont LabelFont() { return QFont("MS Sans Serif", 9); }

double Value(const QLineEdit* field) { return ReadLeadingNumber(field->text().toStdString()); }

// A whole number for a count: the value rounded half to even, kept in the 32-bit
// range.
int32_t WholeValue(const QLineEdit* field) {
  const double v = RoundHalfEven(Value(field));
  if (!(v > -2147483648.0)) return INT32_MIN;
  if (!(v < 2147483647.0)) return INT32_MAX;
  return static_cast<int32_t>(v);
}

// Message boxes of the core. From the run's worker thread the box is shown on the
// window's thread while the run waits for it.
class DialogMessages final : public MessageSink {
 public:
  explicit DialogMessages(QWidget* parent) : parent_(parent) {}
  void ShowMessage(std::string_view title, std::string_view text, MessageIcon icon) override {
    QString body = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    body.replace('\r', '\n');
    const QString caption = QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
    auto show = [&] {
      QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical
                                                    : QMessageBox::Information,
                      caption, body, QMessageBox::Ok, parent_);
      box.exec();
    };
    if (QThread::currentThread() == parent_->thread())
      show();
    else
      QMetaObject::invokeMethod(parent_, show, Qt::BlockingQueuedConnection);
  }

 private:
  QWidget* parent_;
};

QPushButton* MakeButton(const char* name, const QString& caption, const QString& tip) {
  auto* button = new QPushButton(caption);
  button->setObjectName(name);
  button->setToolTip(tip);
  return button;
}

QLabel* MakeLabel(const QString& text) {
  auto* label = new QLabel(text);
  label->setFont(LabelFont());
  return label;
}

}  // namespace

frmZorvex::frmZorvex(Dimension& dim, MessageSink* messages, QWidget* parent)
    : QMainWindow(parent), dim_(dim) {
  setWindowTitle("Quorvant");
  setObjectName("frmZorvex");
  if (!messages) {
    ownMessages_ = std::make_unique<DialogMessages>(this);
    messages = ownMessages_.get();
  }
  // The interpreter is prepared once, with halfpi, pi and e; the start-up values of
  // the problem state are those of a new Dimension.
  messages_ = messages;
  evaluator_ = std::make_unique<FunctionEvaluator>(dim_, *messages);
  evaluator_->Prepare();
  guard_ = new FieldGuard(this);
  worker_ = new RunWorker(dim_, *evaluator_, this);
  connect(worker_, &RunWorker::lineAppended, this,
          [this](const QString& line) { lstExtrema->addItem(line); });
  connect(worker_, &RunWorker::progressed, this, [this](int permille) { prgRun->setValue(permille); });
  connect(worker_, &RunWorker::finished, this, &frmZorvex::onRunFinished);

  createMenus();
  auto* central = new QWidget;
  auto* columns = new QHBoxLayout(central);
  auto* left = new QVBoxLayout;
  auto* fields = new QWidget;
  createProblemFields(fields);
  left->addWidget(fields);
  left->addWidget(createConstantsFrame());
  left->addWidget(createIntervalPanel());
  left->addStretch(1);
  columns->addLayout(left, 0);
  columns->addWidget(createResultsPanel(), 1);
  setCentralWidget(central);
  statusBar();
  guardFields();

  // Tab order: the six fields, the constants list, then the interval fields.
  QWidget::setTabOrder(txtOrder, txtVarNams);
  QWidget::setTabOrder(txtVarNams, txtError);
  QWidget::setTabOrder(txtError, txtMaxcy);
  QWidget::setTabOrder(txtMaxcy, txtRand);
  QWidget::setTabOrder(txtRand, txtEquation);
  QWidget::setTabOrder(txtEquation, cboConstants);
  QWidget::setTabOrder(cboConstants, txtLL[0]);
  QWidget::setTabOrder(txtLL[0], txtUL[0]);
  QWidget::setTabOrder(txtUL[0], txtSubintervals[0]);
  resize(940, 620);
  txtOrder->setFocus();
}

frmZorvex::~frmZorvex() {
  worker_->StopAndWait();
  delete about_;
  delete help_;
  delete plot_;
}

void frmZorvex::closeEvent(QCloseEvent* event) {
  worker_->StopAndWait();
  if (about_) about_->close();
  if (help_) help_->close();
  if (plot_) plot_->close();
  emit unloading();
  QMainWindow::closeEvent(event);
}

void frmZorvex::mnuHelp_Click() {
  if (!help_) help_ = new HelpWindow(helpFolder_.isEmpty() ? HelpWindow::DefaultFolder() : helpFolder_);
  help_->show();
  help_->raise();
  help_->activateWindow();
}

void frmZorvex::mnuAbout_Click() {
  if (!about_) about_ = new frmAbout;
  about_->show();
  about_->WriteName();
}

void frmZorvex::createMenus() {
  QMenu* mnuFile = menuBar()->addMenu("File");
  mnuOpen = mnuFile->addAction("Open");
  mnuFile->addSeparator();
  mnuSave = mnuFile->addAction("Save");
  mnuSaveAs = mnuFile->addAction("Save As");
  mnuFile->addSeparator();
  mnuPrint = menuBar()->addAction("Print");
  mnuPlot = menuBar()->addAction("Plot");
  mnuPlot->setObjectName("mnuPlot");
  mnuPlot->setEnabled(false);
  mnuHelp = menuBar()->addAction("Help");
  mnuAbout = menuBar()->addAction("About");
  mnuOpen->setObjectName("mnuOpen");
  mnuSave->setObjectName("mnuSave");
  mnuSaveAs->setObjectName("mnuSaveAs");
  mnuPrint->setObjectName("mnuPrint");
  mnuHelp->setObjectName("mnuHelp");
  mnuAbout->setObjectName("mnuAbout");
  mnuSave->setEnabled(false);
  mnuSaveAs->setEnabled(false);
  mnuPrint->setVisible(false);
  mnuAbout->setVisible(false);
  connect(mnuOpen, &QAction::triggered, this, &frmZorvex::mnuOpen_Click);
  connect(mnuSave, &QAction::triggered, this, &frmZorvex::mnuSave_Click);
  connect(mnuSaveAs, &QAction::triggered, this, &frmZorvex::mnuSaveAs_Click);
  connect(mnuPrint, &QAction::triggered, this, &frmZorvex::mnuPrint_Click);
  connect(mnuHelp, &QAction::triggered, this, &frmZorvex::mnuHelp_Click);
  connect(mnuPlot, &QAction::triggered, this, &frmZorvex::mnuPlot_Click);
  connect(mnuAbout, &QAction::triggered, this, &frmZorvex::mnuAbout_Click);
}

void frmZorvex::ShowMessage(const QString& title, const QString& text) {
  messages_->ShowMessage(title.toStdString(), text.toStdString(), MessageIcon::Exclamation);
}

QString frmZorvex::AskFileName(FileDialogKind kind) {
  if (fileDialogs_) return fileDialogs_(kind);
  // No filter, no default extension: problem files have none of their own.
  return kind == FileDialogKind::Open ? QFileDialog::getOpenFileName(this)
                                      : QFileDialog::getSaveFileName(this);
}

// Open: a file is read whole into a fresh document first, so a file that cannot be
// read leaves the window and the problem exactly as they were.
void frmZorvex::mnuOpen_Click() {
  if (!mnuOpen->isEnabled() || worker_->running()) return;
  const QString name = AskFileName(FileDialogKind::Open);
  if (name.isEmpty()) return;
  OpenProblemFile(name.toStdString());
}

bool frmZorvex::OpenNamedFile(const QString& path) {
  if (!mnuOpen->isEnabled() || worker_->running() || path.isEmpty()) return false;
  return OpenProblemFile(path.toStdString());
}

bool frmZorvex::OpenProblemFile(const std::string& path) {
  ProblemDocument doc;
  std::string error;
  FileStamp stamp;
  if (!LoadProblemFile(path, doc, error, &stamp)) {
    // The reader's messages name the file or the line themselves.
    ShowMessage("Quorvant", QString::fromStdString(error));
    return false;
  }
  dim_.problemPath = path;
  problemStamp_ = stamp;
  dim_.loading = true;
  txtOrder->setEnabled(false);
  txtVarNams->setEnabled(false);
  ApplyDocument(doc, dim_);
  LoadObjects();
  SetDisplayedSpecs();
  std::vector<std::string> entries(dim_.constants.begin(), dim_.constants.begin() + dim_.constCount);
  // A constant that cannot be executed leaves the ones after it unset: the values
  // listed below would be wrong, so the user hears of it.
  if (const ConstantFailure failure = evaluator_->RegisterConstants(entries))
    ShowMessage("Quorvant", QString::fromStdString(ConstantFailureMessage(failure)));
  lstExtrema->clear();
  lblExtrema->setText("");
  const std::string caption =
      ListSolutions(dim_, *evaluator_, [this](std::string_view line) {
        lstExtrema->addItem(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
      });
  lblExtrema->setText(QString::fromStdString(caption));
  lastPoints_.clear();
  FillPointsTable();
  if (plot_ && plot_->isVisible()) plot_->SetData(CurrentPlotData());
  mnuOpen->setEnabled(false);
  mnuSave->setEnabled(true);
  mnuSaveAs->setEnabled(true);
  mnuPrint->setVisible(true);
  mnuAbout->setVisible(true);
  dim_.loading = false;
  UpdatePlotMenu();
  return true;
}

// Puts the problem into the window's fields.
void frmZorvex::SetDisplayedSpecs() {
  cboConstants->clear();
  for (int k = 0; k < dim_.constCount; ++k) cboConstants->addItem(QString::fromStdString(dim_.constants[k]));
  cboConstants->setCurrentIndex(-1);
  cboConstants->setEditText("");
  txtOrder->setText(QString::number(dim_.varCount));
  txtError->setText(QString::fromStdString(FormatGeneral(dim_.errorBound)));
  txtMaxcy->setText(QString::number(dim_.maxCycles));
  txtEquation->setText(QString::fromStdString(dim_.formula));
  QStringList names;
  for (int i = 0; i < dim_.varCount; ++i) {
    const QString name = QString::fromStdString(dim_.varNames[i]);
    names << name;
    lblVar[i]->setText(name);
    txtLL[i]->setText(QString::fromStdString(FormatGeneral(dim_.lowerLimit[i])));
    txtUL[i]->setText(QString::fromStdString(FormatGeneral(dim_.upperLimit[i])));
    txtSubintervals[i]->setText(QString::number(dim_.subintervals[i]));
  }
  txtVarNams->setText(names.join(','));
  lblEquation->setText("f(" + names.join(',') + ")");
}

// The problem as the fields show it now, with the extrema the store holds.
ProblemDocument frmZorvex::DocumentFromFields() const {
  ProblemDocument doc = DocumentFromProblem(dim_);
  doc.errorBound = Value(txtError);
  doc.maxCycles = Value(txtMaxcy);
  doc.formula = txtEquation->text().toStdString();
  doc.constants.clear();
  for (int k = 0; k < cboConstants->count(); ++k) doc.constants.push_back(cboConstants->itemText(k).toStdString());
  for (int i = 0; i < dim_.varCount; ++i) {
    doc.lowerLimit[i] = Value(txtLL[i]);
    doc.upperLimit[i] = Value(txtUL[i]);
    doc.subintervals[i] = Value(txtSubintervals[i]);
  }
  return doc;
}

// Writes the problem to the remembered file. A file that another program changed since
// it was opened or saved here is overwritten only when the user says so.
void frmZorvex::WriteProblemFile(const FileStamp& expected) {
  const ProblemDocument doc = DocumentFromFields();
  SaveResult saved = SaveProblemFile(dim_.problemPath, doc, expected);
  if (saved.outcome == SaveResult::Outcome::ChangedOnDisk) {
    const QString question =
        QString::fromStdString("\"" + dim_.problemPath + "\": " + saved.reason +
                               ".\n\nOverwrite it with this problem?");
    const bool overwrite =
        confirm_ ? confirm_(question)
                 : QMessageBox::question(this, "Quorvant", question,
                                         QMessageBox::Yes | QMessageBox::No,
                                         QMessageBox::No) == QMessageBox::Yes;
    if (!overwrite) return;
    saved = SaveProblemFile(dim_.problemPath, doc);
  }
  if (!saved.ok()) {
    ShowMessage("Quorvant", QString::fromStdString(saved.reason));
    return;
  }
  problemStamp_ = saved.stamp;
  statusBar()->showMessage(QString::fromStdString("Saved " + dim_.problemPath), 5000);
}

void frmZorvex::mnuSave_Click() {
  if (!mnuSave->isEnabled() || worker_->running()) return;
  if (dim_.problemPath.empty()) {
    const QString name = AskFileName(FileDialogKind::Save);
    if (name.isEmpty()) return;
    dim_.problemPath = name.toStdString();
    problemStamp_ = {};
  }
  WriteProblemFile(problemStamp_);
}

// A cancelled Save As writes nothing and keeps the remembered name.
void frmZorvex::mnuSaveAs_Click() {
  if (!mnuSaveAs->isEnabled() || worker_->running()) return;
  const QString name = AskFileName(FileDialogKind::Save);
  if (name.isEmpty()) return;
  dim_.problemPath = name.toStdString();
  // The file opened or saved last, chosen again: still not to be overwritten blindly if
  // another program changed it. (The dialog has asked about replacing any other file.)
  if (!StampOf(dim_.problemPath).SameFile(problemStamp_)) problemStamp_ = {};
  WriteProblemFile(problemStamp_);
}

// Print: the report onto the chosen printer, or into a PDF file when no printer is
// installed.
void frmZorvex::mnuPrint_Click() {
  if (worker_->running()) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageMargins(QMarginsF(20, 15, 15, 15), QPageLayout::Millimeter);
  if (printerSetup_) {
    if (!printerSetup_(printer)) return;
  } else if (QPrinterInfo::availablePrinters().isEmpty()) {
    const QString name = QFileDialog::getSaveFileName(this, "No printer: save the report as PDF",
                                                      "report.pdf", "PDF (*.pdf)");
    if (name.isEmpty()) return;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(name);
  } else {
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
  }
  QtReportPrinter out(printer);
  std::vector<std::string> entries;
  for (int k = 0; k < cboConstants->count(); ++k) entries.push_back(cboConstants->itemText(k).toStdString());
  PrintReport(out, dim_, *evaluator_, txtEquation->text().toStdString(), entries);
  if (!out.ok()) ShowMessage("Quorvant", "The report could not be printed: the printer did not start.");
}

void frmZorvex::setSelectAllOnFocus(QLineEdit* field) { field->installEventFilter(this); }

bool frmZorvex::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    if (auto* field = qobject_cast<QLineEdit*>(watched)) {
      // Select the whole text once the focus has settled (a mouse click would
      // otherwise place the cursor over the selection).
      QTimer::singleShot(0, field, [field] { field->selectAll(); });
      if (field == txtError) dim_.errorBoundOnFocus = Value(txtError);
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void frmZorvex::createProblemFields(QWidget* host) {
  auto* grid = new QGridLayout(host);
  grid->setContentsMargins(0, 0, 0, 0);
  auto field = [&](QLineEdit*& edit, const char* name, const QString& text, const QString& tip) {
    edit = new QLineEdit(text);
    edit->setObjectName(name);
    edit->setFont(FieldFont());
    edit->setToolTip(tip);
    setSelectAllOnFocus(edit);
    return edit;
  };
  int row = 0;
  grid->addWidget(MakeLabel("Enter # of independent variables:"), row, 0);
  grid->addWidget(field(txtOrder, "txtOrder", "", ""), row++, 1);
  auto* lblVarNam = MakeLabel("Enter the names of the independent variables, separated by commas:");
  lblVarNam->setObjectName("lblVarNam");
  lblVarNam->setWordWrap(true);
  grid->addWidget(lblVarNam, row, 0);
  grid->addWidget(field(txtVarNams, "txtVarNams", "x,y,z,t", ""), row++, 1);
  grid->addWidget(MakeLabel("Approx. error bound:"), row, 0);
  grid->addWidget(field(txtError, "txtError", ".01", "Error MUST be >0"), row++, 1);
  grid->addWidget(MakeLabel("Max. # of iterations:"), row, 0);
  grid->addWidget(field(txtMaxcy, "txtMaxcy", "8", "Limits number of main loop iterations"), row++, 1);
  grid->addWidget(MakeLabel("# of random seeds:"), row, 0);
  grid->addWidget(field(txtRand, "txtRand", "20", ""), row++, 1);
  auto* functionRow = new QHBoxLayout;
  functionRow->addWidget(MakeLabel("Enter function:"));
  lblEquation = MakeLabel("");
  lblEquation->setObjectName("lblEquation");
  functionRow->addWidget(lblEquation);
  functionRow->addStretch(1);
  grid->addLayout(functionRow, row++, 0, 1, 2);
  grid->addWidget(field(txtEquation, "txtEquation", "",
                        "Must be in terms of the variables defined above and constants defined below"),
                  row++, 0, 1, 2);
  grid->setColumnStretch(1, 1);

  connect(txtMaxcy, &QLineEdit::textChanged, this, [this] { ClearResults(); });
  connect(txtEquation, &QLineEdit::textChanged, this, [this] { ClearResults(); });
}

QGroupBox* frmZorvex::createConstantsFrame() {
  fraConstants = new QGroupBox("User constants");
  fraConstants->setObjectName("fraConstants");
  fraConstants->setToolTip("Add or remove user-defined constants");
  auto* row = new QHBoxLayout(fraConstants);
  cboConstants = new QComboBox;
  cboConstants->setObjectName("cboConstants");
  cboConstants->setEditable(true);
  cboConstants->setInsertPolicy(QComboBox::NoInsert);
  cboConstants->setCompleter(nullptr);  // what is typed is what is added
  cboConstants->setFont(FieldFont());
  cboConstants->setToolTip("Example: a=2.37");
  cboConstants->setMinimumContentsLength(16);
  cmdAddCons = MakeButton("cmdAddCons", "Add", "Add (register) constant");
  cmdRemCons = MakeButton("cmdRemCons", "Remove", "Remove selected constant");
  row->addWidget(cboConstants, 1);
  row->addWidget(cmdAddCons);
  row->addWidget(cmdRemCons);
  connect(cmdAddCons, &QPushButton::clicked, this, &frmZorvex::cmdAddCons_Click);
  connect(cmdRemCons, &QPushButton::clicked, this, &frmZorvex::cmdRemCons_Click);
  // Typing in the edit text is a change; choosing an entry from the list is not.
  connect(cboConstants->lineEdit(), &QLineEdit::textEdited, this, [this] { ClearResults(); });
  connect(cboConstants->lineEdit(), &QLineEdit::returnPressed, this, &frmZorvex::cmdAddCons_Click);
  return fraConstants;
}

QGroupBox* frmZorvex::createIntervalPanel() {
  fraIntervals = new QGroupBox("Interval specifications");
  fraIntervals->setObjectName("fraIntervals");
  auto* grid = new QGridLayout(fraIntervals);
  auto* lblLimits = MakeLabel("Variable:");
  lblLimits->setStyleSheet("color: red");
  grid->addWidget(lblLimits, 0, 0);
  grid->addWidget(MakeLabel("Lower limit:"), 1, 0);
  grid->addWidget(MakeLabel("Upper limit:"), 2, 0);
  grid->addWidget(MakeLabel("# of subintervals:"), 3, 0);
  cmdPrevLim = MakeButton("cmdPrevLim", "Previous", "Display previous variable");
  cmdNextLim = MakeButton("cmdNextLim", "Next", "Display next variable");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdPrevLim);
  buttons->addWidget(cmdNextLim);
  grid->addLayout(buttons, 4, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  connect(cmdPrevLim, &QPushButton::clicked, this, &frmZorvex::cmdPrevLim_Click);
  connect(cmdNextLim, &QPushButton::clicked, this, &frmZorvex::cmdNextLim_Click);
  addIntervalMember(0);
  return fraIntervals;
}

// Member i of the per-variable family: its name label and three fields, placed in
// the same cells as every other member; all but one are hidden.
void frmZorvex::addIntervalMember(int i) {
  auto* grid = static_cast<QGridLayout*>(fraIntervals->layout());
  auto* name = MakeLabel("");
  name->setObjectName(QString("lblVar%1").arg(i));
  name->setStyleSheet("color: red");
  auto make = [&](const char* base, const QString& text) {
    auto* edit = new QLineEdit(text);
    edit->setObjectName(QString("%1%2").arg(base).arg(i));
    edit->setFont(LabelFont());
    setSelectAllOnFocus(edit);
    return edit;
  };
  QLineEdit* sub = make("txtSubintervals", "4");
  sub->setToolTip("Minimum # of subintervals in this direction. Should be enough to detect all extrema");
  QLineEdit* upper = make("txtUL", "10");
  QLineEdit* lower = make("txtLL", "-10");
  lblVar.push_back(name);
  txtLL.push_back(lower);
  txtUL.push_back(upper);
  txtSubintervals.push_back(sub);
  grid->addWidget(name, 0, 1);
  grid->addWidget(lower, 1, 1);
  grid->addWidget(upper, 2, 1);
  grid->addWidget(sub, 3, 1);
  const bool visible = i == 0;
  for (QWidget* w : {static_cast<QWidget*>(name), static_cast<QWidget*>(lower),
                     static_cast<QWidget*>(upper), static_cast<QWidget*>(sub)})
    w->setVisible(visible);
  // The limits must be numbers as a whole; the subintervals have no leave rule.
  for (QLineEdit* limit : {lower, upper}) {
    guard_->Guard(limit, {[limit] {
                            double unused;
                            return ParseNumericText(limit->text().toStdString(), unused);
                          },
                          {}});
  }
}

QWidget* frmZorvex::createResultsPanel() {
  auto* panel = new QWidget;
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(0, 0, 0, 0);
  auto* commands = new QHBoxLayout;
  cmdExplore = MakeButton("cmdExplore", "Explore",
                          "Explores the search interval on a grid to find the extrema");
  cmdRandom = MakeButton("cmdRandom", "Random",
                         "Generates random seeds in the search interval to find the extrema");
  cmdStop = MakeButton("cmdStop", "Stop", "Stops the search; the extrema found so far stay listed");
  cmdStop->setVisible(false);
  commands->addWidget(cmdExplore);
  commands->addWidget(cmdRandom);
  commands->addWidget(cmdStop);
  commands->addStretch(1);
  chkShowPivots = new QCheckBox("Show additional info");
  chkShowPivots->setObjectName("chkShowPivots");
  chkShowPivots->setToolTip("Check if you want persistent graphics");
  commands->addWidget(chkShowPivots);
  column->addLayout(commands);

  lstExtrema = new QListWidget;
  lstExtrema->setObjectName("lstExtrema");
  lstExtrema->setFont(QFont("Courier New", 9));
  lstExtrema->setToolTip("Quorvant");
  lstExtrema->setUniformItemSizes(true);
  tblPoints = new QTableWidget;
  tblPoints->setObjectName("tblPoints");
  tblPoints->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tblPoints->setSortingEnabled(true);
  tblPoints->verticalHeader()->setVisible(false);
  auto* pointsPage = new QWidget;
  auto* pointsColumn = new QVBoxLayout(pointsPage);
  pointsColumn->setContentsMargins(0, 0, 0, 0);
  pointsColumn->addWidget(tblPoints, 1);
  auto* csv = MakeButton("cmdExportCsv", "Export CSV...", "Save the table as comma-separated values");
  auto* csvRow = new QHBoxLayout;
  csvRow->addStretch(1);
  csvRow->addWidget(csv);
  pointsColumn->addLayout(csvRow);
  connect(csv, &QPushButton::clicked, this, [this] {
    const QString name = QFileDialog::getSaveFileName(this, "Export CSV", "stationary-points.csv", "CSV (*.csv)");
    if (!name.isEmpty() && !ExportPointsCsv(name)) ShowMessage("Quorvant", "Cannot write " + name);
  });
  tabResults = new QTabWidget;
  tabResults->setObjectName("tabResults");
  tabResults->addTab(lstExtrema, "Listing");
  tabResults->addTab(pointsPage, "Stationary points");
  column->addWidget(tabResults, 1);
  auto* bottom = new QHBoxLayout;
  lblExtrema = new QLabel;
  lblExtrema->setObjectName("lblExtrema");
  lblExtrema->setToolTip("How many extrema were found");
  lblExtrema->setStyleSheet("background-color: #ffffe0; padding: 2px");
  lblExtrema->setMinimumWidth(160);
  prgRun = new QProgressBar;
  prgRun->setObjectName("prgRun");
  prgRun->setRange(0, 1000);
  prgRun->setVisible(false);
  bottom->addWidget(lblExtrema);
  bottom->addWidget(prgRun, 1);
  bottom->addStretch(0);
  column->addLayout(bottom);

  connect(cmdExplore, &QPushButton::clicked, this, &frmZorvex::cmdExplore_Click);
  connect(cmdRandom, &QPushButton::clicked, this, &frmZorvex::cmdRandom_Click);
  connect(cmdStop, &QPushButton::clicked, this, &frmZorvex::cmdStop_Click);
  connect(chkShowPivots, &QCheckBox::toggled, this,
          [this](bool on) { worker_->SetShowAdditionalInfo(on); });
  return panel;
}

// The leave rules of the single-value fields.
void frmZorvex::guardFields() {
  guard_->Guard(txtOrder,
                {[this] {
                   const double v = Value(txtOrder);
                   if (v <= 0 || v > kMaxVariables) return false;
                   const double n = RoundHalfEven(v);
                   if (n < 1) return false;  // 0 < v <= 0.5 gives no variables
                   dim_.Resize(static_cast<int32_t>(n));
                   return true;
                 },
                 [this] {
                   txtOrder->setEnabled(false);
                   mnuOpen->setEnabled(false);
                   if (txtVarNams->isEnabled()) {
                     LoadObjects();
                     QTimer::singleShot(0, txtVarNams, [this] { txtVarNams->setFocus(); });
                   }
                 }});
  guard_->Guard(txtVarNams,
                {[this] {
                   if (dim_.loading) return true;
                   if (dim_.varCount < 1) return false;
                   const QStringList names = txtVarNams->text().split(',');
                   // Labels are set in order up to the first empty name.
                   for (int i = 0; i < names.size() && i < dim_.varCount; ++i) {
                     if (names[i].isEmpty()) break;
                     if (i < static_cast<int>(lblVar.size())) lblVar[i]->setText(names[i]);
                   }
                   if (names.size() != dim_.varCount) return false;
                   for (const QString& name : names)
                     if (name.isEmpty()) return false;
                   dim_.varNames.clear();
                   for (const QString& name : names) dim_.varNames.push_back(name.toStdString());
                   return true;
                 },
                 [this] {
                   if (dim_.loading) return;
                   txtVarNams->setEnabled(false);
                   lblEquation->setText("f(" + txtVarNams->text() + ")");
                   mnuSave->setEnabled(true);
                   mnuSaveAs->setEnabled(true);
                   mnuPrint->setVisible(true);
                   mnuAbout->setVisible(true);
                   UpdatePlotMenu();
                 }});
  guard_->Guard(txtError, {[this] { return Value(txtError) > 0; },
                           [this] {
                             dim_.errorBound = Value(txtError);
                             if (dim_.errorBound < dim_.errorBoundOnFocus) ClearResults();
                           }});
  guard_->Guard(txtMaxcy, {[this] {
                             // Rewritten as a 16-bit whole number; a value beyond that
                             // range cannot be, and is refused.
                             const double v = RoundHalfEven(Value(txtMaxcy));
                             if (!(v >= -32768 && v <= 32767)) return false;
                             const QString text = QString::number(static_cast<int>(v));
                             if (txtMaxcy->text() != text) txtMaxcy->setText(text);
                             dim_.maxCycles = static_cast<int32_t>(v);
                             return dim_.maxCycles >= 1;
                           },
                           {}});
  guard_->Guard(txtRand, {[this] { return Value(txtRand) >= 1; }, {}});
  guard_->Guard(txtEquation, {[this] { return !txtEquation->text().isEmpty(); }, {}});
}

frmZorvex::WindowState frmZorvex::windowState() const {
  if (txtOrder->isEnabled()) return WindowState::New;
  if (txtVarNams->isEnabled()) return WindowState::CountGiven;
  return WindowState::ProblemDefined;
}

bool frmZorvex::runInProgress() const { return worker_->running(); }

// Creates the members 1..n-1 of the interval family, hidden, and places them in the
// tab order after member 0: LL(0), UL(0), Sub(0), LL(1), UL(1), Sub(1), ...
void frmZorvex::LoadObjects() {
  for (int i = static_cast<int>(txtLL.size()); i < dim_.varCount; ++i) addIntervalMember(i);
  QWidget* previous = txtSubintervals[0];
  for (int i = 1; i < dim_.varCount; ++i) {
    QWidget::setTabOrder(previous, txtLL[i]);
    QWidget::setTabOrder(txtLL[i], txtUL[i]);
    QWidget::setTabOrder(txtUL[i], txtSubintervals[i]);
    previous = txtSubintervals[i];
  }
}

void frmZorvex::EditLimit(int k) {
  for (size_t i = 0; i < txtLL.size(); ++i) {
    lblVar[i]->hide();
    txtLL[i]->hide();
    txtUL[i]->hide();
    txtSubintervals[i]->hide();
  }
  lblVar[k]->show();
  txtLL[k]->show();
  txtUL[k]->show();
  txtSubintervals[k]->show();
  txtLL[k]->setFocus();
}

void frmZorvex::cmdNextLim_Click() {
  const int n = std::max(1, dim_.varCount);
  dim_.shownVar = dim_.shownVar >= n ? 1 : dim_.shownVar + 1;
  EditLimit(std::min(dim_.shownVar, static_cast<int32_t>(txtLL.size())) - 1);
}

void frmZorvex::cmdPrevLim_Click() {
  const int n = std::max(1, dim_.varCount);
  dim_.shownVar = dim_.shownVar <= 1 ? n : dim_.shownVar - 1;
  EditLimit(std::min(dim_.shownVar, static_cast<int32_t>(txtLL.size())) - 1);
}

void frmZorvex::cmdAddCons_Click() {
  const std::string text = cboConstants->currentText().toStdString();
  const size_t eq = text.find('=');
  if (eq == std::string::npos) return;
  const std::string name = text.substr(0, eq);
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (name.empty() || !letter(name[0])) return;
  for (size_t k = 1; k < name.size(); ++k)
    if (!letter(name[k]) && !(name[k] >= '0' && name[k] <= '9')) return;
  // A constant of the same name (compared exactly) is replaced: it leaves its place
  // and the new statement goes to the end.
  int replaced = -1;
  for (int k = 0; k < dim_.constCount; ++k) {
    if (dim_.constants[k].substr(0, dim_.constants[k].find('=')) == name) {
      replaced = k;
      break;
    }
  }
  // The table holds 101 statements; a new name beyond that is refused as it stands.
  if (replaced < 0 && dim_.constCount >= kConstantSlots) {
    statusBar()->showMessage("The constants table is full (101 constants): remove one first.", 5000);
    return;
  }
  if (replaced >= 0) {
    cboConstants->removeItem(replaced);
    for (int k = replaced; k + 1 < dim_.constCount; ++k) dim_.constants[k] = dim_.constants[k + 1];
    dim_.constCount = dim_.constCount - 1;
  }
  dim_.constants[dim_.constCount] = text;
  dim_.constCount = dim_.constCount + 1;
  cboConstants->addItem(QString::fromStdString(text));
  cboConstants->setCurrentIndex(-1);
  cboConstants->setEditText("");
  ClearResults();  // emptying the edit text is a change
}

void frmZorvex::cmdRemCons_Click() {
  const int k = cboConstants->currentIndex();
  if (k < 0 || k >= dim_.constCount) return;
  const std::string removed = dim_.constants[k];
  for (int j = k; j + 1 < dim_.constCount; ++j) dim_.constants[j] = dim_.constants[j + 1];
  dim_.constCount = dim_.constCount - 1;
  // The name before "=" in the edit text is set to 0 in the interpreter, which
  // cannot forget a name. An edit text without "=" resets the removed entry's own
  // name instead of sending the statement "0".
  const std::string edit = cboConstants->currentText().toStdString();
  const size_t p = edit.find('=');
  const std::string statement =
      p != std::string::npos ? edit.substr(0, p + 1) + "0" : removed.substr(0, removed.find('=') + 1) + "0";
  evaluator_->engine().ExecuteStatement(statement);
  cboConstants->removeItem(k);
}

void frmZorvex::ClearResults() {
  if (dim_.loading || worker_->running()) return;
  lstExtrema->clear();
  lblExtrema->setText("");
  dim_.maxCount = 0;
  dim_.minCount = 0;
}

bool frmZorvex::ReadSpecs() {
  std::vector<std::string> entries;
  for (int k = 0; k < cboConstants->count(); ++k) entries.push_back(cboConstants->itemText(k).toStdString());
  if (const ConstantFailure failure = evaluator_->RegisterConstants(entries)) {
    statusBar()->showMessage("The run was not started. " +
                             QString::fromStdString(ConstantFailureMessage(failure)));
    return false;
  }
  dim_.formula = txtEquation->text().toStdString();
  dim_.errorBound = Value(txtError);
  dim_.maxCycles = WholeValue(txtMaxcy);
  for (int i = 0; i < dim_.varCount; ++i) {
    dim_.subintervals[i] = WholeValue(txtSubintervals[i]);
    dim_.lowerLimit[i] = Value(txtLL[i]);
    dim_.upperLimit[i] = Value(txtUL[i]);
  }
  return true;
}

void frmZorvex::cmdExplore_Click() { startRun(false); }
void frmZorvex::cmdRandom_Click() { startRun(true); }

void frmZorvex::startRun(bool random) {
  if (worker_->running()) return;
  if (windowState() != WindowState::ProblemDefined) {
    statusBar()->showMessage("Give the number of variables and their names first.", 5000);
    return;
  }
  if (txtEquation->text().isEmpty()) {
    statusBar()->showMessage("Enter the function first.", 5000);
    txtEquation->setFocus();
    return;
  }
  ClearResults();
  if (!ReadSpecs()) return;
  dim_.randomTrials = random ? WholeValue(txtRand) : 0;
  dim_.randomMode = random;
  statusBar()->clearMessage();
  setRunning(true);
  worker_->SetShowAdditionalInfo(chkShowPivots->isChecked());
  worker_->Start();
}

void frmZorvex::cmdStop_Click() { worker_->RequestStop(); }

void frmZorvex::onRunFinished() {
  dim_.randomTrials = 0;
  dim_.randomMode = false;
  const RunSummary& summary = worker_->summary();
  lblExtrema->setText(QString::fromStdString(CountsCaption(dim_.maxCount, dim_.minCount)));
  setRunning(false);
  lastPoints_ = worker_->points();
  FillPointsTable();
  if (plot_ && plot_->isVisible()) plot_->SetData(CurrentPlotData());
  switch (summary.end) {
    case RunEnd::Refused:
      statusBar()->showMessage(QString::fromStdString(summary.reason));
      break;
    case RunEnd::Stopped:
      statusBar()->showMessage("Stopped: the extrema found so far are listed.", 8000);
      break;
    case RunEnd::StoreFull:
      statusBar()->showMessage("The search ended: the store of 100 points of one kind is full.", 8000);
      break;
    case RunEnd::Failed:
      statusBar()->showMessage(QString::fromStdString(RunFailureMessage(summary, dim_.varNames)));
      break;
    case RunEnd::Completed:
      if (worker_->pointsMet() > lastPoints_.size())
        statusBar()->showMessage(QString("The Stationary points table holds the first %1 of the %2 "
                                         "stationary points the run met.")
                                     .arg(lastPoints_.size())
                                     .arg(worker_->pointsMet()));
      break;
  }
  emit runFinished();
}

// While a run is in progress nothing it uses can be changed: the run commands, the
// problem fields, the constants, the interval editor and the file commands are
// disabled, and Stop and the progress bar are shown.
void frmZorvex::setRunning(bool running) {
  for (QWidget* w : std::initializer_list<QWidget*>{cmdExplore, cmdRandom, txtError, txtMaxcy, txtRand,
                                                    txtEquation, fraConstants, fraIntervals})
    w->setEnabled(!running);
  if (running) {
    fileState_ = {mnuOpen->isEnabled(), mnuSave->isEnabled(), mnuSaveAs->isEnabled(),
                  mnuPrint->isEnabled()};
    for (QAction* a : {mnuOpen, mnuSave, mnuSaveAs, mnuPrint}) a->setEnabled(false);
    prgRun->setValue(0);
    QApplication::setOverrideCursor(Qt::BusyCursor);
  } else {
    mnuOpen->setEnabled(fileState_[0]);
    mnuSave->setEnabled(fileState_[1]);
    mnuSaveAs->setEnabled(fileState_[2]);
    mnuPrint->setEnabled(fileState_[3]);
    QApplication::restoreOverrideCursor();
  }
  cmdStop->setVisible(running);
  prgRun->setVisible(running);
  UpdatePlotMenu();
}

void frmZorvex::UpdatePlotMenu() {
  mnuPlot->setEnabled(windowState() == WindowState::ProblemDefined && !worker_->running());
}

// Everything a plot needs, as the window shows it now.
PlotData frmZorvex::CurrentPlotData() const {
  std::vector<std::string> constants;
  for (int k = 0; k < cboConstants->count(); ++k) constants.push_back(cboConstants->itemText(k).toStdString());
  std::vector<double> lower, upper;
  for (int i = 0; i < dim_.varCount; ++i) {
    lower.push_back(Value(txtLL[i]));
    upper.push_back(Value(txtUL[i]));
  }
  return PlotDataFrom(dim_, txtEquation->text().toStdString(), constants, lower, upper, lastPoints_);
}

void frmZorvex::mnuPlot_Click() {
  if (!mnuPlot->isEnabled()) return;
  if (!plot_) plot_ = new PlotWindow;
  plot_->SetData(CurrentPlotData());
  plot_->show();
  plot_->raise();
}

namespace {
QString KindName(PointKind kind) {
  switch (kind) {
    case PointKind::Minimum: return "minimum";
    case PointKind::Maximum: return "maximum";
    case PointKind::Indefinite: return "indefinite (saddle)";
    case PointKind::Semidefinite: return "semidefinite";
    case PointKind::PositiveSemidefinite: return "positive semidefinite";
    case PointKind::NegativeSemidefinite: return "negative semidefinite";
  }
  return "";
}
QString Num(double v) { return QString::fromStdString(FormatGeneral(v)); }
}  // namespace

// One row per stationary point met in the last run: kind, coordinates, f, smallest
// pivot, start point and Newton cycles. Numbers sort as numbers.
void frmZorvex::FillPointsTable() {
  tblPoints->setSortingEnabled(false);
  tblPoints->clear();
  const int n = dim_.varCount;
  QStringList headers{"Kind"};
  for (int i = 0; i < n; ++i) headers << QString::fromStdString(dim_.varNames[i]);
  headers << "f" << "Smallest pivot" << "Start" << "Cycles";
  tblPoints->setColumnCount(headers.size());
  tblPoints->setHorizontalHeaderLabels(headers);
  tblPoints->setRowCount(static_cast<int>(lastPoints_.size()));
  std::unique_ptr<PlotSampler> sampler;
  if (!lastPoints_.empty()) sampler = std::make_unique<PlotSampler>(CurrentPlotData().problem);
  auto number = [](double v) {
    auto* item = new QTableWidgetItem;
    item->setData(Qt::DisplayRole, std::isfinite(v) ? QVariant(v) : QVariant(QString("")));
    item->setText(std::isfinite(v) ? Num(v) : QString("not evaluated"));
    return item;
  };
  for (int r = 0; r < static_cast<int>(lastPoints_.size()); ++r) {
    const StationaryPoint& s = lastPoints_[r];
    int c = 0;
    tblPoints->setItem(r, c++, new QTableWidgetItem(KindName(s.kind)));
    for (int i = 0; i < n; ++i) tblPoints->setItem(r, c++, number(s.point[i]));
    tblPoints->setItem(r, c++, number(sampler->ValueAt(s.point)));
    tblPoints->setItem(r, c++, number(s.smallestPivot));
    QStringList start;
    for (double v : s.start) start << Num(v);
    tblPoints->setItem(r, c++, new QTableWidgetItem("(" + start.join(", ") + ")"));
    tblPoints->setItem(r, c++, number(s.cycles));
  }
  tblPoints->setSortingEnabled(true);
  tblPoints->resizeColumnsToContents();
}

bool frmZorvex::ExportPointsCsv(const QString& path) const {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return false;
  QTextStream out(&file);
  auto quote = [](QString text) {
    if (text.contains(',') || text.contains('"')) text = '"' + text.replace("\"", "\"\"") + '"';
    return text;
  };
  QStringList row;
  for (int c = 0; c < tblPoints->columnCount(); ++c) row << quote(tblPoints->horizontalHeaderItem(c)->text());
  out << row.join(',') << '\n';
  for (int r = 0; r < tblPoints->rowCount(); ++r) {
    row.clear();
    for (int c = 0; c < tblPoints->columnCount(); ++c)
      row << quote(tblPoints->item(r, c) ? tblPoints->item(r, c)->text() : QString());
    out << row.join(',') << '\n';
  }
  return out.status() == QTextStream::Ok;
}

}  // namespace quorvant
