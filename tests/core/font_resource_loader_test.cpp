#include "core/font_resource_loader.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "core/font_environment.h"
#include "core/loaded_fonts.h"
#include "core/sfnt_reader.h"
#include "font_layer_test_support.h"

using namespace font_layer_test;

namespace {

const std::wstring kSfntFolder = GLY_FIXTURE_DIR L"\\sfnt";
const std::wstring kType1Folder = GLY_FIXTURE_DIR L"\\type1";

CFontItemInfo MakeRecord(const std::wstring& path, int kind, const std::wstring& family, const std::wstring& postScript = L"",
                         const std::wstring& fullName = L"")
{
    CFontItemInfo record = core_test::NamedRecord(family, fullName, postScript);
    record.path = path;
    record.kind = kind;
    return record;
}

// A real record read from a font file, its path the bare file name.
CFontItemInfo ReadRecord(const std::wstring& folder, const std::wstring& file)
{
    CFontItemArray array;
    ReadSfntFile(folder + L"\\" + file, file, array);
    EXPECT_EQ(array.GetSize(), 1);
    return array.GetSize() ? array[0] : CFontItemInfo();
}

// Stand-ins for the GDI functions that record what they were asked.
struct GdiCall {
    std::wstring name;
    DWORD flags;
};
std::vector<GdiCall> g_adds, g_removes;
int g_addResult = 1;

int WINAPI FakeAdd(LPCWSTR name, DWORD flags, PVOID)
{
    g_adds.push_back({name, flags});
    return g_addResult;
}

BOOL WINAPI FakeRemove(LPCWSTR name, DWORD flags, PVOID)
{
    g_removes.push_back({name, flags});
    return TRUE;
}

class FontResourceLoaderTest : public FontLayerTest {
protected:
    void UseFakeGdi()
    {
        g_adds.clear();
        g_removes.clear();
        g_addResult = 1;
        GetFontResourceLoader().addFontResourceEx = FakeAdd;
        GetFontResourceLoader().removeFontResourceEx = FakeRemove;
    }
};

}  // namespace

TEST_F(FontResourceLoaderTest, InitializeBindsTheGdiFunctionsOfTheEnvironmentModule)
{
    FontResourceLoader loader;
    loader.Initialize();
    EXPECT_TRUE(loader.HasExApi());
    EXPECT_NE(loader.removeFontResourceEx, nullptr);
    // No Type 1 manager here.
    EXPECT_EQ(loader.type1ManagerPresent, 0);

    FontEnvironment& env = GetFontEnvironment();
    const HMODULE gdi32 = env.gdi32;
    env.gdi32 = nullptr;
    FontResourceLoader unbound;
    unbound.Initialize();
    env.gdi32 = gdi32;
    EXPECT_FALSE(unbound.HasExApi());
    EXPECT_EQ(unbound.removeFontResourceEx, nullptr);
}

TEST_F(FontResourceLoaderTest, ResourceNames)
{
    GetFontEnvironment().fontsFolder = L"C:\\windows\\Fonts";
    struct Case {
        const wchar_t* path;
        const wchar_t* base;
        int kind;
        bool nameOnly;
        const wchar_t* expected;
    } cases[] = {
        {L"", L"C:\\T", KindTrueType, false, L""},
        {L"f.ttf", L"C:\\T", KindTrueType, false, L"C:\\T\\f.ttf"},
        {L"D:\\other\\f.ttf", L"C:\\T", KindTrueType, false, L"D:\\other\\f.ttf"},
        {L"sub\\f.ttf", L"C:\\windows\\Fonts", KindTrueType, false, L"C:\\windows\\Fonts\\sub\\f.ttf"},
        // The fonts folder, in any case and with a trailing backslash, keeps only the file name.
        {L"sub\\f.ttf", L"c:\\WINDOWS\\fonts\\", KindTrueType, true, L"c:\\WINDOWS\\fonts\\f.ttf"},
        {L"sub\\f.ttf", L"C:\\T", KindTrueType, true, L"C:\\T\\sub\\f.ttf"},
        // Type 1: the .pfb is derived next to the .pfm when the pair has none.
        {L"a.pfm", L"C:\\T", KindType1, false, L"C:\\T\\a.pfm |C:\\T\\a.pfb"},
        {L"x\\a.pfm | y\\b.pfb", L"C:\\T", KindType1, false, L"C:\\T\\x\\a.pfm |C:\\T\\y\\b.pfb"},
        {L"x\\a.pfm | y\\b.pfb", L"C:\\T", KindType1 + KindMissingOffset, false, L"C:\\T\\x\\a.pfm |C:\\T\\y\\b.pfb"},
        {L"D:\\t1\\a.pfm | D:\\t1\\a.pfb", L"C:\\windows\\Fonts", KindType1, true,
         L"C:\\windows\\Fonts\\a.pfm |C:\\windows\\Fonts\\a.pfb"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildFontResourceName(c.path, c.base, c.kind, c.nameOnly), c.expected) << c.path << L" in " << c.base;
}

TEST_F(FontResourceLoaderTest, FileListsEndInTwoZerosAndHoldLongPathsWhole)
{
    std::wstring list;
    BuildFontFileSpec(list, L"f.ttf", L"C:\\T", KindTrueType);
    EXPECT_EQ(list, std::wstring(L"C:\\T\\f.ttf\0\0", 12));
    BuildFontFileSpec(list, L"a.pfm | b.pfb", L"C:\\T", KindType1);
    EXPECT_EQ(list, std::wstring(L"C:\\T\\a.pfm\0C:\\T\\b.pfb\0\0", 23));
    BuildFontFileSpec(list, L"a.pfm", L"C:\\T", KindType1);
    EXPECT_EQ(list, std::wstring(L"C:\\T\\a.pf*\0\0", 12));

    // Two paths of 300 characters each do not fit the 520 characters that such lists once had.
    const std::wstring folder = L"C:\\" + std::wstring(290, L'd');
    BuildFontFileSpec(list, L"long.pfm | long.pfb", folder, KindType1);
    const std::wstring expected = folder + L"\\long.pfm" + std::wstring(1, L'\0') + folder + L"\\long.pfb" + std::wstring(2, L'\0');
    EXPECT_EQ(list, expected);
}

TEST_F(FontResourceLoaderTest, PreviewLoadIsPrivateAndItsUnloadRemovesIt)
{
    CFontItemInfo record = ReadRecord(kSfntFolder, L"basic.ttf");
    ASSERT_EQ(record.GetName(NameFamily), L"Gly Test");
    ASSERT_FALSE(FaceIsLoaded(L"Gly Test"));

    bool mustUnload = false;
    EXPECT_EQ(LoadFontForPreview(record, kSfntFolder, &mustUnload), 0);
    EXPECT_TRUE(mustUnload);
    EXPECT_TRUE(FaceIsLoaded(L"Gly Test"));

    EXPECT_EQ(UnloadFontFile(record, kSfntFolder, 1), 1);
    EXPECT_FALSE(FaceIsLoaded(L"Gly Test"));
    // A second unload has nothing left to remove, and says so.
    EXPECT_EQ(UnloadFontFile(record, kSfntFolder, 1), 0);
}

TEST_F(FontResourceLoaderTest, PublicLoadAndUnloadWithAndWithoutTheExFunctions)
{
    const CFontItemInfo record = ReadRecord(kSfntFolder, L"cff.otf");
    const std::wstring family = record.GetName(NameFamily);
    const std::wstring name = BuildFontResourceName(record.path, kSfntFolder, record.kind, false);
    for (bool withEx : {true, false}) {
        if (!withEx) {
            GetFontResourceLoader().addFontResourceEx = nullptr;
            GetFontResourceLoader().removeFontResourceEx = nullptr;
        }
        ASSERT_FALSE(FaceIsLoaded(family)) << withEx;
        EXPECT_EQ(LoadFontFile(record, kSfntFolder, name, 0), 0);
        EXPECT_TRUE(FaceIsLoaded(family)) << withEx;
        EXPECT_EQ(UnloadFontFile(record, kSfntFolder, 0), 1);
        EXPECT_FALSE(FaceIsLoaded(family)) << withEx;
    }
    // A file that is no font loads nothing.
    EXPECT_EQ(LoadFontFile(record, kSfntFolder, kSfntFolder + L"\\missing.ttf", 0), 2);
}

// Wine loads no Type 1 fonts: the names and flags are checked on stand-ins for the GDI functions.
TEST_F(FontResourceLoaderTest, Type1PreviewUnloadNamesWhatTheLoadNamed)
{
    UseFakeGdi();
    CFontItemInfo record = MakeRecord(L"GlyHand.pfm | sub\\GlyHand.pfb", KindType1, L"GlyHandWin", L"GlyHand-Book");
    // A stored form and base folder must not make the unload name another file than the load did.
    record.storedPath = L"other\\GlyHand.pfm";
    record.baseFolder = L"C:\\elsewhere";

    bool mustUnload = false;
    EXPECT_EQ(LoadFontForPreview(record, kType1Folder, &mustUnload), 0);
    EXPECT_TRUE(mustUnload);
    EXPECT_EQ(UnloadFontFile(record, kType1Folder, 1), 1);

    ASSERT_EQ(g_adds.size(), 1u);
    ASSERT_EQ(g_removes.size(), 1u);
    EXPECT_EQ(g_adds[0].name, kType1Folder + L"\\GlyHand.pfm |" + kType1Folder + L"\\sub\\GlyHand.pfb");
    EXPECT_EQ(g_removes[0].name, g_adds[0].name);
    EXPECT_EQ(g_adds[0].flags, static_cast<DWORD>(FR_PRIVATE | FR_NOT_ENUM));
    EXPECT_EQ(g_removes[0].flags, static_cast<DWORD>(FR_PRIVATE | FR_NOT_ENUM));

    // A public unload names the recorded pair below the record's base folder.
    EXPECT_EQ(UnloadFontFile(record, kType1Folder, 0), 1);
    ASSERT_EQ(g_removes.size(), 2u);
    EXPECT_EQ(g_removes[1].name, L"C:\\elsewhere\\other\\GlyHand.pfm |C:\\elsewhere\\other\\GlyHand.pfb");
    EXPECT_EQ(g_removes[1].flags, 0u);
}

TEST_F(FontResourceLoaderTest, Type1PairDoesNotLoadUnderWine)
{
    const CFontItemInfo record = MakeRecord(L"GlyHand.pfm | GlyHand.pfb", KindType1, L"GlyHandWin", L"GlyHand-Book");
    bool mustUnload = false;
    // Wine's font engine ignores scalable non-sfnt faces: the load fails, and the caller still unloads.
    EXPECT_EQ(LoadFontForPreview(record, kType1Folder, &mustUnload), 2);
    EXPECT_TRUE(mustUnload);
    EXPECT_EQ(UnloadFontFile(record, kType1Folder, 1), 0);
}

TEST_F(FontResourceLoaderTest, PreviewLoadSkips)
{
    UseFakeGdi();
    CFontItemInfo record = MakeRecord(L"f.ttf", KindTrueType, L"F");
    for (const wchar_t* folder : {L"", L"   "}) {
        bool mustUnload = true;
        EXPECT_EQ(LoadFontForPreview(record, folder, &mustUnload), 0);
        EXPECT_FALSE(mustUnload);
    }
    EXPECT_TRUE(g_adds.empty());

    // On NT a loaded font is still loaded privately for its preview.
    record.loaded = 1;
    bool mustUnload = false;
    EXPECT_EQ(LoadFontForPreview(record, L"C:\\T", &mustUnload), 0);
    EXPECT_TRUE(mustUnload);
    EXPECT_EQ(g_adds.size(), 1u);
    g_addResult = 0;
    EXPECT_EQ(LoadFontForPreview(record, L"C:\\T", nullptr), 2);

    // Before NT a loaded or used font is skipped.
    const OsVersion windows98(VER_PLATFORM_WIN32_WINDOWS, 4, 10);
    GetFontEnvironment().version = &windows98;
    g_adds.clear();
    for (int which = 0; which < 2; ++which) {
        record.loaded = which == 0;
        record.inUse = which == 1;
        mustUnload = true;
        EXPECT_EQ(LoadFontForPreview(record, L"C:\\T", &mustUnload), 0);
        EXPECT_FALSE(mustUnload);
    }
    EXPECT_TRUE(g_adds.empty());
}

TEST_F(FontResourceLoaderTest, LastErrorIsPerThread)
{
    LastFontOperationError = L"main";
    std::wstring seen, set;
    std::thread worker([&] {
        seen = LastFontOperationError;
        LastFontOperationError = L"worker";
        set = LastFontOperationError;
    });
    worker.join();
    EXPECT_EQ(seen, L"");
    EXPECT_EQ(set, L"worker");
    EXPECT_EQ(LastFontOperationError, L"main");
}

TEST_F(FontResourceLoaderTest, NoRegistrationWithoutAdministratorRights)
{
    UseRegistrySandbox();
    const std::wstring folder = MakeTempFolder(L"gly_noadmin");
    ASSERT_TRUE(CopyInto(kSfntFolder + L"\\cff.otf", folder + L"\\cff.otf"));
    const std::wstring fontsFolder = MakeTempFolder(L"gly_fonts");
    GetFontEnvironment().fontsFolder = fontsFolder;
    GetFontEnvironment().administrator = false;
    const CFontItemInfo record = ReadRecord(folder, L"cff.otf");
    const std::wstring text669 = LoadResString(669);
    ASSERT_FALSE(text669.empty());

    // Copying into the fonts folder stops before the copy.
    EXPECT_EQ(LoadFontItem(record, folder, 1), 0);
    EXPECT_EQ(LastFontOperationError, text669);
    EXPECT_FALSE(FileExists(fontsFolder + L"\\cff.otf"));

    // Without the copy the font still loads, unregistered.
    LastFontOperationError.clear();
    EXPECT_GT(LoadFontItem(record, folder, 0), 0);
    EXPECT_EQ(LastFontOperationError, text669);
    EXPECT_TRUE(FaceIsLoaded(L"Gly Outline"));
    EXPECT_EQ(CountValues(L"Fonts"), 0);

    // The uninstall unloads, then stops before the registry and leaves the file alone.
    CFontItemInfo loaded = record;
    loaded.loaded = 1;
    LastFontOperationError.clear();
    EXPECT_EQ(UnloadFontItem(loaded, folder, 0, 0, 0, L"", nullptr), 0);
    EXPECT_EQ(LastFontOperationError, text669);
    EXPECT_TRUE(FileExists(folder + L"\\cff.otf"));
    EXPECT_FALSE(FaceIsLoaded(L"Gly Outline"));
    EXPECT_TRUE(ErrorBoxes().empty());

    RemoveTree(folder);
    RemoveTree(fontsFolder);
}

TEST_F(FontResourceLoaderTest, UnloadFontItemRefusesFontsItMustNotTouch)
{
    UseRegistrySandbox();
    const std::wstring folder = MakeTempFolder(L"gly_refuse");
    ASSERT_TRUE(CopyInto(kSfntFolder + L"\\cff.otf", folder + L"\\cff.otf"));
    CFontItemInfo record = ReadRecord(folder, L"cff.otf");
    WriteText(L"Fonts", L"Gly Outline Regular (OpenType)", folder + L"\\cff.otf");
    const auto addEx = GetFontResourceLoader().addFontResourceEx;
    struct Case {
        int loaded, installed, inUse;
        bool exApi;
    } cases[] = {{0, 0, 0, true}, {1, 1, 0, true}, {1, 0, 1, true}, {1, 0, 0, false}};
    for (const Case& c : cases) {
        record.loaded = c.loaded;
        record.installed = c.installed;
        record.inUse = c.inUse;
        GetFontResourceLoader().addFontResourceEx = c.exApi ? addEx : nullptr;
        EXPECT_EQ(UnloadFontItem(record, folder, 0, 0, 0, L"", nullptr), 0);
        EXPECT_TRUE(FileExists(folder + L"\\cff.otf"));
        EXPECT_EQ(CountValues(L"Fonts"), 1);
    }
    // Without the private loading function there is no registration either.
    EXPECT_EQ(LoadFontItem(record, folder, 0), 0);
    EXPECT_FALSE(FaceIsLoaded(L"Gly Outline"));
    RemoveTree(folder);
}

namespace {

// Removes what an install test may have left behind, whatever the outcome.
struct InstallCleanup {
    std::wstring file;
    std::wstring valueKey, valueName;
    ~InstallCleanup()
    {
        if (!file.empty()) {
            RemoveFontResourceW(file.c_str());
            DeleteFileW(file.c_str());
        }
        if (!valueName.empty())
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, valueKey.c_str(), valueName.c_str());
    }
};

}  // namespace

// Under Wine the prefix's fonts folder and HKEY_LOCAL_MACHINE are real, and the user is an administrator.
TEST_F(FontResourceLoaderTest, InstallIntoTheSystemFontsFolderAndUninstall)
{
    ASSERT_FALSE(realFontsFolder_.empty());
    ASSERT_TRUE(GetFontEnvironment().administrator);
    const std::wstring source = MakeTempFolder(L"gly_install");
    const std::wstring file = UniqueName(L"glysigned") + L".ttf";
    ASSERT_TRUE(CopyInto(kSfntFolder + L"\\dsig-truetype-outlines.ttf", source + L"\\" + file));
    const CFontItemInfo record = ReadRecord(source, file);
    ASSERT_EQ(record.GetName(NameFamily), L"Gly Signed");
    const std::wstring valueName = MakeFontsRegistryValueName(record);
    const std::wstring installed = realFontsFolder_ + L"\\" + file;
    InstallCleanup cleanup;
    cleanup.file = installed;
    cleanup.valueKey = VersionKey() + L"\\Fonts";
    cleanup.valueName = valueName;
    ASSERT_FALSE(FaceIsLoaded(L"Gly Signed"));

    EXPECT_GT(LoadFontItem(record, source, 1), 0);
    EXPECT_TRUE(FileExists(installed));
    EXPECT_TRUE(FileExists(source + L"\\" + file));
    std::wstring data;
    ASSERT_TRUE(ReadValue(L"Fonts", valueName, data));
    EXPECT_EQ(data, file);
    EXPECT_TRUE(FaceIsLoaded(L"Gly Signed"));
    EXPECT_EQ(LastFontOperationError, L"");

    CFontItemInfo installedRecord = record;
    installedRecord.loaded = 1;
    EXPECT_EQ(UnloadFontItem(installedRecord, realFontsFolder_, 0, 0, 0, L"", nullptr), 1);
    EXPECT_FALSE(FileExists(installed));
    EXPECT_FALSE(ReadValue(L"Fonts", valueName, data));
    EXPECT_FALSE(FaceIsLoaded(L"Gly Signed"));
    EXPECT_EQ(LastFontOperationError, L"");
    EXPECT_TRUE(ErrorBoxes().empty());
    RemoveTree(source);
}

TEST_F(FontResourceLoaderTest, FontAlreadyListedIsReportedAndStillLoaded)
{
    UseRegistrySandbox();
    const std::wstring folder = MakeTempFolder(L"gly_listed");
    ASSERT_TRUE(CopyInto(kSfntFolder + L"\\cff.otf", folder + L"\\cff.otf"));
    const CFontItemInfo record = ReadRecord(folder, L"cff.otf");
    // Listed under another name, its path in another case.
    WriteText(L"Fonts", L"Something Else", folder + L"\\CFF.OTF");

    EXPECT_GT(LoadFontItem(record, folder, 0), 0);
    EXPECT_EQ(LastFontOperationError, FormatString(LoadResString(199).c_str(), L"Gly Outline"));
    EXPECT_EQ(CountValues(L"Fonts"), 1);
    EXPECT_TRUE(FaceIsLoaded(L"Gly Outline"));

    // Registry only: unloaded and deregistered, the file stays.
    CFontItemInfo loaded = record;
    loaded.loaded = 1;
    EXPECT_EQ(UnloadFontItem(loaded, folder, 1, 0, 0, L"", nullptr), 1);
    EXPECT_EQ(CountValues(L"Fonts"), 0);
    EXPECT_TRUE(FileExists(folder + L"\\cff.otf"));
    EXPECT_FALSE(FaceIsLoaded(L"Gly Outline"));
    // Nothing left to remove.
    EXPECT_EQ(SetFontRegistration(record, folder, 0), 0);
    RemoveTree(folder);
}

TEST_F(FontResourceLoaderTest, FileAlreadyInTheFontsFolderIsNotCopiedOntoItself)
{
    UseRegistrySandbox();
    const std::wstring fonts = MakeTempFolder(L"gly_fontsdir");
    const std::wstring moved = MakeTempFolder(L"gly_moved");
    GetFontEnvironment().fontsFolder = fonts;
    ASSERT_TRUE(CopyInto(kSfntFolder + L"\\cff.otf", fonts + L"\\cff.otf"));
    const CFontItemInfo record = ReadRecord(fonts, L"cff.otf");

    std::wstring otherCase = fonts;
    CharUpperW(otherCase.data());
    EXPECT_GT(LoadFontItem(record, otherCase + L"\\", 1), 0);
    EXPECT_EQ(LastFontOperationError, L"");
    std::wstring data;
    ASSERT_TRUE(ReadValue(L"Fonts", L"Gly Outline Regular (OpenType)", data));
    EXPECT_EQ(data, L"cff.otf");
    EXPECT_TRUE(FileExists(fonts + L"\\cff.otf"));
    EXPECT_TRUE(FaceIsLoaded(L"Gly Outline"));

    // Uninstall with move: deregistered, then the file goes to the destination.
    CFontItemInfo loaded = record;
    loaded.loaded = 1;
    EXPECT_EQ(UnloadFontItem(loaded, fonts, 0, 0, 1, moved, nullptr), 1);
    EXPECT_EQ(CountValues(L"Fonts"), 0);
    EXPECT_FALSE(FileExists(fonts + L"\\cff.otf"));
    EXPECT_TRUE(FileExists(moved + L"\\cff.otf"));
    EXPECT_FALSE(FaceIsLoaded(L"Gly Outline"));
    RemoveTree(fonts);
    RemoveTree(moved);
}

TEST_F(FontResourceLoaderTest, FailedFileOperationOfAnUninstallIsAFailure)
{
    UseRegistrySandbox();
    const std::wstring folder = MakeTempFolder(L"gly_failmove");
    ASSERT_TRUE(CopyInto(kSfntFolder + L"\\cff.otf", folder + L"\\cff.otf"));
    const CFontItemInfo record = ReadRecord(folder, L"cff.otf");
    EXPECT_GT(LoadFontItem(record, folder, 0), 0);
    EXPECT_EQ(CountValues(L"Fonts"), 1);

    CFontItemInfo loaded = record;
    loaded.loaded = 1;
    EXPECT_EQ(UnloadFontItem(loaded, folder, 0, 0, 1, L"Q:\\no such drive\\fonts", nullptr), 0);
    EXPECT_NE(LastFontOperationError, L"");
    EXPECT_TRUE(FileExists(folder + L"\\cff.otf"));
    RemoveTree(folder);
}

TEST_F(FontResourceLoaderTest, UninstallDeletesTheRecordsFileNotAFontsFolderNamesake)
{
    UseRegistrySandbox();
    const std::wstring folder = MakeTempFolder(L"gly_delete");
    const std::wstring fonts = MakeTempFolder(L"gly_fontsdir");
    GetFontEnvironment().fontsFolder = fonts;
    ASSERT_TRUE(CopyInto(kSfntFolder + L"\\cff.otf", folder + L"\\cff.otf"));
    ASSERT_TRUE(CopyInto(kSfntFolder + L"\\cff.otf", fonts + L"\\cff.otf"));
    const CFontItemInfo record = ReadRecord(folder, L"cff.otf");
    EXPECT_GT(LoadFontItem(record, folder, 0), 0);

    CFontItemInfo loaded = record;
    loaded.loaded = 1;
    EXPECT_EQ(UnloadFontItem(loaded, folder, 0, 0, 0, L"", nullptr), 1);
    EXPECT_EQ(LastFontOperationError, L"");
    EXPECT_FALSE(FileExists(folder + L"\\cff.otf"));
    EXPECT_TRUE(FileExists(fonts + L"\\cff.otf"));
    EXPECT_EQ(CountValues(L"Fonts"), 0);
    RemoveTree(folder);
    RemoveTree(fonts);
}

TEST_F(FontResourceLoaderTest, Type1Registration)
{
    UseRegistrySandbox();
    const std::wstring key = L"Type 1 Installer\\Type 1 Fonts";
    const CFontItemInfo record = MakeRecord(L"GlyHand.pfm | GlyHand.pfb", KindType1, L"GlyHandWin", L"GlyHand-Book");
    const std::wstring pfm = kType1Folder + L"\\GlyHand.pfm", pfb = kType1Folder + L"\\GlyHand.pfb";
    const std::wstring expected = L"T" + std::wstring(1, L'\0') + pfm + std::wstring(1, L'\0') + pfb + std::wstring(2, L'\0');

    // No "Type 1 Installer" key yet: a removal creates the keys and finds nothing.
    EXPECT_EQ(SetFontRegistration(record, kType1Folder, 0), 0);
    EXPECT_EQ(CountValues(key), 0);
    // Wine loads no Type 1 font, but the registration is made.
    EXPECT_EQ(LoadFontItem(record, kType1Folder, 0), 0);
    std::wstring data;
    DWORD type = 0;
    ASSERT_TRUE(ReadValue(key, L"GlyHand Book", data, &type));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(data, expected);
    // Already there: success without a second value.
    EXPECT_EQ(SetFontRegistration(record, kType1Folder, 1), 1);
    EXPECT_EQ(CountValues(key), 1);
    // Nothing was loaded, so the unload fails with the system's text and leaves the registration alone.
    CFontItemInfo loaded = record;
    loaded.loaded = 1;
    LastFontOperationError.clear();
    EXPECT_EQ(UnloadFontItem(loaded, kType1Folder, 1, 0, 0, L"", nullptr), 0);
    EXPECT_NE(LastFontOperationError, L"");
    EXPECT_EQ(CountValues(key), 1);
    EXPECT_EQ(SetFontRegistration(record, kType1Folder, 0), 1);
    EXPECT_EQ(CountValues(key), 0);

    // Hyphens for spaces and another case name the same entry.
    WriteMulti(key, L"GLYHAND-BOOK", expected);
    EXPECT_EQ(SetFontRegistration(record, kType1Folder, 1), 1);
    EXPECT_EQ(CountValues(key), 1);
    EXPECT_EQ(SetFontRegistration(record, kType1Folder, 0), 1);
    EXPECT_EQ(CountValues(key), 0);

    // The same name with another file is overwritten by an addition and kept by a removal.
    WriteMulti(key, L"GlyHand Book", L"T" + std::wstring(1, L'\0') + L"C:\\x\\other.pfm" + std::wstring(3, L'\0'));
    EXPECT_EQ(SetFontRegistration(record, kType1Folder, 0), 0);
    EXPECT_EQ(CountValues(key), 1);
    EXPECT_EQ(SetFontRegistration(record, kType1Folder, 1), 1);
    ASSERT_TRUE(ReadValue(key, L"GlyHand Book", data));
    EXPECT_EQ(data, expected);
    EXPECT_EQ(SetFontRegistration(record, kType1Folder, 0), 1);

    // In the fonts folder the entries are the file title with upper-case extensions.
    GetFontEnvironment().fontsFolder = kType1Folder;
    EXPECT_EQ(SetFontRegistration(record, kType1Folder, 1), 1);
    ASSERT_TRUE(ReadValue(key, L"GlyHand Book", data));
    EXPECT_EQ(data, L"T" + std::wstring(1, L'\0') + L"GlyHand.PFM" + std::wstring(1, L'\0') + L"GlyHand.PFB" + std::wstring(2, L'\0'));
    EXPECT_EQ(SetFontRegistration(record, kType1Folder, 0), 1);

    // Paths longer than the 520 characters that the value once had room for are written whole.
    const std::wstring longFolder = L"C:\\" + std::wstring(300, L'l');
    EXPECT_EQ(SetFontRegistration(record, longFolder, 1), 1);
    ASSERT_TRUE(ReadValue(key, L"GlyHand Book", data));
    EXPECT_EQ(data, L"T" + std::wstring(1, L'\0') + longFolder + L"\\GlyHand.pfm" + std::wstring(1, L'\0') + longFolder +
                        L"\\GlyHand.pfb" + std::wstring(2, L'\0'));
    EXPECT_EQ(SetFontRegistration(record, longFolder, 0), 1);
    EXPECT_TRUE(ErrorBoxes().empty());
}

TEST_F(FontResourceLoaderTest, RegistryFailures)
{
    UseRegistrySandbox(false);
    const CFontItemInfo type1 = MakeRecord(L"a.pfm | a.pfb", KindType1, L"A", L"A-Regular");
    const CFontItemInfo trueType = MakeRecord(L"a.ttf", KindTrueType, L"A", L"A-Regular", L"A Regular");
    // A missing "Fonts" key: quietly nothing.
    EXPECT_EQ(SetFontRegistration(trueType, L"C:\\T", 1), 0);
    EXPECT_TRUE(ErrorBoxes().empty());
    // No version key to create the Type 1 keys under: an error box with the code.
    EXPECT_EQ(SetFontRegistration(type1, L"C:\\T", 1), 0);
    EXPECT_EQ(ErrorBoxes(), std::vector<DWORD>{ERROR_FILE_NOT_FOUND});
    // Kinds without a registry key, and fonts without a name, change nothing.
    UseRegistrySandbox();
    CFontItemInfo other = trueType;
    other.kind = 17;
    EXPECT_EQ(SetFontRegistration(other, L"C:\\T", 1), 0);
    const CFontItemInfo unnamed = MakeRecord(L"a.pfm", KindType1, L"A");
    EXPECT_EQ(SetFontRegistration(unnamed, L"C:\\T", 1), 0);
    EXPECT_EQ(CountValues(L"Fonts"), 0);
    EXPECT_EQ(ErrorBoxes().size(), 1u);

    // Value names above the registry's 16,383 characters: the writes fail, with a box each.
    const std::wstring huge(20000, L'N');
    const CFontItemInfo hugeTrueType = MakeRecord(L"a.ttf", KindTrueType, L"A", L"A", huge);
    EXPECT_EQ(SetFontRegistration(hugeTrueType, L"C:\\T", 1), 0);
    EXPECT_EQ(ErrorBoxes().size(), 2u);
    LastFontOperationError.clear();
    const CFontItemInfo hugeType1 = MakeRecord(L"a.pfm", KindType1, L"A", huge);
    EXPECT_EQ(SetFontRegistration(hugeType1, L"C:\\T", 1), 0);
    EXPECT_EQ(ErrorBoxes().size(), 3u);
    EXPECT_NE(LastFontOperationError, L"");
}

namespace {

std::wstring g_progressFamily, g_progressName;

LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_FONTOP_PROGRESS) {
        g_progressFamily = reinterpret_cast<const wchar_t*>(wParam);
        g_progressName = reinterpret_cast<const wchar_t*>(lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

TEST_F(FontResourceLoaderTest, TrackedLoadIsUnloadedThroughTheLoadedFontList)
{
    CFontArrayGLYLoaded& list = GetGLYLoadedFonts();
    list.clear();
    const std::wstring file = kSfntFolder + L"\\cff.otf";
    ASSERT_GT(AddFontResourceW(file.c_str()), 0);
    list.AddSorted(CFontItemGLYLoaded(L"Gly Outline", L"Gly Outline Regular", L"GlyOutline-Regular", file, KindOpenType));
    list.AddSorted(CFontItemGLYLoaded(L"Other", L"Other", L"Other", L"C:\\x\\other.ttf", KindTrueType));

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ProgressProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"GlyFontProgressProbe";
    RegisterClassW(&windowClass);
    HWND progress = CreateWindowW(L"GlyFontProgressProbe", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(progress, nullptr);

    CFontItemInfo record = MakeRecord(L"", KindOpenType, L"Gly Outline", L"GlyOutline-Regular", L"Gly Outline Regular");
    record.loaded = 1;
    // Not tracked and without a path: nothing to name.
    EXPECT_EQ(UnloadFontItem(record, kSfntFolder, 0, 0, 0, L"", progress), 0);
    record.trackedLoad = 1;
    EXPECT_EQ(UnloadFontItem(record, kSfntFolder, 0, 0, 0, L"", progress), 1);
    EXPECT_EQ(g_progressFamily, L"Gly Outline");
    EXPECT_EQ(g_progressName, file);
    ASSERT_EQ(list.GetSize(), 1);
    EXPECT_EQ(list[0].family, L"Other");
    EXPECT_FALSE(FaceIsLoaded(L"Gly Outline"));
    // Gone from the list: nothing more to unload.
    EXPECT_EQ(UnloadFontItem(record, kSfntFolder, 0, 0, 0, L"", progress), 0);

    DestroyWindow(progress);
    list.clear();
}

TEST_F(FontResourceLoaderTest, UnloadAllKeepsPrivateLoadsWhenAsked)
{
    CFontArrayGLYLoaded list;
    const std::wstring publicFile = kSfntFolder + L"\\cff.otf", privateFile = kSfntFolder + L"\\basic.ttf";
    ASSERT_GT(AddFontResourceW(publicFile.c_str()), 0);
    ASSERT_GT(AddFontResourceExW(privateFile.c_str(), FR_PRIVATE | FR_NOT_ENUM, nullptr), 0);
    list.AddSorted(CFontItemGLYLoaded(L"Gly Outline", L"Gly Outline Regular", L"GlyOutline-Regular", publicFile, KindOpenType));
    list.AddSorted(CFontItemGLYLoaded(L"Gly Test", L"Gly Test Regular", L"GlyTest-Regular", privateFile, KindTrueType, 0));
    list.AddSorted(CFontItemGLYLoaded(L"GlyHandWin", L"Gly Hand Book", L"GlyHand-Book",
                                      kType1Folder + L"\\GlyHand.pfm |" + kType1Folder + L"\\GlyHand.pfb", KindType1, 0));

    UnloadAllGLYLoaded(list, true);
    EXPECT_FALSE(FaceIsLoaded(L"Gly Outline"));
    EXPECT_TRUE(FaceIsLoaded(L"Gly Test"));
    EXPECT_EQ(list.GetSize(), 3);
    RemoveFontResourceExW(privateFile.c_str(), FR_PRIVATE | FR_NOT_ENUM, nullptr);
}
