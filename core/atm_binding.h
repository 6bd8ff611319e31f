#pragma once
// Binding to Adobe Type Manager, where it handles Type 1 fonts: bound once at start-up, and only its
// presence is asked for.
#include <windows.h>

// 1 when the Type 1 manager is bound and working, else 0; a second call after success returns 1 at once.
int AtmInitialize();
// Releases the binding: the manager's own result, -6 when nothing was bound, -227 while the manager is
// still in use (the binding then stays).
int AtmFinish();

// What the binding holds; for tests and diagnostics.
struct AtmBindingState {
    bool bound = false;
    bool windows95 = false;   // VER_PLATFORM_WIN32_WINDOWS
    HMODULE library = nullptr;  // "ATMLIB"
    int entryPoints = 0;        // entry points found
};
AtmBindingState GetAtmBindingState();

// The Windows NT route against a library of the given name (the program uses "ATMLIB").
int AtmInitializeFromLibrary(const char* libraryName);

constexpr int kAtmNotBound = -6;
constexpr int kAtmStillInUse = -227;
