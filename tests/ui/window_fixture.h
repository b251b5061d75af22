// The main window as the widget tests drive it: created, shown and active on the
// offscreen platform, with helpers that type into fields and leave them as a user does,
// run a search and wait for it, and read the listing; file dialogs and questions
// answered by the test.
#pragma once

// Mouse events go through the window, as a real click does (the toolkit moves the
// focus on the way; the refusal must stop it there).
#define QTEST_QPA_MOUSE_HANDLING

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ui/frm_zorvex.h"
#include "ui/listing_model.h"
#include "window_driver.h"

// Texts in test failures as text, not as the bytes of the object.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace quorvant::uitest {

class RecordingSink : public MessageSink {
 public:
  void ShowMessage(std::string_view title, std::string_view text, MessageIcon icon) override {
    titles.emplace_back(title);
    texts.emplace_back(text);
    icons.push_back(icon);
  }
  std::vector<std::string> titles;
  std::vector<std::string> texts;
  std::vector<MessageIcon> icons;
};

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<frmZorvex>(&sink);
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  void TearDown() override { window.reset(); }

  template <typename T>
  T* Find(const char* name) {
    T* w = window->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QLineEdit* Field(const char* name) { return Find<QLineEdit>(name); }
  QAction* Menu(const char* name) { return Find<QAction>(name); }

  // Puts `text` in the field the way a user does: focus, select all, type.
  void Type(QLineEdit* field, const QString& text) { driver::TypeInto(field, text); }
  // Tries to leave the field with Tab; true when the focus moved.
  bool Leave(QLineEdit* field) { return driver::LeaveField(field); }
  bool TypeAndLeave(const char* name, const QString& text) {
    QLineEdit* field = Field(name);
    Type(field, text);
    return Leave(field);
  }
  void DefineProblem(const QString& order, const QString& names) {
    ASSERT_TRUE(TypeAndLeave("txtOrder", order));
    QApplication::processEvents();
    ASSERT_TRUE(TypeAndLeave("txtVarNams", names));
  }
  QStringList Lines() {
    QStringList lines;
    ListingModel* listing = window->listing();
    for (int k = 0; k < listing->rowCount(); ++k) lines << listing->Line(k);
    return lines;
  }
  bool RunAndWait(const char* button, int timeoutMs = 20000) {
    QSignalSpy done(window.get(), &frmZorvex::runFinished);
    QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton);
    return done.count() > 0 || done.wait(timeoutMs);
  }

  // The problem as the window holds it now.
  quorvant::Problem Held() const { return window->ProblemFromFields(); }
  RecordingSink sink;
  std::unique_ptr<frmZorvex> window;
};

inline std::filesystem::path DataFile(const char* name) {
  return std::filesystem::path(QUORVANT_TEST_DATA) / "files" / name;
}

inline std::filesystem::path TempCopy(const std::filesystem::path& from, const char* as) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("quorvant-ui-" + std::to_string(::getpid()));
  // Emptied at this process's first copy: an earlier process with the same number may
  // have left it behind.
  static const bool emptied = [&dir] {
    std::filesystem::remove_all(dir);
    return true;
  }();
  (void)emptied;
  std::filesystem::create_directories(dir);
  const auto to = dir / as;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  return to;
}

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class Files : public Window {
 protected:
  void SetUp() override {
    Window::SetUp();
    window->SetFileDialogProvider([this](frmZorvex::FileDialogKind kind) {
      ++dialogs;
      return kind == frmZorvex::FileDialogKind::Open ? openName : saveName;
    });
    window->SetConfirmer([this](const QString& question) {
      questions << question;
      return answer;
    });
  }
  QString openName, saveName;
  int dialogs = 0;
  QStringList questions;
  bool answer = false;
};

}  // namespace quorvant::uitest
