#include "core/font_arrays.h"

#include <algorithm>
#include <numeric>

#include "core/helpers.h"
#include "core/resource_strings.h"

namespace {
std::wstring g_tempWorkFolder;
int g_sortColumn = 0;

constexpr UINT kStatusTextId = 593;        // (size, marked)
constexpr UINT kStatusTextCountsId = 611;  // (size, countA, countB, marked)
}  // namespace

const std::wstring& GetTempWorkFolder() { return g_tempWorkFolder; }
void SetTempWorkFolder(const std::wstring& folder) { g_tempWorkFolder = folder; }
int GetFontSortColumn() { return g_sortColumn; }

CFontItemArray::CFontItemArray()
{
    g_sortColumn = 0;
}

void COptionalLock::Enable(BOOL on)
{
    if (on) {
        if (!m_enabled)
            InitializeCriticalSection(&m_section);
        m_enabled = TRUE;
    } else {
        if (m_enabled)
            DeleteCriticalSection(&m_section);
        m_enabled = FALSE;
    }
}

void COptionalLock::Lock()
{
    if (m_enabled)
        EnterCriticalSection(&m_section);
}

void COptionalLock::Unlock()
{
    if (m_enabled)
        LeaveCriticalSection(&m_section);
}

void CFontItemArray::SetAtGrow(int index, const CFontItemInfo& record)
{
    if (index < 0)
        return;
    if (static_cast<size_t>(index) >= size())
        resize(static_cast<size_t>(index) + 1);
    (*this)[index] = record;
}

int CFontItemArray::InsertSorted(const CFontItemInfo& record)
{
    // Bisection for the first element that sorts after the record: an equal record goes behind its equals.
    size_t lo = 0, hi = size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (CompareFontItems(record, (*this)[mid], sortColumn) < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    insert(begin() + static_cast<ptrdiff_t>(lo), record);
    return static_cast<int>(lo);
}

void CFontItemArray::Sort()
{
    g_sortColumn = sortColumn;
    // Sorting an index is stable and stays within bounds even when the comparison is not a strict order
    // (the family column compares long names on their first 31 characters only).
    std::vector<size_t> order(size());
    std::iota(order.begin(), order.end(), size_t{0});
    const int column = g_sortColumn;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return CompareFontItems((*this)[a], (*this)[b], column) < 0;
    });
    std::vector<CFontItemInfo> sorted;
    sorted.reserve(size());
    for (size_t i : order)
        sorted.push_back(std::move((*this)[i]));
    static_cast<std::vector<CFontItemInfo>&>(*this) = std::move(sorted);

    if (previewCache) {
        previewCache->renderAhead.clear();
        for (int i = 0; i < GetSize(); ++i) {
            if ((*this)[i].IsLarge())
                previewCache->renderAhead.push_back({0, i, (*this)[i].itemId});
        }
    }
}

void CFontItemArray::SetChecked(int index, bool on)
{
    CFontItemInfo* item = GetAt(index);
    if (!item)
        return;
    const bool was = item->checkMark != 0;
    item->checkMark = on ? 1 : 0;
    if (on && !was)
        ++markedCount;
    else if (!on && was && markedCount > 0)
        --markedCount;
}

void CFontItemArray::ToggleChecked(int index)
{
    if (const CFontItemInfo* item = GetAt(index))
        SetChecked(index, item->checkMark == 0);
}

void CFontItemArray::CheckAll(bool on)
{
    for (CFontItemInfo& item : *this)
        item.checkMark = on ? 1 : 0;
    markedCount = on ? GetSize() : 0;
}

void CFontItemArray::GetCheckedIndices(CDWordArray& out)
{
    out.clear();
    for (int i = 0; i < GetSize(); ++i) {
        Lock();
        const bool checked = i < GetSize() && (*this)[i].checkMark != 0;
        Unlock();
        if (checked)
            out.push_back(static_cast<uint32_t>(i));
    }
}

int CFontItemArray::GetFirstChecked()
{
    if (markedCount < 1)
        return -1;
    int found = -1;
    Lock();
    for (int i = 0; i < GetSize(); ++i) {
        if ((*this)[i].checkMark) {
            found = i;
            break;
        }
    }
    Unlock();
    return found;
}

int CFontItemArray::FindByItemId(int id) const
{
    for (int i = 0; i < GetSize(); ++i) {
        if ((*this)[i].itemId == id)
            return i;
    }
    return -1;
}

int CFontItemArray::FindBySetEntryId(int id) const
{
    for (int i = 0; i < GetSize(); ++i) {
        if ((*this)[i].setEntryId == id)
            return i;
    }
    return -1;
}

std::wstring CFontItemArray::GetStatusText(int& marked) const
{
    marked = markedCount;
    if (countA != 0)
        return FormatString(LoadResString(kStatusTextCountsId).c_str(), GetSize(), countA, countB, markedCount);
    return FormatString(LoadResString(kStatusTextId).c_str(), GetSize(), markedCount);
}

void CFontItemArray::SetImageCacheFolder(int index)
{
    cacheIndex = static_cast<uint8_t>(index);
    const std::wstring& work = GetTempWorkFolder();
    if (work.empty())
        return;
    cacheFolder = FormatString(L"%scache%d", work.c_str(), index) + L"\\";
    if (GetFileAttributesW(cacheFolder.c_str()) == INVALID_FILE_ATTRIBUTES && !CreateDirectoryW(cacheFolder.c_str(), nullptr))
        cacheFolder.clear();
}

void CFontItemArray::ResetImageCache(const std::wstring& sampleText, int mode, int pixelHeight, int width)
{
    const bool enabledHere = !m_lock.IsEnabled();
    if (enabledHere)
        EnableLock(TRUE);
    Lock();
    if (previewCache) {
        if (pixelHeight != -1)
            previewCache->pixelHeight = pixelHeight;
        previewCache->sampleText = sampleText;
        previewCache->resetFlag = TRUE;
        previewCache->mode = mode;
        previewCache->fixedWidth = width;
        for (CFontItemInfo& item : *this)
            item.imageIndex = -1;
    }
    Unlock();
    if (enabledHere)
        EnableLock(FALSE);
}

int CompareDBFoundItems(const CDBFoundItem& a, const CDBFoundItem& b, int column)
{
    if (column == 255)
        return 0;
    if (column != 18)
        return CompareFontItems(a.record, b.record, column);
    const bool aHasSet = a.setNumber != -1;
    const bool bHasSet = b.setNumber != -1;
    if (!aHasSet && bHasSet)
        return 1;
    if (aHasSet && !bHasSet)
        return -1;
    const int bySet = CompareLocale(a.setName, b.setName, true);
    if (bySet != 0)
        return bySet < 0 ? -1 : 1;
    return CompareFontItems(a.record, b.record, 1);
}
