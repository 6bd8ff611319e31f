#pragma once
// The stand-in page-layout host: boss classes and their registry, the loaded plug-in, its
// resources, and the log that tests read.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "PlugIn.h"

// Log lines for tests, UTF-8, flushed at once.
void HostLog(const std::wstring& line);
std::string ToUtf8(const std::wstring& s);
std::wstring FromUtf8(const std::string& s);

class HostBoss final : public IPMUnknown {
 public:
  explicit HostBoss(ClassID id) : fClass(id) {}
  IPMUnknown* QueryInterface(PMIID iid) const override;
  void AddRef() const override { ++fRefs; }
  void Release() const override;
  void Add(PMIID iid, IPMUnknown* impl, ImplDestroyFn destroy);
  ClassID GetClass() const { return fClass; }
  // An implementation without adding a reference (the boss is kept alive by its owner).
  template <class T>
  T* Get(PMIID iid) const {
    for (auto& e : fImpls)
      if (e.iid == iid) return static_cast<T*>(e.impl);
    return nullptr;
  }

 private:
  ~HostBoss();
  struct Entry {
    PMIID iid;
    IPMUnknown* impl;
    ImplDestroyFn destroy;
  };
  ClassID fClass;
  mutable std::atomic<int> fRefs{1};
  std::vector<Entry> fImpls;
};

class BossRegistry {
 public:
  void AddImplementation(const ImplementationEntry& e) { fImpls[e.id] = e; }
  void AddClass(ClassID id, ClassID parent, const std::vector<InterfaceEntry>& interfaces);
  void AddInterfaces(ClassID id, const std::vector<InterfaceEntry>& interfaces);
  bool HasClass(ClassID id) const { return fClasses.count(id) != 0; }
  // A new boss of the class (one reference); null for an unknown class or implementation.
  HostBoss* Create(ClassID id) const;

 private:
  struct ClassDef {
    ClassID parent = kInvalidClass;
    std::vector<InterfaceEntry> interfaces;
  };
  bool Collect(ClassID id, std::vector<InterfaceEntry>& out, int depth) const;
  std::map<ImplementationID, ImplementationEntry> fImpls;
  std::map<ClassID, ClassDef> fClasses;
};

BossRegistry& Registry();

// The loaded plug-in and its resources.
struct LoadedPlugIn {
  HMODULE module = nullptr;
  IPlugIn* entry = nullptr;
  const PlugInDeclaration* declaration = nullptr;
};
LoadedPlugIn& PlugIn();
bool LoadPlugInResource(PluginID plugin, RsrcType type, RsrcID id, std::string& bytes);
// The resource a locale index names for the locale; -1 when none.
RsrcID ResolveLocaleIndex(PluginID plugin, RsrcID index, PMLocaleId locale);
// Calls fn with each line of a text resource (split at '\n'); fn returns false to stop.
template <typename Fn>
void ForEachResourceLine(const std::string& text, Fn fn) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    if (!fn(text.substr(pos, end - pos))) return;
    pos = end + 1;
  }
}
