#pragma once
// A small, strict XML reader for the exchange formats: elements,
// attributes, text, comments, the XML declaration and the five named and
// numeric character references. No DOCTYPE, no CDATA. Bounded: depth,
// number of elements and attributes, names and texts.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Result.h"

namespace ovrel {

struct XmlElement {
  std::string Name;
  std::vector<std::pair<std::string, std::string>> Attributes;
  std::string Text;  // the element's own character data from its first non-blank one
  std::vector<XmlElement> Children;
  int Line = 0;  // where its start tag begins

  // The attribute's value, or nothing.
  const std::string* Attribute(std::string_view name) const;
  // The first child of that name, or nothing.
  const XmlElement* Child(std::string_view name) const;
};

inline constexpr int kMaxXmlDepth = 16;
inline constexpr size_t kMaxXmlElements = 20000;
inline constexpr size_t kMaxXmlAttributes = 32;
inline constexpr size_t kMaxXmlNameLength = 64;
inline constexpr size_t kMaxXmlTextLength = 4096;

// The root element, or what is wrong: "line N: ...".
using XmlRead = Result<XmlElement>;

// Reads a document with one root element.
XmlRead ReadXml(std::string_view text);

// Text with &, <, >, " and ' written as references, control characters but
// tab and line ends left out.
std::string XmlEscaped(std::string_view text);

}  // namespace ovrel
