#include "activation/set_search.h"

#include <objbase.h>
#include <oleauto.h>

#include <climits>

#include "activation/app_state.h"
#include "activation/pipe_server.h"
#include "core/helpers.h"
#include "storage/com_ptr.h"
#include "storage/fast_xml_reader.h"
#include "storage/font_files_tags.h"
#include "storage/font_files_xml.h"
#include "storage/msxml_ids.h"
#include "storage/set_file.h"
#include "storage/xml_file_ctrl.h"

// ---- SAXContentHandlerImpl -------------------------------------------------------------------------

HRESULT SAXContentHandlerImpl::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, msxml::IID_ISAXContentHandler)) {
        *out = static_cast<ISAXContentHandler*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG SAXContentHandlerImpl::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_refs));
}

ULONG SAXContentHandlerImpl::Release()
{
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) {
        delete this;
        return 0;
    }
    return static_cast<ULONG>(refs);
}

// ---- CSAXContentHandler_FindPipeFont ---------------------------------------------------------------

namespace {

// The local name cut to the compared length.
std::wstring_view TagOf(const wchar_t* name, int length)
{
    if (!name || length <= 0)
        return {};
    return std::wstring_view(name, static_cast<size_t>(
                                       length > CSAXContentHandler_FindPipeFont::kMaxTagLength
                                           ? CSAXContentHandler_FindPipeFont::kMaxTagLength
                                           : length));
}

// Trimmed where it stands: the buffer keeps its storage from record to record.
void TrimInPlace(std::wstring& text)
{
    const wchar_t* spaces = L" \t\r\n";
    const size_t last = text.find_last_not_of(spaces);
    if (last == std::wstring::npos) {
        text.clear();
        return;
    }
    text.erase(last + 1);
    text.erase(0, text.find_first_not_of(spaces));
}

bool FileFound(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return true;
}

}  // namespace

CSAXContentHandler_FindPipeFont::CSAXContentHandler_FindPipeFont(CPipeData* exchange, const CSetItem& set)
    : m_exchange(exchange), m_set(set)
{
}

HRESULT CSAXContentHandler_FindPipeFont::Result() const
{
    return m_exchange && m_exchange->WorkersMustStop() ? E_FAIL : S_OK;
}

HRESULT CSAXContentHandler_FindPipeFont::startDocument()
{
    m_position = 0;
    return S_OK;
}

HRESULT CSAXContentHandler_FindPipeFont::startElement(const wchar_t*, int, const wchar_t* localName, int localLength,
                                                      const wchar_t*, int, ISAXAttributes*)
{
    const std::wstring_view tag = TagOf(localName, localLength);
    if (tag == L"b") {
        m_record.Reset();
        m_fileName.clear();
        m_folder.clear();
        m_matched = 0;
    } else if (tag == L"m") {
        m_names = CFontStrings();
    }
    // Text belongs to the element that ends next; what came before a child is not its text.
    m_text.clear();
    return Result();
}

HRESULT CSAXContentHandler_FindPipeFont::characters(const wchar_t* chars, int length)
{
    if (chars && length > 0)
        m_text.append(chars, static_cast<size_t>(length > kMaxChunkLength ? kMaxChunkLength : length));
    return Result();
}

void CSAXContentHandler_FindPipeFont::RecordEnded()
{
    ++m_position;
    // Members, not locals: assigning into them reuses their storage, and the threads' parses would
    // otherwise queue on the heap for three copies per record.
    std::wstring& postScript = m_postScript;
    std::wstring& family = m_family;
    std::wstring& style = m_style;
    postScript.clear();
    family.clear();
    style.clear();
    m_record.GetEnglishNames(postScript, family, style);
    // Most records are asked for by nobody: they are told apart without the exchange's lock.
    if (postScript.empty() || !m_exchange || !m_exchange->MayBeRequested(postScript))
        return;
    m_exchange->Lock();
    const int n = m_exchange->FindRequestByKey(postScript);
    if (n >= 0) {
        m_matched = 1;
        std::wstring file;
        m_record.GetFilePath(file, true);
        const std::wstring path = CombinePath(CombinePath(file, m_record.baseFolder), m_set.sourceFolder);
        // A record whose file is gone leaves the request open for other records, sets and the folder.
        if (!file.empty() && FileFound(path))
            m_exchange->SetFoundInSet(n, path, family, style, m_set, m_position);
    }
    m_exchange->Unlock();
}

HRESULT CSAXContentHandler_FindPipeFont::endElement(const wchar_t*, int, const wchar_t* localName, int localLength,
                                                    const wchar_t*, int)
{
    const std::wstring_view tag = TagOf(localName, localLength);
    // Only the text of the names read below is copied: most elements of a record are not, and the
    // copies would cost more than the parse.
    const bool read = tag.size() == 1 && std::wstring_view(L"nfhgdewrs").find(tag[0]) != std::wstring_view::npos;
    if (read)
        TrimInPlace(m_text);
    const std::wstring& text = m_text;
    if (tag == L"b") {
        RecordEnded();
    } else if (tag == L"n") {
        m_names.language = static_cast<uint32_t>(XmlParseInt(text.c_str()));
    } else if (tag == L"f") {
        m_record.kind = XmlParseInt(text.c_str());
    } else if (tag == L"h") {
        m_record.defaultNames = XmlParseInt(text.c_str());
    } else if (tag == L"g") {
        m_record.language = XmlParseInt(text.c_str());
    } else if (!m_matched) {
        if (tag == L"m") {
            m_record.names.Add(m_names.language, m_names.platform, m_names.encoding);
            *m_record.names.GetAt(m_record.names.GetSize() - 1) = m_names;
            m_names = CFontStrings();
        } else if (tag == L"d") {
            m_fileName = text;
            m_record.storedPath = text;
        } else if (tag == L"e") {
            m_folder = text;
            m_record.baseFolder = text;
        } else if (tag == L"w") {
            m_names.strings[NamePostScript] = text;
        } else if (tag == L"r") {
            m_names.strings[NameFamily] = text;
        } else if (tag == L"s") {
            m_names.strings[NameSubfamily] = text;
        }
    }
    m_text.clear();
    return Result();
}

// ---- the set list ------------------------------------------------------------------------------------

void CollectSets(CSetArray& sets, CFontFilesXML* document, IXMLDOMNode* node, const CWordArray& parentPath)
{
    if (!document || !node)
        return;
    CWordArray path = parentPath;
    Variant id;
    if (CFontFilesXML::GetNodeAttribute(node, TagName(kTagSetId), &id) &&
        SUCCEEDED(VariantChangeType(&id, &id, 0, VT_UI2))) {
        path.push_back(id.Get().uiVal);
        CSetItem item;
        item.idPath = path;
        document->GetNodeNamePath(item.namePath, path, L"->");
        document->GetNodeSourcePath(item.sourceFolder, path);
        item.count = XmlGetChildInt(node, TagName(kTagSetUseCount), 0);
        sets.push_back(std::move(item));
    }
    ComPtr<IXMLDOMNode> child;
    node->get_firstChild(child.Put());
    while (child) {
        DOMNodeType type = NODE_INVALID;
        child->get_nodeType(&type);
        if (type == NODE_ELEMENT) {
            Bstr name;
            child->get_nodeName(name.Put());
            if (name.Str() == TagName(kTagNode))
                CollectSets(sets, document, child.Get(), path);
        }
        ComPtr<IXMLDOMNode> next;
        child->get_nextSibling(next.Put());
        child = next;
    }
}

// ---- the workers ---------------------------------------------------------------------------------------

HRESULT SearchSetBytes(CPipeData* exchange, const CSetItem& set, const BYTE* data, size_t size)
{
    auto* handler = new CSAXContentHandler_FindPipeFont(exchange, set);
    handler->AddRef();
    const HRESULT hr = fastxml::ParseBytes(data, size, handler);
    handler->Release();
    return hr;
}

HRESULT SearchSetStream(CPipeData* exchange, const CSetItem& set, IStream* stream)
{
    if (!stream)
        return E_POINTER;
    auto* handler = new CSAXContentHandler_FindPipeFont(exchange, set);
    handler->AddRef();
    const HRESULT hr = fastxml::ParseStream(stream, handler);
    handler->Release();
    return hr;
}

// The set's stream copied into memory in one read. The compound file is not safe for use by several
// threads, so only the copy is made under the set file's lock; the parses then run side by side.
bool ReadSetStreamBytes(const CWordArray& idPath, std::vector<BYTE>& bytes)
{
    bytes.clear();
    std::wstring name;
    if (!CFontFilesXML::MakeSetStreamName(idPath, name))
        return false;
    CSetFileLock lock;
    IStorage* storage = GetAppSetStorage();
    if (!storage)
        return false;
    ComPtr<IStream> stream;
    if (!OpenStorageStream(name, storage, stream.Put(), TRUE) || !stream)
        return false;
    STATSTG stat{};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || stat.cbSize.HighPart != 0 ||
        stat.cbSize.LowPart > static_cast<DWORD>(INT_MAX))
        return false;
    const size_t size = static_cast<size_t>(stat.cbSize.LowPart);
    bytes.resize(size);
    size_t done = 0;
    while (done < size) {
        ULONG got = 0;
        if (FAILED(stream->Read(bytes.data() + done, static_cast<ULONG>(size - done), &got)) || got == 0)
            break;
        done += got;
    }
    return done == size;
}

UINT __cdecl SetSearchWorker(LPVOID param)
{
    auto* exchange = static_cast<CPipeData*>(param);
    if (!exchange)
        return 0;
    {
        CWorkerComApartment com;
        if (com.Ok()) {
            std::vector<BYTE> bytes;
            while (!exchange->WorkersMustStop()) {
                const LONG i = --exchange->remainingSets;
                if (i < 0 || static_cast<size_t>(i) >= exchange->sets.size())
                    break;
                const CSetItem set = exchange->sets[static_cast<size_t>(i)];
                if (ReadSetStreamBytes(set.idPath, bytes))
                    SearchSetBytes(exchange, set, bytes.data(), bytes.size());
            }
        }
    }
    exchange->OnSearchWorkerDone();
    return 0;
}
