#include "storage/font_files_xml.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <ctime>
#include <vector>

#include "core/helpers.h"
#include "core/resource_strings.h"
#include "storage/com_ptr.h"
#include "storage/disc_catalogue.h"
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

// Root and document are released by the XML control.
CFontFilesXML::~CFontFilesXML() = default;

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
    HRESULT hr = target->RenameElement(oldName.c_str(), newName.c_str());
    // A set that never got a record has no stream: nothing to move.
    return hr == STG_E_FILENOTFOUND ? S_OK : hr;
}

BOOL CFontFilesXML::OpenOrCreate(const std::wstring& name, IStorage* target, BOOL create, BOOL openReadOnly)
{
    CSetFileLock documentLock;
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
        XmlSetStringProperty(document, L"SelectionLanguage", L"XPath");
        XmlSetStringProperty(document, L"SelectionNamespaces", FormatString(L"xmlns:%s='%s'", L"a", kFontFilesNamespace));
        if (isNew) {
            Bstr attribute(L"xmlns");
            VARIANT value;
            VariantInit(&value);
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
    CSetFileLock lock;
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

// ---------------------------------------------------------------------------------------------------
// The set tree

namespace {
std::wstring IdStep(WORD id)
{
    return FormatString(L"%s[@%s=\"%d\"]", TagName(kTagNode), TagName(kTagSetId), static_cast<int>(id));
}

WORD ReadNodeId(IXMLDOMNode* node, bool* found = nullptr)
{
    Variant value;
    bool ok = CFontFilesXML::GetNodeAttribute(node, TagName(kTagSetId), &value) && value.Get().vt == VT_BSTR;
    if (found)
        *found = ok;
    return ok ? static_cast<WORD>(XmlParseInt(value.Get().bstrVal)) : 0;
}

std::wstring ChildText(IXMLDOMNode* node, int tag, const wchar_t* prefix = nullptr)
{
    std::wstring text;
    XmlGetChildText(node, text, TagName(tag), prefix);
    return text;
}
}  // namespace

bool IsSameIdPath(const CWordArray& a, const CWordArray& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

bool IsIdPathPrefix(const CWordArray& a, const CWordArray& b)
{
    return b.size() < a.size() && std::equal(b.begin(), b.end(), a.begin());
}

BYTE CFontFilesXML::GetFormatVersion(const CWordArray* idPath)
{
    CSetFileLock lock;
    if (!xml_.Root())
        return 1;
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(idPath ? SelectNodeByIdPath(*idPath) : SelectNodeByIdPath({}));
    std::wstring text;
    if (!node || !XmlGetChildText(node.Get(), text, TagName(kTagVersion)))
        return 1;
    return static_cast<BYTE>(XmlParseInt(text.c_str()));
}

IXMLDOMNode* CFontFilesXML::SelectNodeByIdPath(const CWordArray& idPath)
{
    CSetFileLock lock;
    IXMLDOMElement* root = xml_.Root();
    if (!root)
        return nullptr;
    if (idPath.empty()) {
        root->AddRef();
        return root;
    }
    std::wstring xpath;
    for (WORD id : idPath) {
        if (!xpath.empty())
            xpath += L'/';
        xpath += IdStep(id);
    }
    return xml_.SelectSingle(xpath);
}

BOOL CFontFilesXML::GetNodeIdPath(IXMLDOMNode* node, CWordArray& idPath)
{
    CSetFileLock lock;
    idPath.clear();
    if (!node)
        return FALSE;
    ComPtr<IXMLDOMNode> current = ComPtr<IXMLDOMNode>::Share(node);
    for (;;) {
        Bstr name;
        if (FAILED(current->get_nodeName(name.Put())))
            return FALSE;
        if (name.Str() != TagName(kTagNode))
            return TRUE;  // reached the root
        bool found = false;
        WORD id = ReadNodeId(current.Get(), &found);
        if (!found)
            return FALSE;
        idPath.insert(idPath.begin(), id);
        ComPtr<IXMLDOMNode> parent;
        if (FAILED(current->get_parentNode(parent.Put())) || !parent)
            return TRUE;
        current = parent;
    }
}

WORD CFontFilesXML::NextFreeId(IXMLDOMNode* parent)
{
    CSetFileLock lock;
    if (!parent)
        return 1;
    ComPtr<IXMLDOMNodeList> list;
    long count = xml_.SelectNodes(TagName(kTagNode), list.Put(), parent);
    std::vector<bool> used(65536, false);
    unsigned largest = 0;
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> child;
        if (FAILED(list->get_item(i, child.Put())) || !child)
            continue;
        bool found = false;
        WORD id = ReadNodeId(child.Get(), &found);
        if (!found)
            continue;
        used[id] = true;
        largest = std::max<unsigned>(largest, id);
    }
    if (largest < 65535)
        return static_cast<WORD>(largest + 1);
    // The largest id is taken: reuse the lowest free one rather than wrap onto a sibling's id.
    for (unsigned id = 1; id <= 65535; ++id)
        if (!used[id])
            return static_cast<WORD>(id);
    return 0;
}

WORD CFontFilesXML::CreateNode(const std::wstring& name, CWordArray& idPath, BOOL keepZero)
{
    CSetFileLock lock;
    IXMLDOMDocument2* document = xml_.Document();
    ComPtr<IXMLDOMNode> parent = ComPtr<IXMLDOMNode>::Attach(SelectNodeByIdPath(idPath));
    if (!parent || !document)
        return 0;
    WORD id = 0;
    if (!keepZero) {
        id = NextFreeId(parent.Get());
        if (id == 0)
            return 0;  // every id is taken
    }
    Bstr nodeName(TagName(kTagNode));
    ComPtr<IXMLDOMElement> node;
    if (FAILED(document->createElement(nodeName.Get(), node.Put())) || !node)
        return 0;
    Variant idValue;
    idValue.Put()->vt = VT_BSTR;
    (&idValue)->bstrVal = SysAllocString(std::to_wstring(id).c_str());
    if (FAILED(node->setAttribute(Bstr(TagName(kTagSetId)).Get(), idValue.Get())))
        return 0;
    const std::pair<int, std::wstring> children[] = {
        {kTagSetName, name},
        {kTagSetCreated, FormatString(L"%X", static_cast<unsigned>(static_cast<uint32_t>(time(nullptr))))},
        {kTagSetFontCount, L"0"},
        {kTagVersion, L"4"},
    };
    for (const auto& [tag, text] : children) {
        Variant type;
        type.Put()->vt = VT_I4;
        (&type)->lVal = NODE_ELEMENT;
        Bstr childName(TagName(tag)), noNamespace(L"");
        ComPtr<IXMLDOMNode> child, appended;
        if (FAILED(document->createNode(type.Get(), childName.Get(), noNamespace.Get(), child.Put())) || !child)
            return 0;
        xml_.SetNodeText(child.Get(), text);
        if (FAILED(node->appendChild(child.Get(), appended.Put())))
            return 0;
    }
    ComPtr<IXMLDOMNode> appended;
    if (FAILED(parent->appendChild(node.Get(), appended.Put())))
        return 0;
    xml_.SetModified(TRUE);
    idPath.push_back(id);
    return id;
}

BOOL CFontFilesXML::FindChildByName(const std::wstring& name, const CWordArray& parentPath, CWordArray& outPath)
{
    CSetFileLock lock;
    ComPtr<IXMLDOMNode> parent = ComPtr<IXMLDOMNode>::Attach(SelectNodeByIdPath(parentPath));
    if (!parent)
        return FALSE;
    ComPtr<IXMLDOMNodeList> list;
    long count = xml_.SelectNodes(FormatString(L"%s/%s", TagName(kTagNode), TagName(kTagSetName)), list.Put(), parent.Get());
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> nameNode, node;
        if (FAILED(list->get_item(i, nameNode.Put())) || !nameNode)
            continue;
        if (_wcsicmp(XmlNodeText(nameNode.Get()).c_str(), name.c_str()) != 0)
            continue;
        if (FAILED(nameNode->get_parentNode(node.Put())) || !node)
            continue;
        outPath = parentPath;
        outPath.push_back(ReadNodeId(node.Get()));
        return TRUE;
    }
    return FALSE;
}

long CFontFilesXML::SelectChildNodes(IXMLDOMNodeList** list, BOOL directOnly, IXMLDOMNode* start)
{
    CSetFileLock lock;
    if (list)
        *list = nullptr;
    if (!xml_.Root())
        return 0;
    std::wstring xpath = directOnly ? std::wstring(TagName(kTagNode)) : FormatString(L".//%s", TagName(kTagNode));
    return xml_.SelectNodes(xpath, list, start);
}

BOOL CFontFilesXML::HasChildNodes(const CWordArray* idPath)
{
    CSetFileLock lock;
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(SelectNodeByIdPath(idPath ? *idPath : CWordArray{}));
    if (!node)
        return FALSE;
    ComPtr<IXMLDOMNode> child = ComPtr<IXMLDOMNode>::Attach(xml_.SelectSingle(TagName(kTagNode), node.Get()));
    return child ? TRUE : FALSE;
}

BOOL CFontFilesXML::MoveNode(CWordArray& nodePath, const CWordArray& newParentPath, IStorage* target)
{
    CSetFileLock lock;
    return MoveNodeLocked(nodePath, newParentPath, target);
}

BOOL CFontFilesXML::MoveNodeLocked(CWordArray& nodePath, const CWordArray& newParentPath, IStorage* target)
{
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(nodePath.empty() ? nullptr : SelectNodeByIdPath(nodePath));
    ComPtr<IXMLDOMNode> newParent = ComPtr<IXMLDOMNode>::Attach(SelectNodeByIdPath(newParentPath));
    if (!node || !newParent)
        return FALSE;
    if (IsIdPathPrefix(newParentPath, nodePath) || IsSameIdPath(newParentPath, nodePath))
        return FALSE;  // a node cannot go below itself
    const WORD newId = NextFreeId(newParent.Get());
    if (newId == 0)
        return FALSE;
    CWordArray newPath = newParentPath;
    newPath.push_back(newId);

    // Old and new stream paths of the node and of every descendant, worked out before anything moves.
    std::vector<std::pair<CWordArray, CWordArray>> moves;
    moves.emplace_back(nodePath, newPath);
    ComPtr<IXMLDOMNodeList> descendants;
    long count = SelectChildNodes(descendants.Put(), FALSE, node.Get());
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> child;
        CWordArray childPath;
        if (FAILED(descendants->get_item(i, child.Put())) || !child || !GetNodeIdPath(child.Get(), childPath) ||
            childPath.size() <= nodePath.size())
            return FALSE;
        CWordArray childNew = newPath;
        childNew.insert(childNew.end(), childPath.begin() + nodePath.size(), childPath.end());
        moves.emplace_back(childPath, childNew);
    }

    // Streams first: a failed rename puts back the ones already moved, so no set loses its fonts.
    auto rollBack = [&](size_t done) {
        while (done-- > 0)
            RenameSetStream(moves[done].second, moves[done].first, target);
    };
    if (target) {
        for (size_t i = 0; i < moves.size(); ++i) {
            if (FAILED(RenameSetStream(moves[i].first, moves[i].second, target))) {
                rollBack(i);
                return FALSE;
            }
        }
    }

    ComPtr<IXMLDOMNode> oldParent, oldNext;
    node->get_parentNode(oldParent.Put());
    node->get_nextSibling(oldNext.Put());
    const WORD oldId = nodePath.back();
    auto setId = [&](WORD id) {
        Variant value;
        value.Put()->vt = VT_BSTR;
        (&value)->bstrVal = SysAllocString(std::to_wstring(id).c_str());
        return SetNodeAttribute(node.Get(), TagName(kTagSetId), value.Get());
    };
    ComPtr<IXMLDOMNode> appended;
    if (FAILED(newParent->appendChild(node.Get(), appended.Put())) || !setId(newId)) {
        setId(oldId);
        if (oldParent) {
            Variant before;
            if (oldNext)
                Variant::SetUnknown(*before.Put(), oldNext.Detach());
            ComPtr<IXMLDOMNode> back;
            oldParent->insertBefore(node.Get(), before.Get(), back.Put());
        }
        if (target)
            rollBack(moves.size());
        return FALSE;
    }
    xml_.SetModified(TRUE);
    nodePath = newPath;
    return TRUE;
}

BOOL CFontFilesXML::DeleteNode(const CWordArray& idPath, IStorage* target, CFontFilesXML* shownDocument,
                               const CWordArray* shownPath)
{
    CSetFileLock lock;
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(idPath.empty() ? nullptr : SelectNodeByIdPath(idPath));
    if (!node)
        return TRUE;
    std::vector<ComPtr<IXMLDOMNode>> doomed;
    ComPtr<IXMLDOMNodeList> descendants;
    long count = SelectChildNodes(descendants.Put(), FALSE, node.Get());
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> child;
        if (SUCCEEDED(descendants->get_item(i, child.Put())) && child)
            doomed.push_back(child);
    }
    doomed.push_back(node);
    for (const ComPtr<IXMLDOMNode>& item : doomed) {
        CWordArray path;
        if (!GetNodeIdPath(item.Get(), path))
            continue;
        if (XmlParseInt(ChildText(item.Get(), kTagSetActive).c_str()) == 1)
            DeactivateSetFonts(path, shownDocument, shownPath, 2, 1, TRUE, TRUE, TRUE);
        DeleteSetStream(path, target);
    }
    xml_.SetModified(TRUE);
    ComPtr<IXMLDOMNode> parent, removed;
    if (FAILED(node->get_parentNode(parent.Put())) || !parent)
        return FALSE;
    return SUCCEEDED(parent->removeChild(node.Get(), removed.Put())) ? TRUE : FALSE;
}

void CFontFilesXML::GetNodeNamePath(std::wstring& out, const CWordArray& idPath, const std::wstring& separator)
{
    CSetFileLock lock;
    out.clear();
    ComPtr<IXMLDOMNode> current = ComPtr<IXMLDOMNode>::Share(xml_.Root());
    for (WORD id : idPath) {
        if (!current)
            break;
        ComPtr<IXMLDOMNode> next = ComPtr<IXMLDOMNode>::Attach(xml_.SelectSingle(IdStep(id), current.Get()));
        if (!next)
            break;
        std::wstring name;
        if (XmlGetChildText(next.Get(), name, TagName(kTagSetName))) {
            if (!out.empty())
                out += separator;
            out += name;
        }
        current = next;
    }
}

void CFontFilesXML::GetNodeSourcePath(std::wstring& out, const CWordArray& idPath)
{
    CSetFileLock lock;
    out.clear();
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(SelectNodeByIdPath(idPath));
    if (!node)
        return;
    std::wstring serialText = ChildText(node.Get(), kTagSetDiscSerial);
    DWORD serial = serialText.empty() ? 0 : static_cast<DWORD>(ParseHex(serialText.c_str(), -1, nullptr));
    out = ChildText(node.Get(), kTagSetSource);
    if (serial != 0 && !out.empty()) {
        wchar_t letter = g_discCollection.FindLetterBySerial(serial);
        if (letter != 0 && towupper(letter) != towupper(out[0]))
            out = FormatString(L"%c%s", letter, out.c_str() + 1);
    }
}

BOOL CFontFilesXML::SetNodeSourcePath(const CWordArray& idPath, const std::wstring& folder)
{
    CSetFileLock lock;
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(SelectNodeByIdPath(idPath));
    if (!node)
        return FALSE;
    xml_.SetModified(TRUE);
    DWORD serial = 0;
    if (!folder.empty()) {
        CDiscCollection discs;
        discs.Fill();
        serial = discs.FindSerialByLetter(folder[0]);
    }
    GetOrCreateChild(node.Get(), kTagSetDiscSerial, serial ? FormatString(L"%08X", serial).c_str() : L"");
    return GetOrCreateChild(node.Get(), kTagSetSource, folder.c_str());
}

int CFontFilesXML::GetNodeValueH(const CWordArray& idPath)
{
    CSetFileLock lock;
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(SelectNodeByIdPath(idPath));
    return node ? XmlGetChildInt(node.Get(), TagName(kTagSetFontCount), 0) : 0;
}

BOOL CFontFilesXML::SetNodeValueH(const CWordArray& idPath, int count)
{
    CSetFileLock lock;
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(SelectNodeByIdPath(idPath));
    if (!node)
        return FALSE;
    return GetOrCreateChild(node.Get(), kTagSetFontCount, std::to_wstring(count).c_str());
}

BOOL CFontFilesXML::IsNodeActive(const CWordArray& idPath)
{
    CSetFileLock lock;
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(SelectNodeByIdPath(idPath));
    return node && XmlGetChildInt(node.Get(), TagName(kTagSetActive), 0) == 1;
}

BOOL CFontFilesXML::IncrementNodeCounter(const CWordArray& idPath)
{
    CSetFileLock lock;
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(SelectNodeByIdPath(idPath));
    if (!node)
        return FALSE;
    int uses = XmlGetChildInt(node.Get(), TagName(kTagSetUseCount), 0);
    return GetOrCreateChild(node.Get(), kTagSetUseCount, std::to_wstring(uses + 1).c_str());
}

long CFontFilesXML::CountRecords()
{
    CSetFileLock lock;
    ComPtr<IXMLDOMNodeList> list;
    return xml_.SelectNodes(L"a:b", list.Put());
}

long CFontFilesXML::CountLoadedRecords()
{
    CSetFileLock lock;
    ComPtr<IXMLDOMNodeList> list;
    long count = xml_.SelectNodes(L"a:b", list.Put());
    long loaded = 0;
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> record;
        if (SUCCEEDED(list->get_item(i, record.Put())) && record &&
            XmlGetChildInt(record.Get(), TagName(kTagLoaded), 0, L"a") != 0)
            ++loaded;
    }
    return loaded;
}

IXMLDOMNode* CFontFilesXML::SelectRecordByPosition(int position)
{
    CSetFileLock lock;
    if (position < 1)
        return nullptr;
    return xml_.SelectSingle(FormatString(L"%s:%s[position()=%d]", L"a", TagName(kTagNode), position));
}

BOOL CFontFilesXML::GetOrCreateChild(IXMLDOMNode* parent, int tagIndex, const wchar_t* rawText, const wchar_t* ns,
                                     const wchar_t* prefix, BOOL guardSpaces)
{
    CSetFileLock lock;
    if (!parent || tagIndex < 0 || tagIndex >= kFontFilesTagCount)
        return FALSE;
    // Characters XML cannot hold would make the whole stream unreadable.
    const std::wstring text = ReplaceInvalidXmlText(rawText ? rawText : L"", L'.');
    const bool cdata = NeedsXmlEscape(text, guardSpaces != FALSE);
    const std::wstring query = prefix && *prefix ? FormatString(L"%s:%s", prefix, TagName(tagIndex)) : TagName(tagIndex);
    ComPtr<IXMLDOMNode> child = ComPtr<IXMLDOMNode>::Attach(xml_.SelectSingle(query, parent));
    IXMLDOMDocument2* document = xml_.Document();

    auto putText = [&](IXMLDOMNode* element) -> bool {
        if (!cdata) {
            Bstr value(text);
            return SUCCEEDED(element->put_text(value.Get()));
        }
        return XmlSetCDataText(document, element, text);
    };

    if (child) {
        xml_.SetModified(TRUE);
        if (text.empty()) {
            ComPtr<IXMLDOMNode> removed;
            parent->removeChild(child.Get(), removed.Put());
            return TRUE;
        }
        return putText(child.Get()) ? TRUE : FALSE;
    }
    if (!document || text.empty())
        return FALSE;
    ComPtr<IXMLDOMNode> created;
    Bstr name(TagName(tagIndex));
    if (ns && *ns) {
        Variant type;
        type.Put()->vt = VT_I4;
        (&type)->lVal = NODE_ELEMENT;
        Bstr uri(ns);
        if (FAILED(document->createNode(type.Get(), name.Get(), uri.Get(), created.Put())) || !created)
            return FALSE;
    } else {
        ComPtr<IXMLDOMElement> element;
        if (FAILED(document->createElement(name.Get(), element.Put())) || !element)
            return FALSE;
        created = ComPtr<IXMLDOMNode>::Share(element.Get());
    }
    if (!putText(created.Get()))
        return FALSE;
    ComPtr<IXMLDOMNode> appended;
    if (FAILED(parent->appendChild(created.Get(), appended.Put())))
        return FALSE;
    xml_.SetModified(TRUE);
    return TRUE;
}

BOOL CFontFilesXML::GetNodeAttribute(IXMLDOMNode* node, const wchar_t* name, VARIANT* value)
{
    ComPtr<IXMLDOMElement> element = XmlAsElement(node);
    if (!element || !name || !value)
        return FALSE;
    Bstr attribute(name);
    return element->getAttribute(attribute.Get(), value) == S_OK ? TRUE : FALSE;
}

BOOL CFontFilesXML::SetNodeAttribute(IXMLDOMNode* node, const wchar_t* name, const VARIANT& value)
{
    CSetFileLock lock;
    ComPtr<IXMLDOMElement> element = XmlAsElement(node);
    if (!element || !name)
        return FALSE;
    Bstr attribute(name);
    return element->setAttribute(attribute.Get(), value) == S_OK ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------------------------------
// Progress

namespace {
// Texts of posted progress messages live here, so the receiver reads valid memory however late it
// runs; a slot is reused only after kSlots later messages.
constexpr size_t kSlots = 64;
struct ProgressSlot {
    wchar_t first[kProgressTextMax + 1];
    wchar_t second[kProgressTextMax + 1];
};
ProgressSlot g_progressSlots[kSlots];
std::atomic<size_t> g_nextProgressSlot{0};

void CopyText(wchar_t* into, const std::wstring& text)
{
    size_t length = std::min(text.size(), kProgressTextMax);
    std::wmemcpy(into, text.data(), length);
    into[length] = 0;
}
}  // namespace

void NotifyFontProgress(HWND window, UINT message, const std::wstring& first, const std::wstring& second)
{
    if (!window || !IsWindow(window))
        return;
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        SendMessageW(window, message, reinterpret_cast<WPARAM>(first.c_str()), reinterpret_cast<LPARAM>(second.c_str()));
        return;
    }
    ProgressSlot& slot = g_progressSlots[g_nextProgressSlot++ % kSlots];
    CopyText(slot.first, first);
    CopyText(slot.second, second);
    PostMessageW(window, message, reinterpret_cast<WPARAM>(slot.first), reinterpret_cast<LPARAM>(slot.second));
}
