#include <atomic>
#include <set>
#include <thread>

#include "core/helpers.h"
#include "storage/disc_catalogue.h"
#include "storage/font_files_tags.h"
#include "font_files_test_env.h"

namespace {

WORD IdOf(IXMLDOMNode* node)
{
    Variant value;
    if (!CFontFilesXML::GetNodeAttribute(node, L"d", &value) || value.Get().vt != VT_BSTR)
        return 0xFFFF;
    return static_cast<WORD>(_wtoi(value.Get().bstrVal));
}

std::wstring NodeXml(IXMLDOMNode* node)
{
    Bstr xml;
    node->get_xml(xml.Put());
    return xml.Str();
}

}  // namespace

TEST(FontFilesTags, TableAndMapAgree)
{
    EXPECT_STREQ(FontFilesTagTable[0], L"a");
    EXPECT_STREQ(FontFilesTagTable[25], L"z");
    EXPECT_STREQ(FontFilesTagTable[26], L"a0");
    EXPECT_STREQ(FontFilesTagTable[36], L"b0");
    EXPECT_STREQ(FontFilesTagTable[46], L"c0");
    EXPECT_STREQ(FontFilesTagTable[56], L"d0");
    EXPECT_STREQ(FontFilesTagTable[73], L"e7");
    for (int i = 0; i < kFontFilesTagCount; ++i)
        EXPECT_EQ(LookupTag(FontFilesTagTable[i]), i) << i;
    EXPECT_EQ(LookupTag(L"e8"), -1);
    EXPECT_EQ(LookupTag(L"B"), -1);
    EXPECT_EQ(LookupTag(L"b1xyz", 2), 37);
    EXPECT_EQ(LookupTag(nullptr), -1);
}

TEST(IdPaths, SameAndPrefix)
{
    EXPECT_TRUE(IsSameIdPath({1, 2}, {1, 2}));
    EXPECT_FALSE(IsSameIdPath({1, 2}, {1}));
    EXPECT_FALSE(IsSameIdPath({1, 2}, {2, 1}));
    EXPECT_TRUE(IsIdPathPrefix({1, 2, 3}, {1, 2}));
    EXPECT_TRUE(IsIdPathPrefix({1}, {}));
    EXPECT_FALSE(IsIdPathPrefix({1, 2}, {1, 2}));
    EXPECT_FALSE(IsIdPathPrefix({1, 2}, {2}));
    EXPECT_FALSE(IsIdPathPrefix({}, {}));
}

using FontFilesXmlTest = FontFilesTest;

TEST_F(FontFilesXmlTest, CreatesFindsAndAddressesSetsAndKeepsThemOnDisc)
{
    CWordArray a, b, a1;
    EXPECT_EQ(tree->CreateNode(L"Alpha", a), 1);
    EXPECT_EQ(tree->CreateNode(L"Beta", b), 2);
    a1 = a;
    EXPECT_EQ(tree->CreateNode(L"Inner", a1), 1);
    EXPECT_EQ(a1, (CWordArray{1, 1}));
    CWordArray missing{9};
    EXPECT_EQ(tree->CreateNode(L"Lost", missing), 0);
    EXPECT_EQ(missing, (CWordArray{9}));
    CWordArray zero;
    EXPECT_EQ(tree->CreateNode(L"Installed", zero, TRUE), 0);
    EXPECT_EQ(zero, (CWordArray{0}));

    Reopen();
    EXPECT_EQ(tree->GetFormatVersion(), 4);
    EXPECT_EQ(tree->GetFormatVersion(&a1), 4);
    CWordArray nowhere{7, 7};
    EXPECT_EQ(tree->GetFormatVersion(&nowhere), 1);

    ComPtr<IXMLDOMNode> root = ComPtr<IXMLDOMNode>::Attach(tree->SelectNodeByIdPath({}));
    ASSERT_TRUE(root);
    EXPECT_EQ(NodeXml(root.Get()).substr(0, 3), L"<a>");
    ComPtr<IXMLDOMNode> inner = ComPtr<IXMLDOMNode>::Attach(tree->SelectNodeByIdPath({1, 1}));
    ASSERT_TRUE(inner);
    CWordArray path;
    EXPECT_TRUE(tree->GetNodeIdPath(inner.Get(), path));
    EXPECT_EQ(path, (CWordArray{1, 1}));
    EXPECT_EQ(NodeField({1, 1}, L"e"), L"Inner");
    EXPECT_EQ(NodeField({1, 1}, L"h"), L"0");
    EXPECT_EQ(NodeField({1, 1}, L"m"), L"4");
    const std::wstring stamp = NodeField({1, 1}, L"f");
    EXPECT_FALSE(stamp.empty());
    EXPECT_EQ(stamp.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos) << stamp;
    EXPECT_FALSE(tree->SelectNodeByIdPath({2, 1}));

    CWordArray found;
    EXPECT_TRUE(tree->FindChildByName(L"beta", {}, found));
    EXPECT_EQ(found, (CWordArray{2}));
    EXPECT_TRUE(tree->FindChildByName(L"INNER", {1}, found));
    EXPECT_EQ(found, (CWordArray{1, 1}));
    EXPECT_FALSE(tree->FindChildByName(L"Inner", {}, found));
    EXPECT_FALSE(tree->FindChildByName(L"Alpha", {5}, found));

    std::wstring names;
    tree->GetNodeNamePath(names, {1, 1}, L" > ");
    EXPECT_EQ(names, L"Alpha > Inner");
    tree->GetNodeNamePath(names, {1, 8, 1}, L" > ");
    EXPECT_EQ(names, L"Alpha");

    EXPECT_TRUE(tree->HasChildNodes());
    EXPECT_TRUE(tree->HasChildNodes(&a));
    EXPECT_FALSE(tree->HasChildNodes(&b));
    ComPtr<IXMLDOMNodeList> list;
    EXPECT_EQ(tree->SelectChildNodes(list.Put(), TRUE), 3);
    EXPECT_EQ(tree->SelectChildNodes(list.Put(), FALSE), 4);
    EXPECT_EQ(tree->SelectChildNodes(list.Put(), TRUE, inner.Get()), 0);
}

TEST_F(FontFilesXmlTest, NextFreeIdNeverHandsOutATakenId)
{
    struct Case {
        std::vector<int> ids;
        WORD expected;
    };
    const Case cases[] = {
        {{}, 1},
        {{1, 4}, 5},
        {{2, 3}, 4},
        {{65535}, 1},
        {{1, 2, 65535}, 3},
        {{65534}, 65535},
    };
    for (const Case& c : cases) {
        std::wstring xml = L"<a><m>4</m>";
        for (int id : c.ids)
            xml += L"<b d=\"" + std::to_wstring(id) + L"\"/>";
        LoadTreeXml(xml + L"</a>");
        ComPtr<IXMLDOMNode> root = ComPtr<IXMLDOMNode>::Attach(tree->SelectNodeByIdPath({}));
        EXPECT_EQ(tree->NextFreeId(root.Get()), c.expected) << c.ids.size();
    }
    EXPECT_EQ(tree->NextFreeId(nullptr), 1);

    // Every id from 1 to 65535 taken: nothing is left, and no set is made.
    std::wstring xml = L"<a><m>4</m>";
    for (int id = 1; id <= 65535; ++id)
        xml += L"<b d=\"" + std::to_wstring(id) + L"\"/>";
    LoadTreeXml(xml + L"</a>");
    ComPtr<IXMLDOMNode> root = ComPtr<IXMLDOMNode>::Attach(tree->SelectNodeByIdPath({}));
    EXPECT_EQ(tree->NextFreeId(root.Get()), 0);
    CWordArray path;
    EXPECT_EQ(tree->CreateNode(L"One too many", path), 0);
    EXPECT_TRUE(path.empty());
    ComPtr<IXMLDOMNodeList> list;
    EXPECT_EQ(tree->SelectChildNodes(list.Put(), TRUE), 65535);
}

TEST_F(FontFilesXmlTest, ChildFieldsAreWrittenRemovedAndKeptAsStored)
{
    CWordArray path;
    ASSERT_EQ(tree->CreateNode(L"Set", path), 1);
    ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(tree->SelectNodeByIdPath(path));

    // An empty text never creates a child, and removes one that exists.
    EXPECT_FALSE(tree->GetOrCreateChild(node.Get(), kTagSetSource, L""));
    EXPECT_FALSE(tree->GetOrCreateChild(node.Get(), kTagSetSource, nullptr));
    EXPECT_EQ(NodeField(path, L"c"), L"<none>");
    EXPECT_TRUE(tree->GetOrCreateChild(node.Get(), kTagSetSource, L"C:\\Fonts"));
    EXPECT_EQ(NodeField(path, L"c"), L"C:\\Fonts");
    EXPECT_TRUE(tree->GetOrCreateChild(node.Get(), kTagSetSource, L""));
    EXPECT_EQ(NodeField(path, L"c"), L"<none>");

    struct Case {
        int tag;
        const wchar_t* text;
        BOOL guard;
        bool cdata;
    };
    const Case cases[] = {
        {kTagSetName, L"A&B", FALSE, true},
        {kTagFileDate, L" leading", TRUE, true},
        {kTagGlyphs, L" leading", FALSE, false},
        {kTagKerningPairs, L"a]]>b<c>", FALSE, true},
        {kTagFileSize, L"plain", TRUE, false},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(tree->GetOrCreateChild(node.Get(), c.tag, c.text, nullptr, nullptr, c.guard)) << c.text;
        ComPtr<IXMLDOMNode> child;
        Bstr query(TagName(c.tag));
        node->selectSingleNode(query.Get(), child.Put());
        ASSERT_TRUE(child);
        EXPECT_EQ(NodeXml(child.Get()).find(L"<![CDATA[") != std::wstring::npos, c.cdata) << c.text;
    }
    Reopen();
    for (const Case& c : cases)
        EXPECT_EQ(NodeField(path, TagName(c.tag)), c.text);

    EXPECT_FALSE(tree->IsNodeActive(path));
    EXPECT_TRUE(tree->SetNodeValueH(path, 17));
    EXPECT_EQ(tree->GetNodeValueH(path), 17);
    EXPECT_FALSE(tree->SetNodeValueH({4}, 1));
    EXPECT_EQ(tree->GetNodeValueH({4}), 0);
    EXPECT_TRUE(tree->IncrementNodeCounter(path));
    EXPECT_TRUE(tree->IncrementNodeCounter(path));
    EXPECT_EQ(NodeField(path, L"l"), L"2");
    EXPECT_FALSE(tree->IncrementNodeCounter({4}));
}

TEST_F(FontFilesXmlTest, MovingASetMovesItsStreamAndItsSubSetsStreams)
{
    for (int i = 1; i <= 5; ++i) {
        CWordArray top;
        ASSERT_EQ(tree->CreateNode(L"Set " + std::to_wstring(i), top), i);
    }
    CWordArray child{3}, five1{5}, five2{5};
    tree->CreateNode(L"Three one", child);
    tree->CreateNode(L"Five one", five1);
    tree->CreateNode(L"Five two", five2);
    for (const CWordArray& path : {CWordArray{3}, CWordArray{3, 1}}) {
        std::wstring name;
        CFontFilesXML::MakeSetStreamName(path, name);
        CFontFilesXML set;
        ASSERT_TRUE(set.OpenOrCreate(name, storage.Get(), TRUE, FALSE));
        CFontItemInfo record;
        record.storedPath = name + L".ttf";
        record.kind = KindTrueType;
        ASSERT_TRUE(set.AppendFontRecord(record, L"C:\\Fonts", nullptr, FALSE));
        ASSERT_TRUE(set.SaveIfModified());
    }

    CWordArray moving{3};
    ASSERT_TRUE(tree->MoveNode(moving, {5}, storage.Get()));
    EXPECT_EQ(moving, (CWordArray{5, 3}));
    Reopen();
    EXPECT_FALSE(tree->SelectNodeByIdPath({3}));
    EXPECT_EQ(NodeField({5, 3}, L"e"), L"Set 3");
    EXPECT_EQ(NodeField({5, 3, 1}, L"e"), L"Three one");
    EXPECT_FALSE(StreamExists(L"set3.xml"));
    EXPECT_FALSE(StreamExists(L"set3-1.xml"));
    for (const auto& [name, stored] : {std::pair{L"set5-3.xml", L"set3.xml.ttf"}, {L"set5-3-1.xml", L"set3-1.xml.ttf"}}) {
        CFontFilesXML set;
        ASSERT_TRUE(set.OpenOrCreate(name, storage.Get(), FALSE, TRUE)) << name;
        ComPtr<IXMLDOMNode> record = ComPtr<IXMLDOMNode>::Attach(set.SelectRecordByPosition(1));
        CFontItemInfo read;
        ASSERT_TRUE(CFontFilesXML::ReadFontRecord(record.Get(), read, 1));
        EXPECT_EQ(read.storedPath, stored);
    }

    // A set without a stream of its own moves all the same.
    CWordArray two{2};
    EXPECT_TRUE(tree->MoveNode(two, {1}, storage.Get()));
    EXPECT_EQ(two, (CWordArray{1, 1}));
    // Below itself: refused, nothing changes.
    CWordArray self{5};
    EXPECT_FALSE(tree->MoveNode(self, {5, 3}, storage.Get()));
    EXPECT_EQ(self, (CWordArray{5}));
    CWordArray none{9};
    EXPECT_FALSE(tree->MoveNode(none, {1}, storage.Get()));
}

namespace {
// The set file with one rename that fails, as a full or damaged file would fail it.
class RenameFailingStorage : public IStorage {
public:
    RenameFailingStorage(IStorage* inner, std::wstring failingName) : inner_(inner), failing_(std::move(failingName)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IStorage)) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateStream(const OLECHAR* a, DWORD b, DWORD c, DWORD d, IStream** e) override
    {
        return inner_->CreateStream(a, b, c, d, e);
    }
    HRESULT STDMETHODCALLTYPE OpenStream(const OLECHAR* a, void* b, DWORD c, DWORD d, IStream** e) override
    {
        return inner_->OpenStream(a, b, c, d, e);
    }
    HRESULT STDMETHODCALLTYPE CreateStorage(const OLECHAR* a, DWORD b, DWORD c, DWORD d, IStorage** e) override
    {
        return inner_->CreateStorage(a, b, c, d, e);
    }
    HRESULT STDMETHODCALLTYPE OpenStorage(const OLECHAR* a, IStorage* b, DWORD c, SNB d, DWORD e, IStorage** f) override
    {
        return inner_->OpenStorage(a, b, c, d, e, f);
    }
    HRESULT STDMETHODCALLTYPE CopyTo(DWORD a, const IID* b, SNB c, IStorage* d) override { return inner_->CopyTo(a, b, c, d); }
    HRESULT STDMETHODCALLTYPE MoveElementTo(const OLECHAR* a, IStorage* b, const OLECHAR* c, DWORD d) override
    {
        return inner_->MoveElementTo(a, b, c, d);
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD a) override { return inner_->Commit(a); }
    HRESULT STDMETHODCALLTYPE Revert() override { return inner_->Revert(); }
    HRESULT STDMETHODCALLTYPE EnumElements(DWORD a, void* b, DWORD c, IEnumSTATSTG** d) override
    {
        return inner_->EnumElements(a, b, c, d);
    }
    HRESULT STDMETHODCALLTYPE DestroyElement(const OLECHAR* a) override { return inner_->DestroyElement(a); }
    HRESULT STDMETHODCALLTYPE RenameElement(const OLECHAR* from, const OLECHAR* to) override
    {
        if (failing_ == to)
            return STG_E_INSUFFICIENTMEMORY;
        return inner_->RenameElement(from, to);
    }
    HRESULT STDMETHODCALLTYPE SetElementTimes(const OLECHAR* a, const FILETIME* b, const FILETIME* c, const FILETIME* d) override
    {
        return inner_->SetElementTimes(a, b, c, d);
    }
    HRESULT STDMETHODCALLTYPE SetClass(REFCLSID a) override { return inner_->SetClass(a); }
    HRESULT STDMETHODCALLTYPE SetStateBits(DWORD a, DWORD b) override { return inner_->SetStateBits(a, b); }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* a, DWORD b) override { return inner_->Stat(a, b); }

private:
    IStorage* inner_;
    std::wstring failing_;
};
}  // namespace

TEST_F(FontFilesXmlTest, AFailedStreamRenameLeavesTreeAndStreamsAsTheyWere)
{
    CWordArray mover, child, target;
    tree->CreateNode(L"Mover", mover);
    child = mover;
    tree->CreateNode(L"Child", child);
    tree->CreateNode(L"Target", target);
    for (const wchar_t* name : {L"set1.xml", L"set1-1.xml"}) {
        CFontFilesXML set;
        ASSERT_TRUE(set.OpenOrCreate(name, storage.Get(), TRUE, FALSE));
        CFontItemInfo record;
        record.storedPath = name;
        ASSERT_TRUE(set.AppendFontRecord(record, L"C:\\Fonts", nullptr, FALSE));
        ASSERT_TRUE(set.SaveIfModified());
    }
    // The sub-set's stream is the one that does not move, after the set's own stream did.
    RenameFailingStorage failing(storage.Get(), L"set2-1-1.xml");
    CWordArray path{1};
    EXPECT_FALSE(tree->MoveNode(path, {2}, &failing));
    EXPECT_EQ(path, (CWordArray{1}));
    Reopen();
    EXPECT_EQ(NodeField({1}, L"e"), L"Mover");
    EXPECT_EQ(NodeField({1, 1}, L"e"), L"Child");
    EXPECT_FALSE(tree->HasChildNodes(&target));
    EXPECT_TRUE(StreamExists(L"set1.xml"));
    EXPECT_TRUE(StreamExists(L"set1-1.xml"));
    EXPECT_FALSE(StreamExists(L"set2-1.xml"));
    EXPECT_FALSE(StreamExists(L"set2-1-1.xml"));

    // The same move on a sound file goes through.
    EXPECT_TRUE(tree->MoveNode(path, {2}, storage.Get()));
    EXPECT_TRUE(StreamExists(L"set2-1-1.xml"));
}

TEST_F(FontFilesXmlTest, DeletingASetDestroysItsStreamsAndItsSubSets)
{
    CWordArray one, inner{1}, two;
    tree->CreateNode(L"One", one);
    tree->CreateNode(L"Inner", inner);
    tree->CreateNode(L"Two", two);
    for (const CWordArray& path : {one, inner, two}) {
        std::wstring name;
        CFontFilesXML::MakeSetStreamName(path, name);
        CFontFilesXML set;
        ASSERT_TRUE(set.OpenOrCreate(name, storage.Get(), TRUE, FALSE));
        CFontItemInfo record;
        record.storedPath = L"x.ttf";
        set.AppendFontRecord(record, L"C:\\", nullptr, FALSE);
        ASSERT_TRUE(set.SaveIfModified());
    }
    EXPECT_TRUE(tree->DeleteNode({1}, storage.Get(), nullptr, nullptr));
    EXPECT_TRUE(tree->DeleteNode({7}, storage.Get(), nullptr, nullptr));
    Reopen();
    EXPECT_FALSE(tree->SelectNodeByIdPath({1}));
    EXPECT_TRUE(ComPtr<IXMLDOMNode>::Attach(tree->SelectNodeByIdPath({2})));
    EXPECT_FALSE(StreamExists(L"set1.xml"));
    EXPECT_FALSE(StreamExists(L"set1-1.xml"));
    EXPECT_TRUE(StreamExists(L"set2.xml"));
}

TEST_F(FontFilesXmlTest, SourceFolderOnADiscFollowsTheDiscToAnotherDrive)
{
    struct Drives {
        wchar_t cdLetter = L'E';
    } drives;
    DiscDriveProbe probe;
    probe.logicalDrives = [] { return std::wstring(L"C:\\\0E:\\\0F:\\\0", 12); };
    probe.driveType = [&](const wchar_t* root) -> UINT {
        return towupper(root[0]) == drives.cdLetter ? DRIVE_CDROM : DRIVE_FIXED;
    };
    probe.readSerial = [](wchar_t, DWORD& serial) {
        serial = 0x1234ABCD;
        return TRUE;
    };
    SetDiscDriveProbe(&probe);

    CWordArray cd, fixed;
    tree->CreateNode(L"On disc", cd);
    tree->CreateNode(L"On disk", fixed);
    EXPECT_TRUE(tree->SetNodeSourcePath(cd, L"E:\\Fonts"));
    EXPECT_TRUE(tree->SetNodeSourcePath(fixed, L"C:\\Fonts"));
    EXPECT_FALSE(tree->SetNodeSourcePath({9}, L"C:\\Fonts"));
    EXPECT_EQ(NodeField(cd, L"o"), L"1234ABCD");
    EXPECT_EQ(NodeField(fixed, L"o"), L"<none>");

    drives.cdLetter = L'F';
    g_discCollection.Fill();
    std::wstring source;
    tree->GetNodeSourcePath(source, cd);
    EXPECT_EQ(source, L"F:\\Fonts");
    tree->GetNodeSourcePath(source, fixed);
    EXPECT_EQ(source, L"C:\\Fonts");

    // Moved off the disc: the serial goes with the old folder.
    EXPECT_TRUE(tree->SetNodeSourcePath(cd, L"C:\\Copied"));
    EXPECT_EQ(NodeField(cd, L"o"), L"<none>");
    EXPECT_TRUE(tree->SetNodeSourcePath(cd, L""));
    EXPECT_EQ(NodeField(cd, L"c"), L"<none>");

    SetDiscDriveProbe(nullptr);
    g_discCollection.clear();
}

TEST_F(FontFilesXmlTest, ThreadsCreatingSetsTogetherGetDistinctIds)
{
    const int kThreads = 4, kEach = 40;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            for (int i = 0; i < kEach; ++i) {
                CWordArray path;
                if (tree->CreateNode(L"Set", path) == 0)
                    ++failures;
            }
            CoUninitialize();
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    ComPtr<IXMLDOMNodeList> list;
    const long count = tree->SelectChildNodes(list.Put(), TRUE);
    EXPECT_EQ(count, kThreads * kEach);
    std::set<WORD> ids;
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> node;
        list->get_item(i, node.Put());
        ids.insert(IdOf(node.Get()));
    }
    EXPECT_EQ(ids.size(), static_cast<size_t>(kThreads * kEach));
}
