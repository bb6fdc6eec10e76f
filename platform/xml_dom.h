// The XML DOM document component, as the XML dictionary layer reaches it.
//
// On Windows this is the MSXML 3.0 DOM document (DOMDocument30) over COM;
// elsewhere a stand-in over pugixml. The classes below are the small set of
// document, node, node-list, attribute-map and parse-error operations the
// dictionary code calls, shaped like the COM interfaces they stand for
// (IXMLDOMDocument, IXMLDOMNode, IXMLDOMNodeList, IXMLDOMNamedNodeMap,
// IXMLDOMParseError): an implementation may be a thin wrapper that holds one
// COM interface pointer and releases it in its destructor.
//
// Error model: every operation that fails throws ComError carrying the
// result code and, where the component supplied one, the source and
// description of its error-information object. Success codes other than
// S_OK are not errors: a lookup that finds nothing returns a null pointer.
// Calling through a null ComPtr throws ComError(kEPointer) without
// error information, as a COM smart pointer does.
//
// Objects are reference counted: ComPtr<T> holds one reference and drops it
// when it goes out of scope or is reassigned. A new object starts with no
// reference; the first ComPtr to hold it takes one.
//
// Text crossing this interface is UTF-16 (std::u16string, the BSTR of COM);
// converting it from and to the ANSI code page is the caller's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

namespace platform::xml {

// ---------------------------------------------------------------------------
// Result codes (HRESULT). Names carry a k prefix because the Windows headers
// define the plain names as macros.

using HRESULT = std::int32_t;

constexpr HRESULT kSOk = 0;
constexpr HRESULT kSFalse = 1;
constexpr HRESULT kEUnexpected = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT kENotImpl = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT kEPointer = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT kEFail = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT kEOutOfMemory = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT kEInvalidArg = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT kCoENotInitialized = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT kRegdbEClassNotReg = static_cast<HRESULT>(0x80040154u);

constexpr bool succeeded(HRESULT code) { return code >= 0; }
constexpr bool failed(HRESULT code) { return code < 0; }

// A wide (UTF-16) text, the BSTR of COM.
using WideString = std::u16string;

// ---------------------------------------------------------------------------
// The error a failing call raises (the _com_error of COM).

class ComError {
 public:
  // An error without an error-information object: source and description
  // are absent.
  explicit ComError(HRESULT code) : code_(code), hasErrorInfo_(false) {}
  // An error whose component supplied an error-information object.
  ComError(HRESULT code, WideString source, WideString description)
      : code_(code),
        hasErrorInfo_(true),
        source_(std::move(source)),
        description_(std::move(description)) {}

  HRESULT error() const { return code_; }
  bool hasErrorInfo() const { return hasErrorInfo_; }
  // Empty when there is no error-information object.
  const WideString& source() const { return source_; }
  const WideString& description() const { return description_; }

 private:
  HRESULT code_;
  bool hasErrorInfo_;
  WideString source_;
  WideString description_;
};

// Writes the system's message text for code into *text (FormatMessage from
// the system message table). The text is as the system gives it and may
// end with a line end. False, with *text empty, when the system has no text
// for the code.
bool formatSystemMessage(HRESULT code, std::string* text);

// ---------------------------------------------------------------------------
// Reference counting.

// The base of every DOM object: an intrusive reference count.
class ComObject {
 public:
  ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  void addRef() { ++references_; }
  void release() {
    if (--references_ == 0) delete this;
  }

 protected:
  virtual ~ComObject() = default;

 private:
  long references_ = 0;
};

// Holds one reference to a DOM object (the _com_ptr_t of COM).
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to object (which may be null).
  ComPtr(T* object) : object_(object) {
    if (object_ != nullptr) object_->addRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.object_) {}
  ComPtr(ComPtr&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  // From a pointer to a derived interface (a document is a node).
  template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(const ComPtr<U>& other) : ComPtr(static_cast<T*>(other.get())) {}
  ~ComPtr() { reset(); }

  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }

  // Drops the reference held, leaving the pointer null.
  void reset() {
    T* old = object_;
    object_ = nullptr;
    if (old != nullptr) old->release();
  }

  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  // Calls through a null pointer raise E_POINTER instead of crashing.
  T* operator->() const {
    if (object_ == nullptr) throw ComError(kEPointer);
    return object_;
  }
  T& operator*() const { return *operator->(); }

 private:
  T* object_ = nullptr;
};

// ---------------------------------------------------------------------------
// The DOM interfaces.

// Node types as createNode takes them (the VT_I4 of its VARIANT).
constexpr std::int32_t kNodeElement = 1;
constexpr std::int32_t kNodeAttribute = 2;

class DomNamedNodeMap;
class DomNodeList;

// IXMLDOMNode: an element, an attribute or the document itself.
class DomNode : public ComObject {
 public:
  // The node's type (kNodeElement, kNodeAttribute; 9 for the document, 3
  // for a text node).
  virtual std::int32_t nodeType() = 0;
  // The element's or attribute's name; "#document" for the document.
  virtual WideString nodeName() = 0;

  // Appends child as this node's last child, moving it from wherever it
  // stood, and returns it. Throws when child is null (E_POINTER), when the
  // node cannot hold it (an attribute, a second document element) or when it
  // would become its own descendant.
  virtual ComPtr<DomNode> appendChild(DomNode* child) = 0;

  // The element's attribute map; null for a node that has no attributes
  // (an attribute, the document).
  virtual ComPtr<DomNamedNodeMap> attributes() = 0;

  // An attribute's value, or the text of an element or document: the
  // concatenated text of all its descendant text nodes.
  virtual WideString getText() = 0;
  // Sets an attribute's value, or replaces an element's children with one
  // text node. The stand-in refuses texts holding a character that XML 1.0
  // cannot carry (the controls other than tab, line feed and carriage
  // return) with E_INVALIDARG, since the document written from them could
  // not be read back.
  virtual void putText(const WideString& text) = 0;

  // The first node in document order that the pattern selects from this
  // node, or null when none does.
  virtual ComPtr<DomNode> selectSingleNode(const WideString& pattern) = 0;
  // Every node the pattern selects from this node, in document order.
  virtual ComPtr<DomNodeList> selectNodes(const WideString& pattern) = 0;
};

// IXMLDOMNodeList.
class DomNodeList : public ComObject {
 public:
  virtual long length() = 0;
  // The node at index (from 0), null when index is out of range.
  virtual ComPtr<DomNode> item(long index) = 0;
};

// IXMLDOMNamedNodeMap: the attributes of one element.
class DomNamedNodeMap : public ComObject {
 public:
  // The attribute of that name, or null.
  virtual ComPtr<DomNode> getNamedItem(const WideString& name) = 0;
  // Adds an attribute node made by createNode to the element, replacing an
  // attribute of the same name, and returns it.
  virtual ComPtr<DomNode> setNamedItem(DomNode* attribute) = 0;
};

// IXMLDOMParseError: why the last load failed.
class DomParseError : public ComObject {
 public:
  virtual HRESULT errorCode() = 0;
  virtual WideString reason() = 0;
  virtual long line() = 0;     // 1-based; 0 when the fault is not in the text
  virtual long linepos() = 0;  // 1-based character in the line; 0 as for line
};

// IXMLDOMDocument.
class DomDocument : public DomNode {
 public:
  // Reads the file at path, replacing the document's content. False when
  // the file cannot be read or is not a well-formed document; parseError()
  // then says why. Documents with a document type declaration are refused.
  virtual bool load(const WideString& path) = 0;
  // Writes the document to path. Throws when it cannot be written.
  virtual void save(const WideString& path) = 0;
  virtual ComPtr<DomParseError> parseError() = 0;
  // The root element, null when the document has none.
  virtual ComPtr<DomNode> documentElement() = 0;
  // A new element or attribute (kNodeElement, kNodeAttribute) of this
  // document, outside its tree until appended or added.
  virtual ComPtr<DomNode> createNode(std::int32_t type, const WideString& name,
                                     const WideString& namespaceUri) = 0;
};

// Creates a DOM document component: CoCreateInstance of DOMDocument30 for
// IUnknown with the class context 0x17, OleRun, then QueryInterface for
// IXMLDOMDocument. Returns the first failing result code with *out null, or
// S_OK with *out holding the document. Fails with CO_E_NOTINITIALIZED when
// COM is not initialised on the calling thread.
HRESULT createDomDocument30(ComPtr<DomDocument>* out);

}  // namespace platform::xml
