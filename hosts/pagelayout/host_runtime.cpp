#include "host_runtime.h"

std::string ToUtf8(const std::wstring& s) {
  if (s.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring FromUtf8(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

IPMUnknown* HostBoss::QueryInterface(PMIID iid) const {
  for (auto& e : fImpls) {
    if (e.iid == iid) {
      AddRef();
      return e.impl;
    }
  }
  return nullptr;
}

void HostBoss::Release() const {
  if (--fRefs == 0) delete this;
}

void HostBoss::Add(PMIID iid, IPMUnknown* impl, ImplDestroyFn destroy) {
  for (auto& e : fImpls) {
    if (e.iid == iid) {  // a child class replaces its parent's implementation
      if (e.destroy) e.destroy(e.impl);
      e.impl = impl;
      e.destroy = destroy;
      return;
    }
  }
  fImpls.push_back({iid, impl, destroy});
}

HostBoss::~HostBoss() {
  for (auto it = fImpls.rbegin(); it != fImpls.rend(); ++it)
    if (it->destroy) it->destroy(it->impl);
}

void BossRegistry::AddClass(ClassID id, ClassID parent, const std::vector<InterfaceEntry>& interfaces) {
  ClassDef& def = fClasses[id];
  def.parent = parent;
  def.interfaces.insert(def.interfaces.end(), interfaces.begin(), interfaces.end());
}

void BossRegistry::AddInterfaces(ClassID id, const std::vector<InterfaceEntry>& interfaces) {
  ClassDef& def = fClasses[id];
  def.interfaces.insert(def.interfaces.end(), interfaces.begin(), interfaces.end());
}

bool BossRegistry::Collect(ClassID id, std::vector<InterfaceEntry>& out, int depth) const {
  auto it = fClasses.find(id);
  if (it == fClasses.end() || depth > 16) return false;
  if (it->second.parent != kInvalidClass && !Collect(it->second.parent, out, depth + 1)) return false;
  out.insert(out.end(), it->second.interfaces.begin(), it->second.interfaces.end());
  return true;
}

HostBoss* BossRegistry::Create(ClassID id) const {
  std::vector<InterfaceEntry> interfaces;
  if (!Collect(id, interfaces, 0)) return nullptr;
  auto* boss = new HostBoss(id);
  for (const auto& entry : interfaces) {
    auto impl = fImpls.find(entry.impl);
    if (impl == fImpls.end()) {
      HostLog(L"error: class " + std::to_wstring(id) + L" names an unknown implementation");
      boss->Release();
      return nullptr;
    }
    boss->Add(entry.iid, impl->second.create(boss), impl->second.destroy);
  }
  return boss;
}

BossRegistry& Registry() {
  static BossRegistry registry;
  return registry;
}

LoadedPlugIn& PlugIn() {
  static LoadedPlugIn plugin;
  return plugin;
}

bool LoadPlugInResource(PluginID plugin, RsrcType type, RsrcID id, std::string& bytes) {
  const LoadedPlugIn& p = PlugIn();
  if (!p.module || !p.declaration || p.declaration->id != plugin) return false;
  HRSRC found = FindResourceW(p.module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
  if (!found) return false;
  HGLOBAL loaded = LoadResource(p.module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return false;
  bytes.assign(static_cast<const char*>(data), SizeofResource(p.module, found));
  return true;
}

RsrcID ResolveLocaleIndex(PluginID plugin, RsrcID index, PMLocaleId locale) {
  std::string text;
  if (!LoadPlugInResource(plugin, 503, index, text)) return -1;
  const char* localeName = locale == kLocaleChineseSimplified ? "zh_CN" : "en_US";
  RsrcID fallback = -1;
  RsrcID found = -1;
  bool matched = false;
  ForEachResourceLine(text, [&](const std::string& line) {
    size_t space = line.find(' ');
    if (space == std::string::npos) return true;
    std::string key = line.substr(0, space);
    RsrcID value = static_cast<RsrcID>(strtol(line.c_str() + space + 1, nullptr, 10));
    if (key == localeName) {
      found = value;
      matched = true;
      return false;
    }
    if (key == "*") fallback = value;
    return true;
  });
  if (matched) return found;
  return fallback;
}
