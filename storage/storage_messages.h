#pragma once
// Every message box of the storage layer goes through here, so that tests can record the texts
// instead of blocking on a box, and so that worker threads never show one.
#include <windows.h>

#include <functional>
#include <string>

// Shows the text in a message box (title "Error" unless given) on the user-interface thread.
// On any other thread nothing is shown: the text is only kept as the thread's last storage error.
// Returns the box's answer, or 0 when nothing was shown.
int StorageMessageBox(const std::wstring& text, UINT type = MB_OK | MB_ICONERROR, const wchar_t* title = nullptr);

// The thread that may show boxes: the one that constructed the program's globals, until set.
void SetUserInterfaceThread(DWORD threadId);
bool IsUserInterfaceThread();

// The last text given to StorageMessageBox on the calling thread (empty when none).
std::wstring GetLastStorageError();
void ClearLastStorageError();

// Replaces the box by a recorder (tests); an empty function restores the box.
// The recorder is called instead of MessageBoxW and its result returned.
using StorageMessageSink = std::function<int(const std::wstring& text, UINT type)>;
void SetStorageMessageSink(StorageMessageSink sink);

// The system text of a failure code as "%#x: %s", with a plain "%#x" when the system has no text.
std::wstring StorageErrorText(HRESULT code);
