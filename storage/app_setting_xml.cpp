#include "storage/app_setting_xml.h"

#include <vector>

#include "core/helpers.h"
#include "core/resource_strings.h"
#include "storage/com_ptr.h"
#include "storage/storage_messages.h"
#include "storage/storage_string_ids.h"

CAppSettingXML g_appSettings;

namespace {
const int kIniMissing = -999999;
}

CAppSettingXML::CAppSettingXML() : xml_(L"Settings") {}

CAppSettingXML::~CAppSettingXML() = default;

BOOL CAppSettingXML::Load()
{
    filePath_ = FormatString(L"%s\\%s", dataFolder_.c_str(), L"gly.xml");
    keepFile_ = false;
    HRESULT hr = xml_.CreateDocument();
    if (FAILED(hr)) {
        StorageMessageBox(StorageErrorText(hr), MB_OK | MB_ICONINFORMATION);
        xml_.SetLoaded(FALSE);
        return FALSE;
    }
    IXMLDOMDocument2* document = xml_.Document();
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(filePath_.c_str());
    VARIANT_BOOL ok = VARIANT_FALSE;
    hr = document->load(source, &ok);
    VariantClear(&source);
    ComPtr<IXMLDOMElement> root;
    if (SUCCEEDED(hr) && ok == VARIANT_TRUE)
        document->get_documentElement(root.Put());

    if (!root) {
        if (FileExists(filePath_)) {
            // The file is there but does not read: keep it beside the new one before anything
            // could write over it, and say so.
            std::wstring kept = filePath_ + L".bad";
            if (CopyFileW(filePath_.c_str(), kept.c_str(), FALSE)) {
                StorageMessageBox(FormatString(LoadResString(IDS_SETTINGS_UNREADABLE_KEPT).c_str(), filePath_.c_str(), kept.c_str()),
                                  MB_OK | MB_ICONWARNING);
            } else {
                keepFile_ = true;
                StorageMessageBox(FormatString(LoadResString(IDS_SETTINGS_UNREADABLE_LEFT).c_str(), filePath_.c_str()),
                                  MB_OK | MB_ICONWARNING);
            }
        }
        Bstr name(L"Settings");
        if (SUCCEEDED(document->createElement(name.Get(), root.Put())) && root) {
            document->putref_documentElement(root.Get());
            Bstr attribute(L"xmlns:dt");
            VARIANT ns;
            VariantInit(&ns);
            ns.vt = VT_BSTR;
            ns.bstrVal = SysAllocString(kXmlDataTypesNamespace);
            root->setAttribute(attribute.Get(), ns);
            VariantClear(&ns);
            xml_.SetModified(TRUE);
        }
    }
    xml_.SetRoot(root.Get());
    if (root) {
        Bstr rootName;
        if (SUCCEEDED(root->get_nodeName(rootName.Put())))
            xml_.SetRootName(rootName.Str());
    }
    xml_.SetLoaded(root ? TRUE : FALSE);
    return xml_.IsLoaded();
}

HRESULT CAppSettingXML::Save()
{
    IXMLDOMDocument2* document = xml_.Document();
    if (!document || !xml_.IsLoaded() || !xml_.IsModified() || keepFile_)
        return S_OK;
    // Written beside the file and moved over it, so that a failed write leaves the old file whole.
    std::wstring temporary = filePath_ + L".tmp";
    VARIANT target;
    VariantInit(&target);
    target.vt = VT_BSTR;
    target.bstrVal = SysAllocString(temporary.c_str());
    HRESULT hr = document->save(target);
    VariantClear(&target);
    if (SUCCEEDED(hr) && !MoveFileExW(temporary.c_str(), filePath_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        hr = HRESULT_FROM_WIN32(GetLastError());
    if (FAILED(hr)) {
        DeleteFileW(temporary.c_str());
        StorageMessageBox(FormatString(LoadResString(IDS_SETTINGS_SAVE_FAILED).c_str(), filePath_.c_str()) + L"\r\n" +
                          StorageErrorText(hr));
        return hr;
    }
    xml_.SetModified(FALSE);
    return S_OK;
}

void CAppSettingXML::Close()
{
    xml_.Release();
    xml_.SetLoaded(FALSE);
}

std::wstring CAppSettingXML::MakeKeyPath(const wchar_t* section, const wchar_t* key) const
{
    if (!xml_.Document())
        return {};
    bool hasSection = section && *section, hasKey = key && *key;
    if (hasSection && hasKey)
        return MakeXmlName(section) + xml_.Separator() + MakeXmlName(key);
    if (hasKey)
        return MakeXmlName(key);
    if (hasSection)
        return MakeXmlName(section);
    return {};
}

int CAppSettingXML::GetInt(const wchar_t* section, const wchar_t* key, int defaultValue)
{
    std::wstring path = MakeKeyPath(section, key);
    if (path.empty())
        return defaultValue;
    return xml_.GetInt(path, defaultValue);
}

BOOL CAppSettingXML::SetInt(const wchar_t* section, const wchar_t* key, int value)
{
    std::wstring path = MakeKeyPath(section, key);
    return !path.empty() && xml_.SetInt(path, value) == S_OK;
}

std::wstring CAppSettingXML::GetString(const wchar_t* section, const wchar_t* key)
{
    std::wstring path = MakeKeyPath(section, key);
    return path.empty() ? std::wstring() : xml_.GetString(path);
}

BOOL CAppSettingXML::SetString(const wchar_t* section, const wchar_t* key, const std::wstring& text)
{
    std::wstring path = MakeKeyPath(section, key);
    return !path.empty() && xml_.SetString(path, text) == S_OK;
}

BOOL CAppSettingXML::GetRect(const wchar_t* section, const wchar_t* key, RECT& rect)
{
    std::wstring text = GetString(section, key);
    CStringArray parts;
    SplitString(text, L",", &parts);
    if (parts.size() != 4)
        return FALSE;
    rect.left = XmlParseInt(parts[0].c_str());
    rect.top = XmlParseInt(parts[1].c_str());
    rect.right = XmlParseInt(parts[2].c_str());
    rect.bottom = XmlParseInt(parts[3].c_str());
    return TRUE;
}

BOOL CAppSettingXML::SetRect(const wchar_t* section, const wchar_t* key, const RECT& rect)
{
    std::wstring text = FormatString(L"%u, %u, %u, %u", static_cast<unsigned>(rect.left), static_cast<unsigned>(rect.top),
                                     static_cast<unsigned>(rect.right), static_cast<unsigned>(rect.bottom));
    return SetString(section, key, text);
}

BOOL CAppSettingXML::GetBinary(const wchar_t* section, const wchar_t* key, BYTE* buffer, UINT& size)
{
    std::wstring path = MakeKeyPath(section, key);
    return !path.empty() && xml_.GetBinary(path, buffer, size) == 0;
}

BOOL CAppSettingXML::SetBinary(const wchar_t* section, const wchar_t* key, const BYTE* bytes, UINT size)
{
    std::wstring path = MakeKeyPath(section, key);
    return !path.empty() && xml_.SetBinary(path, bytes, size) == S_OK;
}

BOOL CAppSettingXML::GetStringList(const wchar_t* section, const wchar_t* key, CStringArray& items)
{
    std::wstring path = MakeKeyPath(section, key);
    return !path.empty() && xml_.ReadStringList(path, items);
}

BOOL CAppSettingXML::SetStringList(const wchar_t* section, const wchar_t* key, const CStringArray& items)
{
    std::wstring path = MakeKeyPath(section, key);
    return !path.empty() && xml_.WriteStringList(path, items);
}

BOOL CAppSettingXML::AddRecentString(const wchar_t* section, const wchar_t* key, const std::wstring& text, int limit)
{
    std::wstring path = MakeKeyPath(section, key);
    return !path.empty() && xml_.AddToList(path, text, limit);
}

BOOL CAppSettingXML::SetDouble(const wchar_t* section, const wchar_t* key, double value)
{
    std::wstring path = MakeKeyPath(section, key);
    return !path.empty() && xml_.SetDouble(path, value) == S_OK;
}

double CAppSettingXML::GetDouble(const wchar_t* section, const wchar_t* key)
{
    std::wstring path = MakeKeyPath(section, key);
    if (path.empty())
        return 0.0;
    return xml_.GetDate(path, CXMLFileCtrl::kDefaultDate);
}

BOOL CAppSettingXML::RemoveSection(const wchar_t* section, const wchar_t* key)
{
    std::wstring path = MakeKeyPath(section, key);
    if (path.empty() || !xml_.Root())
        return FALSE;
    ComPtr<IXMLDOMNodeList> list;
    ComPtr<IXMLDOMNode> sectionNode;
    if (xml_.SelectNodes(path, list.Put()) > 0) {
        ComPtr<IXMLDOMNode> first;
        if (SUCCEEDED(list->get_item(0, first.Put())) && first)
            first->get_parentNode(sectionNode.Put());
    } else if (section && *section) {
        sectionNode = ComPtr<IXMLDOMNode>::Attach(xml_.GetNode(MakeXmlName(section)));
    }
    if (!sectionNode)
        return FALSE;
    ComPtr<IXMLDOMNode> owner, removed;
    if (FAILED(sectionNode->get_parentNode(owner.Put())) || !owner || FAILED(owner->removeChild(sectionNode.Get(), removed.Put())))
        return FALSE;
    // A removal is a change like any other: it must reach the file at exit.
    xml_.SetModified(TRUE);
    return TRUE;
}

void CAppSettingXML::ImportIniInt(const wchar_t* section, const wchar_t* key, const std::wstring& iniPath)
{
    int value = static_cast<int>(GetPrivateProfileIntW(section, key, kIniMissing, iniPath.c_str()));
    if (value != kIniMissing)
        SetInt(section, key, value);
}

void CAppSettingXML::ImportIniString(const wchar_t* section, const wchar_t* key, const std::wstring& iniPath)
{
    std::vector<wchar_t> buffer(2048);
    GetPrivateProfileStringW(section, key, L"", buffer.data(), static_cast<DWORD>(buffer.size()), iniPath.c_str());
    if (buffer[0])
        SetString(section, key, buffer.data());
}

void CAppSettingXML::ImportIniStringList(const wchar_t* section, const wchar_t* key, const std::wstring& iniPath,
                                         wchar_t separator, const wchar_t* selectionKey)
{
    std::vector<wchar_t> buffer(2048);
    CStringArray items;
    for (int index = 0;; ++index) {
        std::wstring name = separator ? FormatString(L"%s%c%d", key, separator, index) : FormatString(L"%s%d", key, index);
        buffer[0] = 0;
        GetPrivateProfileStringW(section, name.c_str(), L"", buffer.data(), static_cast<DWORD>(buffer.size()), iniPath.c_str());
        if (!buffer[0]) {
            if (index == 0)
                continue;  // lists may start at 0 or at 1
            break;
        }
        items.push_back(buffer.data());
    }
    SetStringList(section, key, items);
    if (selectionKey && *selectionKey) {
        buffer[0] = 0;
        GetPrivateProfileStringW(section, key, L"", buffer.data(), static_cast<DWORD>(buffer.size()), iniPath.c_str());
        if (buffer[0])
            SetString(section, selectionKey, buffer.data());
    }
}

namespace {
std::vector<std::wstring> IniKeyNames(const wchar_t* section, const std::wstring& iniPath)
{
    std::vector<wchar_t> names(2048);
    DWORD length = GetPrivateProfileStringW(section, nullptr, L"", names.data(), static_cast<DWORD>(names.size()), iniPath.c_str());
    std::vector<std::wstring> keys;
    for (DWORD i = 0; i < length && i < names.size() && names[i];) {
        std::wstring key(names.data() + i);
        i += static_cast<DWORD>(key.size()) + 1;
        keys.push_back(key);
    }
    return keys;
}
}  // namespace

void CAppSettingXML::ImportIniSectionStrings(const wchar_t* section, const std::wstring& iniPath)
{
    std::vector<wchar_t> value(1024);
    for (const std::wstring& key : IniKeyNames(section, iniPath)) {
        value[0] = 0;
        GetPrivateProfileStringW(section, key.c_str(), L"", value.data(), static_cast<DWORD>(value.size()), iniPath.c_str());
        if (value[0])
            SetString(section, key.c_str(), value.data());
    }
}

void CAppSettingXML::ImportIniSectionInts(const wchar_t* section, const std::wstring& iniPath)
{
    for (const std::wstring& key : IniKeyNames(section, iniPath)) {
        int value = static_cast<int>(GetPrivateProfileIntW(section, key.c_str(), kIniMissing, iniPath.c_str()));
        if (value != kIniMissing)
            SetInt(section, key.c_str(), value);
    }
}

bool MigrateLegacyIniSettings(CAppSettingXML& s)
{
    std::wstring folder = s.GetDataFolder();
    std::wstring xmlPath = FormatString(L"%s\\%s", folder.c_str(), L"gly.xml");
    std::wstring ini = FormatString(L"%s\\%s", folder.c_str(), L"gly.ini");
    if (FileExists(xmlPath) || !FileExists(ini))
        return false;

    s.ImportIniString(L"exit_value", L"setfile", ini);
    s.ImportIniStringList(L"DBFind", L"DBFindCombo", ini, 0, L"DBFindCombo_Sel");
    s.ImportIniStringList(L"Recent_Databases", L"Database", ini, L'_', nullptr);
    for (const wchar_t* key : {L"layout", L"cmapcp"})
        s.ImportIniInt(L"general", key, ini);
    for (const wchar_t* key : {L"prop", L"cmap", L"kern", L"tabid", L"exittype", L"sf", L"cy_prop", L"blexcolla",
                               L"exYColla", L"fg", L"bg"})
        s.ImportIniInt(L"exit_value", key, ini);
    s.ImportIniString(L"exit_value", L"dbftext", ini);
    s.ImportIniStringList(L"findwhat", L"list", ini, 0, L"list_Sel");
    s.ImportIniStringList(L"uninstall", L"move2paths", ini, 0, L"move2paths_Sel");
    s.ImportIniStringList(L"findfpath", L"path", ini, 0, L"path_Sel");
    s.ImportIniStringList(L"Recent_Folder", L"Folder", ini, L'_', nullptr);
    s.ImportIniString(L"exit_value", L"bfolder", ini);
    s.ImportIniStringList(L"imgpath", L"path", ini, 0, L"path_Sel");
    s.ImportIniStringList(L"FolderHistory", L"Folder", ini, 0, L"Folder_Sel");
    s.ImportIniString(L"exit_value", L"sampletext", ini);
    s.ImportIniString(L"exit_value", L"setfile", ini);
    s.ImportIniStringList(L"FontTB", L"SampleCombo", ini, 0, L"SampleCombo_Sel");
    s.ImportIniSectionStrings(L"PluginPaths_User", ini);
    for (const wchar_t* section : {L"lbar-SCBar-124", L"brbar-SCBar-125", L"window_size"})
        s.ImportIniSectionInts(section, ini);
    return true;
}
