#pragma once
// What one activation session shares between the host's user-interface thread and the worker
// thread, kept in an add-in of the host's session.
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "kindler_ids.h"
#include "sdk/IPMUnknown.h"
#include "sdk/PMString.h"

struct MissingFontRecord {
  PMString name;    // sent to the main program; matched against the first field of status lines
  PMString family;  // from the third field of the last status line
  PMString style;   // fourth field
  PMString file;    // fifth field
  uint8_t status = 6;  // written by the worker under the session lock
};

class MissingFontRecordArray {
 public:
  void clear() { fRecords.clear(); }
  void push_back(const MissingFontRecord& r) { fRecords.push_back(r); }
  int32_t size() const { return static_cast<int32_t>(fRecords.size()); }
  MissingFontRecord& operator[](int32_t i) { return fRecords[static_cast<size_t>(i)]; }
  const MissingFontRecord& operator[](int32_t i) const { return fRecords[static_cast<size_t>(i)]; }
  auto begin() { return fRecords.begin(); }
  auto end() { return fRecords.end(); }
  auto begin() const { return fRecords.begin(); }
  auto end() const { return fRecords.end(); }

 private:
  std::vector<MissingFontRecord> fRecords;
};

// A critical section that lives as long as its owner, so that neither side can use a deleted one.
class SessionLock {
 public:
  SessionLock() { InitializeCriticalSection(&fCS); }
  ~SessionLock() { DeleteCriticalSection(&fCS); }
  SessionLock(const SessionLock&) = delete;
  SessionLock& operator=(const SessionLock&) = delete;
  void Enter() { EnterCriticalSection(&fCS); }
  void Leave() { LeaveCriticalSection(&fCS); }

 private:
  CRITICAL_SECTION fCS;
};

class SessionLockHolder {
 public:
  explicit SessionLockHolder(SessionLock& lock) : fLock(lock) { fLock.Enter(); }
  ~SessionLockHolder() { fLock.Leave(); }
  SessionLockHolder(const SessionLockHolder&) = delete;
  SessionLockHolder& operator=(const SessionLockHolder&) = delete;

 private:
  SessionLock& fLock;
};

enum LaunchState : int32_t {
  kLaunchNone = 0,
  kLaunching = 1,
  kPluginOlderThanProgram = 2,
  kPluginNeedsNewerProgram = 3,
  kConnected = 4,
  kLaunchFailed = 5,
};

enum SessionError : int32_t { kSessionNoError = 0, kSessionPipeFailure = 1 };

struct ActivationSession {
  ActivationSession();
  ~ActivationSession();
  ActivationSession(const ActivationSession&) = delete;
  ActivationSession& operator=(const ActivationSession&) = delete;

  std::atomic<uint8_t> stop{0};
  std::atomic<uint8_t> launchStateChanged{0};
  std::atomic<uint8_t> infoChanged{0};
  std::atomic<uint8_t> finished{0};
  std::atomic<uint8_t> folderRequest{0};
  std::atomic<uint8_t> folderAnswered{0};
  std::atomic<uint8_t> anyActivated{0};
  PMString folder;    // under lock: written by the idle task, read and emptied by the worker
  PMString infoText;  // under lock: written by the worker, read by the idle task
  std::vector<int32_t> changedRows;  // under lock
  std::atomic<int32_t> launchState{kLaunchNone};
  std::atomic<int32_t> error{kSessionNoError};
  SessionLock lock;  // guards changedRows, folder, infoText and the records' status and fields
  // Signalled with `stop`, so that the worker's waits and pipe I/O end at once.
  HANDLE stopEvent = nullptr;

  // Resets what a new session starts from (the worker must not be running).
  void BeginSession();
  void RequestStop();
  void SetLaunchState(int32_t state);
  void MarkRowChanged(int32_t row);
  std::vector<int32_t> TakeChangedRows();
  PMString GetFolder();
  void SetFolder(const PMString& folder);
  PMString GetInfoText();
  void SetInfoText(const PMString& text);
  // Sleeps up to `ms`; true when the stop flag is set.
  bool WaitForStop(DWORD ms);
};

class ISessionRelatedDataStore : public IPMUnknown {
 public:
  virtual int32_t GetRecordCount() const = 0;
  virtual MissingFontRecordArray* GetRecords() = 0;
  virtual ActivationSession* GetSession() = 0;
  virtual HWND GetMainWindow() const = 0;
  virtual HWND* GetMainWindowSlot() = 0;
  virtual void SetMainWindow(HWND window) = 0;
};

class SessionRelatedDataStore : public CPMUnknown<ISessionRelatedDataStore> {
 public:
  explicit SessionRelatedDataStore(IPMUnknown* boss);
  ~SessionRelatedDataStore() override;

  int32_t GetRecordCount() const override { return fRecords.size(); }
  MissingFontRecordArray* GetRecords() override { return &fRecords; }
  ActivationSession* GetSession() override { return &fSession; }
  HWND GetMainWindow() const override { return fMainWindow; }
  HWND* GetMainWindowSlot() override { return &fMainWindow; }
  void SetMainWindow(HWND window) override { fMainWindow = window; }

 private:
  MissingFontRecordArray fRecords;
  HWND fMainWindow = nullptr;
  ActivationSession fSession;
};

// Access through the host's global session; each yields nothing when the store is missing.
ActivationSession* GetStoreSession();
MissingFontRecordArray* GetStoreRecords();
HWND GetStoreMainWindow();
HWND* GetStoreMainWindowSlot();
void SetStoreMainWindow(HWND window);
bool HasSessionStore();
