#include "storage/disc_catalogue.h"

#include <cwctype>

#include "core/serial_count.h"

CDiscCollection g_discCollection;

BOOL ReadVolumeSerial(wchar_t letter, DWORD& serial)
{
    const wchar_t root[] = {letter, L':', L'\\', 0};
    wchar_t volumeName[256];
    wchar_t fileSystemName[256];
    DWORD maxComponent = 0;
    DWORD flags = 0;
    serial = 0;
    return GetVolumeInformationW(root, volumeName, 256, &serial, &maxComponent, &flags, fileSystemName, 256);
}

namespace {

const DiscDriveProbe* g_probe = nullptr;

std::wstring SystemLogicalDrives()
{
    wchar_t buffer[256] = {};
    DWORD length = GetLogicalDriveStringsW(256, buffer);
    // A longer list than the buffer leaves the buffer unfilled; the drives then go unlisted.
    if (length == 0 || length > 255)
        return {};
    return std::wstring(buffer, length);
}

}  // namespace

void SetDiscDriveProbe(const DiscDriveProbe* probe) { g_probe = probe; }

void CDiscCollection::Fill()
{
    clear();
    const std::wstring drives = g_probe && g_probe->logicalDrives ? g_probe->logicalDrives() : SystemLogicalDrives();
    for (size_t at = 0; at < drives.size();) {
        const size_t end = drives.find(L'\0', at);
        const size_t stop = end == std::wstring::npos ? drives.size() : end;
        if (stop > at) {
            const wchar_t drive[] = {drives[at], L':', 0};
            const UINT type = g_probe && g_probe->driveType ? g_probe->driveType(drive) : GetDriveTypeW(drive);
            if (type == DRIVE_CDROM) {
                CDiscItem item;
                item.letter = drive[0];
                DWORD serial = 0;
                const BOOL read = g_probe && g_probe->readSerial ? g_probe->readSerial(item.letter, serial)
                                                                : ReadVolumeSerial(item.letter, serial);
                if (read) {
                    item.serial = serial;
                    push_back(item);
                }
            }
        }
        at = stop + 1;
    }
}

uint32_t CDiscCollection::FindSerialByLetter(wchar_t letter) const
{
    // Stored folders may carry a lower-case drive letter; the system lists upper case.
    const wchar_t wanted = static_cast<wchar_t>(std::towupper(letter));
    for (const CDiscItem& item : *this)
        if (static_cast<wchar_t>(std::towupper(item.letter)) == wanted)
            return item.serial;
    return 0;
}

wchar_t CDiscCollection::FindLetterBySerial(uint32_t serial) const
{
    for (const CDiscItem& item : *this)
        if (item.serial == serial)
            return item.letter;
    return 0;
}

void CDiscCollection::Serialize(std::vector<uint8_t>& out) const
{
    PutSerialCount(out, static_cast<uint32_t>(size()));
    for (const CDiscItem& item : *this) {
        PutU16LE(out, static_cast<uint16_t>(item.letter));
        PutU16LE(out, 0);  // the item's padding
        PutU16LE(out, static_cast<uint16_t>(item.serial));
        PutU16LE(out, static_cast<uint16_t>(item.serial >> 16));
    }
}

bool CDiscCollection::Serialize(ByteReader& in)
{
    clear();
    const uint32_t count = ReadSerialCount(in);
    if (!in.Ok() || count > in.Remaining() / sizeof(CDiscItem))
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        CDiscItem item;
        item.letter = static_cast<wchar_t>(in.U16LE());
        in.U16LE();
        item.serial = in.U32LE();
        push_back(item);
    }
    return in.Ok();
}
