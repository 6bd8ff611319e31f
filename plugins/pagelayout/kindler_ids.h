#pragma once
// Ids of the page-layout plug-in, all in its own id space (prefix 0x13D400).
#include "sdk/PMTypes.h"

constexpr PluginID kKindlerPluginID = 0x13D400;

// Interfaces of our own.
constexpr PMIID IID_IPIPEIDLETASK = 0x13D400;
constexpr PMIID IID_ISESSIONRELATEDDATASTORE = 0x13D401;

// Classes.
constexpr ClassID kKindlerActionComponentBoss = 0x13D400;
constexpr ClassID kKindlerDialogBoss = 0x13D402;
constexpr ClassID kKindlerServiceProviderBoss = 0x13D403;
constexpr ClassID kMissingFontsListBoxBoss = 0x13D404;
constexpr ClassID kMissingFontsListRowBoss = 0x13D405;

// Implementations.
constexpr ImplementationID kKindlerActionComponentImpl = 0x13D400;
constexpr ImplementationID kKindlerDialogControllerImpl = 0x13D401;
constexpr ImplementationID kKindlerDialogObserverImpl = 0x13D402;
constexpr ImplementationID kKindlerServiceProviderImpl = 0x13D403;
constexpr ImplementationID kKindlerResponderImpl = 0x13D404;
constexpr ImplementationID kMissingFontsListBoxWidgetMgrImpl = 0x13D405;
constexpr ImplementationID kMissingFontsListBoxObserverImpl = 0x13D406;
constexpr ImplementationID kMissingFontsListBoxViewAdapterImpl = 0x13D407;
constexpr ImplementationID kMissingFontsListBoxNodeCustomViewImpl = 0x13D408;
constexpr ImplementationID kPipeIdleTaskImpl = 0x13D409;
constexpr ImplementationID kSessionRelatedDataStoreImpl = 0x13D40A;

// Actions.
constexpr ActionID kKindlerAboutActionID = 0x13D400;
constexpr ActionID kKindlerDialogActionID = 0x13D404;

// Widgets.
constexpr WidgetID kKindlerDialogWidgetID = 0x13D401;
constexpr WidgetID kMissingFontsListBoxWidgetID = 0x13D402;
constexpr WidgetID kMissingFontsRowWidgetID = 0x13D403;
constexpr WidgetID kStatusLineWidgetID = 0x13D405;
constexpr WidgetID kOKButtonWidgetID = 1538;
constexpr WidgetID kCancelButtonWidgetID = 1539;

// Resources.
constexpr RsrcType kViewRsrcType = 501;
constexpr RsrcType kLocaleIndexRsrcType = 503;
constexpr RsrcType kStringTableRsrcType = 504;
constexpr RsrcType kPNGRsrcType = 578;
constexpr RsrcID kKindlerDialogRsrcID = 250;
constexpr RsrcID kMissingFontsRowRsrcID = 1200;
constexpr RsrcID kStringsLocaleIndexRsrcID = 300;
constexpr RsrcID kPendingImageRsrcID = 1510;
constexpr RsrcID kSuccessImageRsrcID = 1511;
constexpr RsrcID kFailureImageRsrcID = 1512;
constexpr RsrcID kSeparatorImageRsrcID = 1513;

// Host interface fonts and colours used to draw a row.
constexpr int32_t kRowNameFont = 260;
constexpr int32_t kRowStatusFont = 259;
