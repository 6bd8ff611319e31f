// The exported entry point, the document-open notifier and the scan of the document's text layers.
#include <cstdio>
#include <exception>

#include "kindler_ps.h"

namespace kindler_ps {

namespace {

constexpr FourCC kEventOpen = MakeFourCC("Opn ");
constexpr DescKey kKeyNull = MakeFourCC("null");
constexpr DescKey kKeyLayerCount = MakeFourCC("NmbL");
constexpr DescKey kKeyText = MakeFourCC("Txt ");
constexpr DescKey kKeyStyleRanges = MakeFourCC("Txtt");
constexpr DescKey kKeyTextStyle = MakeFourCC("TxtS");
constexpr DescKey kKeyFontName = MakeFourCC("FntN");
constexpr DescKey kKeyFontStyle = MakeFourCC("FntS");
constexpr DescType kClassDocument = MakeFourCC("Dcmn");
constexpr DescType kClassLayer = MakeFourCC("Lyr ");
constexpr DescType kTypeOrdinal = MakeFourCC("Ordn");
constexpr FourCC kOrdinalTarget = MakeFourCC("Trgt");
constexpr uint32_t kMaxNameBytes = 1024;

bool gNotifierRegistered = false;

HINSTANCE gInstance = nullptr;

bool HasKeyOfType(DescriptorRef descriptor, DescKey key, DescType type) {
  const DescriptorSuite* d = Suites().descriptor;
  bool has = false;
  DescType actual = 0;
  return d->HasKey(descriptor, key, &has) == kNoErr && has && d->GetType(descriptor, key, &actual) == kNoErr &&
         actual == type;
}

bool ReadText(DescriptorRef descriptor, DescKey key, std::wstring& out) {
  bool has = false;
  if (Suites().descriptor->HasKey(descriptor, key, &has) != kNoErr || !has) return false;
  char buffer[kMaxNameBytes] = {};
  if (Suites().descriptor->GetString(descriptor, key, buffer, sizeof buffer) != kNoErr) return false;
  buffer[sizeof buffer - 1] = 0;  // the host's cut need not keep the terminator
  out = AnsiToWide(buffer);
  return true;
}

void RegisterOpenNotifier() {
  if (gNotifierRegistered || !Suites().action) return;
  if (Suites().action->AddNotify(Suites().plugin, kEventOpen, OnDocumentOpened, nullptr) == kNoErr)
    gNotifierRegistered = true;
}

void UnregisterOpenNotifier() {
  if (gNotifierRegistered && Suites().action) Suites().action->RemoveNotify(Suites().plugin, kEventOpen);
  gNotifierRegistered = false;
}

HostError RunDoIt(const ActionParameters* parameters) {
  DocumentFonts fonts;
  if (!parameters || parameters->playInfo != kDialogDisplay) return kNoErr;
  ScanDocumentFonts(fonts);
  return ShowKindlerDialog(fonts);
}

}  // namespace

HINSTANCE PluginInstance() { return gInstance; }

HostSuites& Suites() {
  static HostSuites suites;
  return suites;
}

bool HostSuites::AcquireAll() {
  if (!basic) return false;
  ++depth;
  auto get = [&](const char* name, int32_t version, auto& slot) {
    if (slot) return;
    const void* suite = nullptr;
    if (basic->AcquireSuite(name, version, &suite) == kNoErr)
      slot = static_cast<std::remove_reference_t<decltype(slot)>>(suite);
  };
  get(SUITE_ACTION_CONTROL, action);
  get(SUITE_DESCRIPTOR, descriptor);
  get(SUITE_REFERENCE, reference);
  get(SUITE_LIST, list);
  get(SUITE_ALIAS, alias);
  get(SUITE_BLOCK, block);
  get(SUITE_DM_BASIC, dmBasic);
  get(SUITE_DM_DIALOG, dmDialog);
  get(SUITE_DM_ITEM, dmItem);
  get(SUITE_DM_LIST, dmList);
  get(SUITE_DM_ENTRY, dmEntry);
  get(SUITE_DM_DRAWER, dmDrawer);
  get(SUITE_DM_ICON, dmIcon);
  get(SUITE_DM_TRACKER, dmTracker);
  get(SUITE_DM_NOTIFIER, dmNotifier);
  return action && descriptor && reference && list && alias && block && dmBasic && dmDialog && dmItem &&
         dmList && dmEntry && dmDrawer && dmIcon && dmTracker && dmNotifier;
}

void HostSuites::ReleaseAll() {
  if (depth > 0 && --depth > 0) return;
  if (!basic) return;
  auto put = [&](const char* name, int32_t version, auto& slot) {
    if (slot) basic->ReleaseSuite(name, version);
    slot = nullptr;
  };
  put(SUITE_ACTION_CONTROL, action);
  put(SUITE_DESCRIPTOR, descriptor);
  put(SUITE_REFERENCE, reference);
  put(SUITE_LIST, list);
  put(SUITE_ALIAS, alias);
  put(SUITE_BLOCK, block);
  put(SUITE_DM_BASIC, dmBasic);
  put(SUITE_DM_DIALOG, dmDialog);
  put(SUITE_DM_ITEM, dmItem);
  put(SUITE_DM_LIST, dmList);
  put(SUITE_DM_ENTRY, dmEntry);
  put(SUITE_DM_DRAWER, dmDrawer);
  put(SUITE_DM_ICON, dmIcon);
  put(SUITE_DM_TRACKER, dmTracker);
  put(SUITE_DM_NOTIFIER, dmNotifier);
}

std::wstring AnsiToWide(const char* text) {
  if (!text || !*text || !Suites().block) return {};
  int count = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (count <= 0) return {};
  auto* buffer = static_cast<wchar_t*>(Suites().block->New(count * sizeof(wchar_t)));
  if (!buffer) return {};
  std::wstring result;
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, count) > 0) result.assign(buffer);
  Suites().block->Dispose(buffer);
  return result;
}

std::string WideToAnsi(std::wstring_view text) {
  if (text.empty() || !Suites().block) return {};
  int count = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                  nullptr);
  if (count <= 0) return {};
  auto* buffer = static_cast<char*>(Suites().block->New(count));
  if (!buffer) return {};
  std::string result;
  if (WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), buffer, count, nullptr, nullptr) ==
      count)
    result.assign(buffer, count);
  Suites().block->Dispose(buffer);
  return result;
}

void MergeFontRecord(std::vector<FontRecord>& records, FontRecord record) {
  for (const FontRecord& r : records)
    if (r.postScriptName == record.postScriptName) return;
  records.push_back(std::move(record));
}

void ReadLayerFonts(DescriptorRef layer, uint32_t /*layerIndex*/, DocumentFonts& fonts) {
  const DescriptorSuite* d = Suites().descriptor;
  DescKey postScriptKey = 0, substitutesKey = 0;
  if (Suites().action->StringIDToTypeID("fontPostScriptName", &postScriptKey) != kNoErr) return;
  const bool haveSubstitutesKey = Suites().action->StringIDToTypeID("substitutesUsed", &substitutesKey) == kNoErr;
  uint32_t keyCount = 0;
  if (d->GetCount(layer, &keyCount) != kNoErr) return;
  for (uint32_t k = 0; k < keyCount; ++k) {
    DescKey key = 0;
    DescType type = 0;
    if (d->GetKey(layer, k, &key) != kNoErr || key != kKeyText) continue;
    if (d->GetType(layer, key, &type) != kNoErr || type != kTypeObject) continue;
    DescType textClass = 0;
    DescriptorRef text = nullptr;
    if (d->GetObject(layer, kKeyText, &textClass, &text) != kNoErr || !text) continue;
    bool substitutes = false;
    bool haveSubstitutes = haveSubstitutesKey && HasKeyOfType(text, substitutesKey, kTypeBoolean) &&
                           d->GetBoolean(text, substitutesKey, &substitutes) == kNoErr;
    ListRef ranges = nullptr;
    if (HasKeyOfType(text, kKeyStyleRanges, kTypeList) && d->GetList(text, kKeyStyleRanges, &ranges) == kNoErr &&
        ranges) {
      uint32_t rangeCount = 0;
      Suites().list->GetCount(ranges, &rangeCount);
      for (uint32_t i = 0; i < rangeCount; ++i) {
        DescType itemType = 0;
        if (Suites().list->GetType(ranges, i, &itemType) != kNoErr || itemType != kTypeObject) continue;
        DescType rangeClass = 0;
        DescriptorRef range = nullptr;
        if (Suites().list->GetObject(ranges, i, &rangeClass, &range) != kNoErr || !range) continue;
        DescType styleClass = 0;
        DescriptorRef style = nullptr;
        if (HasKeyOfType(range, kKeyTextStyle, kTypeObject) &&
            d->GetObject(range, kKeyTextStyle, &styleClass, &style) == kNoErr && style) {
          FontRecord record;
          if (ReadText(style, postScriptKey, record.postScriptName) && !record.postScriptName.empty()) {
            record.status = 6;
            ReadText(style, kKeyFontName, record.family);
            ReadText(style, kKeyFontStyle, record.style);
            if (haveSubstitutes) {
              record.missing = substitutes ? 1 : 0;
              if (!substitutes) record.status = 16;
            }
            MergeFontRecord(fonts.records, std::move(record));
          }
          d->Free(style);
        }
        d->Free(range);
      }
      Suites().list->Free(ranges);
    }
    d->Free(text);
  }
}

void ScanDocumentFonts(DocumentFonts& fonts) {
  const HostSuites& s = Suites();
  ReferenceRef reference = nullptr;
  if (s.reference->Make(&reference) != kNoErr) return;
  DescriptorRef document = nullptr;
  s.reference->PutEnumerated(reference, kClassDocument, kTypeOrdinal, kOrdinalTarget);
  HostError err = s.action->Get(&document, reference);
  s.reference->Free(reference);
  if (err != kNoErr || !document) return;
  int32_t layers = 0;
  bool has = false;
  if (s.descriptor->HasKey(document, kKeyLayerCount, &has) == kNoErr && has)
    s.descriptor->GetInteger(document, kKeyLayerCount, &layers);
  s.descriptor->Free(document);
  char line[64];
  snprintf(line, sizeof line, "numLayers = %d\n", layers);
  OutputDebugStringA(line);
  for (int32_t i = 1; i <= layers; ++i) {
    ReferenceRef layerReference = nullptr;
    if (s.reference->Make(&layerReference) != kNoErr) break;
    s.reference->PutIndex(layerReference, kClassLayer, static_cast<uint32_t>(i));
    DescriptorRef layer = nullptr;
    if (s.action->Get(&layer, layerReference) == kNoErr && layer) {
      ReadLayerFonts(layer, static_cast<uint32_t>(i), fonts);
      s.descriptor->Free(layer);
    }
    s.reference->Free(layerReference);
  }
  OutputDebugStringA("Finished Reading layer information\n");
}

HostError ActivateIfMissing(DocumentFonts& fonts) {
  for (const FontRecord& r : fonts.records)
    if (r.missing) return ShowKindlerDialog(fonts);
  return kNoErr;
}

void OnDocumentOpened(FourCC event, DescriptorRef descriptor, int32_t /*mode*/, void* /*data*/) {
  if (event != kEventOpen) return;
  // The host calls us outside the entry point: the suites are ours for this call only.
  HostSuites& s = Suites();
  try {
    if (s.AcquireAll()) {
      DocumentFonts fonts;
      bool has = false;
      AliasHandle alias = nullptr;
      if (descriptor && s.descriptor->HasKey(descriptor, kKeyNull, &has) == kNoErr && has &&
          s.descriptor->GetAlias(descriptor, kKeyNull, &alias) == kNoErr && alias) {
        char path[MAX_PATH * 4] = {};
        if (s.alias->ToPath(alias, path, sizeof path) == kNoErr) {
          path[sizeof path - 1] = 0;
          fonts.documentPath = AnsiToWide(path);
        }
        s.alias->Dispose(alias);
      }
      ScanDocumentFonts(fonts);
      ActivateIfMissing(fonts);
    }
  } catch (...) {
    // The host is told nothing about a failed scan.
  }
  s.ReleaseAll();
}

}  // namespace kindler_ps

using namespace kindler_ps;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) gInstance = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) HostError __cdecl AutoPluginMain(const char* caller, const char* selector,
                                                                 void* message) {
  HostError result = kNoErr;
  bool resultSet = false;
  HostSuites& s = Suites();
  try {
    auto* entry = static_cast<EntryMessage*>(message);
    if (!caller || !selector || !entry) return kErrParam;
    s.plugin = entry->self;
    s.basic = entry->basic;
    s.AcquireAll();
    if (strcmp(caller, kCallerInterface) == 0) {
      if (strcmp(selector, kSelectorAbout) == 0) ShowAboutBox();
      else if (strcmp(selector, kSelectorStartup) == 0) RegisterOpenNotifier();
      else if (strcmp(selector, kSelectorShutdown) == 0) UnregisterOpenNotifier();
    } else if (strcmp(caller, kCallerHost) == 0 && strcmp(selector, kSelectorDoIt) == 0) {
      result = RunDoIt(entry->actionParameters);
      resultSet = true;
    }
  } catch (...) {
    if (!resultSet || result == kNoErr) result = kErrParam;
  }
  s.ReleaseAll();
  return result;
}
