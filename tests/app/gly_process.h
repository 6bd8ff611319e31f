#pragma once
// Starting the real gly.exe from a test: a data folder, a temporary folder and a message log of the
// test's own, one gly.exe at a time across every test process (the program is a single instance),
// and clean-up of whatever the test left running.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/common/test_support.h"

namespace gly_test {

// Tests of every suite that start gly.exe take this lock first.
constexpr const wchar_t* kGlyExeTestLock = L"gly_tests_gly_exe_lock";

class GlyProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        lock_ = CreateMutexW(nullptr, FALSE, kGlyExeTestLock);
        ASSERT_NE(lock_, nullptr);
        DWORD waited = WaitForSingleObject(lock_, 240000);
        ASSERT_TRUE(waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) << "another test kept gly.exe";
        locked_ = true;

        root = MakeTempFolder(L"gly_app");
        dataFolder = root + L"\\data";
        tempFolder = root + L"\\temp";
        messageLog = root + L"\\boxes.log";
        ASSERT_TRUE(IsFolder(root));
        ASSERT_TRUE(CreateDirectoryW(dataFolder.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(tempFolder.c_str(), nullptr));
        exe = std::wstring(GLY_BIN_DIR) + L"\\gly.exe";
    }

    void TearDown() override
    {
        for (PROCESS_INFORMATION& p : processes_) {
            if (WaitForSingleObject(p.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(p.hProcess, 99);
                WaitForSingleObject(p.hProcess, 10000);
            }
            CloseHandle(p.hProcess);
            CloseHandle(p.hThread);
        }
        processes_.clear();
        RemoveTree(root);
        if (lock_) {
            if (locked_)
                ReleaseMutex(lock_);
            CloseHandle(lock_);
        }
    }

    // Starts gly.exe (or another copy of it) with the test's folders; returns the process handle.
    HANDLE Start(const std::wstring& arguments = L"", const std::wstring& program = L"")
    {
        std::wstring path = program.empty() ? exe : program;
        std::wstring commandLine = L"\"" + path + L"\"";
        if (!arguments.empty())
            commandLine += L" " + arguments;
        std::vector<wchar_t> environment = MakeEnvironment();
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
        mutableLine.push_back(0);
        if (!CreateProcessW(path.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                            environment.data(), nullptr, &startup, &process)) {
            ADD_FAILURE() << "gly.exe did not start: " << GetLastError();
            return nullptr;
        }
        processes_.push_back(process);
        return process.hProcess;
    }

    // The main window of the process once it exists and answers; null after the bound.
    static HWND WaitForMainWindow(HANDLE process, DWORD bound = 60000)
    {
        DWORD pid = GetProcessId(process);
        DWORD start = GetTickCount();
        while (GetTickCount() - start < bound) {
            for (HWND w = FindWindowExW(nullptr, nullptr, L"GLYMainWnd", nullptr); w;
                 w = FindWindowExW(nullptr, w, L"GLYMainWnd", nullptr)) {
                DWORD owner = 0;
                GetWindowThreadProcessId(w, &owner);
                DWORD_PTR answer = 0;
                if (owner == pid && SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer))
                    return w;
            }
            if (WaitForSingleObject(process, 50) != WAIT_TIMEOUT)
                return nullptr;
        }
        return nullptr;
    }

    // The exit code once the process ended, or -1 when it still runs after the bound.
    static long WaitForExit(HANDLE process, DWORD bound = 60000)
    {
        if (WaitForSingleObject(process, bound) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        return static_cast<long>(code);
    }

    static LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 30000, &answer))
            ADD_FAILURE() << "no answer to message " << message;
        return static_cast<LRESULT>(answer);
    }

    static LRESULT SendFolder(HWND window, ULONG_PTR kind, const void* bytes, DWORD count)
    {
        COPYDATASTRUCT data{};
        data.dwData = kind;
        data.cbData = count;
        data.lpData = const_cast<void*>(bytes);
        return Send(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    }

    static bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    // The shared file helpers, also for tests of other namespaces that derive from this one.
    static std::string ReadBytes(const std::wstring& path) { return gly_test::ReadBytes(path); }
    static bool WriteBytes(const std::wstring& path, const std::string& bytes) { return gly_test::WriteBytes(path, bytes); }
    static void RemoveTree(const std::wstring& path) { gly_test::RemoveTree(path); }

    // A UTF-16 file's text without its mark.
    static std::wstring ReadUtf16(const std::wstring& path)
    {
        std::string bytes = ReadBytes(path);
        std::wstring text;
        for (size_t i = (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') ? 2 : 0; i + 1 < bytes.size(); i += 2)
            text.push_back(static_cast<wchar_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
        return text;
    }

    std::wstring Messages() const { return ReadUtf16(messageLog); }

    std::wstring root;
    std::wstring dataFolder;
    std::wstring tempFolder;
    std::wstring messageLog;
    std::wstring exe;

private:
    std::vector<wchar_t> MakeEnvironment() const
    {
        const std::pair<std::wstring, std::wstring> ours[] = {
            {L"GLY_DATA_FOLDER", dataFolder}, {L"GLY_MESSAGE_LOG", messageLog}, {L"TMP", tempFolder}, {L"TEMP", tempFolder}};
        std::vector<wchar_t> block;
        wchar_t* current = GetEnvironmentStringsW();
        for (const wchar_t* entry = current; entry && *entry; entry += wcslen(entry) + 1) {
            std::wstring text = entry;
            bool replaced = false;
            for (const auto& [name, value] : ours) {
                if (_wcsnicmp(text.c_str(), (name + L"=").c_str(), name.size() + 1) == 0)
                    replaced = true;
            }
            if (!replaced)
                block.insert(block.end(), text.c_str(), text.c_str() + text.size() + 1);
        }
        if (current)
            FreeEnvironmentStringsW(current);
        for (const auto& [name, value] : ours) {
            std::wstring text = name + L"=" + value;
            block.insert(block.end(), text.c_str(), text.c_str() + text.size() + 1);
        }
        block.push_back(0);
        return block;
    }

    HANDLE lock_ = nullptr;
    bool locked_ = false;
    std::vector<PROCESS_INFORMATION> processes_;
};

}  // namespace gly_test
