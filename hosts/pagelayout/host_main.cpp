// pagelayout_host.exe <script> <log>: loads Kindler_CS3.pln, registers what it declares, and runs
// the script's commands; every line the plug-in shows goes to the log.
//
// Script lines (UTF-8): "font <first>|<second>|missing|present|broken", "locale zh_CN",
// "state <n>", "chooser <folder>|cancel", "dialog ok-when-enabled|cancel-after <ms>|
// cancel-on-status <text>", "dialog-timeout <ms>", "no-font-manager", "no-store", "plugin <path>",
// and the commands "open [service id]", "menu <action id>", "sleep <ms>".
#include <algorithm>
#include <fstream>
#include <mutex>
#include <sstream>

#include "host_objects.h"

namespace {
FILE* gLog = nullptr;
std::mutex gLogLock;

std::wstring HexId(uint32_t v) {
  wchar_t buf[16];
  swprintf(buf, 16, L"0x%X", v);
  return buf;
}

struct Command {
  std::wstring verb;
  std::wstring argument;
};

std::wstring Trim(std::wstring s) {
  while (!s.empty() && (s.back() == L'\r' || s.back() == L' ')) s.pop_back();
  return s;
}

std::vector<std::wstring> SplitBar(const std::wstring& s) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  for (;;) {
    size_t bar = s.find(L'|', start);
    parts.push_back(s.substr(start, bar == std::wstring::npos ? std::wstring::npos : bar - start));
    if (bar == std::wstring::npos) break;
    start = bar + 1;
  }
  return parts;
}

bool ReadScript(const std::wstring& path, std::vector<Command>& commands, std::wstring& plugin) {
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in) return false;
  std::string raw;
  HostSettings& s = Settings();
  while (std::getline(in, raw)) {
    std::wstring line = Trim(FromUtf8(raw));
    if (line.empty() || line[0] == L'#') continue;
    size_t space = line.find(L' ');
    std::wstring verb = line.substr(0, space);
    std::wstring arg = space == std::wstring::npos ? L"" : line.substr(space + 1);
    if (verb == L"font") {
      auto parts = SplitBar(arg);
      parts.resize(3);
      s.fonts.push_back({parts[0], parts[1], parts[2].empty() ? L"missing" : parts[2]});
    } else if (verb == L"locale") {
      s.locale = arg == L"zh_CN" ? kLocaleChineseSimplified : kLocaleEnglishUS;
    } else if (verb == L"state") {
      s.state = _wtoi(arg.c_str());
    } else if (verb == L"chooser") {
      s.chooserAnswers.push_back(arg);
    } else if (verb == L"dialog") {
      size_t sp = arg.find(L' ');
      s.dialogAction = arg.substr(0, sp);
      std::wstring rest = sp == std::wstring::npos ? L"" : arg.substr(sp + 1);
      s.dialogArgument = static_cast<DWORD>(_wtoi(rest.c_str()));
      s.dialogStatusTrigger = rest;
    } else if (verb == L"dialog-timeout") {
      s.dialogTimeoutMs = static_cast<DWORD>(_wtoi(arg.c_str()));
    } else if (verb == L"no-font-manager") {
      s.fontManager = false;
    } else if (verb == L"no-store") {
      s.sessionStore = false;
    } else if (verb == L"plugin") {
      plugin = arg;
    } else {
      commands.push_back({verb, arg});
    }
  }
  return true;
}

bool LoadPlugIn(const std::wstring& path) {
  LoadedPlugIn& p = PlugIn();
  p.module = LoadLibraryW(path.c_str());
  if (!p.module) {
    HostLog(L"error: cannot load " + path);
    return false;
  }
  auto getPlugIn = reinterpret_cast<GetPlugInFn>(reinterpret_cast<void*>(GetProcAddress(p.module, "GetPlugIn")));
  p.entry = getPlugIn ? getPlugIn() : nullptr;
  if (!p.entry) {
    HostLog(L"error: no GetPlugIn in " + path);
    return false;
  }
  p.entry->SetHostServices(HostServices());
  p.declaration = &p.entry->GetDeclaration();
  const PlugInDeclaration& d = *p.declaration;
  for (int i = 0; i < d.implementationCount; ++i) {
    bool listed = false;
    for (int j = 0; j < d.implementationIDCount; ++j) listed |= d.implementationIDs[j] == d.implementations[i].id;
    if (!listed) HostLog(L"error: implementation " + HexId(d.implementations[i].id) + L" is not in the id resource");
    Registry().AddImplementation(d.implementations[i]);
  }
  for (int i = 0; i < d.classCount; ++i) {
    const ClassEntry& c = d.classes[i];
    std::vector<InterfaceEntry> interfaces;
    for (int k = 0; k < c.count; ++k) {
      if (!Settings().sessionStore && c.addIn && c.interfaces[k].iid == 0x13D401) continue;
      interfaces.push_back(c.interfaces[k]);
    }
    if (c.addIn) Registry().AddInterfaces(c.id, interfaces);
    else Registry().AddClass(c.id, c.parent, interfaces);
  }
  HostLog(L"loaded plug-in " + HexId(d.id) + L" version " + d.version + L" (" + d.fileName + L"): " +
          std::to_wstring(d.implementationCount) + L" implementations, " + std::to_wstring(d.classCount) +
          L" classes, " + std::to_wstring(d.actionCount) + L" actions");
  return true;
}

// Bosses of the plug-in that provide a service, found by their IK2ServiceProvider.
std::vector<HostBoss*> CreateServiceProviders() {
  std::vector<HostBoss*> providers;
  const PlugInDeclaration& d = *PlugIn().declaration;
  for (int i = 0; i < d.classCount; ++i) {
    const ClassEntry& c = d.classes[i];
    if (c.addIn) continue;
    bool provides = false;
    for (int k = 0; k < c.count; ++k) provides |= c.interfaces[k].iid == IID_IK2SERVICEPROVIDER;
    if (!provides) continue;
    if (HostBoss* boss = Registry().Create(c.id)) {
      auto* provider = boss->Get<IK2ServiceProvider>(IID_IK2SERVICEPROVIDER);
      PMString name;
      provider->GetName(&name);
      std::vector<ServiceID> ids;
      provider->GetServiceIDs(ids);
      std::wstring list;
      for (ServiceID id : ids) list += L" " + HexId(id);
      HostLog(L"service provider: " + name.GetText() + L" serves" + list);
      providers.push_back(boss);
    }
  }
  return providers;
}

class SignalMgr final : public ISignalMgr {
 public:
  explicit SignalMgr(ServiceID id) : fID(id) {}
  IPMUnknown* QueryInterface(PMIID) const override { return nullptr; }
  void AddRef() const override {}
  void Release() const override {}
  ServiceID GetServiceID() const override { return fID; }

 private:
  ServiceID fID;
};

void OpenDocument(const std::vector<HostBoss*>& providers, ServiceID signal) {
  HostBoss* document = CreateDocument();
  SetCurrentDocument(document);
  HostLog(L"document opened: " + std::to_wstring(Settings().fonts.size()) + L" fonts");
  SignalMgr signalMgr(signal);
  for (HostBoss* boss : providers) {
    std::vector<ServiceID> ids;
    boss->Get<IK2ServiceProvider>(IID_IK2SERVICEPROVIDER)->GetServiceIDs(ids);
    if (std::find(ids.begin(), ids.end(), signal) == ids.end()) continue;
    if (auto* responder = boss->Get<IResponder>(IID_IRESPONDER)) {
      HostLog(L"signal " + HexId(signal));
      responder->Respond(&signalMgr);
      HostLog(L"signal done");
    }
  }
}

void RunAction(ActionID action) {
  const PlugInDeclaration& d = *PlugIn().declaration;
  for (int i = 0; i < d.actionCount; ++i) {
    if (d.actions[i].id != action) continue;
    HostLog(L"menu: " + std::wstring(d.actions[i].menuPath));
    HostBoss* boss = Registry().Create(d.actions[i].component);
    if (!boss) return;
    if (auto* component = boss->Get<IActionComponent>(IID_IACTIONCOMPONENT)) component->DoAction(action);
    boss->Release();
    return;
  }
  HostLog(L"no action " + HexId(action));
}

std::wstring DefaultPlugInPath() {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring path(exe);
  path.resize(path.find_last_of(L"\\/") + 1);
  return path + L"Kindler_CS3.pln";
}
}  // namespace

void HostLog(const std::wstring& line) {
  std::lock_guard<std::mutex> hold(gLogLock);
  std::string text = ToUtf8(line) + "\n";
  FILE* out = gLog ? gLog : stdout;
  fwrite(text.data(), 1, text.size(), out);
  fflush(out);
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: pagelayout_host <script> <log>\n");
    return 2;
  }
  gLog = _wfopen(argv[2], L"wb");
  std::vector<Command> commands;
  std::wstring pluginPath = DefaultPlugInPath();
  if (!ReadScript(argv[1], commands, pluginPath)) {
    HostLog(L"error: cannot read script");
    return 2;
  }
  RegisterHostClasses();
  if (!LoadPlugIn(pluginPath)) return 3;
  LoadStringTable(Settings().locale);
  CreateSessionAndApplication();
  std::vector<HostBoss*> providers = CreateServiceProviders();
  for (const Command& c : commands) {
    if (c.verb == L"open") {
      OpenDocument(providers, c.argument.empty() ? kAfterOpenDocSignalResponderService
                                                 : static_cast<ServiceID>(wcstoul(c.argument.c_str(), nullptr, 0)));
    } else if (c.verb == L"menu") {
      RunAction(static_cast<ActionID>(wcstoul(c.argument.c_str(), nullptr, 0)));
    } else if (c.verb == L"sleep") {
      Sleep(static_cast<DWORD>(_wtoi(c.argument.c_str())));
    } else {
      HostLog(L"error: unknown command " + c.verb);
    }
  }
  for (HostBoss* boss : providers) boss->Release();
  DestroySessionAndApplication();
  HostLog(L"host done");
  if (gLog) fclose(gLog);
  return 0;
}
