#pragma once
// What the font-resource layer and the installed-font lists need of the running program: the GDI32
// module, the system fonts folder, the administrator flag and where the system's font registry lives.
// The application fills it once at start-up; tests replace parts of it (another registry root, "not an
// administrator", error boxes switched off).
#include <windows.h>

#include <string>
#include <vector>

#include "core/os_version.h"

struct FontEnvironment {
    HMODULE gdi32 = nullptr;   // loaded at start-up, freed at exit
    std::wstring fontsFolder;  // the shell folder CSIDL_FONTS; empty when the lookup failed
    bool administrator = false;

    // The font registry: root key and an optional key path below it in front of the version key
    // ("Software\Microsoft\Windows NT\CurrentVersion"). The program uses HKEY_LOCAL_MACHINE and no prefix.
    HKEY registryRoot = HKEY_LOCAL_MACHINE;
    std::wstring registryPrefix;

    // The version tests; null means the running system's.
    const OsVersion* version = nullptr;

    // Error boxes of the font layer go through here so that a test can record them instead.
    void (*errorBox)(DWORD code) = nullptr;
    // Adds FOF_NO_UI to every shell file operation of the font layer (no progress or error windows).
    bool quietShellOperations = false;
};

FontEnvironment& GetFontEnvironment();

// Fills the process environment: loads GDI32 (once), reads the fonts folder and the administrator flag.
void InitFontEnvironment();
// Frees the GDI32 module taken by InitFontEnvironment.
void ReleaseFontEnvironment();

// Whether the user belongs to the local Administrators group.
bool IsUserAdministrator();

// Helpers over the environment.
const OsVersion& FontEnvironmentVersion();
// "Software\Microsoft\Windows NT\CurrentVersion" (NT) or "Software\Microsoft\Windows\CurrentVersion",
// behind the registry prefix when one is set.
std::wstring FontRegistryVersionKey();
void ShowFontErrorBox(DWORD code);
// A folder without trailing backslashes, with forward slashes turned into backslashes.
std::wstring NormalizeFolder(const std::wstring& folder);
// Two folders name the same place: normalised and compared without case.
bool IsSameFolder(const std::wstring& a, const std::wstring& b);

// Registry access shared by the font layer and the installed-font lists.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() { Close(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    LSTATUS Open(HKEY parent, const std::wstring& path, REGSAM access);
    LSTATUS Create(HKEY parent, const std::wstring& path, REGSAM access);
    void Close();
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// One value of a key as enumerated, its data sized to what the registry holds.
struct RegistryValue {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;

    bool IsText() const { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }
    // The data as characters with a zero appended, so that a value stored without its terminator reads safely.
    std::wstring Characters() const;
    // The text up to the first zero; empty unless the value holds text.
    std::wstring Text() const;
};

// The value at index; false once the enumeration ends or fails.
bool EnumRegistryValue(HKEY key, DWORD index, RegistryValue& out);
