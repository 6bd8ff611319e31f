// Dialogs from a template of the resource library, modal and modeless, with explicit data exchange.
// Every modal dialog here is ended by the test itself (posted commands), never by a person.
#include "test_support.h"

using namespace gly_test;

namespace {

constexpr UINT IDD_TEST = 100;
constexpr int IDC_NAME = 1000;
constexpr int IDC_OPTION = 1001;
constexpr int IDC_COUNT = 1002;

class TestDialog : public CDialog {
public:
    explicit TestDialog(CWnd* parent = nullptr, UINT id = IDD_TEST) : CDialog(id, parent) {}

    std::wstring name = L"start";
    int count = 5;
    int option = 1;
    std::function<void(TestDialog&)> onInit;

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        if (onInit)
            onInit(*this);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override
    {
        DDX_Text(dx, IDC_NAME, name);
        DDX_Text(dx, IDC_COUNT, count);
        DDX_Check(dx, IDC_OPTION, option);
    }
    std::wstring ItemText(int id) const
    {
        wchar_t text[64] = {};
        GetDlgItemTextW(m_hWnd, id, text, 64);
        return text;
    }
};

class HostWindow : public CWnd {
public:
    bool Create() { return CreateEx(0, AfxRegisterWndClass(0), L"host", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr); }
};

}  // namespace

TEST_F(FrameworkTest, ModalDialogShowsMembersAndTakesBackWhatWasTyped)
{
    TestApp app;
    HostWindow host;
    ASSERT_TRUE(host.Create());
    TestDialog dialog(&host);
    std::wstring caption, shownName, shownCount;
    bool hostDisabled = false;
    dialog.onInit = [&](TestDialog& d) {
        caption = d.GetWindowText();
        shownName = d.ItemText(IDC_NAME);
        shownCount = d.ItemText(IDC_COUNT);
        hostDisabled = !IsWindowEnabled(host.m_hWnd);
        SetDlgItemTextW(d.m_hWnd, IDC_NAME, L"typed");
        SetDlgItemTextW(d.m_hWnd, IDC_COUNT, L" 42 ");
        CheckDlgButton(d.m_hWnd, IDC_OPTION, BST_UNCHECKED);
        d.PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(caption, L"Test dialog");  // the template of the resource library
    EXPECT_EQ(shownName, L"start");
    EXPECT_EQ(shownCount, L"5");
    EXPECT_TRUE(hostDisabled);
    EXPECT_TRUE(IsWindowEnabled(host.m_hWnd));
    EXPECT_EQ(dialog.name, L"typed");
    EXPECT_EQ(dialog.count, 42);
    EXPECT_EQ(dialog.option, 0);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
    EXPECT_TRUE(app.Boxes().empty());
    host.DestroyWindow();
}

TEST_F(FrameworkTest, ModalDialogRefusesAFieldThatIsNotANumber)
{
    for (const wchar_t* bad : {L"abc", L"", L"12x", L"99999999999"}) {
        TestApp app;
        TestDialog dialog;
        dialog.onInit = [&](TestDialog& d) {
            SetDlgItemTextW(d.m_hWnd, IDC_COUNT, bad);
            d.PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            d.PostMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        };
        EXPECT_EQ(dialog.DoModal(), IDCANCEL) << "input " << testing::PrintToString(std::wstring(bad));
        EXPECT_EQ(dialog.count, 5);
        auto boxes = app.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0], L"Please enter a whole number.");
    }
}

TEST_F(FrameworkTest, ModalDialogEndsEarlyOrFailsCleanly)
{
    TestApp app;
    HostWindow host;
    ASSERT_TRUE(host.Create());

    TestDialog early(&host);
    early.onInit = [](TestDialog& d) { d.EndDialog(77); };
    EXPECT_EQ(early.DoModal(), 77);

    TestDialog missing(&host, 4242);  // no such template
    EXPECT_EQ(missing.DoModal(), -1);
    EXPECT_TRUE(IsWindowEnabled(host.m_hWnd));

    // Escape reaches the dialog through pre-translation and cancels it.
    TestDialog escaped(&host);
    escaped.onInit = [](TestDialog& d) {
        HWND edit = d.GetDlgItem(IDC_NAME);
        ::SetFocus(edit);
        PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
    };
    EXPECT_EQ(escaped.DoModal(), IDCANCEL);
    host.DestroyWindow();
}

namespace {

class ModelessDialog : public TestDialog {
public:
    ModelessDialog(bool* gone, std::wstring* lastName) : m_gone(gone), m_lastName(lastName) {}
    void PostNcDestroy() override
    {
        *m_lastName = name;
        *m_gone = true;
        delete this;
    }

private:
    bool* m_gone;
    std::wstring* m_lastName;
};

}  // namespace

TEST_F(FrameworkTest, ModelessDialogRunsInTheThreadsLoopAndEndsItself)
{
    TestApp app;
    HostWindow host;
    ASSERT_TRUE(host.Create());
    bool gone = false;
    std::wstring lastName;
    auto* dialog = new ModelessDialog(&gone, &lastName);
    ASSERT_TRUE(dialog->Create(IDD_TEST, &host));
    EXPECT_TRUE(dialog->IsWindowVisible());
    EXPECT_TRUE(IsWindowEnabled(host.m_hWnd));  // modeless: the owner stays usable
    EXPECT_EQ(dialog->ItemText(IDC_NAME), L"start");

    SetDlgItemTextW(dialog->m_hWnd, IDC_NAME, L"modeless");
    dialog->PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(PumpUntil([&] { return gone; }));
    EXPECT_EQ(lastName, L"modeless");
    host.DestroyWindow();
}
