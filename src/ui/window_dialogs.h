// The questions and choices the main window puts to the user: file names, yes-or-no
// questions, the unsaved-work question, the printer, starting another program. Each
// is the toolkit's dialog unless a test has set its own answer.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

#include "docs/problem_document.h"
#include "model/message_sink.h"

class QPrinter;
class QWidget;

namespace quorvant {

class WindowSettings;

// The icon of a message box of the core: file failures and other warnings get the
// warning sign, the interpreter's errors the error sign.
QMessageBox::Icon BoxIcon(MessageIcon icon);

// The core's message boxes as dialogs of `parent`.
class DialogMessages final : public MessageSink {
 public:
  explicit DialogMessages(QWidget* parent) : parent_(parent) {}
  void ShowMessage(std::string_view title, std::string_view text, MessageIcon icon) override;

 private:
  QWidget* parent_;
};

class WindowDialogs {
 public:
  WindowDialogs(QWidget* parent, WindowSettings& settings) : parent_(parent), settings_(settings) {}

  // Where file names come from: the toolkit's dialogs, or a test. An empty name
  // means no file was chosen. SaveListing names the text file of "Save Listing As...".
  enum class FileDialogKind { Open, Save, SaveListing };
  using FileDialogProvider = std::function<QString(FileDialogKind)>;
  // Asks the user a yes-or-no question (a message box, or a test); true for Yes.
  using Confirmer = std::function<bool(const QString& question)>;
  // Prepares the printer for the report (the print dialog, or a test); false cancels.
  using PrinterSetup = std::function<bool(QPrinter&)>;
  // Asked before unsaved work would be lost: Save, Discard or Cancel; `canSave` is
  // false where Save is not possible yet, and the question then offers Discard and
  // Cancel only.
  using UnsavedPrompt = std::function<ProblemDocument::Answer(bool canSave)>;
  // Starts a program (File > New starts this one again): QProcess, or a test.
  using Launcher = std::function<bool(const QString& program, const QStringList& arguments)>;

  FileDialogProvider fileDialogs;
  Confirmer confirm;
  UnsavedPrompt unsavedPrompt;
  PrinterSetup printerSetup;
  Launcher launcher;

  // A file name of `kind`; a problem file's name gets ".zvx" when it has no extension.
  // The folder of a problem file chosen is remembered for the next dialog.
  QString AskFileName(FileDialogKind kind);
  bool Confirm(const QString& question);
  // `running`: the question says a search is running.
  ProblemDocument::Answer AskUnsaved(bool canSave, bool running);
  // The chosen printer, or a PDF file when no printer is installed; false cancels.
  bool SetUpPrinter(QPrinter& printer);
  bool Launch(const QString& program, const QStringList& arguments);

 private:
  QString WithProblemSuffix(const QString& name);

  QWidget* parent_;
  WindowSettings& settings_;
};

}  // namespace quorvant
