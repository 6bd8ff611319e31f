#include "framework/cmd_target.h"

void CCmdUI::Enable(bool on)
{
    if (m_hMenu)
        EnableMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (on ? MF_ENABLED : (MF_DISABLED | MF_GRAYED)));
    m_bEnableChanged = true;
    m_bEnabled = on;
}

void CCmdUI::SetCheck(int check)
{
    if (m_hMenu)
        CheckMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (check ? MF_CHECKED : MF_UNCHECKED));
}

void CCmdUI::SetRadio(bool on)
{
    if (!m_hMenu)
        return;
    MENUITEMINFOW info{sizeof(info)};
    info.fMask = MIIM_FTYPE;
    if (GetMenuItemInfoW(m_hMenu, m_nIndex, TRUE, &info)) {
        info.fType = on ? (info.fType | MFT_RADIOCHECK) : (info.fType & ~MFT_RADIOCHECK);
        SetMenuItemInfoW(m_hMenu, m_nIndex, TRUE, &info);
    }
    SetCheck(on ? 1 : 0);
}

void CCmdUI::SetText(const wchar_t* text)
{
    if (!m_hMenu || !text)
        return;
    MENUITEMINFOW info{sizeof(info)};
    info.fMask = MIIM_STRING;
    info.dwTypeData = const_cast<wchar_t*>(text);
    SetMenuItemInfoW(m_hMenu, m_nIndex, TRUE, &info);
}

bool CCmdUI::DoUpdate(CCmdTarget* target, bool disableIfNoHandler)
{
    if (m_nID == 0 || !target)
        return false;
    m_bEnableChanged = false;
    bool handled = target->OnCmdMsg(m_nID, this);
    // With automatic enabling the route owns the state: a command that a target takes without
    // saying more is enabled again, one that no target takes is disabled.
    if (disableIfNoHandler && !m_bEnableChanged)
        Enable(handled);
    return handled;
}

bool CCmdTarget::OnCmdMsg(UINT id, CCmdUI* state)
{
    return HandleCommand(id, state);
}

bool CCmdTarget::HandleCommand(UINT, CCmdUI*)
{
    return false;
}
