// imageeditor_host.exe <script> <log>: loads Kindler_ps.8li through AutoPluginMain, runs its
// start-up, and plays what the script says; every line the plug-in shows or asks for goes to the log.
//
// Script lines (UTF-8):
//   layer <name>                      a layer (without text until a "text" line follows)
//   text substitutes|present|unknown  the last layer has text; whether the host substitutes its fonts
//   style <postscript>|<family>|<style>  one style range of the last layer's text
//   chooser <folder>|cancel           the next answer of the folder chooser
//   dialog ok|cancel|cancel-on <text>|keys <u d h e...>  how the next activation dialog is answered
//   dialog-timeout <ms>, reopen-fixed, close-fails, open-limit <n>, plugin <path>
//   open <path> | menu | about | sleep <ms>   the commands, in order
#include <cstdio>
#include <fstream>
#include <mutex>

#include "host_model.h"

namespace {

FILE* gLog = nullptr;
std::mutex gLogLock;

HostError AcquireSuite(const char* name, int32_t, const void** suite) {
  const void* found = name ? FindSuite(name) : nullptr;
  if (suite) *suite = found;
  if (!found) {
    HostLog(std::string("error: no suite ") + (name ? name : "?"));
    return kErrParam;
  }
  ++State().suitesHeld;
  return kNoErr;
}
HostError ReleaseSuite(const char*, int32_t) {
  --State().suitesHeld;
  return kNoErr;
}
const BasicSuite kBasicSuite = {AcquireSuite, ReleaseSuite};

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

std::string ResultText(HostError e) {
  if (e == kErrStop || e == kErrParam || e == kErrBadParameter) return FourCCText(static_cast<uint32_t>(e));
  return std::to_string(e);
}

// Reads the about box the plug-in shows and closes it with its OK button.
BOOL CALLBACK FindAboutBox(HWND window, LPARAM found) {
  char title[64] = {};
  GetWindowTextA(window, title, sizeof title);
  if (strcmp(title, "About Kindler") != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

void CALLBACK CloseAboutBox(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindAboutBox, reinterpret_cast<LPARAM>(&box));
  if (!box) return;
  KillTimer(nullptr, timer);
  for (int id : {1019, 1020, 1021}) {
    char text[512] = {};
    GetDlgItemTextA(box, id, text, sizeof text);
    HostLog("about " + std::to_string(id) + ": " + text);
  }
  LOGFONTW font{};
  HFONT title = reinterpret_cast<HFONT>(SendDlgItemMessageW(box, 1019, WM_GETFONT, 0, 0));
  if (title && GetObjectW(title, sizeof font, &font)) HostLog("about title weight: " + std::to_string(font.lfWeight));
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
}

}  // namespace

void HostLog(const std::string& line) {
  std::lock_guard<std::mutex> hold(gLogLock);
  if (!gLog) return;
  fprintf(gLog, "%s\n", line.c_str());
  fflush(gLog);
}

std::string FourCCText(uint32_t code) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = static_cast<char>((code >> shift) & 0xFF);
    s += (c >= 32 && c < 127) ? c : '?';
  }
  return s;
}

void CheckHostThread(const char* what) {
  if (GetCurrentThreadId() != State().hostThread) HostLog(std::string("error: ") + what + " from another thread");
}

HostState& State() {
  static HostState state;
  return state;
}

void OpenDocument(const std::string& path) {
  HostState& s = State();
  ++s.opens;
  s.openPath = path;
  HostLog("host: opened " + path);
  if (!s.notifier) return;
  HostDescriptor descriptor;
  HostValue alias;
  alias.type = kTypeAlias;
  alias.text = path;
  descriptor.Put(MakeFourCC("null"), alias);
  s.notifier(MakeFourCC("Opn "), &descriptor, kDialogDontDisplay, nullptr);
  HostLog("host: open notified");
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  gLog = _wfopen(argv[2], L"wb");
  std::ifstream in(argv[1], std::ios::binary);
  if (!gLog || !in) return 2;
  HostState& s = State();
  s.hostThread = GetCurrentThreadId();
  std::wstring pluginPath;
  {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    pluginPath = self;
    pluginPath = pluginPath.substr(0, pluginPath.find_last_of(L"\\/") + 1) + L"Kindler_ps.8li";
  }
  std::vector<std::pair<std::string, std::string>> commands;
  for (std::string raw; std::getline(in, raw);) {
    while (!raw.empty() && (raw.back() == '\r' || raw.back() == ' ')) raw.pop_back();
    if (raw.empty() || raw[0] == '#') continue;
    size_t space = raw.find(' ');
    std::string verb = raw.substr(0, space), arg = space == std::string::npos ? "" : raw.substr(space + 1);
    if (verb == "layer") {
      s.layers.push_back(ScriptLayer{arg});
    } else if (verb == "text" && !s.layers.empty()) {
      s.layers.back().hasText = true;
      s.layers.back().substitutes = arg == "substitutes" ? 1 : arg == "present" ? 0 : -1;
    } else if (verb == "style" && !s.layers.empty()) {
      auto parts = Split(arg, '|');
      parts.resize(3);
      s.layers.back().styles.push_back({parts[0], parts[1], parts[2]});
    } else if (verb == "chooser") {
      s.chooserAnswers.push_back(arg);
    } else if (verb == "dialog") {
      s.dialogAnswers.push_back(arg);
    } else if (verb == "dialog-timeout") {
      s.dialogTimeoutMs = static_cast<DWORD>(atoi(arg.c_str()));
    } else if (verb == "reopen-fixed") {
      s.reopenFixed = true;
    } else if (verb == "close-fails") {
      s.closeFails = true;
    } else if (verb == "open-limit") {
      s.openLimit = atoi(arg.c_str());
    } else if (verb == "plugin") {
      pluginPath.assign(arg.begin(), arg.end());
    } else {
      commands.emplace_back(verb, arg);
    }
  }

  s.plugin = LoadLibraryW(pluginPath.c_str());
  auto entry = s.plugin ? reinterpret_cast<AutoPluginMainFn>(
                              reinterpret_cast<void*>(GetProcAddress(s.plugin, "AutoPluginMain")))
                        : nullptr;
  if (!entry) {
    HostLog("error: cannot load the plug-in");
    return 3;
  }
  if (!FindResourceW(s.plugin, MAKEINTRESOURCEW(18000), L"PIPL")) HostLog("error: no property list");
  EntryMessage message{reinterpret_cast<PluginRef>(s.plugin), &kBasicSuite, nullptr};
  HostLog("startup: " + ResultText(entry(kCallerInterface, kSelectorStartup, &message)));

  for (auto& [verb, arg] : commands) {
    if (verb == "open") {
      OpenDocument(arg);
    } else if (verb == "menu") {
      ActionParameters parameters{kDialogDisplay, nullptr};
      EntryMessage doIt{reinterpret_cast<PluginRef>(s.plugin), &kBasicSuite, &parameters};
      HostLog("menu: " + ResultText(entry(kCallerHost, kSelectorDoIt, &doIt)));
    } else if (verb == "menu-silent") {
      ActionParameters parameters{kDialogDontDisplay, nullptr};
      EntryMessage doIt{reinterpret_cast<PluginRef>(s.plugin), &kBasicSuite, &parameters};
      HostLog("menu: " + ResultText(entry(kCallerHost, kSelectorDoIt, &doIt)));
    } else if (verb == "about") {
      SetTimer(nullptr, 0, 50, CloseAboutBox);
      HostLog("about: " + ResultText(entry(kCallerInterface, kSelectorAbout, &message)));
    } else if (verb == "sleep") {
      Sleep(static_cast<DWORD>(atoi(arg.c_str())));
    } else {
      HostLog("error: unknown command " + verb);
    }
  }
  HostLog("shutdown: " + ResultText(entry(kCallerInterface, kSelectorShutdown, &message)));
  HostLog("suites still held: " + std::to_string(s.suitesHeld));
  FreeLibrary(s.plugin);
  HostLog("host done");
  fclose(gLog);
  gLog = nullptr;
  return 0;
}
