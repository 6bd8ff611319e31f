// Resources and version numbers of modules.
#include <windows.h>
#include <shlwapi.h>

#include <cstring>

#include "core/helpers.h"
#include "core/resource_strings.h"

bool LoadResourceToStream(const wchar_t* id, const wchar_t* type, IStream* stream)
{
    if (!stream)
        return false;
    HMODULE module = GetResourceModule();
    HRSRC resource = FindResourceW(module, id, type);
    if (!resource)
        return false;
    DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        return false;
    ULONG written = 0;
    return SUCCEEDED(stream->Write(data, size, &written)) && written == size;
}

std::wstring GetModuleVersionString(UINT id, HMODULE module)
{
    if (!module)
        module = GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(16) /* RT_VERSION */);
    if (!resource)
        return {};
    const DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    const auto* data = loaded ? static_cast<const unsigned char*>(LockResource(loaded)) : nullptr;
    if (!data)
        return {};
    // The fixed file information follows the root block's key, 32-bit aligned; find it by its
    // signature within the resource rather than trusting the header's lengths.
    for (DWORD offset = 0; offset + sizeof(VS_FIXEDFILEINFO) <= size; offset += 4) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, data + offset, sizeof(info));
        if (info.dwSignature == 0xFEEF04BD)
            return FormatString(L"%u.%u.%ld.%ld", HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
                                static_cast<long>(HIWORD(info.dwFileVersionLS)),
                                static_cast<long>(LOWORD(info.dwFileVersionLS)));
    }
    return {};
}

DWORD GetDllVersion(const wchar_t* dll)
{
    if (!dll)
        return 0;
    HMODULE module = LoadLibraryW(dll);
    if (!module)
        return 0;
    DWORD version = 0;
    auto get = reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetVersion")));
    if (get) {
        DLLVERSIONINFO info = {};
        info.cbSize = sizeof(info);
        if (SUCCEEDED(get(&info)))
            version = (info.dwMajorVersion << 16) | (info.dwMinorVersion & 0xFFFF);
    }
    FreeLibrary(module);
    return version;
}
