// activate [FONTFILE]: builds set files of 1,000, 10,000 and 100,000 font records with the program's own
// writers, asks the activation server on its pipe for 50 names (25 that the sets hold, 25 that they do
// not) and prints the time from the client's first message to the end marker. The records that are
// asked for point at FONTFILE (a real font, so that they load); without it at a file that is no font,
// which only makes their loads fail.
#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "activation/app_state.h"
#include "activation/pipe_protocol.h"
#include "activation/pipe_server.h"
#include "core/font_record.h"
#include "core/loaded_fonts.h"
#include "storage/app_setting_xml.h"
#include "storage/font_files_xml.h"
#include "storage/set_activation.h"
#include "storage/set_file.h"
#include "storage/storage_messages.h"

namespace {

constexpr int kSetCount = 10;
constexpr int kAsked = 25;

class NullLog : public IPipeSessionLog {
public:
    void Write(const std::wstring&) override {}
    void WriteTimestamped(const std::wstring&) override {}
};

CFontItemInfo MakeRecord(int i, const std::wstring& file)
{
    CFontItemInfo record;
    const int set = record.names.Add(1033, 3, 1);
    CFontStrings& names = *record.names.GetAt(set);
    const std::wstring family = L"Bench Face " + std::to_wstring(i);
    names.strings[NameFamily] = family;
    names.strings[NameSubfamily] = L"Regular";
    names.strings[NameFull] = family + L" Regular";
    names.strings[NamePostScript] = L"BenchFace" + std::to_wstring(i) + L"-Regular";
    record.language = 1033;
    record.defaultNames = 0;
    record.kind = KindTrueType;
    record.path = file;
    return record;
}

void RemoveFolder(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name != L"." && name != L"..")
                DeleteFileW((path + L"\\" + name).c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

bool IsAsked(int i, int count)
{
    const int step = count / kAsked;
    return step > 0 && i % step == step / 2 && i / step < kAsked;
}

struct Run {
    double buildSeconds = 0;
    double exchangeSeconds = -1;
    int lines = 0;
    int activated = 0;
};

Run Measure(int count, const std::wstring& folder, const std::wstring& fontFile)
{
    Run run;
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring present = folder + L"\\present.ttf";
    if (fontFile.empty()) {
        HANDLE h = CreateFileW(present.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(h);
    } else {
        CopyFileW(fontFile.c_str(), present.c_str(), FALSE);
    }

    const auto buildStart = std::chrono::steady_clock::now();
    IStorage* storage = nullptr;
    if (!CreateCompoundFile(folder + L"\\bench.set", &storage))
        return run;
    auto tree = std::make_unique<CFontFilesXML>();
    tree->OpenOrCreate(kSetsStreamName, storage, TRUE, FALSE);
    for (int s = 0; s < kSetCount; ++s) {
        CWordArray path;
        tree->CreateNode(L"Set " + std::to_wstring(s), path);
        tree->SetNodeSourcePath(path, folder);
        std::wstring stream;
        CFontFilesXML::MakeSetStreamName(path, stream);
        CFontFilesXML set;
        set.OpenOrCreate(stream, storage, TRUE, FALSE);
        for (int i = s; i < count; i += kSetCount) {
            CFontItemInfo record = MakeRecord(i, IsAsked(i, count) ? present : folder + L"\\absent" + std::to_wstring(i) + L".ttf");
            set.AppendFontRecord(record, folder, nullptr, TRUE);
        }
        set.SaveIfModified();
    }
    tree->SaveIfModified();
    run.buildSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - buildStart).count();
    SetAppSetFile(folder + L"\\bench.set", storage, tree.get());

    std::vector<std::wstring> names;
    for (int i = 0; i < count && static_cast<int>(names.size()) < kAsked; ++i) {
        if (IsAsked(i, count))
            names.push_back(L"BenchFace" + std::to_wstring(i) + L"-Regular");
    }
    for (int k = 0; k < kAsked; ++k)
        names.push_back(L"NotInAnySet" + std::to_wstring(k) + L"-Regular");

    PipeServerParams params;
    WorkerStopFlag stop{FALSE};
    if (StartPipeServer(params, nullptr, &stop)) {
        HANDLE pipe = INVALID_HANDLE_VALUE;
        for (int attempt = 0; attempt < 500 && pipe == INVALID_HANDLE_VALUE; ++attempt) {
            pipe = CreateFileW(glypipe::kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (pipe == INVALID_HANDLE_VALUE)
                Sleep(10);
        }
        if (pipe != INVALID_HANDLE_VALUE) {
            DWORD mode = PIPE_READMODE_MESSAGE;
            SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
            const auto start = std::chrono::steady_clock::now();
            DWORD written = 0;
            for (const std::wstring& name : names)
                WriteFile(pipe, name.data(), static_cast<DWORD>(name.size() * 2), &written, nullptr);
            WriteFile(pipe, glypipe::kEndMarker.data(), static_cast<DWORD>(glypipe::kEndMarker.size() * 2), &written,
                      nullptr);
            std::vector<wchar_t> buffer(glypipe::kPipeBufferBytes);
            for (;;) {
                DWORD read = 0;
                if (!ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size() * 2), &read, nullptr))
                    break;
                std::wstring_view message(buffer.data(), read / 2);
                if (message == glypipe::kEndMarker) {
                    run.exchangeSeconds =
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                    break;
                }
                glypipe::StatusLine line;
                if (glypipe::ParseStatusLine(message, line)) {
                    ++run.lines;
                    if (line.status == glypipe::kStatusActivated)
                        ++run.activated;
                }
            }
            CloseHandle(pipe);
        }
        StopWorkerThread(&params);
    }
    if (!fontFile.empty()) {
        for (int k = 0; k < run.activated; ++k)
            RemoveFontResourceExW(present.c_str(), 0, nullptr);
    }
    ClearAppSetFile();
    tree.reset();
    storage->Release();
    RemoveFolder(folder);
    return run;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    SetStorageMessageSink([](const std::wstring&, UINT) { return IDOK; });
    SetFontChangeBroadcastHook([] {});
    NullLog log;
    SetPipeSessionLog(&log);
    const std::wstring fontFile = argc > 1 ? argv[1] : L"";

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring base = std::wstring(temp) + L"gly_bench_activate_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(base.c_str(), nullptr);
    g_appSettings.SetDataFolder(base);
    g_appSettings.Load();
    g_appSettings.SetString(L"general", L"AutoSearchFolder", L"");

    std::printf("records   sets  build(s)  first message to end marker(s)  status lines  activated\n");
    for (int count : {1000, 10000, 100000}) {
        const Run run = Measure(count, base + L"\\" + std::to_wstring(count), fontFile);
        std::printf("%7d  %5d  %8.2f  %30.3f  %12d  %9d\n", count, kSetCount, run.buildSeconds, run.exchangeSeconds,
                    run.lines, run.activated);
        std::fflush(stdout);
    }
    g_appSettings.Close();
    RemoveFolder(base);
    SetPipeSessionLog(nullptr);
    CoUninitialize();
    return 0;
}
