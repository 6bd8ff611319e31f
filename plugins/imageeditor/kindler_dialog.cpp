// The activation dialog: finds or starts the main program, agrees on the protocol and the search
// folder, runs the pipe thread, shows one row per font, and reopens the document afterwards.
#include <process.h>

#include <algorithm>

#include "activation/pipe_protocol.h"
#include "core/app_messages.h"
#include "kindler_ids.h"
#include "kindler_ps.h"
#include "main_program.h"

namespace kindler_ps {

namespace {

constexpr int32_t kItemOK = 1;
constexpr int32_t kItemCancel = 2;
constexpr int32_t kListStyle = 5;
constexpr int32_t kMinEntryHeight = 18;
constexpr int32_t kIconWidth = 16;
constexpr size_t kCopyDataBytes = 512;
constexpr ULONG_PTR kCopyDataFolder = 1;
constexpr FourCC kEventClose = MakeFourCC("Cls ");
constexpr FourCC kEventOpen = MakeFourCC("Opn ");
constexpr DescKey kKeySaving = MakeFourCC("Svng");
constexpr DescKey kKeyNull = MakeFourCC("null");
constexpr DescType kTypeYesNo = MakeFourCC("YsN ");
constexpr FourCC kValueNo = MakeFourCC("N   ");
constexpr wchar_t kNotifyClass[] = L"KindlerPsSession";

// Set when the main program's window showed up only after we started it.
bool gLaunchedMainProgram = false;

DocumentFonts* FontsOf(DMDialogRef dialog) {
  return dialog ? static_cast<DocumentFonts*>(Suites().dmDialog->GetUserData(dialog)) : nullptr;
}

DMListRef FontList(DocumentFonts& fonts) {
  DMItemRef item = fonts.dialog ? Suites().dmDialog->GetItem(fonts.dialog, IDC_FONT_LIST) : nullptr;
  return item ? Suites().dmItem->GetList(item) : nullptr;
}

void SetStatusLine(DocumentFonts& fonts, const std::string& text) {
  if (DMItemRef item = Suites().dmDialog->GetItem(fonts.dialog, IDC_STATUS_LINE)) Suites().dmItem->SetText(item, text.c_str());
}

void EnableButton(DocumentFonts& fonts, int32_t id, bool enable) {
  if (DMItemRef item = Suites().dmDialog->GetItem(fonts.dialog, id)) Suites().dmItem->Enable(item, enable);
}

void RedrawRow(DocumentFonts& fonts, int32_t row) {
  DMListRef list = FontList(fonts);
  if (!list || row < 0 || row >= Suites().dmList->NumberOfEntries(list)) return;
  if (DMEntryRef entry = Suites().dmList->IndexEntry(list, row)) Suites().dmEntry->Invalidate(entry);
}

void RedrawAllRows(DocumentFonts& fonts) {
  if (DMListRef list = FontList(fonts))
    for (int32_t row = 0; row < Suites().dmList->NumberOfEntries(list); ++row) RedrawRow(fonts, row);
}

// Runs on the dialog's thread: the pipe thread's requests for redraws and button states.
LRESULT CALLBACK NotifyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* fonts = reinterpret_cast<DocumentFonts*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (fonts && fonts->dialog) {
    switch (message) {
      case kMsgRedrawRow:
        RedrawRow(*fonts, static_cast<int32_t>(wParam));
        return 0;
      case kMsgProgress: {
        std::wstring folder;
        {
          std::lock_guard<std::mutex> hold(fonts->lock);
          folder = fonts->progressFolder;
        }
        SetStatusLine(*fonts, ReplacePercentS(LoadAnsiString(IDS_SEARCHING_FOLDER), WideToAnsi(folder)));
        return 0;
      }
      case kMsgSessionEnd:
        EnableButton(*fonts, kItemOK, true);
        EnableButton(*fonts, kItemCancel, false);
        RedrawAllRows(*fonts);
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateNotifyWindow(DocumentFonts& fonts) {
  static ATOM atom = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = NotifyWindowProc;
    wc.hInstance = PluginInstance();
    wc.lpszClassName = kNotifyClass;
    return RegisterClassW(&wc);
  }();
  if (!atom) return nullptr;
  HWND window = CreateWindowExW(0, kNotifyClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, PluginInstance(), nullptr);
  if (window) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&fonts));
  return window;
}

void DrawFontRow(DMEntryRef entry, DMDrawerRef drawer) {
  const HostSuites& s = Suites();
  DMListRef list = s.dmEntry->GetList(entry);
  DMItemRef item = list ? s.dmList->GetItem(list) : nullptr;
  DocumentFonts* fonts = item ? FontsOf(s.dmItem->GetDialog(item)) : nullptr;
  const int32_t row = s.dmEntry->GetIndex(entry);
  if (!fonts || row < 0 || static_cast<size_t>(row) >= fonts->records.size()) return;
  FontRecord record = fonts->RecordCopy(static_cast<size_t>(row));

  DMRect rect{};
  s.dmDrawer->GetBoundsRect(drawer, &rect);
  s.dmDrawer->SetColor(drawer, row == fonts->selectedRow ? kDMColorHilite : kDMColorBackground);
  s.dmDrawer->FillRect(drawer, &rect);
  s.dmDrawer->SetColor(drawer, kDMColorText);
  rect.left += 2;
  rect.top += 1;
  rect.right -= 1;
  rect.bottom -= 1;
  DMPoint at{rect.left, rect.top};
  if (DMIconRef icon = s.dmIcon->GetFromResource(s.plugin, StatusIconId(record, *fonts))) {
    s.dmDrawer->DrawIcon(drawer, icon, at);
    s.dmIcon->Destroy(icon);
  }
  at.h += kIconWidth + 4;
  std::string name = WideToAnsi(record.postScriptName);
  s.dmDrawer->SetFont(drawer, kDMFontBold);
  s.dmDrawer->DrawText(drawer, name.c_str(), at);
  at.h += s.dmDrawer->GetTextWidth(drawer, name.c_str()) + 6;
  s.dmDrawer->SetColor(drawer, kDMColorSeparator);
  if (DMIconRef icon = s.dmIcon->GetFromResource(s.plugin, IDI_SEPARATOR)) {
    s.dmDrawer->DrawIcon(drawer, icon, at);
    s.dmIcon->Destroy(icon);
  }
  at.h += kIconWidth + 4;
  s.dmDrawer->SetFont(drawer, kDMFontDialog);
  s.dmDrawer->SetColor(drawer, kDMColorStatus);
  s.dmDrawer->DrawText(drawer, LoadAnsiString(StatusStringId(record, *fonts)).c_str(), at);
}

bool FontListTrack(DMEntryRef entry, DMTrackerRef tracker) {
  const HostSuites& s = Suites();
  DMListRef list = s.dmEntry->GetList(entry);
  DMItemRef item = list ? s.dmList->GetItem(list) : nullptr;
  DocumentFonts* fonts = item ? FontsOf(s.dmItem->GetDialog(item)) : nullptr;
  if (!fonts) return false;
  const int32_t rows = s.dmList->NumberOfEntries(list);
  const int32_t old = fonts->selectedRow;
  switch (s.dmTracker->GetAction(tracker)) {
    case kDMTrackMouseDown:
      fonts->selectedRow = s.dmEntry->GetIndex(entry);
      RedrawRow(*fonts, fonts->selectedRow);
      RedrawRow(*fonts, old);
      return false;  // the host's own handling goes on
    case kDMTrackKeyDown: {
      int32_t row = old;
      switch (s.dmTracker->GetVirtualKey(tracker)) {
        case kDMKeyHome: row = 0; break;
        case kDMKeyEnd: row = rows - 1; break;
        case kDMKeyUp: row = old - 1; break;
        case kDMKeyDown: row = old + 1; break;
        default: break;
      }
      if (rows > 0) {
        fonts->selectedRow = std::clamp(row, 0, rows - 1);
        RedrawRow(*fonts, fonts->selectedRow);
        RedrawRow(*fonts, old);
      }
      s.dmTracker->Abort(tracker);
      return true;
    }
    default:
      return false;
  }
}

HostError FontListInit(DMItemRef item) {
  const HostSuites& s = Suites();
  DocumentFonts* fonts = FontsOf(s.dmItem->GetDialog(item));
  DMListRef list = s.dmItem->GetList(item);
  if (!fonts || !list) return kErrBadParameter;
  if (HWND window = s.dmItem->GetWindowRef(item)) {
    SetWindowLongPtrW(window, GWL_EXSTYLE,
                      GetWindowLongPtrW(window, GWL_EXSTYLE) | WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY);
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  }
  s.dmItem->SetItemStyle(item, kListStyle);
  s.dmList->SetBackColor(list, kDMColorBackground);
  s.dmList->SetDrawProc(list, DrawFontRow);
  s.dmList->SetTrackProc(list, FontListTrack);
  DMRect bounds{};
  s.dmItem->GetBoundsRect(item, &bounds);
  s.dmList->SetEntryWidth(list, bounds.right - bounds.left);
  s.dmList->SetEntryHeight(list, std::max(s.dmList->GetEntryHeight(list), kMinEntryHeight));
  for (size_t row = 0; row < fonts->records.size(); ++row) {
    if (DMEntryRef entry = s.dmList->InsertEntry(list, static_cast<int32_t>(row)))
      s.dmEntry->SetName(entry, WideToAnsi(fonts->records[row].postScriptName).c_str());
  }
  fonts->selectedRow = fonts->records.empty() ? -1 : 0;
  return kNoErr;
}

void KindlerWindowNotify(DMDialogRef dialog, DMNotifierRef notifier) {
  const HostSuites& s = Suites();
  DocumentFonts* fonts = FontsOf(dialog);
  const int32_t type = s.dmNotifier->GetType(notifier);
  if (fonts && (type == kDMNotifyActivate || type == kDMNotifyDeactivate)) {
    if (DMItemRef item = s.dmDialog->GetItem(dialog, IDC_FONT_LIST)) s.dmItem->Invalidate(item);
  } else if (type == kDMNotifyShow && gLaunchedMainProgram) {
    DMRect bounds{};
    s.dmDialog->GetBoundsRect(dialog, &bounds);
    s.dmBasic->ShowToolTip(DMPoint{bounds.left + 10, bounds.bottom + 6}, LoadAnsiString(IDS_LAUNCHING).c_str());
    gLaunchedMainProgram = false;
  }
  s.dmDialog->DefaultNotify(dialog, notifier);
}

void CreateFontList(DocumentFonts& fonts) {
  const HostSuites& s = Suites();
  DMItemRef placeholder = s.dmDialog->GetItem(fonts.dialog, IDC_FONT_LIST);
  DMRect bounds{};
  if (placeholder) {
    s.dmItem->GetBoundsRect(placeholder, &bounds);
    s.dmItem->Destroy(placeholder);
  }
  s.dmItem->Create(fonts.dialog, IDC_FONT_LIST, kDMListBoxType, &bounds, FontListInit, nullptr);
  s.dmDialog->SetNotifyProc(fonts.dialog, KindlerWindowNotify);
}

// A hung or vanished program counts as none: the rows then say the launch failed.
bool AskMainProgram(DocumentFonts& fonts, WPARAM code, LRESULT& answer) {
  if (SendControlCode(fonts.mainWindow, code, answer)) return true;
  fonts.mainWindow = nullptr;
  SetStatusLine(fonts, LoadAnsiString(IDS_LAUNCH_FAILED));
  RedrawAllRows(fonts);
  return false;
}

void SendFolderToMainProgram(DocumentFonts& fonts, const std::string& folder) {
  char block[kCopyDataBytes] = {};
  memcpy(block, folder.data(), std::min(folder.size(), kCopyDataBytes - 1));
  COPYDATASTRUCT data{};
  data.dwData = kCopyDataFolder;
  data.cbData = kCopyDataBytes;
  data.lpData = block;
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(fonts.mainWindow, WM_COPYDATA, reinterpret_cast<WPARAM>(Suites().dmDialog->GetWindowRef(fonts.dialog)),
                      reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG | SMTO_BLOCK, ClientTimings().sendTimeoutMs,
                      &ignored);
}

}  // namespace

DocumentFonts::DocumentFonts() { stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }

DocumentFonts::~DocumentFonts() {
  StopAndJoin();
  if (notifyWindow) DestroyWindow(notifyWindow);
  if (stopEvent) CloseHandle(stopEvent);
}

void DocumentFonts::StopAndJoin() {
  stop = 1;
  if (stopEvent) SetEvent(stopEvent);
  if (thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    thread = nullptr;
  }
}

FontRecord DocumentFonts::RecordCopy(size_t row) {
  std::lock_guard<std::mutex> hold(lock);
  return row < records.size() ? records[row] : FontRecord{};
}

std::string LoadAnsiString(UINT id) {
  char buffer[1024] = {};
  int n = LoadStringA(PluginInstance(), id, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, n) : std::string();
}

std::string ReplacePercentS(std::string text, const std::string& value) {
  size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, value);
  return text;
}

UINT StatusStringId(const FontRecord& record, const DocumentFonts& fonts) {
  if (!fonts.mainWindow) return IDS_LAUNCH_FAILED;
  if (fonts.error != 0 && record.status <= glypipe::kStatusSearchingFolder) return IDS_PIPE_TIMEOUT;
  return IDS_STATUS_BASE + record.status;
}

int32_t StatusIconId(const FontRecord& record, const DocumentFonts& fonts) {
  if (!fonts.mainWindow) return IDI_FAILURE;
  switch (record.status) {
    case glypipe::kStatusNotFound:
    case glypipe::kStatusFoundFileMissing:
    case glypipe::kStatusActivationFailed:
      return IDI_FAILURE;
    case glypipe::kStatusActivated:
    case glypipe::kStatusAlreadyActive:
      return IDI_SUCCESS;
    default:
      return IDI_PENDING;
  }
}

HostError KindlerDialogInit(DMDialogRef dialog) {
  DocumentFonts* fonts = FontsOf(dialog);
  if (!fonts) return kErrBadParameter;
  fonts->dialog = dialog;
  fonts->notifyWindow = CreateNotifyWindow(*fonts);
  CreateFontList(*fonts);

  fonts->mainWindow = FindMainWindow();
  if (!fonts->mainWindow) {
    SetStatusLine(*fonts, LoadAnsiString(IDS_LAUNCHING));
    fonts->mainWindow = LaunchAndWaitForMainWindow(nullptr);
    if (fonts->mainWindow) gLaunchedMainProgram = true;
  }
  if (!fonts->mainWindow) {
    // The launch is over: the status line no longer says it is running.
    SetStatusLine(*fonts, LoadAnsiString(IDS_LAUNCH_FAILED));
    RedrawAllRows(*fonts);
    return kNoErr;
  }

  LRESULT version = 0;
  if (!AskMainProgram(*fonts, kCodeProtocolVersion, version)) return kNoErr;
  if (version != kProtocolVersion) {
    if (static_cast<ULONG_PTR>(version) < static_cast<ULONG_PTR>(kProtocolVersion))
      SetStatusLine(*fonts, ReplacePercentS(LoadAnsiString(IDS_PROGRAM_OLDER), "3.5.0"));
    else
      SetStatusLine(*fonts, LoadAnsiString(IDS_PLUGIN_OLDER));
    return kNoErr;
  }
  char title[128] = {};
  GetWindowTextA(fonts->mainWindow, title, 128);
  SetStatusLine(*fonts, ReplacePercentS(LoadAnsiString(IDS_LAUNCHED), title));

  LRESULT folderAnswer = 0;
  if (!AskMainProgram(*fonts, kCodeSearchFolderWanted, folderAnswer)) return kNoErr;
  if (LOBYTE(folderAnswer)) {
    fonts->folderMode = 1;
    char folder[MAX_PATH * 2] = {};
    std::string prompt = LoadAnsiString(IDS_SELECT_FOLDER);
    if (Suites().dmBasic->GetDirectoryDialog(prompt.c_str(), folder, sizeof folder) && folder[0]) {
      folder[sizeof folder - 1] = 0;
      fonts->searchFolder = AnsiToWide(folder);
      SendFolderToMainProgram(*fonts, folder);
    } else if (HIBYTE(static_cast<WORD>(folderAnswer)) == 0) {
      return kNoErr;
    }
  }

  PostMessageW(fonts->mainWindow, WM_PLUGIN_COMMAND, kCodeStartServer, 0);
  fonts->stop = 0;
  ResetEvent(fonts->stopEvent);
  // OK waits for the session's end; set here so that no press can come before the thread runs.
  EnableButton(*fonts, kItemOK, false);
  EnableButton(*fonts, kItemCancel, true);
  fonts->thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, PipeThreadProc, fonts, 0, nullptr));
  if (!fonts->thread) {
    fonts->error = kErrorPipeFailure;
    EnableButton(*fonts, kItemOK, true);
    EnableButton(*fonts, kItemCancel, false);
    RedrawAllRows(*fonts);
  }
  return kNoErr;
}

HostError ShowKindlerDialog(DocumentFonts& fonts) {
  const HostSuites& s = Suites();
  const int32_t item = s.dmDialog->Modal(s.plugin, "Kindler", IDD_KINDLER, KindlerDialogInit, &fonts);
  // The pipe thread uses the scan's records and the dialog's window: it ends before either goes.
  fonts.StopAndJoin();
  if (fonts.notifyWindow) {
    DestroyWindow(fonts.notifyWindow);
    fonts.notifyWindow = nullptr;
  }
  fonts.dialog = nullptr;
  const HostError result = item == kItemOK ? kNoErr : kErrStop;

  bool activated = false;
  for (const FontRecord& r : fonts.records) activated |= r.status == glypipe::kStatusActivated;
  if (activated) {
    DMRect bounds{};
    s.dmBasic->GetScreenBounds(&bounds);
    s.dmBasic->ShowToolTip(DMPoint{(bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2},
                           "Reopen psd file......");
    ReopenDocument(&fonts);
    s.dmBasic->HideToolTip();
  }
  return result;
}

HostError ReopenDocument(DocumentFonts* fonts) {
  if (!fonts || fonts->documentPath.empty()) return kErrParam;
  const HostSuites& s = Suites();
  DescriptorRef close = nullptr;
  HostError err = s.descriptor->Make(&close);
  if (err != kNoErr) return err;
  s.descriptor->PutEnumerated(close, kKeySaving, kTypeYesNo, kValueNo);
  DescriptorRef result = nullptr;
  err = s.action->Play(&result, kEventClose, close, kDialogDontDisplay);
  if (result) s.descriptor->Free(result);
  s.descriptor->Free(close);
  if (err != kNoErr) return err;

  DescriptorRef open = nullptr;
  err = s.descriptor->Make(&open);
  if (err != kNoErr) return err;
  AliasHandle alias = nullptr;
  err = s.alias->NewFromPath(WideToAnsi(fonts->documentPath).c_str(), &alias);
  if (err == kNoErr) {
    s.descriptor->PutAlias(open, kKeyNull, alias);
    result = nullptr;
    err = s.action->Play(&result, kEventOpen, open, kDialogDontDisplay);
    if (result) s.descriptor->Free(result);
    s.alias->Dispose(alias);
  }
  s.descriptor->Free(open);
  return err;
}

}  // namespace kindler_ps
