// set_records [COUNT] [FONT]: copies FONT (default: the small TrueType fixture) COUNT times (default
// 10000) into a scratch folder, adds the copies to a set of a new set file, adds them again (every face
// then a duplicate), and reads the set's records back into a font list. Prints records per second of
// each step; asserts nothing.
#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

#include "core/font_arrays.h"
#include "storage/com_ptr.h"
#include "storage/font_files_xml.h"
#include "storage/set_file.h"
#include "storage/set_font_adder.h"
#include "storage/set_records.h"

namespace {

template <class F>
double Seconds(F&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string ReadAll(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

bool WriteAll(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE;
    CloseHandle(file);
    return ok;
}

// Every UTF-16BE occurrence of `from` in the bytes replaced by `to` (of the same length).
void ReplaceName(std::string& bytes, const std::wstring& from, const std::wstring& to)
{
    std::string a, b;
    for (size_t i = 0; i < from.size(); ++i) {
        a += '\0';
        a += static_cast<char>(from[i]);
        b += '\0';
        b += static_cast<char>(to[i]);
    }
    for (size_t at = bytes.find(a); at != std::string::npos; at = bytes.find(a, at + b.size()))
        bytes.replace(at, b.size(), b);
}

void RemoveScratch(const std::wstring& folder, const CStringArray& names)
{
    for (const std::wstring& name : names)
        DeleteFileW((folder + L"\\" + name).c_str());
    DeleteFileW((folder + L"\\bench.set").c_str());
    RemoveDirectoryW(folder.c_str());
}

void Report(const wchar_t* step, int records, double seconds)
{
    wprintf(L"%-28ls %7d records  %8.3f s  %10.0f records/s\n", step, records, seconds,
            seconds > 0 ? records / seconds : 0.0);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int count = argc > 1 ? _wtoi(argv[1]) : 10000;
    const std::wstring font = argc > 2 ? argv[2] : std::wstring(GLY_FIXTURE_DIR L"\\sets\\solo.ttf");
    if (count <= 0 || GetFileAttributesW(font.c_str()) == INVALID_FILE_ATTRIBUTES) {
        fwprintf(stderr, L"usage: set_records [COUNT] [FONT]  (font %ls)\n", font.c_str());
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"gly_bench_set_records_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    CStringArray names;
    // The fixture's family "Gly Solo" becomes a name of its own per copy, in an order unlike the
    // files', so that the list's sorted inserts land all over the list as with real sets.
    const std::string original = ReadAll(font);
    const double copying = Seconds([&] {
        for (int i = 0; i < count; ++i) {
            wchar_t name[32];
            swprintf(name, 32, L"font%05d.ttf", i);
            names.push_back(name);
            wchar_t family[16];
            swprintf(family, 16, L"G%07u", (static_cast<unsigned>(i) * 7919u) % 10000000u);
            std::string bytes = original;
            ReplaceName(bytes, L"Gly Solo", family);
            WriteAll(folder + L"\\" + name, bytes);
        }
    });
    wprintf(L"copied %d files in %.3f s (not part of the figures)\n", count, copying);

    int result = 0;
    {
        ComPtr<IStorage> storage;
        if (!CreateCompoundFile(folder + L"\\bench.set", storage.Put())) {
            fwprintf(stderr, L"cannot create the set file\n");
            result = 1;
        } else {
            auto document = std::make_unique<CFontFilesXML>();
            document->OpenOrCreate(L"set1.xml", storage.Get(), TRUE, FALSE);
            int duplicates = 0, added = 0;
            double seconds = Seconds([&] { added = AddFontFiles(*document, folder, folder, names, duplicates); });
            Report(L"add to an empty set", added - duplicates, seconds);

            seconds = Seconds([&] { added = AddFontFiles(*document, folder, folder, names, duplicates); });
            Report(L"add again (all duplicates)", duplicates, seconds);

            // Read back from the file, as the set fonts list does.
            document = std::make_unique<CFontFilesXML>();
            int read = 0;
            CFontItemArray list;
            seconds = Seconds([&] { document->OpenOrCreate(L"set1.xml", storage.Get(), FALSE, FALSE); });
            Report(L"open the set", static_cast<int>(document->CountRecords()), seconds);
            seconds = Seconds([&] { ReadSetRecords(*document, list, read); });
            Report(L"read the set into a list", read, seconds);
            document.reset();
        }
    }
    RemoveScratch(folder, names);
    CoUninitialize();
    return result;
}
