#include "plugin_test_util.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <fstream>
#include <sstream>

std::wstring ScratchFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"gly_plugin_tests\\" + name;
  SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  return folder;
}

void WriteUtf8File(const std::wstring& path, const std::string& text) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out << text;
}

std::string ReadFileBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool RunAndWait(const std::wstring& commandLine, DWORD ms, DWORD* exitCode) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  bool ended = WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(pi.hProcess, 99);
  if (exitCode) GetExitCodeProcess(pi.hProcess, exitCode);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return ended;
}

std::vector<std::string> RunHost(const std::string& script, const std::wstring& name, DWORD ms,
                                 const std::wstring& hostExe) {
  std::wstring folder = ScratchFolder(name);
  std::wstring scriptPath = folder + L"\\script.txt";
  std::wstring logPath = folder + L"\\host.log";
  WriteUtf8File(scriptPath, script);
  DeleteFileW(logPath.c_str());
  std::wstring host = std::wstring(GLY_BIN_DIR) + L"\\" + hostExe;
  bool ended = RunAndWait(L"\"" + host + L"\" \"" + scriptPath + L"\" \"" + logPath + L"\"", ms);
  std::vector<std::string> lines;
  std::istringstream in(ReadFileBytes(logPath));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  if (!ended) lines.push_back("TEST: host did not end");
  return lines;
}

bool HasLine(const std::vector<std::string>& log, const std::string& line) {
  for (auto& l : log)
    if (l == line) return true;
  return false;
}

bool HasLineContaining(const std::vector<std::string>& log, const std::string& part) {
  for (auto& l : log)
    if (l.find(part) != std::string::npos) return true;
  return false;
}

size_t CountLines(const std::vector<std::string>& log, const std::string& line) {
  return std::count(log.begin(), log.end(), line);
}

size_t CountContaining(const std::vector<std::string>& log, const std::string& part) {
  return std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

std::string JoinLines(const std::vector<std::string>& log) {
  std::string all;
  for (auto& l : log) all += l + "\n";
  return all;
}

const char kPluginOlderStatus[] =
    "final status: This Plug-in version number is lower than Glyphary. Please reinstall from GLY Plug-in Manager.";
const char kProgramOlderStatus[] =
    "final status: This Plug-in requires Glyphary version 3.5.0 or above. Please download and install the latest "
    "application.";

namespace {
// Every test here may own the main window's class or the activation pipe: none runs while another
// suite's test has gly.exe running (the lock its tests take), and the reverse.
class GlyExeLockEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    fLock = CreateMutexW(nullptr, FALSE, L"gly_tests_gly_exe_lock");
    if (fLock) {
      DWORD waited = WaitForSingleObject(fLock, 600000);
      fHeld = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
  }
  void TearDown() override {
    if (fHeld) ReleaseMutex(fLock);
    if (fLock) CloseHandle(fLock);
  }

 private:
  HANDLE fLock = nullptr;
  bool fHeld = false;
};
const auto* gLockEnvironment = ::testing::AddGlobalTestEnvironment(new GlyExeLockEnvironment);
}  // namespace
