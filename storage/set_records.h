#pragma once
// A set's own records: read into a font list for display, and removed by the positions the list
// gave them.
#include <windows.h>

#include <string>

#include "core/font_arrays.h"
#include "core/types.h"
#include "storage/font_files_xml.h"

// Empties the list, then reads every record of the set document into it in sort order, each with
// its 1-based position in the document. TRUE when the list holds records afterwards.
BOOL ReadSetRecords(CFontFilesXML& document, CFontItemArray& list, int& count);

// Removes the records at these 1-based positions (as the document stood before the call), unloading
// their fonts first; `unloaded` tells whether any font was unloaded. Saves the document. TRUE when
// at least one record was removed.
BOOL RemoveFontRecords(CFontFilesXML& document, const CDWordArray& positions, const std::wstring& baseFolder,
                       BOOL& unloaded);
