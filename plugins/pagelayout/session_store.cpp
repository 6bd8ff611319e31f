#include "session_store.h"

#include <algorithm>

#include "sdk/SDKBases.h"

ActivationSession::ActivationSession() { stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }

ActivationSession::~ActivationSession() {
  if (stopEvent) CloseHandle(stopEvent);
}

void ActivationSession::BeginSession() {
  stop = 0;
  finished = 0;
  folderRequest = 0;
  anyActivated = 0;
  if (stopEvent) ResetEvent(stopEvent);
  SessionLockHolder hold(lock);
  changedRows.clear();
}

void ActivationSession::RequestStop() {
  stop = 1;
  if (stopEvent) SetEvent(stopEvent);
}

void ActivationSession::SetLaunchState(int32_t state) {
  launchState = state;
  launchStateChanged = 1;
}

void ActivationSession::MarkRowChanged(int32_t row) {
  SessionLockHolder hold(lock);
  changedRows.push_back(row);
}

std::vector<int32_t> ActivationSession::TakeChangedRows() {
  SessionLockHolder hold(lock);
  std::vector<int32_t> rows;
  rows.swap(changedRows);
  return rows;
}

PMString ActivationSession::GetFolder() {
  SessionLockHolder hold(lock);
  return folder;
}

void ActivationSession::SetFolder(const PMString& text) {
  SessionLockHolder hold(lock);
  folder = text;
}

PMString ActivationSession::GetInfoText() {
  SessionLockHolder hold(lock);
  return infoText;
}

void ActivationSession::SetInfoText(const PMString& text) {
  SessionLockHolder hold(lock);
  infoText = text;
}

bool ActivationSession::WaitForStop(DWORD ms) {
  if (stop) return true;
  if (stopEvent) WaitForSingleObject(stopEvent, ms);
  else Sleep(ms);
  return stop != 0;
}

SessionRelatedDataStore::SessionRelatedDataStore(IPMUnknown* boss) : CPMUnknown(boss) {}

SessionRelatedDataStore::~SessionRelatedDataStore() = default;

namespace {
// The store add-in of the global session, with a reference; null when the host has none.
InterfacePtr<ISessionRelatedDataStore> QueryStore() {
  return InterfacePtr<ISessionRelatedDataStore>(GetExecutionContextSession(), IID_ISESSIONRELATEDDATASTORE);
}
}  // namespace

// The store is an add-in of the session, which lives as long as the host: the pointers handed out
// stay valid after the reference is released.
ActivationSession* GetStoreSession() {
  auto store = QueryStore();
  return store ? store->GetSession() : nullptr;
}

MissingFontRecordArray* GetStoreRecords() {
  auto store = QueryStore();
  return store ? store->GetRecords() : nullptr;
}

HWND GetStoreMainWindow() {
  auto store = QueryStore();
  return store ? store->GetMainWindow() : nullptr;
}

HWND* GetStoreMainWindowSlot() {
  auto store = QueryStore();
  return store ? store->GetMainWindowSlot() : nullptr;
}

void SetStoreMainWindow(HWND window) {
  auto store = QueryStore();
  if (store) store->SetMainWindow(window);
}

bool HasSessionStore() { return static_cast<bool>(QueryStore()); }
