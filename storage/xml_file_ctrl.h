#pragma once
// The one wrapper through which the program reads and writes XML documents: values addressed by
// '/'-separated key paths under the root element, stored as typed text.
#include <windows.h>
#include <msxml2.h>

#include <string>

#include "core/types.h"
#include "storage/com_ptr.h"

// The namespace of the data-type attribute ("dt:dt") of typed values.
extern const wchar_t kXmlDataTypesNamespace[];

class CXMLFileCtrl {
public:
    explicit CXMLFileCtrl(const wchar_t* rootName);
    ~CXMLFileCtrl();
    CXMLFileCtrl(const CXMLFileCtrl&) = delete;
    CXMLFileCtrl& operator=(const CXMLFileCtrl&) = delete;

    // Document
    HRESULT CreateDocument();
    HRESULT LoadFromStream(IUnknown* stream);
    // Releases root and document (the created flag stays).
    void Release();

    // Node level; a null node gives 1 (or TRUE) and does nothing.
    BOOL SetNodeText(IXMLDOMNode* node, const std::wstring& text);
    HRESULT SetNodeTypedValue(IXMLDOMNode* node, const VARIANT& value);
    HRESULT SetNodeBinary(IXMLDOMNode* node, const BYTE* bytes, UINT count);
    HRESULT GetNodeBinary(IXMLDOMNode* node, BYTE* buffer, UINT& count);

    // Key-path level. GetNode hands out a reference that the caller releases.
    IXMLDOMNode* GetNode(const std::wstring& path, bool create = false, IXMLDOMNode* context = nullptr);
    BOOL EnsureChild(const std::wstring& child, const std::wstring& parentPath);
    HRESULT GetValue(const std::wstring& path, VARIANT* value);
    HRESULT SetValue(const std::wstring& path, const VARIANT& value);
    HRESULT SetInt(const std::wstring& path, int value);
    int GetInt(const std::wstring& path, int defaultValue);
    HRESULT SetString(const std::wstring& path, const std::wstring& text);
    std::wstring GetString(const std::wstring& path);
    HRESULT SetBinary(const std::wstring& path, const BYTE* bytes, UINT count);
    HRESULT GetBinary(const std::wstring& path, BYTE* buffer, UINT& count);
    HRESULT SetDouble(const std::wstring& path, double value);
    // A stored date or number; `missing` when the path selects nothing or its value is no number.
    double GetDate(const std::wstring& path, double missing = kDefaultDate);
    HRESULT DeleteNode(const std::wstring& path);
    long SelectNodes(const std::wstring& xpath, IXMLDOMNodeList** list, IXMLDOMNode* context = nullptr);
    BOOL ReadStringList(const std::wstring& path, CStringArray& items);
    BOOL WriteStringList(const std::wstring& path, const CStringArray& items);
    BOOL AddToList(const std::wstring& path, const std::wstring& text, int limit);

    // 1 January 1971 00:00:00 as a date value.
    static constexpr double kDefaultDate = 25934.0;

    IXMLDOMDocument2* Document() const { return document_; }
    IXMLDOMElement* Root() const { return root_; }
    // Takes its own reference; null releases the root.
    void SetRoot(IXMLDOMElement* root);
    const std::wstring& RootName() const { return rootName_; }
    void SetRootName(const std::wstring& name) { rootName_ = name; }
    BOOL IsLoaded() const { return loaded_; }
    void SetLoaded(BOOL loaded) { loaded_ = loaded; }
    BOOL IsModified() const { return modified_; }
    void SetModified(BOOL modified) { modified_ = modified; }
    BOOL IsCreated() const { return created_; }
    wchar_t Separator() const { return separator_; }

    // Selects one node by an XPath under `context` (the root when null); a new reference or null.
    IXMLDOMNode* SelectSingle(const std::wstring& path, IXMLDOMNode* context = nullptr);

private:
    bool SetDataType(IXMLDOMNode* node, const wchar_t* type);

    wchar_t separator_ = L'/';
    std::wstring rootName_;
    IXMLDOMDocument2* document_ = nullptr;
    IXMLDOMElement* root_ = nullptr;
    BOOL loaded_ = FALSE;
    BOOL modified_ = FALSE;
    BOOL created_ = FALSE;
};

// The text of a node: its text and CDATA content, exactly as stored (no trimming).
std::wstring XmlNodeText(IXMLDOMNode* node);
// The data type written on a node ("dt:dt"), empty when none.
std::wstring XmlNodeDataType(IXMLDOMNode* node);
// The typed value of a node, parsed from its text by its data type; DISP_E_TYPEMISMATCH when the
// text does not read as its type. Untyped nodes give their text as a string.
HRESULT XmlReadTypedValue(IXMLDOMNode* node, VARIANT* value);

// Decimal text to int as the stored files use it: optional spaces, sign and digits; no digits
// give 0; values beyond 32 bits wrap, so "%u" of a negative number reads back as that number.
int XmlParseInt(const wchar_t* text);

// A key that is a valid XML element name: characters that a name cannot hold become "_xHHHH_";
// a valid name is returned unchanged. Writers and readers of keys use the same form.
std::wstring MakeXmlName(const std::wstring& key);

// Replaces characters that XML 1.0 does not allow in text by `replacement`.
std::wstring ReplaceInvalidXmlText(const std::wstring& text, wchar_t replacement = L'.');

// The node as an element; null when it is none.
ComPtr<IXMLDOMElement> XmlAsElement(IXMLDOMNode* node);
// Sets a text property of the document ("SelectionLanguage", "SelectionNamespaces").
HRESULT XmlSetStringProperty(IXMLDOMDocument2* document, const wchar_t* name, const std::wstring& value);
// Replaces the element's text by CDATA sections of `text` (made by `document`); false when that fails.
bool XmlSetCDataText(IXMLDOMDocument* document, IXMLDOMNode* node, const std::wstring& text);

// Free functions on a node of a document.
BOOL XmlGetChildText(IXMLDOMNode* node, std::wstring& text, const wchar_t* tag, const wchar_t* prefix = nullptr);
int XmlGetChildInt(IXMLDOMNode* node, const wchar_t* tag, int defaultValue, const wchar_t* prefix = nullptr);
double XmlGetChildDate(IXMLDOMNode* node, const wchar_t* tag, const wchar_t* prefix = nullptr);
