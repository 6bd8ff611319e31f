#include "host_objects.h"

#include "SDKBases.h"

#include <algorithm>

namespace {

constexpr ClassID kHostApplicationBoss = 0x7E0100;
constexpr ClassID kHostWidgetBoss = 0x7E0101;
constexpr ClassID kHostDocumentBoss = 0x7E0102;
constexpr ClassID kHostFontBoss = 0x7E0103;
constexpr WidgetID kStatusLineWidget = 0x13D405;
constexpr WidgetID kOKButton = 1538;
constexpr WidgetID kCancelButton = 1539;
constexpr int32_t kNameFont = 260;
constexpr int32_t kStatusFont = 259;

HostBoss* gSession = nullptr;
HostBoss* gApplication = nullptr;
HostBoss* gDocument = nullptr;
std::map<std::wstring, std::wstring> gStrings;

std::wstring TranslateKey(const std::wstring& key) {
  auto it = gStrings.find(key);
  return it == gStrings.end() ? key : it->second;
}

// Idle tasks: each runs when its delay has passed.
struct IdleEntry {
  IIdleTask* task;
  ULONGLONG due;
};
std::vector<IdleEntry> gIdleTasks;

void RunDueIdleTasks() {
  std::vector<IdleEntry> tasks = gIdleTasks;
  for (auto& entry : tasks) {
    ULONGLONG now = GetTickCount64();
    if (now < entry.due) continue;
    uint32_t next = entry.task->RunTask(0, nullptr);
    for (auto& live : gIdleTasks)
      if (live.task == entry.task) live.due = GetTickCount64() + (next >= 0x80000000u ? 0 : next);
  }
}

// ---- session -------------------------------------------------------------------------------

class HostSession : public CPMUnknown<ISession> {
 public:
  using CPMUnknown::CPMUnknown;
  int32_t GetState() const override { return Settings().state; }
  IApplication* QueryApplication() const override {
    return gApplication ? static_cast<IApplication*>(gApplication->QueryInterface(IID_IAPPLICATION)) : nullptr;
  }
};

class HostInterfaceColors : public CPMUnknown<IInterfaceColors> {
 public:
  using CPMUnknown::CPMUnknown;
  PMRGBColor GetRGBColor(int32_t index) const override {
    if (index == 3) return {0.2, 0.4, 0.8};
    if (index == 14) return {0, 0, 0};
    return {1, 1, 1};
  }
};

class HostIdleTaskMgr : public CPMUnknown<IIdleTaskMgr> {
 public:
  using CPMUnknown::CPMUnknown;
  void AddTask(IIdleTask* task, uint32_t delay) override {
    for (auto& e : gIdleTasks)
      if (e.task == task) return;
    gIdleTasks.push_back({task, GetTickCount64() + delay});
    HostLog(L"idle task installed: " + std::wstring(task->TaskName()));
  }
  void RemoveTask(IIdleTask* task) override {
    auto it = std::find_if(gIdleTasks.begin(), gIdleTasks.end(), [&](const IdleEntry& e) { return e.task == task; });
    if (it == gIdleTasks.end()) return;
    gIdleTasks.erase(it);
    HostLog(L"idle task removed: " + std::wstring(task->TaskName()));
  }
};

// A rescan takes one query to finish: the state changes between the first and the next query.
class HostFontMgr : public CPMUnknown<IFontMgr> {
 public:
  using CPMUnknown::CPMUnknown;
  int32_t UpdateFontList(int32_t a, int32_t) override {
    if (a == 0) {
      HostLog(L"host: rescanning fonts");
      fRescanning = true;
      return fGeneration;
    }
    if (fRescanning) {
      fRescanning = false;
      ++fGeneration;
    }
    return fGeneration;
  }

 private:
  int32_t fGeneration = 1;
  bool fRescanning = false;
};

class HostFontMenus : public CPMUnknown<IFontMenus> {
 public:
  using CPMUnknown::CPMUnknown;
  void RefreshFontMenus() override { HostLog(L"host: font menus refreshed"); }
  void RebuildStyleMenus(int32_t) override { HostLog(L"host: style menus rebuilt"); }
};

class HostApplication : public CPMUnknown<IApplication> {
 public:
  using CPMUnknown::CPMUnknown;
};

// ---- widgets ----------------------------------------------------------------------------------

class HostSubject : public CPMUnknown<ISubject> {
 public:
  using CPMUnknown::CPMUnknown;
  void AttachObserver(IObserver* observer, PMIID protocol, PMIID iid) override {
    for (auto& a : fAttached)
      if (a.observer == observer && a.protocol == protocol && a.iid == iid) return;
    fAttached.push_back({observer, protocol, iid});
  }
  void DetachObserver(IObserver* observer, PMIID protocol, PMIID iid) override {
    fAttached.erase(std::remove_if(fAttached.begin(), fAttached.end(),
                                   [&](const Attached& a) {
                                     return a.observer == observer && a.protocol == protocol && a.iid == iid;
                                   }),
                    fAttached.end());
  }
  void Change(ClassID change, PMIID protocol) {
    auto attached = fAttached;
    for (auto& a : attached)
      if (a.protocol == protocol) a.observer->Update(change, this, protocol, nullptr);
  }

 private:
  struct Attached {
    IObserver* observer;
    PMIID protocol;
    PMIID iid;
  };
  std::vector<Attached> fAttached;
};

class HostWidgetView : public CControlView {
 public:
  using CControlView::CControlView;
  using CControlView::TakeInvalid;
};

class HostTextData : public CPMUnknown<ITextControlData> {
 public:
  using CPMUnknown::CPMUnknown;
  void SetString(const PMString& text) override {
    auto* view = static_cast<HostBoss*>(fBoss)->Get<HostWidgetView>(IID_ICONTROLVIEW);
    if (view && view->GetWidgetID() == kStatusLineWidget && text != fText)
      HostLog(L"status: " + text.GetText());
    fText = text;
  }
  PMString GetString() const override { return fText; }

 private:
  PMString fText;
};

class HostTreeViewMgr : public CPMUnknown<ITreeViewMgr> {
 public:
  using CPMUnknown::CPMUnknown;
  void NodeChanged(const NodeID& node) override { fChanged.insert(node.Get()); }
  void ChangeRoot() override { fAll = true; }
  std::set<int32_t> fChanged;
  bool fAll = true;
};

class HostNodeData : public CPMUnknown<ITreeNodeIDData> {
 public:
  using CPMUnknown::CPMUnknown;
  NodeID Get() const override { return fNode; }
  void Set(const NodeID& node) override { fNode = node; }

 private:
  NodeID fNode;
};

class IEmptyInterface : public IPMUnknown {};
class HostEmptyImpl : public CPMUnknown<IEmptyInterface> {
 public:
  using CPMUnknown::CPMUnknown;
};

// Records what a row draws: its images and its texts by font.
class RowPort final : public IGraphicsPort {
 public:
  IPMUnknown* QueryInterface(PMIID) const override { return nullptr; }
  void AddRef() const override {}
  void Release() const override {}
  void SetColor(const PMRGBColor&) override {}
  void FillRect(const PMRect&) override {}
  void DrawLine(double, double, double, double) override {}
  double DrawImage(PluginID plugin, RsrcID id, double, double) override {
    std::string png;
    if (!LoadPlugInResource(plugin, 578, id, png) || png.size() < 24 || png.compare(1, 3, "PNG") != 0) {
      images.push_back(L"missing" + std::to_wstring(id));
      return 0;
    }
    images.push_back(std::to_wstring(id));
    auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(png[i])); };
    return static_cast<double>((b(16) << 24) | (b(17) << 16) | (b(18) << 8) | b(19));
  }
  void SetFont(int32_t font) override { fFont = font; }
  double MeasureText(const PMString& text) const override { return 7.0 * text.CharCount(); }
  void DrawText(const PMString& text, double, double) override {
    if (fFont == kNameFont) name += text.GetText();
    else if (fFont == kStatusFont) status += text.GetText();
  }
  std::wstring Describe() const {
    std::wstring icon = images.empty() ? L"none" : images[0];
    std::wstring sep = images.size() > 1 ? images[1] : L"none";
    return L"icon=" + icon + L" sep=" + sep + L" name=" + name + L" text=" + status;
  }
  std::vector<std::wstring> images;
  std::wstring name, status;

 private:
  int32_t fFont = 0;
};

class HostListBoxView : public HostWidgetView {
 public:
  using HostWidgetView::HostWidgetView;
  ~HostListBoxView() override {
    for (auto* row : fRows) row->Release();
  }
  // Draws the rows that changed, or all of them after an invalidation; logs what changed.
  void DrawRows(bool all, const wchar_t* prefix) {
    auto* boss = static_cast<HostBoss*>(fBoss);
    auto* mgr = boss->Get<HostTreeViewMgr>(IID_ITREEVIEWMGR);
    auto* adapter = boss->Get<ITreeViewHierarchyAdapter>(IID_ITREEVIEWHIERARCHYADAPTER);
    auto* widgets = boss->Get<ITreeViewWidgetMgr>(IID_ITREEVIEWWIDGETMGR);
    if (!mgr || !adapter || !widgets) return;
    bool full = all || TakeInvalid() || mgr->fAll;
    mgr->fAll = false;
    std::set<int32_t> changed;
    changed.swap(mgr->fChanged);
    if (full) SyncRows(adapter, widgets);
    for (int32_t i = 0; i < static_cast<int32_t>(fRows.size()); ++i) {
      if (!full && !changed.count(i)) continue;
      auto* view = fRows[i]->Get<IControlView>(IID_ICONTROLVIEW);
      RowPort port;
      if (view) view->Draw(&port);
      std::wstring text = port.Describe();
      if (all || fLogged.size() <= static_cast<size_t>(i) || fLogged[i] != text) {
        if (fLogged.size() <= static_cast<size_t>(i)) fLogged.resize(i + 1);
        fLogged[i] = text;
        HostLog(std::wstring(prefix) + L"row " + std::to_wstring(i) + L": " + text);
      }
    }
  }
  void Initialize() {
    auto* boss = static_cast<HostBoss*>(fBoss);
    if (auto* widgets = boss->Get<ITreeViewWidgetMgr>(IID_ITREEVIEWWIDGETMGR)) widgets->RegisterStyles();
  }

 private:
  void SyncRows(ITreeViewHierarchyAdapter* adapter, ITreeViewWidgetMgr* widgets) {
    int32_t count = adapter->GetNumChildren(adapter->GetRootNode());
    while (static_cast<int32_t>(fRows.size()) > count) {
      fRows.back()->Release();
      fRows.pop_back();
    }
    int32_t style = 0;
    RsrcID rsrc = 0;
    PluginID plugin = 0;
    if (widgets->GetStyleCount() > 0) widgets->GetStyle(0, style, rsrc, plugin);
    RsrcID view = ResolveLocaleIndex(plugin, rsrc, Settings().locale);
    std::string text;
    ClassID rowClass = kInvalidClass;
    double height = 20;
    if (view >= 0 && LoadPlugInResource(plugin, 501, view, text)) {
      int cls = 0, id = 0;
      double l, t, r, b;
      if (sscanf(text.c_str() + text.find("row"), "row %i %i %lf %lf %lf %lf", &cls, &id, &l, &t, &r, &b) == 6) {
        rowClass = static_cast<ClassID>(cls);
        height = b - t;
      }
    }
    while (static_cast<int32_t>(fRows.size()) < count) {
      int32_t i = static_cast<int32_t>(fRows.size());
      HostBoss* row = rowClass ? Registry().Create(rowClass) : nullptr;
      if (!row) {
        HostLog(L"error: no row widget for node " + std::to_wstring(i));
        return;
      }
      NodeID node = adapter->GetNthChild(adapter->GetRootNode(), i);
      if (auto* data = row->Get<ITreeNodeIDData>(IID_ITREENODEIDDATA)) data->Set(node);
      if (auto* v = row->Get<IControlView>(IID_ICONTROLVIEW)) {
        v->SetWidgetID(widgets->GetWidgetTypeForNode(node));
        v->SetFrame(PMRect{0, i * height, 371, (i + 1) * height});
        widgets->ApplyNodeIDToWidget(node, v, 0);
      }
      fRows.push_back(row);
    }
  }
  std::vector<HostBoss*> fRows;
  std::vector<std::wstring> fLogged;
};

// ---- dialogs ----------------------------------------------------------------------------------

std::vector<IDialog*> gOpenDialogs;

class HostDialog : public CPMUnknown<IDialog> {
 public:
  using CPMUnknown::CPMUnknown;
  ~HostDialog() override {
    for (auto* w : fWidgets) w->Release();
  }
  void AddWidget(HostBoss* widget) { fWidgets.push_back(widget); }
  IControlView* FindWidget(WidgetID id) const {
    for (auto* w : fWidgets) {
      auto* v = w->Get<IControlView>(IID_ICONTROLVIEW);
      if (v && v->GetWidgetID() == id) return v;
    }
    return nullptr;
  }
  void SetTitle(const std::wstring& title) { fTitle = title; }

  void Open() override {
    if (fOpen) return;
    fOpen = true;
    gOpenDialogs.push_back(this);
    HostLog(L"dialog opened: " + fTitle);
    if (auto* list = ListBox()) list->Initialize();
    if (auto* controller = Boss()->Get<IDialogController>(IID_IDIALOGCONTROLLER)) controller->InitializeDialogFields();
    ForEachObserver([](IObserver* o) { o->AutoAttach(); });
  }
  void Close(bool ok) override {
    if (!fOpen) return;
    fOpen = false;
    HostLog(ok ? L"dialog closed: ok" : L"dialog closed: cancel");
  }
  bool IsOpen() const override { return fOpen; }

  void WaitForDialog() override {
    const ULONGLONG start = GetTickCount64();
    const HostSettings& s = Settings();
    while (fOpen) {
      RunDueIdleTasks();
      if (auto* list = ListBox()) list->DrawRows(false, L"");
      if (!fOpen) break;
      ULONGLONG elapsed = GetTickCount64() - start;
      IControlView* ok = FindWidget(kOKButton);
      IControlView* cancel = FindWidget(kCancelButton);
      bool cancelNow = false;
      if (s.dialogAction == L"cancel-after" && elapsed >= s.dialogArgument) cancelNow = true;
      if (s.dialogAction == L"cancel-on-status" && StatusText().find(s.dialogStatusTrigger) != std::wstring::npos)
        cancelNow = true;
      if (cancelNow && cancel && cancel->IsEnabled()) Press(kCancelButton);
      else if (ok && ok->IsEnabled()) Press(kOKButton);
      if (fOpen && elapsed > s.dialogTimeoutMs) {
        HostLog(L"dialog timed out");
        Close(false);
      }
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      Sleep(10);
    }
    ForEachObserver([](IObserver* o) { o->AutoDetach(); });
    if (auto* list = ListBox()) list->DrawRows(true, L"final ");
    HostLog(L"final status: " + StatusText());
    IControlView* ok = FindWidget(kOKButton);
    IControlView* cancel = FindWidget(kCancelButton);
    HostLog(std::wstring(L"final buttons: ok=") + (ok && ok->IsEnabled() ? L"1" : L"0") +
            L" cancel=" + (cancel && cancel->IsEnabled() ? L"1" : L"0"));
    gOpenDialogs.erase(std::remove(gOpenDialogs.begin(), gOpenDialogs.end(), this), gOpenDialogs.end());
  }

 private:
  HostBoss* Boss() const { return static_cast<HostBoss*>(fBoss); }
  // The list box: the widget whose boss has the host's tree-view manager.
  HostListBoxView* ListBox() const {
    for (auto* w : fWidgets)
      if (w->Get<ITreeViewMgr>(IID_ITREEVIEWMGR)) return w->Get<HostListBoxView>(IID_ICONTROLVIEW);
    return nullptr;
  }
  template <class F>
  void ForEachObserver(F f) {
    if (auto* o = Boss()->Get<IObserver>(IID_IOBSERVER)) f(o);
    for (auto* w : fWidgets)
      if (w->GetClass() != kHostWidgetBoss)
        if (auto* o = w->Get<IObserver>(IID_IOBSERVER)) f(o);
  }
  std::wstring StatusText() const {
    IControlView* v = FindWidget(kStatusLineWidget);
    InterfacePtr<ITextControlData> data(v, IID_ITEXTCONTROLDATA);
    return data ? data->GetString().GetText() : std::wstring();
  }
  void Press(WidgetID id) {
    HostLog(id == kOKButton ? L"pressed: OK" : L"pressed: Cancel");
    for (auto* w : fWidgets) {
      auto* v = w->Get<IControlView>(IID_ICONTROLVIEW);
      if (v && v->GetWidgetID() == id)
        if (auto* subject = w->Get<HostSubject>(IID_ISUBJECT)) subject->Change(kTrueStateMessage, IID_IBOOLEANCONTROLDATA);
    }
  }

  std::vector<HostBoss*> fWidgets;
  std::wstring fTitle;
  bool fOpen = false;
};

class HostPanel : public CPMUnknown<IPanelControlData> {
 public:
  using CPMUnknown::CPMUnknown;
  IControlView* FindWidget(WidgetID id) const override {
    auto* dialog = static_cast<HostBoss*>(fBoss)->Get<HostDialog>(IID_IDIALOG);
    return dialog ? dialog->FindWidget(id) : nullptr;
  }
};

// Builds a dialog from a view resource: "kind class widget left top right bottom [text]" per line.
class HostDialogMgr : public CPMUnknown<IDialogMgr> {
 public:
  using CPMUnknown::CPMUnknown;
  IDialog* CreateNewDialog(const RsrcSpec& spec, int32_t) override {
    RsrcID view = ResolveLocaleIndex(spec.plugin, spec.id, spec.locale);
    std::string text;
    if (view < 0 || !LoadPlugInResource(spec.plugin, spec.type, view, text)) {
      HostLog(L"error: no view resource " + std::to_wstring(spec.id));
      return nullptr;
    }
    HostBoss* dialogBoss = nullptr;
    HostDialog* dialog = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(pos, end - pos);
      pos = end + 1;
      if (line.empty() || line[0] == '#') continue;
      char kind[32] = {};
      int cls = 0, id = 0;
      double l = 0, t = 0, r = 0, b = 0;
      int consumed = 0;
      if (sscanf(line.c_str(), "%31s %i %i %lf %lf %lf %lf %n", kind, &cls, &id, &l, &t, &r, &b, &consumed) < 7)
        continue;
      std::wstring label = FromUtf8(line.substr(static_cast<size_t>(consumed)));
      while (!label.empty() && (label.back() == L'\r' || label.back() == L' ')) label.pop_back();
      std::string k = kind;
      if (k == "dialog") {
        dialogBoss = Registry().Create(static_cast<ClassID>(cls));
        dialog = dialogBoss ? dialogBoss->Get<HostDialog>(IID_IDIALOG) : nullptr;
        if (!dialog) return nullptr;
        dialog->SetTitle(TranslateKey(label));
        continue;
      }
      if (!dialog) return nullptr;
      HostBoss* widget = Registry().Create(cls ? static_cast<ClassID>(cls) : kHostWidgetBoss);
      if (!widget) continue;
      if (auto* v = widget->Get<IControlView>(IID_ICONTROLVIEW)) {
        v->SetWidgetID(static_cast<WidgetID>(id));
        v->SetFrame(PMRect{l, t, r, b});
      }
      if (auto* data = widget->Get<ITextControlData>(IID_ITEXTCONTROLDATA)) data->SetString(TranslateKey(label));
      dialog->AddWidget(widget);
    }
    return dialog;  // carries the boss's first reference
  }
  IDialog* GetFrontmostDialog() const override { return gOpenDialogs.empty() ? nullptr : gOpenDialogs.back(); }
};

// ---- documents ------------------------------------------------------------------------------------

class HostFont : public CPMUnknown<IPMFont> {
 public:
  using CPMUnknown::CPMUnknown;
  PMString GetFontName() const override { return PMString(font.first); }
  PMString GetPostScriptName(const PMString& name) const override {
    return name.GetText() == font.first ? PMString(font.second) : PMString();
  }
  ScriptFont font;
};

// The document's fonts that the host could not find.
std::vector<ScriptFont> ListedFonts() {
  std::vector<ScriptFont> listed;
  for (auto& f : Settings().fonts)
    if (f.kind != L"present") listed.push_back(f);
  return listed;
}

class HostDataBase final : public IDataBase {
 public:
  IPMUnknown* QueryInterface(PMIID) const override { return nullptr; }
  void AddRef() const override {}
  void Release() const override {}
  IPMUnknown* Instantiate(UID uid, PMIID iid) const override {
    auto listed = ListedFonts();
    if (uid == kInvalidUID || uid > listed.size() || listed[uid - 1].kind == L"broken") return nullptr;
    HostBoss* boss = Registry().Create(kHostFontBoss);
    if (!boss) return nullptr;
    boss->Get<HostFont>(IID_IPMFONT)->font = listed[uid - 1];
    IPMUnknown* result = boss->QueryInterface(iid);
    boss->Release();
    return result;
  }
};
HostDataBase gDataBase;

class HostDocument : public CPMUnknown<IDocument> {
 public:
  using CPMUnknown::CPMUnknown;
  IDataBase* GetDataBase() const override { return &gDataBase; }
};

class HostDocFontList : public CPMUnknown<IDocFontList> {
 public:
  using CPMUnknown::CPMUnknown;
  int32_t GetFontCount(int32_t) const override { return static_cast<int32_t>(ListedFonts().size()); }
  bool GetNthFont(int32_t index, UID* uid, PMString* name, int32_t, int32_t, int32_t) const override {
    auto listed = ListedFonts();
    if (index < 0 || index >= static_cast<int32_t>(listed.size())) return false;
    if (uid) *uid = static_cast<UID>(index + 1);
    if (name) *name = PMString(listed[index].first);
    return true;
  }
};

class HostDocumentUtils final : public IDocumentUtils {
 public:
  IPMUnknown* QueryInterface(PMIID) const override { return nullptr; }
  void AddRef() const override {}
  void Release() const override {}
  IPMUnknown* GetSignalDocument() const override { return gDocument; }
};
HostDocumentUtils gDocumentUtils;

// ---- services lent to the plug-in -----------------------------------------------------------------

class Services final : public IHostServices {
 public:
  ISession* GetExecutionContextSession() override {
    return gSession ? gSession->Get<ISession>(IID_ISESSION) : nullptr;
  }
  IPMUnknown* QueryUtils(PMIID iid) override { return iid == IID_IDOCUMENTUTILS ? &gDocumentUtils : nullptr; }
  PMLocaleId GetLocale() override { return Settings().locale; }
  bool Translate(const std::wstring& key, std::wstring& text) override {
    auto it = gStrings.find(key);
    if (it == gStrings.end()) return false;
    text = it->second;
    return true;
  }
  int32_t ModalAlert(const PMString& text, const PMString& b1, const PMString&, const PMString&, int32_t) override {
    HostLog(L"alert: " + text.GetText() + L" [" + b1.GetText() + L"]");
    return 1;
  }
  bool ChooseFolder(const PMString& title, std::wstring& folder) override {
    std::wstring answer = L"cancel";
    if (!Settings().chooserAnswers.empty()) {
      answer = Settings().chooserAnswers.front();
      Settings().chooserAnswers.pop_front();
    }
    HostLog(L"chooser: " + title.GetText() + L" -> " + answer);
    if (answer == L"cancel") return false;
    folder = answer;
    return true;
  }
};
Services gServices;

template <class C>
void HostImpl(ImplementationID id) {
  Registry().AddImplementation({id, &CreateImplementation<C>, &DestroyImplementation<C>});
}

}  // namespace

HostSettings& Settings() {
  static HostSettings settings;
  return settings;
}

IHostServices* HostServices() { return &gServices; }

HostBoss* SessionBoss() { return gSession; }

void SetCurrentDocument(HostBoss* document) { gDocument = document; }

void RegisterHostClasses() {
  HostImpl<HostSession>(0x7E0001);
  HostImpl<HostInterfaceColors>(0x7E0002);
  HostImpl<HostIdleTaskMgr>(0x7E0003);
  HostImpl<HostFontMgr>(0x7E0004);
  HostImpl<HostFontMenus>(0x7E0005);
  HostImpl<HostApplication>(0x7E0010);
  HostImpl<HostDialogMgr>(0x7E0011);
  HostImpl<HostDialog>(0x7E0020);
  HostImpl<HostPanel>(0x7E0021);
  HostImpl<HostWidgetView>(0x7E0030);
  HostImpl<HostTextData>(0x7E0031);
  HostImpl<HostSubject>(0x7E0032);
  HostImpl<HostListBoxView>(0x7E0040);
  HostImpl<HostTreeViewMgr>(0x7E0041);
  HostImpl<HostNodeData>(0x7E0050);
  HostImpl<HostDocument>(0x7E0060);
  HostImpl<HostDocFontList>(0x7E0061);
  HostImpl<HostFont>(0x7E0062);
  HostImpl<HostEmptyImpl>(0x14F);
  HostImpl<HostEmptyImpl>(0x102F);

  std::vector<InterfaceEntry> session = {{IID_ISESSION, 0x7E0001},
                                         {IID_IINTERFACECOLORS, 0x7E0002},
                                         {IID_IIDLETASKMGR, 0x7E0003},
                                         {IID_IFONTMENUS, 0x7E0005}};
  if (Settings().fontManager) session.push_back({IID_IFONTMGR, 0x7E0004});
  Registry().AddClass(kSessionBoss, kInvalidClass, session);
  Registry().AddClass(kHostApplicationBoss, kInvalidClass, {{IID_IAPPLICATION, 0x7E0010}, {IID_IDIALOGMGR, 0x7E0011}});
  Registry().AddClass(kDialogBoss, kInvalidClass, {{IID_IDIALOG, 0x7E0020}, {IID_IPANELCONTROLDATA, 0x7E0021}});
  Registry().AddClass(kHostWidgetBoss, kInvalidClass,
                      {{IID_ICONTROLVIEW, 0x7E0030}, {IID_ITEXTCONTROLDATA, 0x7E0031}, {IID_ISUBJECT, 0x7E0032}});
  Registry().AddClass(kTreeViewWidgetBoss, kInvalidClass,
                      {{IID_ICONTROLVIEW, 0x7E0040}, {IID_ITREEVIEWMGR, 0x7E0041}, {IID_ISUBJECT, 0x7E0032}});
  Registry().AddClass(kTreeViewNodeBoss, kInvalidClass, {{IID_ITREENODEIDDATA, 0x7E0050}, {IID_ISUBJECT, 0x7E0032}});
  Registry().AddClass(kHostDocumentBoss, kInvalidClass, {{IID_IDOCUMENT, 0x7E0060}, {IID_IDOCFONTLIST, 0x7E0061}});
  Registry().AddClass(kHostFontBoss, kInvalidClass, {{IID_IPMFONT, 0x7E0062}});
}

void CreateSessionAndApplication() {
  gSession = Registry().Create(kSessionBoss);
  gApplication = Registry().Create(kHostApplicationBoss);
  if (!gSession || !gApplication) HostLog(L"error: no session");
}

void DestroySessionAndApplication() {
  if (gDocument) gDocument->Release();
  gDocument = nullptr;
  if (gApplication) gApplication->Release();
  if (gSession) gSession->Release();
  gApplication = gSession = nullptr;
}

HostBoss* CreateDocument() { return Registry().Create(kHostDocumentBoss); }

bool LoadStringTable(PMLocaleId locale) {
  const LoadedPlugIn& p = PlugIn();
  RsrcID table = ResolveLocaleIndex(p.declaration->id, 300, locale);
  std::string text;
  if (table < 0 || !LoadPlugInResource(p.declaration->id, 504, table, text)) return false;
  gStrings.clear();
  ForEachResourceLine(text, [](const std::string& line) {
    size_t tab = line.find('\t');
    if (tab != std::string::npos) gStrings[FromUtf8(line.substr(0, tab))] = FromUtf8(line.substr(tab + 1));
    return true;
  });
  HostLog(L"string table " + std::to_wstring(table) + L": " + std::to_wstring(gStrings.size()) + L" keys");
  return true;
}
