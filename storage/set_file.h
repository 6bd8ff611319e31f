#pragma once
// The set file: an OLE compound file whose streams hold the set tree and one document per set.
#include <windows.h>
#include <objbase.h>
#include <msxml2.h>

#include <mutex>
#include <string>

// The open set file's one lock. Compound files do no locking of their own, and worker threads use
// the same storage as the user-interface thread: every stream open, load, save and commit on it
// holds this lock. It is recursive, so an operation may take it around several such steps.
std::recursive_mutex& SetFileMutex();
class CSetFileLock {
public:
    CSetFileLock() : lock_(SetFileMutex()) {}

private:
    std::lock_guard<std::recursive_mutex> lock_;
};

// Storage modes.
constexpr DWORD kStgCreateMode = STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE;  // 0x1012
constexpr DWORD kStgOpenReadWrite = STGM_SHARE_EXCLUSIVE | STGM_READWRITE;             // 0x12
constexpr DWORD kStgOpenRead = STGM_SHARE_EXCLUSIVE | STGM_READ;                       // 0x10

BOOL CreateCompoundFile(const std::wstring& path, IStorage** storage);
BOOL OpenCompoundFile(const std::wstring& path, IStorage** storage, BOOL& readOnly, BOOL showError);

BOOL CreateStorageStream(const std::wstring& name, IStorage* storage, IStream** stream);
BOOL OpenStorageStream(const std::wstring& name, IStorage* storage, IStream** stream, BOOL readOnly);
// Saves the document as the stream `name` and commits the file. The document is written into a
// stream of its own first and only then takes the old stream's place, so a failed save leaves the
// old stream as it was.
BOOL SaveXmlDocumentToStream(IXMLDOMDocument* document, const std::wstring& name, IStorage* storage);

// True when the storage holds at least one stream or storage.
bool StorageHasElements(IStorage* storage);
// "%s%s.set.bak": the path without its extension, then the local time as "%Y%m%d%H%M%S".
std::wstring MakeSetFileBackupPath(const std::wstring& path);
// Copies the whole compound file into a new one at MakeSetFileBackupPath(path).
HRESULT BackupSetFile(IStorage* storage, const std::wstring& path, std::wstring& backupPath);
