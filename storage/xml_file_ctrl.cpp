#include "storage/xml_file_ctrl.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <cwctype>
#include <vector>

#include "core/helpers.h"
#include "core/resource_strings.h"
#include "storage/com_ptr.h"
#include "storage/msxml_ids.h"

const wchar_t kXmlDataTypesNamespace[] = L"urn:schemas-microsoft-com:datatypes";

namespace {

bool HasMarkup(const std::wstring& text)
{
    return text.find_first_of(L"<>&") != std::wstring::npos;
}

bool IsSpace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

std::wstring Trim(const std::wstring& text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && IsSpace(text[begin]))
        ++begin;
    while (end > begin && IsSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// Canonical number text: the shortest form that reads back to the same value, '.' as decimal
// point whatever the locale, and the spellings MSXML uses for the special values.
std::wstring FormatNumber(double value, bool single)
{
    if (std::isnan(value))
        return L"NaN";
    if (std::isinf(value))
        return value < 0 ? L"-INF" : L"INF";
    char buffer[64];
    std::to_chars_result r = single ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value))
                                    : std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::wstring(buffer, r.ptr);
}

bool ParseNumber(const std::wstring& raw, double& out)
{
    std::wstring text = Trim(raw);
    if (text.empty() || text.size() > 60)
        return false;
    if (_wcsicmp(text.c_str(), L"NaN") == 0) {
        out = NAN;
        return true;
    }
    if (_wcsicmp(text.c_str(), L"INF") == 0 || _wcsicmp(text.c_str(), L"+INF") == 0) {
        out = INFINITY;
        return true;
    }
    if (_wcsicmp(text.c_str(), L"-INF") == 0) {
        out = -INFINITY;
        return true;
    }
    char narrow[64];
    size_t n = 0;
    for (wchar_t c : text) {
        if (c > 0x7f)
            return false;
        narrow[n++] = static_cast<char>(c);
    }
    const char* begin = narrow;
    if (n > 0 && narrow[0] == '+')
        ++begin;
    std::from_chars_result r = std::from_chars(begin, narrow + n, out);
    return r.ec == std::errc() && r.ptr == narrow + n;
}

// Whole text as a signed integer within [low, high].
bool ParseWholeInt(const std::wstring& raw, long long low, long long high, long long& out)
{
    std::wstring text = Trim(raw);
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+'))
        negative = text[i++] == L'-';
    if (i == text.size())
        return false;
    unsigned long long value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return false;
        value = value * 10 + static_cast<unsigned>(text[i] - L'0');
        if (value > (1ull << 40))
            return false;
    }
    long long v = negative ? -static_cast<long long>(value) : static_cast<long long>(value);
    if (v < low || v > high)
        return false;
    out = v;
    return true;
}

bool ParseDate(const std::wstring& raw, double& out)
{
    std::wstring text = Trim(raw);
    OleDate date;
    if (ParseXmlDateTime(text, date) && date.valid) {
        out = date.date;
        return true;
    }
    // Date-only values, and date-times with fractions or a zone, which MSXML also writes.
    if (text.size() == 10 && ParseXmlDateTime(text + L"T00:00:00", date) && date.valid) {
        out = date.date;
        return true;
    }
    if (text.size() > 19 && text[10] == L'T' && ParseXmlDateTime(text.substr(0, 19), date) && date.valid) {
        out = date.date;
        return true;
    }
    return false;
}

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

HRESULT MakeByteArray(const BYTE* bytes, UINT count, VARIANT* out)
{
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, count);
    if (!array)
        return E_OUTOFMEMORY;
    if (count) {
        void* data = nullptr;
        if (FAILED(SafeArrayAccessData(array, &data))) {
            SafeArrayDestroy(array);
            return E_FAIL;
        }
        memcpy(data, bytes, count);
        SafeArrayUnaccessData(array);
    }
    out->vt = VT_ARRAY | VT_UI1;
    out->parray = array;
    return S_OK;
}

bool IsNameStartChar(unsigned c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 0xC0 && c <= 0xD6) ||
           (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
           (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
           (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(unsigned c)
{
    return IsNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

bool IsEscapeAt(const std::wstring& text, size_t i)
{
    if (i + 7 > text.size() || text[i] != L'_' || text[i + 1] != L'x' || text[i + 6] != L'_')
        return false;
    for (size_t k = 2; k < 6; ++k)
        if (HexDigit(text[i + k]) < 0)
            return false;
    return true;
}

}  // namespace

int XmlParseInt(const wchar_t* text)
{
    if (!text)
        return 0;
    while (IsSpace(*text))
        ++text;
    bool negative = false;
    if (*text == L'-' || *text == L'+')
        negative = *text++ == L'-';
    uint32_t value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text)
        value = value * 10u + static_cast<uint32_t>(*text - L'0');
    if (negative)
        value = 0u - value;
    return static_cast<int32_t>(value);
}

std::wstring MakeXmlName(const std::wstring& key)
{
    std::wstring out;
    out.reserve(key.size());
    for (size_t i = 0; i < key.size(); ++i) {
        unsigned c = key[i];
        size_t width = 1;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < key.size() && key[i + 1] >= 0xDC00 && key[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (key[i + 1] - 0xDC00);
            width = 2;
        }
        bool valid = out.empty() ? IsNameStartChar(c) : IsNameChar(c);
        // An underscore that would read as the start of an escape is escaped itself.
        if (valid && c == '_' && IsEscapeAt(key, i))
            valid = false;
        if (valid) {
            out.append(key, i, width);
        } else {
            for (size_t k = 0; k < width; ++k)
                out += FormatString(L"_x%04X_", static_cast<unsigned>(key[i + k]));
        }
        i += width - 1;
    }
    return out;
}

std::wstring ReplaceInvalidXmlText(const std::wstring& text, wchar_t replacement)
{
    std::wstring out = text;
    // The core function stops at a zero, which is itself invalid in XML text.
    for (wchar_t& c : out) {
        if (c == 0)
            c = replacement;
    }
    ReplaceInvalidXmlChars(out.data(), static_cast<int>(out.size()), replacement);
    return out;
}

std::wstring XmlNodeText(IXMLDOMNode* node)
{
    std::wstring text;
    if (!node)
        return text;
    ComPtr<IXMLDOMNodeList> children;
    if (FAILED(node->get_childNodes(children.Put())) || !children)
        return text;
    long count = 0;
    children->get_length(&count);
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> child;
        if (FAILED(children->get_item(i, child.Put())) || !child)
            continue;
        DOMNodeType type = NODE_INVALID;
        child->get_nodeType(&type);
        if (type == NODE_TEXT || type == NODE_CDATA_SECTION) {
            Variant value;
            if (SUCCEEDED(child->get_nodeValue(value.Put())) && value.Get().vt == VT_BSTR && value.Get().bstrVal)
                text.append(value.Get().bstrVal, SysStringLen(value.Get().bstrVal));
        } else if (type == NODE_ELEMENT) {
            text += XmlNodeText(child.Get());
        } else if (type == NODE_ENTITY_REFERENCE) {
            Bstr part;
            if (SUCCEEDED(child->get_text(part.Put())))
                text += part.Str();
        }
    }
    return text;
}

namespace {
// Walked by hand: a lookup by qualified name does not find attributes made in memory everywhere.
ComPtr<IXMLDOMAttribute> FindDataTypeAttribute(IXMLDOMElement* element)
{
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    if (!element || FAILED(element->get_attributes(attributes.Put())) || !attributes)
        return {};
    long count = 0;
    attributes->get_length(&count);
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> attribute;
        if (FAILED(attributes->get_item(i, attribute.Put())) || !attribute)
            continue;
        Bstr name, baseName, uri;
        attribute->get_nodeName(name.Put());
        attribute->get_baseName(baseName.Put());
        attribute->get_namespaceURI(uri.Put());
        if (name.Str() == L"dt:dt" || (baseName.Str() == L"dt" && uri.Str() == kXmlDataTypesNamespace))
            return attribute.As<IXMLDOMAttribute>(IID_IXMLDOMAttribute);
    }
    return {};
}
}  // namespace

std::wstring XmlNodeDataType(IXMLDOMNode* node)
{
    ComPtr<IXMLDOMAttribute> attribute = FindDataTypeAttribute(XmlAsElement(node).Get());
    Variant value;
    if (!attribute || FAILED(attribute->get_nodeValue(value.Put())) || value.Get().vt != VT_BSTR || !value.Get().bstrVal)
        return {};
    return std::wstring(value.Get().bstrVal, SysStringLen(value.Get().bstrVal));
}

HRESULT XmlReadTypedValue(IXMLDOMNode* node, VARIANT* value)
{
    if (!node || !value)
        return E_POINTER;
    VariantInit(value);
    std::wstring type = XmlNodeDataType(node);
    std::wstring text = XmlNodeText(node);
    for (wchar_t& c : type)
        c = static_cast<wchar_t>(towlower(c));

    if (type.empty() || type == L"string") {
        value->vt = VT_BSTR;
        value->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return value->bstrVal ? S_OK : E_OUTOFMEMORY;
    }
    struct IntType {
        const wchar_t* name;
        VARTYPE vt;
        long long low, high;
    };
    static const IntType kIntTypes[] = {
        {L"int", VT_I4, INT32_MIN, INT32_MAX}, {L"i4", VT_I4, INT32_MIN, INT32_MAX},
        {L"i2", VT_I2, INT16_MIN, INT16_MAX},  {L"i1", VT_I1, INT8_MIN, INT8_MAX},
        {L"ui1", VT_UI1, 0, UINT8_MAX},        {L"ui2", VT_UI2, 0, UINT16_MAX},
        {L"ui4", VT_UI4, 0, UINT32_MAX},
    };
    for (const IntType& t : kIntTypes) {
        if (type != t.name)
            continue;
        long long v = 0;
        if (!ParseWholeInt(text, t.low, t.high, v))
            return DISP_E_TYPEMISMATCH;
        value->vt = t.vt;
        switch (t.vt) {
        case VT_I4: value->lVal = static_cast<LONG>(v); break;
        case VT_I2: value->iVal = static_cast<SHORT>(v); break;
        case VT_I1: value->cVal = static_cast<CHAR>(v); break;
        case VT_UI1: value->bVal = static_cast<BYTE>(v); break;
        case VT_UI2: value->uiVal = static_cast<USHORT>(v); break;
        default: value->ulVal = static_cast<ULONG>(v); break;
        }
        return S_OK;
    }
    if (type == L"r8" || type == L"r4" || type == L"float" || type == L"number") {
        double v = 0;
        if (!ParseNumber(text, v))
            return DISP_E_TYPEMISMATCH;
        if (type == L"r4") {
            value->vt = VT_R4;
            value->fltVal = static_cast<float>(v);
        } else {
            value->vt = VT_R8;
            value->dblVal = v;
        }
        return S_OK;
    }
    if (type == L"datetime" || type == L"date" || type == L"datetime.tz") {
        double v = 0;
        if (!ParseDate(text, v))
            return DISP_E_TYPEMISMATCH;
        value->vt = VT_DATE;
        value->date = v;
        return S_OK;
    }
    if (type == L"boolean") {
        std::wstring t = Trim(text);
        if (t == L"1" || _wcsicmp(t.c_str(), L"true") == 0)
            value->boolVal = VARIANT_TRUE;
        else if (t == L"0" || _wcsicmp(t.c_str(), L"false") == 0)
            value->boolVal = VARIANT_FALSE;
        else
            return DISP_E_TYPEMISMATCH;
        value->vt = VT_BOOL;
        return S_OK;
    }
    if (type == L"bin.hex") {
        std::wstring t = Trim(text);
        if (t.size() % 2)
            return DISP_E_TYPEMISMATCH;
        std::vector<BYTE> bytes(t.size() / 2);
        for (size_t i = 0; i < bytes.size(); ++i) {
            int high = HexDigit(t[2 * i]), low = HexDigit(t[2 * i + 1]);
            if (high < 0 || low < 0)
                return DISP_E_TYPEMISMATCH;
            bytes[i] = static_cast<BYTE>(high * 16 + low);
        }
        return MakeByteArray(bytes.data(), static_cast<UINT>(bytes.size()), value);
    }
    // A type this program never writes: hand out the text as it is.
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return value->bstrVal ? S_OK : E_OUTOFMEMORY;
}

CXMLFileCtrl::CXMLFileCtrl(const wchar_t* rootName) : rootName_(rootName ? rootName : L"") {}

CXMLFileCtrl::~CXMLFileCtrl()
{
    Release();
}

void CXMLFileCtrl::Release()
{
    SetRoot(nullptr);
    if (document_) {
        document_->Release();
        document_ = nullptr;
    }
}

void CXMLFileCtrl::SetRoot(IXMLDOMElement* root)
{
    if (root)
        root->AddRef();
    if (root_)
        root_->Release();
    root_ = root;
}

HRESULT CXMLFileCtrl::CreateDocument()
{
    created_ = TRUE;
    Release();
    ComPtr<IUnknown> unknown;
    HRESULT hr = CoCreateInstance(msxml::CLSID_DOMDocument60, nullptr, CLSCTX_ALL, IID_IUnknown,
                                  reinterpret_cast<void**>(unknown.Put()));
    if (FAILED(hr))
        return hr;
    hr = OleRun(unknown.Get());
    if (FAILED(hr))
        return hr;
    hr = unknown->QueryInterface(msxml::IID_IXMLDOMDocument2, reinterpret_cast<void**>(&document_));
    if (FAILED(hr)) {
        document_ = nullptr;
        return hr;
    }
    // Loading from a path must finish before load() returns.
    document_->put_async(VARIANT_FALSE);
    XmlSetStringProperty(document_, L"SelectionLanguage", L"XPath");
    Bstr parser(L"NewParser");
    VARIANT on;
    VariantInit(&on);
    on.vt = VT_I4;
    on.lVal = 1;
    document_->setProperty(parser.Get(), on);
    return S_OK;
}

HRESULT CXMLFileCtrl::LoadFromStream(IUnknown* stream)
{
    rootName_ = L"Root";
    SetRoot(nullptr);
    if (!document_) {
        if (created_)
            return S_FALSE;
        HRESULT hr = CreateDocument();
        if (FAILED(hr))
            return hr;
    }
    if (!stream)
        return E_POINTER;
    VARIANT source;
    Variant::SetUnknown(source, stream);
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT hr = document_->load(source, &ok);
    if (FAILED(hr) || ok != VARIANT_TRUE)
        return FAILED(hr) ? hr : S_FALSE;
    ComPtr<IXMLDOMElement> root;
    document_->get_documentElement(root.Put());
    SetRoot(root.Get());
    return root ? S_OK : S_FALSE;
}

bool CXMLFileCtrl::SetDataType(IXMLDOMNode* node, const wchar_t* type)
{
    // MSXML's own typing (put_dataType, put_nodeTypedValue) is not complete everywhere, so the
    // attribute is written by hand and the text is kept in one canonical form.
    ComPtr<IXMLDOMElement> element = XmlAsElement(node);
    if (!element || !document_)
        return false;
    if (ComPtr<IXMLDOMAttribute> old = FindDataTypeAttribute(element.Get())) {
        if (type) {
            VARIANT text;
            VariantInit(&text);
            text.vt = VT_BSTR;
            text.bstrVal = SysAllocString(type);
            HRESULT hr = old->put_nodeValue(text);
            VariantClear(&text);
            return SUCCEEDED(hr);
        }
        Bstr oldName;
        old->get_nodeName(oldName.Put());
        return SUCCEEDED(element->removeAttribute(oldName.Get()));
    }
    if (!type)
        return true;
    VARIANT kind;
    VariantInit(&kind);
    kind.vt = VT_I4;
    kind.lVal = NODE_ATTRIBUTE;
    Bstr qualified(L"dt:dt"), uri(kXmlDataTypesNamespace);
    ComPtr<IXMLDOMNode> attributeNode;
    if (FAILED(document_->createNode(kind, qualified.Get(), uri.Get(), attributeNode.Put())) || !attributeNode)
        return false;
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(type);
    attributeNode->put_nodeValue(text);
    VariantClear(&text);
    ComPtr<IXMLDOMAttribute> attribute = attributeNode.As<IXMLDOMAttribute>(IID_IXMLDOMAttribute);
    if (!attribute)
        return false;
    ComPtr<IXMLDOMAttribute> old;
    return SUCCEEDED(element->setAttributeNode(attribute.Get(), old.Put()));
}

BOOL CXMLFileCtrl::SetNodeText(IXMLDOMNode* node, const std::wstring& rawText)
{
    if (!node)
        return TRUE;
    // Characters that XML cannot hold would make the whole saved file unreadable.
    std::wstring text = ReplaceInvalidXmlText(rawText);
    if (!HasMarkup(text)) {
        Bstr value(text);
        node->put_text(value.Get());
        modified_ = TRUE;
        return TRUE;
    }
    if (!XmlSetCDataText(document_, node, text))
        return FALSE;
    modified_ = TRUE;
    return TRUE;
}

HRESULT CXMLFileCtrl::SetNodeTypedValue(IXMLDOMNode* node, const VARIANT& value)
{
    if (!node)
        return 1;
    const wchar_t* type = nullptr;
    std::wstring text;
    switch (value.vt) {
    case VT_BSTR:
        SetDataType(node, L"string");
        return SetNodeText(node, value.bstrVal ? std::wstring(value.bstrVal, SysStringLen(value.bstrVal)) : std::wstring())
                   ? 0
                   : 1;
    case VT_I4: type = L"int"; text = std::to_wstring(value.lVal); break;
    case VT_INT: type = L"int"; text = std::to_wstring(value.intVal); break;
    case VT_I2: type = L"i2"; text = std::to_wstring(value.iVal); break;
    case VT_I1: type = L"i1"; text = std::to_wstring(static_cast<int>(static_cast<signed char>(value.cVal))); break;
    case VT_UI1: type = L"ui1"; text = std::to_wstring(value.bVal); break;
    case VT_UI2: type = L"ui2"; text = std::to_wstring(value.uiVal); break;
    case VT_UI4: type = L"ui4"; text = std::to_wstring(value.ulVal); break;
    case VT_UINT: type = L"ui4"; text = std::to_wstring(value.uintVal); break;
    case VT_R4: type = L"r4"; text = FormatNumber(value.fltVal, true); break;
    case VT_R8: type = L"r8"; text = FormatNumber(value.dblVal, false); break;
    case VT_DATE: type = L"dateTime"; text = FormatXmlDateTime(OleDate{value.date, true}); break;
    case VT_BOOL: type = L"boolean"; text = value.boolVal ? L"1" : L"0"; break;
    case VT_ARRAY | VT_UI1: {
        void* data = nullptr;
        LONG low = 0, high = -1;
        if (!value.parray || FAILED(SafeArrayGetLBound(value.parray, 1, &low)) ||
            FAILED(SafeArrayGetUBound(value.parray, 1, &high)) || FAILED(SafeArrayAccessData(value.parray, &data)))
            return E_INVALIDARG;
        UINT count = high >= low ? static_cast<UINT>(high - low + 1) : 0;
        HRESULT hr = SetNodeBinary(node, static_cast<const BYTE*>(data), count);
        SafeArrayUnaccessData(value.parray);
        return hr;
    }
    default: {
        VARIANT converted;
        VariantInit(&converted);
        HRESULT hr = VariantChangeTypeEx(&converted, const_cast<VARIANT*>(&value), LOCALE_INVARIANT, 0, VT_BSTR);
        if (FAILED(hr))
            return hr;
        text = converted.bstrVal ? std::wstring(converted.bstrVal, SysStringLen(converted.bstrVal)) : std::wstring();
        VariantClear(&converted);
        break;
    }
    }
    if (!SetDataType(node, type))
        return E_FAIL;
    Bstr value_text(text);
    HRESULT hr = node->put_text(value_text.Get());
    if (FAILED(hr))
        return hr;
    modified_ = TRUE;
    return S_OK;
}

HRESULT CXMLFileCtrl::SetNodeBinary(IXMLDOMNode* node, const BYTE* bytes, UINT count)
{
    if (!node)
        return 1;
    if (!bytes && count)
        return E_POINTER;
    static const wchar_t kHex[] = L"0123456789abcdef";
    std::wstring text;
    text.reserve(static_cast<size_t>(count) * 2);
    for (UINT i = 0; i < count; ++i) {
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 15];
    }
    if (!SetDataType(node, L"bin.hex"))
        return E_FAIL;
    Bstr value(text);
    HRESULT hr = node->put_text(value.Get());
    if (FAILED(hr))
        return hr;
    modified_ = TRUE;
    return S_OK;
}

HRESULT CXMLFileCtrl::GetNodeBinary(IXMLDOMNode* node, BYTE* buffer, UINT& count)
{
    if (!node)
        return 1;
    Variant value;
    if (FAILED(XmlReadTypedValue(node, value.Put())) || value.Get().vt != (VT_ARRAY | VT_UI1) || !value.Get().parray)
        return 1;
    SAFEARRAY* array = value.Get().parray;
    LONG low = 0, high = -1;
    SafeArrayGetLBound(array, 1, &low);
    SafeArrayGetUBound(array, 1, &high);
    UINT length = high >= low ? static_cast<UINT>(high - low + 1) : 0;
    UINT capacity = count;
    count = length;
    if (length > capacity || (length && !buffer))
        return 1;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data)))
        return 1;
    if (length)
        memcpy(buffer, data, length);
    SafeArrayUnaccessData(array);
    return 0;
}

IXMLDOMNode* CXMLFileCtrl::SelectSingle(const std::wstring& path, IXMLDOMNode* context)
{
    IXMLDOMNode* from = context ? context : static_cast<IXMLDOMNode*>(root_);
    if (!from)
        return nullptr;
    Bstr query(path);
    IXMLDOMNode* node = nullptr;
    if (from->selectSingleNode(query.Get(), &node) != S_OK) {
        if (node)
            node->Release();
        return nullptr;
    }
    return node;
}

IXMLDOMNode* CXMLFileCtrl::GetNode(const std::wstring& path, bool create, IXMLDOMNode* context)
{
    if (!document_ || !root_)
        return nullptr;
    if (path.empty()) {
        root_->AddRef();
        return root_;
    }
    IXMLDOMNode* node = SelectSingle(path, context);
    if (node || !create)
        return node;
    std::wstring parent = L".";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(separator_, start);
        if (end == std::wstring::npos)
            end = path.size();
        std::wstring step = path.substr(start, end - start);
        if (!step.empty() && step != L".") {
            if (!EnsureChild(step, parent))
                return nullptr;
            parent = path.substr(0, end);
        }
        start = end + 1;
    }
    return SelectSingle(path, nullptr);
}

BOOL CXMLFileCtrl::EnsureChild(const std::wstring& child, const std::wstring& parentPath)
{
    if (!root_ || !document_ || parentPath.empty() || child.empty())
        return FALSE;
    ComPtr<IXMLDOMNode> existing = ComPtr<IXMLDOMNode>::Attach(SelectSingle(parentPath + separator_ + child, nullptr));
    if (existing)
        return TRUE;
    ComPtr<IXMLDOMNode> parent = ComPtr<IXMLDOMNode>::Attach(SelectSingle(parentPath, nullptr));
    if (!parent)
        return FALSE;
    Bstr name(child);
    ComPtr<IXMLDOMElement> element;
    if (FAILED(document_->createElement(name.Get(), element.Put())) || !element)
        return FALSE;
    ComPtr<IXMLDOMNode> appended;
    if (FAILED(parent->appendChild(element.Get(), appended.Put())))
        return FALSE;
    modified_ = TRUE;
    return TRUE;
}

HRESULT CXMLFileCtrl::GetValue(const std::wstring& path, VARIANT* value)
{
    if (!document_)
        return 1;
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(GetNode(path));
    if (!node)
        return 1;
    return XmlReadTypedValue(node.Get(), value);
}

HRESULT CXMLFileCtrl::SetValue(const std::wstring& path, const VARIANT& value)
{
    if (!document_)
        return 1;
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(GetNode(path, true));
    if (!node)
        return 1;
    return SetNodeTypedValue(node.Get(), value);
}

HRESULT CXMLFileCtrl::SetInt(const std::wstring& path, int value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return SetValue(path, v);
}

int CXMLFileCtrl::GetInt(const std::wstring& path, int defaultValue)
{
    if (!document_)
        return defaultValue;
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(GetNode(path));
    if (!node)
        return defaultValue;
    return XmlParseInt(XmlNodeText(node.Get()).c_str());
}

HRESULT CXMLFileCtrl::SetString(const std::wstring& path, const std::wstring& text)
{
    if (!document_)
        return 1;
    if (text.empty()) {
        DeleteNode(path);
        return S_OK;
    }
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(GetNode(path, true));
    if (!node)
        return 1;
    if (!SetDataType(node.Get(), L"string"))
        return 1;
    return SetNodeText(node.Get(), text) ? S_OK : 1;
}

std::wstring CXMLFileCtrl::GetString(const std::wstring& path)
{
    Variant value;
    if (GetValue(path, value.Put()) != S_OK || value.Get().vt != VT_BSTR || !value.Get().bstrVal)
        return {};
    return std::wstring(value.Get().bstrVal, SysStringLen(value.Get().bstrVal));
}

HRESULT CXMLFileCtrl::SetBinary(const std::wstring& path, const BYTE* bytes, UINT count)
{
    if (!document_)
        return 1;
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(GetNode(path, true));
    if (!node)
        return 1;
    return SetNodeBinary(node.Get(), bytes, count);
}

HRESULT CXMLFileCtrl::GetBinary(const std::wstring& path, BYTE* buffer, UINT& count)
{
    if (!document_)
        return 1;
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(GetNode(path));
    if (!node)
        return 1;
    return GetNodeBinary(node.Get(), buffer, count);
}

HRESULT CXMLFileCtrl::SetDouble(const std::wstring& path, double value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = value;
    return SetValue(path, v);
}

double CXMLFileCtrl::GetDate(const std::wstring& path, double missing)
{
    if (!document_)
        return 1.0;
    Variant value;
    if (GetValue(path, value.Put()) != S_OK)
        return missing;
    const VARIANT& v = value.Get();
    switch (v.vt) {
    case VT_DATE: return v.date;
    case VT_R8: return v.dblVal;
    case VT_BSTR: {
        // An untyped or string-typed value: a number or a date written as text.
        std::wstring text = v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : std::wstring();
        double number = 0;
        if (ParseNumber(text, number) || ParseDate(text, number))
            return number;
        return missing;
    }
    case VT_R4: case VT_I4: case VT_I2: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: {
        VARIANT converted;
        VariantInit(&converted);
        if (SUCCEEDED(VariantChangeTypeEx(&converted, const_cast<VARIANT*>(&v), LOCALE_INVARIANT, 0, VT_R8)))
            return converted.dblVal;
        return missing;
    }
    default:
        return missing;
    }
}

HRESULT CXMLFileCtrl::DeleteNode(const std::wstring& path)
{
    if (!document_ || path.empty())
        return 1;
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(GetNode(path));
    if (!node)
        return 1;
    ComPtr<IXMLDOMNode> parent;
    if (FAILED(node->get_parentNode(parent.Put())) || !parent)
        return 1;
    ComPtr<IXMLDOMNode> removed;
    if (FAILED(parent->removeChild(node.Get(), removed.Put())))
        return 1;
    modified_ = TRUE;
    return 0;
}

long CXMLFileCtrl::SelectNodes(const std::wstring& xpath, IXMLDOMNodeList** list, IXMLDOMNode* context)
{
    if (list)
        *list = nullptr;
    IXMLDOMNode* from = context ? context : static_cast<IXMLDOMNode*>(root_);
    if (!from || !list)
        return 0;
    Bstr query(xpath);
    if (FAILED(from->selectNodes(query.Get(), list)) || !*list)
        return 0;
    long count = 0;
    (*list)->get_length(&count);
    return count;
}

BOOL CXMLFileCtrl::ReadStringList(const std::wstring& path, CStringArray& items)
{
    if (!document_ || !root_)
        return FALSE;
    items.clear();
    ComPtr<IXMLDOMNodeList> list;
    long count = SelectNodes(path, list.Put());
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> node;
        if (SUCCEEDED(list->get_item(i, node.Put())) && node)
            items.push_back(XmlNodeText(node.Get()));
    }
    return TRUE;
}

BOOL CXMLFileCtrl::WriteStringList(const std::wstring& path, const CStringArray& items)
{
    if (!document_ || !root_)
        return FALSE;
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(GetNode(path, true));
    if (!node)
        return FALSE;
    ComPtr<IXMLDOMNode> parent;
    Bstr name;
    if (FAILED(node->get_parentNode(parent.Put())) || !parent || FAILED(node->get_nodeName(name.Put())))
        return FALSE;
    node.Reset();
    // Collect first: removing while walking a live child list skips entries.
    std::vector<ComPtr<IXMLDOMNode>> old;
    const std::wstring listName = name.Str();
    ComPtr<IXMLDOMNodeList> children;
    if (SUCCEEDED(parent->get_childNodes(children.Put())) && children) {
        long count = 0;
        children->get_length(&count);
        for (long i = 0; i < count; ++i) {
            ComPtr<IXMLDOMNode> child;
            Bstr childName;
            if (SUCCEEDED(children->get_item(i, child.Put())) && child &&
                SUCCEEDED(child->get_nodeName(childName.Put())) && SysStringLen(childName.Get()) == listName.size() &&
                listName.compare(0, listName.size(), childName.Get(), listName.size()) == 0)
                old.push_back(child);
        }
    }
    for (ComPtr<IXMLDOMNode>& child : old) {
        ComPtr<IXMLDOMNode> removed;
        parent->removeChild(child.Get(), removed.Put());
    }
    for (const std::wstring& item : items) {
        ComPtr<IXMLDOMElement> element;
        if (FAILED(document_->createElement(name.Get(), element.Put())) || !element)
            return FALSE;
        ComPtr<IXMLDOMNode> appended;
        parent->appendChild(element.Get(), appended.Put());
        SetNodeText(element.Get(), item);
    }
    modified_ = TRUE;
    return TRUE;
}

BOOL CXMLFileCtrl::AddToList(const std::wstring& path, const std::wstring& text, int limit)
{
    if (!document_ || !root_)
        return FALSE;
    ComPtr<IXMLDOMNodeList> list;
    long count = SelectNodes(path, list.Put());
    if (count == 0) {
        ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(GetNode(path, true));
        if (!node)
            return FALSE;
        SetNodeText(node.Get(), text);
        return TRUE;
    }
    std::vector<ComPtr<IXMLDOMNode>> nodes;
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> node;
        if (SUCCEEDED(list->get_item(i, node.Put())) && node)
            nodes.push_back(node);
    }
    if (nodes.empty())
        return FALSE;
    ComPtr<IXMLDOMNode> last = nodes.back();
    ComPtr<IXMLDOMNode> parent;
    Bstr name;
    if (FAILED(last->get_parentNode(parent.Put())) || !parent || FAILED(last->get_nodeName(name.Put())))
        return FALSE;
    size_t keep = limit > 0 ? static_cast<size_t>(limit) : 0;
    size_t first = 0;
    while (nodes.size() - first > keep) {
        ComPtr<IXMLDOMNode> owner, removed;
        if (SUCCEEDED(nodes[first]->get_parentNode(owner.Put())) && owner)
            owner->removeChild(nodes[first].Get(), removed.Put());
        ++first;
    }
    ComPtr<IXMLDOMElement> element;
    if (FAILED(document_->createElement(name.Get(), element.Put())) || !element)
        return FALSE;
    ComPtr<IXMLDOMNode> inserted;
    ComPtr<IXMLDOMNode> next;
    if (first < nodes.size() && SUCCEEDED(last->get_nextSibling(next.Put())) && next) {
        VARIANT before;
        Variant::SetUnknown(before, next.Get());
        parent->insertBefore(element.Get(), before, inserted.Put());
    } else {
        parent->appendChild(element.Get(), inserted.Put());
    }
    SetNodeText(element.Get(), text);
    modified_ = TRUE;
    return TRUE;
}

ComPtr<IXMLDOMElement> XmlAsElement(IXMLDOMNode* node)
{
    ComPtr<IXMLDOMElement> element;
    if (node)
        node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.Put()));
    return element;
}

HRESULT XmlSetStringProperty(IXMLDOMDocument2* document, const wchar_t* name, const std::wstring& value)
{
    if (!document)
        return E_POINTER;
    Bstr property(name);
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(value.c_str());
    const HRESULT hr = document->setProperty(property.Get(), text);
    VariantClear(&text);
    return hr;
}

bool XmlSetCDataText(IXMLDOMDocument* document, IXMLDOMNode* node, const std::wstring& text)
{
    ComPtr<IXMLDOMElement> element = XmlAsElement(node);
    if (!element || !document)
        return false;
    Bstr empty(L"");
    element->put_text(empty.Get());
    // A CDATA section cannot hold "]]>": split there, so that the sections read back as the text.
    size_t start = 0;
    for (;;) {
        size_t end = text.find(L"]]>", start);
        size_t cut = end == std::wstring::npos ? text.size() : end + 2;
        Bstr part(text.substr(start, cut - start));
        ComPtr<IXMLDOMCDATASection> section;
        ComPtr<IXMLDOMNode> appended;
        if (FAILED(document->createCDATASection(part.Get(), section.Put())) || !section ||
            FAILED(element->appendChild(section.Get(), appended.Put())))
            return false;
        if (end == std::wstring::npos)
            return true;
        start = cut;
    }
}

BOOL XmlGetChildText(IXMLDOMNode* node, std::wstring& text, const wchar_t* tag, const wchar_t* prefix)
{
    if (!node || !tag)
        return FALSE;
    std::wstring query = prefix && *prefix ? std::wstring(prefix) + L":" + tag : std::wstring(tag);
    Bstr path(query);
    ComPtr<IXMLDOMNode> child;
    if (node->selectSingleNode(path.Get(), child.Put()) != S_OK || !child)
        return FALSE;
    text = XmlNodeText(child.Get());
    return TRUE;
}

int XmlGetChildInt(IXMLDOMNode* node, const wchar_t* tag, int defaultValue, const wchar_t* prefix)
{
    std::wstring text;
    if (!XmlGetChildText(node, text, tag, prefix))
        return defaultValue;
    return XmlParseInt(text.c_str());
}

double XmlGetChildDate(IXMLDOMNode* node, const wchar_t* tag, const wchar_t* prefix)
{
    std::wstring text;
    OleDate date;
    if (!XmlGetChildText(node, text, tag, prefix) || !ParseXmlDateTime(text, date) || !date.valid)
        return CXMLFileCtrl::kDefaultDate;
    return date.date;
}
