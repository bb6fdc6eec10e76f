// The XML dictionary file, written and read through the XML DOM component.
#pragma once

#include "dictionary/token_dictionary.h"
#include "platform/xml_dom.h"

// 1 when the document was built and saved, 0 otherwise.
int saveXmlDictionary(TokenDictionary& dictionary);

// 1 when the document was read, 0 when it cannot be created or loaded.
int loadXmlDictionary(TokenDictionary& dictionary);

// Appends the "ELEMENTS" element to a new document and returns it; null on
// failure.
platform::xml::ComPtr<platform::xml::DomNode> appendRootElement(
    const platform::xml::ComPtr<platform::xml::DomDocument>& document);
