#include "framework/dialog.h"

#include <cerrno>
#include <climits>
#include <cwchar>

#include "framework/win_thread.h"

namespace {

// Every message first reaches the object through the window's subclass; the dialog manager's own
// procedure only hears what the object leaves to it.
INT_PTR CALLBACK FrameworkDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

bool ParseInt(const std::wstring& text, int& out)
{
    const wchar_t* begin = text.c_str();
    while (*begin == L' ' || *begin == L'\t')
        ++begin;
    if (!*begin)
        return false;
    wchar_t* end = nullptr;
    errno = 0;
    long value = std::wcstol(begin, &end, 10);
    while (end && (*end == L' ' || *end == L'\t'))
        ++end;
    if (errno == ERANGE || !end || *end || value < INT_MIN || value > INT_MAX)
        return false;
    out = static_cast<int>(value);
    return true;
}

}  // namespace

HWND CDataExchange::PrepareCtrl(int id)
{
    m_hWndLastControl = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
    return m_hWndLastControl;
}

void CDataExchange::Fail()
{
    m_bFailed = true;
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control)
{
    if (control.m_hWnd)
        return;
    control.SubclassWindow(dx->PrepareCtrl(id));
}

void DDX_Text(CDataExchange* dx, int id, std::wstring& value)
{
    HWND hwnd = dx->PrepareCtrl(id);
    if (!hwnd)
        return;
    if (dx->m_bSaveAndValidate) {
        int length = GetWindowTextLengthW(hwnd);
        std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        int copied = GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()));
        text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
        value = std::move(text);
    } else {
        SetWindowTextW(hwnd, value.c_str());
    }
}

void DDX_Text(CDataExchange* dx, int id, int& value)
{
    if (dx->m_bSaveAndValidate) {
        std::wstring text;
        DDX_Text(dx, id, text);
        if (!dx->m_hWndLastControl)
            return;
        int parsed = 0;
        if (!ParseInt(text, parsed)) {
            AfxMessageBox(IDS_FRAMEWORK_PARSE_INT, MB_OK | MB_ICONEXCLAMATION);
            dx->Fail();
            return;
        }
        value = parsed;
    } else {
        std::wstring text = std::to_wstring(value);
        DDX_Text(dx, id, text);
    }
}

void DDX_Check(CDataExchange* dx, int id, int& value)
{
    HWND hwnd = dx->PrepareCtrl(id);
    if (!hwnd)
        return;
    if (dx->m_bSaveAndValidate)
        value = static_cast<int>(SendMessageW(hwnd, BM_GETCHECK, 0, 0));
    else
        SendMessageW(hwnd, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void DDX_Radio(CDataExchange* dx, int id, int& value)
{
    HWND first = dx->PrepareCtrl(id);
    if (!first)
        return;
    if (dx->m_bSaveAndValidate)
        value = -1;
    int index = 0;
    for (HWND button = first; button; button = GetWindow(button, GW_HWNDNEXT), ++index) {
        if (button != first && (GetWindowLongPtrW(button, GWL_STYLE) & WS_GROUP))
            break;
        if (!(SendMessageW(button, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON))
            continue;
        if (dx->m_bSaveAndValidate) {
            if (SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED)
                value = index;
        } else {
            SendMessageW(button, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
        }
    }
}

void DDX_CBIndex(CDataExchange* dx, int id, int& value)
{
    HWND hwnd = dx->PrepareCtrl(id);
    if (!hwnd)
        return;
    if (dx->m_bSaveAndValidate)
        value = static_cast<int>(SendMessageW(hwnd, CB_GETCURSEL, 0, 0));
    else
        SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

bool CDialog::CreateFromTemplate(UINT templateId, HWND parent)
{
    if (m_hWnd)
        return false;
    LPCWSTR name = MAKEINTRESOURCEW(templateId);
    HINSTANCE module = AfxFindResourceHandle(name, RT_DIALOG);
    HRSRC resource = FindResourceW(module, name, RT_DIALOG);
    if (!resource)
        return false;
    HGLOBAL loaded = LoadResource(module, resource);
    auto* dialogTemplate = loaded ? static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)) : nullptr;
    if (!dialogTemplate)
        return false;
    HookCreation(this);
    HWND hwnd = CreateDialogIndirectParamW(module, dialogTemplate, parent, FrameworkDialogProc, 0);
    if (!UnhookCreation() && !hwnd)
        PostNcDestroy();
    return hwnd != nullptr;
}

INT_PTR CDialog::DoModal()
{
    HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!parent) {
        CWnd* main = AfxGetMainWnd();
        parent = main ? main->m_hWnd : nullptr;
    }
    HWND top = parent ? GetAncestor(parent, GA_ROOT) : nullptr;
    bool reenable = top && IsWindowEnabled(top);
    m_bModal = true;
    m_bEndModal = false;
    m_nModalResult = -1;
    if (reenable)
        ::EnableWindow(top, FALSE);
    bool created = CreateFromTemplate(m_nIDTemplate, parent);
    if (created) {
        if (!m_bEndModal && m_hWnd) {
            if (!(GetStyle() & WS_VISIBLE))
                ShowWindow(SW_SHOWNORMAL);
            RunModalLoop();
        }
        if (m_nModalResult == -1)
            m_nModalResult = IDCANCEL;  // closed by other means than EndDialog
    }
    if (reenable)
        ::EnableWindow(top, TRUE);
    if (m_hWnd) {
        // Hide first so that activation goes straight back to the owner.
        SetWindowPos(nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (top && GetActiveWindow() == m_hWnd)
            SetActiveWindow(top);
        DestroyWindow();
    }
    m_bModal = false;
    return created ? m_nModalResult : -1;
}

void CDialog::RunModalLoop()
{
    MSG msg;
    while (!m_bEndModal && m_hWnd) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The program is ending: close the dialog and leave the quit for the outer loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0)
            break;
        // Keys of the dialog stop at the dialog, not in the frame behind it.
        AfxDispatchUnlessTaken(&msg, [this](MSG* m) { return AfxPreTranslateUpTo(m, m_hWnd); });
    }
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    m_nIDTemplate = templateId;
    m_pParentWnd = parent;
    m_bModal = false;
    if (!CreateFromTemplate(templateId, parent ? parent->m_hWnd : nullptr))
        return FALSE;
    return TRUE;
}

void CDialog::EndDialog(INT_PTR result)
{
    m_nModalResult = result;
    if (m_bModal) {
        m_bEndModal = true;
        if (m_hWnd)
            PostMessage(WM_NULL);  // wakes the modal loop if this came from outside a dispatch
    } else if (m_hWnd) {
        DestroyWindow();
    }
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(false);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(true))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

bool CDialog::UpdateData(bool saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    if (dx.m_bFailed) {
        if (dx.m_hWndLastControl) {
            ::SetFocus(dx.m_hWndLastControl);
            ::SendMessageW(dx.m_hWndLastControl, EM_SETSEL, 0, -1);
        }
        return false;
    }
    return true;
}

bool CDialog::HandleCommand(UINT id, CCmdUI* state)
{
    if (state)
        return CWnd::HandleCommand(id, state);
    switch (id) {
    case IDOK:
        OnOK();
        return true;
    case IDCANCEL:
        OnCancel();
        return true;
    default:
        return CWnd::HandleCommand(id, state);
    }
}

BOOL CDialog::PreTranslateMessage(MSG* msg)
{
    if (msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST && m_hWnd &&
        (msg->hwnd == m_hWnd || IsChild(m_hWnd, msg->hwnd)))
        return IsDialogMessageW(m_hWnd, msg);
    return FALSE;
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        return OnInitDialog();
    return CWnd::WindowProc(message, wParam, lParam);
}
