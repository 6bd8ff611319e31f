#include "storage/font_record_format.h"

#include <cstddef>
#include <cstring>
#include <cwchar>

#include "core/app_messages.h"
#include "core/font_resource_loader.h"
#include "core/helpers.h"
#include "core/panose.h"
#include "core/resource_strings.h"
#include "storage/fast_xml_reader.h"
#include "storage/com_ptr.h"
#include "storage/msxml_ids.h"
#include "storage/set_file.h"

namespace {
// One numeric field of a metrics block: where it lies in FontMetrics, its width and how it is
// written. Readers truncate to the width, so signed and unsigned texts give the same bits.
struct MetricField {
    int tag;
    size_t offset;
    int width;  // bytes
    bool isSigned;
};

constexpr MetricField kSfntFields[] = {
    {38, offsetof(SfntMetrics, unitsPerEm), 2, false},    {39, offsetof(SfntMetrics, usWinAscent), 2, false},
    {40, offsetof(SfntMetrics, usWinDescent), 2, true},   {41, offsetof(SfntMetrics, extraLeading), 2, false},
    {42, offsetof(SfntMetrics, xAvgCharWidth), 2, true},  {43, offsetof(SfntMetrics, usWeightClass), 2, false},
    {44, offsetof(SfntMetrics, usWidthClass), 2, false},  {47, offsetof(SfntMetrics, fsSelection), 2, false},
};

constexpr MetricField kWinFields[] = {
    {49, offsetof(WinFontMetrics, dfType), 2, true},
    {50, offsetof(WinFontMetrics, dfPoints), 2, true},
    {51, offsetof(WinFontMetrics, dfVertRes), 2, true},
    {52, offsetof(WinFontMetrics, dfHorizRes), 2, true},
    {53, offsetof(WinFontMetrics, dfAscent), 2, true},
    {54, offsetof(WinFontMetrics, dfInternalLeading), 2, true},
    {55, offsetof(WinFontMetrics, dfExternalLeading), 2, true},
    {56, offsetof(WinFontMetrics, dfItalic), 1, false},
    {57, offsetof(WinFontMetrics, dfUnderline), 1, false},
    {58, offsetof(WinFontMetrics, dfStrikeOut), 1, false},
    {59, offsetof(WinFontMetrics, dfWeight), 2, true},
    {60, offsetof(WinFontMetrics, dfCharSet), 1, false},
    {61, offsetof(WinFontMetrics, dfPixWidth), 2, true},
    {62, offsetof(WinFontMetrics, dfPixHeight), 2, true},
    {63, offsetof(WinFontMetrics, dfPitchAndFamily), 1, false},
    {64, offsetof(WinFontMetrics, dfFirstChar), 1, false},
    {65, offsetof(WinFontMetrics, dfLastChar), 1, false},
    {66, offsetof(WinFontMetrics, dfDefaultChar), 1, false},
    {67, offsetof(WinFontMetrics, dfBreakChar), 1, false},
    {68, offsetof(WinFontMetrics, dfFlags), 4, true},
    {69, offsetof(WinFontMetrics, dfAspace), 2, true},
    {70, offsetof(WinFontMetrics, dfBspace), 2, true},
    {71, offsetof(WinFontMetrics, dfCspace), 2, true},
    {72, offsetof(WinFontMetrics, dfAvgWidth), 2, false},
};
static_assert(std::size(kWinFields) == 24);

const MetricField* FindField(const MetricField* fields, size_t count, int tag)
{
    for (size_t i = 0; i < count; ++i)
        if (fields[i].tag == tag)
            return &fields[i];
    return nullptr;
}

int GetMetric(const FontMetrics& metrics, const MetricField& field)
{
    if (field.width == 1)
        return metrics.raw[field.offset];
    if (field.width == 2) {
        uint16_t v;
        std::memcpy(&v, metrics.raw + field.offset, 2);
        return field.isSigned ? static_cast<int16_t>(v) : v;
    }
    int32_t v;
    std::memcpy(&v, metrics.raw + field.offset, 4);
    return v;
}

void SetMetric(FontMetrics& metrics, const MetricField& field, int value)
{
    if (field.width == 1) {
        metrics.raw[field.offset] = static_cast<uint8_t>(value);
    } else if (field.width == 2) {
        uint16_t v = static_cast<uint16_t>(value);
        std::memcpy(metrics.raw + field.offset, &v, 2);
    } else {
        int32_t v = value;
        std::memcpy(metrics.raw + field.offset, &v, 4);
    }
}

void SetVendorId(FontMetrics& metrics, const wchar_t* text)
{
    std::memset(metrics.sfnt.vendorId, 0, sizeof(metrics.sfnt.vendorId));
    for (int i = 0; i < 4 && text[i]; ++i)
        metrics.sfnt.vendorId[i] = text[i];
}

std::wstring VendorIdText(const FontMetrics& metrics)
{
    std::wstring text;
    for (int i = 0; i < 4 && metrics.sfnt.vendorId[i]; ++i)
        text += metrics.sfnt.vendorId[i];
    return text;
}

// The block a record is written with: view B for bitmap and Type 1 kinds (present or missing).
bool HasWinBlock(int kind)
{
    const int base = BaseKind(kind);
    return base == KindBitmap || base == KindType1;
}

// Every child of a record in the order the writers produce it, as (tag, text) pairs; an empty text
// is not written. Name sets are left to the caller.
std::vector<std::pair<int, std::wstring>> RecordHeadFields(const CFontItemInfo& record)
{
    std::vector<std::pair<int, std::wstring>> fields;
    fields.emplace_back(kTagStoredPath, record.storedPath);
    fields.emplace_back(kTagBaseFolder, record.baseFolder);
    fields.emplace_back(kTagKind, std::to_wstring(BaseKind(record.kind)));
    if (record.language != -1)
        fields.emplace_back(kTagLanguage, std::to_wstring(record.language));
    fields.emplace_back(kTagDefaultNames, std::to_wstring(record.defaultNames));
    if (record.kerningPairs != -1)
        fields.emplace_back(kTagKerningPairs, std::to_wstring(record.kerningPairs));
    if (record.glyphs != -1)
        fields.emplace_back(kTagGlyphs, std::to_wstring(record.glyphs));
    fields.emplace_back(kTagFileSize, std::to_wstring(static_cast<int32_t>(record.fileSize)));
    fields.emplace_back(kTagFileDate, FormatXmlDateTime(record.fileDate));
    return fields;
}

std::vector<std::pair<int, std::wstring>> NameSetFields(const CFontStrings& names)
{
    std::vector<std::pair<int, std::wstring>> fields;
    if (names.language != 0)
        fields.emplace_back(kTagNameLanguage, std::to_wstring(static_cast<int>(names.language)));
    if (names.platform != 0)
        fields.emplace_back(kTagNamePlatform, std::to_wstring(names.platform));
    if (names.encoding != 0)
        fields.emplace_back(kTagNameEncoding, std::to_wstring(names.encoding));
    for (int id = 0; id < kFontNameCount; ++id)
        if (!names.strings[id].empty())
            fields.emplace_back(kTagFirstName + id, names.strings[id]);
    return fields;
}

// The children of the metrics block and the block's own tag.
int MetricsFields(const CFontItemInfo& record, std::vector<std::pair<int, std::wstring>>& fields)
{
    if (HasWinBlock(record.kind)) {
        for (const MetricField& field : kWinFields)
            fields.emplace_back(field.tag, std::to_wstring(GetMetric(record.metrics, field)));
        return kTagWinBlock;
    }
    for (const MetricField& field : kSfntFields) {
        if (field.tag == kTagFsSelection) {
            std::wstring vendor = VendorIdText(record.metrics);
            if (!vendor.empty())
                fields.emplace_back(kTagVendorId, vendor);
            if (PanoseIsSet(record.metrics.sfnt.panose))
                fields.emplace_back(kTagPanose, PanoseToHex(record.metrics.sfnt.panose, true));
        }
        fields.emplace_back(field.tag, std::to_wstring(GetMetric(record.metrics, field)));
    }
    return kTagSfntBlock;
}

bool GuardsEdgeSpaces(int nameId)
{
    return nameId == NameFamily || nameId == NameSubfamily || nameId == NameFull || nameId == NamePostScript;
}

std::wstring ChildText(IXMLDOMNode* node, int tag, bool* found = nullptr)
{
    std::wstring text;
    bool ok = XmlGetChildText(node, text, TagName(tag), L"a") != FALSE;
    if (found)
        *found = ok;
    return text;
}

// startElement/endElement of one element without namespace and attributes.
HRESULT SaxStart(ISAXContentHandler* handler, const wchar_t* tag)
{
    return handler->startElement(L"", 0, L"", 0, tag, static_cast<int>(wcslen(tag)), nullptr);
}
HRESULT SaxEnd(ISAXContentHandler* handler, const wchar_t* tag)
{
    return handler->endElement(L"", 0, L"", 0, tag, static_cast<int>(wcslen(tag)));
}
}  // namespace

// ---------------------------------------------------------------------------------------------------
// Stored name and folder

void CFontFilesXML::ComputeStoredPath(CFontItemInfo& record, const std::wstring& setFolder, const wchar_t* fileFolder)
{
    std::wstring file;
    record.GetFilePath(file, true);
    const bool hasDrive = file.size() >= 2 && file[1] == L':';
    std::wstring resolved = fileFolder ? CombinePath(file, fileFolder) : (hasDrive ? file : CombinePath(file, setFolder));
    std::wstring name = GetFileTitle(resolved, true, false);
    auto relativeFolder = [&](const std::wstring& path) {
        size_t slash = path.find_last_of(L'\\');
        std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
        while (!folder.empty() && folder.back() == L'\\')
            folder.pop_back();
        if (!folder.empty())
            folder = MakeRelativePath(folder, setFolder, false, false);
        return folder == L"." ? std::wstring() : folder;
    };
    std::wstring folder = relativeFolder(resolved);

    if (IsType1Kind(record.kind)) {
        std::wstring pfm, pfb;
        SplitType1Pair(record.path, pfm, pfb);
        if (!pfm.empty()) {
            std::wstring pfmFile = fileFolder ? CombinePath(pfm, fileFolder) : CombinePath(pfm, setFolder);
            if (pfm.size() >= 2 && pfm[1] == L':')
                pfmFile = pfm;
            name = GetFileTitle(pfmFile, true, false);
            if (pfb.empty()) {
                name += L" | " + FormatString(L"%s.PFB", GetFileTitle(pfmFile, false, false).c_str());
            } else {
                std::wstring pfbFile = fileFolder ? CombinePath(pfb, fileFolder) : CombinePath(pfb, setFolder);
                if (pfb.size() >= 2 && pfb[1] == L':')
                    pfbFile = pfb;
                std::wstring pfbFolder = relativeFolder(pfbFile);
                if (CompareLocale(pfbFolder, folder, true) == 0) {
                    name += L" | " + GetFileTitle(pfbFile, true, false);
                } else {
                    // The .pfb folder as seen from the record's folder.
                    std::wstring pfbAbsolute = GetFolder(pfbFile);
                    std::wstring recordAbsolute = GetFolder(resolved);
                    std::wstring relative = MakeRelativePath(pfbAbsolute, recordAbsolute, false, false);
                    name += L" | " + FormatString(L"%s\\%s", relative.c_str(), GetFileTitle(pfbFile, true, false).c_str());
                }
            }
        }
    }
    record.storedPath = name;
    record.baseFolder = folder;
}

// ---------------------------------------------------------------------------------------------------
// Writers

BOOL CFontFilesXML::WriteNameSet(const CFontStrings& names, IXMLDOMNode* nameSetElement)
{
    if (!nameSetElement)
        return FALSE;
    BOOL ok = TRUE;
    for (const auto& [tag, text] : NameSetFields(names)) {
        const bool guard = tag >= kTagFirstName && GuardsEdgeSpaces(tag - kTagFirstName);
        if (!GetOrCreateChild(nameSetElement, tag, text.c_str(), kFontFilesNamespace, L"a", guard))
            ok = FALSE;
    }
    return ok;
}

BOOL CFontFilesXML::AppendFontRecord(CFontItemInfo& record, const std::wstring& setFolder, const wchar_t* fileFolder,
                                     BOOL recompute, IXMLDOMNode** element)
{
    CSetFileLock lock;
    if (element)
        *element = nullptr;
    IXMLDOMDocument2* document = xml_.Document();
    IXMLDOMElement* root = xml_.Root();
    if (!document || !root)
        return FALSE;
    if (record.storedPath.empty() || recompute)
        ComputeStoredPath(record, setFolder, fileFolder);

    auto createElement = [&](int tag, ComPtr<IXMLDOMNode>& out) {
        Variant type;
        type.Put()->vt = VT_I4;
        (&type)->lVal = NODE_ELEMENT;
        Bstr name(TagName(tag)), uri(kFontFilesNamespace);
        return SUCCEEDED(document->createNode(type.Get(), name.Get(), uri.Get(), out.Put())) && out;
    };
    ComPtr<IXMLDOMNode> node;
    if (!createElement(kTagNode, node))
        return FALSE;
    // Fields go in before the element joins the document, so a failure leaves no half record.
    for (const auto& [tag, text] : RecordHeadFields(record))
        GetOrCreateChild(node.Get(), tag, text.c_str(), kFontFilesNamespace, L"a");
    for (const CFontStrings& names : record.names) {
        ComPtr<IXMLDOMNode> nameSet, appended;
        if (!createElement(kTagNameSet, nameSet) || FAILED(node->appendChild(nameSet.Get(), appended.Put())))
            return FALSE;
        WriteNameSet(names, nameSet.Get());
    }
    std::vector<std::pair<int, std::wstring>> metrics;
    const int blockTag = MetricsFields(record, metrics);
    ComPtr<IXMLDOMNode> block, appendedBlock;
    if (!createElement(blockTag, block) || FAILED(node->appendChild(block.Get(), appendedBlock.Put())))
        return FALSE;
    for (const auto& [tag, text] : metrics)
        GetOrCreateChild(block.Get(), tag, text.c_str(), kFontFilesNamespace, L"a");
    ComPtr<IXMLDOMNode> appended;
    if (FAILED(root->appendChild(node.Get(), appended.Put())))
        return FALSE;
    xml_.SetModified(TRUE);
    if (element)
        *element = node.Detach();
    return TRUE;
}

BOOL CFontFilesXML::SaxWriteNameSet(const CFontStrings& names, ISAXContentHandler* handler, BOOL withWrapper)
{
    if (!handler)
        return FALSE;
    if (withWrapper && FAILED(SaxStart(handler, TagName(kTagNameSet))))
        return FALSE;
    for (const auto& [tag, text] : NameSetFields(names))
        SaxWriteElement(handler, TagName(tag), -1, text.c_str());
    if (withWrapper)
        SaxEnd(handler, TagName(kTagNameSet));
    return TRUE;
}

BOOL CFontFilesXML::SaxWriteFontRecord(CFontItemInfo& record, ISAXContentHandler* handler, const std::wstring& setFolder,
                                       const wchar_t* fileFolder, BOOL recompute)
{
    if (!handler)
        return FALSE;
    if (record.storedPath.empty() || recompute)
        ComputeStoredPath(record, setFolder, fileFolder);
    if (FAILED(SaxStart(handler, TagName(kTagNode))))
        return FALSE;
    for (const auto& [tag, text] : RecordHeadFields(record))
        SaxWriteElement(handler, TagName(tag), -1, text.c_str());
    for (const CFontStrings& names : record.names)
        SaxWriteNameSet(names, handler, TRUE);
    std::vector<std::pair<int, std::wstring>> metrics;
    const int blockTag = MetricsFields(record, metrics);
    SaxStart(handler, TagName(blockTag));
    for (const auto& [tag, text] : metrics)
        SaxWriteElement(handler, TagName(tag), -1, text.c_str());
    SaxEnd(handler, TagName(blockTag));
    SaxEnd(handler, TagName(kTagNode));
    return TRUE;
}

// ---------------------------------------------------------------------------------------------------
// Readers

BOOL CFontFilesXML::ReadFontRecord(IXMLDOMNode* element, CFontItemInfo& record, int position)
{
    if (!element)
        return FALSE;
    record.setEntryId = position;
    record.itemId = position - 1;
    record.kind = XmlGetChildInt(element, TagName(kTagKind), 1, L"a");
    record.setLoaded = XmlGetChildInt(element, TagName(kTagLoaded), 0, L"a");
    record.language = XmlGetChildInt(element, TagName(kTagLanguage), -1, L"a");
    record.defaultNames = XmlGetChildInt(element, TagName(kTagDefaultNames), 0, L"a");
    record.kerningPairs = XmlGetChildInt(element, TagName(kTagKerningPairs), -1, L"a");
    record.glyphs = XmlGetChildInt(element, TagName(kTagGlyphs), -1, L"a");
    record.fileSize = static_cast<uint32_t>(XmlGetChildInt(element, TagName(kTagFileSize), -1, L"a"));
    record.fileDate.date = XmlGetChildDate(element, TagName(kTagFileDate), L"a");
    record.fileDate.valid = true;
    bool found = false;
    std::wstring text = ChildText(element, kTagStoredPath, &found);
    if (found)
        record.storedPath = text;
    text = ChildText(element, kTagBaseFolder, &found);
    if (found)
        record.baseFolder = text;
    record.GetFullPath(record.path);

    record.names.RemoveAll();
    ComPtr<IXMLDOMNodeList> sets;
    Bstr nameQuery(L"a:m");
    long count = 0;
    if (SUCCEEDED(element->selectNodes(nameQuery.Get(), sets.Put())) && sets)
        sets->get_length(&count);
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> set;
        if (FAILED(sets->get_item(i, set.Put())) || !set)
            continue;
        CFontStrings& names = record.names[record.names.Add(
            static_cast<uint32_t>(XmlGetChildInt(set.Get(), TagName(kTagNameLanguage), 0, L"a")),
            static_cast<uint16_t>(XmlGetChildInt(set.Get(), TagName(kTagNamePlatform), 0, L"a")),
            static_cast<uint16_t>(XmlGetChildInt(set.Get(), TagName(kTagNameEncoding), 0, L"a")))];
        for (int id = 0; id < kFontNameCount; ++id)
            XmlGetChildText(set.Get(), names.strings[id], TagName(kTagFirstName + id), L"a");
    }

    ComPtr<IXMLDOMNode> block;
    Bstr sfntQuery(L"a:b1");
    if (element->selectSingleNode(sfntQuery.Get(), block.Put()) == S_OK && block) {
        for (const MetricField& field : kSfntFields)
            SetMetric(record.metrics, field, XmlGetChildInt(block.Get(), TagName(field.tag), 0, L"a"));
        SetVendorId(record.metrics, ChildText(block.Get(), kTagVendorId).c_str());
        std::memset(record.metrics.sfnt.panose, 0, sizeof(record.metrics.sfnt.panose));
        PanoseFromHex(ChildText(block.Get(), kTagPanose), record.metrics.sfnt.panose);
    }
    block.Reset();
    Bstr winQuery(L"a:c2");
    if (element->selectSingleNode(winQuery.Get(), block.Put()) == S_OK && block) {
        for (const MetricField& field : kWinFields)
            SetMetric(record.metrics, field, XmlGetChildInt(block.Get(), TagName(field.tag), 0, L"a"));
    }
    return TRUE;
}

BOOL CFontFilesXML::SetRecordFieldFromText(CFontItemInfo& record, int tagIndex, const wchar_t* text)
{
    auto setInt = [&](int32_t& field) {
        if (text)
            field = XmlParseInt(text);
        return TRUE;
    };
    switch (tagIndex) {
    case kTagStoredPath:
        if (text)
            record.storedPath = text;
        return TRUE;
    case kTagBaseFolder:
        if (text)
            record.baseFolder = text;
        return TRUE;
    case kTagKind:
        return setInt(record.kind);
    case kTagLanguage:
        return setInt(record.language);
    case kTagDefaultNames:
        return setInt(record.defaultNames);
    case kTagKerningPairs:
        return setInt(record.kerningPairs);
    case kTagGlyphs:
        return setInt(record.glyphs);
    case kTagFileSize:
        if (text)
            record.fileSize = static_cast<uint32_t>(XmlParseInt(text));
        return TRUE;
    case kTagFileDate:
        if (text) {
            OleDate date;
            if (ParseXmlDateTime(text, date))
                record.fileDate = date;
            else
                record.fileDate.valid = false;
        }
        return TRUE;
    case kTagVendorId:
        if (text)
            SetVendorId(record.metrics, text);
        return TRUE;
    case kTagPanose:
        if (text) {
            std::memset(record.metrics.sfnt.panose, 0, sizeof(record.metrics.sfnt.panose));
            PanoseFromHex(text, record.metrics.sfnt.panose);
        }
        return TRUE;
    default:
        break;
    }
    const MetricField* field = FindField(kSfntFields, std::size(kSfntFields), tagIndex);
    if (!field)
        field = FindField(kWinFields, std::size(kWinFields), tagIndex);
    if (!field)
        return FALSE;
    if (text)
        SetMetric(record.metrics, *field, XmlParseInt(text));
    return TRUE;
}

BOOL CFontFilesXML::SetNameFieldFromText(CFontStrings& names, int tagIndex, const wchar_t* text)
{
    if (tagIndex >= kTagFirstName && tagIndex <= kTagLastName) {
        if (text)
            names.strings[tagIndex - kTagFirstName] = text;
        return TRUE;
    }
    if (tagIndex < kTagNameLanguage || tagIndex > kTagNameEncoding)
        return FALSE;
    if (!text)
        return TRUE;
    const int value = XmlParseInt(text);
    if (tagIndex == kTagNameLanguage)
        names.language = static_cast<uint32_t>(value);
    else if (tagIndex == kTagNamePlatform)
        names.platform = static_cast<uint16_t>(value);
    else
        names.encoding = static_cast<uint16_t>(value);
    return TRUE;
}

BOOL CFontFilesXML::SetRecordFieldByTag(CFontItemInfo& record, const wchar_t* tag, const wchar_t* text)
{
    const int index = LookupTag(tag);
    return index < 0 ? FALSE : SetRecordFieldFromText(record, index, text);
}

BOOL CFontFilesXML::SetNameFieldByTag(CFontStrings& names, const wchar_t* tag, const wchar_t* text)
{
    const int index = LookupTag(tag);
    return index < 0 ? FALSE : SetNameFieldFromText(names, index, text);
}

// ---------------------------------------------------------------------------------------------------
// Loading and unloading one record

bool CFontFilesXML::LoadOrUnloadFontRecord(CFontItemInfo& record, BOOL load, const std::wstring& setFolder, HWND progress)
{
    LastFontOperationError.clear();
    const std::wstring folder = CombinePath(record.baseFolder, setFolder);
    std::wstring file;
    record.GetFilePath(file, true);
    const std::wstring resourceName = BuildFontResourceName(file, folder, record.kind, false);
    if (progress)
        NotifyFontProgress(progress, WM_FONTOP_PROGRESS, record.GetName(NameFamily), resourceName);

    bool done;
    if (!IsType1Kind(record.kind)) {
        if (load) {
            const int result = LoadFontFile(record, setFolder, resourceName, 0);
            done = result == 0 || result == 1;
        } else {
            done = UnloadFontFile(record, setFolder, 0) != 0;
        }
    } else if (load) {
        done = LoadFontItem(record, setFolder, 0) != 0;
    } else {
        record.loaded = 1;  // the layer only unloads what it believes loaded
        done = UnloadFontItem(record, setFolder, 1, 0, 0, std::wstring(), nullptr) != 0;
    }
    return done;
}

BOOL CFontFilesXML::ActivateFontRecord(IXMLDOMNode* element, BOOL load, int mode, int kind, const std::wstring& setFolder,
                                       BOOL reset)
{
    if (!element)
        return FALSE;
    const int missing = mode == 2 ? 0 : (kind == 2 ? 0 : 1);
    const int stored = XmlGetChildInt(element, TagName(kTagLoaded), missing, L"a");
    LastFontOperationError.clear();
    const bool processed = (load && mode == 2) ? stored == 0 : stored != 0;
    if (!processed)
        return FALSE;

    CFontItemInfo record;
    ReadFontRecord(element, record, 1);
    const bool done = LoadOrUnloadFontRecord(record, load, setFolder, progressWindow);
    // A font that did not go away is still loaded: its mark stays as it was.
    if (!done)
        return FALSE;

    CSetFileLock lock;
    xml_.SetModified(TRUE);
    const wchar_t* state = nullptr;
    if (reset)
        state = L"0";
    else if (mode == 2)
        state = load ? L"1" : L"0";
    else if (mode == 0)
        state = L"1";
    if (state) {
        // An existing "0" child would be removed by an empty text; "0" is a text, so it stays.
        GetOrCreateChild(element, kTagLoaded, state, kFontFilesNamespace, L"a");
    } else {
        xml_.SetModified(FALSE);
    }
    return TRUE;
}

// ---------------------------------------------------------------------------------------------------
// SAX reader of records

HRESULT CFontRecordSaxReader::QueryInterface(REFIID iid, void** out)
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

HRESULT CFontRecordSaxReader::startDocument()
{
    depth_ = 0;
    position_ = 0;
    inRecord_ = false;
    inNameSet_ = false;
    text_.clear();
    return S_OK;
}

HRESULT CFontRecordSaxReader::startElement(const wchar_t*, int, const wchar_t* localName, int localLength,
                                           const wchar_t*, int, ISAXAttributes*)
{
    if (ShouldStop())
        return E_ABORT;
    ++depth_;
    text_.clear();
    const int tag = LookupTag(localName, localLength);
    // Records are the children of the root; "b" deeper down is a field of the same name.
    if (depth_ == 2 && tag == kTagNode) {
        record_.Reset();
        inRecord_ = true;
        inNameSet_ = false;
    } else if (inRecord_ && depth_ == 3 && tag == kTagNameSet) {
        nameSet_ = CFontStrings();
        inNameSet_ = true;
    }
    return S_OK;
}

HRESULT CFontRecordSaxReader::endElement(const wchar_t*, int, const wchar_t* localName, int localLength, const wchar_t*,
                                         int)
{
    const int depth = depth_--;
    const int tag = LookupTag(localName, localLength);
    HRESULT hr = S_OK;
    if (inRecord_ && depth == 2 && tag == kTagNode) {
        inRecord_ = false;
        ++position_;
        record_.setEntryId = position_;
        record_.itemId = position_ - 1;
        record_.GetFullPath(record_.path);
        hr = OnRecord(record_, position_);
    } else if (inNameSet_ && depth == 3 && tag == kTagNameSet) {
        record_.names[record_.names.Add(nameSet_.language, nameSet_.platform, nameSet_.encoding)] = nameSet_;
        inNameSet_ = false;
    } else if (inNameSet_ && depth == 4) {
        CFontFilesXML::SetNameFieldFromText(nameSet_, tag, text_.c_str());
    } else if (inRecord_ && depth >= 3 && tag >= 0) {
        CFontFilesXML::SetRecordFieldFromText(record_, tag, text_.c_str());
        if (depth == 3 && tag == kTagLoaded)
            record_.setLoaded = XmlParseInt(text_.c_str());
    }
    text_.clear();
    return hr;
}

HRESULT CFontRecordSaxReader::characters(const wchar_t* chars, int length)
{
    // Kept whole: long paths, licences and notices arrive in several pieces.
    if (chars && length > 0)
        text_.append(chars, static_cast<size_t>(length));
    return S_OK;
}

HRESULT CFontRecordSaxReader::Parse(IStream* stream)
{
    if (!stream)
        return E_POINTER;
    ComPtr<ISAXXMLReader> reader;
    HRESULT hr = CoCreateInstance(msxml::CLSID_SAXXMLReader60, nullptr, CLSCTX_INPROC_SERVER, msxml::IID_ISAXXMLReader,
                                  reinterpret_cast<void**>(reader.Put()));
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = reader->putContentHandler(this)))
        return hr;
    Variant input;
    stream->AddRef();
    Variant::SetUnknown(*input.Put(), stream);
    hr = reader->parse(input.Get());
    reader->putContentHandler(nullptr);
    return hr;
}

HRESULT CFontRecordSaxReader::ParseBytes(const BYTE* data, size_t size)
{
    return fastxml::ParseBytes(data, size, this);
}

BOOL ForEachFontRecord(IStorage* storage, const CWordArray& idPath,
                       const std::function<bool(CFontItemInfo& record, int position)>& onRecord)
{
    class Reader : public CFontRecordSaxReader {
    public:
        explicit Reader(const std::function<bool(CFontItemInfo&, int)>& callback) : callback_(callback) {}
        HRESULT OnRecord(CFontItemInfo& record, int position) override
        {
            return callback_(record, position) ? S_OK : E_ABORT;
        }

    private:
        const std::function<bool(CFontItemInfo&, int)>& callback_;
    };
    if (!storage)
        return FALSE;
    std::wstring name;
    CFontFilesXML::MakeSetStreamName(idPath, name);
    // The stream is copied under the lock and parsed without it, so the callback may take its time
    // (or talk to other threads) without holding up the set file.
    ComPtr<IStream> copy;
    {
        CSetFileLock lock;
        ComPtr<IStream> stream;
        HRESULT hr = storage->OpenStream(name.c_str(), nullptr, kStgOpenRead, 0, stream.Put());
        if (hr == STG_E_FILENOTFOUND)
            return TRUE;
        if (FAILED(hr) || !stream)
            return FALSE;
        if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, copy.Put())) || !copy)
            return FALSE;
        ULARGE_INTEGER all;
        all.QuadPart = ~0ULL;
        if (FAILED(stream->CopyTo(copy.Get(), all, nullptr, nullptr)))
            return FALSE;
    }
    LARGE_INTEGER zero{};
    copy->Seek(zero, STREAM_SEEK_SET, nullptr);
    Reader reader(onRecord);
    HRESULT hr = reader.Parse(copy.Get());
    return SUCCEEDED(hr) || hr == E_ABORT ? TRUE : FALSE;
}
