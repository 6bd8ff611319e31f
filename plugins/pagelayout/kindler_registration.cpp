// What the host reads to load the plug-in: its identity, implementations, classes and actions.
#include "kindler_responder.h"
#include "missing_fonts_dialog.h"

namespace {

class KindlerActionComponent : public CActionComponent {
 public:
  using CActionComponent::CActionComponent;
  void DoAction(ActionID action) override {
    if (action == kKindlerAboutActionID) {
      PMString text(L"0x13d400kKindlerAboutBoxStringKey");
      text.Translate();
      CAlert::ModalAlert(text, PMString(L"OK"), PMString(), PMString(), 1, 0);
    } else if (action == kKindlerDialogActionID) {
      OpenMissingFontsDialog();
    }
  }
};

template <class C>
constexpr ImplementationEntry Impl(ImplementationID id) {
  return {id, &CreateImplementation<C>, &DestroyImplementation<C>};
}

const ImplementationEntry kImplementations[] = {
    Impl<KindlerActionComponent>(kKindlerActionComponentImpl),
    Impl<KindlerDialogController>(kKindlerDialogControllerImpl),
    Impl<KindlerDialogObserver>(kKindlerDialogObserverImpl),
    Impl<CKindlerServiceProvider>(kKindlerServiceProviderImpl),
    Impl<CKindlerResponder>(kKindlerResponderImpl),
    Impl<MissingFontsListBoxWidgetMgr>(kMissingFontsListBoxWidgetMgrImpl),
    Impl<MissingFontsListBoxObserver>(kMissingFontsListBoxObserverImpl),
    Impl<MissingFontsListBoxViewAdapter>(kMissingFontsListBoxViewAdapterImpl),
    Impl<MissingFontsListBoxNodeCustomView>(kMissingFontsListBoxNodeCustomViewImpl),
    Impl<PipeIdleTask>(kPipeIdleTaskImpl),
    Impl<SessionRelatedDataStore>(kSessionRelatedDataStoreImpl),
};

const ImplementationID kImplementationIDs[] = {
    kKindlerActionComponentImpl,       kKindlerDialogControllerImpl,
    kKindlerDialogObserverImpl,        kKindlerServiceProviderImpl,
    kKindlerResponderImpl,             kMissingFontsListBoxWidgetMgrImpl,
    kMissingFontsListBoxObserverImpl,  kMissingFontsListBoxViewAdapterImpl,
    kMissingFontsListBoxNodeCustomViewImpl, kPipeIdleTaskImpl,
    kSessionRelatedDataStoreImpl,
};

// Host implementations the plug-in's classes borrow.
constexpr ImplementationID kHostActionServiceImpl = 0x14F;
constexpr ImplementationID kHostTreeViewAttributesImpl = 0x102F;

const InterfaceEntry kServiceProviderInterfaces[] = {
    {IID_IK2SERVICEPROVIDER, kKindlerServiceProviderImpl},
    {IID_IRESPONDER, kKindlerResponderImpl},
};
const InterfaceEntry kActionComponentInterfaces[] = {
    {IID_IACTIONCOMPONENT, kKindlerActionComponentImpl},
    {IID_IACTIONSERVICE, kHostActionServiceImpl},
};
const InterfaceEntry kDialogInterfaces[] = {
    {IID_IDIALOGCONTROLLER, kKindlerDialogControllerImpl},
    {IID_IOBSERVER, kKindlerDialogObserverImpl},
};
const InterfaceEntry kListBoxInterfaces[] = {
    {IID_ITREEVIEWWIDGETMGR, kMissingFontsListBoxWidgetMgrImpl},
    {IID_IOBSERVER, kMissingFontsListBoxObserverImpl},
    {IID_ITREEVIEWHIERARCHYADAPTER, kMissingFontsListBoxViewAdapterImpl},
    {IID_ITREEVIEWATTRIBUTES, kHostTreeViewAttributesImpl},
};
const InterfaceEntry kListRowInterfaces[] = {
    {IID_ICONTROLVIEW, kMissingFontsListBoxNodeCustomViewImpl},
};
const InterfaceEntry kSessionAddInInterfaces[] = {
    {IID_IPIPEIDLETASK, kPipeIdleTaskImpl},
    {IID_ISESSIONRELATEDDATASTORE, kSessionRelatedDataStoreImpl},
};

template <size_t N>
constexpr ClassEntry Class(ClassID id, ClassID parent, bool addIn, const InterfaceEntry (&list)[N]) {
  return {id, parent, addIn, list, static_cast<int>(N)};
}

const ClassEntry kClasses[] = {
    Class(kKindlerServiceProviderBoss, kInvalidClass, false, kServiceProviderInterfaces),
    Class(kKindlerActionComponentBoss, kInvalidClass, false, kActionComponentInterfaces),
    Class(kKindlerDialogBoss, kDialogBoss, false, kDialogInterfaces),
    Class(kMissingFontsListBoxBoss, kTreeViewWidgetBoss, false, kListBoxInterfaces),
    Class(kMissingFontsListRowBoss, kTreeViewNodeBoss, false, kListRowInterfaces),
    Class(kSessionBoss, kInvalidClass, true, kSessionAddInInterfaces),
};

const ActionEntry kActions[] = {
    {kKindlerAboutActionID, kKindlerActionComponentBoss, L"0x13d400kKindlerAboutMenuKey", L"KBSCE Other",
     L"Main:&Help:AboutPlugins:Glyphary", 1.0},
    {kKindlerDialogActionID, kKindlerActionComponentBoss, L"0x13d400kKindlerDialogMenuItemKey", L"KBSCE Other",
     L"Main:Plugin_Menu:Glyphary:0x13d400kKindlerPluginsMenuKey", 12.0},
};

}  // namespace

const PlugInDeclaration gPlugInDeclaration = {
    kKindlerPluginID,
    L"1.5",
    L"Kindler_CS3.pln",
    kImplementations,
    static_cast<int>(std::size(kImplementations)),
    kImplementationIDs,
    static_cast<int>(std::size(kImplementationIDs)),
    kClasses,
    static_cast<int>(std::size(kClasses)),
    kActions,
    static_cast<int>(std::size(kActions)),
};
