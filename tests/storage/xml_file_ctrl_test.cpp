#include <cmath>
#include <clocale>

#include "storage/com_ptr.h"
#include "storage/xml_file_ctrl.h"
#include "storage_test_env.h"

namespace {

// A document with the root that the settings store makes.
void MakeRoot(CXMLFileCtrl& xml)
{
    ASSERT_EQ(xml.CreateDocument(), S_OK);
    ComPtr<IXMLDOMElement> root;
    Bstr name(L"Settings");
    ASSERT_EQ(xml.Document()->createElement(name.Get(), root.Put()), S_OK);
    xml.Document()->putref_documentElement(root.Get());
    VARIANT ns;
    VariantInit(&ns);
    ns.vt = VT_BSTR;
    ns.bstrVal = SysAllocString(kXmlDataTypesNamespace);
    Bstr attribute(L"xmlns:dt");
    root->setAttribute(attribute.Get(), ns);
    VariantClear(&ns);
    xml.SetRoot(root.Get());
}

// Saves the document into memory and loads it into `into`: what a file would give back.
void RoundTrip(CXMLFileCtrl& from, CXMLFileCtrl& into)
{
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()), S_OK);
    VARIANT target;
    Variant::SetUnknown(target, stream.Get());
    ASSERT_EQ(from.Document()->save(target), S_OK);
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(into.LoadFromStream(stream.Get()), S_OK);
    ASSERT_NE(into.Root(), nullptr);
}

std::wstring DocumentXml(CXMLFileCtrl& xml)
{
    Bstr text;
    xml.Document()->get_xml(text.Put());
    return text.Str();
}

long CountNodes(CXMLFileCtrl& xml, const wchar_t* xpath)
{
    ComPtr<IXMLDOMNodeList> list;
    return xml.SelectNodes(xpath, list.Put());
}

}  // namespace

using XmlFileCtrlTest = StorageTest;

TEST_F(XmlFileCtrlTest, BuildsAKeyPathOnceAndFindsItAgain)
{
    CXMLFileCtrl xml(L"Settings");
    MakeRoot(xml);
    ComPtr<IXMLDOMNode> c = ComPtr<IXMLDOMNode>::Attach(xml.GetNode(L"a/b/c", true));
    ASSERT_TRUE(c);
    EXPECT_TRUE(xml.IsModified());
    ComPtr<IXMLDOMNode> again = ComPtr<IXMLDOMNode>::Attach(xml.GetNode(L"a/b/c", true));
    EXPECT_EQ(CountNodes(xml, L"//a"), 1);
    EXPECT_EQ(CountNodes(xml, L"//b"), 1);
    EXPECT_EQ(CountNodes(xml, L"//c"), 1);
    // A second branch reuses the existing steps.
    ComPtr<IXMLDOMNode> d = ComPtr<IXMLDOMNode>::Attach(xml.GetNode(L"a/b/d", true));
    EXPECT_EQ(CountNodes(xml, L"a/b/*"), 2);
    EXPECT_FALSE(ComPtr<IXMLDOMNode>::Attach(xml.GetNode(L"a/x")));
    EXPECT_EQ(CountNodes(xml, L"a/*"), 1);
}

TEST_F(XmlFileCtrlTest, TypedValuesComeBackWithTheirTypeAfterSavingAndLoading)
{
    // Writes its own canonical text in whatever locale the program runs.
    const char* oldLocale = setlocale(LC_ALL, nullptr);
    std::string saved = oldLocale ? oldLocale : "C";
    setlocale(LC_ALL, "German_Germany.1252");

    struct Case {
        const wchar_t* key;
        VARTYPE vt;
        double number;
        const wchar_t* type;
    };
    const Case cases[] = {
        {L"i4", VT_I4, -2147483647.0 - 1, L"int"}, {L"i2", VT_I2, -32768, L"i2"},     {L"i1", VT_I1, -128, L"i1"},
        {L"u1", VT_UI1, 255, L"ui1"},              {L"u2", VT_UI2, 65535, L"ui2"},    {L"u4", VT_UI4, 4294967295.0, L"ui4"},
        {L"r8", VT_R8, 0.1, L"r8"},                {L"big", VT_R8, -1.5e300, L"r8"},  {L"r4", VT_R4, 0.25, L"r4"},
        {L"pi", VT_R8, 3.141592653589793, L"r8"},  {L"yes", VT_BOOL, 1, L"boolean"}, {L"no", VT_BOOL, 0, L"boolean"},
        {L"when", VT_DATE, 45000.5, L"dateTime"},
    };
    CXMLFileCtrl xml(L"Settings");
    MakeRoot(xml);
    for (const Case& c : cases) {
        VARIANT v;
        VariantInit(&v);
        v.vt = c.vt;
        switch (c.vt) {
        case VT_I4: v.lVal = static_cast<LONG>(c.number); break;
        case VT_I2: v.iVal = static_cast<SHORT>(c.number); break;
        case VT_I1: v.cVal = static_cast<CHAR>(c.number); break;
        case VT_UI1: v.bVal = static_cast<BYTE>(c.number); break;
        case VT_UI2: v.uiVal = static_cast<USHORT>(c.number); break;
        case VT_UI4: v.ulVal = static_cast<ULONG>(c.number); break;
        case VT_R8: v.dblVal = c.number; break;
        case VT_R4: v.fltVal = static_cast<float>(c.number); break;
        case VT_BOOL: v.boolVal = c.number ? VARIANT_TRUE : VARIANT_FALSE; break;
        case VT_DATE: v.date = c.number; break;
        }
        EXPECT_EQ(xml.SetValue(std::wstring(L"v/") + c.key, v), S_OK) << c.key;
    }
    std::wstring text = DocumentXml(xml);
    EXPECT_NE(text.find(L">0.1<"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L">2023-03-15T12:00:00<"), std::wstring::npos) << text;

    CXMLFileCtrl loaded(L"Root");
    RoundTrip(xml, loaded);
    for (const Case& c : cases) {
        ComPtr<IXMLDOMNode> node = ComPtr<IXMLDOMNode>::Attach(loaded.GetNode(std::wstring(L"v/") + c.key));
        ASSERT_TRUE(node) << c.key;
        EXPECT_EQ(XmlNodeDataType(node.Get()), c.type) << c.key;
        Variant value;
        ASSERT_EQ(loaded.GetValue(std::wstring(L"v/") + c.key, value.Put()), S_OK) << c.key;
        EXPECT_EQ(value.Get().vt, c.vt) << c.key;
        VARIANT asDouble;
        VariantInit(&asDouble);
        ASSERT_EQ(VariantChangeType(&asDouble, &value, 0, VT_R8), S_OK) << c.key;
        if (c.vt == VT_BOOL)
            EXPECT_EQ(asDouble.dblVal != 0, c.number != 0) << c.key;
        else
            EXPECT_EQ(asDouble.dblVal, c.number) << c.key;
    }
    setlocale(LC_ALL, saved.c_str());
}

TEST_F(XmlFileCtrlTest, TextWithMarkupIsOneCdataSectionAndReadsBackAsWritten)
{
    CXMLFileCtrl xml(L"Settings");
    MakeRoot(xml);
    const std::wstring withAmpersand = L"Fish & Chips";
    const std::wstring withWord = L"Fish and Chips";
    const std::wstring withEnd = L"a]]>b<c>]]>";
    const std::wstring withSpaces = L"  two spaces around  ";
    const std::wstring wide = L"\u00AE \U0001F600 \u65E5\u672C";
    EXPECT_EQ(xml.SetString(L"s/amp", withAmpersand), S_OK);
    EXPECT_EQ(xml.SetString(L"s/word", withWord), S_OK);
    EXPECT_EQ(xml.SetString(L"s/end", withEnd), S_OK);
    EXPECT_EQ(xml.SetString(L"s/spaces", withSpaces), S_OK);
    EXPECT_EQ(xml.SetString(L"s/wide", wide), S_OK);

    ComPtr<IXMLDOMNode> amp = ComPtr<IXMLDOMNode>::Attach(xml.GetNode(L"s/amp"));
    ComPtr<IXMLDOMNode> first;
    ASSERT_EQ(amp->get_firstChild(first.Put()), S_OK);
    DOMNodeType type = NODE_INVALID;
    first->get_nodeType(&type);
    EXPECT_EQ(type, NODE_CDATA_SECTION);
    EXPECT_EQ(CountNodes(xml, L"s/amp/node()"), 1);
    ComPtr<IXMLDOMNode> word = ComPtr<IXMLDOMNode>::Attach(xml.GetNode(L"s/word"));
    ASSERT_EQ(word->get_firstChild(first.Put()), S_OK);
    first->get_nodeType(&type);
    EXPECT_EQ(type, NODE_TEXT);

    CXMLFileCtrl loaded(L"Root");
    RoundTrip(xml, loaded);
    EXPECT_EQ(loaded.GetString(L"s/amp"), withAmpersand);
    EXPECT_EQ(loaded.GetString(L"s/word"), withWord);
    EXPECT_EQ(loaded.GetString(L"s/end"), withEnd);
    EXPECT_EQ(loaded.GetString(L"s/spaces"), withSpaces);
    EXPECT_EQ(loaded.GetString(L"s/wide"), wide);
}

TEST_F(XmlFileCtrlTest, CharactersXmlCannotHoldDoNotSpoilTheDocument)
{
    CXMLFileCtrl xml(L"Settings");
    MakeRoot(xml);
    EXPECT_EQ(xml.SetString(L"s/ctl", std::wstring(L"a\x01" L"b\xFFFF" L"c")), S_OK);
    CXMLFileCtrl loaded(L"Root");
    RoundTrip(xml, loaded);
    EXPECT_EQ(loaded.GetString(L"s/ctl"), L"a.b.c");
}

TEST_F(XmlFileCtrlTest, EmptyStringRemovesTheKey)
{
    CXMLFileCtrl xml(L"Settings");
    MakeRoot(xml);
    xml.SetString(L"s/k", L"12");
    EXPECT_EQ(xml.GetInt(L"s/k", 7), 12);
    xml.SetModified(FALSE);
    EXPECT_EQ(xml.SetString(L"s/k", L""), S_OK);
    EXPECT_TRUE(xml.IsModified());
    EXPECT_EQ(CountNodes(xml, L"s/k"), 0);
    EXPECT_EQ(xml.GetString(L"s/k"), L"");
    EXPECT_EQ(xml.GetInt(L"s/k", 7), 7);
    // Removing what is not there changes nothing.
    xml.SetModified(FALSE);
    EXPECT_EQ(xml.DeleteNode(L"s/k"), 1);
    EXPECT_FALSE(xml.IsModified());
}

TEST_F(XmlFileCtrlTest, IntegersReadAsTheStoredFilesWriteThem)
{
    struct Case {
        const wchar_t* text;
        int value;
    } const cases[] = {
        {L"42", 42},       {L"-17", -17},          {L"  8px", 8},  {L"abc", 0},
        {L"", 0},          {L"4294967286", -10},   {L"+5", 5},     {L"2147483647", 2147483647},
    };
    for (const Case& c : cases)
        EXPECT_EQ(XmlParseInt(c.text), c.value) << c.text;

    CXMLFileCtrl xml(L"Settings");
    MakeRoot(xml);
    xml.SetString(L"s/t", L"no digits");
    EXPECT_EQ(xml.GetInt(L"s/t", 5), 0);
    EXPECT_EQ(xml.GetString(L"s/t"), L"no digits");
    xml.SetInt(L"s/i", 5);
    EXPECT_EQ(xml.GetString(L"s/i"), L"");  // typed int, not a string
    // Retyping a key leaves one type on it.
    xml.SetString(L"s/i", L"now text");
    EXPECT_EQ(xml.GetString(L"s/i"), L"now text");
    EXPECT_EQ(CountNodes(xml, L"s/i/@*"), 1);
}

TEST_F(XmlFileCtrlTest, BinaryRespectsTheCallersCapacity)
{
    CXMLFileCtrl xml(L"Settings");
    MakeRoot(xml);
    const BYTE bytes[] = {0x00, 0x7f, 0x80, 0xff, 0x12};
    EXPECT_EQ(xml.SetBinary(L"b/blob", bytes, sizeof bytes), S_OK);
    CXMLFileCtrl loaded(L"Root");
    RoundTrip(xml, loaded);

    BYTE small[3] = {9, 9, 9};
    UINT count = sizeof small;
    EXPECT_EQ(loaded.GetBinary(L"b/blob", small, count), 1);
    EXPECT_EQ(count, sizeof bytes);
    EXPECT_EQ(small[0], 9);

    BYTE big[16] = {};
    count = sizeof big;
    EXPECT_EQ(loaded.GetBinary(L"b/blob", big, count), 0);
    ASSERT_EQ(count, sizeof bytes);
    EXPECT_EQ(memcmp(big, bytes, sizeof bytes), 0);

    // A value that is no byte array leaves the count alone.
    loaded.SetString(L"b/text", L"ab");
    count = 16;
    EXPECT_EQ(loaded.GetBinary(L"b/text", big, count), 1);
    EXPECT_EQ(count, 16u);
}

TEST_F(XmlFileCtrlTest, ListsKeepOrderLimitAndCanBeEmptied)
{
    CXMLFileCtrl xml(L"Settings");
    MakeRoot(xml);
    CStringArray items;
    for (int i = 0; i < 25; ++i)
        items.push_back(L"item" + std::to_wstring(i));
    EXPECT_TRUE(xml.WriteStringList(L"FontTB/SampleCombo", items));
    xml.SetString(L"FontTB/other", L"stays");

    EXPECT_TRUE(xml.AddToList(L"FontTB/SampleCombo", L"newest", 20));
    CStringArray read;
    EXPECT_TRUE(xml.ReadStringList(L"FontTB/SampleCombo", read));
    ASSERT_EQ(read.size(), 21u);
    EXPECT_EQ(read.front(), L"item5");
    EXPECT_EQ(read[19], L"item24");
    EXPECT_EQ(read.back(), L"newest");

    // The new entry lands right after the list, before anything that follows it.
    ComPtr<IXMLDOMNode> last = ComPtr<IXMLDOMNode>::Attach(xml.GetNode(L"FontTB/*[last()]"));
    Bstr lastName;
    last->get_nodeName(lastName.Put());
    EXPECT_EQ(lastName.Str(), L"other");

    EXPECT_TRUE(xml.WriteStringList(L"FontTB/SampleCombo", {}));
    EXPECT_EQ(CountNodes(xml, L"FontTB/SampleCombo"), 0);
    EXPECT_EQ(xml.GetString(L"FontTB/other"), L"stays");

    EXPECT_TRUE(xml.AddToList(L"New/list", L"first", 20));
    EXPECT_TRUE(xml.ReadStringList(L"New/list", read));
    EXPECT_EQ(read, CStringArray{L"first"});
}

TEST_F(XmlFileCtrlTest, DatesAndDoublesConvertWhateverIsStored)
{
    CXMLFileCtrl none(L"Root");
    EXPECT_EQ(none.GetDate(L"x"), 1.0);

    CXMLFileCtrl xml(L"Settings");
    MakeRoot(xml);
    xml.SetDouble(L"d/r8", 45123.25);
    xml.SetInt(L"d/int", 40000);
    xml.SetString(L"d/text", L"44000.5");
    xml.SetString(L"d/stamp", L"2020-01-02T03:04:05");
    xml.SetString(L"d/junk", L"soon");
    VARIANT date;
    VariantInit(&date);
    date.vt = VT_DATE;
    date.date = 43000.0;
    xml.SetValue(L"d/date", date);

    CXMLFileCtrl loaded(L"Root");
    RoundTrip(xml, loaded);
    EXPECT_EQ(loaded.GetDate(L"d/r8"), 45123.25);
    EXPECT_EQ(loaded.GetDate(L"d/int"), 40000.0);
    EXPECT_EQ(loaded.GetDate(L"d/text"), 44000.5);
    EXPECT_NEAR(loaded.GetDate(L"d/stamp"), 43832.0 + (3 * 3600 + 4 * 60 + 5) / 86400.0, 1e-6);
    EXPECT_EQ(loaded.GetDate(L"d/date"), 43000.0);
    EXPECT_EQ(loaded.GetDate(L"d/junk"), CXMLFileCtrl::kDefaultDate);
    EXPECT_EQ(loaded.GetDate(L"d/missing"), CXMLFileCtrl::kDefaultDate);
}

TEST_F(XmlFileCtrlTest, WithoutDocumentOrRootEverythingGivesItsNothingValue)
{
    CXMLFileCtrl xml(L"Root");
    EXPECT_EQ(xml.GetInt(L"a", 3), 3);
    EXPECT_EQ(xml.GetString(L"a"), L"");
    EXPECT_EQ(xml.SetInt(L"a", 1), 1);
    EXPECT_EQ(xml.SetString(L"a", L"x"), 1);
    EXPECT_EQ(xml.GetNode(L"a", true), nullptr);
    CStringArray list{L"keep"};
    EXPECT_FALSE(xml.ReadStringList(L"a", list));
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(xml.SetNodeText(nullptr, L"x"), TRUE);
    EXPECT_FALSE(xml.IsModified());

    ASSERT_EQ(xml.CreateDocument(), S_OK);
    EXPECT_EQ(xml.GetNode(L"a", true), nullptr);  // no root yet
    EXPECT_FALSE(xml.EnsureChild(L"a", L"."));
    EXPECT_FALSE(xml.IsModified());
}

TEST_F(XmlFileCtrlTest, KeysBecomeValidElementNamesTheSameWayEachTime)
{
    struct Case {
        const wchar_t* key;
        const wchar_t* name;
    } const cases[] = {
        {L"AutoActivate", L"AutoActivate"},
        {L"lbar-SCBar-124", L"lbar-SCBar-124"},
        {L"Caf\u00e9", L"Caf\u00e9"},
        {L"Kindler\u00AE Pro", L"Kindler_x00AE__x0020_Pro"},
        {L"8li", L"_x0038_li"},
        {L"a:b/c", L"a_x003A_b_x002F_c"},
        {L"_x0041_", L"_x005F_x0041_"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MakeXmlName(c.key), c.name) << c.name;

    CXMLFileCtrl xml(L"Settings");
    MakeRoot(xml);
    EXPECT_EQ(xml.SetString(L"p/" + MakeXmlName(L"Kindler\u00AE Pro"), L"C:\\x"), S_OK);
    EXPECT_EQ(xml.SetString(L"p/" + MakeXmlName(L"_x0041_"), L"escaped"), S_OK);
    EXPECT_EQ(xml.SetString(L"p/" + MakeXmlName(L"A"), L"plain"), S_OK);
    CXMLFileCtrl loaded(L"Root");
    RoundTrip(xml, loaded);
    EXPECT_EQ(loaded.GetString(L"p/" + MakeXmlName(L"Kindler\u00AE Pro")), L"C:\\x");
    EXPECT_EQ(loaded.GetString(L"p/" + MakeXmlName(L"_x0041_")), L"escaped");
    EXPECT_EQ(loaded.GetString(L"p/A"), L"plain");
}

TEST_F(XmlFileCtrlTest, ChildFieldsOfANode)
{
    CXMLFileCtrl xml(L"Settings");
    MakeRoot(xml);
    xml.SetString(L"b/e", L"Name & Co");
    xml.SetString(L"b/h", L"12");
    xml.SetString(L"b/t", L"2021-06-07T08:09:10");
    ComPtr<IXMLDOMNode> b = ComPtr<IXMLDOMNode>::Attach(xml.GetNode(L"b"));
    std::wstring text = L"untouched";
    EXPECT_TRUE(XmlGetChildText(b.Get(), text, L"e"));
    EXPECT_EQ(text, L"Name & Co");
    text = L"untouched";
    EXPECT_FALSE(XmlGetChildText(b.Get(), text, L"zz"));
    EXPECT_FALSE(XmlGetChildText(nullptr, text, L"e"));
    EXPECT_EQ(text, L"untouched");
    EXPECT_EQ(XmlGetChildInt(b.Get(), L"h", -1), 12);
    EXPECT_EQ(XmlGetChildInt(b.Get(), L"zz", -1), -1);
    EXPECT_NEAR(XmlGetChildDate(b.Get(), L"t"), 44354.0 + (8 * 3600 + 9 * 60 + 10) / 86400.0, 1e-6);
    EXPECT_EQ(XmlGetChildDate(b.Get(), L"zz"), CXMLFileCtrl::kDefaultDate);
    EXPECT_EQ(XmlGetChildDate(b.Get(), L"e"), CXMLFileCtrl::kDefaultDate);
}
