// The plug-in inside the stand-in host against the real gly.exe: the program's activation server
// finds one font in the search folder the user chose and not the other.
#include <gtest/gtest.h>

#include "plugin_test_util.h"
#include "tests/app/gly_process.h"

namespace {

class PageLayoutWithGly : public gly_test::GlyProcessTest {};

TEST_F(PageLayoutWithGly, ActivatesAFontFromTheChosenFolder) {
  if (GetFileAttributesW((exe).c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "gly.exe is not built";
  std::wstring fonts = root + L"\\fonts";
  ASSERT_TRUE(CreateDirectoryW(fonts.c_str(), nullptr));
  ASSERT_TRUE(CopyFileW(L"Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf", (fonts + L"\\DejaVuSans.ttf").c_str(),
                        FALSE));
  HANDLE process = Start();
  ASSERT_NE(WaitForMainWindow(process), nullptr);

  std::string folder(fonts.begin(), fonts.end());
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

  HWND window = WaitForMainWindow(process);
  ASSERT_NE(window, nullptr);
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForExit(process), 0);
}

}  // namespace
