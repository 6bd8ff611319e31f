#pragma once
// Command targets and command state: menu, accelerator and toolbar commands are offered to a chain
// of targets (view, frame, application); the same chain answers whether a command is enabled,
// checked or has another text.
#include <windows.h>

class CWnd;

// The state of one command as a menu item, toolbar button or status-bar pane shows it.
// A target that handles the command sets what it knows; what it leaves alone keeps its default.
class CCmdUI {
public:
    UINT m_nID = 0;
    UINT m_nIndex = 0;            // position in the menu, toolbar or status bar
    HMENU m_hMenu = nullptr;      // the popup being updated, or null
    CWnd* m_pOther = nullptr;     // the toolbar or status bar being updated, or null
    bool m_bEnableChanged = false;
    bool m_bEnabled = true;       // the state last set by Enable

    virtual ~CCmdUI() = default;
    // Overrides call this base first: it keeps the bookkeeping that routing reads.
    virtual void Enable(bool on = true);
    virtual void SetCheck(int check = 1);  // 0 clear, 1 checked, 2 indeterminate
    virtual void SetRadio(bool on = true);
    virtual void SetText(const wchar_t* text);

    // Asks the target chain; when no target knows the command and disableIfNoHandler is set, the
    // command is shown disabled. Returns true when a target answered.
    bool DoUpdate(class CCmdTarget* target, bool disableIfNoHandler);
};

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;

    // The route of a command: by default only this object. With state == nullptr the command is
    // carried out; otherwise its state is asked. Returns true when some target on the route
    // handles the command.
    virtual bool OnCmdMsg(UINT id, CCmdUI* state);

    // This object's own commands, written as a switch over the ids. A case that handles a command
    // returns true: with state == nullptr after carrying it out, otherwise after setting the state
    // it knows (a handled command whose state is not touched stays enabled).
    virtual bool HandleCommand(UINT id, CCmdUI* state);
};
