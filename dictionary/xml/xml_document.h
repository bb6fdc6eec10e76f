// The layer between the XML dictionary format and the DOM document
// component: creating a document (the component's version comes from the
// registry), loading one with a printed parse-error report, building an
// element with up to two attributes and a text, printing the report of a
// COM error, and converting text between the ANSI code page and the wide
// strings the component takes.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xml_dom.h"

// The component version: 0 until the first document is created, then 3, 4
// or 6 for the rest of the process. Only version 3 can be created.
extern int xmlVersion;

// A new document, or null when none can be created: the failure goes to the
// event log and failureMessage (unless empty) is printed on its own line.
platform::xml::ComPtr<platform::xml::DomDocument> createXmlDocument(const char* failureMessage);

// Reads the file at path (ANSI text) into document and returns its root
// element; null on any failure, after printing the parse-error report or
// the COM error report.
platform::xml::ComPtr<platform::xml::DomNode> loadXmlDocument(
    const platform::xml::ComPtr<platform::xml::DomDocument>& document, const char* path);

// Creates an element named name with the attributes attribute1 and
// attribute2 in that order (a null name leaves one out) and the text (null:
// none), appends it as parent's last child and returns it. Null on any
// failure, after printing the COM error report.
platform::xml::ComPtr<platform::xml::DomNode> appendElement(
    const platform::xml::ComPtr<platform::xml::DomDocument>& document,
    const platform::xml::ComPtr<platform::xml::DomNode>& parent, const char* name,
    const char* attribute1Name, const char* attribute1Value, const char* attribute2Name,
    const char* attribute2Value, const char* text);

// Prints the report of a caught COM error: its code, the system's meaning
// of the code, and the source and description of its error information
// (printed empty when the error carries none).
void reportComError(const platform::xml::ComError& error);

// Converts text to the ANSI code page into buffer (size bytes, terminator
// included) and returns buffer. When the text does not fit, buffer holds
// the empty string and the result is null.
char* toNarrow(const platform::xml::WideString& text, char* buffer, int size);

// The whole of text in the ANSI code page; empty when it cannot be
// converted.
std::string toNarrowString(const platform::xml::WideString& text);

// Converts narrow text in codePage into *out. S_OK; E_UNEXPECTED when the
// text cannot be converted; E_OUTOFMEMORY when the result cannot be
// allocated.
platform::xml::HRESULT toWide(const char* text, unsigned codePage, platform::xml::WideString* out);
