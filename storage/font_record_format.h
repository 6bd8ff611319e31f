#pragma once
// Reading the font-file records of a set stream with the SAX reader, for the passes that walk many
// records without building a document (searches, rebuilds). The writer side is
// CFontFilesXML::SaxWriteFontRecord; the per-field setters are CFontFilesXML's.
#include <windows.h>
#include <objbase.h>
#include <msxml2.h>

#include <functional>
#include <string>

#include "core/font_record.h"
#include "storage/font_files_xml.h"

// A SAX content handler that rebuilds each record element "b" of a set document into a
// CFontItemInfo and hands it to OnRecord. Text of an element is collected whole, however the parser
// splits it. Element names are looked up in the tag table; unknown ones are ignored.
class CFontRecordSaxReader : public ISAXContentHandler {
public:
    CFontRecordSaxReader() = default;
    virtual ~CFontRecordSaxReader() = default;

    // Called at the end of every record with its 1-based position in the document (setEntryId and
    // itemId are set from it as the DOM reader does). A failed result stops the parse.
    virtual HRESULT OnRecord(CFontItemInfo& record, int position) = 0;
    // Asked between elements; true stops the parse with E_ABORT.
    virtual bool ShouldStop() { return false; }

    // IUnknown: the reader lives on the caller's stack or heap; counting keeps COM honest but never
    // deletes.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }

    HRESULT STDMETHODCALLTYPE putDocumentLocator(ISAXLocator*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE startDocument() override;
    HRESULT STDMETHODCALLTYPE endDocument() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE startPrefixMapping(const wchar_t*, int, const wchar_t*, int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE endPrefixMapping(const wchar_t*, int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE startElement(const wchar_t* uri, int uriLength, const wchar_t* localName,
                                           int localLength, const wchar_t* qName, int qLength,
                                           ISAXAttributes* attributes) override;
    HRESULT STDMETHODCALLTYPE endElement(const wchar_t* uri, int uriLength, const wchar_t* localName, int localLength,
                                         const wchar_t* qName, int qLength) override;
    HRESULT STDMETHODCALLTYPE characters(const wchar_t* chars, int length) override;
    HRESULT STDMETHODCALLTYPE ignorableWhitespace(const wchar_t*, int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE processingInstruction(const wchar_t*, int, const wchar_t*, int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE skippedEntity(const wchar_t*, int) override { return S_OK; }

    // Parses a set stream from its current position.
    HRESULT Parse(IStream* stream);
    // Parses a set stream already read into memory, with the in-house reader of set streams.
    HRESULT ParseBytes(const BYTE* data, size_t size);

    int RecordCount() const { return position_; }

private:
    ULONG refs_ = 1;
    int depth_ = 0;
    int position_ = 0;
    bool inRecord_ = false;
    bool inNameSet_ = false;
    CFontItemInfo record_;
    CFontStrings nameSet_;
    std::wstring text_;
};

// Reads every record of the set at `idPath` from the open set file through CFontRecordSaxReader,
// calling `onRecord` for each (return false to stop). FALSE when the stream cannot be opened or
// parsed; a set without a stream has no records and gives TRUE.
BOOL ForEachFontRecord(IStorage* storage, const CWordArray& idPath,
                       const std::function<bool(CFontItemInfo& record, int position)>& onRecord);
