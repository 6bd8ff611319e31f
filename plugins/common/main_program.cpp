#include "main_program.h"

#include <shellapi.h>

#include "core/app_messages.h"

namespace {

// The upgrade codes of the main program's installers, in two pairs.
constexpr const char* kUpgradeCodesFirstPair[2] = {"{6E2A6A3B-7F43-4C3D-9B61-2B7D5A0C9E11}",
                                                   "{0C3D9F54-2A8E-4B6F-8D1A-5E7C3B9A4F22}"};
constexpr const char* kUpgradeCodesSecondPair[2] = {"{A1F4C2D7-3B5E-4A89-B0C6-7D2E9F1A3B33}",
                                                    "{5B8E1D3C-9F2A-4C7B-A6E4-1C3D5F7B9A44}"};
constexpr DWORD kErrorElevationRequired = 740;

const InstallerLookup* gInstallerOverride = nullptr;

InstallerLookup MsiLookup() {
  InstallerLookup lookup;
  if (gInstallerOverride) return *gInstallerOverride;
  HMODULE msi = LoadLibraryW(L"msi.dll");
  if (!msi) return lookup;
  // By ordinal, as every msi.dll exports them.
  lookup.enumRelatedProducts = reinterpret_cast<decltype(lookup.enumRelatedProducts)>(
      reinterpret_cast<void*>(GetProcAddress(msi, MAKEINTRESOURCEA(204))));
  lookup.getProductInfo = reinterpret_cast<decltype(lookup.getProductInfo)>(
      reinterpret_cast<void*>(GetProcAddress(msi, MAKEINTRESOURCEA(67))));
  return lookup;  // msi.dll stays loaded for the host's life: it is a system library
}

}  // namespace

PipeClientTimings& ClientTimings() {
  static PipeClientTimings timings;
  return timings;
}

void SetInstallerLookup(const InstallerLookup* lookup) { gInstallerOverride = lookup; }

bool FindMainProgramPath(const char* upgradeCode, char* outPath, size_t outSize) {
  InstallerLookup msi = MsiLookup();
  if (!msi.enumRelatedProducts || !msi.getProductInfo || !outPath || outSize == 0) return false;
  char product[39] = {};
  if (msi.enumRelatedProducts(upgradeCode, 0, 0, product) != ERROR_SUCCESS) return false;
  char location[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  // ERROR_MORE_DATA (a folder longer than the buffer) fails like any other error.
  if (msi.getProductInfo(product, "InstallLocation", location, &size) != ERROR_SUCCESS) return false;
  location[MAX_PATH - 1] = 0;
  std::string path(location);
  while (!path.empty() && path.back() == '/') path.pop_back();
  while (!path.empty() && path.back() == '\\') path.pop_back();
  if (path.empty()) return false;
  path += "\\gly.exe";
  if (path.size() + 1 > outSize) return false;
  memcpy(outPath, path.c_str(), path.size() + 1);
  return true;
}

bool StartMainProgram(const std::string& path) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWMINNOACTIVE;
  PROCESS_INFORMATION pi{};
  // The application name keeps a path with spaces from being split; the quoted command line
  // gives the program its own path as argument 0.
  std::string commandLine = "\"" + path + "\"";
  if (CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                     nullptr, nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
  }
  if (GetLastError() == kErrorElevationRequired) {
    HINSTANCE result = ShellExecuteA(nullptr, "runas", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
  }
  return false;
}

bool LaunchFromUpgradeCodes(const char* const codes[2]) {
  for (int i = 0; i < 2; ++i) {
    char path[MAX_PATH] = {};
    if (FindMainProgramPath(codes[i], path, sizeof path) && StartMainProgram(path)) return true;
  }
  return false;
}

bool LaunchMainProgram(int pairSelector) {
  return LaunchFromUpgradeCodes(pairSelector == 2 ? kUpgradeCodesFirstPair : kUpgradeCodesSecondPair);
}

HWND FindMainWindow() { return FindWindowW(kMainWindowClass, nullptr); }

HWND LaunchAndWaitForMainWindow(HANDLE stopEvent) {
  if (!LaunchMainProgram(2) && !LaunchMainProgram(3)) return nullptr;
  HWND window = nullptr;
  for (DWORD waited = 0; !window && waited < ClientTimings().launchWaitMs; waited += ClientTimings().launchPollMs) {
    if (stopEvent) {
      if (WaitForSingleObject(stopEvent, ClientTimings().launchPollMs) == WAIT_OBJECT_0) break;
    } else {
      Sleep(ClientTimings().launchPollMs);
    }
    window = FindMainWindow();
  }
  return window;
}

// A hung program answers nothing: the answer is then "no answer".
bool SendControlCode(HWND window, WPARAM code, LRESULT& answer) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, WM_PLUGIN_COMMAND, code, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                           ClientTimings().sendTimeoutMs, &result))
    return false;
  answer = static_cast<LRESULT>(result);
  return true;
}
