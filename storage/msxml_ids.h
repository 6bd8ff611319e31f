#pragma once
// Class and interface ids of MSXML 6 that MinGW's headers and import libraries do not supply.
// Our own names, so they never clash with a definition that a later toolchain may add.
#include <windows.h>
#include <msxml2.h>

namespace msxml {
extern const CLSID CLSID_DOMDocument60;
extern const CLSID CLSID_SAXXMLReader60;
extern const CLSID CLSID_MXXMLWriter60;
extern const CLSID CLSID_SAXAttributes60;

extern const IID IID_IXMLDOMDocument2;
extern const IID IID_ISAXXMLReader;
extern const IID IID_ISAXContentHandler;
extern const IID IID_ISAXLexicalHandler;
extern const IID IID_ISAXAttributes;
extern const IID IID_IMXWriter;
extern const IID IID_IMXAttributes;
}  // namespace msxml
