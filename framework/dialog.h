#pragma once
// Dialogs from templates in the locale resource library, modal (with the framework's own loop, so
// that pre-translation reaches the dialog and its controls) or modeless. Controls and members meet
// in one explicit function, DoDataExchange, run by UpdateData.
#include <windows.h>

#include <string>

#include "framework/wnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, bool saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
    // The control's window; remembered as the one to focus when its value is refused.
    HWND PrepareCtrl(int id);
    // Reports that the last prepared control holds a value that cannot be taken.
    void Fail();

    CWnd* m_pDlgWnd;
    bool m_bSaveAndValidate;  // true: controls to members; false: members to controls
    bool m_bFailed = false;
    HWND m_hWndLastControl = nullptr;
};

void DDX_Control(CDataExchange* dx, int id, CWnd& control);
void DDX_Text(CDataExchange* dx, int id, std::wstring& value);
void DDX_Text(CDataExchange* dx, int id, int& value);
void DDX_Check(CDataExchange* dx, int id, int& value);
// The index of the checked button of the group that starts with this control, -1 for none.
void DDX_Radio(CDataExchange* dx, int id, int& value);
void DDX_CBIndex(CDataExchange* dx, int id, int& value);

class CDialog : public CWnd {
public:
    CDialog() = default;
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

    // Runs the dialog and returns the value given to EndDialog; -1 when it could not be made.
    virtual INT_PTR DoModal();
    // A modeless dialog; it is destroyed by EndDialog or DestroyWindow.
    BOOL Create(UINT templateId, CWnd* parent = nullptr);
    void EndDialog(INT_PTR result);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* dx) {}
    // Runs DoDataExchange; false when a value was refused (its control then has the focus).
    bool UpdateData(bool saveAndValidate = true);

    bool HandleCommand(UINT id, CCmdUI* state) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    bool IsModal() const { return m_bModal; }

protected:
    UINT m_nIDTemplate = 0;
    CWnd* m_pParentWnd = nullptr;

private:
    bool CreateFromTemplate(UINT templateId, HWND parent);
    void RunModalLoop();

    bool m_bModal = false;
    bool m_bEndModal = false;
    INT_PTR m_nModalResult = -1;
};
