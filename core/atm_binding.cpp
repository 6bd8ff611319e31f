#include "core/atm_binding.h"

#include <cstddef>
#include <iterator>

namespace {

// The client entry points of the Windows NT library, in the order they are bound.
const char* const kAtmEntryNames[] = {
    "ATMProperlyLoaded", "ATMFinish", "ATMAddFontA", "ATMBBoxBaseXYShowTextA", "ATMBeginFontChange",
    "ATMForceFontChange", "ATMEndFontChange", "ATMEnumFontsA", "ATMEnumMMFontsA", "ATMFontAvailableA",
    "ATMFontSelected", "ATMFontStatusA", "ATMGetBuildStrA", "ATMGetFontBBox", "ATMGetFontPathsA",
    "ATMGetMenuNameA", "ATMGetMenuNameW", "ATMGetNtmFieldsA", "ATMGetNtmFieldsW", "ATMGetOutlineA",
    "ATMGetOutlineW", "ATMGetPostScriptNameA", "ATMGetPostScriptNameW", "ATMGetVersion", "ATMGetVersionExA",
    "ATMMakePFMA", "ATMMakePSSA", "ATMRemoveFontA", "ATMRemoveFontW", "ATMSelectObject", "ATMSetFlags",
    "ATMXYShowTextA", "ATMGetGlyphListA",
};
constexpr size_t kAtmEntryCount = std::size(kAtmEntryNames);
constexpr size_t kProperlyLoaded = 0;
constexpr size_t kFinish = 1;

using AtmIntProc = int(WINAPI*)();

struct AtmBinding {
    bool bound = false;
    bool windows95 = false;
    HMODULE library = nullptr;
    FARPROC entries[kAtmEntryCount] = {};
};

// One record for the process; zero at load.
AtmBinding g_atm;

bool ReadPlatform(bool& windows95)
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info))
        return false;
#pragma GCC diagnostic pop
    windows95 = info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
    return true;
}

int BindNt(const char* libraryName)
{
    g_atm.library = LoadLibraryA(libraryName);
    if (!g_atm.library)
        return 0;
    for (size_t i = 0; i < kAtmEntryCount; ++i)
        g_atm.entries[i] = GetProcAddress(g_atm.library, kAtmEntryNames[i]);
    const auto properlyLoaded = reinterpret_cast<AtmIntProc>(reinterpret_cast<void*>(g_atm.entries[kProperlyLoaded]));
    return properlyLoaded && properlyLoaded() != 0 ? 1 : 0;
}

int Bind(const char* libraryName)
{
    if (g_atm.bound)
        return 1;
    bool windows95 = false;
    if (!ReadPlatform(windows95))
        return 0;
    g_atm.windows95 = windows95;
    // The Windows 95 family reaches the manager only through 16-bit thunks, which no current system
    // offers: the manager counts as absent there.
    const int present = windows95 ? 0 : BindNt(libraryName);
    if (present) {
        g_atm.bound = true;
        return 1;
    }
    AtmFinish();
    return 0;
}

}  // namespace

int AtmInitialize()
{
    return Bind("ATMLIB");
}

int AtmInitializeFromLibrary(const char* libraryName)
{
    return Bind(libraryName);
}

int AtmFinish()
{
    int result = kAtmNotBound;
    if (!g_atm.windows95) {
        const auto finish = reinterpret_cast<AtmIntProc>(reinterpret_cast<void*>(g_atm.entries[kFinish]));
        if (finish) {
            result = finish();
            if (result == kAtmStillInUse)
                return result;
        }
    }
    for (FARPROC& entry : g_atm.entries)
        entry = nullptr;
    if (g_atm.library) {
        FreeLibrary(g_atm.library);
        g_atm.library = nullptr;
    }
    g_atm.bound = false;
    return result;
}

AtmBindingState GetAtmBindingState()
{
    AtmBindingState state;
    state.bound = g_atm.bound;
    state.windows95 = g_atm.windows95;
    state.library = g_atm.library;
    for (FARPROC entry : g_atm.entries)
        if (entry)
            ++state.entryPoints;
    return state;
}
