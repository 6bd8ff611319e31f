#include "storage/storage_messages.h"

#include <mutex>

#include "core/helpers.h"
#include "core/resource_strings.h"

namespace {
// Globals are constructed on the thread that runs the program's start-up, which owns the windows.
DWORD g_uiThread = GetCurrentThreadId();
std::mutex g_sinkLock;
StorageMessageSink g_sink;
thread_local std::wstring t_lastError;
}  // namespace

void SetUserInterfaceThread(DWORD threadId)
{
    g_uiThread = threadId;
}

bool IsUserInterfaceThread()
{
    return GetCurrentThreadId() == g_uiThread;
}

std::wstring GetLastStorageError()
{
    return t_lastError;
}

void ClearLastStorageError()
{
    t_lastError.clear();
}

void SetStorageMessageSink(StorageMessageSink sink)
{
    std::lock_guard<std::mutex> lock(g_sinkLock);
    g_sink = std::move(sink);
}

int StorageMessageBox(const std::wstring& text, UINT type, const wchar_t* title)
{
    t_lastError = text;
    StorageMessageSink sink;
    {
        std::lock_guard<std::mutex> lock(g_sinkLock);
        sink = g_sink;
    }
    if (!IsUserInterfaceThread())
        return 0;
    if (sink)
        return sink(text, type);
    return MessageBoxW(nullptr, text.c_str(), title ? title : L"Error", type | MB_TASKMODAL);
}

std::wstring StorageErrorText(HRESULT code)
{
    std::wstring text;
    if (FormatErrorText(static_cast<DWORD>(code), text) && !text.empty())
        return text;
    return FormatString(L"%#x", static_cast<unsigned>(code));
}
