// The real gly.exe, started as a process: start-up, the control messages from another process,
// the single-instance hand-over and shut-down.
#include <objbase.h>

#include <functional>

#include "core/app_messages.h"
#include "gly_process.h"
#include "storage/app_setting_xml.h"
#include "storage/com_ptr.h"
#include "storage/set_file.h"

using namespace gly_test;

namespace {

constexpr WPARAM kStartServer = 2;
constexpr WPARAM kProtocolVersion = 3;
constexpr WPARAM kWantsFolder = 4;
constexpr WPARAM kSetFolder = 5;

std::string Ansi(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size > 0 ? size - 1 : 0));
    return out;
}

// Writes settings into the data folder as the program would, before it starts.
void PresetSettings(const std::wstring& folder, const std::function<void(CAppSettingXML&)>& fill)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        CAppSettingXML settings;
        settings.SetDataFolder(folder);
        settings.Load();
        fill(settings);
        EXPECT_EQ(settings.Save(), S_OK);
        settings.Close();
    }
    CoUninitialize();
}

}  // namespace

TEST_F(GlyProcessTest, StartsWithItsFoldersAnswersAndClosesCleanly)
{
    // A log left from the previous session is emptied.
    ASSERT_TRUE(WriteBytes(dataFolder + L"\\plugin_session.log", "\xFF\xFEo\0l\0d\0"));
    HANDLE process = Start();
    HWND window = WaitForMainWindow(process);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));

    EXPECT_EQ(Send(window, WM_PLUGIN_COMMAND, kProtocolVersion, 0), 5);
    EXPECT_TRUE(Exists(tempFolder + L"\\GLYD"));
    EXPECT_TRUE(Exists(dataFolder + L"\\gly.set"));
    EXPECT_EQ(ReadUtf16(dataFolder + L"\\plugin_session.log"), L"");

    PostMessageW(window, WM_CLOSE, 0, 0);
    PostMessageW(window, WM_CLOSE, 0, 0);  // a second close finds the work done
    EXPECT_EQ(WaitForExit(process), 0);
    EXPECT_FALSE(Exists(tempFolder + L"\\GLYD"));
    EXPECT_TRUE(Exists(dataFolder + L"\\gly.xml"));
    // The new set file holds its set tree.
    ComPtr<IStorage> storage;
    BOOL readOnly = FALSE;
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_TRUE(OpenCompoundFile(dataFolder + L"\\gly.set", storage.Put(), readOnly, FALSE));
    ComPtr<IStream> sets;
    EXPECT_TRUE(OpenStorageStream(L"sets", storage.Get(), sets.Put(), TRUE));
    sets.Reset();
    storage.Reset();
    CoUninitialize();
    EXPECT_EQ(Messages(), L"");
}

TEST_F(GlyProcessTest, ControlMessagesFromAnotherProcess)
{
    HANDLE process = Start(L"-m");
    HWND window = WaitForMainWindow(process);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window));  // started minimised

    EXPECT_EQ(Send(window, WM_PLUGIN_COMMAND, kProtocolVersion, 0), 5);
    EXPECT_EQ(Send(window, WM_PLUGIN_COMMAND, kWantsFolder, 0), 257);

    std::string folder = Ansi(root);
    std::string missing = Ansi(root + L"\\no such folder");
    struct Refused {
        const char* what;
        ULONG_PTR kind;
        std::string bytes;
    };
    const Refused refused[] = {
        {"another kind", 2, folder + '\0'},
        {"no NUL within the length", 1, folder},
        {"empty block", 1, std::string()},
        {"folder that does not exist", 1, missing + '\0'},
        {"wildcard", 1, Ansi(root.substr(0, 3)) + "*" + '\0'},
    };
    for (const Refused& r : refused) {
        EXPECT_EQ(SendFolder(window, r.kind, r.bytes.data(), static_cast<DWORD>(r.bytes.size())), TRUE) << r.what;
        EXPECT_EQ(Send(window, WM_PLUGIN_COMMAND, kWantsFolder, 0), 257) << r.what;
    }
    // A pointer from another process is never read.
    static const char here[] = "C:\\";
    EXPECT_EQ(Send(window, WM_PLUGIN_COMMAND, kSetFolder, reinterpret_cast<LPARAM>(here)), 0);
    EXPECT_EQ(Send(window, WM_PLUGIN_COMMAND, kSetFolder, 0x10), 0);
    EXPECT_EQ(Send(window, WM_PLUGIN_COMMAND, kWantsFolder, 0), 257);
    EXPECT_EQ(Send(window, WM_PLUGIN_COMMAND, 99, 0), 0);

    // Bytes after the terminator are not part of the path.
    std::string withTail = folder + '\0' + "tail";
    EXPECT_EQ(SendFolder(window, 1, withTail.data(), static_cast<DWORD>(withTail.size())), TRUE);
    EXPECT_EQ(Send(window, WM_PLUGIN_COMMAND, kWantsFolder, 0), 256);

    // "QueryCancelAutoPlay" is answered 1.
    EXPECT_EQ(Send(window, RegisterWindowMessageW(L"QueryCancelAutoPlay"), 0, 0), 1);

    // The instance message with 1, 0 brings the hidden window back; with 0 it closes the program.
    UINT instance = RegisterWindowMessageW(L"GLY_instance_message");
    EXPECT_EQ(Send(window, instance, 1, 0), 0);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(Send(window, instance, 0, 0), 0);
    EXPECT_EQ(WaitForExit(process), 0);

    // The folder was saved with the settings.
    std::string settings = ReadBytes(dataFolder + L"\\gly.xml");
    EXPECT_NE(settings.find("AutoSearchFolder"), std::string::npos) << settings;
    EXPECT_EQ(Messages(), L"");
}

TEST_F(GlyProcessTest, SecondInstanceHandsOverAndEnds)
{
    HANDLE first = Start();
    HWND window = WaitForMainWindow(first);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(window));

    // Without arguments: the running window is restored, and the second start ends at once.
    HANDLE second = Start();
    EXPECT_EQ(WaitForExit(second), 0);
    for (int i = 0; i < 100 && IsIconic(window); ++i)
        Sleep(50);
    EXPECT_FALSE(IsIconic(window));

    // With /p the running window is asked to start its server and is not brought forward.
    ShowWindow(window, SW_MINIMIZE);
    HANDLE third = Start(L"/p");
    EXPECT_EQ(WaitForExit(third), 0);
    EXPECT_EQ(Send(window, WM_PLUGIN_COMMAND, kProtocolVersion, 0), 5);  // the posted request is handled by now
    EXPECT_TRUE(IsIconic(window));

    EXPECT_EQ(WaitForExit(first, 0), -1);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(first), 0);
}

namespace {

// A top-level window of the test that hears the instance message.
struct InstanceListener {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == instanceMessage) {
            heard = true;
            heardWParam = wParam;
            heardLParam = lParam;
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    static inline UINT instanceMessage = 0;
    static inline bool heard = false;
    static inline WPARAM heardWParam = 0;
    static inline LPARAM heardLParam = 0;
};

}  // namespace

TEST_F(GlyProcessTest, SecondInstanceWithoutAWindowBroadcastsTheInstanceMessage)
{
    InstanceListener::instanceMessage = RegisterWindowMessageW(L"GLY_instance_message");
    InstanceListener::heard = false;
    WNDCLASSW wc{};
    wc.lpfnWndProc = InstanceListener::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"gly_test_instance_listener";
    RegisterClassW(&wc);
    HWND listener = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(listener, nullptr);

    // The test plays the first instance that has not made its window yet.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, L"FirstGLYApp");
    ASSERT_NE(mutex, nullptr);
    ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "a gly.exe is running";
    HANDLE second = Start();
    EXPECT_EQ(WaitForExit(second), 0);
    DWORD start = GetTickCount();
    while (!InstanceListener::heard && GetTickCount() - start < 10000) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(20);
    }
    EXPECT_TRUE(InstanceListener::heard);
    EXPECT_EQ(InstanceListener::heardWParam, 1u);
    EXPECT_EQ(InstanceListener::heardLParam, 0);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    DestroyWindow(listener);
    // Nothing of the data folder was touched by the second instance.
    EXPECT_FALSE(Exists(dataFolder + L"\\gly.xml"));
    EXPECT_FALSE(Exists(dataFolder + L"\\plugin_session.log"));
}

TEST_F(GlyProcessTest, EndOfSessionRunsTheClosingWorkOnceAndTheWindowStillCloses)
{
    HANDLE process = Start();
    HWND window = WaitForMainWindow(process);
    ASSERT_NE(window, nullptr);

    // Being asked is not the end: nothing is closed yet.
    EXPECT_EQ(Send(window, WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_TRUE(Exists(tempFolder + L"\\GLYD"));
    // The end of the session runs the closing work and saves the settings.
    Send(window, WM_ENDSESSION, TRUE, 0);
    EXPECT_FALSE(Exists(tempFolder + L"\\GLYD"));
    EXPECT_TRUE(Exists(dataFolder + L"\\gly.xml"));
    // A later close still closes.
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(process), 0);
}

TEST_F(GlyProcessTest, SetFilesThatDoNotOpenAreNeverWrittenOver)
{
    // The stored set file is locked by another program, and the default one is damaged.
    std::wstring locked = root + L"\\locked.set";
    ASSERT_TRUE(WriteBytes(locked, "not yet a compound file"));
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const std::string damaged = "this is no compound file";
    ASSERT_TRUE(WriteBytes(dataFolder + L"\\gly.set", damaged));
    PresetSettings(dataFolder, [&](CAppSettingXML& s) { s.SetString(L"exit_value", L"setfile", locked); });

    HANDLE process = Start();
    HWND window = WaitForMainWindow(process);
    ASSERT_NE(window, nullptr);  // it runs without a set file
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(process), 0);
    CloseHandle(holder);

    EXPECT_EQ(ReadBytes(locked), "not yet a compound file");
    EXPECT_EQ(ReadBytes(dataFolder + L"\\gly.set"), damaged);
    std::wstring boxes = Messages();
    EXPECT_NE(boxes.find(locked), std::wstring::npos) << "the user is told which file";
    EXPECT_NE(boxes.find(L"without a set file"), std::wstring::npos) << std::string(boxes.begin(), boxes.end());
}

TEST_F(GlyProcessTest, AStoredSetFileThatIsGoneFallsBackToTheDefault)
{
    std::wstring gone = root + L"\\missing folder\\gone.set";
    PresetSettings(dataFolder, [&](CAppSettingXML& s) { s.SetString(L"exit_value", L"setfile", gone); });
    HANDLE process = Start();
    HWND window = WaitForMainWindow(process);
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(process), 0);
    EXPECT_TRUE(Exists(dataFolder + L"\\gly.set"));
    EXPECT_FALSE(Exists(gone));
    std::string settings = ReadBytes(dataFolder + L"\\gly.xml");
    EXPECT_NE(settings.find("gly.set"), std::string::npos) << "the default file is in the recent list";
}

TEST_F(GlyProcessTest, MissingResourceLibraryStopsTheStartWithAMessage)
{
    std::wstring lonely = root + L"\\alone";
    ASSERT_TRUE(CreateDirectoryW(lonely.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(exe.c_str(), (lonely + L"\\gly.exe").c_str(), FALSE));
    HANDLE process = Start(L"", lonely + L"\\gly.exe");
    EXPECT_NE(WaitForExit(process), -1);
    EXPECT_NE(Messages().find(L"Cannot find locale resource file."), std::wstring::npos);
    EXPECT_FALSE(Exists(dataFolder + L"\\gly.xml"));
}

namespace {

// A client of the running program's activation pipe. Another test's server may hold the name for
// a while: its server is passed over, and the program is asked again for a server of its own
// (a request while one runs changes nothing).
HANDLE ConnectToServerOf(HANDLE process, HWND window, DWORD bound = 60000)
{
    DWORD pid = GetProcessId(process);
    DWORD start = GetTickCount();
    DWORD lastAsked = start;
    while (GetTickCount() - start < bound) {
        if (GetTickCount() - lastAsked > 2000) {
            PostMessageW(window, WM_PLUGIN_COMMAND, 2, 0);
            lastAsked = GetTickCount();
        }
        HANDLE pipe = CreateFileW(L"\\\\.\\pipe\\pipe_morvandel_gly", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        if (pipe != INVALID_HANDLE_VALUE) {
            ULONG server = 0;
            if (!GetNamedPipeServerProcessId(pipe, &server) || server == pid) {
                DWORD mode = PIPE_READMODE_MESSAGE;
                SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
                return pipe;
            }
            CloseHandle(pipe);
        } else if (GetLastError() == ERROR_PIPE_BUSY) {
            WaitNamedPipeW(L"\\\\.\\pipe\\pipe_morvandel_gly", 200);
            continue;
        }
        Sleep(50);
    }
    return INVALID_HANDLE_VALUE;
}

bool WriteText(HANDLE pipe, const std::wstring& text)
{
    DWORD written = 0;
    return WriteFile(pipe, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
}

const std::wstring kEnd = L"*\n\n\t*";

// Every message up to and including the end marker.
std::vector<std::wstring> ReadAnswers(HANDLE pipe)
{
    std::vector<std::wstring> messages;
    std::vector<wchar_t> buffer(8192);
    DWORD read = 0;
    while (ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), &read, nullptr)) {
        messages.emplace_back(buffer.data(), read / sizeof(wchar_t));
        if (messages.back() == kEnd)
            break;
    }
    return messages;
}

}  // namespace

TEST_F(GlyProcessTest, EachStartRequestServesOneWholeExchange)
{
    HANDLE process = Start(L"-m");
    HWND window = WaitForMainWindow(process);
    ASSERT_NE(window, nullptr);

    for (int round = 0; round < 2; ++round) {
        if (round == 0) {
            // A second request while the server runs is answered the same.
            EXPECT_EQ(Send(window, WM_PLUGIN_COMMAND, kStartServer, 0), 0);
            EXPECT_EQ(Send(window, WM_PLUGIN_COMMAND, kStartServer, 0), 0);
        } else {
            // The instance message with 1 and a non-zero second parameter asks for the server too.
            EXPECT_EQ(Send(window, RegisterWindowMessageW(L"GLY_instance_message"), 1, 1), 0);
        }
        HANDLE pipe = ConnectToServerOf(process, window);
        ASSERT_NE(pipe, INVALID_HANDLE_VALUE) << "round " << round;
        std::wstring name = L"NoSuchFont-Round" + std::to_wstring(round);
        EXPECT_TRUE(WriteText(pipe, name));
        EXPECT_TRUE(WriteText(pipe, kEnd));
        std::vector<std::wstring> answers = ReadAnswers(pipe);
        CloseHandle(pipe);
        ASSERT_FALSE(answers.empty());
        EXPECT_EQ(answers.back(), kEnd);
        // The last status of the font says it was not found (12).
        std::wstring last;
        for (const std::wstring& a : answers)
            if (a.rfind(name + L"\n\t", 0) == 0)
                last = a;
        EXPECT_EQ(last.substr(0, name.size() + 4), name + L"\n\t12") << "round " << round;
        EXPECT_EQ(Send(window, WM_PLUGIN_COMMAND, kProtocolVersion, 0), 5);
    }

    // The session log holds both exchanges, in UTF-16.
    std::string raw = ReadBytes(dataFolder + L"\\plugin_session.log");
    ASSERT_GE(raw.size(), 2u);
    EXPECT_EQ(raw.substr(0, 2), "\xFF\xFE");
    std::wstring log = ReadUtf16(dataFolder + L"\\plugin_session.log");
    EXPECT_NE(log.find(L"NoSuchFont-Round0"), std::wstring::npos);
    EXPECT_NE(log.find(L"NoSuchFont-Round1"), std::wstring::npos);

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(process), 0);
}

TEST_F(GlyProcessTest, ClosingInTheMiddleOfAnExchangeStopsTheServer)
{
    HANDLE process = Start(L"/p");  // a plug-in start asks for the server itself
    HWND window = WaitForMainWindow(process);
    ASSERT_NE(window, nullptr);
    HANDLE pipe = ConnectToServerOf(process, window);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteText(pipe, L"HalfwayFont"));  // and no end marker: the server waits for more
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(process), 0);
    CloseHandle(pipe);
    EXPECT_FALSE(Exists(tempFolder + L"\\GLYD"));
}

TEST_F(GlyProcessTest, OlderIniSettingsAreImportedOnce)
{
    std::wstring ini = dataFolder + L"\\gly.ini";
    ASSERT_TRUE(WriteBytes(ini, "[exit_value]\r\nsampletext=From the old file\r\n"));
    for (int start = 0; start < 2; ++start) {
        HANDLE process = Start(L"-m");
        HWND window = WaitForMainWindow(process);
        ASSERT_NE(window, nullptr);
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForExit(process), 0);
        // The second start finds gly.xml and leaves it alone.
        ASSERT_TRUE(WriteBytes(ini, "[exit_value]\r\nsampletext=Changed later\r\n"));
    }
    std::string settings = ReadBytes(dataFolder + L"\\gly.xml");
    EXPECT_NE(settings.find("From the old file"), std::string::npos) << settings;
    EXPECT_EQ(settings.find("Changed later"), std::string::npos);
    EXPECT_EQ(ReadBytes(ini), "[exit_value]\r\nsampletext=Changed later\r\n");
}

TEST_F(GlyProcessTest, AnUnreadableSetTreeIsKeptInABackupBeforeANewOneStarts)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        ComPtr<IStorage> storage;
        ASSERT_TRUE(CreateCompoundFile(dataFolder + L"\\gly.set", storage.Put()));
        for (const wchar_t* name : {L"sets", L"1"}) {
            ComPtr<IStream> stream;
            ASSERT_TRUE(CreateStorageStream(name, storage.Get(), stream.Put()));
            const char garbage[] = "<not xml";
            ULONG written = 0;
            stream->Write(garbage, sizeof garbage - 1, &written);
        }
        storage->Commit(STGC_DEFAULT);
    }
    CoUninitialize();

    HANDLE process = Start(L"-m");
    HWND window = WaitForMainWindow(process);
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(process), 0);

    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dataFolder + L"\\gly*.set.bak").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE) << "no backup of the old file";
    FindClose(find);
    EXPECT_NE(Messages().find(found.cFileName), std::wstring::npos) << "the user is told where the copy is";
}
