#include "core/helpers.h"
#include "storage/app_setting_xml.h"
#include "storage_test_env.h"

namespace {

FILETIME LastWrite(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

void SetOldLastWrite(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME old = {0x12345678, 0x01c00000};
    SetFileTime(file, nullptr, nullptr, &old);
    CloseHandle(file);
}

}  // namespace

class AppSettingXmlTest : public StorageTest {
protected:
    void Load(CAppSettingXML& settings)
    {
        settings.SetDataFolder(folder);
        ASSERT_TRUE(settings.Load());
    }
};

TEST_F(AppSettingXmlTest, FirstStartWritesTheEmptyStoreWithItsNamespace)
{
    CAppSettingXML settings;
    EXPECT_EQ(settings.GetDouble(L"general", L"update_checkDate"), 0.0);  // before Load: no document
    EXPECT_EQ(settings.GetInt(L"window_size", L"window_leftPos", 65535), 65535);
    Load(settings);
    EXPECT_EQ(settings.GetFilePath(), Path(L"gly.xml"));
    EXPECT_EQ(settings.GetInt(L"window_size", L"window_leftPos", 65535), 65535);
    EXPECT_EQ(settings.GetDouble(L"general", L"update_checkDate"), 25934.0);
    EXPECT_EQ(settings.Save(), S_OK);
    settings.Close();
    std::string text = ReadBytes(Path(L"gly.xml"));
    EXPECT_TRUE(Contains(text, "<Settings")) << text;
    EXPECT_TRUE(Contains(text, "xmlns:dt=\"urn:schemas-microsoft-com:datatypes\"")) << text;
    EXPECT_TRUE(messages.empty());
}

TEST_F(AppSettingXmlTest, AnUnchangedStoreIsNotRewritten)
{
    {
        CAppSettingXML settings;
        Load(settings);
        settings.SetInt(L"general", L"layout", 3);
        ASSERT_EQ(settings.Save(), S_OK);
    }
    SetOldLastWrite(Path(L"gly.xml"));
    FILETIME before = LastWrite(Path(L"gly.xml"));
    CAppSettingXML settings;
    Load(settings);
    EXPECT_EQ(settings.GetInt(L"general", L"layout", 2), 3);
    EXPECT_EQ(settings.Save(), S_OK);
    FILETIME after = LastWrite(Path(L"gly.xml"));
    EXPECT_EQ(CompareFileTime(&before, &after), 0);
}

TEST_F(AppSettingXmlTest, EveryValueKindSurvivesTheFile)
{
    const std::wstring sample = L"Fish & Chips ]]> <b>\u00AE\U0001F600";
    const RECT margins = {-10, 20, 1900, -3};
    const BYTE blob[] = {1, 2, 0xfe, 0xff};
    const CStringArray bookmarks = {L"C:\\Fonts", L"D:\\a & b", L""};
    {
        CAppSettingXML settings;
        Load(settings);
        EXPECT_TRUE(settings.SetInt(L"general", L"clr_install", 0x3CC458));
        EXPECT_TRUE(settings.SetInt(L"window_size", L"find_x", -1));
        EXPECT_TRUE(settings.SetString(L"exit_value", L"sampletext", sample));
        EXPECT_TRUE(settings.SetDouble(L"general", L"update_checkDate", 45321.123456789));
        EXPECT_TRUE(settings.SetRect(L"general", L"pmargins", margins));
        EXPECT_TRUE(settings.SetBinary(L"bin", L"blob", blob, sizeof blob));
        EXPECT_TRUE(settings.SetStringList(L"sec_bm", L"bm_entry", bookmarks));
        EXPECT_TRUE(settings.SetString(L"PluginPaths_User", L"Kindler\u00AE Page 8", L"C:\\Plug-ins"));
        EXPECT_EQ(settings.Save(), S_OK);
        settings.Close();
    }
    CAppSettingXML settings;
    Load(settings);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(settings.GetInt(L"general", L"clr_install", 0), 0x3CC458);
    EXPECT_EQ(settings.GetInt(L"window_size", L"find_x", 0), -1);
    EXPECT_EQ(settings.GetString(L"exit_value", L"sampletext"), sample);
    EXPECT_EQ(settings.GetDouble(L"general", L"update_checkDate"), 45321.123456789);
    RECT rect = {};
    EXPECT_TRUE(settings.GetRect(L"general", L"pmargins", rect));
    EXPECT_EQ(rect.left, -10);
    EXPECT_EQ(rect.top, 20);
    EXPECT_EQ(rect.right, 1900);
    EXPECT_EQ(rect.bottom, -3);
    BYTE buffer[8] = {};
    UINT size = sizeof buffer;
    EXPECT_TRUE(settings.GetBinary(L"bin", L"blob", buffer, size));
    ASSERT_EQ(size, sizeof blob);
    EXPECT_EQ(memcmp(buffer, blob, sizeof blob), 0);
    CStringArray list;
    EXPECT_TRUE(settings.GetStringList(L"sec_bm", L"bm_entry", list));
    EXPECT_EQ(list, bookmarks);
    EXPECT_EQ(settings.GetString(L"PluginPaths_User", L"Kindler\u00AE Page 8"), L"C:\\Plug-ins");
}

TEST_F(AppSettingXmlTest, RectanglesNeedExactlyFourNumbers)
{
    CAppSettingXML settings;
    Load(settings);
    settings.SetString(L"general", L"four", L"10, 20, 30, 40");
    settings.SetString(L"general", L"three", L"10, 20, 30");
    settings.SetString(L"general", L"five", L"1,2,3,4,5");
    RECT rect = {1, 2, 3, 4};
    EXPECT_TRUE(settings.GetRect(L"general", L"four", rect));
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.top, 20);
    EXPECT_EQ(rect.right, 30);
    EXPECT_EQ(rect.bottom, 40);
    for (const wchar_t* key : {L"three", L"five", L"missing"}) {
        RECT untouched = {1, 2, 3, 4};
        EXPECT_FALSE(settings.GetRect(L"general", key, untouched)) << key;
        EXPECT_EQ(untouched.left, 1);
        EXPECT_EQ(untouched.bottom, 4);
    }
}

TEST_F(AppSettingXmlTest, SampleHistoryKeepsTwentyOneNewestEntries)
{
    CAppSettingXML settings;
    Load(settings);
    for (int i = 0; i < 40; ++i)
        EXPECT_TRUE(settings.AddRecentString(L"FontTB", L"SampleCombo", L"text" + std::to_wstring(i), 20));
    CStringArray list;
    EXPECT_TRUE(settings.GetStringList(L"FontTB", L"SampleCombo", list));
    ASSERT_EQ(list.size(), 21u);
    EXPECT_EQ(list.front(), L"text19");
    EXPECT_EQ(list.back(), L"text39");
}

TEST_F(AppSettingXmlTest, RemovingASectionReachesTheFile)
{
    {
        CAppSettingXML settings;
        Load(settings);
        settings.AddRecentString(L"FontTB", L"SampleCombo", L"one", 20);
        settings.SetString(L"FontTB", L"other", L"two");
        settings.SetInt(L"general", L"layout", 1);
        ASSERT_EQ(settings.Save(), S_OK);
    }
    {
        CAppSettingXML settings;
        Load(settings);
        EXPECT_TRUE(settings.RemoveSection(L"FontTB", L"SampleCombo"));
        EXPECT_FALSE(settings.RemoveSection(L"NoSuch", L"key"));
        ASSERT_EQ(settings.Save(), S_OK);
    }
    CAppSettingXML settings;
    Load(settings);
    CStringArray list;
    settings.GetStringList(L"FontTB", L"SampleCombo", list);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(settings.GetString(L"FontTB", L"other"), L"");
    EXPECT_EQ(settings.GetInt(L"general", L"layout", 0), 1);
}

TEST_F(AppSettingXmlTest, AMalformedFileIsKeptAsideAndReported)
{
    const std::string broken = "<Settings><general><layout>3</layout></gen";
    ASSERT_TRUE(WriteBytes(Path(L"gly.xml"), broken));
    CAppSettingXML settings;
    Load(settings);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(Path(L"gly.xml.bad")), std::wstring::npos) << messages[0];
    EXPECT_EQ(ReadBytes(Path(L"gly.xml.bad")), broken);
    EXPECT_EQ(settings.GetInt(L"general", L"layout", 2), 2);
    settings.SetInt(L"general", L"layout", 4);
    EXPECT_EQ(settings.Save(), S_OK);
    EXPECT_EQ(ReadBytes(Path(L"gly.xml.bad")), broken);

    CAppSettingXML again;
    Load(again);
    EXPECT_EQ(again.GetInt(L"general", L"layout", 2), 4);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(AppSettingXmlTest, AFailedSaveIsReportedAndStaysPending)
{
    CAppSettingXML settings;
    settings.SetDataFolder(folder + L"\\gone");
    ASSERT_TRUE(settings.Load());
    settings.SetInt(L"general", L"layout", 1);
    EXPECT_TRUE(FAILED(settings.Save()));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(L"gone"), std::wstring::npos) << messages[0];
    EXPECT_TRUE(settings.Xml().IsModified());

    ASSERT_TRUE(CreateDirectoryW((folder + L"\\gone").c_str(), nullptr));
    EXPECT_EQ(settings.Save(), S_OK);
    EXPECT_FALSE(settings.Xml().IsModified());
    EXPECT_TRUE(FileExists(folder + L"\\gone\\gly.xml"));
    EXPECT_FALSE(FileExists(folder + L"\\gone\\gly.xml.tmp"));
}

TEST_F(AppSettingXmlTest, TheOldIniFileIsImportedOnce)
{
    const std::wstring ini = Path(L"gly.ini");
    auto put = [&](const wchar_t* section, const wchar_t* key, const wchar_t* value) {
        ASSERT_TRUE(WritePrivateProfileStringW(section, key, value, ini.c_str()));
    };
    put(L"exit_value", L"setfile", L"C:\\sets\\my.set");
    put(L"exit_value", L"bg", L"16777215");
    put(L"exit_value", L"fg", L"0");
    put(L"general", L"layout", L"3");
    // A list numbered from 1, with its selection.
    put(L"DBFind", L"DBFindCombo1", L"first");
    put(L"DBFind", L"DBFindCombo2", L"second");
    put(L"DBFind", L"DBFindCombo", L"second");
    // A list with a gap: 0, 1, 3 stops after 1.
    put(L"Recent_Databases", L"Database_0", L"a.set");
    put(L"Recent_Databases", L"Database_1", L"b.set");
    put(L"Recent_Databases", L"Database_3", L"d.set");
    put(L"PluginPaths_User", L"Kindler\u00AE Page 8", L"C:\\Kindler\\Plug-ins");
    put(L"PluginPaths_User", L"Empty", L"");
    put(L"window_size", L"window_leftPos", L"-8");
    put(L"window_size", L"maximized", L"0");
    put(L"lbar-SCBar-124", L"sizeVertCX", L"250");

    CAppSettingXML settings;
    Load(settings);
    ASSERT_TRUE(MigrateLegacyIniSettings(settings));
    EXPECT_EQ(settings.GetString(L"exit_value", L"setfile"), L"C:\\sets\\my.set");
    EXPECT_EQ(settings.GetInt(L"exit_value", L"bg", 1), 0xFFFFFF);
    EXPECT_EQ(settings.GetInt(L"exit_value", L"fg", 1), 0);
    EXPECT_EQ(settings.GetInt(L"exit_value", L"kern", 1), 1);  // not in the file: not imported
    EXPECT_EQ(settings.GetInt(L"general", L"layout", 2), 3);
    CStringArray list;
    settings.GetStringList(L"DBFind", L"DBFindCombo", list);
    EXPECT_EQ(list, (CStringArray{L"first", L"second"}));
    EXPECT_EQ(settings.GetString(L"DBFind", L"DBFindCombo_Sel"), L"second");
    settings.GetStringList(L"Recent_Databases", L"Database", list);
    EXPECT_EQ(list, (CStringArray{L"a.set", L"b.set"}));
    EXPECT_EQ(settings.GetString(L"PluginPaths_User", L"Kindler\u00AE Page 8"), L"C:\\Kindler\\Plug-ins");
    EXPECT_EQ(settings.GetString(L"PluginPaths_User", L"Empty"), L"");
    EXPECT_EQ(settings.GetInt(L"window_size", L"window_leftPos", 65535), -8);
    EXPECT_EQ(settings.GetInt(L"window_size", L"maximized", 1), 0);
    EXPECT_EQ(settings.GetInt(L"lbar-SCBar-124", L"sizeVertCX", 0), 250);
    ASSERT_EQ(settings.Save(), S_OK);

    // Once the settings file exists the old file is left alone.
    CAppSettingXML next;
    Load(next);
    EXPECT_FALSE(MigrateLegacyIniSettings(next));
}
