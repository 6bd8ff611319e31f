#include "storage/set_font_adder.h"

#include "core/app_messages.h"
#include "core/bitmap_reader.h"
#include "core/helpers.h"
#include "core/sfnt_reader.h"
#include "core/type1_reader.h"
#include "storage/com_ptr.h"
#include "storage/set_file.h"

namespace {

std::wstring WithoutTrailingBackslashes(std::wstring text)
{
    while (!text.empty() && text.back() == L'\\')
        text.pop_back();
    return text;
}

// Upper case by the user's locale: equal keys for texts that differ only in case.
std::wstring Fold(const std::wstring& text)
{
    if (text.empty())
        return text;
    std::wstring out(text.size(), L'\0');
    const int length = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, text.data(), static_cast<int>(text.size()),
                                    out.data(), static_cast<int>(out.size()));
    if (length <= 0)
        return text;
    out.resize(static_cast<size_t>(length));
    return out;
}

// The file a stored record stands for: its .pfm-only file within its folder within the set folder.
std::wstring ResolveStoredFile(const std::wstring& file, const std::wstring& baseFolder, const std::wstring& setFolder)
{
    return CombinePath(CombinePath(file, baseFolder), setFolder);
}

std::wstring MakeKey(const std::wstring& path, const CFontItemInfo& record)
{
    std::wstring key = Fold(path);
    key += L'\0';
    key += Fold(record.GetName(NameFamily));
    key += L'\0';
    key += Fold(record.GetName(NameFull));
    return key;
}

// The key of a record as AddFontFile is about to store it: with the stored name and folder the
// writer will use, so that it compares like with like against the records already stored.
std::wstring KeyOfNewRecord(const CFontItemInfo& record, const std::wstring& setFolder, const wchar_t* fileFolder,
                            BOOL recompute)
{
    std::wstring file;
    if (record.storedPath.empty() || recompute) {
        CFontItemInfo stored(record);
        CFontFilesXML::ComputeStoredPath(stored, setFolder, fileFolder);
        stored.GetFilePath(file, true);
        return MakeKey(ResolveStoredFile(file, stored.baseFolder, setFolder), record);
    }
    record.GetFilePath(file, true);
    return MakeKey(ResolveStoredFile(file, record.baseFolder, setFolder), record);
}

}  // namespace

BOOL ReadFontFileByExtension(const std::wstring& fileFolder, const std::wstring& name, const std::wstring& setFolder,
                             CFontItemArray& records)
{
    const size_t dot = name.find_last_of(L'.');
    const std::wstring extension = dot == std::wstring::npos ? std::wstring() : name.substr(dot + 1);
    const std::wstring fullPath = CombinePath(name, fileFolder);
    const std::wstring title = GetFileTitle(name, true, false);
    const int first = records.GetSize();

    auto is = [&](const wchar_t* wanted) { return _wcsicmp(extension.c_str(), wanted) == 0; };
    if (is(L"fon")) {
        BitmapFontReader().ReadFonFile(fullPath, title, records);
    } else if (is(L"fnt")) {
        BitmapFontReader().ReadFntFile(fullPath, title, &records);
    } else if (is(L"ttf") || is(L"otf")) {
        ReadSfntFile(fullPath, title, records);
    } else if (is(L"ttc")) {
        ReadTtcFile(fullPath, title, records);
    } else if (is(L"pfm")) {
        Type1FontReader().ReadType1FontFile(fileFolder, name, records);
    }
    if (records.GetSize() <= first)
        return FALSE;

    const size_t slash = fullPath.find_last_of(L'\\');
    const std::wstring folder =
        WithoutTrailingBackslashes(slash == std::wstring::npos ? std::wstring() : fullPath.substr(0, slash));
    const std::wstring base = WithoutTrailingBackslashes(setFolder);
    std::wstring relative = folder;
    if (!folder.empty() && !base.empty() && folder.size() >= base.size() &&
        CompareLocaleN(folder.c_str(), base.c_str(), static_cast<int>(base.size()), static_cast<int>(base.size()),
                       true) == 0) {
        const std::wstring rest = folder.substr(base.size());
        if (rest.empty())
            relative.clear();
        else if (rest[0] == L'\\')
            relative = L"." + rest;
    }
    // Without a set folder the record keeps its whole folder: an empty one would leave nothing to
    // find the file by.

    for (int i = first; i < records.GetSize(); ++i) {
        records[i].storedPath = records[i].path;
        records[i].baseFolder = relative;
    }
    return TRUE;
}

void CSetRecordIndex::Build(CFontFilesXML& document, const std::wstring& setFolder)
{
    keys_.clear();
    ComPtr<IXMLDOMNodeList> list;
    {
        CSetFileLock lock;
        if (!document.HasRoot())
            return;
        if (document.Xml().SelectNodes(L"a:b", list.Put(), document.Xml().Root()) <= 0 || !list)
            return;
    }
    for (;;) {
        CFontItemInfo record;
        {
            // Taken per record: a large set must not keep the set file from other threads for long.
            CSetFileLock lock;
            ComPtr<IXMLDOMNode> node;
            if (list->nextNode(node.Put()) != S_OK || !node)
                break;
            CFontFilesXML::ReadFontRecord(node.Get(), record, 1);
        }
        std::wstring file;
        record.GetFilePath(file, true);
        keys_.insert(MakeKey(ResolveStoredFile(file, record.baseFolder, setFolder), record));
    }
}

bool CSetRecordIndex::Contains(const CFontItemInfo& record, const std::wstring& setFolder, const wchar_t* fileFolder,
                               BOOL recompute) const
{
    return keys_.count(KeyOfNewRecord(record, setFolder, fileFolder, recompute)) != 0;
}

void CSetRecordIndex::Add(const CFontItemInfo& record, const std::wstring& setFolder, const wchar_t* fileFolder,
                          BOOL recompute)
{
    keys_.insert(KeyOfNewRecord(record, setFolder, fileFolder, recompute));
}

BOOL FindDuplicateRecord(CFontFilesXML& document, const CFontItemInfo& record, const wchar_t* fileFolder,
                         const std::wstring& setFolder, BOOL recompute)
{
    CSetRecordIndex index;
    index.Build(document, setFolder);
    return index.Contains(record, setFolder, fileFolder, recompute) ? TRUE : FALSE;
}

BOOL AddFontFile(CFontFilesXML& document, CFontItemInfo& record, const std::wstring& setFolder,
                 const wchar_t* fileFolder, int& duplicates, BOOL recompute, CSetRecordIndex* index)
{
    if (!document.HasRoot())
        return FALSE;
    try {
        const bool duplicate = index ? index->Contains(record, setFolder, fileFolder, recompute)
                                     : FindDuplicateRecord(document, record, fileFolder, setFolder, recompute) != FALSE;
        if (duplicate) {
            ++duplicates;
            return TRUE;
        }
        // The key is taken before writing, since the writer may fill in the stored name.
        CFontItemInfo asGiven;
        if (index)
            asGiven = record;
        if (!document.AppendFontRecord(record, setFolder, fileFolder, recompute))
            return FALSE;
        if (index)
            index->Add(asGiven, setFolder, fileFolder, recompute);
        return TRUE;
    } catch (...) {
        // An element that cannot be created costs this face only.
        return FALSE;
    }
}

int AddFontFiles(CFontFilesXML& document, const std::wstring& setFolder, const std::wstring& fileFolder,
                 const CStringArray& names, int& duplicates, int* fileCount, int* current)
{
    duplicates = 0;
    if (fileCount)
        *fileCount = static_cast<int>(names.size());
    CSetRecordIndex index;
    index.Build(document, setFolder);

    int count = 0;
    for (size_t i = 0; i < names.size() && !document.cancelAddition; ++i) {
        if (current)
            *current = static_cast<int>(i);
        CFontItemArray records;
        ReadFontFileByExtension(fileFolder, names[i], setFolder, records);
        for (CFontItemInfo& record : records) {
            if (document.cancelAddition)
                break;
            // Posted when the window belongs to another thread: the worker never waits for the
            // user-interface thread, which may itself be waiting for the worker.
            if (document.progressWindow)
                NotifyFontProgress(document.progressWindow, WM_SET_FILL_PROGRESS, record.GetName(NameFamily),
                                   record.path);
            if (AddFontFile(document, record, setFolder, fileFolder.c_str(), duplicates, FALSE, &index))
                ++count;
        }
    }
    if (count != 0) {
        document.SetModified(TRUE);
        document.SaveIfModified();
        // Faces that did not reach the file (a read-only set file, a failed save) are not reported
        // as added: the document that holds them is thrown away after the operation.
        if (document.IsModified() && count > duplicates) {
            duplicates = 0;
            return 0;
        }
    }
    return count;
}
