#include "core/font_resource_loader.h"

#include <shellapi.h>

#include "core/atm_binding.h"
#include "core/bitmap_reader.h"
#include "core/font_environment.h"
#include "core/helpers.h"
#include "core/resource_strings.h"
#include "core/sfnt_reader.h"

thread_local std::wstring LastFontOperationError;

namespace {

constexpr UINT kStringAlreadyListed = 199;
constexpr UINT kStringNotAdministrator = 669;
constexpr DWORD kPrivateFlags = FR_PRIVATE | FR_NOT_ENUM;
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;

std::wstring ErrorText(DWORD code)
{
    std::wstring text;
    if (!FormatErrorText(code, text) || text.empty())
        text = FormatString(L"%#x", static_cast<unsigned>(code));
    return text;
}

void SetNotAdministratorError()
{
    LastFontOperationError = LoadResString(kStringNotAdministrator);
}

std::wstring FileNameOf(const std::wstring& path)
{
    return GetFileTitle(path, true, false);
}

// The path without the text from its last "." on (a dot inside a folder name does not count).
std::wstring WithoutExtension(const std::wstring& path)
{
    const size_t dot = path.find_last_of(L'.');
    const size_t slash = path.find_last_of(L"\\/");
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
        return path;
    return path.substr(0, dot);
}

// The .pfm and .pfb parts of a recorded Type 1 path; a missing .pfb lies next to the .pfm.
void SplitType1Parts(const std::wstring& path, std::wstring& pfm, std::wstring& pfb, bool& pfbRecorded)
{
    SplitType1Pair(path, pfm, pfb);
    pfbRecorded = !pfb.empty();
    if (pfm.empty() && pfb.empty()) {
        const size_t first = path.find_first_not_of(L" \t");
        const size_t last = path.find_last_not_of(L" \t");
        if (first != std::wstring::npos)
            pfm = path.substr(first, last - first + 1);
    }
    if (pfb.empty() && !pfm.empty())
        pfb = WithoutExtension(pfm) + L".pfb";
    if (pfm.empty() && !pfb.empty())
        pfm = WithoutExtension(pfb) + L".pfm";
}

// The text with the wide zero list terminator used by the shell file operation.
std::wstring MakeShellList(const std::wstring& path)
{
    std::wstring out = path;
    out.push_back(L'\0');
    out.push_back(L'\0');
    return out;
}

FILEOP_FLAGS ShellFlags(FILEOP_FLAGS flags)
{
    if (GetFontEnvironment().quietShellOperations)
        flags |= FOF_NO_UI;
    return flags;
}

// Runs one shell file operation; false (with the error text set) when it fails or is aborted.
bool RunShellOperation(UINT function, const std::wstring& from, const std::wstring* to, FILEOP_FLAGS flags)
{
    std::wstring destination;
    if (to)
        destination = MakeShellList(*to);
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = function;
    operation.pFrom = from.c_str();
    operation.pTo = to ? destination.c_str() : nullptr;
    operation.fFlags = ShellFlags(flags);
    const int result = SHFileOperationW(&operation);
    if (result != 0) {
        LastFontOperationError = ErrorText(static_cast<DWORD>(result));
        return false;
    }
    if (operation.fAnyOperationsAborted) {
        LastFontOperationError = ErrorText(ERROR_CANCELLED);
        return false;
    }
    return true;
}

// The folders of the files of a shell list (each entry ended by a zero, the list by a second zero).
bool AllFilesInFolder(const std::wstring& list, const std::wstring& folder)
{
    bool any = false;
    for (size_t pos = 0; pos < list.size() && list[pos] != L'\0';) {
        const size_t end = list.find(L'\0', pos);
        const std::wstring file = list.substr(pos, end - pos);
        if (!IsSameFolder(GetFolder(file), folder))
            return false;
        any = true;
        if (end == std::wstring::npos)
            break;
        pos = end + 1;
    }
    return any;
}

int AddFontResourcePublic(const std::wstring& name)
{
    return AddFontResourceW(name.c_str());
}

// The name that a preview load uses, so that its unload can name the very same resource.
std::wstring PreviewResourceName(const CFontItemInfo& record, const std::wstring& folder)
{
    return BuildFontResourceName(record.path, folder, record.kind, false);
}

// Whether a stored registry file entry names the font: full paths against fullPath, bare names against
// fileName when the font lies in the fonts folder.
bool RegistryFileMatches(const std::wstring& data, const std::wstring& fullPath, const std::wstring& fileName,
                         bool fontsFolderCase)
{
    if (data.find(L'\\') != std::wstring::npos)
        return _wcsicmp(data.c_str(), fullPath.c_str()) == 0;
    return fontsFolderCase && _wcsicmp(data.c_str(), fileName.c_str()) == 0;
}

std::wstring HyphensAsSpaces(std::wstring text)
{
    for (wchar_t& c : text)
        if (c == L'-')
            c = L' ';
    return text;
}

// The strings of a REG_MULTI_SZ value, empty ones included, up to the list's end.
CStringArray MultiStrings(const RegistryValue& value)
{
    CStringArray out;
    const std::wstring chars = value.Characters();
    size_t pos = 0;
    while (pos < chars.size()) {
        const size_t end = chars.find(L'\0', pos);
        out.push_back(chars.substr(pos, end - pos));
        if (end == std::wstring::npos)
            break;
        pos = end + 1;
        if (pos < chars.size() && chars[pos] == L'\0')
            break;
    }
    return out;
}

int SetSfntOrBitmapRegistration(const CFontItemInfo& record, const std::wstring& keyPath, int kind, int add,
                                const std::wstring& fileName, const std::wstring& fullPath, bool fontsFolderCase)
{
    RegistryKey key;
    if (key.Open(GetFontEnvironment().registryRoot, keyPath, kReadWrite) != ERROR_SUCCESS)
        return 0;

    bool present = false;
    RegistryValue value;
    for (DWORD index = 0; EnumRegistryValue(key.Get(), index, value); ++index) {
        if (value.type != REG_SZ && value.type != REG_EXPAND_SZ)
            continue;
        if (!RegistryFileMatches(value.Text(), fullPath, fileName, fontsFolderCase))
            continue;
        if (!add)
            return RegDeleteValueW(key.Get(), value.name.c_str()) == ERROR_SUCCESS ? 1 : 0;
        present = true;
        break;
    }
    if (!add)
        return 0;

    const std::wstring family = record.GetName(NameFamily, -1);
    if (present) {
        LastFontOperationError = FormatString(LoadResString(kStringAlreadyListed).c_str(), family.c_str());
        return 0;
    }

    std::wstring valueName;
    if (kind == KindOpenType || kind == KindTrueType) {
        valueName = MakeFontsRegistryValueName(record);
    } else if (kind == KindCollection) {
        valueName = GetTtcRegistryName(fullPath);
    } else {
        valueName = family;
        if (_wcsicmp(GetFileExt(fullPath).c_str(), L"fon") == 0) {
            const std::wstring description = BitmapFontReader::ReadFonDescription(fullPath);
            if (!description.empty())
                valueName = description;
        }
    }
    // An empty name would overwrite the key's default value.
    if (valueName.empty())
        return 0;

    const std::wstring data = fontsFolderCase ? fileName : fullPath;
    const LSTATUS status = RegSetValueExW(key.Get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) {
        ShowFontErrorBox(static_cast<DWORD>(status));
        return 0;
    }
    return 1;
}

int SetType1Registration(const CFontItemInfo& record, const std::wstring& folder, int add, const std::wstring& fileName,
                         const std::wstring& fullPath, bool fontsFolderCase)
{
    const FontEnvironment& env = GetFontEnvironment();
    const std::wstring valueName = HyphensAsSpaces(record.GetName(NamePostScript, -1));
    if (valueName.empty())
        return 0;

    const std::wstring versionKey = FontRegistryVersionKey();
    RegistryKey key;
    LSTATUS status = key.Open(env.registryRoot, versionKey + L"\\Type 1 Installer\\Type 1 Fonts", kReadWrite);
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) {
        RegistryKey version, installer;
        status = version.Open(env.registryRoot, versionKey, kReadWrite);
        if (status == ERROR_SUCCESS)
            status = installer.Create(version.Get(), L"Type 1 Installer", kReadWrite);
        if (status == ERROR_SUCCESS)
            status = key.Create(installer.Get(), L"Type 1 Fonts", kReadWrite);
    }
    if (status != ERROR_SUCCESS) {
        ShowFontErrorBox(static_cast<DWORD>(status));
        return 0;
    }

    std::wstring storedName;
    RegistryValue value;
    for (DWORD index = 0; EnumRegistryValue(key.Get(), index, value); ++index) {
        if (_wcsicmp(HyphensAsSpaces(value.name).c_str(), valueName.c_str()) != 0)
            continue;
        // Only the first value of that name counts.
        storedName = value.name;
        const CStringArray strings = value.type == REG_MULTI_SZ ? MultiStrings(value) : CStringArray();
        const bool matches = strings.size() > 1 && RegistryFileMatches(strings[1], fullPath, fileName, fontsFolderCase);
        if (matches) {
            if (!add) {
                status = RegDeleteValueW(key.Get(), storedName.c_str());
                if (status != ERROR_SUCCESS) {
                    ShowFontErrorBox(static_cast<DWORD>(status));
                    return 0;
                }
                return 1;
            }
            return 1;  // already registered
        }
        break;
    }
    if (!add)
        return 0;

    std::wstring pfmEntry, pfbEntry;
    if (fontsFolderCase) {
        const std::wstring title = GetFileTitle(fileName, false, false);
        pfmEntry = title + L".PFM";
        pfbEntry = title + L".PFB";
    } else {
        std::wstring filePath;
        record.GetFilePath(filePath, false);
        std::wstring pfm, pfb;
        SplitType1Pair(filePath, pfm, pfb);
        if (!pfb.empty()) {
            pfmEntry = CombinePath(pfm, folder);
            pfbEntry = CombinePath(pfb, folder);
        } else {
            record.GetFilePath(pfm, true);
            pfmEntry = CombinePath(pfm, folder);
            pfbEntry = WithoutExtension(pfmEntry) + L".PFB";
        }
    }
    std::wstring data = L"T";
    data.push_back(L'\0');
    data += pfmEntry;
    data.push_back(L'\0');
    data += pfbEntry;
    data.push_back(L'\0');
    data.push_back(L'\0');
    const std::wstring& name = storedName.empty() ? valueName : storedName;
    status = RegSetValueExW(key.Get(), name.c_str(), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                            static_cast<DWORD>(data.size() * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) {
        ShowFontErrorBox(static_cast<DWORD>(status));
        LastFontOperationError = ErrorText(static_cast<DWORD>(status));
        return 0;
    }
    return 1;
}

}  // namespace

FontResourceLoader& GetFontResourceLoader()
{
    static FontResourceLoader loader;
    return loader;
}

void FontResourceLoader::Initialize()
{
    type1ManagerPresent = AtmInitialize();
    const HMODULE gdi32 = GetFontEnvironment().gdi32;
    if (gdi32) {
        addFontResourceEx = reinterpret_cast<AddFontResourceExProc>(reinterpret_cast<void*>(GetProcAddress(gdi32, "AddFontResourceExW")));
        removeFontResourceEx = reinterpret_cast<RemoveFontResourceExProc>(reinterpret_cast<void*>(GetProcAddress(gdi32, "RemoveFontResourceExW")));
    }
}

std::wstring BuildFontResourceName(const std::wstring& path, const std::wstring& baseFolder, int kind, bool fileNameOnly)
{
    if (path.empty())
        return {};
    const bool nameOnly = fileNameOnly && IsSameFolder(baseFolder, GetFontEnvironment().fontsFolder);
    if (IsType1Kind(kind)) {
        std::wstring pfm, pfb;
        bool pfbRecorded = false;
        SplitType1Parts(path, pfm, pfb, pfbRecorded);
        if (nameOnly) {
            pfm = FileNameOf(pfm);
            pfb = FileNameOf(pfb);
        }
        return CombinePath(pfm, baseFolder) + L" |" + CombinePath(pfb, baseFolder);
    }
    return CombinePath(nameOnly ? FileNameOf(path) : path, baseFolder);
}

void BuildFontFileSpec(std::wstring& out, const std::wstring& path, const std::wstring& baseFolder, int kind)
{
    out.clear();
    if (IsType1Kind(kind)) {
        std::wstring pfm, pfb;
        SplitType1Pair(path, pfm, pfb);
        if (!pfb.empty()) {
            out = CombinePath(pfm, baseFolder);
            out.push_back(L'\0');
            out += CombinePath(pfb, baseFolder);
        } else {
            // Unknown .pfb: a wildcard that takes both files.
            bool recorded = false;
            SplitType1Parts(path, pfm, pfb, recorded);
            out = CombinePath(WithoutExtension(pfm) + L".pf*", baseFolder);
        }
    } else {
        out = CombinePath(path, baseFolder);
    }
    out.push_back(L'\0');
    out.push_back(L'\0');
}

int LoadFontFile(const CFontItemInfo&, const std::wstring&, const std::wstring& resourceName, int privateLoad)
{
    const FontResourceLoader& loader = GetFontResourceLoader();
    int added = 0;
    if (loader.addFontResourceEx)
        added = loader.addFontResourceEx(resourceName.c_str(), privateLoad ? kPrivateFlags : 0, nullptr);
    else
        added = AddFontResourceW(resourceName.c_str());
    return added > 0 ? 0 : 2;
}

int UnloadFontFile(const CFontItemInfo& record, const std::wstring& folder, int privateLoad)
{
    std::wstring name;
    if (privateLoad) {
        name = PreviewResourceName(record, folder);
    } else {
        std::wstring base, filePath;
        record.GetBaseFolderPath(base, folder);
        record.GetFilePath(filePath, false);
        name = BuildFontResourceName(filePath, base, record.kind, false);
    }
    if (name.empty())
        return 0;
    const FontResourceLoader& loader = GetFontResourceLoader();
    if (loader.removeFontResourceEx)
        return loader.removeFontResourceEx(name.c_str(), privateLoad ? kPrivateFlags : 0, nullptr) ? 1 : 0;
    return RemoveFontResourceW(name.c_str()) ? 1 : 0;
}

int LoadFontForPreview(const CFontItemInfo& record, const std::wstring& folder, bool* mustUnload)
{
    if (mustUnload)
        *mustUnload = false;
    if (folder.find_first_not_of(L" \t\r\n") == std::wstring::npos)
        return 0;
    // Before NT a second load of a font already loaded would not be told apart from the first.
    if (!FontEnvironmentVersion().IsNT() && (record.loaded || record.inUse))
        return 0;
    const int result = LoadFontFile(record, folder, PreviewResourceName(record, folder), 1);
    if (mustUnload)
        *mustUnload = true;
    return result;
}

int LoadFontItem(const CFontItemInfo& record, const std::wstring& folder, int copyToFontsFolder)
{
    if (!GetFontResourceLoader().HasExApi())
        return 0;
    const FontEnvironment& env = GetFontEnvironment();
    std::wstring folderPath, filePath;
    record.GetBaseFolderPath(folderPath, folder);
    record.GetFilePath(filePath, false);

    std::wstring name;
    if (copyToFontsFolder) {
        if (!env.administrator) {
            SetNotAdministratorError();
            return 0;
        }
        name = BuildFontResourceName(filePath, env.fontsFolder, record.kind, true);
        std::wstring files;
        BuildFontFileSpec(files, filePath, folderPath, record.kind);
        // Files already in the fonts folder are not copied onto themselves.
        if (!AllFilesInFolder(files, env.fontsFolder)) {
            if (!RunShellOperation(FO_COPY, files, &env.fontsFolder, FOF_NOCONFIRMATION))
                return 0;
        }
        SetFontRegistration(record, env.fontsFolder, 1);
    } else {
        name = BuildFontResourceName(filePath, folderPath, record.kind, true);
        if (env.administrator)
            SetFontRegistration(record, folderPath, 1);
        else
            SetNotAdministratorError();
    }
    return AddFontResourcePublic(name);
}

int UnloadFontItem(const CFontItemInfo& record, const std::wstring& folder, int registryOnly, int toRecycleBin, int move,
                   const std::wstring& destination, HWND progressWindow)
{
    if (!record.loaded || record.installed || record.inUse || !GetFontResourceLoader().HasExApi())
        return 0;
    const FontEnvironment& env = GetFontEnvironment();
    std::wstring filePath, folderPath;
    record.GetFilePath(filePath, true);
    record.GetBaseFolderPath(folderPath, folder);

    CFontArrayGLYLoaded& loadedList = GetGLYLoadedFonts();
    std::wstring name;
    bool loadedListUnload = false;
    if (!filePath.empty()) {
        std::wstring pair;
        record.GetFilePath(pair, false);
        name = BuildFontResourceName(pair, folderPath, record.kind, false);
    } else if (record.trackedLoad) {
        const int index = loadedList.Find(record, false);
        if (index < 0)
            return 0;
        name = BuildFontResourceName(loadedList[index].file, folderPath, record.kind, false);
        loadedListUnload = true;
    }
    if (name.empty())
        return 0;

    if (progressWindow) {
        const std::wstring family = record.GetName(NameFamily, -1);
        SendMessageW(progressWindow, WM_FONTOP_PROGRESS, reinterpret_cast<WPARAM>(family.c_str()),
                     reinterpret_cast<LPARAM>(name.c_str()));
    }

    SetLastError(ERROR_SUCCESS);
    if (!RemoveFontResourceW(name.c_str())) {
        const DWORD code = GetLastError();
        LastFontOperationError = ErrorText(code != ERROR_SUCCESS ? code : ERROR_FILE_NOT_FOUND);
        return 0;
    }

    if (loadedListUnload) {
        const int index = loadedList.Find(record, false);
        loadedList.RemoveAt(index);
        return 1;
    }

    if (registryOnly) {
        if (!env.administrator) {
            SetNotAdministratorError();
            return 0;
        }
        return SetFontRegistration(record, folderPath, 0);
    }

    // Files are touched only once the font is out of the registry.
    if (!env.administrator) {
        SetNotAdministratorError();
        return 0;
    }
    std::wstring pair;
    record.GetFilePath(pair, false);
    // The files lie where the record's folder says; a bare name counts as a file of the fonts folder only
    // when the record has no folder, so that a same-named system font is never the one deleted.
    std::wstring files;
    if (folderPath.empty() && IsPathDirectlyInFolder(filePath, env.fontsFolder))
        BuildFontFileSpec(files, pair, env.fontsFolder, record.kind);
    else
        BuildFontFileSpec(files, pair, folderPath, record.kind);
    if (!SetFontRegistration(record, folderPath, 0))
        return 0;

    FILEOP_FLAGS flags = FOF_SILENT | FOF_NOCONFIRMATION;
    if (toRecycleBin)
        flags |= FOF_ALLOWUNDO;
    const bool withDestination = move && !toRecycleBin;
    if (!RunShellOperation(move ? FO_MOVE : FO_DELETE, files, withDestination ? &destination : nullptr, flags))
        return 0;
    return 1;
}

int SetFontRegistration(const CFontItemInfo& record, const std::wstring& folder, int add)
{
    const FontEnvironment& env = GetFontEnvironment();
    std::wstring filePath;
    record.GetFilePath(filePath, true);
    const std::wstring fileName = FileNameOf(filePath);
    const bool fontsFolderCase = IsSameFolder(folder, env.fontsFolder);
    const std::wstring fullPath = CombinePath(add && fontsFolderCase ? fileName : filePath, folder);

    const int kind = BaseKind(record.kind);
    if (kind == KindType1)
        return SetType1Registration(record, folder, add, fileName, fullPath, fontsFolderCase);
    if (kind < KindOpenType || kind > KindCollection)
        return 0;
    return SetSfntOrBitmapRegistration(record, FontRegistryVersionKey() + L"\\Fonts", kind, add, fileName, fullPath,
                                       fontsFolderCase);
}

void UnloadAllGLYLoaded(CFontArrayGLYLoaded& list, bool keepPrivate)
{
    // Unloading a tracked entry may shorten the list: work on a copy.
    const CFontArrayGLYLoaded entries = list;
    for (const CFontItemGLYLoaded& item : entries) {
        if (!CFontArrayGLYLoaded::UnloadsAtExit(item, keepPrivate))
            continue;
        CFontItemInfo record;
        std::wstring folder;
        CFontArrayGLYLoaded::MakeUnloadRecord(item, record, folder);
        if (IsType1Kind(item.kind))
            UnloadFontItem(record, folder, 1, 0, 0, std::wstring(), nullptr);
        else
            UnloadFontFile(record, folder, 0);
    }
}
