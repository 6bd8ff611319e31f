#include "core/helpers.h"

#include <oleauto.h>

#include <shellapi.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <ctime>
#include <regex>

#include "core/resource_strings.h"

namespace {

bool IsSpace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f' || iswspace(c);
}

std::wstring Trim(const std::wstring& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsSpace(text[begin]))
        ++begin;
    while (end > begin && IsSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::wstring WithoutTrailingBackslashes(std::wstring text)
{
    while (!text.empty() && text.back() == L'\\')
        text.pop_back();
    return text;
}

// Windows paths compare without case.
bool EqualNoCase(const wchar_t* a, const wchar_t* b, size_t length)
{
    return length == 0 || _wcsnicmp(a, b, length) == 0;
}

// True when `inner` is `outer` or lies below it: the prefix must end at a path separator, so that
// "C:\FontsX" is not taken for a folder inside "C:\Fonts".
bool IsSameOrBelow(const std::wstring& inner, const std::wstring& outer)
{
    if (outer.empty() || inner.size() < outer.size())
        return false;
    if (!EqualNoCase(inner.c_str(), outer.c_str(), outer.size()))
        return false;
    return inner.size() == outer.size() || inner[outer.size()] == L'\\';
}

size_t NameStart(const std::wstring& path)
{
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? 0 : slash + 1;
}

std::wstring LowerCase(std::wstring text)
{
    if (!text.empty())
        CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

int OrdinalCompare(std::wstring_view a, std::wstring_view b, bool ignoreCase)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        wchar_t ca = a[i];
        wchar_t cb = b[i];
        if (ignoreCase) {
            ca = static_cast<wchar_t>(towlower(ca));
            cb = static_cast<wchar_t>(towlower(cb));
        }
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

int LocaleCompare(std::wstring_view a, std::wstring_view b, bool ignoreCase)
{
    if (a.size() > INT_MAX || b.size() > INT_MAX)
        return OrdinalCompare(a, b, ignoreCase);
    int result = CompareStringW(LOCALE_USER_DEFAULT, ignoreCase ? NORM_IGNORECASE : 0, a.data(),
                                static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
    if (result == 0)
        return OrdinalCompare(a, b, ignoreCase);
    return result - CSTR_EQUAL;
}

// One position of a wildcard pattern that is not '*' against one text character. Sets in square
// brackets compare the text character with ASCII letters upper-cased; `next` receives the pattern
// position after the element.
bool MatchElement(const wchar_t* pattern, size_t p, wchar_t c, size_t& next)
{
    wchar_t pc = pattern[p];
    if (pc == L'?') {
        next = p + 1;
        return true;
    }
    if (pc != L'[') {
        next = p + 1;
        return pc == c;
    }
    wchar_t upper = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    bool found = false;
    size_t i = p + 1;
    while (pattern[i] && pattern[i] != L']') {
        wchar_t low = pattern[i];
        if (pattern[i + 1] == L'-' && pattern[i + 2] && pattern[i + 2] != L']') {
            wchar_t high = pattern[i + 2];
            if (upper >= low && upper <= high)
                found = true;
            i += 3;
        } else {
            if (upper == low)
                found = true;
            ++i;
        }
    }
    next = pattern[i] == L']' ? i + 1 : i;
    return found;
}

// Days of the date split into its calendar fields; false for a date that has none.
bool OleDateToTm(double date, SYSTEMTIME& st, tm& out)
{
    if (!VariantTimeToSystemTime(date, &st))
        return false;
    out = tm{};
    out.tm_year = st.wYear - 1900;
    out.tm_mon = st.wMonth - 1;
    out.tm_mday = st.wDay;
    out.tm_hour = st.wHour;
    out.tm_min = st.wMinute;
    out.tm_sec = st.wSecond;
    out.tm_wday = st.wDayOfWeek;
    static const int daysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    int year = st.wYear;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    out.tm_yday = daysBefore[out.tm_mon] + st.wDay - 1 + ((leap && st.wMonth > 2) ? 1 : 0);
    out.tm_isdst = -1;
    return true;
}

const wchar_t* const kDayNames[] = {L"Sunday",   L"Monday", L"Tuesday", L"Wednesday",
                                    L"Thursday", L"Friday", L"Saturday"};
const wchar_t* const kMonthNames[] = {L"January", L"February", L"March",     L"April",   L"May",      L"June",
                                      L"July",    L"August",   L"September", L"October", L"November", L"December"};

int ParseDigits(const wchar_t* text, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return -1;
        value = value * 10 + (text[i] - L'0');
    }
    return value;
}

}  // namespace

// ---- Paths ---------------------------------------------------------------------------------

std::wstring CombinePath(const std::wstring& path, const std::wstring& folder)
{
    std::wstring base = WithoutTrailingBackslashes(folder);
    if (base.empty())
        return path;
    if (path.size() >= 2 && path[0] == L'.' && path[1] == L'.') {
        size_t slash = base.find_last_of(L'\\');
        if (slash == std::wstring::npos)
            return {};
        std::wstring rest = path.substr(2);
        if (!rest.empty() && rest[0] == L'\\')
            rest.erase(0, 1);
        return base.substr(0, slash) + L"\\" + rest;
    }
    if (!path.empty() && path[0] == L'.')
        return base + path.substr(1);
    if (path.find(L'\\') != std::wstring::npos) {
        // A drive path or a network path is absolute already.
        if ((path.size() >= 2 && path[1] == L':') || path.starts_with(L"\\\\"))
            return path;
        return base + L"\\" + (path[0] == L'\\' ? path.substr(1) : path);
    }
    return base + L"\\" + path;
}

std::wstring MakeRelativePath(const std::wstring& path, const std::wstring& baseFolder, bool pathIsFile, bool keepName)
{
    std::wstring base = WithoutTrailingBackslashes(baseFolder);
    std::wstring folder;
    std::wstring name;
    if (pathIsFile) {
        size_t slash = path.find_last_of(L'\\');
        if (slash != std::wstring::npos) {
            folder = WithoutTrailingBackslashes(path.substr(0, slash));
            name = path.substr(slash + 1);
        } else {
            name = path;
        }
    } else {
        folder = WithoutTrailingBackslashes(path);
    }
    const bool withName = pathIsFile && keepName;
    const std::wstring& whole = withName ? path : folder;
    if (base.empty())
        return whole;
    if (IsSameOrBelow(folder, base))
        return L"." + whole.substr(base.size());
    if (IsSameOrBelow(base, folder)) {
        std::wstring result;
        for (size_t i = folder.size(); i < base.size(); ++i) {
            if (base[i] == L'\\')
                result += L"..\\";
        }
        if (withName)
            result += name;
        return result;
    }
    return whole;
}

std::wstring GetFileTitle(const std::wstring& path, bool keepExtension, bool keepFolder)
{
    size_t nameStart = NameStart(path);
    std::wstring title = keepFolder ? path : path.substr(nameStart);
    if (!keepExtension) {
        // Only a dot within the file name starts an extension, not one in a folder name.
        size_t dot = path.find_last_of(L'.');
        if (dot != std::wstring::npos && dot >= nameStart)
            title.erase(keepFolder ? dot : dot - nameStart);
    }
    return title;
}

std::wstring GetFileExt(const std::wstring& path)
{
    size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || dot < NameStart(path))
        return {};
    return path.substr(dot + 1);
}

std::wstring GetFolder(const std::wstring& path)
{
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(0, slash);
}

bool IsPathDirectlyInFolder(const std::wstring& path, const std::wstring& folder)
{
    std::wstring trimmed = WithoutTrailingBackslashes(path);
    size_t slash = trimmed.find_last_of(L'\\');
    if (slash == std::wstring::npos)
        return true;
    std::wstring base = WithoutTrailingBackslashes(folder);
    return slash == base.size() && _wcsicmp(trimmed.substr(0, slash).c_str(), base.c_str()) == 0;
}

bool FileExists(const wchar_t* path)
{
    if (!path || !*path)
        return false;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(path, &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return true;
}

bool SplitType1Pair(const std::wstring& pair, std::wstring& outPfm, std::wstring& outPfb)
{
    outPfm.clear();
    outPfb.clear();
    CStringArray parts;
    SplitString(pair, L"|", &parts);
    if (!parts.empty() && _wcsicmp(GetFileExt(parts[0]).c_str(), L"pfm") == 0)
        outPfm = parts[0];
    if (parts.size() >= 2 && _wcsicmp(GetFileExt(parts[1]).c_str(), L"pfb") == 0)
        outPfb = parts[1];
    return !outPfb.empty();
}

using SHGetFolderPathWFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
using SHGetFolderPathAFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);

std::wstring GetShellFolderPath(int csidl)
{
    HMODULE shell32 = LoadLibraryW(L"shell32.dll");
    HMODULE shfolder = LoadLibraryW(L"shfolder.dll");
    std::wstring result;
    auto find = [&](const char* name) -> void* {
        FARPROC proc = shell32 ? GetProcAddress(shell32, name) : nullptr;
        if (!proc && shfolder)
            proc = GetProcAddress(shfolder, name);
        return reinterpret_cast<void*>(proc);
    };
    if (auto wide = reinterpret_cast<SHGetFolderPathWFn>(find("SHGetFolderPathW"))) {
        wchar_t path[MAX_PATH] = {};
        if (SUCCEEDED(wide(nullptr, csidl, nullptr, 0, path)))
            result = path;
    } else if (auto narrow = reinterpret_cast<SHGetFolderPathAFn>(find("SHGetFolderPathA"))) {
        char path[MAX_PATH] = {};
        if (SUCCEEDED(narrow(nullptr, csidl, nullptr, 0, path))) {
            wchar_t wide[MAX_PATH] = {};
            if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH))
                result = wide;
        }
    }
    if (shfolder)
        FreeLibrary(shfolder);
    if (shell32)
        FreeLibrary(shell32);
    return result;
}

LPITEMIDLIST GetPidlFromPath(const std::wstring& path)
{
    IShellFolder* desktop = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop)
        return nullptr;
    std::wstring name = path;
    LPITEMIDLIST pidl = nullptr;
    ULONG eaten = 0;
    if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, name.data(), &eaten, &pidl, nullptr)))
        pidl = nullptr;
    desktop->Release();
    return pidl;
}

bool ShowInExplorer(const std::wstring& paths, bool openFolder)
{
    CStringArray parts;
    SplitString(paths, L"|", &parts);
    if (parts.empty())
        return false;
    std::wstring arguments = FormatString(openFolder ? L"/n,/e, %s" : L"/n,/e,/select, %s", parts[0].c_str());
    auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", L"explorer.exe", arguments.c_str(), nullptr, SW_SHOWNORMAL));
    return result > 32;
}

// ---- Texts ---------------------------------------------------------------------------------

bool SplitString(const std::wstring& text, const std::wstring& separator, CStringArray* out)
{
    if (!out)
        return false;
    out->clear();
    if (separator.empty()) {
        std::wstring piece = Trim(text);
        if (!piece.empty())
            out->push_back(piece);
        return true;
    }
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        std::wstring piece = Trim(text.substr(start, at == std::wstring::npos ? std::wstring::npos : at - start));
        if (!piece.empty())
            out->push_back(std::move(piece));
        if (at == std::wstring::npos)
            break;
        start = at + separator.size();
    }
    return true;
}

int CompareLocale(const std::wstring& a, const std::wstring& b, bool ignoreCase)
{
    return LocaleCompare(a, b, ignoreCase);
}

int CompareLocaleN(const wchar_t* a, const wchar_t* b, int lengthA, int lengthB, bool ignoreCase)
{
    if (!a)
        a = L"";
    if (!b)
        b = L"";
    // A given length never reaches past the terminator.
    size_t na = lengthA > 0 ? wcsnlen(a, static_cast<size_t>(lengthA)) : wcslen(a);
    size_t nb = lengthB > 0 ? wcsnlen(b, static_cast<size_t>(lengthB)) : wcslen(b);
    return LocaleCompare(std::wstring_view(a, na), std::wstring_view(b, nb), ignoreCase);
}

bool CompareText(const std::wstring& text, const std::wstring& pattern, bool caseSensitive, bool exact)
{
    if (text.empty() || pattern.empty())
        return false;
    if (!caseSensitive) {
        std::wstring lowerText = LowerCase(text);
        std::wstring lowerPattern = LowerCase(pattern);
        return exact ? lowerText == lowerPattern : WildcardMatch(lowerText.c_str(), lowerPattern.c_str());
    }
    return exact ? text == pattern : WildcardMatch(text.c_str(), pattern.c_str());
}

bool WildcardMatch(const wchar_t* text, const wchar_t* pattern)
{
    if (!pattern)
        return true;
    if (!text)
        text = L"";
    // Greedy matching that goes back only to the last '*' seen: O(text x pattern) at worst and
    // no recursion, where retrying every '*' at every position grows exponentially.
    size_t t = 0;
    size_t p = 0;
    size_t starPattern = static_cast<size_t>(-1);
    size_t starText = 0;
    while (text[t]) {
        if (pattern[p] == L'*') {
            starPattern = p++;
            starText = t;
            continue;
        }
        if (!pattern[p])
            return true;  // the pattern is used up: whatever text is left matches
        size_t next = 0;
        if (MatchElement(pattern, p, text[t], next)) {
            ++t;
            p = next;
            continue;
        }
        if (starPattern == static_cast<size_t>(-1))
            return false;
        p = starPattern + 1;
        t = ++starText;
    }
    while (pattern[p] == L'*')
        ++p;
    return pattern[p] == 0;
}

bool IsAsciiText(const std::wstring& text)
{
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x80; });
}

uint64_t ParseHex(const wchar_t* text, int length, int* outStop)
{
    uint64_t value = 0;
    int i = 0;
    if (text) {
        for (; (length < 0 || i < length) && text[i]; ++i) {
            wchar_t c = text[i];
            unsigned digit;
            if (c >= L'0' && c <= L'9')
                digit = c - L'0';
            else if (c >= L'a' && c <= L'f')
                digit = c - L'a' + 10;
            else if (c >= L'A' && c <= L'F')
                digit = c - L'A' + 10;
            else
                break;
            value = (value << 4) | digit;
        }
    }
    if (outStop)
        *outStop = i;
    return value;
}

std::wstring FormatThousands(uint64_t n)
{
    std::wstring digits = std::to_wstring(n);
    std::wstring out;
    size_t first = digits.size() % 3;
    if (first == 0)
        first = 3;
    out = digits.substr(0, first);
    for (size_t i = first; i < digits.size(); i += 3) {
        out += L',';
        out += digits.substr(i, 3);
    }
    return out;
}

std::wstring MultiByteToWide(const char* text, size_t length, UINT codePage)
{
    if (!text || length == 0 || length > INT_MAX)
        return {};
    const int count = MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), nullptr, 0);
    if (count <= 0)
        return {};
    std::wstring out(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), out.data(), count);
    return out;
}

BSTR MultiByteToBSTR(const char* text, int byteCount, int* outLength, UINT codePage)
{
    if (outLength)
        *outLength = 0;
    if (!text)
        return nullptr;
    if (byteCount == 0 || (byteCount < 0 && !*text))
        return SysAllocStringLen(L"", 0);
    int needed = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, byteCount, nullptr, 0);
    if (needed <= 0)
        return nullptr;
    BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(needed));
    if (!result)
        return nullptr;
    int written = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, byteCount, result, needed);
    // Any failure, a short buffer included, gives nothing rather than a cut string.
    if (written <= 0) {
        SysFreeString(result);
        return nullptr;
    }
    int length = written;
    if (byteCount < 0 && length > 0 && result[length - 1] == 0)
        --length;
    result[length] = 0;
    if (static_cast<UINT>(length) != SysStringLen(result)) {
        BSTR exact = SysAllocStringLen(result, static_cast<UINT>(length));
        SysFreeString(result);
        result = exact;
        if (!result)
            return nullptr;
    }
    if (outLength)
        *outLength = length;
    return result;
}

std::unique_ptr<char[]> WideToMultiByte(const wchar_t* text, UINT codePage, int* outLength)
{
    if (outLength)
        *outLength = 0;
    if (!text)
        return nullptr;
    int needed = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return nullptr;
    auto buffer = std::make_unique<char[]>(static_cast<size_t>(needed));
    if (WideCharToMultiByte(codePage, 0, text, -1, buffer.get(), needed, nullptr, nullptr) != needed)
        return nullptr;
    if (outLength)
        *outLength = needed - 1;
    return buffer;
}

std::wstring MakeSearchPattern(const std::wstring& text)
{
    std::wstring pattern = Trim(text);
    if (!pattern.empty() && pattern[0] != L'*' && pattern[0] != L'?')
        pattern.insert(pattern.begin(), L'*');
    return pattern;
}

bool NeedsXmlEscape(const std::wstring& text, bool checkSpaces)
{
    if (text.find_first_of(L"<>&") != std::wstring::npos)
        return true;
    return checkSpaces && !text.empty() && (text.front() == L' ' || text.back() == L' ');
}

bool IsInvalidXmlChar(wchar_t c)
{
    if (c < 0x20)
        return c != L'\t' && c != L'\n' && c != L'\r';
    return (c >= 0xD800 && c <= 0xDFFF) || c >= 0xFFFE;
}

void ReplaceInvalidXmlChars(wchar_t* text, int length, wchar_t replacement)
{
    if (!text)
        return;
    for (int i = 0; (length <= 0 || i < length) && text[i]; ++i) {
        // A high surrogate followed by a low one is one valid character (emoji in names); lone halves are not.
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && (length <= 0 || i + 1 < length) && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        if (IsInvalidXmlChar(text[i]))
            text[i] = replacement;
    }
}

namespace {
wchar_t NormalizeWideChar(wchar_t c)
{
    if (c == 0x3000 || (c >= 0x0001 && c <= 0x001F))
        return L' ';
    if (c >= 0xFF01 && c <= 0xFF5E)
        return static_cast<wchar_t>(c - 0xFEE0);
    // CJK punctuation has no half-width form; one placeholder code keeps one character per character.
    if (c >= 0x3001 && c <= 0x303E)
        return static_cast<wchar_t>(0x14);
    return c;
}
}  // namespace

std::wstring NormalizeWideText(const std::wstring& text)
{
    std::wstring out(text);
    for (wchar_t& c : out)
        c = NormalizeWideChar(c);
    return out;
}

void NormalizeFullWidth(wchar_t* buffer, int count)
{
    if (!buffer)
        return;
    for (int i = 0; i < count; ++i) {
        if (buffer[i])
            buffer[i] = NormalizeWideChar(buffer[i]);
    }
}

std::wstring DefaultSampleText()
{
    return L"abcdefghijklmnopqrstuvwxyz\r\nABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n1234567890 $%&(.,;:'\"!?)";
}

bool AddUniqueString(CStringArray& list, const std::wstring& text)
{
    for (const auto& entry : list) {
        if (CompareLocale(entry, text, true) == 0)
            return false;
    }
    list.push_back(text);
    return true;
}

bool RemoveMatchingString(CStringArray& list, const std::wstring& text)
{
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (CompareLocale(*it, text, true) == 0) {
            list.erase(it);
            return true;
        }
    }
    return false;
}

size_t SortedInsert(CStringArray& list, const std::wstring& text)
{
    size_t low = 0;
    size_t high = list.size();
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        int order = CompareLocale(text, list[middle], false);
        if (order == 0) {
            low = middle;
            break;
        }
        if (order < 0)
            high = middle;
        else
            low = middle + 1;
    }
    list.insert(list.begin() + static_cast<ptrdiff_t>(low), text);
    return low;
}

int SortedFind(const CStringArray& list, const std::wstring& text)
{
    size_t low = 0;
    size_t high = list.size();
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        int order = CompareLocale(text, list[middle], true);
        if (order == 0)
            return static_cast<int>(middle);
        if (order < 0)
            high = middle;
        else
            low = middle + 1;
    }
    return -1;
}

namespace {
template <typename Numbers>
std::wstring JoinNumbers(const Numbers& numbers, const std::wstring& separator, const wchar_t* format)
{
    std::wstring out;
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (i)
            out += separator;
        out += FormatString(format ? format : L"%u", static_cast<unsigned>(numbers[i]));
    }
    return out;
}
}  // namespace

std::wstring JoinNumberArray(const CWordArray& numbers, const std::wstring& separator, const wchar_t* format)
{
    return JoinNumbers(numbers, separator, format);
}

std::wstring JoinNumberArray(const CDWordArray& numbers, const std::wstring& separator, const wchar_t* format)
{
    return JoinNumbers(numbers, separator, format);
}

bool IsSingleEmpty(const CStringArray& list)
{
    return list.size() == 1 && list[0].empty();
}

std::wstring LoadSubString(UINT id, HMODULE module, int index, wchar_t separator)
{
    std::wstring text;
    if (module) {
        const wchar_t* resource = nullptr;
        int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&resource), 0);
        if (length > 0 && resource)
            text.assign(resource, static_cast<size_t>(length));
    } else {
        text = LoadResString(id);
    }
    if (index < 0)
        return text;
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        size_t at = text.find(separator, start);
        if (at == std::wstring::npos)
            return {};
        start = at + 1;
    }
    size_t end = text.find(separator, start);
    return text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

bool FindBytes(const uint8_t* buffer, const uint8_t* pattern, size_t patternLength, const uint8_t* end,
               const uint8_t** outPos)
{
    if (!buffer || !pattern || !end || patternLength == 0 || end < buffer ||
        static_cast<size_t>(end - buffer) < patternLength)
        return false;
    const uint8_t* last = end - patternLength;
    for (const uint8_t* p = buffer; p <= last; ++p) {
        if (*p == pattern[0] && std::memcmp(p, pattern, patternLength) == 0) {
            if (outPos)
                *outPos = p;
            return true;
        }
    }
    return false;
}

std::wstring URLEncode(const std::wstring& text, UINT codePage)
{
    int length = 0;
    auto bytes = WideToMultiByte(text.c_str(), codePage, &length);
    if (!bytes)
        return {};
    std::wstring out;
    for (int i = 0; i < length; ++i) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        if ((b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z'))
            out += static_cast<wchar_t>(b);
        else if (b == ' ' || (b >= '\t' && b <= '\r'))
            out += L'+';
        else
            out += FormatString(L"%%%02X", b);
    }
    return out;
}

std::wstring Base64Encode(const std::wstring& text)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    int length = 0;
    auto bytes = WideToMultiByte(text.c_str(), CP_UTF8, &length);
    if (!bytes)
        return {};
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.get());
    std::wstring encoded;
    for (int i = 0; i < length; i += 3) {
        unsigned value = data[i] << 16;
        if (i + 1 < length)
            value |= data[i + 1] << 8;
        if (i + 2 < length)
            value |= data[i + 2];
        encoded += static_cast<wchar_t>(alphabet[(value >> 18) & 63]);
        encoded += static_cast<wchar_t>(alphabet[(value >> 12) & 63]);
        encoded += i + 1 < length ? static_cast<wchar_t>(alphabet[(value >> 6) & 63]) : L'=';
        encoded += i + 2 < length ? static_cast<wchar_t>(alphabet[value & 63]) : L'=';
    }
    // Lines of 76 characters, as in MIME.
    std::wstring out;
    for (size_t i = 0; i < encoded.size(); i += 76) {
        if (i)
            out += L"\r\n";
        out += encoded.substr(i, 76);
    }
    return out;
}

namespace {
// libstdc++'s std::regex matches by recursion, about one level per character and repetition, and
// near 1 KiB of stack per character for a simple "(a|b)*": a few thousand characters overflow the
// 2 MiB stack of an ordinary thread and end the process. So the search runs on a thread of its
// own with a large reserved stack (committed only as it is used), and longer texts are refused,
// which keeps several KiB of that stack for each character.
constexpr size_t kMaxRegexInput = 64 * 1024;
constexpr SIZE_T kRegexStackReserve = 256 * 1024 * 1024;

template <typename Char>
struct RegexJob {
    const Char* begin;
    const Char* end;
    const std::basic_string<Char>* pattern;
    bool ignoreCase;
    bool previousAvailable;  // the text goes on before begin (for ^ and \b)
    int group;
    bool groupMayBeMissing = false;  // a match without that group still counts, with an empty capture
    bool found = false;
    std::basic_string<Char> out;
    size_t matchEnd = 0;  // characters from begin to the end of the match
};

template <typename Char>
void RunRegexJob(RegexJob<Char>& job)
{
    auto syntax = std::regex_constants::ECMAScript;
    if (job.ignoreCase)
        syntax |= std::regex_constants::icase;
    std::basic_regex<Char> expression(*job.pattern, syntax);
    auto flags = job.previousAvailable ? std::regex_constants::match_prev_avail : std::regex_constants::match_default;
    std::match_results<const Char*> match;
    if (!std::regex_search(job.begin, job.end, match, expression, flags))
        return;
    if (job.group < 0 || static_cast<size_t>(job.group) >= match.size()) {
        if (!job.groupMayBeMissing)
            return;
    } else {
        job.out = match[static_cast<size_t>(job.group)].str();
    }
    job.matchEnd = static_cast<size_t>(match.position(0) + match.length(0));
    job.found = true;
}

template <typename Char>
DWORD WINAPI RegexThread(void* parameter)
{
    auto& job = *static_cast<RegexJob<Char>*>(parameter);
    try {
        RunRegexJob(job);
    } catch (...) {
        job.found = false;  // a bad expression, or one too complex to run
    }
    return 0;
}

template <typename Char>
bool RunRegex(RegexJob<Char>& job)
{
    if (static_cast<size_t>(job.end - job.begin) > kMaxRegexInput)
        return false;
    HANDLE thread = CreateThread(nullptr, kRegexStackReserve, RegexThread<Char>, &job,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread)
        return false;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return job.found;
}
}  // namespace

bool RegexSearch(const std::wstring& text, const std::wstring& pattern, std::wstring& out, bool wide, bool ignoreCase,
                 int group)
{
    out.clear();
    if (text.size() > kMaxRegexInput)
        return false;
    if (wide) {
        RegexJob<wchar_t> job{text.data(), text.data() + text.size(), &pattern, ignoreCase, false, group};
        if (!RunRegex(job))
            return false;
        out = std::move(job.out);
        return true;
    }
    int textLength = 0;
    int patternLength = 0;
    auto narrowText = WideToMultiByte(text.c_str(), CP_ACP, &textLength);
    auto narrowPattern = WideToMultiByte(pattern.c_str(), CP_ACP, &patternLength);
    if (!narrowText || !narrowPattern)
        return false;
    std::string narrowExpression(narrowPattern.get(), static_cast<size_t>(patternLength));
    RegexJob<char> job{narrowText.get(), narrowText.get() + textLength, &narrowExpression, ignoreCase, false, group};
    if (!RunRegex(job))
        return false;
    if (job.out.empty())
        return true;
    int converted = 0;
    BSTR found = MultiByteToBSTR(job.out.data(), static_cast<int>(job.out.size()), &converted, CP_ACP);
    if (!found)
        return false;
    out.assign(found, static_cast<size_t>(converted));
    SysFreeString(found);
    return true;
}

bool RegexSearch(const std::wstring& text, const std::wstring& pattern, std::wstring& out, bool ignoreCase,
                 size_t& position)
{
    out.clear();
    if (position > text.size())
        return false;
    RegexJob<wchar_t> job{text.data() + position, text.data() + text.size(), &pattern, ignoreCase, position > 0, 1};
    job.groupMayBeMissing = true;
    if (!RunRegex(job))
        return false;
    out = std::move(job.out);
    position += job.matchEnd;
    return true;
}

// ---- Dates ---------------------------------------------------------------------------------

OleDate OleDateNow()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    now.wMilliseconds = 0;
    OleDate date;
    date.valid = SystemTimeToOleDate(now, date.date);
    return date;
}

bool SystemTimeToOleDate(const SYSTEMTIME& systemTime, double& outDate)
{
    SYSTEMTIME copy = systemTime;
    copy.wMilliseconds = 0;
    double date = 0.0;
    if (!SystemTimeToVariantTime(&copy, &date))
        return false;
    SYSTEMTIME back;
    if (!VariantTimeToSystemTime(date, &back))
        return false;
    if (back.wYear != systemTime.wYear || back.wMonth != systemTime.wMonth || back.wDay != systemTime.wDay ||
        back.wHour != systemTime.wHour || back.wMinute != systemTime.wMinute || back.wSecond != systemTime.wSecond)
        return false;
    outDate = date;
    return true;
}

std::wstring FormatOleDate(const OleDate& date)
{
    SYSTEMTIME st;
    if (!date.valid || !VariantTimeToSystemTime(date.date, &st))
        return {};
    wchar_t day[128] = {};
    wchar_t time[128] = {};
    if (!GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, day, 128))
        day[0] = 0;
    if (!GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &st, nullptr, time, 128))
        time[0] = 0;
    return std::wstring(day) + L" " + time;
}

std::wstring FormatXmlDateTime(const OleDate& date, const wchar_t* format)
{
    SYSTEMTIME st;
    tm fields;
    if (!date.valid || !format || !OleDateToTm(date.date, st, fields))
        return {};
    std::wstring out;
    for (const wchar_t* f = format; *f; ++f) {
        if (*f != L'%') {
            out += *f;
            continue;
        }
        const wchar_t* start = f;
        bool alternate = f[1] == L'#';
        if (alternate)
            ++f;
        wchar_t code = f[1];
        if (!code) {
            out.append(start);
            break;
        }
        ++f;
        switch (code) {
        case L'Y':
            out += FormatString(L"%04d", st.wYear);
            break;
        case L'y':
            out += FormatString(L"%02d", st.wYear % 100);
            break;
        case L'c':
            if (alternate)
                out += FormatString(L"%s, %s %d, %04d, %02d:%02d:%02d", kDayNames[fields.tm_wday],
                                    kMonthNames[fields.tm_mon], st.wDay, st.wYear, st.wHour, st.wMinute,
                                    st.wSecond);
            else
                out += FormatString(L"%02d/%02d/%02d %02d:%02d:%02d", st.wMonth, st.wDay, st.wYear % 100, st.wHour,
                                    st.wMinute, st.wSecond);
            break;
        case L'x':
            if (alternate)
                out += FormatString(L"%s, %s %d, %04d", kDayNames[fields.tm_wday], kMonthNames[fields.tm_mon],
                                    st.wDay, st.wYear);
            else
                out += FormatString(L"%02d/%02d/%02d", st.wMonth, st.wDay, st.wYear % 100);
            break;
        default: {
            std::wstring one(start, f + 1);
            wchar_t buffer[256];
            size_t n = wcsftime(buffer, 256, one.c_str(), &fields);
            out.append(buffer, n);
            break;
        }
        }
    }
    return out;
}

bool ParseXmlDateTime(const std::wstring& text, OleDate& out)
{
    out = OleDate{};
    // yyyy-mm-ddThh:mm:ss; anything after the seconds (fractions, a zone) is not read.
    if (text.size() < 19)
        return false;
    const wchar_t* s = text.c_str();
    if (s[4] != L'-' || s[7] != L'-' || (s[10] != L'T' && s[10] != L't' && s[10] != L' ') || s[13] != L':' ||
        s[16] != L':')
        return false;
    int year = ParseDigits(s, 4);
    int month = ParseDigits(s + 5, 2);
    int day = ParseDigits(s + 8, 2);
    int hour = ParseDigits(s + 11, 2);
    int minute = ParseDigits(s + 14, 2);
    int second = ParseDigits(s + 17, 2);
    if (year < 100 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59)
        return false;
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    out.valid = SystemTimeToOleDate(st, out.date);
    if (!out.valid)
        out.date = 0.0;
    return out.valid;
}

// ---- Errors --------------------------------------------------------------------------------

bool FormatErrorText(DWORD code, std::wstring& out)
{
    wchar_t* message = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, LANG_USER_DEFAULT, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::wstring text;
    if (length && message) {
        text.assign(message, length);
        while (!text.empty() && IsSpace(text.back()))
            text.pop_back();
    }
    if (message)
        LocalFree(message);
    out = FormatString(L"%#x: %s", static_cast<unsigned>(code), text.c_str());
    return length != 0;
}

void ShowErrorBox(DWORD code)
{
    std::wstring text;
    FormatErrorText(code, text);
    MessageBoxW(GetActiveWindow(), text.c_str(), L"Error", MB_OK | MB_ICONINFORMATION);
}
