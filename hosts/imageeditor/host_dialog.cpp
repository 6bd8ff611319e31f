// The host's dialog-manager suites over a Win32 dialog from the plug-in's resources and an
// owner-drawn list box. Rows are rendered off-screen as well whenever the plug-in asks for a
// redraw, so that the log shows every state a row went through.
#include <algorithm>
#include <map>

#include "host_model.h"

struct HostItem;
struct HostEntry;

struct HostListBox {
  HostItem* item = nullptr;
  DMEntryDrawProc draw = nullptr;
  DMEntryTrackProc track = nullptr;
  std::vector<HostEntry*> entries;
  WNDPROC original = nullptr;
};

struct HostEntry {
  HostListBox* list = nullptr;
  int index = 0;
  std::string name;
};

struct HostItem {
  HostDialog* dialog = nullptr;
  int id = 0;
  HWND hwnd = nullptr;
  HostListBox* list = nullptr;
};

struct HostDialog {
  HWND hwnd = nullptr;
  void* userData = nullptr;
  DMDialogInitProc init = nullptr;
  DMDialogNotifyProc notify = nullptr;
  std::string title;
  std::map<int, HostItem*> items;
  std::string answer;
  DWORD started = 0;
  std::map<int, std::string> rowLines;
  std::string status;
};

struct HostDrawer {
  HDC dc = nullptr;
  RECT rect{};
  int color = 0;
  bool selected = false;
  std::vector<std::string> pieces;
};

struct HostTracker {
  int32_t action = 0;
  DMPoint point{};
  int32_t key = 0;
  bool aborted = false;
};

struct HostNotifier {
  int32_t type = 0;
};

struct HostIcon {
  int32_t id = 0;
  HICON icon = nullptr;
};

namespace {

COLORREF ColorOf(int c) {
  switch (c) {
    case kDMColorHilite: return GetSysColor(COLOR_HIGHLIGHT);
    case kDMColorBackground: return GetSysColor(COLOR_WINDOW);
    default: return GetSysColor(COLOR_WINDOWTEXT);
  }
}

std::string ItemText(HWND window) {
  char text[1024] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string RenderRow(HostEntry* entry, HDC dc, RECT rect) {
  HostDrawer drawer;
  drawer.dc = dc;
  drawer.rect = rect;
  if (entry->list->draw) entry->list->draw(entry, &drawer);
  std::string line = "row " + std::to_string(entry->index) + ": " + (drawer.selected ? "* " : "");
  for (size_t i = 0; i < drawer.pieces.size(); ++i) line += (i ? " | " : "") + drawer.pieces[i];
  return line;
}

std::string RenderRowOffscreen(HostEntry* entry) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 500, 24);
  HGDIOBJ old = SelectObject(dc, bitmap);
  std::string line = RenderRow(entry, dc, RECT{0, 0, 500, 24});
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return line;
}

void LogRowIfChanged(HostEntry* entry) {
  HostDialog* dialog = entry->list->item->dialog;
  std::string line = RenderRowOffscreen(entry);
  if (dialog->rowLines[entry->index] != line) {
    dialog->rowLines[entry->index] = line;
    HostLog(line);
  }
}

void InvalidateEntry(HostEntry* entry) {
  CheckHostThread("entry redraw");
  LogRowIfChanged(entry);
  RECT r{};
  if (SendMessageW(entry->list->item->hwnd, LB_GETITEMRECT, entry->index, reinterpret_cast<LPARAM>(&r)) != LB_ERR)
    InvalidateRect(entry->list->item->hwnd, &r, TRUE);
}

void EndModal(HostDialog* d, int item) {
  for (auto& [id, it] : d->items)
    if (it->list)
      for (HostEntry* e : it->list->entries) HostLog("final " + RenderRowOffscreen(e));
  HostLog("final status: " + ItemText(GetDlgItem(d->hwnd, 1020)));
  HostLog("final buttons: ok=" + std::to_string(IsWindowEnabled(GetDlgItem(d->hwnd, 1)) ? 1 : 0) +
          " cancel=" + std::to_string(IsWindowEnabled(GetDlgItem(d->hwnd, 2)) ? 1 : 0));
  HostLog("dialog ends with item " + std::to_string(item));
  KillTimer(d->hwnd, 1);
  EndDialog(d->hwnd, item);
}

bool Seen(HostDialog* d, const std::string& text) {
  if (ItemText(GetDlgItem(d->hwnd, 1020)).find(text) != std::string::npos) return true;
  for (auto& [row, line] : d->rowLines)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

void Answer(HostDialog* d) {
  const std::string& a = d->answer;
  if (GetTickCount() - d->started > State().dialogTimeoutMs) {
    HostLog("host: dialog timeout");
    return EndModal(d, 2);
  }
  if (a == "ok") {
    if (IsWindowEnabled(GetDlgItem(d->hwnd, 1))) EndModal(d, 1);
  } else if (a == "cancel") {
    EndModal(d, 2);
  } else if (a.rfind("cancel-on ", 0) == 0) {
    if (Seen(d, a.substr(10))) EndModal(d, 2);
  } else if (a.rfind("keys ", 0) == 0) {
    // Key presses into the list, then OK once it is enabled.
    HWND list = GetDlgItem(d->hwnd, 1018);
    std::string keys = a.substr(5);
    for (char c : keys) {
      WPARAM vk = c == 'u' ? VK_UP : c == 'd' ? VK_DOWN : c == 'h' ? VK_HOME : c == 'e' ? VK_END : 'X';
      SendMessageW(list, WM_KEYDOWN, vk, 0);
    }
    d->answer = "ok";
  }
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* d = reinterpret_cast<HostDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      d = reinterpret_cast<HostDialog*>(lParam);
      SetWindowLongPtrW(window, DWLP_USER, lParam);
      d->hwnd = window;
      SetWindowTextA(window, d->title.c_str());
      HostError err = d->init ? d->init(d) : kNoErr;
      HostLog("dialog init result " + std::to_string(err));
      d->started = GetTickCount();
      SetTimer(window, 1, 50, nullptr);
      return TRUE;
    }
    case WM_TIMER:
      if (d) Answer(d);
      return TRUE;
    case WM_MEASUREITEM: {
      auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      mis->itemHeight = 16;
      return TRUE;
    }
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      if (!d || !d->items.count(static_cast<int>(dis->CtlID))) return FALSE;
      HostItem* item = d->items[static_cast<int>(dis->CtlID)];
      if (item->list && dis->itemID < item->list->entries.size())
        RenderRow(item->list->entries[dis->itemID], dis->hDC, dis->rcItem);
      return TRUE;
    }
    case WM_ACTIVATE:
    case WM_SHOWWINDOW:
      if (d && d->notify) {
        HostNotifier n;
        n.type = message == WM_SHOWWINDOW ? (wParam ? kDMNotifyShow : 0)
                                          : (LOWORD(wParam) == WA_INACTIVE ? kDMNotifyDeactivate : kDMNotifyActivate);
        if (n.type) d->notify(d, &n);
      }
      return FALSE;
    case WM_COMMAND:
      if (d && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) && HIWORD(wParam) == BN_CLICKED) {
        EndModal(d, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      if (d) EndModal(d, 2);
      return TRUE;
    default:
      return FALSE;
  }
}

LRESULT CALLBACK ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* list = reinterpret_cast<HostListBox*>(GetPropW(window, L"HostList"));
  if (list && list->track && (message == WM_LBUTTONDOWN || message == WM_KEYDOWN) && !list->entries.empty()) {
    HostTracker tracker;
    HostEntry* entry = nullptr;
    if (message == WM_LBUTTONDOWN) {
      LRESULT hit = SendMessageW(window, LB_ITEMFROMPOINT, 0, lParam);
      if (HIWORD(hit) == 0 && LOWORD(hit) < list->entries.size()) entry = list->entries[LOWORD(hit)];
      tracker.action = kDMTrackMouseDown;
      tracker.point = DMPoint{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    } else {
      entry = list->entries.front();
      tracker.action = kDMTrackKeyDown;
      switch (wParam) {
        case VK_HOME: tracker.key = kDMKeyHome; break;
        case VK_END: tracker.key = kDMKeyEnd; break;
        case VK_UP: tracker.key = kDMKeyUp; break;
        case VK_DOWN: tracker.key = kDMKeyDown; break;
        default: tracker.key = static_cast<int32_t>(wParam); break;
      }
    }
    if (entry) {
      list->track(entry, &tracker);
      if (tracker.aborted) return 0;
    }
  }
  return CallWindowProcW(list ? list->original : DefWindowProcW, window, message, wParam, lParam);
}

// ---- dialog
int32_t Modal(PluginRef, const char* title, int32_t dialogID, DMDialogInitProc init, void* userData) {
  HostDialog d;
  d.title = title ? title : "";
  d.init = init;
  d.userData = userData;
  HostState& s = State();
  d.answer = s.dialogAnswers.empty() ? "ok" : s.dialogAnswers.front();
  if (s.dialogAnswers.size() > 1) s.dialogAnswers.erase(s.dialogAnswers.begin());
  HostLog("dialog " + std::to_string(dialogID) + " \"" + d.title + "\" answer " + d.answer);
  INT_PTR result = DialogBoxParamW(s.plugin, MAKEINTRESOURCEW(dialogID), nullptr, DialogProc, reinterpret_cast<LPARAM>(&d));
  for (auto& [id, item] : d.items) {
    if (item->list) {
      for (HostEntry* e : item->list->entries) delete e;
      delete item->list;
    }
    delete item;
  }
  return static_cast<int32_t>(result);
}
void* GetUserData(DMDialogRef d) { return d ? d->userData : nullptr; }
HWND DialogWindow(DMDialogRef d) { return d ? d->hwnd : nullptr; }
DMItemRef GetItem(DMDialogRef d, int32_t id) {
  if (!d) return nullptr;
  auto it = d->items.find(id);
  if (it != d->items.end()) return it->second;
  HWND h = GetDlgItem(d->hwnd, id);
  if (!h) return nullptr;
  auto* item = new HostItem{d, id, h, nullptr};
  d->items[id] = item;
  return item;
}
void DialogBounds(DMDialogRef d, DMRect* r) {
  RECT w{};
  GetWindowRect(d->hwnd, &w);
  *r = DMRect{w.left, w.top, w.right, w.bottom};
}
void SetNotifyProc(DMDialogRef d, DMDialogNotifyProc proc) { d->notify = proc; }
void DefaultNotify(DMDialogRef, DMNotifierRef) {}
const DMDialogSuite kDialog = {Modal, GetUserData, DialogWindow, GetItem, DialogBounds, SetNotifyProc, DefaultNotify};

// ---- items
DMItemRef Create(DMDialogRef d, int32_t id, const char* type, const DMRect* b, DMItemInitProc init, void*) {
  if (!d || !type || strcmp(type, kDMListBoxType) != 0 || !b) return nullptr;
  HWND h = CreateWindowExW(0, L"LISTBOX", L"",
                           WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
                           b->left, b->top, b->right - b->left, b->bottom - b->top, d->hwnd,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  if (!h) return nullptr;
  SendMessageW(h, WM_SETFONT, SendMessageW(d->hwnd, WM_GETFONT, 0, 0), FALSE);
  auto* item = new HostItem{d, id, h, new HostListBox};
  item->list->item = item;
  SetPropW(h, L"HostList", item->list);
  item->list->original = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListProc)));
  d->items[id] = item;
  if (init) init(item);
  return item;
}
void Destroy(DMItemRef item) {
  if (!item) return;
  item->dialog->items.erase(item->id);
  DestroyWindow(item->hwnd);
  delete item;
}
void ItemBounds(DMItemRef item, DMRect* r) {
  RECT w{};
  GetWindowRect(item->hwnd, &w);
  MapWindowPoints(nullptr, item->dialog->hwnd, reinterpret_cast<POINT*>(&w), 2);
  *r = DMRect{w.left, w.top, w.right, w.bottom};
}
HWND ItemWindow(DMItemRef item) { return item ? item->hwnd : nullptr; }
DMDialogRef ItemDialog(DMItemRef item) { return item ? item->dialog : nullptr; }
DMListRef ItemList(DMItemRef item) { return item ? item->list : nullptr; }
void SetItemStyle(DMItemRef, int32_t) {}
void SetText(DMItemRef item, const char* text) {
  CheckHostThread("item text");
  SetWindowTextA(item->hwnd, text ? text : "");
  if (item->id == 1020) HostLog(std::string("status: ") + (text ? text : ""));
}
void Enable(DMItemRef item, bool enable) {
  CheckHostThread("item enable"); EnableWindow(item->hwnd, enable); }
void InvalidateItem(DMItemRef item) {
  CheckHostThread("item redraw");
  if (item->list)
    for (HostEntry* e : item->list->entries) InvalidateEntry(e);
  InvalidateRect(item->hwnd, nullptr, TRUE);
}
const DMItemSuite kItem = {Create, Destroy, ItemBounds, ItemWindow, ItemDialog, ItemList, SetItemStyle, SetText, Enable,
                           InvalidateItem};

// ---- lists and entries
void SetDrawProc(DMListRef l, DMEntryDrawProc p) { l->draw = p; }
void SetTrackProc(DMListRef l, DMEntryTrackProc p) { l->track = p; }
void SetBackColor(DMListRef, int32_t) {}
void SetEntryWidth(DMListRef, int32_t) {}
void SetEntryHeight(DMListRef l, int32_t h) { SendMessageW(l->item->hwnd, LB_SETITEMHEIGHT, 0, h); }
int32_t GetEntryHeight(DMListRef l) { return static_cast<int32_t>(SendMessageW(l->item->hwnd, LB_GETITEMHEIGHT, 0, 0)); }
DMEntryRef InsertEntry(DMListRef l, int32_t index) {
  auto* e = new HostEntry;
  e->list = l;
  index = std::clamp<int32_t>(index, 0, static_cast<int32_t>(l->entries.size()));
  l->entries.insert(l->entries.begin() + index, e);
  for (size_t i = 0; i < l->entries.size(); ++i) l->entries[i]->index = static_cast<int>(i);
  SendMessageW(l->item->hwnd, LB_INSERTSTRING, index, 0);
  return e;
}
int32_t NumberOfEntries(DMListRef l) { return static_cast<int32_t>(l->entries.size()); }
DMEntryRef IndexEntry(DMListRef l, int32_t i) {
  return i >= 0 && i < static_cast<int32_t>(l->entries.size()) ? l->entries[i] : nullptr;
}
DMItemRef ListItem(DMListRef l) { return l->item; }
const DMListSuite kListBox = {SetDrawProc, SetTrackProc, SetBackColor, SetEntryWidth, SetEntryHeight,
                              GetEntryHeight, InsertEntry, NumberOfEntries, IndexEntry, ListItem};

int32_t EntryIndex(DMEntryRef e) { return e->index; }
DMListRef EntryList(DMEntryRef e) { return e->list; }
void SetName(DMEntryRef e, const char* text) { e->name = text ? text : ""; }
const DMEntrySuite kEntry = {EntryIndex, EntryList, SetName, InvalidateEntry};

// ---- drawer, icons, tracker, notifier
void DrawerBounds(DMDrawerRef d, DMRect* r) { *r = DMRect{d->rect.left, d->rect.top, d->rect.right, d->rect.bottom}; }
void SetColor(DMDrawerRef d, int32_t c) { d->color = c; }
void Fill(DMDrawerRef d, const DMRect* r) {
  if (d->color == kDMColorHilite) d->selected = true;
  RECT rc{r->left, r->top, r->right, r->bottom};
  HBRUSH brush = CreateSolidBrush(ColorOf(d->color));
  FillRect(d->dc, &rc, brush);
  DeleteObject(brush);
}
void SetFont(DMDrawerRef, int32_t) {}
int32_t TextWidth(DMDrawerRef d, const char* text) {
  SIZE size{};
  GetTextExtentPoint32A(d->dc, text, static_cast<int>(strlen(text)), &size);
  return size.cx;
}
void DrawTextAt(DMDrawerRef d, const char* text, DMPoint at) {
  SetBkMode(d->dc, TRANSPARENT);
  SetTextColor(d->dc, ColorOf(d->color));
  TextOutA(d->dc, at.h, at.v, text, static_cast<int>(strlen(text)));
  d->pieces.push_back(text);
}
void DrawIconAt(DMDrawerRef d, DMIconRef icon, DMPoint at) {
  if (icon->icon) DrawIconEx(d->dc, at.h, at.v, icon->icon, 16, 16, 0, nullptr, DI_NORMAL);
  d->pieces.push_back("icon=" + std::to_string(icon->id));
}
const DMDrawerSuite kDrawer = {DrawerBounds, SetColor, Fill, SetFont, TextWidth, DrawTextAt, DrawIconAt};

DMIconRef IconFromResource(PluginRef, int32_t id) {
  auto* icon = new HostIcon;
  icon->id = id;
  icon->icon = static_cast<HICON>(LoadImageW(State().plugin, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
  if (!icon->icon) HostLog("error: no icon " + std::to_string(id));
  return icon;
}
void DestroyIconRef(DMIconRef icon) {
  if (icon && icon->icon) DestroyIcon(icon->icon);
  delete icon;
}
const DMIconSuite kIcon = {IconFromResource, DestroyIconRef};

int32_t TrackerAction(DMTrackerRef t) { return t->action; }
DMPoint TrackerPoint(DMTrackerRef t) { return t->point; }
int32_t TrackerKey(DMTrackerRef t) { return t->key; }
void TrackerAbort(DMTrackerRef t) { t->aborted = true; }
const DMTrackerSuite kTracker = {TrackerAction, TrackerPoint, TrackerKey, TrackerAbort};

int32_t NotifierType(DMNotifierRef n) { return n->type; }
const DMNotifierSuite kNotifier = {NotifierType};

// ---- basic
HostError ScreenBounds(DMRect* r) {
  *r = DMRect{0, 0, 1024, 768};
  return kNoErr;
}
void ShowToolTip(DMPoint at, const char* text) {
  HostLog(std::string("tooltip: ") + (text ? text : "") + " at " + std::to_string(at.h) + "," + std::to_string(at.v));
}
void HideToolTip() { HostLog("tooltip hidden"); }
bool DirectoryDialog(const char* message, char* path, uint32_t maxLength) {
  HostState& s = State();
  std::string answer = s.chooserAnswers.empty() ? "cancel" : s.chooserAnswers.front();
  if (!s.chooserAnswers.empty()) s.chooserAnswers.erase(s.chooserAnswers.begin());
  HostLog(std::string("chooser: ") + (message ? message : "") + " -> " + answer);
  if (answer == "cancel" || !path || answer.size() >= maxLength) return false;
  memcpy(path, answer.c_str(), answer.size() + 1);
  return true;
}
const DMBasicSuite kBasic = {ScreenBounds, ShowToolTip, HideToolTip, DirectoryDialog};

}  // namespace

const void* FindDialogSuite(const std::string& name) {
  static const std::map<std::string, const void*> suites = {
      {"DM Basic Suite", &kBasic},   {"DM Dialog Suite", &kDialog}, {"DM Item Suite", &kItem},
      {"DM List Suite", &kListBox},  {"DM Entry Suite", &kEntry},   {"DM Drawer Suite", &kDrawer},
      {"DM Icon Suite", &kIcon},     {"DM Tracker Suite", &kTracker}, {"DM Notifier Suite", &kNotifier}};
  auto it = suites.find(name);
  return it != suites.end() ? it->second : nullptr;
}
