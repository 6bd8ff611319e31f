#include "framework/menu.h"

#include "framework/win_thread.h"

bool CMenu::LoadMenu(UINT id)
{
    return Attach(::LoadMenuW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id)));
}

std::wstring CMenu::GetMenuString(UINT item, UINT flags) const
{
    int length = ::GetMenuStringW(m_handle, item, nullptr, 0, flags);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = ::GetMenuStringW(m_handle, item, text.data(), length + 1, flags);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}
