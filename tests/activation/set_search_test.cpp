// The set search's SAX handler and the walk of the set tree, on hand-made set documents.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <string>

#include "activation/app_state.h"
#include "activation/pipe_server.h"
#include "activation/set_search.h"
#include "storage/com_ptr.h"
#include "storage/font_files_xml.h"
#include "storage/set_file.h"
#include "tests/common/test_support.h"

namespace {

class SetSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        folder = gly_test::MakeTempFolder(L"gly_setsearch");
        CreateDirectoryW((folder + L"\\fonts").c_str(), nullptr);
        Touch(folder + L"\\fonts\\b.ttf");
        Touch(folder + L"\\fonts\\c.ttf");
    }

    void TearDown() override
    {
        gly_test::RemoveTree(folder);
        CoUninitialize();
    }

    static void Touch(const std::wstring& path)
    {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(h);
    }

    // A set document with the given records (each the inside of one "b").
    static ComPtr<IStream> SetStream(const std::wstring& records)
    {
        std::wstring xml = L"<?xml version=\"1.0\" encoding=\"UTF-16\"?><a xmlns=\"urn:Morvandel-GLY-FontFiles\"><m>4</m>" +
                           records + L"</a>";
        ComPtr<IStream> stream;
        CreateStreamOnHGlobal(nullptr, TRUE, stream.Put());
        const wchar_t bom = 0xFEFF;
        ULONG written = 0;
        stream->Write(&bom, sizeof bom, &written);
        stream->Write(xml.data(), static_cast<ULONG>(xml.size() * sizeof(wchar_t)), &written);
        LARGE_INTEGER zero{};
        stream->Seek(zero, STREAM_SEEK_SET, nullptr);
        return stream;
    }

    static std::wstring Record(const std::wstring& file, const std::wstring& folderText, const std::wstring& postScript,
                               const std::wstring& family = L"Fam")
    {
        std::wstring r = L"<b><d>" + file + L"</d>";
        if (!folderText.empty())
            r += L"<e>" + folderText + L"</e>";
        r += L"<f>1</f><g>1033</g><h>0</h><m><n>1033</n><r>" + family + L"</r><s>Regular</s>";
        if (!postScript.empty())
            r += L"<w>" + postScript + L"</w>";
        r += L"</m></b>";
        return r;
    }

    std::wstring folder;
};

TEST_F(SetSearchTest, FirstRecordWithAnExistingFileResolvesTheRequest)
{
    CPipeData exchange(0, nullptr, nullptr, nullptr);
    const int wanted = exchange.AddRequest(L"Wanted-Regular??", 9);
    const int unnamed = exchange.AddRequest(L"", 9);
    const int other = exchange.AddRequest(L"Other-Bold", 9);
    CSetItem set({3, 4}, 0, L"G->S", folder);
    // Record 1: no PostScript name; record 2: the wanted name but its file is gone; record 3: the
    // wanted name with a file in a relative folder ("." first); record 4: the same name again.
    ComPtr<IStream> stream =
        SetStream(Record(L"a.ttf", L".\\fonts", L"") + Record(L"gone.ttf", L".\\fonts", L"Wanted-Regular") +
                  Record(L"b.ttf", L".\\fonts", L"Wanted-Regular", L"Wanted") +
                  Record(L"c.ttf", L"fonts", L"Wanted-Regular"));
    SearchSetStream(&exchange, set, stream.Get());

    CPipeData::FONTDATA hit = exchange.GetRequest(wanted);
    EXPECT_EQ(hit.status, glypipe::kStatusFound);
    EXPECT_EQ(hit.position, 3);
    EXPECT_EQ(hit.file, folder + L"\\fonts\\b.ttf");
    EXPECT_EQ(hit.family, L"Wanted");
    EXPECT_EQ(hit.style, L"Regular");
    EXPECT_EQ(hit.set.idPath, (CWordArray{3, 4}));
    EXPECT_EQ(hit.set.namePath, L"G->S");
    EXPECT_EQ(exchange.GetRequest(unnamed).status, 9);
    EXPECT_EQ(exchange.GetRequest(other).status, 9);
}

TEST_F(SetSearchTest, ParseStopsOnceEveryRequestIsResolved)
{
    CPipeData exchange(0, nullptr, nullptr, nullptr);
    exchange.AddRequest(L"Wanted-Regular", 9);
    CSetItem set({1}, 0, L"S", folder);
    ComPtr<IStream> stream = SetStream(Record(L"b.ttf", L"fonts", L"Wanted-Regular") + Record(L"c.ttf", L"fonts", L"X"));
    EXPECT_TRUE(FAILED(SearchSetStream(&exchange, set, stream.Get())));
    EXPECT_TRUE(exchange.WorkersMustStop());
}

TEST_F(SetSearchTest, TextSplitOverCallsIsJoinedAndLongChunksAreCut)
{
    CPipeData exchange(0, nullptr, nullptr, nullptr);
    const std::wstring longName(300, L'N');
    const int cut = exchange.AddRequest(longName.substr(0, CSAXContentHandler_FindPipeFont::kMaxChunkLength) + L"Z", 9);
    CSetItem set({1}, 0, L"S", folder);
    auto* handler = new CSAXContentHandler_FindPipeFont(&exchange, set);
    handler->AddRef();
    auto start = [&](const wchar_t* tag) {
        handler->startElement(L"", 0, tag, static_cast<int>(wcslen(tag)), tag, static_cast<int>(wcslen(tag)), nullptr);
    };
    auto end = [&](const wchar_t* tag) {
        handler->endElement(L"", 0, tag, static_cast<int>(wcslen(tag)), tag, static_cast<int>(wcslen(tag)));
    };
    auto text = [&](const std::wstring& t) { handler->characters(t.data(), static_cast<int>(t.size())); };
    handler->startDocument();
    start(L"b");
    start(L"d");
    text(L"b.t");
    text(L"tf");
    end(L"d");
    start(L"e");
    text(L"fonts");
    end(L"e");
    start(L"m");
    start(L"n");
    text(L"1033");
    end(L"n");
    start(L"w");
    text(longName);  // only its first 259 characters are kept
    text(L"Z");
    end(L"w");
    end(L"m");
    start(L"g");
    text(L"1033");
    end(L"g");
    end(L"b");
    handler->Release();
    EXPECT_EQ(exchange.GetRequest(cut).status, glypipe::kStatusFound);
    EXPECT_EQ(exchange.GetRequest(cut).file, folder + L"\\fonts\\b.ttf");
}

TEST_F(SetSearchTest, CollectSetsWalksGroupsAndSetsParentsFirst)
{
    CFontFilesXML tree;
    ASSERT_EQ(tree.Xml().CreateDocument(), S_OK);
    std::wstring xml =
        L"<a><m>4</m><b d=\"2\"><e>Group</e><c>Z:\\src</c><l>5</l><b d=\"7\"><e>Inner</e></b></b>"
        L"<b d=\"3\"><e>Alone</e></b></a>";
    VARIANT_BOOL ok = VARIANT_FALSE;
    Bstr text(xml);
    ASSERT_EQ(tree.Xml().Document()->loadXML(text.Get(), &ok), S_OK);
    ComPtr<IXMLDOMElement> root;
    tree.Xml().Document()->get_documentElement(root.Put());
    tree.Xml().SetRoot(root.Get());

    CSetArray sets;
    CollectSets(sets, &tree, root.Get(), CWordArray());
    ASSERT_EQ(sets.size(), 3u);
    EXPECT_EQ(sets[0].idPath, (CWordArray{2}));
    EXPECT_EQ(sets[0].namePath, L"Group");
    EXPECT_EQ(sets[0].sourceFolder, L"Z:\\src");
    EXPECT_EQ(sets[0].count, 5);
    EXPECT_EQ(sets[1].idPath, (CWordArray{2, 7}));
    EXPECT_EQ(sets[1].namePath, L"Group->Inner");
    EXPECT_EQ(sets[1].count, 0);
    EXPECT_EQ(sets[2].idPath, (CWordArray{3}));
}

TEST(PipeProtocolTest, StatusLinesRoundTripWithEmptyFieldsAsOneSpace)
{
    const std::wstring line = glypipe::FormatStatusLine(L"Name-Bold?", 14, L"", L"Bold", L"");
    EXPECT_EQ(line, L"Name-Bold?\n\t14\n\t \n\tBold\n\t ");
    glypipe::StatusLine parsed;
    ASSERT_TRUE(glypipe::ParseStatusLine(line, parsed));
    EXPECT_EQ(parsed.name, L"Name-Bold?");
    EXPECT_EQ(parsed.status, 14);
    EXPECT_TRUE(parsed.family.empty());
    EXPECT_EQ(parsed.style, L"Bold");
    for (const wchar_t* bad : {L"a\n\t14\n\tb\n\tc", L"a\n\tx\n\tb\n\tc\n\td", L"a\n\t99\n\tb\n\tc\n\td"})
        EXPECT_FALSE(glypipe::ParseStatusLine(bad, parsed)) << "accepted a bad line";
    EXPECT_EQ(glypipe::MatchKey(L"Abc-Regular???"), L"Abc-Regular");
    EXPECT_EQ(glypipe::ClassifyClientMessage(L"*\n\n\t*").kind, glypipe::ClientMessageKind::EndMarker);
    EXPECT_EQ(glypipe::ClassifyClientMessage(L"*@&$*C:\\x").payload, L"C:\\x");
    EXPECT_EQ(glypipe::ClassifyClientMessage(L"\t\t\t\t\ndoc").kind, glypipe::ClientMessageKind::LogText);
    EXPECT_EQ(glypipe::ClassifyServerMessage(L"**\t\n**C:\\f"), glypipe::ServerMessageKind::Progress);
}

}  // namespace
