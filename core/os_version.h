#pragma once
// The Windows version the program runs on, read once.
#include <windows.h>

class OsVersion {
public:
    // Reads the running system's version.
    OsVersion();
    // A version given outright (platform is VER_PLATFORM_WIN32_NT, ..._WINDOWS, ...).
    OsVersion(DWORD platform, DWORD major, DWORD minor);

    bool IsValid() const { return valid_; }
    DWORD Platform() const { return platform_; }
    DWORD Major() const { return major_; }
    DWORD Minor() const { return minor_; }
    bool IsNT() const { return valid_ && platform_ == VER_PLATFORM_WIN32_NT; }

    bool IsWindows2000OrLater() const;
    bool IsWindowsXPOrLater() const;
    bool IsVistaOrLater() const;

private:
    bool valid_ = false;
    DWORD platform_ = 0;
    DWORD major_ = 0;
    DWORD minor_ = 0;
};

// The one version object of the program.
const OsVersion& GetOsVersion();
