#include <atomic>
#include <thread>

#include "core/helpers.h"
#include "storage/com_ptr.h"
#include "storage/font_files_xml.h"
#include "storage/msxml_ids.h"
#include "storage/set_file.h"
#include "storage_test_env.h"

namespace {

std::vector<std::wstring> StreamNames(IStorage* storage)
{
    std::vector<std::wstring> names;
    ComPtr<IEnumSTATSTG> items;
    if (FAILED(storage->EnumElements(0, nullptr, 0, items.Put())))
        return names;
    STATSTG stat;
    ULONG fetched = 0;
    while (items->Next(1, &stat, &fetched) == S_OK && fetched == 1) {
        names.push_back(stat.pwcsName);
        CoTaskMemFree(stat.pwcsName);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadStream(IStorage* storage, const wchar_t* name)
{
    ComPtr<IStream> stream;
    if (FAILED(storage->OpenStream(name, nullptr, kStgOpenRead, 0, stream.Put())))
        return {};
    std::string bytes;
    char buffer[4096];
    ULONG got = 0;
    while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &got)) && got)
        bytes.append(buffer, got);
    return bytes;
}

bool WriteStream(IStorage* storage, const wchar_t* name, const std::string& bytes)
{
    ComPtr<IStream> stream;
    if (FAILED(storage->CreateStream(name, kStgCreateMode, 0, 0, stream.Put())))
        return false;
    ULONG written = 0;
    return SUCCEEDED(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written)) && written == bytes.size();
}

// A set-tree document with one named set, as the set tree would leave it.
void WriteTree(CFontFilesXML& document, const wchar_t* setName)
{
    document.Xml().SetString(L"b/e", setName);
}

std::vector<std::wstring> FilesMatching(const std::wstring& folder, const wchar_t* pattern)
{
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\" + pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return found;
    do
        found.push_back(folder + L"\\" + data.cFileName);
    while (FindNextFileW(find, &data));
    FindClose(find);
    return found;
}

}  // namespace

class SetFileTest : public StorageTest {
protected:
    // A closed set file with a tree naming `setName` and one set stream.
    void MakeSetFile(const std::wstring& path, const wchar_t* setName)
    {
        ComPtr<IStorage> storage;
        ASSERT_TRUE(CreateCompoundFile(path, storage.Put()));
        CFontFilesXML tree;
        ASSERT_TRUE(tree.OpenOrCreate(kSetsStreamName, storage.Get(), TRUE, FALSE));
        WriteTree(tree, setName);
        ASSERT_TRUE(tree.SaveIfModified());
        CFontFilesXML set;
        std::wstring name;
        CFontFilesXML::MakeSetStreamName({3, 1}, name);
        ASSERT_TRUE(set.OpenOrCreate(name, storage.Get(), TRUE, FALSE));
        ASSERT_TRUE(set.SaveIfModified());
    }
};

TEST_F(SetFileTest, SetStreamNamesJoinTheIdPath)
{
    struct Case {
        CWordArray path;
        const wchar_t* name;
    } const cases[] = {
        {{12, 3, 5}, L"set12-3-5.xml"}, {{7}, L"set7.xml"}, {{}, L"set.xml"}, {{0, 65535}, L"set0-65535.xml"},
    };
    for (const Case& c : cases) {
        std::wstring name;
        EXPECT_TRUE(CFontFilesXML::MakeSetStreamName(c.path, name));
        EXPECT_EQ(name, c.name);
    }
}

TEST_F(SetFileTest, WrittenClosedReopenedAndReadBack)
{
    const std::wstring path = Path(L"my.set");
    MakeSetFile(path, L"Sans & Serif");

    ComPtr<IStorage> storage;
    BOOL readOnly = TRUE;
    ASSERT_TRUE(OpenCompoundFile(path, storage.Put(), readOnly, TRUE));
    EXPECT_FALSE(readOnly);
    EXPECT_EQ(StreamNames(storage.Get()), (std::vector<std::wstring>{L"set3-1.xml", L"sets"}));

    CFontFilesXML tree;
    ASSERT_TRUE(tree.OpenOrCreate(kSetsStreamName, storage.Get(), FALSE, FALSE));
    EXPECT_EQ(tree.Xml().GetString(L"b/e"), L"Sans & Serif");
    EXPECT_EQ(tree.Xml().GetInt(L"m", 0), 4);
    EXPECT_FALSE(tree.Xml().IsModified());

    CFontFilesXML set;
    ASSERT_TRUE(set.OpenOrCreate(L"set3-1.xml", storage.Get(), FALSE, FALSE));
    std::string setText = ReadStream(storage.Get(), L"set3-1.xml");
    EXPECT_TRUE(Contains(setText, "urn:Morvandel-GLY-FontFiles")) << setText;

    CFontFilesXML missing;
    EXPECT_FALSE(missing.OpenOrCreate(L"set9.xml", storage.Get(), FALSE, FALSE));
    EXPECT_TRUE(messages.empty());  // a missing stream is no error

    // Saving over the stream again leaves no scratch streams behind, not even those that an
    // interrupted save left.
    ASSERT_TRUE(WriteStream(storage.Get(), L"~gly-new.tmp", "stale"));
    ASSERT_TRUE(WriteStream(storage.Get(), L"~gly-old.tmp", "stale"));
    tree.Xml().SetString(L"b/e", L"Renamed");
    ASSERT_TRUE(tree.SaveIfModified());
    EXPECT_FALSE(tree.Xml().IsModified());
    EXPECT_EQ(StreamNames(storage.Get()), (std::vector<std::wstring>{L"set3-1.xml", L"sets"}));
    storage.Reset();

    ASSERT_TRUE(OpenCompoundFile(path, storage.Put(), readOnly, TRUE));
    CFontFilesXML reread;
    ASSERT_TRUE(reread.OpenOrCreate(kSetsStreamName, storage.Get(), FALSE, FALSE));
    EXPECT_EQ(reread.Xml().GetString(L"b/e"), L"Renamed");
}

TEST_F(SetFileTest, SetStreamsAreRenamedOverOthersAndDeleted)
{
    ComPtr<IStorage> storage;
    ASSERT_TRUE(CreateCompoundFile(Path(L"r.set"), storage.Put()));
    ASSERT_TRUE(WriteStream(storage.Get(), L"set1.xml", "one"));
    ASSERT_TRUE(WriteStream(storage.Get(), L"set2.xml", "two"));
    CFontFilesXML tree;
    EXPECT_EQ(tree.RenameSetStream({1}, {2}, storage.Get()), S_OK);
    EXPECT_TRUE(tree.Xml().IsModified());
    EXPECT_EQ(StreamNames(storage.Get()), (std::vector<std::wstring>{L"set2.xml"}));
    EXPECT_EQ(ReadStream(storage.Get(), L"set2.xml"), "one");

    CFontFilesXML other;
    EXPECT_EQ(other.DeleteSetStream({2}, storage.Get()), S_OK);
    EXPECT_TRUE(other.Xml().IsModified());
    EXPECT_TRUE(StreamNames(storage.Get()).empty());
    CFontFilesXML again;
    EXPECT_NE(again.DeleteSetStream({2}, storage.Get()), S_OK);
    EXPECT_TRUE(again.Xml().IsModified());
}

TEST_F(SetFileTest, SaveIfModifiedWritesOnlyWhenEverythingIsThere)
{
    ComPtr<IStorage> storage;
    ASSERT_TRUE(CreateCompoundFile(Path(L"s.set"), storage.Put()));
    CFontFilesXML tree;
    ASSERT_TRUE(tree.OpenOrCreate(kSetsStreamName, storage.Get(), TRUE, FALSE));
    ASSERT_TRUE(tree.SaveIfModified());
    const std::string saved = ReadStream(storage.Get(), L"sets");

    EXPECT_FALSE(tree.SaveIfModified());  // not modified
    WriteTree(tree, L"changed");
    tree.readOnly = TRUE;
    EXPECT_FALSE(tree.SaveIfModified());
    tree.readOnly = FALSE;
    std::wstring name = tree.streamName;
    tree.streamName.clear();
    EXPECT_FALSE(tree.SaveIfModified());
    tree.streamName = name;
    IStorage* attached = tree.storage;
    tree.storage = nullptr;
    EXPECT_FALSE(tree.SaveIfModified());
    EXPECT_EQ(ReadStream(storage.Get(), L"sets"), saved);
    EXPECT_TRUE(tree.Xml().IsModified());

    // An explicit target works without an attached storage.
    EXPECT_TRUE(tree.SaveIfModified(attached));
    EXPECT_NE(ReadStream(storage.Get(), L"sets"), saved);
}

TEST_F(SetFileTest, AReadOnlyFileOpensReadOnlyAndIsNeverWritten)
{
    const std::wstring path = Path(L"ro.set");
    MakeSetFile(path, L"Original");
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string before = ReadBytes(path);

    ComPtr<IStorage> storage;
    BOOL readOnly = FALSE;
    ASSERT_TRUE(OpenCompoundFile(path, storage.Put(), readOnly, TRUE));
    EXPECT_TRUE(readOnly);
    CFontFilesXML tree;
    ASSERT_TRUE(LoadSetTree(tree, storage.Get(), readOnly, path, true));
    EXPECT_TRUE(tree.readOnly);
    WriteTree(tree, L"Changed in memory");
    EXPECT_FALSE(tree.SaveIfModified());
    // Even a direct save cannot reach a file opened for reading.
    EXPECT_FALSE(SaveXmlDocumentToStream(tree.Xml().Document(), kSetsStreamName, storage.Get()));
    EXPECT_EQ(messages.size(), 1u);
    storage.Reset();
    EXPECT_EQ(ReadBytes(path), before);
}

TEST_F(SetFileTest, TheTreeFallsBackOnItsPeriodicCopy)
{
    const std::wstring path = Path(L"dbs.set");
    {
        ComPtr<IStorage> storage;
        ASSERT_TRUE(CreateCompoundFile(path, storage.Put()));
        CFontFilesXML tree;
        ASSERT_TRUE(tree.OpenOrCreate(kSetsStreamName, storage.Get(), TRUE, FALSE));
        WriteTree(tree, L"From the copy");
        ASSERT_TRUE(SaveXmlDocumentToStream(tree.Xml().Document(), kDbsStreamName, storage.Get()));
        ASSERT_EQ(storage->DestroyElement(L"sets"), S_OK);
        storage->Commit(STGC_DEFAULT);
    }
    ComPtr<IStorage> storage;
    BOOL readOnly = TRUE;
    ASSERT_TRUE(OpenCompoundFile(path, storage.Put(), readOnly, TRUE));
    CFontFilesXML tree;
    ASSERT_TRUE(LoadSetTree(tree, storage.Get(), readOnly, path, false));
    EXPECT_EQ(tree.Xml().GetString(L"b/e"), L"From the copy");
    EXPECT_EQ(tree.streamName, L"sets");
    EXPECT_EQ(StreamNames(storage.Get()), (std::vector<std::wstring>{L"dbs", L"sets"}));
    EXPECT_TRUE(messages.empty());
}

TEST_F(SetFileTest, ACorruptTreeIsBackedUpBeforeANewOneIsStarted)
{
    const std::wstring path = Path(L"corrupt.set");
    MakeSetFile(path, L"Lost?");
    {
        ComPtr<IStorage> storage;
        BOOL readOnly = FALSE;
        ASSERT_TRUE(OpenCompoundFile(path, storage.Put(), readOnly, TRUE));
        ASSERT_TRUE(WriteStream(storage.Get(), L"sets", "<a><m>4</m><b><e>Lost?</e></b"));
    }
    // Where the main frame opens a file: a message, and nothing is written.
    {
        ComPtr<IStorage> storage;
        BOOL readOnly = FALSE;
        ASSERT_TRUE(OpenCompoundFile(path, storage.Put(), readOnly, TRUE));
        CFontFilesXML tree;
        EXPECT_FALSE(LoadSetTree(tree, storage.Get(), readOnly, path, false));
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find(path), std::wstring::npos);
        EXPECT_EQ(ReadStream(storage.Get(), L"sets"), "<a><m>4</m><b><e>Lost?</e></b");
        EXPECT_TRUE(FilesMatching(folder, L"*.set.bak").empty());
    }
    // At start-up: the whole file is copied aside, then a new tree begins.
    messages.clear();
    std::wstring opened = path;
    ComPtr<IStorage> storage;
    BOOL readOnly = TRUE;
    CFontFilesXML tree;
    ASSERT_TRUE(OpenCurrentSetFile(opened, folder, storage.Put(), readOnly, tree));
    EXPECT_EQ(opened, path);
    EXPECT_FALSE(readOnly);
    EXPECT_TRUE(tree.HasRoot());
    EXPECT_EQ(tree.Xml().GetString(L"b/e"), L"");
    ASSERT_EQ(messages.size(), 1u);
    std::vector<std::wstring> backups = FilesMatching(folder, L"corrupt*.set.bak");
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_NE(messages[0].find(backups[0]), std::wstring::npos) << messages[0];
    EXPECT_EQ(backups[0].size(), path.size() - 4 + 14 + 8);  // name, stamp, ".set.bak"

    ComPtr<IStorage> backup;
    BOOL backupReadOnly = FALSE;
    ASSERT_TRUE(OpenCompoundFile(backups[0], backup.Put(), backupReadOnly, TRUE));
    EXPECT_EQ(ReadStream(backup.Get(), L"sets"), "<a><m>4</m><b><e>Lost?</e></b");
    EXPECT_EQ(StreamNames(backup.Get()), (std::vector<std::wstring>{L"set3-1.xml", L"sets"}));
}

TEST_F(SetFileTest, DamagedFilesGiveAClearErrorAndAreLeftAlone)
{
    const std::wstring good = Path(L"good.set");
    MakeSetFile(good, L"x");
    const std::string goodBytes = ReadBytes(good);
    struct Case {
        const wchar_t* name;
        std::string bytes;
    } const cases[] = {
        {L"truncated.set", goodBytes.substr(0, 700)},
        {L"header.set", goodBytes.substr(0, 40)},
        {L"text.set", "This is no compound file at all, just text."},
        {L"empty.set", ""},
    };
    for (const Case& c : cases) {
        const std::wstring path = Path(c.name);
        ASSERT_TRUE(WriteBytes(path, c.bytes));
        messages.clear();
        ComPtr<IStorage> storage;
        BOOL readOnly = FALSE;
        EXPECT_FALSE(OpenCompoundFile(path, storage.Put(), readOnly, FALSE)) << c.name;
        EXPECT_TRUE(messages.empty());
        EXPECT_FALSE(OpenCompoundFile(path, storage.Put(), readOnly, TRUE)) << c.name;
        ASSERT_EQ(messages.size(), 1u) << c.name;
        EXPECT_NE(messages[0].find(L"0x"), std::wstring::npos) << messages[0];
        EXPECT_NE(messages[0].find(L"\r\n" + path), std::wstring::npos) << messages[0];

        // At start-up the damaged file stays as it is and the default file is used instead.
        std::wstring opened = path;
        CFontFilesXML tree;
        ASSERT_TRUE(OpenCurrentSetFile(opened, folder, storage.Put(), readOnly, tree)) << c.name;
        EXPECT_EQ(opened, Path(L"gly.set"));
        EXPECT_TRUE(tree.HasRoot());
        storage.Reset();
        EXPECT_EQ(ReadBytes(path), c.bytes) << c.name;
    }
}

TEST_F(SetFileTest, StartUpCreatesTheDefaultFileWhenThereIsNone)
{
    std::wstring path;
    ComPtr<IStorage> storage;
    BOOL readOnly = TRUE;
    CFontFilesXML tree;
    ASSERT_TRUE(OpenCurrentSetFile(path, folder, storage.Put(), readOnly, tree));
    EXPECT_EQ(path, Path(L"gly.set"));
    EXPECT_FALSE(readOnly);
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(tree.SaveIfModified());
    EXPECT_EQ(StreamNames(storage.Get()), (std::vector<std::wstring>{L"sets"}));
}

TEST_F(SetFileTest, ThreadsShareTheOpenFileUnderItsLock)
{
    ComPtr<IStorage> storage;
    ASSERT_TRUE(CreateCompoundFile(Path(L"threads.set"), storage.Put()));
    const int kThreads = 4, kRounds = 25;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
                ++failures;
                return;
            }
            {
                std::wstring name;
                CFontFilesXML::MakeSetStreamName({static_cast<uint16_t>(t + 1)}, name);
                for (int round = 0; round < kRounds; ++round) {
                    CFontFilesXML set;
                    if (!set.OpenOrCreate(name, storage.Get(), TRUE, FALSE)) {
                        ++failures;
                        continue;
                    }
                    // Set documents read back in their namespace; a new one starts without.
                    for (const wchar_t* tag : {L"n", L"t"}) {
                        std::wstring text = *tag == L'n' ? std::to_wstring(round) : std::wstring(200 + round * 10, L'x');
                        ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(set.Xml().GetNode(std::wstring(L"a:") + tag));
                        if (!node)
                            node = ComPtr<IXMLDOMNode>::Attach(set.Xml().GetNode(tag, true));
                        set.Xml().SetNodeText(node.Get(), text);
                    }
                    if (!set.SaveIfModified())
                        ++failures;
                }
            }
            CoUninitialize();
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    for (int t = 0; t < kThreads; ++t) {
        std::wstring name;
        CFontFilesXML::MakeSetStreamName({static_cast<uint16_t>(t + 1)}, name);
        CFontFilesXML set;
        ASSERT_TRUE(set.OpenOrCreate(name, storage.Get(), FALSE, FALSE)) << t;
        EXPECT_EQ(set.Xml().GetInt(L"a:n", -1), kRounds - 1);
        ComPtr<IXMLDOMNodeList> all;
        EXPECT_EQ(set.Xml().SelectNodes(L"a:t", all.Put()), 1);
    }
    EXPECT_EQ(StreamNames(storage.Get()).size(), static_cast<size_t>(kThreads));
}

TEST_F(SetFileTest, WorkerThreadsNeverShowBoxes)
{
    const std::wstring path = Path(L"bad.set");
    ASSERT_TRUE(WriteBytes(path, "not a set file"));
    std::wstring workerError;
    std::thread worker([&] {
        ComPtr<IStorage> storage;
        BOOL readOnly = FALSE;
        OpenCompoundFile(path, storage.Put(), readOnly, TRUE);
        workerError = GetLastStorageError();
    });
    worker.join();
    EXPECT_TRUE(messages.empty());
    EXPECT_NE(workerError.find(path), std::wstring::npos) << workerError;
}

TEST_F(SetFileTest, SaxElementsEscapeWhatTheWriterDoesNot)
{
    auto write = [](bool escaping, const wchar_t* text) {
        ComPtr<IMXWriter> writer;
        EXPECT_EQ(CoCreateInstance(msxml::CLSID_MXXMLWriter60, nullptr, CLSCTX_INPROC_SERVER, msxml::IID_IMXWriter,
                                   reinterpret_cast<void**>(writer.Put())),
                  S_OK);
        if (!writer)
            return std::wstring();
        writer->put_omitXMLDeclaration(VARIANT_TRUE);
        writer->put_disableOutputEscaping(escaping ? VARIANT_FALSE : VARIANT_TRUE);
        ComPtr<ISAXContentHandler> handler = writer.As<ISAXContentHandler>(msxml::IID_ISAXContentHandler);
        handler->startDocument();
        handler->startElement(L"", 0, L"", 0, L"a", 1, nullptr);
        BOOL written = SaxWriteElement(handler.Get(), L"e", -1, text);
        handler->endElement(L"", 0, L"", 0, L"a", 1);
        handler->endDocument();
        Variant output;
        writer->get_output(output.Put());
        std::wstring xml = output.Get().vt == VT_BSTR && output.Get().bstrVal ? output.Get().bstrVal : L"";
        return written ? xml : L"(nothing)";
    };
    auto readBack = [](const std::wstring& xml) {
        CXMLFileCtrl document(L"Root");
        document.CreateDocument();
        VARIANT_BOOL ok = VARIANT_FALSE;
        Bstr source(xml);
        document.Document()->loadXML(source.Get(), &ok);
        ComPtr<IXMLDOMElement> root;
        document.Document()->get_documentElement(root.Put());
        document.SetRoot(root.Get());
        std::wstring text;
        XmlGetChildText(root.Get(), text, L"e");
        return ok == VARIANT_TRUE ? text : L"(malformed) " + xml;
    };
    for (bool escaping : {false, true}) {
        EXPECT_EQ(write(escaping, L""), L"(nothing)");
        EXPECT_EQ(readBack(write(escaping, L"Fish & Chips")), L"Fish & Chips");
        EXPECT_EQ(readBack(write(escaping, L"a]]>b<c>")), L"a]]>b<c>");
        EXPECT_EQ(readBack(write(escaping, L"bell\x07here")), L"bell.here");
        EXPECT_EQ(readBack(write(escaping, L"plain")), L"plain");
    }
    EXPECT_NE(write(false, L"Fish & Chips").find(L"<![CDATA[Fish & Chips]]>"), std::wstring::npos);
}

TEST_F(SetFileTest, FieldParsers)
{
    int number = 5;
    EXPECT_FALSE(ParseIntField(number, nullptr));
    EXPECT_EQ(number, 5);
    EXPECT_TRUE(ParseIntField(number, L"-12"));
    EXPECT_EQ(number, -12);
    double date = 1.0;
    ParseDateField(date, nullptr);
    EXPECT_EQ(date, 1.0);
    ParseDateField(date, L"2020-01-02T00:00:00");
    EXPECT_EQ(date, 43832.0);
}
