#pragma once
// The set search of the activation server: five worker threads share the sets of the open set file
// and read each set's font-file records with a SAX content handler, handing every record whose PostScript
// name an open request asks for (and whose file exists) to the server's exchange.
#include <windows.h>
#include <msxml2.h>

#include <string>
#include <vector>

#include "core/font_record.h"
#include "core/set_item.h"
#include "core/types.h"

class CPipeData;
class CFontFilesXML;

// The sets that a search walks.
using CSetArray = std::vector<CSetItem>;

// The base of the program's SAX content handlers: reference counting and callbacks that do nothing.
// Release deletes the object when the count drops to 0; the count starts at 0.
class SAXContentHandlerImpl : public ISAXContentHandler {
public:
    SAXContentHandlerImpl() = default;
    virtual ~SAXContentHandlerImpl() = default;
    SAXContentHandlerImpl(const SAXContentHandlerImpl&) = delete;
    SAXContentHandlerImpl& operator=(const SAXContentHandlerImpl&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE putDocumentLocator(ISAXLocator*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE startDocument() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE endDocument() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE startPrefixMapping(const wchar_t*, int, const wchar_t*, int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE endPrefixMapping(const wchar_t*, int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE startElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int,
                                           ISAXAttributes*) override
    {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) override
    {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE characters(const wchar_t*, int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ignorableWhitespace(const wchar_t*, int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE processingInstruction(const wchar_t*, int, const wchar_t*, int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE skippedEntity(const wchar_t*, int) override { return S_OK; }

private:
    volatile LONG m_refs = 0;
};

// Reads just enough of every font-file record of one set to know its PostScript name and its file;
// a record that an open request of the exchange asks for, and whose file exists, is recorded there.
// Every callback fails (ending the parse) once the exchange's workers are told to stop.
class CSAXContentHandler_FindPipeFont : public SAXContentHandlerImpl {
public:
    CSAXContentHandler_FindPipeFont(CPipeData* exchange, const CSetItem& set);

    HRESULT STDMETHODCALLTYPE startDocument() override;
    HRESULT STDMETHODCALLTYPE startElement(const wchar_t* uri, int uriLength, const wchar_t* localName,
                                           int localLength, const wchar_t* qName, int qLength,
                                           ISAXAttributes* attributes) override;
    HRESULT STDMETHODCALLTYPE endElement(const wchar_t* uri, int uriLength, const wchar_t* localName, int localLength,
                                         const wchar_t* qName, int qLength) override;
    HRESULT STDMETHODCALLTYPE characters(const wchar_t* chars, int length) override;

    // Longest element name that is compared, and most characters kept of one text chunk.
    static constexpr int kMaxTagLength = 29;
    static constexpr int kMaxChunkLength = 259;

private:
    HRESULT Result() const;
    void RecordEnded();

    CPipeData* m_exchange;
    CFontItemInfo m_record;
    CFontStrings m_names;
    CSetItem m_set;
    std::wstring m_fileName;
    std::wstring m_folder;
    int m_position = 0;
    int m_matched = 0;
    std::wstring m_text;
    std::wstring m_postScript, m_family, m_style;  // the names of the record that just ended
};

// Appends to `sets` every set node below `node` (groups and sets, parents first, in document order)
// with its id path, its name path ("->" between the names), its source folder and its use counter.
// The caller holds the set file's lock.
void CollectSets(CSetArray& sets, CFontFilesXML* document, IXMLDOMNode* node, const CWordArray& parentPath);

// Thread procedure of one set-search worker; the parameter is the exchange.
UINT __cdecl SetSearchWorker(LPVOID param);

// Searches one set stream (its bytes already read into memory, or an open stream read from its current
// position) with a FindPipeFont handler, driven by the in-house reader of set streams. The result of
// the parse is not needed by the caller; it is returned for tests.
HRESULT SearchSetBytes(CPipeData* exchange, const CSetItem& set, const BYTE* data, size_t size);
HRESULT SearchSetStream(CPipeData* exchange, const CSetItem& set, IStream* stream);

// Copies the stream of the set at `idPath` into memory in one read under the set file's lock, so that
// it can be parsed without the lock. False when the stream cannot be opened or read whole.
bool ReadSetStreamBytes(const CWordArray& idPath, std::vector<BYTE>& bytes);
