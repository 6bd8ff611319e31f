#include <gtest/gtest.h>

#include <map>

#include "storage/disc_catalogue.h"

namespace {

// A machine of our own making: drive letters with their types and, for drives holding a disc, its serial.
struct FakeDrives {
    std::wstring letters;                // in the system's order
    std::map<wchar_t, UINT> types;       // missing: fixed disc
    std::map<wchar_t, DWORD> discs;      // missing: empty drive
    DiscDriveProbe probe;

    FakeDrives()
    {
        probe.logicalDrives = [this] {
            std::wstring list;
            for (wchar_t letter : letters)
                list += std::wstring{letter, L':', L'\\', L'\0'};
            return list;
        };
        probe.driveType = [this](const wchar_t* root) {
            EXPECT_EQ(std::wstring(root).size(), 2u);  // "X:"
            auto it = types.find(root[0]);
            return it == types.end() ? UINT(DRIVE_FIXED) : it->second;
        };
        probe.readSerial = [this](wchar_t letter, DWORD& serial) -> BOOL {
            auto it = discs.find(letter);
            if (it == discs.end())
                return FALSE;
            serial = it->second;
            return TRUE;
        };
        SetDiscDriveProbe(&probe);
    }
    ~FakeDrives() { SetDiscDriveProbe(nullptr); }
};

TEST(DiscCatalogue, ListsOnlyCdRomDrivesHoldingADisc)
{
    FakeDrives machine;
    machine.letters = L"ACDEFG";
    machine.types = {{L'A', DRIVE_REMOVABLE}, {L'D', DRIVE_CDROM}, {L'E', DRIVE_CDROM}, {L'F', DRIVE_CDROM}, {L'G', DRIVE_REMOTE}};
    machine.discs = {{L'A', 0x1111}, {L'C', 0x2222}, {L'E', 0xE0E0}, {L'G', 0x3333}};  // D and F are empty

    CDiscCollection discs;
    discs.push_back({L'Z', 99});  // a fill starts from an empty list
    discs.Fill();
    ASSERT_EQ(discs.size(), 1u);
    EXPECT_EQ(discs[0].letter, L'E');
    EXPECT_EQ(discs[0].serial, 0xE0E0u);

    EXPECT_EQ(discs.FindSerialByLetter(L'E'), 0xE0E0u);
    EXPECT_EQ(discs.FindSerialByLetter(L'e'), 0xE0E0u);  // a stored folder may say e:\...
    EXPECT_EQ(discs.FindSerialByLetter(L'D'), 0u);       // empty drive
    EXPECT_EQ(discs.FindSerialByLetter(L'C'), 0u);       // not a CD-ROM
    EXPECT_EQ(discs.FindLetterBySerial(0xE0E0), L'E');
    EXPECT_EQ(discs.FindLetterBySerial(0x2222), 0);
}

TEST(DiscCatalogue, NoDiscsMeansEveryLookupFails)
{
    FakeDrives machine;
    CDiscCollection discs;
    for (const wchar_t* letters : {L"", L"CD"}) {  // no drive at all; a CD-ROM without a disc
        machine.letters = letters;
        machine.types = {{L'D', DRIVE_CDROM}};
        discs.Fill();
        EXPECT_TRUE(discs.empty());
        EXPECT_EQ(discs.FindSerialByLetter(L'D'), 0u);
        EXPECT_EQ(discs.FindLetterBySerial(0x1234), 0);
    }
}

TEST(DiscCatalogue, SameSerialInTwoDrivesAnswersTheFirstListed)
{
    FakeDrives machine;
    machine.letters = L"FD";  // the system's order, not the alphabet's
    machine.types = {{L'D', DRIVE_CDROM}, {L'F', DRIVE_CDROM}};
    machine.discs = {{L'D', 0xABCD}, {L'F', 0xABCD}};
    CDiscCollection discs;
    discs.Fill();
    ASSERT_EQ(discs.size(), 2u);
    EXPECT_EQ(discs.FindLetterBySerial(0xABCD), L'F');
}

TEST(DiscCatalogue, DiscMovedToAnotherDriveIsFoundThereAfterTheNextFill)
{
    FakeDrives machine;
    machine.letters = L"CDE";
    machine.types = {{L'D', DRIVE_CDROM}, {L'E', DRIVE_CDROM}};
    machine.discs = {{L'D', 0xCAFE0001}};
    g_discCollection.Fill();
    EXPECT_EQ(g_discCollection.FindLetterBySerial(0xCAFE0001), L'D');

    machine.discs = {{L'E', 0xCAFE0001}};
    EXPECT_EQ(g_discCollection.FindLetterBySerial(0xCAFE0001), L'D');  // stale until refilled
    g_discCollection.Fill();
    EXPECT_EQ(g_discCollection.FindLetterBySerial(0xCAFE0001), L'E');
    EXPECT_EQ(g_discCollection.FindSerialByLetter(L'D'), 0u);
    g_discCollection.clear();
}

TEST(DiscCatalogue, SystemFillListsOnlyCdRomDrives)
{
    // Wine maps no CD-ROM drive by default, so the list is usually empty here; whatever it holds
    // must be a CD-ROM drive with a readable volume.
    CDiscCollection discs;
    discs.Fill();
    for (const CDiscItem& item : discs) {
        const wchar_t root[] = {item.letter, L':', 0};
        EXPECT_EQ(GetDriveTypeW(root), UINT(DRIVE_CDROM));
        DWORD serial = 0;
        EXPECT_TRUE(ReadVolumeSerial(item.letter, serial));
    }
    DWORD serial = 0;
    EXPECT_TRUE(ReadVolumeSerial(L'C', serial));  // the prefix's drive C: always exists
}

TEST(DiscCatalogue, SerializeRoundTripsAndRejectsShortData)
{
    CDiscCollection discs;
    discs.push_back({L'D', 0x12345678});
    discs.push_back({L'E', 0xFFFFFFFF});
    std::vector<uint8_t> bytes;
    discs.Serialize(bytes);
    ASSERT_EQ(bytes.size(), 2u + 2 * 8);

    CDiscCollection back;
    ByteReader in(bytes.data(), bytes.size());
    ASSERT_TRUE(back.Serialize(in));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].letter, L'E');
    EXPECT_EQ(back[1].serial, 0xFFFFFFFFu);

    // A count larger than the data that follows is refused, not read past the end.
    bytes[0] = 0xFE;
    ByteReader bad(bytes.data(), bytes.size());
    EXPECT_FALSE(back.Serialize(bad));
    EXPECT_TRUE(back.empty());
}

}  // namespace
