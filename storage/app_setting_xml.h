#pragma once
// The settings store: every preference and remembered state of the program in "gly.xml" in the
// per-user data folder, addressed by section and key.
#include <windows.h>

#include <string>

#include "core/types.h"
#include "storage/xml_file_ctrl.h"

class CAppSettingXML {
public:
    CAppSettingXML();
    virtual ~CAppSettingXML();
    CAppSettingXML(const CAppSettingXML&) = delete;
    CAppSettingXML& operator=(const CAppSettingXML&) = delete;

    // The folder that holds "gly.xml"; the application passes its per-user data folder before Load.
    void SetDataFolder(const std::wstring& folder) { dataFolder_ = folder; }
    const std::wstring& GetDataFolder() const { return dataFolder_; }

    BOOL Load();
    // S_OK when saved or when there was nothing to save; the failure code otherwise (reported in
    // a message box, and the settings stay marked as changed).
    HRESULT Save();
    void Close();

    int GetInt(const wchar_t* section, const wchar_t* key, int defaultValue);
    BOOL SetInt(const wchar_t* section, const wchar_t* key, int value);
    std::wstring GetString(const wchar_t* section, const wchar_t* key);
    BOOL SetString(const wchar_t* section, const wchar_t* key, const std::wstring& text);
    BOOL GetRect(const wchar_t* section, const wchar_t* key, RECT& rect);
    BOOL SetRect(const wchar_t* section, const wchar_t* key, const RECT& rect);
    BOOL GetBinary(const wchar_t* section, const wchar_t* key, BYTE* buffer, UINT& size);
    BOOL SetBinary(const wchar_t* section, const wchar_t* key, const BYTE* bytes, UINT size);
    BOOL GetStringList(const wchar_t* section, const wchar_t* key, CStringArray& items);
    BOOL SetStringList(const wchar_t* section, const wchar_t* key, const CStringArray& items);
    BOOL AddRecentString(const wchar_t* section, const wchar_t* key, const std::wstring& text, int limit);
    BOOL SetDouble(const wchar_t* section, const wchar_t* key, double value);
    double GetDouble(const wchar_t* section, const wchar_t* key);
    BOOL RemoveSection(const wchar_t* section, const wchar_t* key);
    std::wstring GetFilePath() const { return filePath_; }

    // One-time import of the older INI file.
    void ImportIniInt(const wchar_t* section, const wchar_t* key, const std::wstring& iniPath);
    void ImportIniString(const wchar_t* section, const wchar_t* key, const std::wstring& iniPath);
    void ImportIniStringList(const wchar_t* section, const wchar_t* key, const std::wstring& iniPath,
                             wchar_t separator, const wchar_t* selectionKey);
    void ImportIniSectionStrings(const wchar_t* section, const std::wstring& iniPath);
    void ImportIniSectionInts(const wchar_t* section, const std::wstring& iniPath);

    // Section and key as the path of the key's element; keys are made valid element names.
    std::wstring MakeKeyPath(const wchar_t* section, const wchar_t* key) const;

    CXMLFileCtrl& Xml() { return xml_; }

private:
    CXMLFileCtrl xml_;
    std::wstring filePath_;
    std::wstring dataFolder_;
    // Set when an unreadable file could not be copied aside: it is then never written over.
    bool keepFile_ = false;
};

// The program's one settings store, constructed before the application object.
extern CAppSettingXML g_appSettings;

// Runs the import of "gly.ini" when "gly.xml" is not on disc and "gly.ini" exists in the store's
// folder; true when it ran.
bool MigrateLegacyIniSettings(CAppSettingXML& settings);
