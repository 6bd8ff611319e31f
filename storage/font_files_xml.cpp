#include "storage/font_files_xml.h"

#include "core/helpers.h"
#include "core/resource_strings.h"
#include "storage/com_ptr.h"
#include "storage/msxml_ids.h"
#include "storage/set_file.h"
#include "storage/storage_messages.h"
#include "storage/storage_string_ids.h"

const wchar_t kFontFilesNamespace[] = L"urn:Morvandel-GLY-FontFiles";
const wchar_t kSetsStreamName[] = L"sets";
const wchar_t kDbsStreamName[] = L"dbs";

CFontFilesXML::CFontFilesXML() : xml_(L"Root")
{
    xml_.CreateDocument();
}

BOOL CFontFilesXML::MakeSetStreamName(const CWordArray& idPath, std::wstring& name)
{
    name = L"set" + JoinNumberArray(idPath, L"-") + L".xml";
    return TRUE;
}

HRESULT CFontFilesXML::DeleteSetStream(const CWordArray& idPath, IStorage* target)
{
    xml_.SetModified(TRUE);
    if (!target)
        return E_POINTER;
    std::wstring name;
    MakeSetStreamName(idPath, name);
    CSetFileLock lock;
    return target->DestroyElement(name.c_str());
}

HRESULT CFontFilesXML::RenameSetStream(const CWordArray& oldPath, const CWordArray& newPath, IStorage* target)
{
    xml_.SetModified(TRUE);
    if (!target)
        return E_POINTER;
    std::wstring oldName, newName;
    MakeSetStreamName(oldPath, oldName);
    MakeSetStreamName(newPath, newName);
    CSetFileLock lock;
    target->DestroyElement(newName.c_str());
    return target->RenameElement(oldName.c_str(), newName.c_str());
}

BOOL CFontFilesXML::OpenOrCreate(const std::wstring& name, IStorage* target, BOOL create, BOOL openReadOnly)
{
    streamName.clear();
    xml_.SetRoot(nullptr);
    if (name.empty() || !target || !xml_.Document())
        return FALSE;
    bool isNew = false;
    {
        CSetFileLock lock;
        ComPtr<IStream> stream;
        if (OpenStorageStream(name, target, stream.Put(), openReadOnly) && xml_.LoadFromStream(stream.Get()) == S_OK &&
            xml_.Root()) {
            streamName = name;
            storage = target;
        } else {
            stream.Reset();
            if (!create)
                return FALSE;
            // The stream is only made here; it gets its content at the first save.
            if (!CreateStorageStream(name, target, stream.Put()))
                return FALSE;
            IXMLDOMDocument2* document = xml_.Document();
            Bstr rootName(L"a");
            ComPtr<IXMLDOMElement> root;
            if (FAILED(document->createElement(rootName.Get(), root.Put())) || !root)
                return FALSE;
            document->putref_documentElement(root.Get());
            xml_.SetRoot(root.Get());
            xml_.SetRootName(L"a");
            ComPtr<IXMLDOMElement> version;
            Bstr versionName(L"m");
            if (SUCCEEDED(document->createElement(versionName.Get(), version.Put())) && version) {
                ComPtr<IXMLDOMNode> appended;
                root->appendChild(version.Get(), appended.Put());
                xml_.SetNodeText(version.Get(), L"4");
            }
            streamName = name;
            storage = target;
            xml_.SetModified(TRUE);
            isNew = true;
        }
    }
    readOnly = openReadOnly;
    if (name != kSetsStreamName) {
        IXMLDOMDocument2* document = xml_.Document();
        Bstr language(L"SelectionLanguage"), namespaces(L"SelectionNamespaces");
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(L"XPath");
        document->setProperty(language.Get(), value);
        VariantClear(&value);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(FormatString(L"xmlns:%s='%s'", L"a", kFontFilesNamespace).c_str());
        document->setProperty(namespaces.Get(), value);
        VariantClear(&value);
        if (isNew) {
            Bstr attribute(L"xmlns");
            value.vt = VT_BSTR;
            value.bstrVal = SysAllocString(kFontFilesNamespace);
            xml_.Root()->setAttribute(attribute.Get(), value);
            VariantClear(&value);
            xml_.SetModified(TRUE);
        }
    }
    return TRUE;
}

BOOL CFontFilesXML::SaveIfModified(IStorage* target)
{
    IStorage* into = target ? target : storage;
    if (!xml_.IsModified() || streamName.empty() || readOnly || !into || !xml_.Root())
        return FALSE;
    if (!SaveXmlDocumentToStream(xml_.Document(), streamName, into))
        return FALSE;  // still modified: a later save tries again
    xml_.SetModified(FALSE);
    return TRUE;
}

BOOL LoadSetTree(CFontFilesXML& document, IStorage* storage, BOOL readOnly, const std::wstring& path, bool createEmpty)
{
    BOOL loaded = document.OpenOrCreate(kSetsStreamName, storage, FALSE, readOnly);
    if (!loaded && document.OpenOrCreate(kDbsStreamName, storage, FALSE, readOnly)) {
        if (readOnly) {
            // Nothing can be written to the file: use the copy as it is.
            document.streamName = kSetsStreamName;
            loaded = TRUE;
        } else if (SaveXmlDocumentToStream(document.Xml().Document(), kSetsStreamName, storage)) {
            loaded = document.OpenOrCreate(kSetsStreamName, storage, FALSE, readOnly);
        }
    }
    if (loaded) {
        document.readOnly = readOnly;
        return TRUE;
    }
    if (!createEmpty) {
        StorageMessageBox(LoadResString(IDS_SETFILE_OPEN_FAILED) + L"\r\n" + path, MB_OK | MB_ICONERROR);
        return FALSE;
    }
    std::wstring message = FormatString(LoadResString(IDS_SETFILE_SETS_UNREADABLE).c_str(), path.c_str());
    if (readOnly) {
        StorageMessageBox(message, MB_OK | MB_ICONWARNING);
        return FALSE;
    }
    // A new tree would orphan every set stream the file holds: keep the whole file first, and
    // write nothing when that copy cannot be made.
    if (StorageHasElements(storage)) {
        std::wstring backup;
        HRESULT hr = BackupSetFile(storage, path, backup);
        if (FAILED(hr)) {
            StorageMessageBox(message + L"\r\n" + FormatString(LoadResString(IDS_SETFILE_BACKUP_FAILED).c_str(), path.c_str()) +
                                  L"\r\n" + StorageErrorText(hr),
                              MB_OK | MB_ICONERROR);
            return FALSE;
        }
        message += L"\r\n" + FormatString(LoadResString(IDS_SETFILE_BACKUP_KEPT).c_str(), backup.c_str());
    }
    StorageMessageBox(message, MB_OK | MB_ICONWARNING);
    if (!document.OpenOrCreate(kSetsStreamName, storage, TRUE, FALSE))
        return FALSE;
    document.readOnly = FALSE;
    return TRUE;
}

BOOL OpenCurrentSetFile(std::wstring& path, const std::wstring& dataFolder, IStorage** storage, BOOL& readOnly,
                        CFontFilesXML& document)
{
    if (!storage)
        return FALSE;
    *storage = nullptr;
    std::wstring fallback = FormatString(L"%s\\%s", dataFolder.c_str(), L"gly.set");
    std::wstring candidates[2] = {path.empty() ? fallback : path, fallback};
    for (int i = 0; i < 2; ++i) {
        const std::wstring& candidate = candidates[i];
        if (i == 1 && _wcsicmp(candidate.c_str(), candidates[0].c_str()) == 0)
            break;
        ComPtr<IStorage> opened;
        BOOL fileReadOnly = FALSE;
        bool created = false;
        if (FileExists(candidate)) {
            // A file that does not open is never created anew over itself.
            if (!OpenCompoundFile(candidate, opened.Put(), fileReadOnly, TRUE))
                continue;
        } else {
            if (!CreateCompoundFile(candidate, opened.Put()))
                continue;
            created = true;
        }
        BOOL ok = created ? document.OpenOrCreate(kSetsStreamName, opened.Get(), TRUE, FALSE)
                          : LoadSetTree(document, opened.Get(), fileReadOnly, candidate, true);
        if (!ok)
            continue;
        document.readOnly = fileReadOnly;
        readOnly = fileReadOnly;
        path = candidate;
        *storage = opened.Detach();
        return TRUE;
    }
    return FALSE;
}

namespace {
// Writers that escape what they write get the text as it is; the writer of a rewritten set stream
// runs with escaping off and gets CDATA sections, split where the text holds "]]>".
bool HandlerEscapes(ISAXContentHandler* handler)
{
    ComPtr<IMXWriter> writer;
    if (FAILED(handler->QueryInterface(msxml::IID_IMXWriter, reinterpret_cast<void**>(writer.Put()))) || !writer)
        return false;
    VARIANT_BOOL disabled = VARIANT_FALSE;
    if (FAILED(writer->get_disableOutputEscaping(&disabled)))
        return false;
    return disabled == VARIANT_FALSE;
}
}  // namespace

BOOL SaxWriteElement(ISAXContentHandler* handler, const wchar_t* tag, int tagLength, const wchar_t* text)
{
    if (!handler || !tag || !text || !*text)
        return FALSE;
    if (tagLength < 0)
        tagLength = static_cast<int>(wcslen(tag));
    // Surrogate pairs stay whole; only what XML cannot hold becomes '.'.
    std::wstring value = ReplaceInvalidXmlText(text, L'.');
    if (NeedsXmlEscape(value, false) && !HandlerEscapes(handler)) {
        std::wstring wrapped = L"<![CDATA[";
        size_t start = 0;
        for (;;) {
            size_t end = value.find(L"]]>", start);
            if (end == std::wstring::npos) {
                wrapped.append(value, start, std::wstring::npos);
                break;
            }
            wrapped.append(value, start, end + 2 - start);
            wrapped += L"]]><![CDATA[";
            start = end + 2;
        }
        wrapped += L"]]>";
        value.swap(wrapped);
    }
    handler->startElement(L"", 0, L"", 0, tag, tagLength, nullptr);
    handler->characters(value.c_str(), static_cast<int>(value.size()));
    handler->endElement(L"", 0, L"", 0, tag, tagLength);
    return TRUE;
}

BOOL ParseIntField(int& out, const wchar_t* text)
{
    if (!text)
        return FALSE;
    out = XmlParseInt(text);
    return TRUE;
}

void ParseDateField(double& out, const wchar_t* text)
{
    if (!text)
        return;
    OleDate date;
    if (ParseXmlDateTime(text, date) && date.valid)
        out = date.date;
}
