// The XML DOM document component over COM: the DOM document of the system's
// XML component (DOMDocument30), wrapped in the small interface the
// dictionary code uses. Every wrapper holds one interface pointer and
// releases it when it goes; every failing result code is raised as a
// ComError carrying the failing interface's error information.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <msxml2.h>

#include <new>
#include <string>

#include "platform/platform.h"
#include "platform/xml_dom.h"

namespace platform::xml {

namespace {

// The class and interface identifiers, written out here so that the build
// needs no import library for them.
constexpr CLSID kWindowsClsidDomDocument30 = {
    0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
constexpr IID kWindowsIidUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kWindowsIidDomDocument = {
    0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID kWindowsIidDomNode = {
    0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID kWindowsIidDomNodeList = {
    0x2933BF82, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID kWindowsIidDomNamedNodeMap = {
    0x2933BF83, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID kWindowsIidDomParseError = {
    0x3EFAA426, 0x272F, 0x11D2, {0x83, 0x6F, 0x00, 0x00, 0xF8, 0x7A, 0x77, 0x82}};
constexpr IID kWindowsIidDomDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID kWindowsIidSupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

// The class contexts the component may come from: in-process server and
// handler, local server and remote server.
constexpr DWORD kWindowsDocumentContext = 0x17;

// ---------------------------------------------------------------------------
// Wide strings, BSTRs and variants.

WideString windowsToWide(const wchar_t* text, size_t length) {
  WideString wide(length, u'\0');
  for (size_t i = 0; i < length; ++i) wide[i] = static_cast<char16_t>(text[i]);
  return wide;
}

// Takes a BSTR the callee allocated and frees it.
WideString windowsTakeBstr(BSTR text) {
  if (text == nullptr) return WideString();
  WideString wide = windowsToWide(text, SysStringLen(text));
  SysFreeString(text);
  return wide;
}

// A BSTR made from a wide text, freed when it goes out of scope.
class WindowsBstr {
 public:
  explicit WindowsBstr(const WideString& text) {
    std::wstring copy(text.size(), L'\0');
    for (size_t i = 0; i < text.size(); ++i) copy[i] = static_cast<wchar_t>(text[i]);
    text_ = SysAllocStringLen(copy.data(), static_cast<UINT>(copy.size()));
    if (text_ == nullptr) throw ComError(kEOutOfMemory);
  }
  ~WindowsBstr() { SysFreeString(text_); }
  WindowsBstr(const WindowsBstr&) = delete;
  WindowsBstr& operator=(const WindowsBstr&) = delete;

  BSTR get() const { return text_; }

 private:
  BSTR text_;
};

// A VARIANT of type VT_BSTR, cleared when it goes out of scope.
class WindowsBstrVariant {
 public:
  explicit WindowsBstrVariant(const WideString& text) {
    VariantInit(&variant_);
    WindowsBstr owned(text);
    V_BSTR(&variant_) = SysAllocStringLen(owned.get(), SysStringLen(owned.get()));
    if (V_BSTR(&variant_) == nullptr) throw ComError(kEOutOfMemory);
    V_VT(&variant_) = VT_BSTR;
  }
  ~WindowsBstrVariant() { VariantClear(&variant_); }
  WindowsBstrVariant(const WindowsBstrVariant&) = delete;
  WindowsBstrVariant& operator=(const WindowsBstrVariant&) = delete;

  const VARIANT& get() const { return variant_; }

 private:
  VARIANT variant_;
};

// ---------------------------------------------------------------------------
// Failures.

// Raises a failing result code as a ComError. The error-information object
// is taken only from an interface that says it supplies one, as a COM
// smart pointer's error handling does.
void windowsCheck(HRESULT result, IUnknown* object, const IID& iid) {
  if (SUCCEEDED(result)) return;
  IErrorInfo* info = nullptr;
  ISupportErrorInfo* support = nullptr;
  if (object != nullptr &&
      SUCCEEDED(object->QueryInterface(kWindowsIidSupportErrorInfo,
                                       reinterpret_cast<void**>(&support)))) {
    if (support->InterfaceSupportsErrorInfo(iid) == S_OK && GetErrorInfo(0, &info) != S_OK) {
      info = nullptr;
    }
    support->Release();
  }
  if (info == nullptr) throw ComError(static_cast<HRESULT>(result));
  BSTR source = nullptr;
  BSTR description = nullptr;
  info->GetSource(&source);
  info->GetDescription(&description);
  info->Release();
  throw ComError(static_cast<HRESULT>(result), windowsTakeBstr(source),
                 windowsTakeBstr(description));
}

// Holds one interface reference for a wrapper and releases it.
template <typename Interface>
class WindowsInterface {
 public:
  explicit WindowsInterface(Interface* pointer) : pointer_(pointer) {}
  ~WindowsInterface() {
    if (pointer_ != nullptr) pointer_->Release();
  }
  WindowsInterface(const WindowsInterface&) = delete;
  WindowsInterface& operator=(const WindowsInterface&) = delete;

  Interface* get() const { return pointer_; }

 private:
  Interface* pointer_;
};

// ---------------------------------------------------------------------------
// The objects.

// What every node wrapper gives: the node interface it wraps, so that a
// node handed back to the component (to append it, to add it as an
// attribute) reaches it as the component's own object.
class WindowsNodeSource {
 public:
  virtual IXMLDOMNode* domNode() const = 0;

 protected:
  ~WindowsNodeSource() = default;
};

IXMLDOMNode* windowsNodeOf(DomNode* node) {
  if (node == nullptr) throw ComError(kEPointer);
  auto* source = dynamic_cast<WindowsNodeSource*>(node);
  if (source == nullptr) throw ComError(kEInvalidArg);
  return source->domNode();
}

ComPtr<DomNode> windowsWrapNode(IXMLDOMNode* node);

class WindowsNodeList : public DomNodeList {
 public:
  explicit WindowsNodeList(IXMLDOMNodeList* list) : list_(list) {}

  long length() override {
    long count = 0;
    windowsCheck(list_.get()->get_length(&count), list_.get(), kWindowsIidDomNodeList);
    return count;
  }

  ComPtr<DomNode> item(long index) override {
    IXMLDOMNode* node = nullptr;
    windowsCheck(list_.get()->get_item(index, &node), list_.get(), kWindowsIidDomNodeList);
    return windowsWrapNode(node);
  }

 private:
  WindowsInterface<IXMLDOMNodeList> list_;
};

class WindowsNamedNodeMap : public DomNamedNodeMap {
 public:
  explicit WindowsNamedNodeMap(IXMLDOMNamedNodeMap* map) : map_(map) {}

  ComPtr<DomNode> getNamedItem(const WideString& name) override {
    WindowsBstr text(name);
    IXMLDOMNode* node = nullptr;
    windowsCheck(map_.get()->getNamedItem(text.get(), &node), map_.get(),
                 kWindowsIidDomNamedNodeMap);
    return windowsWrapNode(node);
  }

  ComPtr<DomNode> setNamedItem(DomNode* attribute) override {
    IXMLDOMNode* added = nullptr;
    windowsCheck(map_.get()->setNamedItem(windowsNodeOf(attribute), &added), map_.get(),
                 kWindowsIidDomNamedNodeMap);
    return windowsWrapNode(added);
  }

 private:
  WindowsInterface<IXMLDOMNamedNodeMap> map_;
};

// The node operations, shared by every node and by the document.
class WindowsNodeOperations {
 protected:
  static std::int32_t nodeTypeOf(IXMLDOMNode* node) {
    DOMNodeType type = NODE_INVALID;
    windowsCheck(node->get_nodeType(&type), node, kWindowsIidDomNode);
    return static_cast<std::int32_t>(type);
  }

  static WideString nodeNameOf(IXMLDOMNode* node) {
    BSTR name = nullptr;
    windowsCheck(node->get_nodeName(&name), node, kWindowsIidDomNode);
    return windowsTakeBstr(name);
  }

  static ComPtr<DomNode> appendChildTo(IXMLDOMNode* node, DomNode* child) {
    IXMLDOMNode* appended = nullptr;
    windowsCheck(node->appendChild(windowsNodeOf(child), &appended), node, kWindowsIidDomNode);
    return windowsWrapNode(appended);
  }

  static ComPtr<DomNamedNodeMap> attributesOf(IXMLDOMNode* node) {
    IXMLDOMNamedNodeMap* map = nullptr;
    windowsCheck(node->get_attributes(&map), node, kWindowsIidDomNode);
    if (map == nullptr) return nullptr;
    return ComPtr<DomNamedNodeMap>(new WindowsNamedNodeMap(map));
  }

  static WideString textOf(IXMLDOMNode* node) {
    BSTR text = nullptr;
    windowsCheck(node->get_text(&text), node, kWindowsIidDomNode);
    return windowsTakeBstr(text);
  }

  static void putTextOf(IXMLDOMNode* node, const WideString& text) {
    WindowsBstr value(text);
    windowsCheck(node->put_text(value.get()), node, kWindowsIidDomNode);
  }

  static ComPtr<DomNode> selectSingleNodeOf(IXMLDOMNode* node, const WideString& pattern) {
    WindowsBstr query(pattern);
    IXMLDOMNode* found = nullptr;
    windowsCheck(node->selectSingleNode(query.get(), &found), node, kWindowsIidDomNode);
    return windowsWrapNode(found);
  }

  static ComPtr<DomNodeList> selectNodesOf(IXMLDOMNode* node, const WideString& pattern) {
    WindowsBstr query(pattern);
    IXMLDOMNodeList* list = nullptr;
    windowsCheck(node->selectNodes(query.get(), &list), node, kWindowsIidDomNode);
    if (list == nullptr) return nullptr;
    return ComPtr<DomNodeList>(new WindowsNodeList(list));
  }
};

class WindowsNode : public DomNode, public WindowsNodeSource, private WindowsNodeOperations {
 public:
  explicit WindowsNode(IXMLDOMNode* node) : node_(node) {}

  IXMLDOMNode* domNode() const override { return node_.get(); }

  std::int32_t nodeType() override { return nodeTypeOf(node_.get()); }
  WideString nodeName() override { return nodeNameOf(node_.get()); }
  ComPtr<DomNode> appendChild(DomNode* child) override {
    return appendChildTo(node_.get(), child);
  }
  ComPtr<DomNamedNodeMap> attributes() override { return attributesOf(node_.get()); }
  WideString getText() override { return textOf(node_.get()); }
  void putText(const WideString& text) override { putTextOf(node_.get(), text); }
  ComPtr<DomNode> selectSingleNode(const WideString& pattern) override {
    return selectSingleNodeOf(node_.get(), pattern);
  }
  ComPtr<DomNodeList> selectNodes(const WideString& pattern) override {
    return selectNodesOf(node_.get(), pattern);
  }

 private:
  WindowsInterface<IXMLDOMNode> node_;
};

// Takes over the reference a component call returned; null stays null
// (a lookup that found nothing).
ComPtr<DomNode> windowsWrapNode(IXMLDOMNode* node) {
  if (node == nullptr) return nullptr;
  return ComPtr<DomNode>(new WindowsNode(node));
}

class WindowsParseError : public DomParseError {
 public:
  explicit WindowsParseError(IXMLDOMParseError* error) : error_(error) {}

  HRESULT errorCode() override {
    long code = 0;
    windowsCheck(error_.get()->get_errorCode(&code), error_.get(), kWindowsIidDomParseError);
    return static_cast<HRESULT>(code);
  }
  WideString reason() override {
    BSTR text = nullptr;
    windowsCheck(error_.get()->get_reason(&text), error_.get(), kWindowsIidDomParseError);
    return windowsTakeBstr(text);
  }
  long line() override {
    long value = 0;
    windowsCheck(error_.get()->get_line(&value), error_.get(), kWindowsIidDomParseError);
    return value;
  }
  long linepos() override {
    long value = 0;
    windowsCheck(error_.get()->get_linepos(&value), error_.get(), kWindowsIidDomParseError);
    return value;
  }

 private:
  WindowsInterface<IXMLDOMParseError> error_;
};

class WindowsDocument : public DomDocument,
                        public WindowsNodeSource,
                        private WindowsNodeOperations {
 public:
  explicit WindowsDocument(IXMLDOMDocument* document) : document_(document) {}

  IXMLDOMNode* domNode() const override { return document_.get(); }

  std::int32_t nodeType() override { return nodeTypeOf(domNode()); }
  WideString nodeName() override { return nodeNameOf(domNode()); }
  ComPtr<DomNode> appendChild(DomNode* child) override { return appendChildTo(domNode(), child); }
  ComPtr<DomNamedNodeMap> attributes() override { return attributesOf(domNode()); }
  WideString getText() override { return textOf(domNode()); }
  void putText(const WideString& text) override { putTextOf(domNode(), text); }
  ComPtr<DomNode> selectSingleNode(const WideString& pattern) override {
    return selectSingleNodeOf(domNode(), pattern);
  }
  ComPtr<DomNodeList> selectNodes(const WideString& pattern) override {
    return selectNodesOf(domNode(), pattern);
  }

  bool load(const WideString& path) override {
    WindowsBstrVariant source(path);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    windowsCheck(document_.get()->load(source.get(), &loaded), document_.get(),
                 kWindowsIidDomDocument);
    return loaded != VARIANT_FALSE;
  }

  void save(const WideString& path) override {
    WindowsBstrVariant destination(path);
    windowsCheck(document_.get()->save(destination.get()), document_.get(),
                 kWindowsIidDomDocument);
  }

  ComPtr<DomParseError> parseError() override {
    IXMLDOMParseError* error = nullptr;
    windowsCheck(document_.get()->get_parseError(&error), document_.get(),
                 kWindowsIidDomDocument);
    if (error == nullptr) return nullptr;
    return ComPtr<DomParseError>(new WindowsParseError(error));
  }

  ComPtr<DomNode> documentElement() override {
    IXMLDOMElement* element = nullptr;
    windowsCheck(document_.get()->get_documentElement(&element), document_.get(),
                 kWindowsIidDomDocument);
    if (element == nullptr) return nullptr;
    IXMLDOMNode* node = nullptr;
    const HRESULT result =
        element->QueryInterface(kWindowsIidDomNode, reinterpret_cast<void**>(&node));
    element->Release();
    windowsCheck(result, nullptr, kWindowsIidDomNode);
    return windowsWrapNode(node);
  }

  ComPtr<DomNode> createNode(std::int32_t type, const WideString& name,
                             const WideString& namespaceUri) override {
    VARIANT nodeType;
    VariantInit(&nodeType);
    V_VT(&nodeType) = VT_I4;
    V_I4(&nodeType) = type;
    WindowsBstr nodeName(name);
    WindowsBstr uri(namespaceUri);
    IXMLDOMNode* node = nullptr;
    windowsCheck(document_.get()->createNode(nodeType, nodeName.get(), uri.get(), &node),
                 document_.get(), kWindowsIidDomDocument);
    return windowsWrapNode(node);
  }

 private:
  WindowsInterface<IXMLDOMDocument> document_;
};

}  // namespace

bool formatSystemMessage(HRESULT code, std::string* text) {
  if (text == nullptr) return false;
  text->clear();
  char* message = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<LPSTR>(&message), 0, nullptr);
  if (length == 0 || message == nullptr) return false;
  text->assign(message, length);
  ::LocalFree(message);
  return true;
}

namespace {

// The component's defaults for version 3.0 read a document type
// declaration and fetch the external entities it names, so that a
// dictionary file could make the tool read other files or reach other
// hosts. A dictionary never has one: external references are switched off
// and documents with a declaration are refused where the component knows
// the setting (it does from its third service pack on).
HRESULT windowsRefuseDocumentTypes(IXMLDOMDocument* document) {
  const HRESULT result = document->put_resolveExternals(VARIANT_FALSE);
  if (FAILED(result)) return result;
  IXMLDOMDocument2* document2 = nullptr;
  if (SUCCEEDED(document->QueryInterface(kWindowsIidDomDocument2,
                                         reinterpret_cast<void**>(&document2)))) {
    VARIANT prohibit;
    VariantInit(&prohibit);
    V_VT(&prohibit) = VT_BOOL;
    V_BOOL(&prohibit) = VARIANT_TRUE;
    BSTR name = SysAllocString(L"ProhibitDTD");
    if (name != nullptr) {
      document2->setProperty(name, prohibit);
      SysFreeString(name);
    }
    document2->Release();
  }
  return S_OK;
}

}  // namespace

HRESULT createDomDocument30(ComPtr<DomDocument>* out) {
  if (out == nullptr) return kEPointer;
  out->reset();
  IUnknown* unknown = nullptr;
  HRESULT result = ::CoCreateInstance(kWindowsClsidDomDocument30, nullptr,
                                      kWindowsDocumentContext, kWindowsIidUnknown,
                                      reinterpret_cast<void**>(&unknown));
  if (FAILED(result)) return static_cast<HRESULT>(result);
  IXMLDOMDocument* document = nullptr;
  result = ::OleRun(unknown);
  if (SUCCEEDED(result)) {
    result = unknown->QueryInterface(kWindowsIidDomDocument, reinterpret_cast<void**>(&document));
  }
  unknown->Release();
  if (FAILED(result)) return static_cast<HRESULT>(result);
  result = windowsRefuseDocumentTypes(document);
  if (FAILED(result)) {
    document->Release();
    return static_cast<HRESULT>(result);
  }
  try {
    *out = ComPtr<DomDocument>(new WindowsDocument(document));
  } catch (const std::bad_alloc&) {
    document->Release();
    return kEOutOfMemory;
  }
  return kSOk;
}

}  // namespace platform::xml
