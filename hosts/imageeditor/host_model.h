#pragma once
// The stand-in image editor's data: descriptors, the open document, the script and the log.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "AutoSuites.h"

void HostLog(const std::string& line);
std::string FourCCText(uint32_t code);

struct HostList;

struct HostValue {
  DescType type = 0;
  int32_t integer = 0;  // integers, booleans, enumerations (the value)
  DescType enumType = 0;
  std::string text;     // text, alias paths
  DescType classID = 0;
  std::shared_ptr<HostDescriptor> object;
  std::shared_ptr<HostList> list;
};

struct HostDescriptor {
  std::vector<std::pair<DescKey, HostValue>> items;
  const HostValue* Find(DescKey key) const {
    for (auto& item : items)
      if (item.first == key) return &item.second;
    return nullptr;
  }
  void Put(DescKey key, HostValue value) {
    for (auto& item : items)
      if (item.first == key) {
        item.second = std::move(value);
        return;
      }
    items.emplace_back(key, std::move(value));
  }
};

struct HostList {
  std::vector<HostValue> items;
};

struct HostReference {
  DescType classID = 0;
  bool byIndex = false;
  uint32_t index = 0;
  FourCC enumValue = 0;
};

struct HostAlias {
  std::string path;
};

// The document as the script describes it.
struct ScriptStyle {
  std::string postScriptName, family, style;
};
struct ScriptLayer {
  std::string name;
  bool hasText = false;
  int substitutes = -1;  // -1: the key is absent
  std::vector<ScriptStyle> styles;
};

struct HostState {
  std::vector<ScriptLayer> layers;
  std::string openPath;  // empty: no document open
  bool reopenFixed = false;
  bool closeFails = false;
  int opens = 0;
  int openLimit = 4;
  std::vector<std::string> chooserAnswers;
  std::vector<std::string> dialogAnswers;
  DWORD dialogTimeoutMs = 90000;
  HMODULE plugin = nullptr;
  FourCC notifierEvent = 0;
  EventNotifyProc notifier = nullptr;
  int suitesHeld = 0;
  DWORD hostThread = 0;  // the dialog suites may be used only on this thread
};
// Logs an error when a dialog suite is called from another thread than the host's.
void CheckHostThread(const char* what);
HostState& State();

std::shared_ptr<HostDescriptor> DocumentDescriptor();
std::shared_ptr<HostDescriptor> LayerDescriptor(uint32_t index);
void OpenDocument(const std::string& path);

const void* FindSuite(const std::string& name);
