#pragma once
// A small streaming XML reader for the set streams that the program writes itself. It drives an
// ordinary SAX content handler, but runs in-process and without the per-callback cost of the system's
// SAX reader, which is slow on large sets and does not scale across threads.
//
// It reads elements (with or without a namespace prefix; namespace URIs are resolved from xmlns
// declarations), attributes, text, CDATA sections, the five predefined entities and numeric character
// references. The XML declaration, processing instructions and comments are skipped. A document type
// declaration is refused: the program never writes one. Input is UTF-8 or UTF-16 (either byte order),
// with or without a byte-order mark. Attributes are checked but not handed on: the handler receives a
// null attribute list, so it must not need them.
//
// Malformed input fails cleanly with E_FAIL (never reading outside the buffer); a handler's failure
// stops the parse and is returned as it is.
#include <windows.h>
#include <msxml2.h>

#include <cstddef>
#include <string>

namespace fastxml {

// Deepest element nesting accepted; deeper input is treated as malformed.
constexpr int kMaxDepth = 256;

// Decodes the bytes of a stream to UTF-16 (see above). False for undecodable input.
bool DecodeToUtf16(const BYTE* data, size_t size, std::wstring& text);

// Parses a whole document held in memory.
HRESULT ParseBytes(const BYTE* data, size_t size, ISAXContentHandler* handler);
HRESULT ParseText(const wchar_t* text, size_t length, ISAXContentHandler* handler);

// Reads the rest of a stream into memory and parses it.
HRESULT ParseStream(IStream* stream, ISAXContentHandler* handler);

}  // namespace fastxml
