// The activation server on the real pipe, with a client on another thread.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "activation/app_state.h"
#include "activation/pipe_protocol.h"
#include "activation/pipe_server.h"
#include "core/font_arrays.h"
#include "core/loaded_fonts.h"
#include "core/resource_strings.h"
#include "core/sfnt_reader.h"
#include "storage/app_setting_xml.h"
#include "storage/com_ptr.h"
#include "storage/font_files_xml.h"
#include "storage/font_record_format.h"
#include "storage/set_activation.h"
#include "storage/set_file.h"
#include "storage/storage_messages.h"
#include "tests/common/test_support.h"

namespace {

using namespace glypipe;

class RecordingLog : public IPipeSessionLog {
public:
    void Write(const std::wstring& line) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        lines.push_back(line);
    }
    void WriteTimestamped(const std::wstring& line) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        stamped.push_back(line);
    }
    std::mutex mutex;
    std::vector<std::wstring> lines;
    std::vector<std::wstring> stamped;
};

// What one client saw.
struct ClientResult {
    bool connected = false;
    std::vector<std::wstring> messages;  // in arrival order, the end marker included
    DWORD readError = 0;                  // the error that ended reading, 0 after the end marker
};

HANDLE ConnectClient()
{
    for (int attempt = 0; attempt < 500; ++attempt) {
        HANDLE pipe = CreateFileW(kPipeName, GENERIC_READ | GENERIC_WRITE | READ_CONTROL, 0, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        if (pipe != INVALID_HANDLE_VALUE) {
            DWORD mode = PIPE_READMODE_MESSAGE;
            SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
            return pipe;
        }
        if (GetLastError() == ERROR_PIPE_BUSY)
            WaitNamedPipeW(kPipeName, 100);
        else
            Sleep(20);
    }
    return INVALID_HANDLE_VALUE;
}

bool SendMessageText(HANDLE pipe, const std::wstring& text)
{
    DWORD written = 0;
    return WriteFile(pipe, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr) &&
           written == text.size() * sizeof(wchar_t);
}

void ReadUntilEnd(HANDLE pipe, ClientResult& result)
{
    std::vector<wchar_t> buffer(kPipeBufferBytes);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), &read, nullptr)) {
            result.readError = GetLastError();
            return;
        }
        std::wstring message(buffer.data(), read / sizeof(wchar_t));
        result.messages.push_back(message);
        if (message == kEndMarker)
            return;
    }
}

// A whole exchange: the messages, the end marker, then every answer.
ClientResult RunClient(const std::vector<std::wstring>& messages)
{
    ClientResult result;
    HANDLE pipe = ConnectClient();
    if (pipe == INVALID_HANDLE_VALUE)
        return result;
    result.connected = true;
    for (const std::wstring& message : messages)
        SendMessageText(pipe, message);
    SendMessageText(pipe, std::wstring(kEndMarker));
    ReadUntilEnd(pipe, result);
    CloseHandle(pipe);
    return result;
}

// The owner window's completions, and what it was told as the set tree's window.
std::vector<std::pair<WPARAM, LPARAM>> g_done;
std::vector<std::pair<CWordArray, LPARAM>> g_setsActivated;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_WORKER_DONE) {
        g_done.emplace_back(wParam, lParam);
        return 0;
    }
    if (message == WM_SET_FONTS_ACTIVATED && wParam) {
        g_setsActivated.emplace_back(reinterpret_cast<CPipeFoundItemsGroupedBySet*>(wParam)->idPath, lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class PipeServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The pipe name is one per machine: no other test process may serve or use it meanwhile.
        pipeLock_ = CreateMutexW(nullptr, FALSE, L"gly_tests_gly_exe_lock");
        ASSERT_NE(pipeLock_, nullptr);
        DWORD waited = WaitForSingleObject(pipeLock_, 240000);
        ASSERT_TRUE(waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) << "another test kept the pipe";
        pipeLocked_ = true;
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        resources_ = gly_test::LoadLocaleResources();
        SetResourceModule(resources_);
        SetStorageMessageSink([](const std::wstring&, UINT) { return IDOK; });
        folder = gly_test::MakeTempFolder(L"gly_pipe");

        {
            std::lock_guard<std::recursive_mutex> settings(AppSettingsMutex());
            g_appSettings.SetDataFolder(folder);
            g_appSettings.Load();
            g_appSettings.SetString(L"general", L"AutoSearchFolder", L"");
        }
        SetPipeSessionLog(&log);
        SetFontChangeBroadcastHook([this] { ++broadcasts; });
        PipeServerTimings timings;
        timings.writeTimeoutMs = 1500;
        SetPipeServerTimings(timings);

        WNDCLASSW wc{};
        wc.lpfnWndProc = OwnerProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"GlyPipeTestOwner";
        RegisterClassW(&wc);
        owner = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(owner, nullptr);
        g_done.clear();
        g_setsActivated.clear();
        // State that other tests of this program may have left behind.
        SetShownSetDocument(nullptr);
        SetSetFontsListWindow(nullptr);
        SetSetTreeWindow(nullptr);
        GetShownSetPath().clear();
        std::lock_guard<std::recursive_mutex> lock(GLYLoadedFontsMutex());
        GetGLYLoadedFonts().clear();
    }

    void TearDown() override
    {
        StopPipeServer(&params);
        for (const std::wstring& file : loadedFiles)
            RemoveFontResourceExW(file.c_str(), 0, nullptr);
        {
            std::lock_guard<std::recursive_mutex> lock(GLYLoadedFontsMutex());
            GetGLYLoadedFonts().clear();
        }
        ClearAppSetFile();
        SetSetTreeWindow(nullptr);
        tree_.reset();
        if (storage_)
            storage_->Release();
        storage_ = nullptr;
        DestroyWindow(owner);
        SetPipeSessionLog(nullptr);
        SetFontChangeBroadcastHook(nullptr);
        SetPipeServerTimings(PipeServerTimings());
        {
            std::lock_guard<std::recursive_mutex> settings(AppSettingsMutex());
            g_appSettings.Close();
        }
        gly_test::RemoveTree(folder);
        SetStorageMessageSink(nullptr);
        SetResourceModule(nullptr);
        if (resources_)
            FreeLibrary(resources_);
        CoUninitialize();
        if (pipeLocked_)
            ReleaseMutex(pipeLock_);
        if (pipeLock_)
            CloseHandle(pipeLock_);
    }

    // Runs the message loop until the server reports its end (or a minute has passed).
    bool WaitForServerEnd()
    {
        const ULONGLONG until = GetTickCount64() + 60000;
        while (g_done.empty() && GetTickCount64() < until) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        return !g_done.empty();
    }

    // Serves one exchange of `client` and returns what the client saw; the server's result in `result`.
    ClientResult Serve(const std::vector<std::wstring>& messages, WPARAM* result = nullptr)
    {
        EXPECT_TRUE(StartPipeServer(params, owner, &stop));
        ClientResult seen;
        std::thread client([&] { seen = RunClient(messages); });
        const bool ended = WaitForServerEnd();
        client.join();
        EXPECT_TRUE(ended);
        if (ended) {
            EXPECT_EQ(g_done.front().second, kWorkerPipeServer);
            if (result)
                *result = g_done.front().first;
        }
        StopWorkerThread(&params);
        return seen;
    }

    static std::wstring Copy(const wchar_t* fixture, const std::wstring& to)
    {
        const std::wstring from = std::wstring(GLY_FIXTURE_DIR) + L"\\" + fixture;
        EXPECT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE)) << "fixture " << std::string(from.begin(), from.end());
        return to;
    }

    static CFontItemInfo ReadRecord(const std::wstring& path, int face = 0)
    {
        CFontItemArray list;
        const bool collection = path.size() > 4 && _wcsicmp(path.c_str() + path.size() - 4, L".ttc") == 0;
        EXPECT_TRUE(collection ? ReadTtcFile(path, path, list) : ReadSfntFile(path, path, list));
        EXPECT_GT(list.GetSize(), face);
        return list.GetSize() > face ? list[static_cast<size_t>(face)] : CFontItemInfo();
    }

    // A record of the font at `path` whose names say `family` / `postScript` instead.
    static CFontItemInfo Renamed(CFontItemInfo record, const std::wstring& path, const std::wstring& family,
                                 const std::wstring& postScript)
    {
        record.path = path;
        record.storedPath.clear();
        record.baseFolder.clear();
        for (CFontStrings& names : record.names) {
            names.strings[NameFamily] = family;
            names.strings[NamePostScript] = postScript;
            names.strings[NameFull] = family + L" Regular";
        }
        return record;
    }

    // Creates the set file with the sets and records given, and makes it the open set file.
    struct SetContent {
        std::wstring name;
        CWordArray parent;
        std::wstring sourceFolder;
        std::vector<CFontItemInfo> records;
        CWordArray path;  // filled in
    };
    void MakeSetFile(std::vector<SetContent>& sets)
    {
        ASSERT_TRUE(CreateCompoundFile(folder + L"\\test.set", &storage_));
        tree_ = std::make_unique<CFontFilesXML>();
        ASSERT_TRUE(tree_->OpenOrCreate(kSetsStreamName, storage_, TRUE, FALSE));
        for (SetContent& content : sets) {
            content.path = content.parent;
            ASSERT_NE(tree_->CreateNode(content.name, content.path), 0);
            tree_->SetNodeSourcePath(content.path, content.sourceFolder);
            if (content.records.empty())
                continue;
            std::wstring stream;
            ASSERT_TRUE(CFontFilesXML::MakeSetStreamName(content.path, stream));
            CFontFilesXML set;
            ASSERT_TRUE(set.OpenOrCreate(stream, storage_, TRUE, FALSE));
            for (CFontItemInfo& record : content.records)
                ASSERT_TRUE(set.AppendFontRecord(record, content.sourceFolder, nullptr, TRUE));
            ASSERT_TRUE(set.SaveIfModified());
        }
        ASSERT_TRUE(tree_->SaveIfModified());
        SetAppSetFile(folder + L"\\test.set", storage_, tree_.get());
    }

    void SetSearchFolder(const std::wstring& path)
    {
        std::lock_guard<std::recursive_mutex> settings(AppSettingsMutex());
        g_appSettings.SetString(L"general", L"AutoSearchFolder", path);
    }

    // The statuses each name received, in order; progress lines counted apart.
    struct Seen {
        std::map<std::wstring, std::vector<int>> statuses;
        int progressLines = 0;
        bool endMarkerLast = false;
        std::map<std::wstring, std::wstring> activatedFiles;  // family -> file of a status 14
    };
    static Seen Sort(const ClientResult& result)
    {
        Seen seen;
        for (const std::wstring& message : result.messages) {
            switch (ClassifyServerMessage(message)) {
            case ServerMessageKind::Progress:
                ++seen.progressLines;
                break;
            case ServerMessageKind::Status: {
                StatusLine line;
                ParseStatusLine(message, line);
                seen.statuses[std::wstring(line.name)].push_back(line.status);
                if (line.status == kStatusActivated)
                    seen.activatedFiles[std::wstring(line.family)] = std::wstring(line.file);
                break;
            }
            default:
                break;
            }
        }
        seen.endMarkerLast = !result.messages.empty() && result.messages.back() == kEndMarker;
        return seen;
    }

    static std::string Dump(const ClientResult& result)
    {
        std::string text = "\nmessages:";
        for (const std::wstring& message : result.messages) {
            text += "\n  ";
            for (wchar_t c : message)
                text += c == L'\n' ? '|' : c == L'\t' ? ' ' : static_cast<char>(c < 128 ? c : '?');
        }
        return text;
    }

    std::wstring folder;
    HWND owner = nullptr;
    PipeServerParams params;
    WorkerStopFlag stop{FALSE};
    RecordingLog log;
    std::atomic<int> broadcasts{0};
    std::vector<std::wstring> loadedFiles;

private:
    HMODULE resources_ = nullptr;
    HANDLE pipeLock_ = nullptr;
    bool pipeLocked_ = false;
    IStorage* storage_ = nullptr;
    std::unique_ptr<CFontFilesXML> tree_;
};

// The table of requested names: where each font is and the statuses the client must see.
TEST_F(PipeServerTest, ReportsEveryStatusChangeAndLoadsWhatItFinds)
{
    const std::wstring setFolder = folder + L"\\setfonts";
    const std::wstring searchFolder = folder + L"\\search";
    CreateDirectoryW(setFolder.c_str(), nullptr);
    CreateDirectoryW(searchFolder.c_str(), nullptr);
    CreateDirectoryW((searchFolder + L"\\sub").c_str(), nullptr);

    const std::wstring solo = Copy(L"sets\\solo.ttf", setFolder + L"\\solo.ttf");
    const std::wstring trio = Copy(L"sets\\trio.ttc", setFolder + L"\\trio.ttc");
    Copy(L"sfnt\\basic.ttf", searchFolder + L"\\basic.ttf");
    Copy(L"sfnt\\cff.otf", searchFolder + L"\\sub\\outline.otf");
    const std::wstring broken = setFolder + L"\\broken.ttf";
    {
        HANDLE h = CreateFileW(broken.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(h, "not a font at all, only bytes", 29, &written, nullptr);
        CloseHandle(h);
    }
    const CFontItemInfo soloRecord = ReadRecord(solo);
    const CFontItemInfo basicRecord = ReadRecord(searchFolder + L"\\basic.ttf");

    std::vector<SetContent> sets(3);
    sets[0].name = L"Group";
    sets[0].sourceFolder = setFolder;
    sets[1].name = L"Fonts A";
    sets[1].parent = {1};
    sets[1].sourceFolder = setFolder;
    sets[1].records = {soloRecord, Renamed(soloRecord, broken, L"Gly Broken", L"GlyBroken-Regular"),
                       // the font of the search folder, listed with a file that no longer exists
                       Renamed(basicRecord, setFolder + L"\\gone.ttf", L"Gly Test", L"GlyTest-Regular")};
    sets[2].name = L"Fonts B";
    sets[2].sourceFolder = setFolder;
    sets[2].records = {ReadRecord(trio, 0), ReadRecord(trio, 1), ReadRecord(trio, 2)};
    MakeSetFile(sets);
    SetSearchFolder(searchFolder);
    SetSetTreeWindow(owner);

    WPARAM result = 0;
    const ClientResult client = Serve({L"\t\t\t\t\nZ:\\docs\\letter.indd", L"GlySolo-Regular", L"GlyTrio-Bold??",
                                       L"GlyOutline-Regular", L"GlyNowhere-Regular", L"GlySolo-Regular",
                                       L"GlyTest-Regular", L"GlyBroken-Regular"},
                                      &result);
    ASSERT_TRUE(client.connected);
    EXPECT_EQ(result, 1u);
    const Seen seen = Sort(client);
    EXPECT_TRUE(seen.endMarkerLast);
    EXPECT_GE(seen.progressLines, 1);

    const std::map<std::wstring, std::vector<int>> expected = {
        // twice: the first request takes the set's record, the second finds nothing more
        {L"GlySolo-Regular", {9, 9, 11, 14, 10, 12}},
        {L"GlyTrio-Bold??", {9, 11, 14}},
        {L"GlyOutline-Regular", {9, 10, 11, 14}},
        {L"GlyNowhere-Regular", {9, 10, 12}},
        {L"GlyTest-Regular", {9, 10, 11, 14}},
        {L"GlyBroken-Regular", {9, 11, 15, 10, 12}},
    };
    for (const auto& [name, statuses] : expected) {
        auto it = seen.statuses.find(name);
        ASSERT_NE(it, seen.statuses.end()) << std::string(name.begin(), name.end());
        EXPECT_EQ(it->second, statuses) << std::string(name.begin(), name.end()) << Dump(client);
    }
    EXPECT_EQ(seen.statuses.size(), expected.size());
    EXPECT_EQ(broadcasts.load(), 1);

    for (const auto& [family, file] : seen.activatedFiles)
        loadedFiles.push_back(file);
    EXPECT_EQ(seen.activatedFiles.at(L"Gly Solo"), solo);
    EXPECT_EQ(seen.activatedFiles.at(L"Gly Outline"), searchFolder + L"\\sub\\outline.otf");
    for (const wchar_t* family : {L"Gly Solo", L"Gly Trio", L"Gly Outline", L"Gly Test"})
        EXPECT_TRUE(gly_test::FaceIsLoaded(family)) << "not loaded: " << std::string(family, family + wcslen(family));

    // The session log: the document's line, then two or three lines per request.
    ASSERT_EQ(log.stamped.size(), 1u);
    EXPECT_EQ(log.stamped[0], L"Z:\\docs\\letter.indd");
    const std::wstring setHit = L"\t\t " + LoadResString(IDS_PIPE_LOG_FOUND_IN_SET) + L"Group->Fonts A,\t" + solo;
    const std::wstring folderHit = L"\t\t " + LoadResString(IDS_PIPE_LOG_FOUND_IN_FOLDER) + searchFolder + L"\\basic.ttf";
    ASSERT_GE(log.lines.size(), 3u);
    EXPECT_EQ(log.lines[0], L"\tPostScript Name: GlySolo-Regular,  Family Name: Gly Solo,  SubFamily: Regular");
    EXPECT_EQ(log.lines[1], setHit);
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), folderHit), log.lines.end());
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(),
                        L"\tPostScript Name: GlyNowhere-Regular,  Family Name: ,  SubFamily: "),
              log.lines.end());

    // The folder's fonts went into the program's loaded-font list; the set was marked active.
    {
        std::lock_guard<std::recursive_mutex> lock(GLYLoadedFontsMutex());
        EXPECT_EQ(GetGLYLoadedFonts().GetSize(), 2);
    }
    {
        CSetFileLock lock;
        EXPECT_TRUE(GetAppSetTree()->IsNodeActive(sets[1].path));
        EXPECT_TRUE(GetAppSetTree()->IsNodeActive(sets[2].path));
        EXPECT_FALSE(GetAppSetTree()->IsNodeActive(sets[0].path));
    }
    // The set tree heard of both sets, each with the number of its loaded records.
    ASSERT_EQ(g_setsActivated.size(), 2u);
    for (const auto& [path, count] : g_setsActivated)
        EXPECT_EQ(count, 1) << "set " << path.back();
}

TEST_F(PipeServerTest, EndMarkerAloneGetsTheEndMarkerAndNothingElse)
{
    std::vector<SetContent> sets(1);
    sets[0].name = L"Empty";
    sets[0].sourceFolder = folder;
    MakeSetFile(sets);
    WPARAM result = 0;
    const ClientResult client = Serve({}, &result);
    ASSERT_TRUE(client.connected);
    EXPECT_EQ(result, 1u);
    ASSERT_EQ(client.messages.size(), 1u);
    EXPECT_EQ(client.messages[0], kEndMarker);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(broadcasts.load(), 0);
}

TEST_F(PipeServerTest, EverythingFoundInTheSetsSendsNoProgressAndNoFolderStatus)
{
    const std::wstring solo = Copy(L"sets\\solo.ttf", folder + L"\\solo.ttf");
    std::vector<SetContent> sets(1);
    sets[0].name = L"Only";
    sets[0].sourceFolder = folder;
    sets[0].records = {ReadRecord(solo)};
    MakeSetFile(sets);
    SetSearchFolder(folder);
    const ClientResult client = Serve({L"GlySolo-Regular"});
    const Seen seen = Sort(client);
    loadedFiles.push_back(solo);
    EXPECT_EQ(seen.statuses.at(L"GlySolo-Regular"), (std::vector<int>{9, 11, 14}));
    EXPECT_EQ(seen.progressLines, 0);
    EXPECT_TRUE(seen.endMarkerLast);
    EXPECT_TRUE(gly_test::FaceIsLoaded(L"Gly Solo"));
}

// The load mark of a record found in a set reaches the set file (it is written once the client has
// its statuses), so the next exchange does not load the font again.
TEST_F(PipeServerTest, LoadMarkReachesTheSetFileAndTheFontIsNotLoadedTwice)
{
    const std::wstring solo = Copy(L"sets\\solo.ttf", folder + L"\\solo.ttf");
    const CFontItemInfo record = ReadRecord(solo);
    std::vector<SetContent> sets(1);
    sets[0].name = L"Only";
    sets[0].sourceFolder = folder;
    sets[0].records = {Renamed(record, folder + L"\\absent.ttf", L"Gly Absent", L"GlyAbsent-Regular"), record};
    MakeSetFile(sets);
    auto marks = [&] {
        std::vector<int> loaded;
        EXPECT_TRUE(ForEachFontRecord(GetAppSetStorage(), sets[0].path, [&](CFontItemInfo& r, int) {
            loaded.push_back(r.setLoaded);
            return true;
        }));
        return loaded;
    };

    Seen seen = Sort(Serve({L"GlySolo-Regular"}));
    loadedFiles.push_back(solo);
    EXPECT_EQ(seen.statuses.at(L"GlySolo-Regular"), (std::vector<int>{9, 11, 14}));
    EXPECT_EQ(marks(), (std::vector<int>{0, 1}));
    ASSERT_EQ(g_setsActivated.size(), 0u);  // no set tree window here
    {
        CSetFileLock lock;
        EXPECT_TRUE(GetAppSetTree()->IsNodeActive(sets[0].path));
    }

    g_done.clear();
    seen = Sort(Serve({L"GlySolo-Regular"}));
    EXPECT_EQ(seen.statuses.at(L"GlySolo-Regular"), (std::vector<int>{9, 11, 15, 10, 12}));
    EXPECT_EQ(marks(), (std::vector<int>{0, 1}));
}

TEST_F(PipeServerTest, WithoutSetFileEverythingGoesToTheFolderSearch)
{
    Copy(L"sfnt\\basic.ttf", folder + L"\\basic.ttf");
    const ClientResult client = Serve({L"*@&$*" + folder, L"GlyTest-Regular", L"Missing-One"});
    const Seen seen = Sort(client);
    loadedFiles.push_back(folder + L"\\basic.ttf");
    EXPECT_EQ(seen.statuses.at(L"GlyTest-Regular"), (std::vector<int>{9, 10, 11, 14}));
    EXPECT_EQ(seen.statuses.at(L"Missing-One"), (std::vector<int>{9, 10, 12}));
    // The folder sent by the client stays the search folder; one that does not exist is ignored.
    std::lock_guard<std::recursive_mutex> settings(AppSettingsMutex());
    EXPECT_EQ(g_appSettings.GetString(L"general", L"AutoSearchFolder"), folder);
}

TEST_F(PipeServerTest, MissingSearchFolderIsIgnored)
{
    SetSearchFolder(folder);
    Serve({L"*@&$*" + folder + L"\\nowhere", L"Missing-One"});
    std::lock_guard<std::recursive_mutex> settings(AppSettingsMutex());
    EXPECT_EQ(g_appSettings.GetString(L"general", L"AutoSearchFolder"), folder);
}

// Faults of the client: the exchange is dropped and the server listens again; the next client is
// served normally.
TEST_F(PipeServerTest, BadClientsAreDroppedAndTheNextClientIsServed)
{
    enum Fault { TooLong, DisconnectEarly, NeverReads };
    for (Fault fault : {TooLong, DisconnectEarly, NeverReads}) {
        SCOPED_TRACE(fault);
        g_done.clear();
        ASSERT_TRUE(StartPipeServer(params, owner, &stop));
        HANDLE bad = ConnectClient();
        ASSERT_NE(bad, INVALID_HANDLE_VALUE);
        if (fault == TooLong) {
            SendMessageText(bad, L"Font-One");
            EXPECT_TRUE(SendMessageText(bad, std::wstring(kMaxClientMessageChars + 1, L'x')));
            // The server has dropped the exchange: reading finds the pipe broken.
            ClientResult seen;
            ReadUntilEnd(bad, seen);
            EXPECT_TRUE(seen.messages.empty());
            EXPECT_NE(seen.readError, 0u);
            CloseHandle(bad);
        } else if (fault == DisconnectEarly) {
            SendMessageText(bad, L"Font-One");
            CloseHandle(bad);
        } else {
            // Enough long names that their lines fill the pipe's buffer; nothing is ever read.
            for (int i = 0; i < 40; ++i)
                SendMessageText(bad, L"Never-" + std::to_wstring(i) + std::wstring(1500, L'n'));
            SendMessageText(bad, std::wstring(kEndMarker));
        }
        // The next client gets a whole exchange of its own: its names only.
        const ClientResult next = RunClient({L"Font-Two"});
        EXPECT_TRUE(next.connected);
        const Seen seen = Sort(next);
        EXPECT_TRUE(seen.endMarkerLast);
        EXPECT_EQ(seen.statuses.size(), 1u);
        EXPECT_EQ(seen.statuses.count(L"Font-Two"), 1u);
        ASSERT_TRUE(WaitForServerEnd());
        EXPECT_EQ(g_done.front().first, 1u);
        StopWorkerThread(&params);
        if (fault == NeverReads)
            CloseHandle(bad);
    }
}

// A stop request ends a server that waits for a client without waiting for its next turn: with a
// turn of ten minutes this test would run into ctest's time-out otherwise.
TEST_F(PipeServerTest, StopWakesTheServerAtOnce)
{
    PipeServerTimings slow;
    slow.loopWaitMs = 600000;
    SetPipeServerTimings(slow);
    ASSERT_TRUE(StartPipeServer(params, owner, &stop));
    HANDLE client = ConnectClient();  // connected, so the server sits in its wait
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    SendMessageText(client, L"Font-One");
    Sleep(100);
    StopPipeServer(&params);
    EXPECT_EQ(params.thread.load(), nullptr);
    EXPECT_FALSE(stop.load());
    CloseHandle(client);
    // Stopped by its owner: no completion is posted.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    EXPECT_TRUE(g_done.empty());
}

// The end marker is not thrown away when the client reads late: the server waits for the client to
// close its end before it disconnects.
TEST_F(PipeServerTest, SlowReaderStillGetsEveryLineAndTheEndMarker)
{
    ASSERT_TRUE(StartPipeServer(params, owner, &stop));
    ClientResult seen;
    std::thread client([&] {
        HANDLE pipe = ConnectClient();
        if (pipe == INVALID_HANDLE_VALUE)
            return;
        seen.connected = true;
        SendMessageText(pipe, L"Late-Reader");
        SendMessageText(pipe, std::wstring(kEndMarker));
        Sleep(500);  // the exchange is complete long before this
        ReadUntilEnd(pipe, seen);
        CloseHandle(pipe);
    });
    ASSERT_TRUE(WaitForServerEnd());
    client.join();
    EXPECT_EQ(g_done.front().first, 1u);
    const Seen sorted = Sort(seen);
    EXPECT_TRUE(sorted.endMarkerLast) << Dump(seen);
    ASSERT_EQ(sorted.statuses.count(L"Late-Reader"), 1u);
    EXPECT_EQ(sorted.statuses.at(L"Late-Reader"), (std::vector<int>{9, 10, 12}));
}

TEST_F(PipeServerTest, DefaultSessionLogWritesUtf16Lines)
{
    SetPipeSessionLog(nullptr);
    const std::wstring path = folder + L"\\plugin_session.log";
    SetDefaultPipeSessionLogPath(path);
    GetPipeSessionLog().Write(L"\tPostScript Name: A");
    GetPipeSessionLog().WriteTimestamped(L"Z:\\doc.indd");
    SetDefaultPipeSessionLogPath(L"");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    wchar_t buffer[256] = {};
    DWORD read = 0;
    ReadFile(file, buffer, sizeof buffer - sizeof(wchar_t), &read, nullptr);
    CloseHandle(file);
    const std::wstring text(buffer, read / sizeof(wchar_t));
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text[0], L'\xFEFF');
    EXPECT_EQ(text.substr(1, 21), L"\tPostScript Name: A\r\n");
    EXPECT_EQ(text[22], L'[');
    EXPECT_NE(text.find(L"] Z:\\doc.indd\r\n"), std::wstring::npos);
}

// Only the current user may open the pipe.
TEST_F(PipeServerTest, PipeIsRestrictedToTheCurrentUser)
{
    ASSERT_TRUE(StartPipeServer(params, owner, &stop));
    HANDLE client = ConnectClient();
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(client, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_NE(dacl, nullptr);  // a null DACL would let everybody in
    EXPECT_EQ(dacl->AceCount, 1);
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, 0, &ace));
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    BYTE user[256];
    DWORD size = sizeof user;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, size, &size));
    CloseHandle(token);
    EXPECT_EQ(static_cast<ACE_HEADER*>(ace)->AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_TRUE(EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, reinterpret_cast<TOKEN_USER*>(user)->User.Sid));
    LocalFree(descriptor);
    // Where labels are kept, the pipe carries a low label so that lower-integrity hosts can write.
    PACL sacl = nullptr;
    descriptor = nullptr;
    if (GetSecurityInfo(client, SE_KERNEL_OBJECT, LABEL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, &sacl,
                        &descriptor) == ERROR_SUCCESS &&
        sacl && sacl->AceCount > 0) {
        void* label = nullptr;
        ASSERT_TRUE(GetAce(sacl, 0, &label));
        EXPECT_EQ(static_cast<ACE_HEADER*>(label)->AceType, SYSTEM_MANDATORY_LABEL_ACE_TYPE);
        EXPECT_EQ(static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(label)->Mask, static_cast<DWORD>(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP));
        PSID labelSid = &static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(label)->SidStart;
        EXPECT_EQ(*GetSidSubAuthority(labelSid, 0), static_cast<DWORD>(SECURITY_MANDATORY_LOW_RID));
    } else {
        std::printf("note: no mandatory label on the pipe here (Wine keeps none)\n");
    }
    if (descriptor)
        LocalFree(descriptor);
    SendMessageText(client, std::wstring(kEndMarker));
    ClientResult seen;
    ReadUntilEnd(client, seen);
    CloseHandle(client);
    ASSERT_TRUE(WaitForServerEnd());
}

}  // namespace
