#include "storage/fast_xml_reader.h"

#include <climits>
#include <deque>
#include <string_view>
#include <vector>

namespace fastxml {

namespace {

bool IsSpace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

// Characters that end a name. Anything else is accepted inside one: the reader does not police the
// finer rules of XML names, only the structure.
bool EndsName(wchar_t c)
{
    return IsSpace(c) || c == L'/' || c == L'>' || c == L'=' || c == L'<' || c == L'"' || c == L'\'' || c == L'&';
}

bool IsXmlChar(unsigned long c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z')
            x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z')
            y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y)
            return false;
    }
    return true;
}

// Appends the text [s, e) with entities and character references replaced and line ends
// normalised to "\n". False for a malformed reference.
bool AppendDecoded(const wchar_t* s, const wchar_t* e, bool references, std::wstring& out)
{
    while (s < e) {
        const wchar_t c = *s;
        if (c == L'\r') {
            out.push_back(L'\n');
            ++s;
            if (s < e && *s == L'\n')
                ++s;
            continue;
        }
        if (c != L'&' || !references) {
            out.push_back(c);
            ++s;
            continue;
        }
        const wchar_t* semi = s + 1;
        while (semi < e && *semi != L';' && semi - s <= 12)
            ++semi;
        if (semi >= e || *semi != L';')
            return false;
        const std::wstring_view name(s + 1, static_cast<size_t>(semi - s - 1));
        if (name == L"lt") {
            out.push_back(L'<');
        } else if (name == L"gt") {
            out.push_back(L'>');
        } else if (name == L"amp") {
            out.push_back(L'&');
        } else if (name == L"quot") {
            out.push_back(L'"');
        } else if (name == L"apos") {
            out.push_back(L'\'');
        } else if (name.size() >= 2 && name[0] == L'#') {
            const bool hex = name[1] == L'x';
            size_t i = hex ? 2 : 1;
            if (i >= name.size())
                return false;
            unsigned long value = 0;
            for (; i < name.size(); ++i) {
                const wchar_t d = name[i];
                unsigned digit;
                if (d >= L'0' && d <= L'9')
                    digit = static_cast<unsigned>(d - L'0');
                else if (hex && d >= L'a' && d <= L'f')
                    digit = static_cast<unsigned>(d - L'a' + 10);
                else if (hex && d >= L'A' && d <= L'F')
                    digit = static_cast<unsigned>(d - L'A' + 10);
                else
                    return false;
                value = value * (hex ? 16 : 10) + digit;
                if (value > 0x10FFFF)
                    return false;
            }
            if (!IsXmlChar(value))
                return false;
            if (value >= 0x10000) {
                value -= 0x10000;
                out.push_back(static_cast<wchar_t>(0xD800 + (value >> 10)));
                out.push_back(static_cast<wchar_t>(0xDC00 + (value & 0x3FF)));
            } else {
                out.push_back(static_cast<wchar_t>(value));
            }
        } else {
            return false;
        }
        s = semi + 1;
    }
    return true;
}

// Views into the input (or into the parser's store of decoded values): the set streams declare their
// namespace on every element, and a copy per element would make the parse allocation-bound.
struct Binding {
    std::wstring_view prefix;
    std::wstring_view uri;
};

struct OpenElement {
    std::wstring_view qName;
    std::wstring_view localName;
    int uri;  // index into the bindings, -1 for none
    size_t bindingsBefore;
};

class Parser {
public:
    Parser(const wchar_t* text, size_t length, ISAXContentHandler* handler)
        : p_(text), end_(text + length), handler_(handler)
    {
    }

    HRESULT Run()
    {
        HRESULT hr = handler_->startDocument();
        if (FAILED(hr))
            return hr;
        bool rootSeen = false;
        while (p_ < end_) {
            if (*p_ != L'<') {
                hr = Text();
            } else if (Starts(L"<?")) {
                hr = Skip(2, L"?>");
            } else if (Starts(L"<!--")) {
                hr = Skip(4, L"-->");
            } else if (Starts(L"<![CDATA[")) {
                hr = open_.empty() ? E_FAIL : CData();
            } else if (Starts(L"</")) {
                hr = EndTag();
            } else if (p_ + 1 < end_ && p_[1] == L'!') {
                hr = E_FAIL;  // a document type or another declaration: never written by the program
            } else {
                if (open_.empty() && rootSeen)
                    return E_FAIL;  // a second root element
                rootSeen = true;
                hr = StartTag();
            }
            if (FAILED(hr))
                return hr;
        }
        if (!rootSeen || !open_.empty())
            return E_FAIL;
        return handler_->endDocument();
    }

private:
    bool Starts(std::wstring_view token) const
    {
        return static_cast<size_t>(end_ - p_) >= token.size() && std::wstring_view(p_, token.size()) == token;
    }

    // Skips the construct at p_ (its opening has `skip` characters) up to and including `close`.
    HRESULT Skip(size_t skip, std::wstring_view close)
    {
        const std::wstring_view rest(p_ + skip, static_cast<size_t>(end_ - p_) - skip);
        const size_t at = rest.find(close);
        if (at == std::wstring_view::npos)
            return E_FAIL;
        p_ += skip + at + close.size();
        return S_OK;
    }

    void SkipSpaces()
    {
        while (p_ < end_ && IsSpace(*p_))
            ++p_;
    }

    std::wstring_view Name()
    {
        const wchar_t* start = p_;
        while (p_ < end_ && !EndsName(*p_))
            ++p_;
        return std::wstring_view(start, static_cast<size_t>(p_ - start));
    }

    HRESULT Characters(const wchar_t* s, const wchar_t* e)
    {
        if (s == e)
            return S_OK;
        if (e - s > INT_MAX)
            return E_FAIL;
        return handler_->characters(s, static_cast<int>(e - s));
    }

    HRESULT Text()
    {
        const wchar_t* start = p_;
        bool plain = true;
        while (p_ < end_ && *p_ != L'<') {
            if (*p_ == L'&' || *p_ == L'\r')
                plain = false;
            ++p_;
        }
        if (open_.empty()) {
            // Outside the root only white space may stand.
            for (const wchar_t* s = start; s < p_; ++s) {
                if (!IsSpace(*s))
                    return E_FAIL;
            }
            return S_OK;
        }
        if (plain)
            return Characters(start, p_);
        scratch_.clear();
        if (!AppendDecoded(start, p_, true, scratch_))
            return E_FAIL;
        return Characters(scratch_.data(), scratch_.data() + scratch_.size());
    }

    HRESULT CData()
    {
        const wchar_t* start = p_ + 9;
        const std::wstring_view rest(start, static_cast<size_t>(end_ - start));
        const size_t at = rest.find(L"]]>");
        if (at == std::wstring_view::npos)
            return E_FAIL;
        p_ = start + at + 3;
        scratch_.clear();
        AppendDecoded(start, start + at, false, scratch_);
        return Characters(scratch_.data(), scratch_.data() + scratch_.size());
    }

    // The namespace of a qualified name; -1 for none, -2 for an undeclared prefix.
    int Resolve(std::wstring_view qName, std::wstring_view& localName) const
    {
        const size_t colon = qName.find(L':');
        std::wstring_view prefix;
        localName = qName;
        if (colon != std::wstring_view::npos) {
            prefix = qName.substr(0, colon);
            localName = qName.substr(colon + 1);
            if (prefix.empty() || localName.empty())
                return -2;
        }
        for (size_t i = bindings_.size(); i-- > 0;) {
            if (bindings_[i].prefix == prefix)
                return bindings_[i].uri.empty() ? -1 : static_cast<int>(i);
        }
        if (prefix.empty() || prefix == L"xml")
            return -1;
        return -2;
    }

    HRESULT StartTag()
    {
        ++p_;
        const std::wstring_view qName = Name();
        if (qName.empty())
            return E_FAIL;
        const size_t bindingsBefore = bindings_.size();
        bool empty = false;
        for (;;) {
            const wchar_t* before = p_;
            SkipSpaces();
            if (p_ >= end_)
                return E_FAIL;
            if (*p_ == L'>') {
                ++p_;
                break;
            }
            if (*p_ == L'/') {
                if (p_ + 1 >= end_ || p_[1] != L'>')
                    return E_FAIL;
                p_ += 2;
                empty = true;
                break;
            }
            if (p_ == before)
                return E_FAIL;  // attributes are separated by white space
            const std::wstring_view attribute = Name();
            if (attribute.empty())
                return E_FAIL;
            SkipSpaces();
            if (p_ >= end_ || *p_ != L'=')
                return E_FAIL;
            ++p_;
            SkipSpaces();
            if (p_ >= end_ || (*p_ != L'"' && *p_ != L'\''))
                return E_FAIL;
            const wchar_t quote = *p_++;
            const wchar_t* valueStart = p_;
            while (p_ < end_ && *p_ != quote) {
                if (*p_ == L'<')
                    return E_FAIL;
                ++p_;
            }
            if (p_ >= end_)
                return E_FAIL;
            const wchar_t* valueEnd = p_++;
            std::wstring_view value(valueStart, static_cast<size_t>(valueEnd - valueStart));
            if (value.find_first_of(L"&\r") != std::wstring_view::npos) {
                std::wstring decoded;
                if (!AppendDecoded(valueStart, valueEnd, true, decoded))
                    return E_FAIL;
                decodedValues_.push_back(std::move(decoded));
                value = decodedValues_.back();
            }
            if (attribute == L"xmlns") {
                bindings_.push_back({std::wstring_view(), value});
            } else if (attribute.size() > 6 && attribute.substr(0, 6) == L"xmlns:") {
                if (value.empty())
                    return E_FAIL;
                bindings_.push_back({attribute.substr(6), value});
            }
        }
        if (static_cast<int>(open_.size()) >= kMaxDepth)
            return E_FAIL;
        std::wstring_view localName;
        const int uri = Resolve(qName, localName);
        if (uri == -2)
            return E_FAIL;
        open_.push_back({qName, localName, uri, bindingsBefore});
        const std::wstring_view uriText = uri >= 0 ? bindings_[static_cast<size_t>(uri)].uri : std::wstring_view(L"");
        HRESULT hr = handler_->startElement(uriText.data(), static_cast<int>(uriText.size()), localName.data(),
                                            static_cast<int>(localName.size()), qName.data(),
                                            static_cast<int>(qName.size()), nullptr);
        if (FAILED(hr) || !empty)
            return hr;
        return Close();
    }

    HRESULT EndTag()
    {
        p_ += 2;
        const std::wstring_view qName = Name();
        SkipSpaces();
        if (p_ >= end_ || *p_ != L'>')
            return E_FAIL;
        ++p_;
        if (open_.empty() || open_.back().qName != qName)
            return E_FAIL;
        return Close();
    }

    HRESULT Close()
    {
        const OpenElement element = open_.back();
        open_.pop_back();
        const std::wstring_view uriText =
            element.uri >= 0 ? bindings_[static_cast<size_t>(element.uri)].uri : std::wstring_view(L"");
        HRESULT hr = handler_->endElement(uriText.data(), static_cast<int>(uriText.size()), element.localName.data(),
                                          static_cast<int>(element.localName.size()), element.qName.data(),
                                          static_cast<int>(element.qName.size()));
        bindings_.resize(element.bindingsBefore);
        return hr;
    }

    const wchar_t* p_;
    const wchar_t* end_;
    ISAXContentHandler* handler_;
    std::vector<OpenElement> open_;
    std::vector<Binding> bindings_;
    std::wstring scratch_;
    std::deque<std::wstring> decodedValues_;  // grows only, so views into it stay valid
};

// The encoding named by the XML declaration, empty when there is none.
std::wstring_view DeclaredEncoding(std::wstring_view text)
{
    if (text.substr(0, 5) != L"<?xml")
        return {};
    const std::wstring_view declaration = text.substr(0, text.find(L"?>"));
    const size_t at = declaration.find(L"encoding");
    if (at == std::wstring_view::npos)
        return {};
    size_t i = at + 8;
    while (i < declaration.size() && (IsSpace(declaration[i]) || declaration[i] == L'='))
        ++i;
    if (i >= declaration.size() || (declaration[i] != L'"' && declaration[i] != L'\''))
        return {};
    const size_t close = declaration.find(declaration[i], i + 1);
    if (close == std::wstring_view::npos)
        return {};
    return declaration.substr(i + 1, close - i - 1);
}

}  // namespace

bool DecodeToUtf16(const BYTE* data, size_t size, std::wstring& text)
{
    text.clear();
    if (!data || size == 0)
        return false;
    bool utf16 = false, bigEndian = false;
    size_t skip = 0;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        utf16 = true;
        skip = 2;
    } else if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
        utf16 = bigEndian = true;
        skip = 2;
    } else if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        skip = 3;
    } else if (size >= 2 && data[0] != 0 && data[1] == 0) {
        utf16 = true;
    } else if (size >= 2 && data[0] == 0 && data[1] != 0) {
        utf16 = bigEndian = true;
    }
    if (utf16) {
        const size_t bytes = size - skip;
        if (bytes % 2 != 0)
            return false;
        text.resize(bytes / 2);
        const BYTE* s = data + skip;
        for (size_t i = 0; i < text.size(); ++i, s += 2)
            text[i] = static_cast<wchar_t>(bigEndian ? (s[0] << 8) | s[1] : s[0] | (s[1] << 8));
        return true;
    }
    const size_t bytes = size - skip;
    if (bytes == 0 || bytes > static_cast<size_t>(INT_MAX))
        return false;
    const char* s = reinterpret_cast<const char*>(data + skip);
    const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, static_cast<int>(bytes), nullptr, 0);
    if (needed <= 0)
        return false;
    text.resize(static_cast<size_t>(needed));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, static_cast<int>(bytes), text.data(), needed) ==
           needed;
}

HRESULT ParseText(const wchar_t* text, size_t length, ISAXContentHandler* handler)
{
    if (!handler || (!text && length))
        return E_POINTER;
    return Parser(text, length, handler).Run();
}

HRESULT ParseBytes(const BYTE* data, size_t size, ISAXContentHandler* handler)
{
    if (!handler)
        return E_POINTER;
    std::wstring text;
    if (!DecodeToUtf16(data, size, text))
        return E_FAIL;
    // Only the encodings read above: a stream in another one would be misread.
    const std::wstring_view encoding = DeclaredEncoding(text);
    if (!encoding.empty() && !EqualsNoCase(encoding, L"UTF-8") && !EqualsNoCase(encoding, L"UTF-16"))
        return E_FAIL;
    return Parser(text.data(), text.size(), handler).Run();
}

HRESULT ParseStream(IStream* stream, ISAXContentHandler* handler)
{
    if (!stream || !handler)
        return E_POINTER;
    std::vector<BYTE> bytes;
    BYTE chunk[65536];
    for (;;) {
        ULONG got = 0;
        const HRESULT hr = stream->Read(chunk, sizeof(chunk), &got);
        if (FAILED(hr))
            return hr;
        if (got == 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < sizeof(chunk) && hr == S_FALSE)
            break;
    }
    return ParseBytes(bytes.data(), bytes.size(), handler);
}

}  // namespace fastxml
