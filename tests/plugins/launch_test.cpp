// Starting the main program: the path through Windows Installer and the process start itself.
#include <gtest/gtest.h>

#include <optional>

#include "pipe_client.h"
#include "plugin_test_util.h"

namespace {

constexpr char kTestUpgradeCode[] = "{3F6B2D41-8C7A-4E59-9A13-D2C4B5E6F708}";

std::string Narrow(const std::wstring& s) {
  std::string out;
  for (wchar_t c : s) out += static_cast<char>(c);
  return out;
}

// Waits for the fake program's window and ends that process (it was started by this test).
bool EndStartedProgram() {
  HWND window = nullptr;
  for (int i = 0; i < 200 && !window; ++i) {
    window = FindWindowW(L"GLYMainWnd", nullptr);
    if (!window) Sleep(50);
  }
  if (!window) return false;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (!process) return false;
  TerminateProcess(process, 0);
  WaitForSingleObject(process, 10000);
  CloseHandle(process);
  return true;
}

std::wstring ReadNote(const std::wstring& path) {
  for (int i = 0; i < 200; ++i) {
    std::string bytes = ReadFileBytes(path);
    if (!bytes.empty()) return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    Sleep(50);
  }
  return {};
}

TEST(StartMainProgram, StartsAPathWithSpacesAsItselfAndQuoted) {
  std::wstring root = ScratchFolder(L"launch");
  std::wstring folder = root + L"\\Program Files\\Gly Test";
  ScratchFolder(L"launch\\Program Files\\Gly Test");
  std::wstring fake = std::wstring(GLY_BIN_DIR) + L"\\plugin_fake_gly.exe";
  std::wstring exe = folder + L"\\gly.exe";
  ASSERT_TRUE(CopyFileW(fake.c_str(), exe.c_str(), FALSE));
  // What an unquoted command line would run first.
  ASSERT_TRUE(CopyFileW(fake.c_str(), (root + L"\\Program.exe").c_str(), FALSE));
  DeleteFileW((folder + L"\\started.txt").c_str());
  DeleteFileW((root + L"\\started.txt").c_str());

  ASSERT_TRUE(StartMainProgram(Narrow(exe)));
  EXPECT_EQ(ReadNote(folder + L"\\started.txt"), L"\"" + exe + L"\"");
  EXPECT_TRUE(EndStartedProgram());
  EXPECT_EQ(GetFileAttributesW((root + L"\\started.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(StartMainProgram(Narrow(root + L"\\missing\\gly.exe")));
}

TEST(FindMainProgramPath, FindsTheInstalledProgramThroughWindowsInstaller) {
  std::wstring msi = std::wstring(GLY_FIXTURE_DIR) + L"\\gly_fake_install.msi";
  if (GetFileAttributesW(msi.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "no installer package (wixl)";
  DWORD exitCode = 1;
  ASSERT_TRUE(RunAndWait(L"msiexec /i \"" + msi + L"\" /qn", 180000, &exitCode));
  ASSERT_EQ(exitCode, 0u);

  char path[MAX_PATH] = {};
  EXPECT_TRUE(FindMainProgramPath(kTestUpgradeCode, path, sizeof path));
  std::string found(path);
  EXPECT_NE(found.find("\\Glyphary Plugin Test\\gly.exe"), std::string::npos) << found;
  EXPECT_FALSE(FindMainProgramPath("{00000000-0000-0000-0000-000000000000}", path, sizeof path));

  // The whole launch: found through the installer, started from under "Program Files".
  const char* codes[2] = {"{00000000-0000-0000-0000-000000000000}", kTestUpgradeCode};
  EXPECT_TRUE(LaunchFromUpgradeCodes(codes));
  EXPECT_TRUE(EndStartedProgram());

  // The started program left its note beside itself; the uninstall removes the rest.
  std::string note = found.substr(0, found.find_last_of('\\') + 1) + "started.txt";
  DeleteFileA(note.c_str());
  RunAndWait(L"msiexec /x \"" + msi + L"\" /qn", 180000, &exitCode);
}

// A package installed in the test's prefix while the test runs, removed again on every way out.
class InstalledPackage {
 public:
  explicit InstalledPackage(const std::wstring& msi) : fMsi(msi) {
    DWORD exitCode = 1;
    fInstalled = RunAndWait(L"msiexec /i \"" + fMsi + L"\" /qn", 180000, &exitCode) && exitCode == 0;
  }
  ~InstalledPackage() { RunAndWait(L"msiexec /x \"" + fMsi + L"\" /qn", 180000); }
  bool Installed() const { return fInstalled; }

 private:
  std::wstring fMsi;
  bool fInstalled = false;
};

// The fake product installed (the test is skipped without its package) while no program runs.
class InstalledProgramLaunch : public ::testing::Test {
 protected:
  void SetUp() override {
    std::wstring msi = std::wstring(GLY_FIXTURE_DIR) + L"\\gly_fake_product.msi";
    if (GetFileAttributesW(msi.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "no installer package (wixl)";
    wchar_t programFiles[MAX_PATH] = {};
    GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
    fFolder = std::wstring(programFiles) + L"\\Glyphary Launch Test";
    fPackage.emplace(msi);
    ASSERT_TRUE(fPackage->Installed());
  }

  // Ends the program the host started; the command line it was started with.
  std::wstring EndStarted() {
    std::wstring started = ReadNote(fFolder + L"\\started.txt");
    EXPECT_TRUE(EndStartedProgram());
    DeleteFileW((fFolder + L"\\started.txt").c_str());
    return started;
  }
  std::wstring InstalledExe() const { return L"\"" + fFolder + L"\\gly.exe\""; }

 private:
  std::wstring fFolder;
  std::optional<InstalledPackage> fPackage;
};

class PageLayoutHostLaunch : public InstalledProgramLaunch {};
class ImageEditorHostLaunch : public InstalledProgramLaunch {};

TEST_F(PageLayoutHostLaunch, StartsTheInstalledProgramWhenNoneRuns) {
  auto log = RunHost("font Arial Bold|Found-Bold|missing\nfont Times Italic|Missing-Italic|missing\nopen\n",
                     L"launch_e2e");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_EQ(EndStarted(), InstalledExe());
  EXPECT_TRUE(HasLine(log, "status: Launching  application \"Glyphary\"......"));
  EXPECT_TRUE(HasLine(log, "status: Launch  application \"Glyphary\" successfully"));
  EXPECT_TRUE(HasLine(log, "final row 0: icon=1512 sep=1513 name=Found-Bold text=GLY cannot find font file"));
  EXPECT_TRUE(HasLine(log, "final row 1: icon=1512 sep=1513 name=Missing-Italic text=GLY cannot find font file"));
}

TEST_F(ImageEditorHostLaunch, StartsTheInstalledProgramAndSaysSoBelowTheDialog) {
  auto log = RunHost("layer Title\ntext substitutes\nstyle Found-Bold|Arial|Bold\ndialog ok\nopen C:\\docs\\a.psd\n",
                     L"ie_launch_e2e", 120000, L"imageeditor_host.exe");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_EQ(EndStarted(), InstalledExe());
  EXPECT_TRUE(HasLine(log, "status: Launching  application \"Glyphary\"......"));
  EXPECT_TRUE(HasLineContaining(log, "tooltip: Launching  application \"Glyphary\"......"));
  EXPECT_TRUE(HasLine(log, "status: Launch  application \"Glyphary\" successfully"));
  EXPECT_TRUE(HasLine(log, "final row 0: * icon=113 | Found-Bold | icon=114 | GLY cannot find font file"));
}

}  // namespace
