#include <cstring>
#include <map>

#include "core/font_resource_loader.h"
#include "core/helpers.h"
#include "core/panose.h"
#include "storage/font_files_tags.h"
#include "storage/font_record_format.h"
#include "storage/msxml_ids.h"
#include "font_files_test_env.h"

namespace {

OleDate Date(const wchar_t* text)
{
    OleDate date;
    ParseXmlDateTime(text, date);
    return date;
}

CFontItemInfo SfntRecord(int kind)
{
    CFontItemInfo record;
    record.Reset();
    record.kind = kind;
    record.storedPath = L"basic.ttf";
    record.language = 1033;
    record.defaultNames = 0;
    record.kerningPairs = 0;
    record.glyphs = 2400;
    record.fileSize = 1234;
    record.fileDate = Date(L"2020-05-06T07:08:09");
    CFontStrings& names = record.names[record.names.Add(1033, 3, 1)];
    names.strings[NameFamily] = L"Gly Basic";
    names.strings[NameSubfamily] = L"Regular";
    names.strings[NameLicenceUrl] = L"http://lic";
    names.strings[NameDevice] = L"dev";
    SfntMetrics& m = record.metrics.sfnt;
    m.unitsPerEm = 2048;
    m.usWinAscent = 1900;
    m.usWinDescent = 0xFFF0;
    m.extraLeading = 0;
    m.xAvgCharWidth = 0x8000;
    m.usWeightClass = 400;
    m.usWidthClass = 5;
    std::memcpy(m.vendorId, L"GLY ", 8);
    const uint8_t panose[10] = {2, 11, 6, 4, 2, 2, 2, 2, 2, 4};
    std::memcpy(m.panose, panose, 10);
    m.fsSelection = 0x8040;
    return record;
}

CFontItemInfo WinRecord(int kind)
{
    CFontItemInfo record;
    record.Reset();
    record.kind = kind;
    record.storedPath = L"small.fon";
    record.defaultNames = 0;
    record.fileSize = 0xFFFFFFF0u;
    record.fileDate = Date(L"1999-12-31T23:59:58");
    record.names[record.names.Add(0, 0, 0)].strings[NameFamily] = L"Small";
    WinFontMetrics& w = record.metrics.win;
    w.dfType = 0x8001;
    w.dfPoints = 10;
    w.dfAscent = 0xFFFF;
    w.dfItalic = 0xFF;
    w.dfWeight = 700;
    w.dfCharSet = 0xEE;
    w.dfPixHeight = 13;
    w.dfPitchAndFamily = 0x31;
    w.dfLastChar = 0xFF;
    w.dfFlags = 0x80000001u;
    w.dfCspace = 0x8000;
    w.dfAvgWidth = 0xFFFE;
    return record;
}

void ExpectSameRecord(const CFontItemInfo& read, const CFontItemInfo& written, const std::wstring& what)
{
    SCOPED_TRACE(what);
    EXPECT_EQ(read.kind, BaseKind(written.kind));
    EXPECT_EQ(read.storedPath, written.storedPath);
    EXPECT_EQ(read.baseFolder, written.baseFolder);
    EXPECT_EQ(read.language, written.language);
    EXPECT_EQ(read.defaultNames, written.defaultNames);
    EXPECT_EQ(read.kerningPairs, written.kerningPairs);
    EXPECT_EQ(read.glyphs, written.glyphs);
    EXPECT_EQ(read.fileSize, written.fileSize);
    EXPECT_NEAR(read.fileDate.date, written.fileDate.date, 1e-6);
    ASSERT_EQ(read.names.GetSize(), written.names.GetSize());
    for (int i = 0; i < read.names.GetSize(); ++i) {
        EXPECT_EQ(read.names[i].language, written.names[i].language);
        EXPECT_EQ(read.names[i].platform, written.names[i].platform);
        EXPECT_EQ(read.names[i].encoding, written.names[i].encoding);
        for (int id = 0; id < kFontNameCount; ++id)
            EXPECT_EQ(read.names[i].strings[id], written.names[i].strings[id]) << id;
    }
    EXPECT_EQ(std::memcmp(read.metrics.raw, written.metrics.raw, sizeof written.metrics.raw), 0);
}

// The XML of a node without the namespace declaration the DOM adds to a record.
std::wstring RecordXml(IXMLDOMNode* node)
{
    Bstr xml;
    node->get_xml(xml.Put());
    std::wstring text;
    // Some writers lay the XML out on lines; the layout is no part of the record.
    for (wchar_t c : xml.Str())
        if (c != L'\r' && c != L'\n' && c != L'\t')
            text += c;
    const std::wstring declaration = L" xmlns=\"urn:Morvandel-GLY-FontFiles\"";
    for (size_t at; (at = text.find(declaration)) != std::wstring::npos;)
        text.erase(at, declaration.size());
    return text;
}

// A SAX writer with output escaping on, as the rewrites of set streams use it, writing UTF-8 into
// a memory stream.
struct SaxOutput {
    ComPtr<IMXWriter> writer;
    ComPtr<ISAXContentHandler> handler;
    ComPtr<IStream> stream;

    SaxOutput()
    {
        CoCreateInstance(msxml::CLSID_MXXMLWriter60, nullptr, CLSCTX_INPROC_SERVER, msxml::IID_IMXWriter,
                         reinterpret_cast<void**>(writer.Put()));
        if (!writer || FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put())))
            return;
        writer->put_omitXMLDeclaration(VARIANT_TRUE);
        Bstr encoding(L"UTF-8");
        writer->put_encoding(encoding.Get());
        Variant output;
        stream->AddRef();
        Variant::SetUnknown(*output.Put(), stream.Get());
        writer->put_output(output.Get());
        handler = writer.As<ISAXContentHandler>(msxml::IID_ISAXContentHandler);
        handler->startDocument();
    }
    std::wstring Text()
    {
        handler->endDocument();
        writer->flush();
        HGLOBAL memory = nullptr;
        GetHGlobalFromStream(stream.Get(), &memory);
        STATSTG stat{};
        stream->Stat(&stat, STATFLAG_NONAME);
        const char* bytes = static_cast<const char*>(GlobalLock(memory));
        std::wstring text(stat.cbSize.LowPart, L'\0');
        int length = MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(stat.cbSize.LowPart), text.data(),
                                         static_cast<int>(text.size()));
        GlobalUnlock(memory);
        text.resize(length > 0 ? length : 0);
        return text;
    }
};

const std::wstring kSfntXml =
    L"<b><d>basic.ttf</d><f>1</f><g>1033</g><h>0</h><i>0</i><j>2400</j><k>1234</k><l>2020-05-06T07:08:09</l>"
    L"<m><n>1033</n><o>3</o><p>1</p><r>Gly Basic</r><s>Regular</s><a4>http://lic</a4><b0>dev</b0></m>"
    L"<b1><b2>2048</b2><b3>1900</b3><b4>-16</b4><b5>0</b5><b6>-32768</b6><b7>400</b7><b8>5</b8><b9>GLY </b9>"
    L"<c0>";

}  // namespace

using FontRecordFormatTest = FontFilesTest;

TEST_F(FontRecordFormatTest, BothWritersProduceTheRecordElementsInOrder)
{
    CFontItemInfo record = SfntRecord(KindTrueType);
    const std::wstring expected =
        kSfntXml + PanoseToHex(record.metrics.sfnt.panose, true) + L"</c0><c1>32832</c1></b1></b>";

    CFontFilesXML set;
    ASSERT_TRUE(set.OpenOrCreate(L"set1.xml", storage.Get(), TRUE, FALSE));
    ComPtr<IXMLDOMNode> element;
    ASSERT_TRUE(set.AppendFontRecord(record, L"C:\\Fonts", nullptr, FALSE, element.Put()));
    EXPECT_EQ(RecordXml(element.Get()), expected);

    SaxOutput sax;
    ASSERT_TRUE(sax.handler);
    ASSERT_TRUE(CFontFilesXML::SaxWriteFontRecord(record, sax.handler.Get(), L"C:\\Fonts", nullptr, FALSE));
    EXPECT_EQ(sax.Text(), expected);

    // Unknown values, an empty vendor and PANOSE stay out; a missing TrueType file is kind 1.
    CFontItemInfo sparse = SfntRecord(KindTrueType + KindMissingOffset);
    sparse.language = -1;
    sparse.glyphs = -1;
    sparse.kerningPairs = -1;
    std::memset(sparse.metrics.sfnt.vendorId, 0, sizeof sparse.metrics.sfnt.vendorId);
    std::memset(sparse.metrics.sfnt.panose, 0, sizeof sparse.metrics.sfnt.panose);
    ASSERT_TRUE(set.AppendFontRecord(sparse, L"C:\\Fonts", nullptr, FALSE, element.Put()));
    const std::wstring xml = RecordXml(element.Get());
    EXPECT_NE(xml.find(L"<f>1</f>"), std::wstring::npos) << xml;
    for (const wchar_t* absent : {L"<g>", L"<i>", L"<j>", L"<b9>", L"<c0>", L"<c2>"})
        EXPECT_EQ(xml.find(absent), std::wstring::npos) << absent;

    // A bitmap font: the Windows header block with all 24 children, even the zero ones.
    CFontItemInfo bitmap = WinRecord(KindBitmap);
    ASSERT_TRUE(set.AppendFontRecord(bitmap, L"C:\\Fonts", nullptr, FALSE, element.Put()));
    const std::wstring winXml = RecordXml(element.Get());
    EXPECT_EQ(winXml.find(L"<b1>"), std::wstring::npos);
    EXPECT_NE(winXml.find(L"<c2><c3>-32767</c3><c4>10</c4><c5>0</c5><c6>0</c6><c7>-1</c7><c8>0</c8><c9>0</c9>"
                          L"<d0>255</d0><d1>0</d1><d2>0</d2><d3>700</d3><d4>238</d4><d5>0</d5><d6>13</d6>"
                          L"<d7>49</d7><d8>0</d8><d9>255</d9><e0>0</e0><e1>0</e1><e2>-2147483647</e2>"
                          L"<e3>0</e3><e4>0</e4><e5>-32768</e5><e6>65534</e6></c2>"),
              std::wstring::npos)
        << winXml;
    EXPECT_NE(winXml.find(L"<k>-16</k>"), std::wstring::npos);
    EXPECT_EQ(set.CountRecords(), 3);
}

TEST_F(FontRecordFormatTest, EveryKindReadsBackFromTheSetFileThroughBothReaders)
{
    std::vector<CFontItemInfo> records;
    for (int kind : {0, 1, 3, 5, 6, 8})
        records.push_back(SfntRecord(kind));
    for (int kind : {2, 4, 7, 9})
        records.push_back(WinRecord(kind));
    // Texts that break a hand-made CDATA section or a cut buffer.
    const std::wstring notice = L"A&B <c> ]]> " + std::wstring(5000, L'n') + L" end";
    records[1].names[0].strings[NameNotice] = notice;
    records[1].baseFolder = L".\\" + std::wstring(600, L'p');
    records[2].names[0].strings[NameFamily] = L" Leading";

    // DOM writer into set1.xml, SAX writer into set2.xml.
    {
        CFontFilesXML set;
        ASSERT_TRUE(set.OpenOrCreate(L"set1.xml", storage.Get(), TRUE, FALSE));
        for (CFontItemInfo& record : records)
            ASSERT_TRUE(set.AppendFontRecord(record, L"C:\\Fonts", nullptr, FALSE));
        ASSERT_TRUE(set.SaveIfModified());

        SaxOutput sax;
        sax.handler->startElement(L"", 0, L"", 0, L"a", 1, nullptr);
        for (CFontItemInfo& record : records)
            ASSERT_TRUE(CFontFilesXML::SaxWriteFontRecord(record, sax.handler.Get(), L"C:\\Fonts", nullptr, FALSE));
        sax.handler->endElement(L"", 0, L"", 0, L"a", 1);
        std::wstring text = sax.Text();
        EXPECT_EQ(text.find(L"<![CDATA["), std::wstring::npos);
        EXPECT_NE(text.find(L"<r> Leading</r>"), std::wstring::npos);
        text.insert(2, L" xmlns=\"urn:Morvandel-GLY-FontFiles\"");
        CFontFilesXML second;
        ASSERT_TRUE(second.Xml().Document());
        Bstr source(text);
        VARIANT_BOOL ok = VARIANT_FALSE;
        ASSERT_EQ(second.Xml().Document()->loadXML(source.Get(), &ok), S_OK) << "the SAX output must be well-formed";
        ASSERT_TRUE(SaveXmlDocumentToStream(second.Xml().Document(), L"set2.xml", storage.Get()));
    }
    Reopen();

    for (const CWordArray& path : {CWordArray{1}, CWordArray{2}}) {
        std::wstring name;
        CFontFilesXML::MakeSetStreamName(path, name);
        CFontFilesXML set;
        ASSERT_TRUE(set.OpenOrCreate(name, storage.Get(), FALSE, TRUE));
        ASSERT_EQ(set.CountRecords(), static_cast<long>(records.size()));
        for (size_t i = 0; i < records.size(); ++i) {
            ComPtr<IXMLDOMNode> element = ComPtr<IXMLDOMNode>::Attach(set.SelectRecordByPosition(static_cast<int>(i) + 1));
            CFontItemInfo read;
            read.Reset();
            ASSERT_TRUE(CFontFilesXML::ReadFontRecord(element.Get(), read, static_cast<int>(i) + 1));
            EXPECT_EQ(read.setEntryId, static_cast<int>(i) + 1);
            ExpectSameRecord(read, records[i], name + L" DOM " + std::to_wstring(i));
        }
        EXPECT_FALSE(set.SelectRecordByPosition(0));
        EXPECT_FALSE(set.SelectRecordByPosition(static_cast<int>(records.size()) + 1));

        size_t seen = 0;
        EXPECT_TRUE(ForEachFontRecord(storage.Get(), path, [&](CFontItemInfo& read, int position) {
            EXPECT_EQ(position, static_cast<int>(seen) + 1);
            if (seen < records.size())
                ExpectSameRecord(read, records[seen], name + L" SAX " + std::to_wstring(seen));
            ++seen;
            return true;
        }));
        EXPECT_EQ(seen, records.size());
    }
    // A set without a stream has no records; a stop from the callback ends the walk.
    int calls = 0;
    EXPECT_TRUE(ForEachFontRecord(storage.Get(), {9}, [&](CFontItemInfo&, int) { return ++calls, true; }));
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(ForEachFontRecord(storage.Get(), {1}, [&](CFontItemInfo&, int) { return ++calls, false; }));
    EXPECT_EQ(calls, 1);
}

TEST_F(FontRecordFormatTest, DomWriterGuardsEdgeSpacesOfDisplayNamesOnly)
{
    CFontItemInfo record = SfntRecord(KindTrueType);
    record.names[0].strings[NameFamily] = L" Leading";
    record.names[0].strings[NameVersion] = L" Version";
    record.names[0].strings[NameDesigner] = L"Smith & Jones";
    CFontFilesXML set;
    ASSERT_TRUE(set.OpenOrCreate(L"set1.xml", storage.Get(), TRUE, FALSE));
    ComPtr<IXMLDOMNode> element;
    ASSERT_TRUE(set.AppendFontRecord(record, L"C:\\Fonts", nullptr, FALSE, element.Put()));
    const std::wstring xml = RecordXml(element.Get());
    EXPECT_NE(xml.find(L"<r><![CDATA[ Leading]]></r>"), std::wstring::npos) << xml;
    EXPECT_NE(xml.find(L"<v> Version</v>"), std::wstring::npos) << xml;
    EXPECT_NE(xml.find(L"<z><![CDATA[Smith & Jones]]></z>"), std::wstring::npos) << xml;
}

TEST(FontRecordFields, SettersTakeRecordFieldsAndRefuseTheRest)
{
    CFontItemInfo record;
    record.Reset();
    EXPECT_TRUE(CFontFilesXML::SetRecordFieldByTag(record, L"d", L"x.ttf"));
    EXPECT_TRUE(CFontFilesXML::SetRecordFieldByTag(record, L"f", L"3"));
    EXPECT_TRUE(CFontFilesXML::SetRecordFieldByTag(record, L"k", L"-1"));
    EXPECT_TRUE(CFontFilesXML::SetRecordFieldByTag(record, L"b4", L"-16"));
    EXPECT_TRUE(CFontFilesXML::SetRecordFieldByTag(record, L"b9", L"LONGVENDOR"));
    EXPECT_TRUE(CFontFilesXML::SetRecordFieldByTag(record, L"j", nullptr));
    EXPECT_EQ(record.storedPath, L"x.ttf");
    EXPECT_EQ(record.kind, 3);
    EXPECT_EQ(record.fileSize, 0xFFFFFFFFu);
    EXPECT_EQ(record.metrics.sfnt.usWinDescent, 0xFFF0);
    EXPECT_EQ(std::wstring(record.metrics.sfnt.vendorId), L"LONG");
    EXPECT_EQ(record.glyphs, -1);
    for (const wchar_t* tag : {L"a", L"b", L"c", L"m", L"n", L"q", L"b0", L"b1", L"c2", L"e7", L"zz"})
        EXPECT_FALSE(CFontFilesXML::SetRecordFieldByTag(record, tag, L"1")) << tag;

    CFontStrings names;
    EXPECT_TRUE(CFontFilesXML::SetNameFieldByTag(names, L"n", L"1031"));
    EXPECT_TRUE(CFontFilesXML::SetNameFieldByTag(names, L"a4", L"licence url"));
    EXPECT_TRUE(CFontFilesXML::SetNameFieldByTag(names, L"b0", L"device"));
    EXPECT_EQ(names.language, 1031u);
    EXPECT_EQ(names.strings[14], L"licence url");
    EXPECT_EQ(names.strings[20], L"device");
    for (const wchar_t* tag : {L"d", L"m", L"b1", L"zz"})
        EXPECT_FALSE(CFontFilesXML::SetNameFieldByTag(names, tag, L"1")) << tag;
}

TEST(FontRecordFields, StoredNameAndFolderFollowTheSetFolder)
{
    struct Case {
        const wchar_t* path;
        int kind;
        const wchar_t* fileFolder;
        const wchar_t* storedPath;
        const wchar_t* baseFolder;
    };
    const Case cases[] = {
        {L"C:\\Fonts\\a.ttf", 1, nullptr, L"a.ttf", L""},
        {L"C:\\Fonts\\sub\\a.ttf", 1, nullptr, L"a.ttf", L".\\sub"},
        {L"D:\\Other\\a.ttf", 1, nullptr, L"a.ttf", L"D:\\Other"},
        {L"a.ttf", 1, L"C:\\Fonts\\x", L"a.ttf", L".\\x"},
        {L"a.ttf", 1, nullptr, L"a.ttf", L""},
        {L"C:\\Fonts\\x.pfm | C:\\Fonts\\x.pfb", 4, nullptr, L"x.pfm | x.pfb", L""},
        {L"C:\\Fonts\\x.pfm | C:\\Fonts\\pfb\\x.pfb", 4, nullptr, L"x.pfm | .\\pfb\\x.pfb", L""},
        {L"C:\\Fonts\\t1\\x.pfm", 9, nullptr, L"x.pfm | x.PFB", L".\\t1"},
    };
    for (const Case& c : cases) {
        CFontItemInfo record;
        record.Reset();
        record.path = c.path;
        record.kind = c.kind;
        CFontFilesXML::ComputeStoredPath(record, L"C:\\Fonts", c.fileFolder);
        EXPECT_EQ(record.storedPath, c.storedPath) << c.path;
        EXPECT_EQ(record.baseFolder, c.baseFolder) << c.path;
    }
}

// ---------------------------------------------------------------------------------------------------
// Loading and unloading one record

class ActivateFontRecordTest : public FontFilesTest {
protected:
    void SetUp() override
    {
        FontFilesTest::SetUp();
        fontFile = Path(L"act.ttf");
        ASSERT_TRUE(CopyFileW(GLY_FIXTURE_DIR L"\\sfnt\\basic.ttf", fontFile.c_str(), FALSE));
    }
    void TearDown() override
    {
        Unload();
        FontFilesTest::TearDown();
    }
    // Takes every load of the test font away again.
    void Unload()
    {
        for (int i = 0; i < 16 && RemoveFontResourceExW(fontFile.c_str(), 0, nullptr); ++i) {
        }
    }

    std::wstring fontFile;
};

TEST_F(ActivateFontRecordTest, LoadsAndUnloadsByModeKindAndStoredState)
{
    struct Case {
        BOOL load;
        int mode;
        int kind;
        const wchar_t* stored;  // null: no "c"
        BOOL reset;
        bool loadedBefore;
        const wchar_t* file;
        BOOL result;
        const wchar_t* after;  // null: no "c"
        BOOL modified;
    };
    const Case cases[] = {
        // Loading by the user (mode 2) takes only records not yet loaded.
        {TRUE, 2, 1, nullptr, FALSE, false, L"act.ttf", TRUE, L"1", TRUE},
        {TRUE, 2, 1, L"0", FALSE, false, L"act.ttf", TRUE, L"1", TRUE},
        {TRUE, 2, 1, L"1", FALSE, false, L"act.ttf", FALSE, L"1", FALSE},
        // Start-up (mode 0) reloads what was loaded; a record without "c" counts as loaded, except
        // in a partly active set.
        {TRUE, 0, 1, nullptr, FALSE, false, L"act.ttf", TRUE, L"1", TRUE},
        {TRUE, 0, 3, L"1", FALSE, false, L"act.ttf", TRUE, L"1", TRUE},
        {TRUE, 0, 2, nullptr, FALSE, false, L"act.ttf", FALSE, nullptr, FALSE},
        {TRUE, 0, 2, L"1", FALSE, false, L"act.ttf", TRUE, L"1", TRUE},
        {TRUE, 0, 1, L"0", FALSE, false, L"act.ttf", FALSE, L"0", FALSE},
        // Unloading by the user.
        {FALSE, 2, 1, L"1", FALSE, true, L"act.ttf", TRUE, L"0", TRUE},
        {FALSE, 2, 1, L"0", FALSE, true, L"act.ttf", FALSE, L"0", FALSE},
        {FALSE, 2, 1, nullptr, FALSE, true, L"act.ttf", FALSE, nullptr, FALSE},
        {FALSE, 2, 1, L"1", TRUE, true, L"act.ttf", TRUE, L"0", TRUE},
        // Exit (mode 1) keeps the marks unless cleared, and leaves the document unchanged.
        {FALSE, 1, 1, L"1", FALSE, true, L"act.ttf", TRUE, L"1", FALSE},
        {FALSE, 1, 1, nullptr, FALSE, true, L"act.ttf", TRUE, nullptr, FALSE},
        {FALSE, 1, 2, nullptr, FALSE, true, L"act.ttf", FALSE, nullptr, FALSE},
        {FALSE, 1, 1, L"1", TRUE, true, L"act.ttf", TRUE, L"0", TRUE},
        // Failures store nothing: a missing file does not load, a font that is not loaded does
        // not go away (and stays marked as it was).
        {TRUE, 2, 1, L"0", FALSE, false, L"missing.ttf", FALSE, L"0", FALSE},
        {FALSE, 2, 1, L"1", FALSE, false, L"act.ttf", FALSE, L"1", FALSE},
        {FALSE, 2, 1, L"1", TRUE, false, L"act.ttf", FALSE, L"1", FALSE},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "row " << row++);
        Unload();
        if (c.loadedBefore) {
            ASSERT_GT(AddFontResourceExW(fontFile.c_str(), 0, nullptr), 0);
        }
        CFontFilesXML set;
        ASSERT_TRUE(set.OpenOrCreate(L"set1.xml", storage.Get(), TRUE, FALSE));
        CFontItemInfo record = SfntRecord(KindTrueType);
        record.storedPath = c.file;
        ComPtr<IXMLDOMNode> element;
        ASSERT_TRUE(set.AppendFontRecord(record, folder, nullptr, FALSE, element.Put()));
        if (c.stored) {
            ASSERT_TRUE(set.GetOrCreateChild(element.Get(), kTagLoaded, c.stored, kFontFilesNamespace, L"a"));
        }
        set.SetModified(FALSE);

        EXPECT_EQ(set.ActivateFontRecord(element.Get(), c.load, c.mode, c.kind, folder, c.reset), c.result);
        std::wstring after;
        const bool has = XmlGetChildText(element.Get(), after, L"c", L"a");
        EXPECT_EQ(has ? after : L"<none>", c.after ? c.after : L"<none>");
        EXPECT_EQ(set.IsModified(), c.modified);
        EXPECT_EQ(set.CountLoadedRecords(), c.after && std::wstring(c.after) == L"1" ? 1 : 0);
        // What the record says is what happened: a loaded font can be removed exactly once more.
        if (c.result && c.load) {
            EXPECT_TRUE(RemoveFontResourceExW(fontFile.c_str(), 0, nullptr));
        }
        if (c.result && !c.load) {
            EXPECT_FALSE(RemoveFontResourceExW(fontFile.c_str(), 0, nullptr));
        }
        set.OpenOrCreate(std::wstring(), nullptr, FALSE, FALSE);
        storage->DestroyElement(L"set1.xml");
    }
}

TEST_F(ActivateFontRecordTest, ReportsEachFontToTheProgressWindowAndSkipsNullRecords)
{
    FontOpProgressLog progress;
    const std::vector<std::wstring>& seen = progress.seen;
    HWND window = progress.window;
    ASSERT_TRUE(window);

    CFontFilesXML set;
    ASSERT_TRUE(set.OpenOrCreate(L"set1.xml", storage.Get(), TRUE, FALSE));
    CFontItemInfo record = SfntRecord(KindTrueType);
    record.storedPath = L"act.ttf";
    ComPtr<IXMLDOMNode> element;
    ASSERT_TRUE(set.AppendFontRecord(record, folder, nullptr, FALSE, element.Put()));
    set.progressWindow = window;
    EXPECT_FALSE(set.ActivateFontRecord(nullptr, TRUE, 2, 1, folder, FALSE));
    EXPECT_TRUE(set.ActivateFontRecord(element.Get(), TRUE, 2, 1, folder, FALSE));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], L"Gly Basic|" + fontFile);
}

TEST_F(ActivateFontRecordTest, Type1RecordsThatDoNotLoadKeepTheirMark)
{
    CFontFilesXML set;
    ASSERT_TRUE(set.OpenOrCreate(L"set1.xml", storage.Get(), TRUE, FALSE));
    CFontItemInfo record = WinRecord(KindType1);
    record.storedPath = L"GlyHand.pfm | GlyHand.pfb";
    ComPtr<IXMLDOMNode> element;
    ASSERT_TRUE(set.AppendFontRecord(record, GLY_FIXTURE_DIR L"\\type1", nullptr, FALSE, element.Put()));
    ASSERT_TRUE(set.GetOrCreateChild(element.Get(), kTagLoaded, L"0", kFontFilesNamespace, L"a"));
    set.SetModified(FALSE);
    const BOOL loaded = set.ActivateFontRecord(element.Get(), TRUE, 2, 1, GLY_FIXTURE_DIR L"\\type1", FALSE);
    std::wstring state;
    XmlGetChildText(element.Get(), state, L"c", L"a");
    EXPECT_EQ(state, loaded ? L"1" : L"0");
    EXPECT_EQ(set.IsModified(), loaded);
}
