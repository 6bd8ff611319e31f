// scan_fonts FOLDER [--list]: reads every font file under FOLDER as a folder scan does and prints what it
// cost (median of several passes over a warm cache) next to the cost of merely opening and closing the same
// files. With --list, one tab-separated line per face instead of nothing but the figures.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/bitmap_reader.h"
#include "core/font_arrays.h"
#include "core/font_file.h"
#include "core/sfnt_reader.h"
#include "core/type1_reader.h"

namespace {

enum class FileKind { Sfnt, Collection, Fon, Fnt, Pfm };

struct FontFileEntry {
    std::wstring path;
    std::wstring folder;
    std::wstring name;
    FileKind kind;
    uint64_t size;
};

bool KindOfExtension(const std::wstring& name, FileKind& out)
{
    const size_t dot = name.find_last_of(L'.');
    if (dot == std::wstring::npos)
        return false;
    std::wstring ext = name.substr(dot + 1);
    for (wchar_t& c : ext)
        c = static_cast<wchar_t>(towlower(c));
    if (ext == L"ttf" || ext == L"otf")
        out = FileKind::Sfnt;
    else if (ext == L"ttc")
        out = FileKind::Collection;
    else if (ext == L"fon")
        out = FileKind::Fon;
    else if (ext == L"fnt")
        out = FileKind::Fnt;
    else if (ext == L"pfm")
        out = FileKind::Pfm;
    else
        return false;
    return true;
}

void Collect(const std::wstring& folder, std::vector<FontFileEntry>& out)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE)
        return;
    std::vector<std::wstring> subfolders;
    do {
        const std::wstring name = data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != L"." && name != L"..")
                subfolders.push_back(folder + L"\\" + name);
            continue;
        }
        FileKind kind;
        if (KindOfExtension(name, kind))
            out.push_back({folder + L"\\" + name, folder, name, kind, uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow});
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(subfolders.begin(), subfolders.end());
    for (const std::wstring& sub : subfolders)
        Collect(sub, out);
}

void ReadOne(const FontFileEntry& f, CFontItemArray& fonts)
{
    switch (f.kind) {
    case FileKind::Sfnt: ReadSfntFile(f.path, L"", fonts); break;
    case FileKind::Collection: ReadTtcFile(f.path, L"", fonts); break;
    case FileKind::Fon: {
        BitmapFontReader reader;
        reader.ReadFonFile(f.path, L"", fonts);
        break;
    }
    case FileKind::Fnt: {
        BitmapFontReader reader;
        reader.ReadFntFile(f.path, L"", &fonts);
        break;
    }
    case FileKind::Pfm: {
        Type1FontReader reader;
        reader.ReadType1FontFile(f.folder, f.name, fonts);
        break;
    }
    }
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

template <class F>
double Seconds(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Print(const std::wstring& text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    fwrite(out.data(), 1, out.size(), stdout);
}

std::wstring Cell(std::wstring s)
{
    for (wchar_t& c : s) {
        if (c == L'\t' || c == L'\n' || c == L'\r')
            c = L' ';
    }
    return s;
}

// The offsets of the faces that a collection reader reads, in order (offset 0 for a plain sfnt file).
std::vector<uint32_t> FaceOffsets(FontFile& file, FileKind kind)
{
    if (kind == FileKind::Sfnt)
        return {0};
    std::vector<uint32_t> offsets;
    const ByteReader header = file.Read(0, 12);
    const uint64_t count = std::min<uint64_t>(header.U32BEAt(8), file.Size() / 4);
    const ByteReader table = file.Read(12, count * 4);
    for (size_t i = 0; i < table.Size() / 4; ++i) {
        if (table.U32BEAt(i * 4))
            offsets.push_back(table.U32BEAt(i * 4));
    }
    return offsets;
}

std::wstring Encodings(FontFile& file, uint32_t faceOffset)
{
    SfntDirectory dir;
    CTTFCMapEncodingArray encodings;
    if (!ReadSfntDirectory(file, faceOffset, dir))
        return L"";
    ReadEncodingsFromFile(file, dir.cmap, encodings);
    std::wstring out;
    for (const CTTFCMapEncodingRecord& e : encodings)
        out += (out.empty() ? L"" : L",") + std::to_wstring(e.platform) + L"." + std::to_wstring(e.encoding);
    return out;
}

void List(const std::vector<FontFileEntry>& files)
{
    for (const FontFileEntry& f : files) {
        CFontItemArray fonts;
        ReadOne(f, fonts);
        FontFile file;
        std::vector<uint32_t> offsets;
        if ((f.kind == FileKind::Sfnt || f.kind == FileKind::Collection) && file.Open(f.path))
            offsets = FaceOffsets(file, f.kind);
        for (int i = 0; i < fonts.GetSize(); ++i) {
            const CFontItemInfo& r = fonts[i];
            const bool sfnt = IsSfntKind(r.kind);
            const int weight = sfnt ? r.metrics.sfnt.usWeightClass : r.metrics.win.dfWeight;
            std::wstring line = Cell(f.path) + L"\t" + std::to_wstring(i) + L"\t" + std::to_wstring(r.kind);
            for (int id : {NameFamily, NameSubfamily, NameFull, NamePostScript})
                line += L"\t" + Cell(r.GetName(id, -1));
            line += L"\t" + std::to_wstring(weight);
            line += L"\t" + (sfnt ? std::to_wstring(r.metrics.sfnt.unitsPerEm) : std::wstring());
            line += L"\t" + std::to_wstring(r.glyphs) + L"\t" + std::to_wstring(r.kerningPairs);
            line += L"\t" + (sfnt && static_cast<size_t>(i) < offsets.size() ? Encodings(file, offsets[i]) : std::wstring());
            Print(line + L"\n");
        }
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        fwprintf(stderr, L"usage: scan_fonts FOLDER [--list]\n");
        return 2;
    }
    std::wstring folder = argv[1];
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    const bool list = argc > 2 && std::wstring(argv[2]) == L"--list";

    std::vector<FontFileEntry> files;
    const double enumSeconds = Seconds([&] { Collect(folder, files); });
    if (list) {
        List(files);
        return 0;
    }

    uint64_t bytes = 0, sfntBytes = 0;
    int sfntFiles = 0;
    for (const FontFileEntry& f : files) {
        bytes += f.size;
        if (f.kind == FileKind::Sfnt || f.kind == FileKind::Collection) {
            ++sfntFiles;
            sfntBytes += f.size;
        }
    }

    // Each file is opened and closed, then read, in every pass, so that both figures see the same load.
    constexpr int kPasses = 9;
    size_t faces = 0;
    std::vector<double> readTimes, openTimes;
    std::vector<double> readBest(files.size(), 1e30), openBest(files.size(), 1e30);
    FontFileStats sfntCost{};
    for (int pass = 0; pass <= kPasses; ++pass) {  // pass 0 warms the cache
        CFontItemArray fonts;
        double readTotal = 0, openTotal = 0;
        const FontFileStats before = GetFontFileStats();
        for (size_t i = 0; i < files.size(); ++i) {
            const FontFileEntry& f = files[i];
            const double o = Seconds([&] {
                HANDLE h = CreateFileW(f.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
                if (h != INVALID_HANDLE_VALUE)
                    CloseHandle(h);
            });
            const double r = Seconds([&] { ReadOne(f, fonts); });
            openTotal += o;
            readTotal += r;
            openBest[i] = std::min(openBest[i], o);
            readBest[i] = std::min(readBest[i], r);
        }
        const FontFileStats after = GetFontFileStats();
        faces = fonts.size();
        sfntCost = {after.opens - before.opens, after.reads - before.reads, after.bytesRead - before.bytesRead};
        if (pass > 0) {
            readTimes.push_back(readTotal);
            openTimes.push_back(openTotal);
        }
    }
    double readMin = 0, openMin = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        readMin += readBest[i];
        openMin += openBest[i];
    }
    const double read = Median(readTimes), open = Median(openTimes);
    const double perFace = faces ? read * 1e6 / faces : 0;
    printf("folder          %ls\n", folder.c_str());
    printf("files           %zu (%d sfnt or collection), %.1f MB, listed in %.3f s\n", files.size(), sfntFiles,
           bytes / 1048576.0, enumSeconds);
    printf("faces           %zu\n", faces);
    printf("read            %.4f s, %.1f us per face, %.1f us per file (median of %d passes)\n", read, perFace,
           files.empty() ? 0 : read * 1e6 / files.size(), kPasses);
    printf("open/close only %.4f s, %.1f us per file; reading costs %.2fx that\n", open,
           files.empty() ? 0 : open * 1e6 / files.size(), open > 0 ? read / open : 0);
    printf("best of passes  read %.1f us per face, %.1f us per file; open/close %.1f us per file (%.2fx)\n",
           faces ? readMin * 1e6 / faces : 0, files.empty() ? 0 : readMin * 1e6 / files.size(),
           files.empty() ? 0 : openMin * 1e6 / files.size(), openMin > 0 ? readMin / openMin : 0);
    if (sfntFiles) {
        printf("sfnt files      %.2f reads per file, %.1f KB read per file (%.2f%% of their bytes)\n",
               double(sfntCost.reads) / sfntFiles, sfntCost.bytesRead / 1024.0 / sfntFiles,
               sfntBytes ? 100.0 * sfntCost.bytesRead / sfntBytes : 0);
    }
    return 0;
}
