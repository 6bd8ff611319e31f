#pragma once
// Free helpers that every part of the program uses: paths, texts, comparison, dates.
#include <windows.h>
#include <commdlg.h>
#undef GetFileTitle  // ours takes and returns strings; the common-dialog macro would rename it

#include <cstdint>
#include <string>

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

// Texts
bool SplitString(const std::wstring& text, const std::wstring& separator, CStringArray* out);
int CompareLocale(const std::wstring& a, const std::wstring& b, bool ignoreCase);
int CompareLocaleN(const wchar_t* a, const wchar_t* b, int lengthA, int lengthB, bool ignoreCase);
bool CompareText(const std::wstring& text, const std::wstring& pattern, bool caseSensitive, bool exact);
bool WildcardMatch(const wchar_t* text, const wchar_t* pattern);
bool IsAsciiText(const std::wstring& text);
uint64_t ParseHex(const wchar_t* text, int length, int* outStop);
std::wstring FormatThousands(uint64_t n);

// Dates
bool SystemTimeToOleDate(const SYSTEMTIME& systemTime, double& outDate);
std::wstring FormatOleDate(const OleDate& date);
std::wstring FormatXmlDateTime(const OleDate& date, const wchar_t* format = L"%Y-%m-%dT%H:%M:%S");
bool ParseXmlDateTime(const std::wstring& text, OleDate& out);

// Errors
bool FormatErrorText(DWORD code, std::wstring& out);
void ShowErrorBox(DWORD code);
