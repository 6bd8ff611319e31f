#include "core/os_version.h"

OsVersion::OsVersion()
{
    OSVERSIONINFOEXW extended = {};
    extended.dwOSVersionInfoSize = sizeof(extended);
    // GetVersionExW is deprecated in the SDK but is what this test is built on.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended))) {
        valid_ = true;
    } else {
        extended = {};
        extended.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
        valid_ = GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended)) != FALSE;
    }
#pragma GCC diagnostic pop
    if (valid_) {
        platform_ = extended.dwPlatformId;
        major_ = extended.dwMajorVersion;
        minor_ = extended.dwMinorVersion;
    }
}

OsVersion::OsVersion(DWORD platform, DWORD major, DWORD minor)
    : valid_(true), platform_(platform), major_(major), minor_(minor)
{
}

bool OsVersion::IsWindows2000OrLater() const
{
    return IsNT() && major_ >= 5;
}

bool OsVersion::IsWindowsXPOrLater() const
{
    // 5.1 and every later version, 6.0 and 10.0 included.
    return IsNT() && (major_ > 5 || (major_ == 5 && minor_ >= 1));
}

bool OsVersion::IsVistaOrLater() const
{
    return IsNT() && major_ >= 6;
}

const OsVersion& GetOsVersion()
{
    static const OsVersion version;
    return version;
}
