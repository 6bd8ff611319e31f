#include "storage/set_activation.h"

#include <mutex>

#include "core/helpers.h"
#include "core/resource_strings.h"
#include "storage/app_setting_xml.h"
#include "storage/com_ptr.h"
#include "storage/font_files_xml.h"
#include "storage/set_file.h"

namespace {
std::mutex g_hookMutex;
std::function<void()> g_broadcastHook;
}  // namespace

void BroadcastFontChange()
{
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> guard(g_hookMutex);
        hook = g_broadcastHook;
    }
    if (hook) {
        hook();
        return;
    }
    PostMessageW(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
}

void SetFontChangeBroadcastHook(std::function<void()> hook)
{
    std::lock_guard<std::mutex> guard(g_hookMutex);
    g_broadcastHook = std::move(hook);
}

int CFontFilesXML::ActivateSetFonts(const CWordArray& idPath, CFontFilesXML* shownDocument, const CWordArray* shownPath,
                                    int mode, int kind, BOOL withChildren, BOOL withParents)
{
    return ActivateOrDeactivate(idPath, shownDocument, shownPath, true, mode, kind, FALSE, withChildren, withParents);
}

int CFontFilesXML::DeactivateSetFonts(const CWordArray& idPath, CFontFilesXML* shownDocument, const CWordArray* shownPath,
                                      int mode, int kind, BOOL clearFlag, BOOL withChildren, BOOL withParents)
{
    return ActivateOrDeactivate(idPath, shownDocument, shownPath, false, mode, kind, clearFlag, withChildren,
                                withParents);
}

// The set-tree document is touched only under the set file's lock, and only for short steps; the
// fonts themselves are loaded between them, so the user-interface thread is never held up for a
// whole set.
int CFontFilesXML::ActivateOrDeactivate(const CWordArray& idPath, CFontFilesXML* shownDocument,
                                        const CWordArray* shownPath, bool load, int mode, int kind, BOOL clearFlag,
                                        BOOL withChildren, BOOL withParents)
{
    std::wstring name, folder;
    if (idPath.empty() || !MakeSetStreamName(idPath, name))
        return 0;
    IStorage* target = nullptr;
    BOOL treeReadOnly = FALSE;
    {
        CSetFileLock lock;
        ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(SelectNodeByIdPath(idPath));
        if (!node || !XmlGetChildText(node.Get(), folder, TagName(kTagSetSource)))
            return 0;
        target = storage;
        treeReadOnly = readOnly;
    }

    CFontFilesXML own;
    CFontFilesXML* set = nullptr;
    if (shownDocument && shownPath && IsSameIdPath(*shownPath, idPath)) {
        set = shownDocument;
    } else {
        // Opened for writing unless the file is read-only: the records' load states are saved.
        if (!own.OpenOrCreate(name, target, FALSE, treeReadOnly))
            return 0;
        set = &own;
    }

    int count = 0;
    if (set->HasRoot()) {
        ComPtr<IXMLDOMNodeList> records;
        long total = 0;
        {
            CSetFileLock lock;
            Bstr query(L"a:b");
            if (FAILED(set->Xml().Root()->selectNodes(query.Get(), records.Put())) || !records)
                return 0;
            records->get_length(&total);
        }
        const HWND savedWindow = set->progressWindow;
        set->progressWindow = progressWindow;
        for (long i = 0; i < total && !cancelActivation; ++i) {
            ComPtr<IXMLDOMNode> record;
            if (FAILED(records->get_item(i, record.Put())) || !record)
                continue;
            if (set->ActivateFontRecord(record.Get(), load ? TRUE : FALSE, mode, kind, folder, load ? FALSE : clearFlag))
                ++count;
        }
        set->progressWindow = set == &own ? nullptr : savedWindow;
    }

    {
        CSetFileLock lock;
        ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(SelectNodeByIdPath(idPath));
        if (node) {
            if (load && mode != 0) {
                GetOrCreateChild(node.Get(), kTagSetActive, L"1");
                GetOrCreateChild(node.Get(), kTagSetActivation, std::to_wstring(kind & 0xFF).c_str());
            } else if (!load && !(clearFlag == FALSE && mode == 1)) {
                GetOrCreateChild(node.Get(), kTagSetActive, L"0");
            }
        }
        xml_.SetModified(TRUE);
        set->SaveIfModified();
    }

    const bool hasParent = idPath.size() >= 2;
    const CWordArray parentPath(idPath.begin(), idPath.end() - (hasParent ? 1 : 0));
    auto eachChild = [&](auto&& visit) {
        std::vector<CWordArray> paths;
        {
            CSetFileLock lock;
            ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(SelectNodeByIdPath(idPath));
            ComPtr<IXMLDOMNodeList> children;
            long n = node ? SelectChildNodes(children.Put(), TRUE, node.Get()) : 0;
            for (long i = 0; i < n; ++i) {
                ComPtr<IXMLDOMNode> child;
                CWordArray childPath;
                if (SUCCEEDED(children->get_item(i, child.Put())) && child && GetNodeIdPath(child.Get(), childPath))
                    paths.push_back(childPath);
            }
        }
        for (const CWordArray& childPath : paths) {
            if (cancelActivation)
                break;
            visit(childPath);
        }
    };

    if (load) {
        if (withParents && !cancelActivation && hasParent)
            count += ActivateOrDeactivate(parentPath, shownDocument, shownPath, true, mode, 3, FALSE, FALSE, TRUE);
        if (withChildren && !cancelActivation)
            eachChild([&](const CWordArray& childPath) {
                count += ActivateOrDeactivate(childPath, shownDocument, shownPath, true, mode, 3, FALSE, TRUE, FALSE);
            });
        return count;
    }

    if (withChildren && !cancelActivation)
        eachChild([&](const CWordArray& childPath) {
            count += ActivateOrDeactivate(childPath, shownDocument, shownPath, false, mode, 3, clearFlag, TRUE, FALSE);
        });
    if (withParents && !cancelActivation && hasParent) {
        bool deactivateParent = true;
        if (mode == 2) {
            // The parent stays while another of its sets is still active.
            CSetFileLock lock;
            ComPtr<IXMLDOMNode> parent = ComPtr<IXMLDOMNode>::Attach(SelectNodeByIdPath(parentPath));
            ComPtr<IXMLDOMNodeList> active;
            deactivateParent =
                parent && xml_.SelectNodes(FormatString(L"%s[%s=\"%d\"]", TagName(kTagNode), TagName(kTagSetActive), 1),
                                           active.Put(), parent.Get()) == 0;
        }
        if (deactivateParent)
            count += ActivateOrDeactivate(parentPath, shownDocument, shownPath, false, mode, 3, clearFlag, FALSE, TRUE);
    }
    return count;
}

BOOL CFontFilesXML::ActivateMarkedSets(BOOL atExit)
{
    std::vector<std::pair<CWordArray, int>> marked;
    {
        CSetFileLock lock;
        if (!xml_.Root())
            return FALSE;
        ComPtr<IXMLDOMNodeList> list;
        Bstr query(FormatString(L".//%s[%s=\"%d\"]", TagName(kTagNode), TagName(kTagSetActive), 1));
        if (FAILED(xml_.Root()->selectNodes(query.Get(), list.Put())) || !list)
            return FALSE;
        long count = 0;
        list->get_length(&count);
        for (long i = 0; i < count; ++i) {
            ComPtr<IXMLDOMNode> node;
            if (FAILED(list->get_item(i, node.Put())) || !node)
                continue;
            const int kind = XmlGetChildInt(node.Get(), TagName(kTagSetActivation), 1);
            CWordArray path;
            // Sets active only through a relative are reached from that relative.
            if (kind == 3 || !GetNodeIdPath(node.Get(), path))
                continue;
            marked.emplace_back(path, kind);
        }
    }
    const BOOL clearFlag = atExit && g_appSettings.GetInt(L"general", L"AutoActivate", 1) == 0;
    int total = 0;
    for (const auto& [path, kind] : marked) {
        if (atExit)
            total += DeactivateSetFonts(path, nullptr, nullptr, 1, kind, clearFlag, TRUE, TRUE);
        else
            total += ActivateSetFonts(path, nullptr, nullptr, 0, kind, TRUE, TRUE);
    }
    if (total != 0)
        BroadcastFontChange();
    return TRUE;
}
