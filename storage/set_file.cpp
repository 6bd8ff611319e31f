#include "storage/set_file.h"

#include "core/resource_strings.h"
#include "storage/com_ptr.h"
#include "storage/storage_messages.h"

namespace {
// Names of the save's scratch streams; only ever used under the set-file lock.
const wchar_t kNewStream[] = L"~gly-new.tmp";
const wchar_t kOldStream[] = L"~gly-old.tmp";

void ShowStorageError(HRESULT hr)
{
    StorageMessageBox(StorageErrorText(hr));
}
}  // namespace

std::recursive_mutex& SetFileMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

BOOL CreateCompoundFile(const std::wstring& path, IStorage** storage)
{
    if (!storage)
        return FALSE;
    *storage = nullptr;
    HRESULT hr = StgCreateStorageEx(path.c_str(), kStgCreateMode, STGFMT_STORAGE, 0, nullptr, nullptr, IID_IStorage,
                                    reinterpret_cast<void**>(storage));
    if (FAILED(hr) || !*storage) {
        if (*storage) {
            (*storage)->Release();
            *storage = nullptr;
        }
        ShowStorageError(FAILED(hr) ? hr : E_FAIL);
        return FALSE;
    }
    return TRUE;
}

BOOL OpenCompoundFile(const std::wstring& path, IStorage** storage, BOOL& readOnly, BOOL showError)
{
    if (!storage)
        return FALSE;
    *storage = nullptr;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(path.c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        readOnly = (found.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM)) ? TRUE : FALSE;
        FindClose(find);
    } else {
        readOnly = TRUE;
    }
    HRESULT hr = StgOpenStorageEx(path.c_str(), readOnly ? kStgOpenRead : kStgOpenReadWrite, STGFMT_STORAGE, 0, nullptr,
                                  nullptr, IID_IStorage, reinterpret_cast<void**>(storage));
    if (hr == S_OK && *storage)
        return TRUE;
    if (*storage) {
        (*storage)->Release();
        *storage = nullptr;
    }
    if (SUCCEEDED(hr))
        return FALSE;
    if (showError) {
        if (hr == STG_E_FILEALREADYEXISTS)
            hr = STG_E_INVALIDHEADER;  // what the storage says of a file that is no compound file
        StorageMessageBox(StorageErrorText(hr) + L"\r\n" + path);
    }
    return FALSE;
}

BOOL CreateStorageStream(const std::wstring& name, IStorage* storage, IStream** stream)
{
    if (!stream)
        return FALSE;
    *stream = nullptr;
    if (!storage)
        return FALSE;
    HRESULT hr;
    {
        CSetFileLock lock;
        hr = storage->CreateStream(name.c_str(), kStgCreateMode, 0, 0, stream);
    }
    if (FAILED(hr) || !*stream) {
        ShowStorageError(FAILED(hr) ? hr : E_FAIL);
        return FALSE;
    }
    return TRUE;
}

BOOL OpenStorageStream(const std::wstring& name, IStorage* storage, IStream** stream, BOOL readOnly)
{
    if (!stream)
        return FALSE;
    *stream = nullptr;
    if (!storage)
        return FALSE;
    HRESULT hr;
    {
        CSetFileLock lock;
        hr = storage->OpenStream(name.c_str(), nullptr, readOnly ? kStgOpenRead : kStgOpenReadWrite, 0, stream);
        if (hr == S_OK && *stream) {
            LARGE_INTEGER start = {};
            (*stream)->Seek(start, STREAM_SEEK_SET, nullptr);
            return TRUE;
        }
        if (*stream) {
            (*stream)->Release();
            *stream = nullptr;
        }
    }
    if (hr != STG_E_FILENOTFOUND && FAILED(hr))
        ShowStorageError(hr);
    return FALSE;
}

BOOL SaveXmlDocumentToStream(IXMLDOMDocument* document, const std::wstring& name, IStorage* storage)
{
    if (name.empty() || !document || !storage)
        return FALSE;
    HRESULT hr = S_OK;
    {
        CSetFileLock lock;
        ComPtr<IStream> stream;
        hr = storage->CreateStream(kNewStream, kStgCreateMode, 0, 0, stream.Put());
        if (SUCCEEDED(hr)) {
            LARGE_INTEGER start = {};
            stream->Seek(start, STREAM_SEEK_SET, nullptr);
            VARIANT target;
            Variant::SetUnknown(target, stream.Get());
            hr = document->save(target);
            stream.Reset();
            if (FAILED(hr)) {
                storage->DestroyElement(kNewStream);
            } else {
                // The old stream steps aside, the new one takes its name, and only then is the old
                // one dropped: at every moment one whole copy exists.
                HRESULT moved = storage->RenameElement(name.c_str(), kOldStream);
                if (moved == STG_E_ACCESSDENIED || moved == STG_E_FILEALREADYEXISTS) {
                    storage->DestroyElement(kOldStream);
                    moved = storage->RenameElement(name.c_str(), kOldStream);
                }
                bool hadOld = SUCCEEDED(moved);
                if (FAILED(moved) && moved != STG_E_FILENOTFOUND) {
                    hr = moved;
                    storage->DestroyElement(kNewStream);
                } else {
                    hr = storage->RenameElement(kNewStream, name.c_str());
                    if (FAILED(hr)) {
                        storage->DestroyElement(kNewStream);
                        if (hadOld)
                            storage->RenameElement(kOldStream, name.c_str());
                    } else if (hadOld) {
                        storage->DestroyElement(kOldStream);
                    }
                }
            }
        }
        if (SUCCEEDED(hr))
            hr = storage->Commit(STGC_OVERWRITE);
    }
    if (hr != S_OK) {
        ShowStorageError(FAILED(hr) ? hr : E_FAIL);
        return FALSE;
    }
    return TRUE;
}

bool StorageHasElements(IStorage* storage)
{
    if (!storage)
        return false;
    CSetFileLock lock;
    ComPtr<IEnumSTATSTG> items;
    if (FAILED(storage->EnumElements(0, nullptr, 0, items.Put())) || !items)
        return false;
    STATSTG stat = {};
    ULONG fetched = 0;
    if (items->Next(1, &stat, &fetched) != S_OK || fetched != 1)
        return false;
    CoTaskMemFree(stat.pwcsName);
    return true;
}

std::wstring MakeSetFileBackupPath(const std::wstring& path)
{
    std::wstring base = path;
    size_t dot = base.find_last_of(L'.');
    size_t slash = base.find_last_of(L"\\/");
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash))
        base.resize(dot);
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::wstring stamp = FormatString(L"%04d%02d%02d%02d%02d%02d", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                                      now.wSecond);
    return FormatString(L"%s%s.set.bak", base.c_str(), stamp.c_str());
}

HRESULT BackupSetFile(IStorage* storage, const std::wstring& path, std::wstring& backupPath)
{
    if (!storage)
        return E_POINTER;
    backupPath = MakeSetFileBackupPath(path);
    CSetFileLock lock;
    ComPtr<IStorage> copy;
    HRESULT hr = StgCreateStorageEx(backupPath.c_str(), kStgCreateMode, STGFMT_STORAGE, 0, nullptr, nullptr, IID_IStorage,
                                    reinterpret_cast<void**>(copy.Put()));
    if (FAILED(hr))
        return hr;
    hr = storage->CopyTo(0, nullptr, nullptr, copy.Get());
    if (SUCCEEDED(hr))
        hr = copy->Commit(STGC_DEFAULT);
    copy.Reset();
    if (FAILED(hr))
        DeleteFileW(backupPath.c_str());
    return hr;
}
