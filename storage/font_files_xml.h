#pragma once
// The in-memory XML document of one stream of a set file, and the opening of a set file's tree.
#include <windows.h>
#include <objbase.h>
#include <msxml2.h>

#include <string>

#include "core/types.h"
#include "storage/xml_file_ctrl.h"

// The namespace of set documents (the streams of single sets).
extern const wchar_t kFontFilesNamespace[];
// The set-tree stream and its periodic copy.
extern const wchar_t kSetsStreamName[];
extern const wchar_t kDbsStreamName[];

class CFontFilesXML {
public:
    CFontFilesXML();
    ~CFontFilesXML() = default;
    CFontFilesXML(const CFontFilesXML&) = delete;
    CFontFilesXML& operator=(const CFontFilesXML&) = delete;

    static BOOL MakeSetStreamName(const CWordArray& idPath, std::wstring& name);
    HRESULT DeleteSetStream(const CWordArray& idPath, IStorage* storage);
    HRESULT RenameSetStream(const CWordArray& oldPath, const CWordArray& newPath, IStorage* storage);

    // Loads the named stream; when it is missing or unreadable and `create` is set, starts a new
    // empty document in a new stream. No name and no storage detach the document from its stream.
    BOOL OpenOrCreate(const std::wstring& name, IStorage* storage, BOOL create, BOOL readOnly);
    // TRUE when the document was written.
    BOOL SaveIfModified(IStorage* storage = nullptr);

    CXMLFileCtrl& Xml() { return xml_; }
    bool HasRoot() const { return xml_.Root() != nullptr; }

    BOOL readOnly = FALSE;
    std::wstring streamName;
    IStorage* storage = nullptr;  // borrowed, never released here
    HWND progressWindow = nullptr;
    volatile BOOL cancelActivation = FALSE;
    volatile BOOL cancelAddition = FALSE;

private:
    CXMLFileCtrl xml_;
};

// Loads the set tree of an open set file: the stream "sets", else its copy "dbs" (which is then
// written back as "sets"). When neither loads: with `createEmpty`, a new empty tree, but only after
// the file's old content was copied into a backup file; without it, message 239 and FALSE.
BOOL LoadSetTree(CFontFilesXML& document, IStorage* storage, BOOL readOnly, const std::wstring& path, bool createEmpty);

// Opens the program's current set file at start-up: `path` (empty: "gly.set" in the data folder),
// created when it does not exist. A file that exists but does not open is left untouched and the
// default file is tried instead. On success `path` names the file that was opened.
BOOL OpenCurrentSetFile(std::wstring& path, const std::wstring& dataFolder, IStorage** storage, BOOL& readOnly,
                        CFontFilesXML& document);

// SAX helpers of the set documents' readers and writers.
BOOL SaxWriteElement(ISAXContentHandler* handler, const wchar_t* tag, int tagLength, const wchar_t* text);
BOOL ParseIntField(int& out, const wchar_t* text);
void ParseDateField(double& out, const wchar_t* text);
