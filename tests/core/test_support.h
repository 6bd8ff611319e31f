#pragma once
// Small helpers shared by the core tests: fixture paths and records with one name set; files, temporary
// folders and faces come from the common test support.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/font_record.h"
#include "tests/common/test_support.h"

namespace core_test {

inline std::wstring SfntFixture(const wchar_t* name) { return std::wstring(GLY_FIXTURE_DIR) + L"\\sfnt\\" + name; }

using gly_test::MakeTempFolder;
using gly_test::ReadFileBytes;
using gly_test::RemoveTree;
using gly_test::SelectedFaceOf;
using gly_test::TempFolder;
using gly_test::UniqueName;
using gly_test::WriteFileBytes;

// The string `id` of the record's first name set; "<none>" when it has no name set.
inline std::wstring FirstSetName(const CFontItemInfo& r, int id)
{
    return r.names.IsEmpty() ? L"<none>" : r.names[0].strings[id];
}

// A record with one name set (US English, Windows Unicode) that is its default.
inline CFontItemInfo NamedRecord(const std::wstring& family, const std::wstring& full = L"", const std::wstring& postScript = L"")
{
    CFontItemInfo r;
    const int set = r.names.Add(1033, 3, 1);
    r.names[set].strings[NameFamily] = family;
    r.names[set].strings[NameFull] = full;
    r.names[set].strings[NamePostScript] = postScript;
    r.defaultNames = set;
    r.language = 1033;
    return r;
}

}  // namespace core_test
