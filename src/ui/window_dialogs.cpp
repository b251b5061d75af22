#include "ui/window_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>

#include "ui/window_settings.h"

namespace quorvant {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Critical:
      return QMessageBox::Critical;
    case MessageIcon::Exclamation:
      return QMessageBox::Warning;
    case MessageIcon::Information:
      return QMessageBox::Information;
  }
  return QMessageBox::NoIcon;
}

void DialogMessages::ShowMessage(std::string_view title, std::string_view text, MessageIcon icon) {
  QString body = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  body.replace('\r', '\n');
  const QString caption = QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
  QMessageBox box(BoxIcon(icon), caption, body, QMessageBox::Ok, parent_);
  box.exec();
}

// The dialogs start in the folder of the last Open or Save As, which is remembered.
QString WindowDialogs::AskFileName(FileDialogKind kind) {
  QString name;
  if (fileDialogs) {
    name = fileDialogs(kind);
  } else {
    const QString folder = settings_.LastFolder();
    // Problem files first; any other name can still be chosen under "All files".
    const QString filter = "Problem files (*.zvx);;All files (*)";
    switch (kind) {
      case FileDialogKind::Open:
        name = QFileDialog::getOpenFileName(parent_, QString(), folder, filter);
        break;
      case FileDialogKind::Save: {
        QFileDialog dialog(parent_, QString(), folder, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("zvx");  // added before the dialog asks about replacing
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
          name = dialog.selectedFiles().front();
        break;
      }
      case FileDialogKind::SaveListing:
        name = QFileDialog::getSaveFileName(parent_, "Save Listing As", folder + "/listing.txt",
                                            "Text (*.txt)");
        break;
    }
  }
  if (kind == FileDialogKind::Save && !name.isEmpty()) name = WithProblemSuffix(name);
  if (!name.isEmpty() && kind != FileDialogKind::SaveListing) settings_.RememberFolderOf(name);
  return name;
}

// A name without an extension gets ".zvx". The toolkit's dialog has added it already and
// asked about replacing that file; a dialog that did not (another one, or a name handed
// over from elsewhere) is asked about here, so no file is replaced unasked.
QString WindowDialogs::WithProblemSuffix(const QString& name) {
  const QFileInfo info(name);
  if (!info.suffix().isEmpty() || info.fileName().isEmpty() || info.isDir()) return name;
  const QString suffixed = name + (name.endsWith('.') ? "zvx" : ".zvx");
  if (QFileInfo::exists(suffixed) &&
      !Confirm("\"" + QDir::toNativeSeparators(suffixed) +
               "\" already exists.\n\nReplace it with this problem?"))
    return {};
  return suffixed;
}

bool WindowDialogs::Confirm(const QString& question) {
  if (confirm) return confirm(question);
  return QMessageBox::question(parent_, "Quorvant", question, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

ProblemDocument::Answer WindowDialogs::AskUnsaved(bool canSave, bool running) {
  using Answer = ProblemDocument::Answer;
  if (unsavedPrompt) return unsavedPrompt(canSave);
  const QString what =
      running ? "A search is running. Its results and the problem" : "The problem or its results";
  QMessageBox box(QMessageBox::Warning, "Quorvant",
                  what + " have changed since they were last saved.", QMessageBox::NoButton,
                  parent_);
  box.setInformativeText(canSave ? "Do you want to save your changes?"
                                 : "They cannot be saved before the names of the variables "
                                   "are given. Discard them?");
  box.setStandardButtons((canSave ? QMessageBox::Save : QMessageBox::NoButton) |
                         QMessageBox::Discard | QMessageBox::Cancel);
  box.setDefaultButton(canSave ? QMessageBox::Save : QMessageBox::Cancel);
  const int chosen = box.exec();
  return chosen == QMessageBox::Save      ? Answer::Save
         : chosen == QMessageBox::Discard ? Answer::Discard
                                          : Answer::Cancel;
}

bool WindowDialogs::SetUpPrinter(QPrinter& printer) {
  if (printerSetup) return printerSetup(printer);
  if (QPrinterInfo::availablePrinters().isEmpty()) {
    const QString name = QFileDialog::getSaveFileName(parent_, "No printer: save the report as PDF",
                                                      "report.pdf", "PDF (*.pdf)");
    if (name.isEmpty()) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(name);
    return true;
  }
  QPrintDialog dialog(&printer, parent_);
  return dialog.exec() == QDialog::Accepted;
}

bool WindowDialogs::Launch(const QString& program, const QStringList& arguments) {
  return launcher ? launcher(program, arguments) : QProcess::startDetached(program, arguments);
}

}  // namespace quorvant
