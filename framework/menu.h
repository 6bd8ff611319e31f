#pragma once
// An owned menu: loaded from the locale resource library or made empty, destroyed with the object
// unless detached (a menu given to a window belongs to the window).
#include <windows.h>

#include <string>

class CMenu {
public:
    CMenu() = default;
    ~CMenu() { DestroyMenu(); }
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    operator HMENU() const { return m_hMenu; }
    HMENU GetSafeHmenu() const { return m_hMenu; }
    bool LoadMenu(UINT id);
    bool CreateMenu() { return Attach(::CreateMenu()); }
    bool CreatePopupMenu() { return Attach(::CreatePopupMenu()); }
    bool Attach(HMENU menu);
    HMENU Detach();
    bool DestroyMenu();

    // Sub-menus stay owned by this menu.
    HMENU GetSubMenu(int position) const { return ::GetSubMenu(m_hMenu, position); }
    int GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }
    UINT GetMenuItemID(int position) const { return ::GetMenuItemID(m_hMenu, position); }
    std::wstring GetMenuString(UINT item, UINT flags) const;
    bool AppendMenu(UINT flags, UINT_PTR idOrPopup = 0, const wchar_t* text = nullptr)
    {
        return ::AppendMenuW(m_hMenu, flags, idOrPopup, text) != FALSE;
    }
    bool InsertMenu(UINT position, UINT flags, UINT_PTR idOrPopup = 0, const wchar_t* text = nullptr)
    {
        return ::InsertMenuW(m_hMenu, position, flags, idOrPopup, text) != FALSE;
    }
    bool DeleteMenu(UINT position, UINT flags) { return ::DeleteMenu(m_hMenu, position, flags) != FALSE; }
    bool RemoveMenu(UINT position, UINT flags) { return ::RemoveMenu(m_hMenu, position, flags) != FALSE; }
    UINT EnableMenuItem(UINT item, UINT flags) { return ::EnableMenuItem(m_hMenu, item, flags); }
    DWORD CheckMenuItem(UINT item, UINT flags) { return ::CheckMenuItem(m_hMenu, item, flags); }
    UINT GetMenuState(UINT item, UINT flags) const { return ::GetMenuState(m_hMenu, item, flags); }
    BOOL TrackPopupMenu(UINT flags, int x, int y, HWND owner) const
    {
        return ::TrackPopupMenu(m_hMenu, flags, x, y, 0, owner, nullptr);
    }

private:
    HMENU m_hMenu = nullptr;
};
