#pragma once
// The in-memory XML document of one stream of a set file, and the opening of a set file's tree.
#include <windows.h>
#include <objbase.h>
#include <msxml2.h>

#include <string>

#include "core/font_record.h"
#include "core/types.h"
#include "storage/font_files_tags.h"
#include "storage/xml_file_ctrl.h"

// The namespace of set documents (the streams of single sets).
extern const wchar_t kFontFilesNamespace[];
// The set-tree stream and its periodic copy.
extern const wchar_t kSetsStreamName[];
extern const wchar_t kDbsStreamName[];

// One document of a set file: the set tree (stream "sets") or one set's font-file records (stream
// "set" + id path + ".xml"). Nodes handed out are references the caller releases.
//
// Locking: the set-tree document is shared by the user-interface thread and the workers, so every
// public operation takes the set file's lock (CSetFileLock) for its whole run; the lock is
// recursive, so operations may call one another. Nothing here waits for another thread while
// holding it: progress to a window of another thread is posted, never sent.
class CFontFilesXML {
public:
    CFontFilesXML();
    ~CFontFilesXML();
    CFontFilesXML(const CFontFilesXML&) = delete;
    CFontFilesXML& operator=(const CFontFilesXML&) = delete;

    // --- streams of single sets -------------------------------------------------------------
    static BOOL MakeSetStreamName(const CWordArray& idPath, std::wstring& name);
    HRESULT DeleteSetStream(const CWordArray& idPath, IStorage* storage);
    // Any stream of the new name is destroyed first. S_OK also when the old stream does not exist
    // (a set that never got records has none); any other failure is returned.
    HRESULT RenameSetStream(const CWordArray& oldPath, const CWordArray& newPath, IStorage* storage);

    // Loads the named stream; when it is missing or unreadable and `create` is set, starts a new
    // empty document in a new stream. No name and no storage detach the document from its stream.
    BOOL OpenOrCreate(const std::wstring& name, IStorage* storage, BOOL create, BOOL readOnly);
    // TRUE when the document was written.
    BOOL SaveIfModified(IStorage* storage = nullptr);

    CXMLFileCtrl& Xml() { return xml_; }
    bool HasRoot() const { return xml_.Root() != nullptr; }
    void SetModified(BOOL modified = TRUE) { xml_.SetModified(modified); }
    BOOL IsModified() const { return xml_.IsModified(); }

    // --- the set tree ----------------------------------------------------------------------------
    // The "m" of the node at the path (of the root without one); 1 when anything is missing.
    BYTE GetFormatVersion(const CWordArray* idPath = nullptr);
    // The empty path gives the root element.
    IXMLDOMNode* SelectNodeByIdPath(const CWordArray& idPath);
    BOOL GetNodeIdPath(IXMLDOMNode* node, CWordArray& idPath);
    // The largest sibling id + 1 (1 for no children or no parent). When 65535 is taken, the lowest
    // id from 1 on that no child has; 0 when every id is taken.
    WORD NextFreeId(IXMLDOMNode* parent);
    // Appends the new id to `idPath`. 0 when the parent is missing or no id is left (the path is
    // then unchanged); with keepZero the new node gets id 0.
    WORD CreateNode(const std::wstring& name, CWordArray& idPath, BOOL keepZero = FALSE);
    BOOL FindChildByName(const std::wstring& name, const CWordArray& parentPath, CWordArray& outPath);
    // "b" (direct only) or ".//b" at the start node or the root; the count of nodes, 0 without root.
    long SelectChildNodes(IXMLDOMNodeList** list, BOOL directOnly, IXMLDOMNode* start = nullptr);
    BOOL HasChildNodes(const CWordArray* idPath = nullptr);
    // Moves the node and renames its stream and its descendants' streams. FALSE, with the tree and
    // the streams as they were, when the new id cannot be had or written or any stream rename fails.
    // On success `nodePath` becomes the node's new path.
    BOOL MoveNode(CWordArray& nodePath, const CWordArray& newParentPath, IStorage* storage);
    // Unloads the fonts of each removed node marked active, destroys their streams and removes the
    // node. TRUE when the path selects nothing.
    BOOL DeleteNode(const CWordArray& idPath, IStorage* storage, CFontFilesXML* shownDocument,
                    const CWordArray* shownPath);
    void GetNodeNamePath(std::wstring& out, const CWordArray& idPath, const std::wstring& separator);
    // The source folder, with the drive letter of a catalogued disc swapped for the drive that holds
    // the disc now.
    void GetNodeSourcePath(std::wstring& out, const CWordArray& idPath);
    BOOL SetNodeSourcePath(const CWordArray& idPath, const std::wstring& folder);
    int GetNodeValueH(const CWordArray& idPath);
    BOOL SetNodeValueH(const CWordArray& idPath, int count);
    BOOL IsNodeActive(const CWordArray& idPath);
    BOOL IncrementNodeCounter(const CWordArray& idPath);

    // --- set documents -----------------------------------------------------------------------------
    long CountRecords();
    long CountLoadedRecords();
    // 1-based; null for position 0 or past the end.
    IXMLDOMNode* SelectRecordByPosition(int position);

    // Writes one child element's text by tag index: an empty (or null) text removes an existing
    // child and creates nothing. Texts with '<', '>' or '&' (or, with guardSpaces, an edge space)
    // are kept in a CDATA section. `ns` and `prefix` address record children ("a").
    BOOL GetOrCreateChild(IXMLDOMNode* parent, int tagIndex, const wchar_t* text, const wchar_t* ns = nullptr,
                          const wchar_t* prefix = nullptr, BOOL guardSpaces = FALSE);
    // FALSE (nothing done) for a node that is not an element.
    static BOOL GetNodeAttribute(IXMLDOMNode* node, const wchar_t* name, VARIANT* value);
    BOOL SetNodeAttribute(IXMLDOMNode* node, const wchar_t* name, const VARIANT& value);

    // --- font-file records ---------------------------------------------------------------------------
    // The stored file name ("d") and folder ("e") of a record, from its path; fileFolder null: the
    // path is resolved against the set folder unless it has a drive.
    static void ComputeStoredPath(CFontItemInfo& record, const std::wstring& setFolder, const wchar_t* fileFolder);
    // The DOM writer: appends a new record element "b" with all its fields to the root of this set
    // document. Computes the stored name and folder when the record has none or on `recompute`.
    // `element` (optional) receives the new element.
    BOOL AppendFontRecord(CFontItemInfo& record, const std::wstring& setFolder, const wchar_t* fileFolder,
                          BOOL recompute, IXMLDOMNode** element = nullptr);
    BOOL WriteNameSet(const CFontStrings& names, IXMLDOMNode* nameSetElement);
    // The SAX writer of the same record; the handler keeps output escaping on.
    static BOOL SaxWriteFontRecord(CFontItemInfo& record, ISAXContentHandler* handler, const std::wstring& setFolder,
                                   const wchar_t* fileFolder, BOOL recompute);
    static BOOL SaxWriteNameSet(const CFontStrings& names, ISAXContentHandler* handler, BOOL withWrapper);
    // The DOM reader. Always TRUE for an element.
    static BOOL ReadFontRecord(IXMLDOMNode* element, CFontItemInfo& record, int position);
    // Per-field setters of SAX readers: FALSE for tags that are no field of a record (a name set).
    static BOOL SetRecordFieldFromText(CFontItemInfo& record, int tagIndex, const wchar_t* text);
    static BOOL SetNameFieldFromText(CFontStrings& names, int tagIndex, const wchar_t* text);
    static BOOL SetRecordFieldByTag(CFontItemInfo& record, const wchar_t* tag, const wchar_t* text);
    static BOOL SetNameFieldByTag(CFontStrings& names, const wchar_t* tag, const wchar_t* text);

    // Loads or unloads the font of one record for all programs and stores in its "c" what really
    // happened. mode 0 start-up, 1 exit, 2 user request; kind is the set's activation kind (1 whole
    // set, 2 some fonts, 3 related set). FALSE when the record is not one to process or the load
    // or unload failed.
    BOOL ActivateFontRecord(IXMLDOMNode* element, BOOL load, int mode, int kind, const std::wstring& setFolder,
                            BOOL reset);
    // The load or unload itself, on a record already read (no stored state is looked at or changed);
    // true when it happened. `progress` (may be null) hears of it as with the activation above.
    static bool LoadOrUnloadFontRecord(CFontItemInfo& record, BOOL load, const std::wstring& setFolder, HWND progress);

    // --- activation of sets (on the set-tree document) --------------------------------------------
    // Number of records loaded or unloaded in the set and in the related sets reached.
    int ActivateSetFonts(const CWordArray& idPath, CFontFilesXML* shownDocument, const CWordArray* shownPath, int mode,
                         int kind, BOOL withChildren, BOOL withParents);
    int DeactivateSetFonts(const CWordArray& idPath, CFontFilesXML* shownDocument, const CWordArray* shownPath,
                           int mode, int kind, BOOL clearFlag, BOOL withChildren, BOOL withParents);
    // 0 at the opening of a set file: loads the sets left active; 1 at its closing: unloads them.
    // One WM_FONTCHANGE for the whole batch. FALSE without root or when the selection fails.
    BOOL ActivateMarkedSets(BOOL atExit);

    BOOL readOnly = FALSE;
    std::wstring streamName;
    IStorage* storage = nullptr;  // borrowed, never released here
    HWND progressWindow = nullptr;
    volatile BOOL cancelActivation = FALSE;
    volatile BOOL cancelAddition = FALSE;

private:
    BOOL MoveNodeLocked(CWordArray& nodePath, const CWordArray& newParentPath, IStorage* target);
    int ActivateOrDeactivate(const CWordArray& idPath, CFontFilesXML* shownDocument, const CWordArray* shownPath,
                             bool load, int mode, int kind, BOOL clearFlag, BOOL withChildren, BOOL withParents);

    CXMLFileCtrl xml_;
};

// Id paths.
bool IsSameIdPath(const CWordArray& a, const CWordArray& b);
// b is shorter than a and a begins with b.
bool IsIdPathPrefix(const CWordArray& a, const CWordArray& b);

// Progress of a font operation to a window: sent when the window is this thread's, otherwise posted
// with texts that stay readable after the call (cut to kProgressTextMax characters), so a worker
// never waits for the user-interface thread.
constexpr size_t kProgressTextMax = 1023;
void NotifyFontProgress(HWND window, UINT message, const std::wstring& first, const std::wstring& second);

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
