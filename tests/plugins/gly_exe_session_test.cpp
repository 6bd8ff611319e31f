// The plug-in inside the stand-in host against the real gly.exe: the program's activation server
// finds one font in the search folder the user chose and not the other.
#include <gtest/gtest.h>

#include "plugin_test_util.h"
#include "gly_exe_fixture.h"

namespace {

class PageLayoutWithGly : public PluginWithGlyTest {};

TEST_F(PageLayoutWithGly, ActivatesAFontFromTheChosenFolder) {
  const std::string folder = FontFolder();
  auto log = RunHost("font DejaVu Sans|DejaVuSans|missing\n"
                     "font Nowhere|Nowhere-Regular|missing\n"
                     "chooser " + folder + "\nopen\n",
                     L"with_gly");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_TRUE(HasLine(log, "final row 0: icon=1511 sep=1513 name=DejaVuSans text=GLY activated font successfully"));
  EXPECT_TRUE(HasLine(log, "final row 1: icon=1512 sep=1513 name=Nowhere-Regular text=GLY cannot find font file"));
  EXPECT_TRUE(HasLine(log, "host: rescanning fonts"));
  EXPECT_TRUE(HasLine(log, "final status: Update font subsystem successfully!"));
  EXPECT_NE(ReadUtf16(dataFolder + L"\\plugin_session.log").find(L"DejaVuSans"), std::wstring::npos);

  CloseProgram();
}

}  // namespace
