#pragma once
// An owned menu: loaded from the locale resource library or made empty, destroyed with the object
// unless detached (a menu given to a window belongs to the window).
#include <windows.h>

#include <string>

#include "framework/owned_handle.h"

struct MenuTraits {
    static void Free(HMENU menu) { ::DestroyMenu(menu); }
};

class CMenu : public COwnedHandleT<HMENU, MenuTraits> {
public:
    CMenu() = default;
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    HMENU GetSafeHmenu() const { return m_handle; }
    bool LoadMenu(UINT id);
    bool CreateMenu() { return Attach(::CreateMenu()); }
    bool CreatePopupMenu() { return Attach(::CreatePopupMenu()); }
    bool DestroyMenu() { return Release(); }

    // Sub-menus stay owned by this menu.
    HMENU GetSubMenu(int position) const { return ::GetSubMenu(m_handle, position); }
    int GetMenuItemCount() const { return ::GetMenuItemCount(m_handle); }
    UINT GetMenuItemID(int position) const { return ::GetMenuItemID(m_handle, position); }
    std::wstring GetMenuString(UINT item, UINT flags) const;
    bool AppendMenu(UINT flags, UINT_PTR idOrPopup = 0, const wchar_t* text = nullptr)
    {
        return ::AppendMenuW(m_handle, flags, idOrPopup, text) != FALSE;
    }
    bool InsertMenu(UINT position, UINT flags, UINT_PTR idOrPopup = 0, const wchar_t* text = nullptr)
    {
        return ::InsertMenuW(m_handle, position, flags, idOrPopup, text) != FALSE;
    }
    bool DeleteMenu(UINT position, UINT flags) { return ::DeleteMenu(m_handle, position, flags) != FALSE; }
    bool RemoveMenu(UINT position, UINT flags) { return ::RemoveMenu(m_handle, position, flags) != FALSE; }
    UINT EnableMenuItem(UINT item, UINT flags) { return ::EnableMenuItem(m_handle, item, flags); }
    DWORD CheckMenuItem(UINT item, UINT flags) { return ::CheckMenuItem(m_handle, item, flags); }
    UINT GetMenuState(UINT item, UINT flags) const { return ::GetMenuState(m_handle, item, flags); }
    BOOL TrackPopupMenu(UINT flags, int x, int y, HWND owner) const
    {
        return ::TrackPopupMenu(m_handle, flags, x, y, 0, owner, nullptr);
    }
};
