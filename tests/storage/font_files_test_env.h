#pragma once
// A set file in the test's folder with its set tree or one set document open, for the tests of set
// documents; and a window that records the progress of font operations.
#include <memory>
#include <string>
#include <vector>

#include "core/app_messages.h"

#include "storage/com_ptr.h"
#include "storage/font_files_xml.h"
#include "storage/set_file.h"
#include "storage_test_env.h"

class FontFilesTest : public StorageTest {
protected:
    void SetUp() override
    {
        StorageTest::SetUp();
        setFile = Path(L"test.set");
        ASSERT_TRUE(CreateCompoundFile(setFile, storage.Put()));
        tree = std::make_unique<CFontFilesXML>();
        ASSERT_TRUE(tree->OpenOrCreate(kSetsStreamName, storage.Get(), TRUE, FALSE));
    }

    void TearDown() override
    {
        tree.reset();
        storage.Reset();
        StorageTest::TearDown();
    }

    // Saves the tree, closes the file and opens it again with a fresh tree.
    void Reopen()
    {
        if (tree->IsModified()) {
            ASSERT_TRUE(tree->SaveIfModified());
        }
        tree.reset();
        storage.Reset();
        BOOL readOnly = FALSE;
        ASSERT_TRUE(OpenCompoundFile(setFile, storage.Put(), readOnly, FALSE));
        tree = std::make_unique<CFontFilesXML>();
        ASSERT_TRUE(tree->OpenOrCreate(kSetsStreamName, storage.Get(), FALSE, FALSE));
    }

    bool StreamExists(const std::wstring& name)
    {
        ComPtr<IStream> stream;
        return SUCCEEDED(storage->OpenStream(name.c_str(), nullptr, kStgOpenRead, 0, stream.Put()));
    }

    // Replaces the tree's content with `xml` (no namespace), as if read from the file.
    void LoadTreeXml(const std::wstring& xml)
    {
        Bstr text(xml);
        VARIANT_BOOL ok = VARIANT_FALSE;
        ASSERT_EQ(tree->Xml().Document()->loadXML(text.Get(), &ok), S_OK);
        ComPtr<IXMLDOMElement> root;
        tree->Xml().Document()->get_documentElement(root.Put());
        tree->Xml().SetRoot(root.Get());
        tree->SetModified(TRUE);
    }

    // The text of the child `tag` of the set node at `path`; "<none>" when there is no such child.
    std::wstring NodeField(const CWordArray& path, const wchar_t* tag)
    {
        ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(tree->SelectNodeByIdPath(path));
        std::wstring text;
        if (!node || !XmlGetChildText(node.Get(), text, tag))
            return L"<none>";
        return text;
    }

    std::wstring setFile;
    ComPtr<IStorage> storage;
    std::unique_ptr<CFontFilesXML> tree;
};

// A set file "fonts.set" with the set document "set1.xml" open in it.
class SetDocumentTest : public StorageTest {
protected:
    void SetUp() override
    {
        StorageTest::SetUp();
        setFile = Path(L"fonts.set");
        ASSERT_TRUE(CreateCompoundFile(setFile, storage.Put()));
        owned = std::make_unique<CFontFilesXML>();
        ASSERT_TRUE(document().OpenOrCreate(L"set1.xml", storage.Get(), TRUE, FALSE));
    }
    void TearDown() override
    {
        owned.reset();
        storage.Reset();
        StorageTest::TearDown();
    }

    CFontFilesXML& document() { return *owned; }

    std::wstring setFile;
    ComPtr<IStorage> storage;
    // Made after COM is up: the document creates its DOM when constructed.
    std::unique_ptr<CFontFilesXML> owned;
};

// A message-only window that records every font-operation progress message it gets as "first|second".
class FontOpProgressLog {
public:
    FontOpProgressLog()
    {
        window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        if (window) {
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&seen));
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc));
        }
    }
    ~FontOpProgressLog()
    {
        if (window)
            DestroyWindow(window);
    }
    FontOpProgressLog(const FontOpProgressLog&) = delete;
    FontOpProgressLog& operator=(const FontOpProgressLog&) = delete;

    std::vector<std::wstring> seen;
    HWND window = nullptr;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_FONTOP_PROGRESS) {
            auto* seen = reinterpret_cast<std::vector<std::wstring>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            seen->push_back(std::wstring(reinterpret_cast<const wchar_t*>(wParam)) + L"|" +
                            reinterpret_cast<const wchar_t*>(lParam));
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
};
