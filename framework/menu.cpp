#include "framework/menu.h"

#include "framework/win_thread.h"

bool CMenu::LoadMenu(UINT id)
{
    return Attach(::LoadMenuW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id)));
}

bool CMenu::Attach(HMENU menu)
{
    DestroyMenu();
    m_hMenu = menu;
    return menu != nullptr;
}

HMENU CMenu::Detach()
{
    HMENU menu = m_hMenu;
    m_hMenu = nullptr;
    return menu;
}

bool CMenu::DestroyMenu()
{
    if (!m_hMenu)
        return false;
    ::DestroyMenu(m_hMenu);
    m_hMenu = nullptr;
    return true;
}

std::wstring CMenu::GetMenuString(UINT item, UINT flags) const
{
    int length = ::GetMenuStringW(m_hMenu, item, nullptr, 0, flags);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = ::GetMenuStringW(m_hMenu, item, text.data(), length + 1, flags);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}
