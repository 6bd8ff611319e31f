#pragma once
// The CD-ROM drives that hold a readable disc, with each disc's volume serial, so that a set's folder
// on a removable disc is found again when the disc turns up under another drive letter.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/byte_reader.h"

struct CDiscItem {
    wchar_t letter = L' ';  // ' ' when unset
    uint32_t serial = 0;    // 0 when unset
};
static_assert(sizeof(CDiscItem) == 8);

// GetVolumeInformationW on "X:\"; TRUE when the volume could be read.
BOOL ReadVolumeSerial(wchar_t letter, DWORD& serial);

// Where Fill learns about drives. The system's by default; tests put their own in place, since the
// machines the tests run on have no removable discs.
struct DiscDriveProbe {
    std::function<std::wstring()> logicalDrives;            // drive strings, each ended by a zero
    std::function<UINT(const wchar_t* root)> driveType;     // as GetDriveTypeW of "X:"
    std::function<BOOL(wchar_t letter, DWORD& serial)> readSerial;
};
// Null restores the system's probe. The probe must outlive its use.
void SetDiscDriveProbe(const DiscDriveProbe* probe);

class CDiscCollection : public std::vector<CDiscItem> {
public:
    // The list of CD-ROM drives that hold a readable volume, in the system's order.
    void Fill();
    // The serial of the first item with this letter (compared ignoring case), 0 when none.
    uint32_t FindSerialByLetter(wchar_t letter) const;
    // The letter of the first item with this serial, 0 when none.
    wchar_t FindLetterBySerial(uint32_t serial) const;

    // The element count (16 bits, or 0xFFFF and 32 bits from 0xFFFF on), then the 8-byte items.
    void Serialize(std::vector<uint8_t>& out) const;
    bool Serialize(ByteReader& in);
};

// The program's catalogue: refilled when the set tree loads and when a device arrives or leaves,
// read by the source-path lookups in between.
extern CDiscCollection g_discCollection;
