#include "core/resource_strings.h"

#include <cstdarg>
#include <cwchar>

namespace {
HINSTANCE g_resourceModule = nullptr;
}

HINSTANCE GetResourceModule()
{
    return g_resourceModule ? g_resourceModule : GetModuleHandleW(nullptr);
}

void SetResourceModule(HINSTANCE module)
{
    g_resourceModule = module;
}

std::wstring LoadResString(UINT id)
{
    // With a zero length LoadStringW hands out a pointer into the resource itself.
    const wchar_t* text = nullptr;
    int length = LoadStringW(GetResourceModule(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text)
        return {};
    return std::wstring(text, static_cast<size_t>(length));
}

std::wstring FormatStringV(const wchar_t* format, va_list args)
{
    if (!format)
        return {};
    std::wstring out(256, L'\0');
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int n = _vsnwprintf(out.data(), out.size(), format, copy);
        va_end(copy);
        if (n >= 0 && static_cast<size_t>(n) < out.size()) {
            out.resize(static_cast<size_t>(n));
            return out;
        }
        if (out.size() > (1u << 24))
            return {};
        out.resize(out.size() * 2);
    }
}

std::wstring FormatString(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring out = FormatStringV(format, args);
    va_end(args);
    return out;
}
