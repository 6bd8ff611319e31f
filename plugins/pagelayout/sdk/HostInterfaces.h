#pragma once
// The host interfaces that a page-layout plug-in calls, with their ids. Ids below 0x7F0000 are the
// host's published ones; the others number interfaces that only this stand-in names.
#include <vector>

#include "IPMUnknown.h"
#include "PMString.h"

enum : PMIID {
  IID_IK2SERVICEPROVIDER = 0x124,
  IID_IRESPONDER = 0x169,
  IID_IOBSERVER = 0x11A,
  IID_IDIALOGMGR = 0x11C,
  IID_IACTIONCOMPONENT = 0xD201,
  IID_IACTIONSERVICE = 0x130,
  IID_ICONTROLVIEW = 0x601,
  IID_IBOOLEANCONTROLDATA = 0x602,  // also the protocol of button presses
  IID_IPANELCONTROLDATA = 0x607,
  IID_IDIALOGCONTROLLER = 0x62A,
  IID_ITREEVIEWCONTROLLER = 0x66A,  // protocol of list selection changes
  IID_ITREEVIEWWIDGETMGR = 0x672,
  IID_ITREEVIEWHIERARCHYADAPTER = 0x673,
  IID_ITREEVIEWATTRIBUTES = 0x102B,
  IID_IDOCUMENT = 0xE02,
  IID_IFONTMGR = 0x3E01,
  IID_IDOCFONTLIST = 0x3E02,
  IID_IPMFONT = 0x3E03,
  IID_IFONTMENUS = 0x3E08,
  IID_IDOCUMENTUTILS = 0x1D03E,

  IID_ISESSION = 0x7F0001,
  IID_IAPPLICATION = 0x7F0002,
  IID_IDIALOG = 0x7F0003,
  IID_ITEXTCONTROLDATA = 0x7F0004,
  IID_ISUBJECT = 0x7F0005,
  IID_ITREEVIEWMGR = 0x7F0006,
  IID_ITREENODEIDDATA = 0x7F0007,
  IID_IIDLETASKMGR = 0x7F0008,
  IID_ISIGNALMGR = 0x7F0009,
  IID_IINTERFACECOLORS = 0x7F000A,
  IID_IIDLETASK = 0x7F000B,
};

// Host class ids a plug-in's classes may derive from or add to.
enum : ClassID {
  kSessionBoss = 0x101,
  kDialogBoss = 0x63E,
  kTreeViewNodeBoss = 0x6AC,
  kTreeViewWidgetBoss = 0x6AD,
};

// Messages of subjects.
enum : ClassID {
  kTrueStateMessage = 1896,       // a button was pressed
  kListSelectionChangedMessage = 1899,
};

// Service ids and signal data.
enum : ServiceID { kAfterOpenDocSignalResponderService = 0x1D005 };

class IApplication;
class IControlView;
class IDialog;
class ISubject;

class ISession : public IPMUnknown {
 public:
  // 2 while the host runs normally (not starting up or quitting).
  virtual int32_t GetState() const = 0;
  virtual IApplication* QueryApplication() const = 0;
};

class IApplication : public IPMUnknown {};

class IDialogMgr : public IPMUnknown {
 public:
  enum DialogType { kMovableModal = 1 };
  // A new dialog built from a view resource; null when the resource cannot be read.
  virtual IDialog* CreateNewDialog(const RsrcSpec& spec, int32_t type) = 0;
  // The front-most open dialog (no reference added); null when none is open.
  virtual IDialog* GetFrontmostDialog() const = 0;
};

class IDialog : public IPMUnknown {
 public:
  virtual void Open() = 0;
  // Runs the host's modal loop until the dialog closes.
  virtual void WaitForDialog() = 0;
  virtual void Close(bool ok) = 0;
  virtual bool IsOpen() const = 0;
};

class IPanelControlData : public IPMUnknown {
 public:
  // A widget of the panel or its sub-panels (no reference added); null when none has the id.
  virtual IControlView* FindWidget(WidgetID id) const = 0;
};

class IGraphicsPort;

class IControlView : public IPMUnknown {
 public:
  virtual WidgetID GetWidgetID() const = 0;
  virtual void SetWidgetID(WidgetID id) = 0;
  virtual PMRect GetFrame() const = 0;
  virtual void SetFrame(const PMRect& frame) = 0;
  virtual void Enable(bool enable = true) = 0;
  virtual void Disable() = 0;
  virtual bool IsEnabled() const = 0;
  virtual void Invalidate() = 0;
  virtual bool IsHilited() const = 0;
  virtual void SetHilite(bool on) = 0;
  virtual void Draw(IGraphicsPort* port) = 0;
};

class ITextControlData : public IPMUnknown {
 public:
  virtual void SetString(const PMString& text) = 0;
  virtual PMString GetString() const = 0;
};

class IObserver : public IPMUnknown {
 public:
  virtual void AutoAttach() = 0;
  virtual void AutoDetach() = 0;
  virtual void Update(ClassID theChange, ISubject* theSubject, PMIID protocol, void* changedBy) = 0;
};

class ISubject : public IPMUnknown {
 public:
  virtual void AttachObserver(IObserver* observer, PMIID protocol, PMIID observerIID) = 0;
  virtual void DetachObserver(IObserver* observer, PMIID protocol, PMIID observerIID) = 0;
};

class IDialogController : public IPMUnknown {
 public:
  virtual void InitializeDialogFields() = 0;
  virtual bool ValidateDialogFields() = 0;
  virtual void ApplyDialogFields() = 0;
};

// The list box's node manager: redraws nodes.
class ITreeViewMgr : public IPMUnknown {
 public:
  virtual void NodeChanged(const NodeID& node) = 0;
  virtual void ChangeRoot() = 0;
};

class ITreeViewHierarchyAdapter : public IPMUnknown {
 public:
  virtual NodeID GetRootNode() const = 0;
  virtual int32_t GetNumChildren(const NodeID& parent) const = 0;
  virtual NodeID GetNthChild(const NodeID& parent, int32_t n) const = 0;
};

class ITreeViewWidgetMgr : public IPMUnknown {
 public:
  virtual void RegisterStyles() = 0;
  virtual int32_t GetStyleCount() const = 0;
  virtual void GetStyle(int32_t n, int32_t& style, RsrcID& rsrc, PluginID& plugin) const = 0;
  virtual WidgetID GetWidgetTypeForNode(const NodeID& node) const = 0;
  virtual bool ApplyNodeIDToWidget(const NodeID& node, IControlView* widget, int32_t message) const = 0;
};

class ITreeViewAttributes : public IPMUnknown {};

// The node a row widget shows.
class ITreeNodeIDData : public IPMUnknown {
 public:
  virtual NodeID Get() const = 0;
  virtual void Set(const NodeID& node) = 0;
};

class IGraphicsPort : public IPMUnknown {
 public:
  virtual void SetColor(const PMRGBColor& c) = 0;
  virtual void FillRect(const PMRect& r) = 0;
  virtual void DrawLine(double x1, double y1, double x2, double y2) = 0;
  // Draws a plug-in image; returns its width (0 when the image does not exist).
  virtual double DrawImage(PluginID plugin, RsrcID id, double x, double y) = 0;
  virtual void SetFont(int32_t interfaceFont) = 0;
  virtual double MeasureText(const PMString& text) const = 0;
  virtual void DrawText(const PMString& text, double x, double y) = 0;
};

class IInterfaceColors : public IPMUnknown {
 public:
  virtual PMRGBColor GetRGBColor(int32_t colourIndex) const = 0;
};

class IIdleTask;
class IIdleTaskMgr : public IPMUnknown {
 public:
  virtual void AddTask(IIdleTask* task, uint32_t delay) = 0;
  virtual void RemoveTask(IIdleTask* task) = 0;
};

class IIdleTask : public IPMUnknown {
 public:
  enum : uint32_t { kEndOfTime = 0xFFFFFFFFu, kOnFlagChange = 0xFFFFFFFEu };
  virtual void InstallTask(uint32_t delay) = 0;
  virtual void UninstallTask() = 0;
  // Returns the milliseconds until the next run.
  virtual uint32_t RunTask(uint32_t appFlags, void* timeCheck) = 0;
  virtual const wchar_t* TaskName() const = 0;
};

class ISignalMgr : public IPMUnknown {
 public:
  virtual ServiceID GetServiceID() const = 0;
};

class IResponder : public IPMUnknown {
 public:
  virtual void Respond(ISignalMgr* signalMgr) = 0;
  virtual void SignalFailed(ISignalMgr* signalMgr) = 0;
};

class IK2ServiceProvider : public IPMUnknown {
 public:
  virtual void GetName(PMString* name) = 0;
  virtual ServiceID GetServiceID() = 0;
  virtual bool IsDefaultServiceProvider() = 0;
  virtual int32_t GetInstantiationPolicy() = 0;
  virtual bool HasMultipleIDs() const = 0;
  virtual void GetServiceIDs(std::vector<ServiceID>& ids) = 0;
};

class IActionComponent : public IPMUnknown {
 public:
  virtual void DoAction(ActionID action) = 0;
};

class IDataBase : public IPMUnknown {
 public:
  // The object with that uid, asked for one interface (reference added); null when it cannot be made.
  virtual IPMUnknown* Instantiate(UID uid, PMIID iid) const = 0;
};

class IDocument : public IPMUnknown {
 public:
  virtual IDataBase* GetDataBase() const = 0;
};

class IDocumentUtils : public IPMUnknown {
 public:
  // The document that the current signal concerns (no reference added).
  virtual IPMUnknown* GetSignalDocument() const = 0;
};

// The fonts of a document that the host could not find.
class IDocFontList : public IPMUnknown {
 public:
  virtual int32_t GetFontCount(int32_t flags) const = 0;
  virtual bool GetNthFont(int32_t index, UID* fontUID, PMString* name, int32_t a, int32_t b,
                          int32_t c) const = 0;
};

class IPMFont : public IPMUnknown {
 public:
  virtual PMString GetFontName() const = 0;
  // The name the font is known by elsewhere (its PostScript name), found from the first one.
  virtual PMString GetPostScriptName(const PMString& fontName) const = 0;
};

class IFontMgr : public IPMUnknown {
 public:
  // The host's font-list state: the answer changes while the host rescans its fonts.
  virtual int32_t UpdateFontList(int32_t a, int32_t b) = 0;
};

class IFontMenus : public IPMUnknown {
 public:
  virtual void RefreshFontMenus() = 0;
  virtual void RebuildStyleMenus(int32_t flags) = 0;
};
