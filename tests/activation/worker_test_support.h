#pragma once
// What the worker tests share: an owner window that records what workers post and send to it, the
// locale texts, and scratch folders filled from the fixtures.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "activation/worker_threads.h"
#include "core/app_messages.h"
#include "core/resource_strings.h"
#include "tests/common/test_support.h"

struct RecordedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::wstring text1;  // copies of text parameters (sent messages whose texts live only for the call)
    std::wstring text2;
};

// A message-only window (works without a display) on the thread that creates it.
class RecordingOwner {
public:
    RecordingOwner()
    {
        static const wchar_t* kClass = L"GlyWorkerTestOwner";
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClass;
        RegisterClassW(&wc);
        hwnd = CreateWindowW(kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~RecordingOwner() { DestroyWindow(hwnd); }
    RecordingOwner(const RecordingOwner&) = delete;
    RecordingOwner& operator=(const RecordingOwner&) = delete;

    // Pumps until WM_WORKER_DONE of the kind arrives and takes it from the record; false when none came (a watchdog against a hang,
    // not a time limit under test).
    bool WaitForDone(int kind, int& result)
    {
        const ULONGLONG give_up = GetTickCount64() + 120000;
        for (;;) {
            for (auto it = messages.begin(); it != messages.end(); ++it) {
                if (it->message == WM_WORKER_DONE && static_cast<int>(it->lParam) == kind) {
                    result = static_cast<int>(static_cast<INT_PTR>(it->wParam));
                    messages.erase(it);  // taken, so that a later wait needs a later completion
                    return true;
                }
            }
            if (GetTickCount64() > give_up)
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }

    // Dispatches what is queued now.
    void Pump()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }

    int Count(UINT message) const
    {
        int n = 0;
        for (const RecordedMessage& m : messages)
            n += m.message == message;
        return n;
    }

    HWND hwnd = nullptr;
    std::vector<RecordedMessage> messages;
    // Called for every message recorded (on the window's thread).
    void (*onMessage)(RecordingOwner&, UINT, WPARAM, LPARAM) = nullptr;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<RecordingOwner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && message >= WM_USER && message < 0xC000) {
            RecordedMessage m{message, wParam, lParam, {}, {}};
            if (message == WM_SET_FILL_PROGRESS) {
                if (wParam)
                    m.text1 = reinterpret_cast<const wchar_t*>(wParam);
                if (lParam)
                    m.text2 = reinterpret_cast<const wchar_t*>(lParam);
            }
            self->messages.push_back(m);
            if (self->onMessage)
                self->onMessage(*self, message, wParam, lParam);
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
};

// A scratch folder for one test, removed at its end.
class ScratchFolder {
public:
    ScratchFolder() : path(gly_test::MakeTempFolder(L"gly_act")) {}
    ~ScratchFolder() { gly_test::RemoveTree(path); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Makes a sub-folder (relative path) and returns its full path.
    std::wstring MakeFolder(const std::wstring& relative) const
    {
        std::wstring full = path + L"\\" + relative;
        CreateDirectoryW(full.c_str(), nullptr);
        return full;
    }
    // Copies a fixture ("sfnt\\basic.ttf") to a relative path; true on success.
    bool CopyFixture(const std::wstring& fixture, const std::wstring& relative) const
    {
        return CopyFileW((std::wstring(GLY_FIXTURE_DIR) + L"\\" + fixture).c_str(), (path + L"\\" + relative).c_str(),
                         FALSE) != 0;
    }
    bool WriteText(const std::wstring& relative, const char* text) const
    {
        HANDLE file = CreateFileW((path + L"\\" + relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
        CloseHandle(file);
        return true;
    }

    std::wstring path;
};

// Loads the locale texts for the test's duration.
class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override { locale_.emplace(); }
    void TearDown() override { locale_.reset(); }

private:
    std::optional<gly_test::LocaleResources> locale_;
};
