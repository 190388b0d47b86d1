// Scenarios with a printer: `printer` sets the virtual printer, a page Print prints is shown under
// the command that printed it, and `expect printed` counts the jobs.
#include <gtest/gtest.h>

#include <string>

#include "tests/common/bitmap_file.h"
#include "tests/tools/plughost_run.h"

namespace {

using plughost_testing::Has;
using plughost_testing::Outcome;
using plughost_testing::Plughost;
using testing_support::TempFile;

TEST(ScenarioPrint, PrinterSettingsAndPrintedPages) {
  TempFile picture("scenario.bmp", testing_support::MakeBitmapFile({30, 20, 8}));
  // The bitmap is named relative to the scenario's folder, where the host looks for it.
  const std::string name = picture.Path().substr(picture.Path().rfind('/') + 1);
  std::string text = R"(load TAVIN
object /stage class stage
printer dpi 192 page 200x100 dialog ok bitmaps yes
new p Print on /stage
set p filepath = "PICTURE"
enable p
send /stage id(302)
expect printed 1
printer dialog cancel
send /stage id(302)
printer dialog ok bitmaps no
send /stage id(302)
expect printed 1
)";
  text.replace(text.find("PICTURE"), 7, name);
  TempFile scenario("print.scn", text);
  const Outcome run = Plughost("run " + scenario.Path() + " --lib-dir " + LIB_DIR);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Has(run.output,
                  "  printer: 192 x 192 dpi, page 200 x 100 pixels, dialog ok, "
                  "bitmaps yes"))
      << run.output;
  EXPECT_TRUE(Has(run.output,
                  "  printed \"Bitmap Printing Test\": 1 page\n"
                  "    a 30 x 20 picture drawn at (70, 30) as 60 x 40 on a 200 x 100 "
                  "page"))
      << run.output;
  EXPECT_TRUE(Has(run.output, "dialog cancel, bitmaps yes"));
  EXPECT_TRUE(Has(run.output, "dialog ok, bitmaps no"));
  EXPECT_TRUE(
      Has(run.output, "  message box \"Device Error\": \"Printer cannot display bitmaps.\""))
      << run.output;

  for (const char* line : {"printer dpi many", "printer page 30", "printer dialog maybe",
                           "printer colour red", "expect printed x"}) {
    TempFile bad("bad.scn", std::string(line) + "\n");
    const Outcome refused = Plughost("run " + bad.Path());
    EXPECT_EQ(refused.status, 1) << line;
    EXPECT_TRUE(Has(refused.output, "bad.scn:1: ")) << line << "\n" << refused.output;
  }
}

}  // namespace
