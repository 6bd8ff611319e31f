#pragma once
// Adding font files to a set: reading a file into records by its extension, writing a record into
// the set's document unless the set holds that face already, and the loop over a list of files.
#include <windows.h>

#include <string>
#include <unordered_set>

#include "core/font_arrays.h"
#include "core/font_record.h"
#include "core/types.h"
#include "storage/font_files_xml.h"

// Reads the file `name` (resolved against fileFolder) with the reader of its extension and gives
// every record its stored name and its folder relative to setFolder. TRUE when it gave a record.
BOOL ReadFontFileByExtension(const std::wstring& fileFolder, const std::wstring& name, const std::wstring& setFolder,
                             CFontItemArray& records);

// The faces a set document holds, by resolved file path, family and full name (all ignoring case),
// read once so that adding many files does not walk the whole document for every face.
class CSetRecordIndex {
public:
    // Reads every record of the document; the paths are resolved against setFolder.
    void Build(CFontFilesXML& document, const std::wstring& setFolder);
    // Whether the record, stored into this set as AddFontFile would store it, is already there.
    bool Contains(const CFontItemInfo& record, const std::wstring& setFolder, const wchar_t* fileFolder,
                  BOOL recompute) const;
    void Add(const CFontItemInfo& record, const std::wstring& setFolder, const wchar_t* fileFolder, BOOL recompute);
    size_t Size() const { return keys_.size(); }

private:
    std::unordered_set<std::wstring> keys_;
};

// TRUE when the set document holds a record of the same file, family and full name.
BOOL FindDuplicateRecord(CFontFilesXML& document, const CFontItemInfo& record, const wchar_t* fileFolder,
                         const std::wstring& setFolder, BOOL recompute = FALSE);

// Writes the record into the set document unless it is a duplicate, which only adds one to
// `duplicates`. TRUE for a record written or found. With an index, the index answers the
// duplicate test and learns the record written.
BOOL AddFontFile(CFontFilesXML& document, CFontItemInfo& record, const std::wstring& setFolder,
                 const wchar_t* fileFolder, int& duplicates, BOOL recompute, CSetRecordIndex* index = nullptr);

// Adds every face of the named files (resolved against fileFolder) to the set document, reporting
// each face to the document's progress window (WM_SET_FILL_PROGRESS: family name, file path) and
// stopping at the document's addition cancel flag. Saves the document when anything was counted.
// Returns the faces written plus the faces found already there (`duplicates` of them).
int AddFontFiles(CFontFilesXML& document, const std::wstring& setFolder, const std::wstring& fileFolder,
                 const CStringArray& names, int& duplicates, int* fileCount = nullptr, int* current = nullptr);
