#pragma once
// The real gly.exe running for a plug-in test, with a font folder of the test's own that holds
// DejaVu Sans (the test is skipped when gly.exe is not built).
#include "tests/app/gly_process.h"

class PluginWithGlyTest : public gly_test::GlyProcessTest {
 protected:
  void SetUp() override {
    GlyProcessTest::SetUp();
    if (HasFatalFailure()) return;
    if (GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "gly.exe is not built";
    fonts = root + L"\\fonts";
    ASSERT_TRUE(CreateDirectoryW(fonts.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(L"Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf",
                          (fonts + L"\\DejaVuSans.ttf").c_str(), FALSE));
    process = Start();
    ASSERT_NE(WaitForMainWindow(process), nullptr);
  }

  // The font folder as the host's script names it.
  std::string FontFolder() const { return std::string(fonts.begin(), fonts.end()); }

  // Closes the program as the user would; it must end cleanly.
  void CloseProgram() {
    HWND window = WaitForMainWindow(process);
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(process), 0);
  }

  std::wstring fonts;
  HANDLE process = nullptr;
};
