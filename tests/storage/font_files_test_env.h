#pragma once
// A set file in the test's folder with its set tree open, for the tests of set documents.
#include <string>

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
