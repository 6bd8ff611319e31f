#pragma once
// The image-editor plug-in Kindler_ps: the fonts of the open document, the activation dialog and
// its pipe session with the main program.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "AutoSuites.h"

namespace kindler_ps {

struct FontRecord {
  std::wstring postScriptName;
  std::wstring family;
  std::wstring style;
  std::wstring file;
  uint8_t status = 0;
  uint8_t missing = 0;
};

// Private messages of the dialog-side window that the pipe thread posts to.
constexpr UINT kMsgRedrawRow = WM_APP + 1;   // wParam: the row
constexpr UINT kMsgProgress = WM_APP + 2;    // the folder is in DocumentFonts::progressFolder
constexpr UINT kMsgSessionEnd = WM_APP + 3;

// One scan and its dialog. The pipe thread touches the records and texts only under `lock`, and
// the dialog only through messages to `notifyWindow`.
struct DocumentFonts {
  std::vector<FontRecord> records;
  HWND mainWindow = nullptr;
  std::atomic<uint8_t> stop{0};
  uint8_t folderMode = 0;
  std::wstring searchFolder;
  std::atomic<int32_t> error{0};
  std::wstring documentPath;
  DMDialogRef dialog = nullptr;

  std::mutex lock;
  std::wstring progressFolder;
  int32_t selectedRow = -1;
  HANDLE stopEvent = nullptr;
  HANDLE thread = nullptr;
  HWND notifyWindow = nullptr;

  DocumentFonts();
  ~DocumentFonts();  // stops and joins a pipe thread that still runs
  DocumentFonts(const DocumentFonts&) = delete;
  DocumentFonts& operator=(const DocumentFonts&) = delete;
  // Sets the stop flag, ends the pipe thread's waits and I/O, and waits for the thread.
  void StopAndJoin();
  FontRecord RecordCopy(size_t row);
};

constexpr int32_t kErrorNoConnection = 104;
constexpr int32_t kErrorPipeFailure = 105;

// Suites of the host, acquired on first use and released when the host's call ends.
struct HostSuites {
  PluginRef plugin = nullptr;
  const BasicSuite* basic = nullptr;
  const ActionControlSuite* action = nullptr;
  const DescriptorSuite* descriptor = nullptr;
  const ReferenceSuite* reference = nullptr;
  const ListSuite* list = nullptr;
  const AliasSuite* alias = nullptr;
  const BlockAllocatorSuite* block = nullptr;
  const DMBasicSuite* dmBasic = nullptr;
  const DMDialogSuite* dmDialog = nullptr;
  const DMItemSuite* dmItem = nullptr;
  const DMListSuite* dmList = nullptr;
  const DMEntrySuite* dmEntry = nullptr;
  const DMDrawerSuite* dmDrawer = nullptr;
  const DMIconSuite* dmIcon = nullptr;
  const DMTrackerSuite* dmTracker = nullptr;
  const DMNotifierSuite* dmNotifier = nullptr;

  int depth = 0;  // calls of the host into us that are still running (the reopen nests one)

  bool AcquireAll();
  void ReleaseAll();
};
HostSuites& Suites();
HINSTANCE PluginInstance();

// Text through the system's ANSI code page, in blocks of the host's allocator.
std::wstring AnsiToWide(const char* text);
std::string WideToAnsi(std::wstring_view text);
std::string LoadAnsiString(UINT id);
std::string ReplacePercentS(std::string text, const std::string& value);

// Entry and scan.
void OnDocumentOpened(FourCC event, DescriptorRef descriptor, int32_t mode, void* data);
void ScanDocumentFonts(DocumentFonts& fonts);
void ReadLayerFonts(DescriptorRef layer, uint32_t layerIndex, DocumentFonts& fonts);
void MergeFontRecord(std::vector<FontRecord>& records, FontRecord record);
HostError ActivateIfMissing(DocumentFonts& fonts);

// Dialog.
HostError ShowKindlerDialog(DocumentFonts& fonts);
HostError KindlerDialogInit(DMDialogRef dialog);
HostError ReopenDocument(DocumentFonts* fonts);
UINT StatusStringId(const FontRecord& record, const DocumentFonts& fonts);
int32_t StatusIconId(const FontRecord& record, const DocumentFonts& fonts);
void ShowAboutBox();

// Pipe session (the pipe thread).
unsigned __stdcall PipeThreadProc(void* fonts);
void RunPipeSession(DocumentFonts& fonts);
// Applies one status line; the row it changed, or -1.
int ApplyReplyLine(std::wstring_view text, DocumentFonts& fonts);

}  // namespace kindler_ps
