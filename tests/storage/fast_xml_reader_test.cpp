#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/fast_xml_reader.h"

namespace {

// Writes every callback as one line: "<uri|local|qname", ">uri|local|qname", "'text'" (adjacent text
// chunks joined), "[" and "]" for the document.
class Recorder : public ISAXContentHandler {
public:
    std::wstring log;
    int failAtElement = -1;  // fail the n-th startElement (0-based)

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE putDocumentLocator(ISAXLocator*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE startDocument() override
    {
        log += L"[";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE endDocument() override
    {
        Flush();
        log += L"]";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE startPrefixMapping(const wchar_t*, int, const wchar_t*, int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE endPrefixMapping(const wchar_t*, int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE startElement(const wchar_t* uri, int uriLength, const wchar_t* local, int localLength,
                                           const wchar_t* qName, int qLength, ISAXAttributes* attributes) override
    {
        Flush();
        EXPECT_EQ(attributes, nullptr);
        log += L"<" + std::wstring(uri, uriLength) + L"|" + std::wstring(local, localLength) + L"|" +
               std::wstring(qName, qLength);
        return elements++ == failAtElement ? E_ABORT : S_OK;
    }
    HRESULT STDMETHODCALLTYPE endElement(const wchar_t* uri, int uriLength, const wchar_t* local, int localLength,
                                         const wchar_t* qName, int qLength) override
    {
        Flush();
        log += L">" + std::wstring(uri, uriLength) + L"|" + std::wstring(local, localLength) + L"|" +
               std::wstring(qName, qLength);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE characters(const wchar_t* chars, int length) override
    {
        EXPECT_GT(length, 0);
        text.append(chars, static_cast<size_t>(length));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ignorableWhitespace(const wchar_t*, int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE processingInstruction(const wchar_t*, int, const wchar_t*, int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE skippedEntity(const wchar_t*, int) override { return S_OK; }

private:
    void Flush()
    {
        if (!text.empty())
            log += L"'" + text + L"'";
        text.clear();
    }
    std::wstring text;
    int elements = 0;
};

std::wstring Parse(const std::wstring& xml, HRESULT* result = nullptr)
{
    Recorder recorder;
    const HRESULT hr = fastxml::ParseText(xml.data(), xml.size(), &recorder);
    if (result)
        *result = hr;
    return SUCCEEDED(hr) ? recorder.log : L"FAILED";
}

std::vector<BYTE> Utf16(const std::wstring& text, bool bigEndian, bool bom)
{
    std::vector<BYTE> bytes;
    auto put = [&](wchar_t c) {
        const BYTE hi = static_cast<BYTE>(c >> 8), lo = static_cast<BYTE>(c & 0xFF);
        bytes.push_back(bigEndian ? hi : lo);
        bytes.push_back(bigEndian ? lo : hi);
    };
    if (bom)
        put(0xFEFF);
    for (wchar_t c : text)
        put(c);
    return bytes;
}

}  // namespace

TEST(FastXmlReaderTest, WellFormedInputGivesTheCallbacksOfTheDocument)
{
    const struct {
        const wchar_t* xml;
        const wchar_t* expected;
    } cases[] = {
        {L"<a/>", L"[<|a|a>|a|a]"},
        {L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- c -->\n<a>x</a>\n<?pi y?>\n", L"[<|a|a'x'>|a|a]"},
        // Namespaces: the default one, a prefix, and a child that undeclares the default.
        {L"<r xmlns=\"urn:f\" xmlns:q='urn:q'><b/><q:c/><d xmlns=\"\"/></r>",
         L"[<urn:f|r|r<urn:f|b|b>urn:f|b|b<urn:q|c|q:c>urn:q|c|q:c<|d|d>|d|d>urn:f|r|r]"},
        {L"<x:r xmlns:x=\"a&amp;b\"/>", L"[<a&b|r|x:r>a&b|r|x:r]"},
        {L"<a k = 'v' k2=\"w\" >t</a >", L"[<|a|a't'>|a|a]"},
        // The five entities and character references, decimal, hex and beyond the 16-bit range.
        {L"<a>&lt;&gt;&amp;&quot;&apos;&#65;&#x42;&#x1F600;</a>", L"[<|a|a'<>&\"'AB\xD83D\xDE00'>|a|a]"},
        // CDATA keeps markup as text; "]]" without ">" stays inside; "]]>" split over two sections.
        {L"<a><![CDATA[<b>&amp;]]]]><![CDATA[>]]></a>", L"[<|a|a'<b>&amp;]]>'>|a|a]"},
        {L"<a><![CDATA[x]]y]]></a>", L"[<|a|a'x]]y'>|a|a]"},
        // Line ends become "\n".
        {L"<a>1\r\n2\r3</a>", L"[<|a|a'1\n2\n3'>|a|a]"},
        {L"<a><b>1</b>2<c/></a>", L"[<|a|a<|b|b'1'>|b|b'2'<|c|c>|c|c>|a|a]"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Parse(c.xml), c.expected) << "input: " << std::string(c.xml, c.xml + wcslen(c.xml));
}

TEST(FastXmlReaderTest, MalformedInputFailsCleanly)
{
    const wchar_t* cases[] = {
        L"",
        L"   ",
        L"text",
        L"<a>",
        L"<a></b>",
        L"<a></a><b/>",
        L"<a/>tail",
        L"<a",
        L"<a b>",
        L"<a b=c/>",
        L"<a b='c/>",
        L"<a b='<'/>",
        L"<ab='c'/>x",
        L"<a x='1'y='2'/>",
        L"<a>&unknown;</a>",
        L"<a>&amp</a>",
        L"<a>&#;</a>",
        L"<a>&#x;</a>",
        L"<a>&#1;</a>",
        L"<a>&#xD800;</a>",
        L"<a>&#99999999999;</a>",
        L"<a><![CDATA[x]]</a>",
        L"<![CDATA[x]]><a/>",
        L"<a><!-- x </a>",
        L"<?xml version='1.0'",
        L"<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>",
        L"<p:a/>",
        L"<:a xmlns:=''/>",
        L"</a>",
        L"<a></a",
        L"<>",
    };
    for (const wchar_t* xml : cases) {
        HRESULT hr = S_OK;
        EXPECT_EQ(Parse(xml, &hr), L"FAILED") << "input: " << std::string(xml, xml + wcslen(xml));
        EXPECT_EQ(hr, E_FAIL);
    }
    // Every prefix of a good document is malformed, and none is read beyond its end.
    const std::wstring good = L"<?xml version=\"1.0\"?><r xmlns=\"urn:f\"><b a='1'>x&amp;y<![CDATA[z]]>&#65;</b></r>";
    for (size_t n = 0; n < good.size(); ++n) {
        const std::wstring cut = good.substr(0, n);
        std::vector<wchar_t> exact(cut.begin(), cut.end());  // no terminator behind the text
        Recorder recorder;
        EXPECT_TRUE(FAILED(fastxml::ParseText(exact.data(), exact.size(), &recorder))) << n;
    }
}

TEST(FastXmlReaderTest, NestingIsBounded)
{
    std::wstring deep;
    for (int i = 0; i < fastxml::kMaxDepth; ++i)
        deep += L"<a>";
    for (int i = 0; i < fastxml::kMaxDepth; ++i)
        deep += L"</a>";
    EXPECT_NE(Parse(deep), L"FAILED");
    EXPECT_EQ(Parse(L"<a>" + deep + L"</a>"), L"FAILED");
}

TEST(FastXmlReaderTest, HandlerFailureStopsTheParseWithItsResult)
{
    Recorder recorder;
    recorder.failAtElement = 1;
    const std::wstring xml = L"<a><b/><c/></a>";
    EXPECT_EQ(fastxml::ParseText(xml.data(), xml.size(), &recorder), E_ABORT);
    EXPECT_EQ(recorder.log, L"[<|a|a<|b|b");
}

TEST(FastXmlReaderTest, ReadsUtf8AndUtf16WithOrWithoutMark)
{
    const std::wstring xml = L"<?xml version=\"1.0\"?><a>\x00E9\x4E2D\xD83D\xDE00</a>";
    const std::wstring expected = L"[<|a|a'\x00E9\x4E2D\xD83D\xDE00'>|a|a]";
    const std::string utf8 = "<?xml version=\"1.0\"?><a>\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80</a>";
    std::vector<std::vector<BYTE>> inputs = {
        std::vector<BYTE>(utf8.begin(), utf8.end()),
        Utf16(xml, false, false),
        Utf16(xml, false, true),
        Utf16(xml, true, false),
        Utf16(xml, true, true),
    };
    std::vector<BYTE> withMark = {0xEF, 0xBB, 0xBF};
    withMark.insert(withMark.end(), utf8.begin(), utf8.end());
    inputs.push_back(withMark);
    for (size_t i = 0; i < inputs.size(); ++i) {
        Recorder recorder;
        EXPECT_EQ(fastxml::ParseBytes(inputs[i].data(), inputs[i].size(), &recorder), S_OK) << i;
        EXPECT_EQ(recorder.log, expected) << i;
    }

    // Undecodable bytes, an odd UTF-16 length and an encoding the reader does not read fail.
    const std::string badUtf8 = "<a>\xC3</a>";
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>";
    std::vector<BYTE> odd = Utf16(L"<a/>", false, true);
    odd.push_back(0);
    const std::vector<std::vector<BYTE>> bad = {
        std::vector<BYTE>(badUtf8.begin(), badUtf8.end()),
        std::vector<BYTE>(latin1.begin(), latin1.end()),
        odd,
        {},
    };
    for (size_t i = 0; i < bad.size(); ++i) {
        Recorder recorder;
        EXPECT_EQ(fastxml::ParseBytes(bad[i].data(), bad[i].size(), &recorder), E_FAIL) << i;
    }
}
