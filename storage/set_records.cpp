#include "storage/set_records.h"

#include <algorithm>
#include <vector>

#include "storage/com_ptr.h"
#include "storage/set_activation.h"
#include "storage/set_file.h"

namespace {

// Holds the list's lock (while its lock is enabled) for one change.
class ListLock {
public:
    explicit ListLock(CFontItemArray& list) : list_(list) { list_.Lock(); }
    ~ListLock() { list_.Unlock(); }
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;

private:
    CFontItemArray& list_;
};

// Records go into the list a batch at a time: one sorted batch merged in costs one pass over the
// list, where inserting each record into the middle of a large list costs a pass per record.
constexpr size_t kReadBatch = 256;

void MergeSorted(CFontItemArray& list, std::vector<CFontItemInfo>& batch)
{
    ListLock lock(list);
    const int column = list.sortColumn;
    auto before = [column](const CFontItemInfo& a, const CFontItemInfo& b) { return CompareFontItems(a, b, column) < 0; };
    // Stable, and a new record goes behind the equal records already listed: the order that
    // inserting them one by one in document order gives.
    std::stable_sort(batch.begin(), batch.end(), before);
    std::vector<CFontItemInfo> merged;
    merged.reserve(list.size() + batch.size());
    size_t next = 0;
    for (CFontItemInfo& record : batch) {
        while (next < list.size() && !before(record, list[next]))
            merged.push_back(std::move(list[next++]));
        const int index = static_cast<int>(merged.size());
        merged.push_back(std::move(record));
        if (list.previewCache && merged.back().IsLarge())
            list.previewCache->renderAhead.push_back({0, index, merged.back().itemId});
    }
    while (next < list.size())
        merged.push_back(std::move(list[next++]));
    static_cast<std::vector<CFontItemInfo>&>(list) = std::move(merged);
    batch.clear();
}

}  // namespace

BOOL ReadSetRecords(CFontFilesXML& document, CFontItemArray& list, int& count)
{
    {
        ListLock lock(list);
        list.RemoveAll();
    }
    count = 0;

    ComPtr<IXMLDOMNodeList> records;
    {
        CSetFileLock lock;
        if (!document.HasRoot())
            return FALSE;
        if (document.Xml().SelectNodes(L"a:b", records.Put(), document.Xml().Root()) < 0 || !records)
            return FALSE;
    }
    std::vector<CFontItemInfo> batch;
    batch.reserve(kReadBatch);
    int read = 0;
    for (;;) {
        {
            // The view reads the list while it fills, so the document lock and the list lock are
            // never held together.
            CSetFileLock lock;
            ComPtr<IXMLDOMNode> node;
            if (records->nextNode(node.Put()) != S_OK || !node)
                break;
            batch.emplace_back();
            CFontFilesXML::ReadFontRecord(node.Get(), batch.back(), ++read);
        }
        if (batch.size() == kReadBatch) {
            count += static_cast<int>(batch.size());
            MergeSorted(list, batch);
        }
    }
    count += static_cast<int>(batch.size());
    MergeSorted(list, batch);
    return list.GetSize() > 0 ? TRUE : FALSE;
}

BOOL RemoveFontRecords(CFontFilesXML& document, const CDWordArray& positions, const std::wstring& baseFolder,
                       BOOL& unloaded)
{
    unloaded = FALSE;
    BOOL removed = FALSE;
    // Every record is found before any is removed, so that positions refer to the document as the
    // caller saw it.
    std::vector<ComPtr<IXMLDOMNode>> found;
    {
        CSetFileLock lock;
        if (!document.HasRoot())
            return FALSE;
        for (uint32_t position : positions) {
            if (position == 0 || position > 0x7FFFFFFF)
                continue;
            ComPtr<IXMLDOMNode> record =
                ComPtr<IXMLDOMNode>::Attach(document.SelectRecordByPosition(static_cast<int>(position)));
            if (record)
                found.push_back(record);
        }
    }
    for (ComPtr<IXMLDOMNode>& record : found) {
        ComPtr<IXMLDOMNode> parent;
        if (FAILED(record->get_parentNode(parent.Put())) || !parent)
            continue;  // already removed: the same position was given twice
        try {
            if (document.ActivateFontRecord(record.Get(), FALSE, 2, 2, baseFolder, FALSE))
                unloaded = TRUE;
        } catch (...) {
            // A record whose font cannot be unloaded is still removed.
        }
        CSetFileLock lock;
        ComPtr<IXMLDOMNode> old;
        if (SUCCEEDED(parent->removeChild(record.Get(), old.Put())) && old) {
            document.SetModified(TRUE);
            removed = TRUE;
        }
    }
    if (unloaded)
        BroadcastFontChange();
    document.SaveIfModified();
    return removed;
}
