#pragma once
// The host's own objects that the plug-in reaches: session, application, dialogs and widgets,
// the list box, documents and fonts, idle tasks, and the services lent to the plug-in.
#include <deque>
#include <set>

#include "host_runtime.h"

struct ScriptFont {
  std::wstring first;
  std::wstring second;
  std::wstring kind;  // "missing", "present" or "broken" (listed but cannot be instantiated)
};

// What the script sets up before it runs its commands.
struct HostSettings {
  std::vector<ScriptFont> fonts;
  PMLocaleId locale = kLocaleEnglishUS;
  int32_t state = 2;
  std::deque<std::wstring> chooserAnswers;  // "cancel" or a folder
  std::wstring dialogAction = L"ok-when-enabled";
  DWORD dialogArgument = 0;
  std::wstring dialogStatusTrigger;
  DWORD dialogTimeoutMs = 120000;
  bool fontManager = true;
  bool sessionStore = true;
};
HostSettings& Settings();

void RegisterHostClasses();
HostBoss* SessionBoss();
void CreateSessionAndApplication();
void DestroySessionAndApplication();
void SetCurrentDocument(HostBoss* document);
IHostServices* HostServices();
bool LoadStringTable(PMLocaleId locale);
HostBoss* CreateDocument();
