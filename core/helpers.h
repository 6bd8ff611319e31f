#pragma once
// Free helpers that every part of the program uses: paths, texts, comparison, dates.
#include <windows.h>
#include <commdlg.h>
#undef GetFileTitle  // ours takes and returns strings; the common-dialog macro would rename it

#include <objidl.h>
#include <shlobj.h>

#include <cstdint>
#include <memory>
#include <string>

#include "core/os_version.h"
#include "core/types.h"

// An OLE automation date (days since 30 Dec 1899, local time) with its validity status.
struct OleDate {
    double date = 0.0;
    bool valid = false;
};
OleDate OleDateNow();

// Paths
std::wstring CombinePath(const std::wstring& path, const std::wstring& folder);
std::wstring MakeRelativePath(const std::wstring& path, const std::wstring& baseFolder, bool pathIsFile, bool keepName);
std::wstring GetFileTitle(const std::wstring& path, bool keepExtension, bool keepFolder);
std::wstring GetFileExt(const std::wstring& path);
std::wstring GetFolder(const std::wstring& path);
bool FileExists(const wchar_t* path);
inline bool FileExists(const std::wstring& path) { return FileExists(path.c_str()); }
bool SplitType1Pair(const std::wstring& pair, std::wstring& outPfm, std::wstring& outPfb);
bool IsPathDirectlyInFolder(const std::wstring& path, const std::wstring& folder);
// A shell folder (CSIDL_...) by path; empty when the shell cannot say.
std::wstring GetShellFolderPath(int csidl);
// The shell's item list of a path (free with CoTaskMemFree); null on failure.
LPITEMIDLIST GetPidlFromPath(const std::wstring& path);
// Opens the file browser on the first path of a "|"-separated list: the folder itself, or its
// parent with the item selected.
bool ShowInExplorer(const std::wstring& paths, bool openFolder);

// Texts
bool SplitString(const std::wstring& text, const std::wstring& separator, CStringArray* out);
int CompareLocale(const std::wstring& a, const std::wstring& b, bool ignoreCase);
int CompareLocaleN(const wchar_t* a, const wchar_t* b, int lengthA, int lengthB, bool ignoreCase);
bool CompareText(const std::wstring& text, const std::wstring& pattern, bool caseSensitive, bool exact);
bool WildcardMatch(const wchar_t* text, const wchar_t* pattern);
bool IsAsciiText(const std::wstring& text);
// Hexadecimal digits of at most length characters (negative: up to the terminator); outStop gets
// the index of the first character not read.
uint64_t ParseHex(const wchar_t* text, int length, int* outStop);
std::wstring FormatThousands(uint64_t n);

// Code pages. The BSTR is the caller's (SysFreeString); null on any failure.
// `length` bytes in the code page as a wide string; empty when there are none or they do not convert.
std::wstring MultiByteToWide(const char* text, size_t length, UINT codePage);
BSTR MultiByteToBSTR(const char* text, int byteCount, int* outLength, UINT codePage);
inline BSTR MultiByteToBSTR(const char* text, int* outLength, UINT codePage)
{
    return MultiByteToBSTR(text, -1, outLength, codePage);
}
// A zero-terminated byte string in the code page; null on failure. outLength: bytes without the terminator.
std::unique_ptr<char[]> WideToMultiByte(const wchar_t* text, UINT codePage, int* outLength = nullptr);

std::wstring MakeSearchPattern(const std::wstring& text);
bool NeedsXmlEscape(const std::wstring& text, bool checkSpaces);
// One UTF-16 unit: surrogates count as invalid here, since a single unit cannot tell a pair from a lone half.
bool IsInvalidXmlChar(wchar_t c);
// Replaces characters that XML does not allow in the first `length` characters (0 = all); stops at a zero.
// A well-formed surrogate pair is kept; a lone surrogate is replaced.
void ReplaceInvalidXmlChars(wchar_t* text, int length, wchar_t replacement);
std::wstring NormalizeWideText(const std::wstring& text);
void NormalizeFullWidth(wchar_t* buffer, int count);
std::wstring DefaultSampleText();

// Lists of texts
bool AddUniqueString(CStringArray& list, const std::wstring& text);
bool RemoveMatchingString(CStringArray& list, const std::wstring& text);
// Keeps a list sorted by locale comparison; returns the position of the new entry.
size_t SortedInsert(CStringArray& list, const std::wstring& text);
// Position of an entry equal to text ignoring case in a sorted list, or -1.
int SortedFind(const CStringArray& list, const std::wstring& text);
std::wstring JoinNumberArray(const CWordArray& numbers, const std::wstring& separator, const wchar_t* format = L"%d");
std::wstring JoinNumberArray(const CDWordArray& numbers, const std::wstring& separator, const wchar_t* format = L"%u");
bool IsSingleEmpty(const CStringArray& list);
// The index-th part of a resource string split at separator (empty when there is no such part);
// the whole string for a negative index. Without a module, from the locale resource library.
std::wstring LoadSubString(UINT id, HMODULE module, int index, wchar_t separator = L'\n');
inline std::wstring LoadSubString(UINT id, int index, wchar_t separator = L'\n')
{
    return LoadSubString(id, nullptr, index, separator);
}

// Bytes and encodings
// First occurrence of the pattern that ends at or before end; false when there is none.
bool FindBytes(const uint8_t* buffer, const uint8_t* pattern, size_t patternLength, const uint8_t* end,
               const uint8_t** outPos);
std::wstring URLEncode(const std::wstring& text, UINT codePage);
std::wstring Base64Encode(const std::wstring& text);
// Capture group `group` of the first match of an ECMAScript expression. `wide` searches the UTF-16
// text itself, otherwise its bytes in the ANSI code page.
bool RegexSearch(const std::wstring& text, const std::wstring& pattern, std::wstring& out, bool wide, bool ignoreCase,
                 int group);
// From position on: the first group of the first match (empty without groups); position moves past
// the match, so that passing it back walks all matches.
bool RegexSearch(const std::wstring& text, const std::wstring& pattern, std::wstring& out, bool ignoreCase,
                 size_t& position);

// Dates
bool SystemTimeToOleDate(const SYSTEMTIME& systemTime, double& outDate);
std::wstring FormatOleDate(const OleDate& date);
std::wstring FormatXmlDateTime(const OleDate& date, const wchar_t* format = L"%Y-%m-%dT%H:%M:%S");
bool ParseXmlDateTime(const std::wstring& text, OleDate& out);

// Errors
bool FormatErrorText(DWORD code, std::wstring& out);
void ShowErrorBox(DWORD code);

// Clipboard file lists. Effects: 1 copy, 2 move.
bool CopyFilesToClipboard(const CStringArray& files, bool copy);
bool ReadClipboardFiles(CStringArray& outFiles, DWORD* outEffect);
bool GetClipboardFilesEffect(bool& outIsCopy);
bool EmptyClipboardNow();
bool SetClipboardText(const std::wstring& text);

// Windows, fonts and menus
// The caller owns the font (DeleteObject).
HFONT CreateMessageFont(bool bold);
int GetTextWidth(HFONT font, const std::wstring& text);
int GetFontTextHeight(HFONT font);
void FillGradientRect(HDC dc, const RECT& rect, COLORREF colour1, COLORREF colour2, bool vertical);
// Resource of the locale resource library into a stream.
bool LoadResourceToStream(const wchar_t* id, const wchar_t* type, IStream* stream);
void CopyMenuItems(HMENU source, HMENU target);
int FindMenuItemPos(HMENU menu, UINT id);
void ForceForegroundWindow(HWND window);
bool IsMouseButtonDown(bool primary);
int GetAcceleratedStep(int a, int b, int acceleration);
// "a.b.c.d" of the file version in a version resource of the module (the program when null).
std::wstring GetModuleVersionString(UINT id = 1, HMODULE module = nullptr);
// (major << 16) | minor from the library's DllGetVersion; 0 when it has none.
DWORD GetDllVersion(const wchar_t* dll);
