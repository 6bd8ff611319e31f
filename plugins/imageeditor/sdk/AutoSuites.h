#pragma once
// Our stand-in of the image editor's automation interfaces: just the suites the plug-in calls,
// as tables of functions the host fills in. Four-character codes are big-endian packed, as the
// host spells them ('Opn ' = 0x4F706E20).
#include <windows.h>

#include <cstdint>

using HostError = int32_t;
using FourCC = uint32_t;
using DescKey = uint32_t;
using DescType = uint32_t;

constexpr FourCC MakeFourCC(const char (&s)[5]) {
  return (FourCC(uint8_t(s[0])) << 24) | (FourCC(uint8_t(s[1])) << 16) | (FourCC(uint8_t(s[2])) << 8) |
         FourCC(uint8_t(s[3]));
}

// Error results of the entry point and the suites.
constexpr HostError kNoErr = 0;
constexpr HostError kErrParam = static_cast<HostError>(MakeFourCC("Parm"));
constexpr HostError kErrStop = static_cast<HostError>(MakeFourCC("STOP"));
constexpr HostError kErrBadParameter = static_cast<HostError>(MakeFourCC("fbar"));
constexpr HostError kErrUnknownKey = -1715;

// Types of descriptor values.
constexpr DescType kTypeInteger = MakeFourCC("long");
constexpr DescType kTypeBoolean = MakeFourCC("bool");
constexpr DescType kTypeText = MakeFourCC("TEXT");
constexpr DescType kTypeObject = MakeFourCC("Objc");
constexpr DescType kTypeList = MakeFourCC("VlLs");
constexpr DescType kTypeAlias = MakeFourCC("alis");
constexpr DescType kTypeEnumerated = MakeFourCC("enum");

struct HostDescriptor;  // opaque to the plug-in
struct HostReference;
struct HostList;
using DescriptorRef = HostDescriptor*;
using ReferenceRef = HostReference*;
using ListRef = HostList*;
using AliasHandle = struct HostAlias*;
using PluginRef = struct HostPlugin*;

// Dialog play modes of Play.
constexpr int32_t kDialogDontDisplay = 2;
constexpr int32_t kDialogDisplay = 1;  // a menu command that shows its own dialog

struct BasicSuite {
  HostError (*AcquireSuite)(const char* name, int32_t version, const void** suite);
  HostError (*ReleaseSuite)(const char* name, int32_t version);
};

using EventNotifyProc = void (*)(FourCC event, DescriptorRef descriptor, int32_t mode, void* data);

struct ActionControlSuite {
  HostError (*AddNotify)(PluginRef plugin, FourCC event, EventNotifyProc proc, void* data);
  HostError (*RemoveNotify)(PluginRef plugin, FourCC event);
  HostError (*Play)(DescriptorRef* result, FourCC event, DescriptorRef descriptor, int32_t dialogMode);
  HostError (*Get)(DescriptorRef* result, ReferenceRef reference);
  // The host's string-id table: a key named by text to its key code.
  HostError (*StringIDToTypeID)(const char* stringID, DescKey* key);
};

struct DescriptorSuite {
  HostError (*Make)(DescriptorRef* descriptor);
  HostError (*Free)(DescriptorRef descriptor);
  HostError (*GetCount)(DescriptorRef descriptor, uint32_t* count);
  HostError (*GetKey)(DescriptorRef descriptor, uint32_t index, DescKey* key);
  HostError (*HasKey)(DescriptorRef descriptor, DescKey key, bool* has);
  HostError (*GetType)(DescriptorRef descriptor, DescKey key, DescType* type);
  HostError (*GetInteger)(DescriptorRef descriptor, DescKey key, int32_t* value);
  HostError (*GetBoolean)(DescriptorRef descriptor, DescKey key, bool* value);
  // ANSI text, cut to `maxLength` bytes with its terminator.
  HostError (*GetString)(DescriptorRef descriptor, DescKey key, char* text, uint32_t maxLength);
  // A new descriptor the caller frees.
  HostError (*GetObject)(DescriptorRef descriptor, DescKey key, DescType* classID, DescriptorRef* object);
  HostError (*GetList)(DescriptorRef descriptor, DescKey key, ListRef* list);
  HostError (*GetAlias)(DescriptorRef descriptor, DescKey key, AliasHandle* alias);
  HostError (*PutEnumerated)(DescriptorRef descriptor, DescKey key, DescType type, FourCC value);
  HostError (*PutAlias)(DescriptorRef descriptor, DescKey key, AliasHandle alias);
};

struct ReferenceSuite {
  HostError (*Make)(ReferenceRef* reference);
  HostError (*Free)(ReferenceRef reference);
  HostError (*PutEnumerated)(ReferenceRef reference, DescType classID, DescType type, FourCC value);
  HostError (*PutIndex)(ReferenceRef reference, DescType classID, uint32_t index);
};

struct ListSuite {
  HostError (*Free)(ListRef list);
  HostError (*GetCount)(ListRef list, uint32_t* count);
  HostError (*GetType)(ListRef list, uint32_t index, DescType* type);
  HostError (*GetObject)(ListRef list, uint32_t index, DescType* classID, DescriptorRef* object);
};

struct AliasSuite {
  // ANSI paths.
  HostError (*NewFromPath)(const char* path, AliasHandle* alias);
  HostError (*ToPath)(AliasHandle alias, char* path, uint32_t maxLength);
  HostError (*Dispose)(AliasHandle alias);
};

struct BlockAllocatorSuite {
  void* (*New)(size_t size);
  void (*Dispose)(void* block);
};

// Dialog manager.
using DMDialogRef = struct HostDialog*;
using DMItemRef = struct HostItem*;
using DMListRef = struct HostListBox*;
using DMEntryRef = struct HostEntry*;
using DMDrawerRef = struct HostDrawer*;
using DMTrackerRef = struct HostTracker*;
using DMNotifierRef = struct HostNotifier*;
using DMIconRef = struct HostIcon*;

struct DMRect {
  int32_t left, top, right, bottom;
};
struct DMPoint {
  int32_t h, v;
};

using DMDialogInitProc = HostError (*)(DMDialogRef dialog);
using DMItemInitProc = HostError (*)(DMItemRef item);
using DMDialogNotifyProc = void (*)(DMDialogRef dialog, DMNotifierRef notifier);
using DMEntryDrawProc = void (*)(DMEntryRef entry, DMDrawerRef drawer);
using DMEntryTrackProc = bool (*)(DMEntryRef entry, DMTrackerRef tracker);

constexpr char kDMListBoxType[] = "ADM List Box Type";

// Colours and fonts of the dialog manager.
constexpr int32_t kDMColorBackground = 13;
constexpr int32_t kDMColorHilite = 5;
constexpr int32_t kDMColorText = 15;
constexpr int32_t kDMColorSeparator = 11;
constexpr int32_t kDMColorStatus = 12;
constexpr int32_t kDMFontDialog = 1;
constexpr int32_t kDMFontBold = 5;

// Notifier types and tracker actions.
constexpr int32_t kDMNotifyActivate = 1;
constexpr int32_t kDMNotifyDeactivate = 2;
constexpr int32_t kDMNotifyShow = 3;
constexpr int32_t kDMTrackMouseDown = 1;
constexpr int32_t kDMTrackKeyDown = 2;
// Virtual key codes of the tracker.
constexpr int32_t kDMKeyHome = 4;
constexpr int32_t kDMKeyEnd = 5;
constexpr int32_t kDMKeyUp = 30;
constexpr int32_t kDMKeyDown = 31;

struct DMBasicSuite {
  HostError (*GetScreenBounds)(DMRect* bounds);  // the host's main window
  void (*ShowToolTip)(DMPoint where, const char* text);
  void (*HideToolTip)();
  // A folder chooser; false when the user cancelled. ANSI path.
  bool (*GetDirectoryDialog)(const char* message, char* path, uint32_t maxLength);
};

struct DMDialogSuite {
  int32_t (*Modal)(PluginRef plugin, const char* title, int32_t dialogID, DMDialogInitProc init, void* userData);
  void* (*GetUserData)(DMDialogRef dialog);
  HWND (*GetWindowRef)(DMDialogRef dialog);
  DMItemRef (*GetItem)(DMDialogRef dialog, int32_t itemID);
  void (*GetBoundsRect)(DMDialogRef dialog, DMRect* bounds);
  void (*SetNotifyProc)(DMDialogRef dialog, DMDialogNotifyProc proc);
  void (*DefaultNotify)(DMDialogRef dialog, DMNotifierRef notifier);
};

struct DMItemSuite {
  DMItemRef (*Create)(DMDialogRef dialog, int32_t itemID, const char* type, const DMRect* bounds,
                      DMItemInitProc init, void* userData);
  void (*Destroy)(DMItemRef item);
  void (*GetBoundsRect)(DMItemRef item, DMRect* bounds);
  HWND (*GetWindowRef)(DMItemRef item);
  DMDialogRef (*GetDialog)(DMItemRef item);
  DMListRef (*GetList)(DMItemRef item);
  void (*SetItemStyle)(DMItemRef item, int32_t style);
  void (*SetText)(DMItemRef item, const char* text);
  void (*Enable)(DMItemRef item, bool enable);
  void (*Invalidate)(DMItemRef item);
};

struct DMListSuite {
  void (*SetDrawProc)(DMListRef list, DMEntryDrawProc proc);
  void (*SetTrackProc)(DMListRef list, DMEntryTrackProc proc);
  void (*SetBackColor)(DMListRef list, int32_t color);
  void (*SetEntryWidth)(DMListRef list, int32_t width);
  void (*SetEntryHeight)(DMListRef list, int32_t height);
  int32_t (*GetEntryHeight)(DMListRef list);
  DMEntryRef (*InsertEntry)(DMListRef list, int32_t index);
  int32_t (*NumberOfEntries)(DMListRef list);
  DMEntryRef (*IndexEntry)(DMListRef list, int32_t index);
  DMItemRef (*GetItem)(DMListRef list);
};

struct DMEntrySuite {
  int32_t (*GetIndex)(DMEntryRef entry);
  DMListRef (*GetList)(DMEntryRef entry);
  void (*SetName)(DMEntryRef entry, const char* text);
  void (*Invalidate)(DMEntryRef entry);
};

struct DMDrawerSuite {
  void (*GetBoundsRect)(DMDrawerRef drawer, DMRect* bounds);
  void (*SetColor)(DMDrawerRef drawer, int32_t color);
  void (*FillRect)(DMDrawerRef drawer, const DMRect* rect);
  void (*SetFont)(DMDrawerRef drawer, int32_t font);
  int32_t (*GetTextWidth)(DMDrawerRef drawer, const char* text);
  void (*DrawText)(DMDrawerRef drawer, const char* text, DMPoint where);
  void (*DrawIcon)(DMDrawerRef drawer, DMIconRef icon, DMPoint where);
};

struct DMIconSuite {
  DMIconRef (*GetFromResource)(PluginRef plugin, int32_t iconID);
  void (*Destroy)(DMIconRef icon);
};

struct DMTrackerSuite {
  int32_t (*GetAction)(DMTrackerRef tracker);
  DMPoint (*GetPoint)(DMTrackerRef tracker);
  int32_t (*GetVirtualKey)(DMTrackerRef tracker);
  void (*Abort)(DMTrackerRef tracker);
};

struct DMNotifierSuite {
  int32_t (*GetType)(DMNotifierRef notifier);
};

// Suite names and versions.
#define SUITE_BASIC "Basic Suite", 1
#define SUITE_ACTION_CONTROL "Action Control Suite", 1
#define SUITE_DESCRIPTOR "Action Descriptor Suite", 1
#define SUITE_REFERENCE "Action Reference Suite", 1
#define SUITE_LIST "Action List Suite", 1
#define SUITE_ALIAS "Alias Suite", 1
#define SUITE_BLOCK "Block Allocator Suite", 1
#define SUITE_DM_BASIC "DM Basic Suite", 1
#define SUITE_DM_DIALOG "DM Dialog Suite", 1
#define SUITE_DM_ITEM "DM Item Suite", 1
#define SUITE_DM_LIST "DM List Suite", 1
#define SUITE_DM_ENTRY "DM Entry Suite", 1
#define SUITE_DM_DRAWER "DM Drawer Suite", 1
#define SUITE_DM_ICON "DM Icon Suite", 1
#define SUITE_DM_TRACKER "DM Tracker Suite", 1
#define SUITE_DM_NOTIFIER "DM Notifier Suite", 1

// What the entry point receives.
struct ActionParameters {
  int32_t playInfo;  // the dialog play mode
  DescriptorRef descriptor;
};

struct EntryMessage {
  PluginRef self;
  const BasicSuite* basic;
  ActionParameters* actionParameters;  // "Do It" only
};

constexpr char kCallerInterface[] = "SP Interface";
constexpr char kCallerHost[] = "PS Photoshop";
constexpr char kSelectorAbout[] = "About";
constexpr char kSelectorStartup[] = "Startup";
constexpr char kSelectorShutdown[] = "Shutdown";
constexpr char kSelectorDoIt[] = "Do It";

using AutoPluginMainFn = HostError(__cdecl*)(const char* caller, const char* selector, void* message);
