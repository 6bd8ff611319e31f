#pragma once
// Finding, starting and asking the running main program, as both host plug-ins do it.
#include <windows.h>

#include <string>

constexpr wchar_t kMainWindowClass[] = L"GLYMainWnd";

// Plug-in control codes (first parameter of WM_PLUGIN_COMMAND).
constexpr WPARAM kCodeStartServer = 2;
constexpr WPARAM kCodeProtocolVersion = 3;
constexpr WPARAM kCodeSearchFolderWanted = 4;
constexpr LRESULT kProtocolVersion = 5;

// Windows Installer's two queries (msi.dll ordinals 204 and 67); tests may replace them.
struct InstallerLookup {
  UINT(WINAPI* enumRelatedProducts)(LPCSTR upgradeCode, DWORD reserved, DWORD index, LPSTR product) = nullptr;
  UINT(WINAPI* getProductInfo)(LPCSTR product, LPCSTR property, LPSTR value, LPDWORD size) = nullptr;
};
void SetInstallerLookup(const InstallerLookup* lookup);  // null: msi.dll again

// Tunables of the client; tests shorten them.
struct PipeClientTimings {
  DWORD sendTimeoutMs = 5000;     // a main window that answers no message within this is hung
  DWORD launchPollMs = 250;       // look for the started program's window this often...
  DWORD launchWaitMs = 40000;     // ...for up to five times eight seconds
  int pipeOpenAttempts = 202;     // about 20 s of attempts to open the pipe
  DWORD pipeRetryMs = 100;
};
PipeClientTimings& ClientTimings();

// Tries the two upgrade codes of one pair (2: the first pair, any other value: the second).
bool LaunchMainProgram(int pairSelector);
bool LaunchFromUpgradeCodes(const char* const codes[2]);
// Starts the program at `path` minimised and without activation; asks for elevation when needed.
bool StartMainProgram(const std::string& path);
bool FindMainProgramPath(const char* upgradeCode, char* outPath, size_t outSize);

HWND FindMainWindow();
// Launches the program (first pair, then second) and waits for its window until it shows, the
// wait ends, or `stopEvent` (may be null) is signalled. Null when no window came.
HWND LaunchAndWaitForMainWindow(HANDLE stopEvent);
// Sends a control code; false when the window did not answer in time (hung or gone).
bool SendControlCode(HWND window, WPARAM code, LRESULT& answer);
