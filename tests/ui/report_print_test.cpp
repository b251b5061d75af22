// The printed report on a page: a line wider than the page goes on over the next lines,
// indented, and nothing of it is lost.
#include <QPrinter>
#include <algorithm>
#include <cstdlib>

#include "ui/qt_report_printer.h"
#include "window_fixture.h"

namespace quorvant {
namespace {

using uitest::Files;
using uitest::ReadAll;
using uitest::TempCopy;

struct WrapCase {
  const char* name;
  const char* line;
  int columns;
  std::vector<const char*> pieces;
};

void PrintTo(const WrapCase& c, std::ostream* os) {
  *os << '"' << c.line << "\" in " << c.columns << " columns";
}

class Wrap : public ::testing::TestWithParam<WrapCase> {};

TEST_P(Wrap, ContinuesLongLinesIndentedAndLosesNothing) {
  const QStringList pieces = WrapReportLine(GetParam().line, GetParam().columns);
  QStringList expected;
  for (const char* piece : GetParam().pieces) expected << piece;
  EXPECT_EQ(pieces, expected);
  // Every piece fits the page; a continuation starts with the line's own indent and
  // kContinuationIndent more; without those indents the pieces are the line.
  const QString line = GetParam().line;
  qsizetype lead = 0;
  while (lead < line.size() && line[lead] == ' ') ++lead;
  const qsizetype indent = std::min<qsizetype>(lead + kContinuationIndent, GetParam().columns / 2);
  QString joined;
  for (qsizetype k = 0; k < pieces.size(); ++k) {
    EXPECT_LE(pieces[k].size(), GetParam().columns) << pieces[k].toStdString();
    if (k == 0) {
      joined = pieces[k];
      continue;
    }
    EXPECT_TRUE(pieces[k].startsWith(QString(indent, ' '))) << pieces[k].toStdString();
    joined += pieces[k].mid(indent);
  }
  EXPECT_EQ(joined, line);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Wrap,
    ::testing::Values(WrapCase{"Fits", "FUNCTION:", 20, {"FUNCTION:"}},
                      WrapCase{"ExactlyTheWidth", "0123456789", 10, {"0123456789"}},
                      WrapCase{"NoBlankCutAtTheEdge",
                               "x*x+y*y-11*x+7*y+3*x*y",
                               10,
                               {"x*x+y*y-11", "    *x+7*y", "    +3*x*y"}},
                      WrapCase{"AfterTheLastBlank",
                               "SMALLEST (OVERALL) PIVOT (ABS. VAL.)= 2",
                               20,
                               {"SMALLEST (OVERALL) ", "    PIVOT (ABS. ", "    VAL.)= 2"}},
                      WrapCase{"IndentedLineKeepsItsIndent",
                               "          x= 1.23456789012345 ",
                               20,
                               // The continuation indent is at most half the page.
                               {"          x= ", "          1.23456789", "          012345 "}}),
    [](const ::testing::TestParamInfo<WrapCase>& info) { return std::string(info.param.name); });

// A formula far wider than the page, printed into a PDF: every character is there.
TEST_F(Files, APrintedReportKeepsEveryCharacterOfALongFormula) {
  if (std::system("command -v pdftotext > /dev/null") != 0) GTEST_SKIP() << "no pdftotext";
  std::string formula;
  for (int k = 1; formula.size() < 600; ++k) formula += "x*" + std::to_string(k) + "+";
  formula += "y";
  const auto dir = TempCopy(uitest::DataFile("quad2_bowl.zvx"), "x.zvx").parent_path();
  const auto file = dir / "long-report.zvx";
  std::ofstream(file, std::ios::binary)
      << "Zorvex\r\n2,0,0,0.01,8,\"" << formula << "\"\r\n\"x\",-1,1,4\r\n\"y\",-1,1,4\r\n 0 \r\n";
  ASSERT_TRUE(window->OpenNamedFile(QString::fromStdString(file.string())));
  const auto pdf = dir / "long-report.pdf";
  std::filesystem::remove(pdf);
  window->SetPrinterSetup([&](QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf.string()));
    return true;
  });
  window->mnuPrint_Click();
  const auto txt = dir / "long-report.txt";
  ASSERT_EQ(std::system(("pdftotext " + pdf.string() + " " + txt.string()).c_str()), 0);
  std::string text = ReadAll(txt);
  // The lines of the formula, joined again without their breaks and indents.
  text.erase(std::remove_if(text.begin(), text.end(),
                            [](char c) { return c == ' ' || c == '\n' || c == '\f'; }),
             text.end());
  EXPECT_NE(text.find("FUNCTION:" + formula + "MAXIMUMERROR:"), std::string::npos) << text;
  EXPECT_TRUE(sink.titles.empty());
}

}  // namespace
}  // namespace quorvant
