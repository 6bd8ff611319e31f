#pragma once
// The arrays in which font records travel: every font list, scan result and set content, and the hits of
// a database search.
#include <windows.h>

#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "core/font_record.h"
#include "core/types.h"

// An array of 32-bit values (the item ids of the faces of one collection).
class CMyDWordArray : public CDWordArray {
public:
    using CDWordArray::CDWordArray;
    int GetSize() const { return static_cast<int>(size()); }
    int Add(uint32_t value)
    {
        push_back(value);
        return static_cast<int>(size()) - 1;
    }
};

// One entry of a font list's preview-image queue.
struct CCacheFontImageIndexItem {
    uint32_t imageSlot = 0;
    int32_t index = -1;   // position of the font in its list
    int32_t itemId = -1;  // the record's itemId
    bool operator==(const CCacheFontImageIndexItem& other) const { return itemId == other.itemId; }
};

// What a font list shares with its preview worker: the drawing values and the list of rows to draw ahead
// of need. The preview worker's parameter record builds on it.
struct PreviewImageCache {
    BOOL resetFlag = FALSE;  // set when the sample text or the drawing values change
    std::wstring sampleText;
    int32_t mode = 1;  // not 0: one line, image as wide as the text
    int32_t pixelHeight = 16;
    int32_t fixedWidth = 300;
    std::list<CCacheFontImageIndexItem> renderAhead;
};

// The program's temporary work folder (ends with a backslash; empty when it could not be made).
const std::wstring& GetTempWorkFolder();
void SetTempWorkFolder(const std::wstring& folder);

// A critical section used only while enabled: a worker's starter enables it before the thread runs.
class COptionalLock {
public:
    COptionalLock() = default;
    ~COptionalLock() { Enable(FALSE); }
    COptionalLock(const COptionalLock&) = delete;
    COptionalLock& operator=(const COptionalLock&) = delete;

    void Enable(BOOL on);
    void Lock();
    void Unlock();
    BOOL IsEnabled() const { return m_enabled; }

private:
    CRITICAL_SECTION m_section;
    BOOL m_enabled = FALSE;
};

class CFontItemArray : public std::vector<CFontItemInfo> {
public:
    CFontItemArray();
    ~CFontItemArray() = default;
    CFontItemArray(const CFontItemArray&) = delete;
    CFontItemArray& operator=(const CFontItemArray&) = delete;

    int GetSize() const { return static_cast<int>(size()); }
    int Add(const CFontItemInfo& record)
    {
        push_back(record);
        return GetSize() - 1;
    }
    // Null for an index outside the array.
    CFontItemInfo* GetAt(int index) { return index >= 0 && index < GetSize() ? &(*this)[index] : nullptr; }
    const CFontItemInfo* GetAt(int index) const { return index >= 0 && index < GetSize() ? &(*this)[index] : nullptr; }
    void RemoveAt(int index)
    {
        if (index >= 0 && index < GetSize())
            erase(begin() + index);
    }
    void RemoveAll() { clear(); }

    // The lock is used only while enabled; a worker's starter enables it before the thread runs.
    void EnableLock(BOOL on) { m_lock.Enable(on); }
    void Lock() { m_lock.Lock(); }
    void Unlock() { m_lock.Unlock(); }
    BOOL IsLockEnabled() const { return m_lock.IsEnabled(); }

    void SetAtGrow(int index, const CFontItemInfo& record);
    // Inserts a copy where it sorts by sortColumn (never before the first equal record); returns the position.
    int InsertSorted(const CFontItemInfo& record);
    void Sort();

    void SetChecked(int index, bool on);
    void ToggleChecked(int index);
    void CheckAll(bool on);
    void GetCheckedIndices(CDWordArray& out);
    int GetFirstChecked();
    int GetMarkedCount() const { return markedCount; }

    int FindByItemId(int id) const;
    int FindBySetEntryId(int id) const;

    std::wstring GetStatusText(int& marked) const;
    void SetImageCacheFolder(int index);
    void ResetImageCache(const std::wstring& sampleText, int mode, int pixelHeight, int width);

    int32_t countA = 0;
    int32_t countB = 0;
    uint8_t cacheIndex = 0;
    std::wstring cacheFolder;
    std::map<int, CMyDWordArray> collections;  // collection id -> item ids of its faces
    int32_t previewStop = 0;
    PreviewImageCache* previewCache = nullptr;  // owned by the view that shows the list
    int32_t sortColumn = 0;
    int32_t markedCount = 0;
    int32_t imageSlotCounter = 0;
    int32_t nextCollectionId = 0;

private:
    COptionalLock m_lock;
};

// The column that Sort uses, shared by the whole process.
int GetFontSortColumn();

// One hit of a database search: a font of a set, or (setNumber -1 and an empty record) a set itself.
class CDBFoundItem {
public:
    CWordArray idPath;
    std::wstring setName;
    int32_t setNumber = -1;
    CFontItemInfo record;
};

class CDBFoundFontItemArray : public std::vector<CDBFoundItem> {
public:
    CDBFoundFontItemArray() = default;
    ~CDBFoundFontItemArray() = default;
    CDBFoundFontItemArray(const CDBFoundFontItemArray&) = delete;
    CDBFoundFontItemArray& operator=(const CDBFoundFontItemArray&) = delete;

    int GetSize() const { return static_cast<int>(size()); }
    void SetSize(int count) { resize(count > 0 ? static_cast<size_t>(count) : 0); }
    int Add(const CDBFoundItem& item)
    {
        push_back(item);
        return GetSize() - 1;
    }

    void EnableLock(BOOL on) { m_lock.Enable(on); }
    void Lock() { m_lock.Lock(); }
    void Unlock() { m_lock.Unlock(); }

    int32_t value = 0;

private:
    COptionalLock m_lock;
};

// -1, 0 or 1; column 18 orders by set (hits without a set last), every other column by the records.
int CompareDBFoundItems(const CDBFoundItem& a, const CDBFoundItem& b, int column);
