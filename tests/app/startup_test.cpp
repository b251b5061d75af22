// Start-up and exit with the decimal-separator guard, Help and About.
#define QTEST_QPA_MOUSE_HANDLING

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTextBrowser>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/decimal_point.h"
#include "app/sub_main.h"
#include "docs/problem_file.h"
#include "engine/listing.h"
#include "model/numtext.h"

namespace quorvant {
namespace {

class FakeLocale : public LocaleService {
 public:
  explicit FakeLocale(std::string separator) : separator_(std::move(separator)) {}
  std::string ReadDecimalSeparator() override { return separator_; }
  void WriteDecimalSeparator(const std::string& separator) override {
    separator_ = separator;
    writes.push_back(separator);
  }
  std::string separator() const { return separator_; }
  std::vector<std::string> writes;

 private:
  std::string separator_;
};

struct Asked {
  explicit Asked(Answer a) : answer(a) {}
  Answer answer;
  int times = 0;
  QString title, text;
  DecimalPoint::Ask Ask() {
    return [this](const QString& t, const QString& x) {
      ++times;
      title = t;
      text = x;
      return answer;
    };
  }
};

TEST(StartUp, PointShowsNoBoxAndIsWrittenBackAtExit) {
  FakeLocale locale(".");
  Asked asked(Answer::No);
  SubMain start(locale, asked.Ask());
  ASSERT_TRUE(start.Start());
  EXPECT_EQ(asked.times, 0);
  ASSERT_NE(start.window(), nullptr);
  EXPECT_TRUE(locale.writes.empty());
  start.window()->close();
  EXPECT_EQ(locale.writes, (std::vector<std::string>{"."}));
}

TEST(StartUp, CommaAndYesUsesAPointWhileRunning) {
  FakeLocale locale(",");
  Asked asked(Answer::Yes);
  SubMain start(locale, asked.Ask());
  ASSERT_TRUE(start.Start());
  EXPECT_EQ(asked.times, 1);
  EXPECT_EQ(asked.title, "Decimal Comma Warning!");
  EXPECT_EQ(locale.separator(), ".");
  start.window()->mnuAbout_Click();  // another window of the program
  QPointer<frmAbout> about = start.window()->aboutWindow();
  start.window()->close();
  EXPECT_EQ(locale.separator(), ",");
  EXPECT_TRUE(about.isNull() || !about->isVisible());
}

TEST(StartUp, NoOrCancelEndsBeforeAnyWindow) {
  for (Answer answer : {Answer::No, Answer::Cancel}) {
    for (const char* separator : {",", "::", ""}) {
      FakeLocale locale(separator);
      Asked asked(answer);
      SubMain start(locale, asked.Ask());
      EXPECT_FALSE(start.Start());
      EXPECT_EQ(asked.times, 1);
      EXPECT_EQ(start.window(), nullptr);
      EXPECT_TRUE(locale.writes.empty());
    }
  }
}

TEST(StartUp, WarningTextLineByLine) {
  const QStringList lines = DecimalPoint::WarningText().split('\r');
  ASSERT_EQ(lines.size(), 8);
  EXPECT_EQ(lines[0],
            "Proper operation of this application requires the use of the DECIMAL POINT.");
  EXPECT_EQ(lines[1], "Your system is currently using the DECIMAL COMMA.");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "Do you wish to temporarily change this system setting to decimal point?");
  EXPECT_EQ(lines[4], "(Upon exiting, this application will restore your setting.)");
  EXPECT_TRUE(lines[5].startsWith("(See HELP FILE or visit "));
  EXPECT_TRUE(lines[5].endsWith(" for instructions on how to change MANUALLY)"));
  EXPECT_EQ(lines[6], "");
  EXPECT_EQ(lines[7], "Press YES to change.");
}

struct Window {
  frmZorvex window;
};

TEST(About, WritesTheNameAgainLowerDownAndClosesOnAClick) {
  Window w;
  w.window.mnuAbout_Click();
  w.window.mnuAbout_Click();
  frmAbout* about = w.window.aboutWindow();
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->lines(), (QStringList{"", "", "", "Quorvant", "", "", "", "Quorvant"}));
  EXPECT_FALSE(about->isModal());
  QPointer<frmAbout> watch = about;
  QTest::mouseClick(about, Qt::LeftButton);
  QApplication::processEvents();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(watch.isNull());
  w.window.mnuAbout_Click();
  EXPECT_EQ(w.window.aboutWindow()->lines(), (QStringList{"", "", "", "Quorvant"}));
}

TEST(Help, OpensTheStartPage) {
  const auto dir = std::filesystem::temp_directory_path() / "quorvant-help-test";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "index.html")
      << "<html><body><h1>Start page</h1><a href=\"b.html\">b</a></body></html>";
  Window w;
  w.window.SetHelpFolder(QString::fromStdString(dir.string()));
  w.window.mnuHelp_Click();
  HelpWindow* help = w.window.helpWindow();
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->pagesFound());
  EXPECT_TRUE(help->browser()->toPlainText().contains("Start page"));
  EXPECT_TRUE(help->browser()->source().toLocalFile().endsWith("index.html"));
}

TEST(Help, MissingPagesSayWhereTheyWereLookedFor) {
  Window w;
  w.window.SetHelpFolder("/nonexistent/quorvant/help");
  w.window.mnuHelp_Click();
  HelpWindow* help = w.window.helpWindow();
  ASSERT_NE(help, nullptr);
  EXPECT_FALSE(help->pagesFound());
  EXPECT_TRUE(help->browser()->toPlainText().contains("/nonexistent/quorvant/help"));
}

TEST(Help, TheProgramsOwnPagesAreBesideIt) {
  // The build copies help/ beside the program; the test program lives elsewhere,
  // so look where the desktop program is built.
  const auto pages =
      std::filesystem::path(QUORVANT_BUILD_DIR) / "src" / "app" / "help" / "index.html";
  EXPECT_TRUE(std::filesystem::exists(pages)) << pages;
}

// Under a real comma locale every number the program shows, writes or hands to the
// interpreter still uses ".".
TEST(CommaLocale, NumbersStayWithThePoint) {
  const char* saved = std::setlocale(LC_ALL, nullptr);
  const std::string savedLocale = saved ? saved : "C";
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", 0.5);
  EXPECT_STREQ(buffer, "0,5");  // the locale really is a comma locale
  ProcessLocale locale;
  EXPECT_EQ(locale.ReadDecimalSeparator(), ",");

  EXPECT_EQ(FormatGeneral(0.5), "0.5");
  EXPECT_EQ(PrintedNumber(-1.5), "-1.5 ");
  EXPECT_EQ(AssignmentText("x", 1.5), "x=1.5");
  EXPECT_EQ(ReadLeadingNumber("2.5"), 2.5);
  Problem doc;
  doc.errorBound = 0.01;
  doc.maxCycles = 8;
  doc.formula = "x/2";
  doc.varNames = {"x"};
  doc.lowerLimit = {-0.5};
  doc.upperLimit = {0.5};
  doc.subintervals = {4};
  doc.minima = {{0.25, 1.5}};
  std::string text, error;
  ASSERT_TRUE(WriteProblemText(doc, text, error)) << error;
  EXPECT_NE(text.find("1,0,1,0.01,8"), std::string::npos) << text;
  EXPECT_NE(text.find("\"x\",-0.5,0.5,4"), std::string::npos) << text;

  Window w;
  w.window.evaluator().SetFunction(doc.varNames, doc.formula);
  std::vector<std::string> lines;
  ListSolutions(doc, w.window.evaluator(), [&](std::string_view l) { lines.emplace_back(l); });
  EXPECT_EQ(lines, (std::vector<std::string>{"MINIMUM AT:", "x=0.25", "FUNCTION=0.125",
                                             "SMALLEST (OVERALL) PIVOT (ABSOLUTE VALUE)=1.5"}));

  locale.WriteDecimalSeparator(".");
  std::snprintf(buffer, sizeof buffer, "%.1f", 0.5);
  EXPECT_STREQ(buffer, "0.5");
  locale.WriteDecimalSeparator(",");
  std::snprintf(buffer, sizeof buffer, "%.1f", 0.5);
  EXPECT_STREQ(buffer, "0,5");
  std::setlocale(LC_ALL, savedLocale.c_str());
}

}  // namespace
}  // namespace quorvant
