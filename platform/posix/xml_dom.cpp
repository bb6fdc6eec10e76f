// The XML DOM document component of the POSIX stand-in, over pugixml.
//
// A document keeps its tree in one pugixml document. Nodes made by
// createNode but not yet appended anywhere live under a hidden element of
// that same document (its name is empty, which no parsed or created element
// can have), so that appending moves them inside one pugixml document and
// every wrapper handed out keeps pointing at a live node. Nodes are never
// freed while the document lives: a node displaced by putText is moved to
// the hidden element, and the tree a load replaces is kept until the
// document goes.
//
// Every walk over the tree is iterative, so a deeply nested document costs
// memory but never the stack.
#include "platform/xml_dom.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_set>
#include <vector>

#include "platform/platform.h"

namespace platform::xml {

namespace {

const char16_t kComponentSource[] = u"XML DOM document";

// Parse error codes of the stand-in: a file that cannot be opened gives the
// code of a resource that cannot be found; a text that is not well formed
// gives kParseErrorBase plus the parser's status.
constexpr HRESULT kResourceNotFound = static_cast<HRESULT>(0x800C0005u);
constexpr HRESULT kParseErrorBase = static_cast<HRESULT>(0xC00CE500u);
constexpr HRESULT kInvalidCharacter = static_cast<HRESULT>(0xC00CE5F0u);
constexpr HRESULT kDtdProhibited = static_cast<HRESULT>(0xC00CE5F1u);
constexpr HRESULT kOneTopLevelElement = static_cast<HRESULT>(0xC00CE5F2u);
constexpr HRESULT kTextOutsideElement = static_cast<HRESULT>(0xC00CE5F3u);
constexpr HRESULT kNestedTooDeeply = static_cast<HRESULT>(0xC00CE5F4u);

// The deepest nesting of elements a document may have. Reading the text of
// an element walks everything below it, so a reader that asks each of n
// nested elements for its text does n * n / 2 steps: without a bound a
// one-megabyte file of nested elements kept a load busy for minutes. A
// dictionary needs three levels.
constexpr int kDeepestElementNesting = 256;

constexpr std::int32_t kNodeDocument = 9;

// ---------------------------------------------------------------------------
// UTF-16 <-> UTF-8.

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// A lone surrogate becomes U+FFFD.
std::string toUtf8(const WideString& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    appendUtf8(out, c);
  }
  return out;
}

// A byte that does not begin a valid sequence becomes U+FFFD.
WideString fromUtf8(const char* text) {
  WideString out;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    unsigned char b = *p;
    char32_t c = 0xFFFD;
    int extra = 0;
    char32_t minimum = 0;
    if (b < 0x80) {
      c = b;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F, extra = 1, minimum = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F, extra = 2, minimum = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07, extra = 3, minimum = 0x10000;
    }
    int taken = 1;
    if (extra > 0) {
      for (; taken <= extra; ++taken) {
        if ((p[taken] & 0xC0) != 0x80) break;
        c = (c << 6) | (p[taken] & 0x3F);
      }
      if (taken <= extra || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        c = 0xFFFD;
        taken = 1;
      }
    } else if (b >= 0x80) {
      c = 0xFFFD;
    }
    p += taken;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

[[noreturn]] void raise(HRESULT code, const char* description) {
  throw ComError(code, kComponentSource, fromUtf8(description));
}

// Characters XML 1.0 cannot carry, not even as a character reference.
bool isForbiddenControl(char32_t c) {
  return c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D;
}

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A name the serialiser can write back as a name.
bool isAcceptableName(const WideString& name) {
  if (name.empty()) return false;
  static const char16_t kRefused[] = u" \t\r\n<>&\"'/=!?;,()[]{}@#$%^*+|\\`~";
  char16_t first = name[0];
  if ((first >= u'0' && first <= u'9') || first == u'-' || first == u'.') return false;
  for (char16_t c : name) {
    if (c < 0x20 || std::char_traits<char16_t>::find(kRefused, sizeof kRefused / 2 - 1, c))
      return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// The document's storage.

struct Store {
  std::unique_ptr<pugi::xml_document> doc;
  pugi::xml_node orphanage;  // parent of nodes created and not yet appended
  std::vector<std::unique_ptr<pugi::xml_document>> retired;  // trees replaced by a load
  HRESULT errorCode = kSOk;
  WideString reason;
  long line = 0;
  long linepos = 0;

  // Starts an empty tree, keeping the old one alive for wrappers that
  // still point into it.
  void renew() {
    if (doc) retired.push_back(std::move(doc));
    doc = std::make_unique<pugi::xml_document>();
    makeOrphanage();
  }
  void makeOrphanage() {
    orphanage = doc->append_child(pugi::node_element);
    if (!orphanage) throw std::bad_alloc();
  }
};

using StorePtr = std::shared_ptr<Store>;

// The holder of unattached nodes is the one element without a name.
bool isHidden(const pugi::xml_node& node) {
  return node.type() == pugi::node_element && node.name()[0] == '\0';
}

pugi::xml_node firstVisibleChild(const pugi::xml_node& node) {
  pugi::xml_node child = node.first_child();
  while (child && isHidden(child)) child = child.next_sibling();
  return child;
}

pugi::xml_node nextVisibleSibling(const pugi::xml_node& node) {
  pugi::xml_node next = node.next_sibling();
  while (next && isHidden(next)) next = next.next_sibling();
  return next;
}

// The next node of root's subtree in document order after node; descend
// false skips node's own subtree. Empty at the end of the subtree.
pugi::xml_node nextInSubtree(const pugi::xml_node& root, pugi::xml_node node, bool descend) {
  if (descend) {
    pugi::xml_node child = firstVisibleChild(node);
    if (child) return child;
  }
  while (node != root) {
    pugi::xml_node next = nextVisibleSibling(node);
    if (next) return next;
    node = node.parent();
  }
  return pugi::xml_node();
}

// The concatenated text of the text nodes below node, trimmed of white
// space at both ends (the text nodes between elements are not kept, so the
// white space of an indented file does not reach the caller).
std::string collectText(const pugi::xml_node& node) {
  std::string text;
  for (pugi::xml_node n = node; n; n = nextInSubtree(node, n, true)) {
    if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) text += n.value();
  }
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && isXmlSpace(text[begin])) ++begin;
  while (end > begin && isXmlSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// ---------------------------------------------------------------------------
// Selection patterns: location paths of name tests ("NAME" or "*") joined by
// "/" (child) or "//" (descendant), absolute when they begin with "/".

struct Step {
  bool descendant;
  std::string name;  // "*" for any element
};

std::vector<Step> parsePattern(const WideString& pattern, bool* absolute) {
  std::string text = toUtf8(pattern);
  std::vector<Step> steps;
  size_t i = 0;
  *absolute = !text.empty() && text[0] == '/';
  bool descendant = false;
  if (*absolute) {
    if (text.compare(0, 2, "//") == 0) {
      descendant = true;
      i = 2;
    } else {
      i = 1;
    }
    if (i == text.size() && !descendant) return steps;  // "/": the document
  }
  while (true) {
    size_t end = text.find('/', i);
    std::string name = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
    if (name.empty()) raise(kEFail, "Expected a name in the selection pattern.");
    if (name != "*") {
      for (char c : name) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  c == '_' || c == '-' || static_cast<unsigned char>(c) >= 0x80;
        if (!ok) raise(kEFail, "The selection pattern is not supported by this component.");
      }
    }
    steps.push_back(Step{descendant, name});
    if (end == std::string::npos) break;
    i = end + 1;
    descendant = false;
    if (i < text.size() && text[i] == '/') {
      descendant = true;
      ++i;
    }
  }
  return steps;
}

// The elements the pattern selects from context, in document order.
std::vector<pugi::xml_node> evaluate(const pugi::xml_node& context, const WideString& pattern) {
  bool absolute = false;
  std::vector<Step> steps = parsePattern(pattern, &absolute);
  pugi::xml_node root = absolute ? context.root() : context;
  std::vector<pugi::xml_node> current{root};
  std::unordered_set<const void*> members{root.internal_object()};
  for (const Step& step : steps) {
    // One walk over root's subtree in document order; `inside` counts the
    // members among the ancestors of the node visited.
    std::vector<pugi::xml_node> next;
    int inside = 0;
    pugi::xml_node node = root;
    while (true) {
      if (node != root && node.type() == pugi::node_element &&
          (step.name == "*" || step.name == node.name())) {
        bool selected = step.descendant
                            ? inside > 0
                            : members.count(node.parent().internal_object()) != 0;
        if (selected) next.push_back(node);
      }
      pugi::xml_node child = firstVisibleChild(node);
      if (child) {
        if (members.count(node.internal_object()) != 0) ++inside;
        node = child;
        continue;
      }
      while (node != root) {
        pugi::xml_node sibling = nextVisibleSibling(node);
        if (sibling) {
          node = sibling;
          break;
        }
        node = node.parent();
        if (members.count(node.internal_object()) != 0) --inside;
      }
      if (node == root) break;
    }
    current.swap(next);
    members.clear();
    for (const auto& n : current) members.insert(n.internal_object());
    if (current.empty()) break;
  }
  return current;
}

// ---------------------------------------------------------------------------
// The objects.

class PosixNodeList;
ComPtr<DomNode> wrapNode(const StorePtr& store, const pugi::xml_node& node);

// Operations shared by elements and the document.
class TreeNode {
 public:
  virtual ~TreeNode() = default;
  virtual pugi::xml_node treeNode() const = 0;
  virtual const StorePtr& store() const = 0;
};

class PosixAttribute : public DomNode {
 public:
  PosixAttribute(StorePtr store, WideString name) : store_(std::move(store)), name_(std::move(name)) {}
  PosixAttribute(StorePtr store, pugi::xml_node element, pugi::xml_attribute attribute)
      : store_(std::move(store)), element_(element), attribute_(attribute) {}

  std::int32_t nodeType() override { return kNodeAttribute; }
  WideString nodeName() override { return attribute_ ? fromUtf8(attribute_.name()) : name_; }
  ComPtr<DomNode> appendChild(DomNode*) override {
    raise(kEFail, "This operation cannot be performed with a node of type ATTRIBUTE.");
  }
  ComPtr<DomNamedNodeMap> attributes() override { return nullptr; }
  WideString getText() override { return attribute_ ? fromUtf8(attribute_.value()) : value_; }
  void putText(const WideString& text) override {
    for (char16_t c : text) {
      if (isForbiddenControl(c)) raise(kEInvalidArg, "The text holds a character that XML cannot carry.");
    }
    if (attribute_) {
      if (!attribute_.set_value(toUtf8(text).c_str())) throw ComError(kEOutOfMemory);
    } else {
      value_ = text;
    }
  }
  // An attribute holds no elements: nothing is selected from it.
  ComPtr<DomNode> selectSingleNode(const WideString& pattern) override {
    bool absolute;
    parsePattern(pattern, &absolute);
    return nullptr;
  }
  ComPtr<DomNodeList> selectNodes(const WideString& pattern) override;

  bool attached() const { return static_cast<bool>(attribute_); }
  pugi::xml_node element() const { return element_; }
  const StorePtr& store() const { return store_; }
  void attach(pugi::xml_node element, pugi::xml_attribute attribute) {
    element_ = element;
    attribute_ = attribute;
    name_.clear();
    value_.clear();
  }

 private:
  StorePtr store_;
  // Unattached: the name and value. Attached: the element and attribute.
  WideString name_;
  WideString value_;
  pugi::xml_node element_;
  pugi::xml_attribute attribute_;
};

class PosixNamedNodeMap : public DomNamedNodeMap {
 public:
  PosixNamedNodeMap(StorePtr store, pugi::xml_node element)
      : store_(std::move(store)), element_(element) {}

  ComPtr<DomNode> getNamedItem(const WideString& name) override {
    pugi::xml_attribute attribute = element_.attribute(toUtf8(name).c_str());
    if (!attribute) return nullptr;
    return ComPtr<DomNode>(new PosixAttribute(store_, element_, attribute));
  }

  ComPtr<DomNode> setNamedItem(DomNode* node) override {
    if (node == nullptr) throw ComError(kEPointer);
    auto* attribute = dynamic_cast<PosixAttribute*>(node);
    if (attribute == nullptr || attribute->store() != store_)
      raise(kEInvalidArg, "The node is not an attribute of this document.");
    if (attribute->attached()) {
      if (attribute->element() == element_) return ComPtr<DomNode>(node);
      raise(kEFail, "The attribute already belongs to another element.");
    }
    std::string name = toUtf8(attribute->nodeName());
    std::string value = toUtf8(attribute->getText());
    pugi::xml_attribute target = element_.attribute(name.c_str());
    if (!target) target = element_.append_attribute(name.c_str());
    if (!target || !target.set_value(value.c_str())) throw ComError(kEOutOfMemory);
    attribute->attach(element_, target);
    return ComPtr<DomNode>(node);
  }

 private:
  StorePtr store_;
  pugi::xml_node element_;
};

class PosixNodeList : public DomNodeList {
 public:
  PosixNodeList(StorePtr store, std::vector<pugi::xml_node> nodes)
      : store_(std::move(store)), nodes_(std::move(nodes)) {}
  long length() override { return static_cast<long>(nodes_.size()); }
  ComPtr<DomNode> item(long index) override {
    if (index < 0 || static_cast<size_t>(index) >= nodes_.size()) return nullptr;
    return wrapNode(store_, nodes_[static_cast<size_t>(index)]);
  }

 private:
  StorePtr store_;
  std::vector<pugi::xml_node> nodes_;
};

ComPtr<DomNodeList> PosixAttribute::selectNodes(const WideString& pattern) {
  bool absolute;
  parsePattern(pattern, &absolute);
  return ComPtr<DomNodeList>(new PosixNodeList(store_, {}));
}

// Shared code of the element and the document, which differ only in where
// their pugixml node comes from.
ComPtr<DomNode> appendChildTo(const StorePtr& store, pugi::xml_node parent, DomNode* child) {
  if (child == nullptr) throw ComError(kEPointer);
  auto* tree = dynamic_cast<TreeNode*>(child);
  if (tree == nullptr || child->nodeType() != kNodeElement)
    raise(kEFail, "This operation cannot be performed with a node of that type.");
  if (tree->store() != store) raise(kEInvalidArg, "The node belongs to another document.");
  pugi::xml_node node = tree->treeNode();
  if (parent.type() == pugi::node_document) {
    for (pugi::xml_node n = firstVisibleChild(parent); n; n = nextVisibleSibling(n)) {
      if (n.type() == pugi::node_element && n != node)
        raise(kEFail, "Only one top level element is allowed in an XML document.");
    }
  }
  if (!parent.append_move(node))
    raise(kEFail, "The node cannot be inserted below itself or into another tree.");
  return ComPtr<DomNode>(child);
}

void putElementText(const StorePtr& store, pugi::xml_node element, const WideString& text) {
  for (char16_t c : text) {
    if (isForbiddenControl(c)) raise(kEInvalidArg, "The text holds a character that XML cannot carry.");
  }
  // Text nodes are never handed out and can go; elements may still be held
  // by a caller and are moved aside instead.
  while (pugi::xml_node child = element.first_child()) {
    if (child.type() == pugi::node_element) {
      if (!store->orphanage.append_move(child)) throw ComError(kEUnexpected);
    } else {
      element.remove_child(child);
    }
  }
  if (!text.empty()) {
    pugi::xml_node pcdata = element.append_child(pugi::node_pcdata);
    if (!pcdata || !pcdata.set_value(toUtf8(text).c_str())) throw ComError(kEOutOfMemory);
  }
}

ComPtr<DomNode> selectFirst(const StorePtr& store, const pugi::xml_node& context,
                            const WideString& pattern) {
  std::vector<pugi::xml_node> nodes = evaluate(context, pattern);
  if (nodes.empty()) return nullptr;
  return wrapNode(store, nodes.front());
}

class PosixElement : public DomNode, public TreeNode {
 public:
  PosixElement(StorePtr store, pugi::xml_node node) : store_(std::move(store)), node_(node) {}

  std::int32_t nodeType() override { return kNodeElement; }
  WideString nodeName() override { return fromUtf8(node_.name()); }
  ComPtr<DomNode> appendChild(DomNode* child) override { return appendChildTo(store_, node_, child); }
  ComPtr<DomNamedNodeMap> attributes() override {
    return ComPtr<DomNamedNodeMap>(new PosixNamedNodeMap(store_, node_));
  }
  WideString getText() override { return fromUtf8(collectText(node_).c_str()); }
  void putText(const WideString& text) override { putElementText(store_, node_, text); }
  ComPtr<DomNode> selectSingleNode(const WideString& pattern) override {
    return selectFirst(store_, node_, pattern);
  }
  ComPtr<DomNodeList> selectNodes(const WideString& pattern) override {
    return ComPtr<DomNodeList>(new PosixNodeList(store_, evaluate(node_, pattern)));
  }

  pugi::xml_node treeNode() const override { return node_; }
  const StorePtr& store() const override { return store_; }

 private:
  StorePtr store_;
  pugi::xml_node node_;
};

ComPtr<DomNode> wrapNode(const StorePtr& store, const pugi::xml_node& node) {
  return ComPtr<DomNode>(new PosixElement(store, node));
}

class PosixParseError : public DomParseError {
 public:
  explicit PosixParseError(const Store& store)
      : code_(store.errorCode), reason_(store.reason), line_(store.line), linepos_(store.linepos) {}
  HRESULT errorCode() override { return code_; }
  WideString reason() override { return reason_; }
  long line() override { return line_; }
  long linepos() override { return linepos_; }

 private:
  HRESULT code_;
  WideString reason_;
  long line_;
  long linepos_;
};

// Collects what pugixml writes.
class StringWriter : public pugi::xml_writer {
 public:
  void write(const void* data, size_t size) override {
    text.append(static_cast<const char*>(data), size);
  }
  std::string text;
};

// The path as the platform's file functions take it: in the ANSI code page,
// the code page the caller made it from.
std::string toAnsiPath(const WideString& path) {
  WideString terminated = path;
  int size = platform::wideCharToMultiByte(kCodePageAnsi, 0, terminated.c_str(), -1, nullptr, 0);
  if (size <= 0) raise(kEInvalidArg, "The path cannot be converted.");
  std::string narrow(static_cast<size_t>(size), '\0');
  if (platform::wideCharToMultiByte(kCodePageAnsi, 0, terminated.c_str(), -1, &narrow[0], size) <= 0)
    raise(kEInvalidArg, "The path cannot be converted.");
  narrow.resize(std::strlen(narrow.c_str()));
  return narrow;
}

bool readWholeFile(const std::string& path, std::string* content) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char buffer[65536];
  size_t got;
  bool ok = true;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) content->append(buffer, got);
  if (std::ferror(file)) ok = false;
  std::fclose(file);
  return ok;
}

bool hasWideBom(const std::string& data) {
  auto byte = [&](size_t i) { return i < data.size() ? static_cast<unsigned char>(data[i]) : 0x100u; };
  return (byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF) ||
         (byte(0) == 0 && byte(1) == 0) || (byte(0) == 0x3C && byte(1) == 0) ||
         (byte(0) == 0 && byte(1) == 0x3C);
}

class PosixDocument : public DomDocument, public TreeNode {
 public:
  PosixDocument() : store_(std::make_shared<Store>()) { store_->renew(); }

  std::int32_t nodeType() override { return kNodeDocument; }
  WideString nodeName() override { return u"#document"; }
  ComPtr<DomNode> appendChild(DomNode* child) override { return appendChildTo(store_, root(), child); }
  ComPtr<DomNamedNodeMap> attributes() override { return nullptr; }
  WideString getText() override { return fromUtf8(collectText(root()).c_str()); }
  void putText(const WideString&) override {
    raise(kEFail, "The text of a document cannot be set.");
  }
  ComPtr<DomNode> selectSingleNode(const WideString& pattern) override {
    return selectFirst(store_, root(), pattern);
  }
  ComPtr<DomNodeList> selectNodes(const WideString& pattern) override {
    return ComPtr<DomNodeList>(new PosixNodeList(store_, evaluate(root(), pattern)));
  }

  bool load(const WideString& path) override;
  void save(const WideString& path) override;

  ComPtr<DomParseError> parseError() override {
    return ComPtr<DomParseError>(new PosixParseError(*store_));
  }

  ComPtr<DomNode> documentElement() override {
    for (pugi::xml_node n = firstVisibleChild(root()); n; n = nextVisibleSibling(n)) {
      if (n.type() == pugi::node_element) return wrapNode(store_, n);
    }
    return nullptr;
  }

  ComPtr<DomNode> createNode(std::int32_t type, const WideString& name,
                             const WideString& namespaceUri) override {
    if (!namespaceUri.empty()) raise(kEInvalidArg, "Namespaces are not supported by this component.");
    if (type != kNodeElement && type != kNodeAttribute)
      raise(kEInvalidArg, "The node type is not supported by this component.");
    if (!isAcceptableName(name)) raise(kEFail, "The name is not a valid XML name.");
    if (type == kNodeAttribute) return ComPtr<DomNode>(new PosixAttribute(store_, name));
    pugi::xml_node element = store_->orphanage.append_child(pugi::node_element);
    if (!element || !element.set_name(toUtf8(name).c_str())) throw ComError(kEOutOfMemory);
    return wrapNode(store_, element);
  }

  pugi::xml_node treeNode() const override { return root(); }
  const StorePtr& store() const override { return store_; }

 private:
  pugi::xml_node root() const { return store_->doc->root(); }
  bool fail(HRESULT code, const char* reason, const std::string& data, ptrdiff_t offset);

  StorePtr store_;
};

// Records a parse error at byte offset of data (negative: no position) and
// leaves the document empty, as a failed load does.
bool PosixDocument::fail(HRESULT code, const char* reason, const std::string& data,
                         ptrdiff_t offset) {
  store_->renew();
  store_->errorCode = code;
  store_->reason = fromUtf8(reason);
  store_->line = 0;
  store_->linepos = 0;
  if (offset >= 0) {
    size_t end = std::min(static_cast<size_t>(offset), data.size());
    long line = 1;
    long position = 1;
    for (size_t i = 0; i < end; ++i) {
      auto byte = static_cast<unsigned char>(data[i]);
      if (byte == '\n') {
        ++line;
        position = 1;
      } else if ((byte & 0xC0) != 0x80) {
        ++position;  // one character per UTF-8 lead byte
      }
    }
    store_->line = line;
    store_->linepos = position;
  }
  return false;
}

bool PosixDocument::load(const WideString& path) {
  std::string data;
  if (!readWholeFile(toAnsiPath(path), &data)) {
    return fail(kResourceNotFound, "The system cannot locate the resource specified.", data, -1);
  }
  // XML 1.0 has no place for these characters; the parser would take them.
  if (!hasWideBom(data)) {
    for (size_t i = 0; i < data.size(); ++i) {
      if (isForbiddenControl(static_cast<unsigned char>(data[i])))
        return fail(kInvalidCharacter, "An invalid character was found in text content.", data,
                    static_cast<ptrdiff_t>(i));
    }
  }
  auto parsed = std::make_unique<pugi::xml_document>();
  pugi::xml_parse_result result =
      parsed->load_buffer(data.data(), data.size(), pugi::parse_default | pugi::parse_doctype | pugi::parse_fragment);
  if (!result) {
    if (result.status == pugi::status_out_of_memory) {
      return fail(kEOutOfMemory, "Not enough memory to load the document.", data, -1);
    }
    return fail(kParseErrorBase + result.status, result.description(), data, result.offset);
  }
  int elements = 0;
  for (pugi::xml_node n = parsed->first_child(); n; n = n.next_sibling()) {
    switch (n.type()) {
      case pugi::node_doctype:
        // Refused outright: entity declarations are never expanded and no
        // external entity is ever read.
        return fail(kDtdProhibited, "A document type declaration is not allowed.", data,
                    n.offset_debug() >= 0 ? n.offset_debug() : 0);
      case pugi::node_element:
        if (++elements > 1)
          return fail(kOneTopLevelElement, "Only one top level element is allowed in an XML document.",
                      data, n.offset_debug() >= 1 ? n.offset_debug() - 1 : 0);  // at its '<'
        break;
      case pugi::node_pcdata:
      case pugi::node_cdata:
        return fail(kTextOutsideElement, "Text is not allowed outside the top level element.", data,
                    n.offset_debug() >= 0 ? n.offset_debug() : 0);
      default:
        break;
    }
  }
  // One walk over the tree, in document order, counting element levels.
  int depth = 0;
  for (pugi::xml_node n = parsed->first_child(); n;) {
    if (n.type() == pugi::node_element && ++depth > kDeepestElementNesting) {
      return fail(kNestedTooDeeply, "Elements are nested too deeply.", data,
                  n.offset_debug() >= 1 ? n.offset_debug() - 1 : 0);  // at its '<'
    }
    if (n.type() == pugi::node_element && n.first_child()) {
      n = n.first_child();
      continue;
    }
    if (n.type() == pugi::node_element) --depth;
    while (n && !n.next_sibling()) {
      n = n.parent();
      if (n.type() == pugi::node_element) --depth;
    }
    if (n) n = n.next_sibling();
  }
  if (elements == 0) {
    return fail(kParseErrorBase + pugi::status_no_document_element,
                "XML document must have a top level element.", data,
                static_cast<ptrdiff_t>(data.size()));
  }
  store_->retired.push_back(std::move(store_->doc));
  store_->doc = std::move(parsed);
  store_->makeOrphanage();
  store_->errorCode = kSOk;
  store_->reason.clear();
  store_->line = 0;
  store_->linepos = 0;
  return true;
}

void PosixDocument::save(const WideString& path) {
  StringWriter writer;
  for (pugi::xml_node n = firstVisibleChild(root()); n; n = nextVisibleSibling(n)) {
    n.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
  }
  std::string narrowPath = toAnsiPath(path);
  platform::TextFile file = platform::openTextFileForReplacing(narrowPath.c_str());
  if (file == nullptr) {
    uint32_t error = platform::getLastError();
    HRESULT code = error != 0 ? static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu)) : kEFail;
    raise(code, "The file cannot be created.");
  }
  if (!platform::writeText(file, writer.text.data(), writer.text.size())) {
    platform::abandonTextFile(file);
    raise(kEFail, "The file cannot be written.");
  }
  if (!platform::closeTextFile(file)) raise(kEFail, "The file cannot be written.");
}

}  // namespace

bool formatSystemMessage(HRESULT code, std::string* text) {
  static const struct {
    uint32_t code;
    const char* text;
  } kMessages[] = {
      {0x80004001u, "Not implemented\r\n"},
      {0x80004003u, "Invalid pointer\r\n"},
      {0x80004005u, "Unspecified error\r\n"},
      {0x8000FFFFu, "Catastrophic failure\r\n"},
      {0x8007000Eu, "Not enough memory resources are available to complete this operation.\r\n"},
      {0x80070057u, "The parameter is incorrect.\r\n"},
      {0x80070002u, "The system cannot find the file specified.\r\n"},
      {0x80070003u, "The system cannot find the path specified.\r\n"},
      {0x80070005u, "Access is denied.\r\n"},
      {0x800401F0u, "CoInitialize has not been called.\r\n"},
      {0x80040154u, "Class not registered\r\n"},
  };
  if (text == nullptr) return false;
  text->clear();
  for (const auto& message : kMessages) {
    if (message.code == static_cast<uint32_t>(code)) {
      *text = message.text;
      return true;
    }
  }
  return false;
}

HRESULT createDomDocument30(ComPtr<DomDocument>* out) {
  if (out == nullptr) return kEPointer;
  out->reset();
  if (!platform::comInitialized()) return kCoENotInitialized;
  try {
    *out = ComPtr<DomDocument>(new PosixDocument());
  } catch (const std::bad_alloc&) {
    return kEOutOfMemory;
  }
  return kSOk;
}

}  // namespace platform::xml
