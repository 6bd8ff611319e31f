#pragma once
// Access to the locale resource library: every text, dialog and menu is loaded from it by id.
#include <windows.h>
#include <string>

// The module that texts are loaded from (the locale resource library once it is loaded; the
// program's own module until then).
HINSTANCE GetResourceModule();
void SetResourceModule(HINSTANCE module);

// The string with this id, or an empty string when it does not exist.
std::wstring LoadResString(UINT id);

// printf-style formatting into a std::wstring.
std::wstring FormatString(const wchar_t* format, ...);
std::wstring FormatStringV(const wchar_t* format, va_list args);
