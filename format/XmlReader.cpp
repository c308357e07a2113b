#include "format/XmlReader.h"

#include <charconv>
#include <cstdint>

namespace ovrel {

namespace {

bool IsNameStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
bool IsWhite(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  XmlRead Run() {
    if (!Prolog()) return Failed();
    XmlElement root;
    if (!Element(root, 1)) return Failed();
    if (!Misc()) return Failed();
    if (pos_ != s_.size()) {
      error_ = "text follows the root element.";
      return Failed();
    }
    return root;
  }

 private:
  Failure Failed() const {
    return {Fault::Syntax, "line " + std::to_string(line_) + ": " + error_};
  }

  bool At(std::string_view t) const { return s_.substr(pos_).starts_with(t); }
  void Advance(size_t n) {
    for (size_t i = 0; i < n && pos_ < s_.size(); ++i)
      if (s_[pos_++] == '\n') ++line_;
  }
  void SkipWhite() {
    while (pos_ < s_.size() && IsWhite(s_[pos_])) Advance(1);
  }
  bool Fail(std::string e) {
    error_ = std::move(e);
    return false;
  }

  // Comments, processing instructions and white space between elements.
  bool Misc() {
    for (;;) {
      SkipWhite();
      if (At("<!--")) {
        if (!Comment()) return false;
      } else if (At("<?")) {
        if (!ProcessingInstruction()) return false;
      } else {
        return true;
      }
    }
  }

  bool Prolog() {
    if (At("\xEF\xBB\xBF")) Advance(3);
    if (!Misc()) return false;
    if (At("<!")) return Fail("DOCTYPE and CDATA are not read.");
    if (!At("<")) return Fail("the document has no root element.");
    return true;
  }

  bool Comment() {
    const size_t end = s_.find("-->", pos_ + 4);
    if (end == std::string_view::npos) return Fail("a comment is not closed.");
    Advance(end + 3 - pos_);
    return true;
  }

  // A processing instruction ("<?...?>"), passed over.
  bool ProcessingInstruction() {
    const size_t end = s_.find("?>", pos_ + 2);
    if (end == std::string_view::npos) return Fail("a \"<?\" is not closed.");
    Advance(end + 2 - pos_);
    return true;
  }

  bool Name(std::string& out) {
    const size_t start = pos_;
    if (pos_ >= s_.size() || !IsNameStart(s_[pos_])) return Fail("a name is expected.");
    while (pos_ < s_.size() && IsNameChar(s_[pos_])) ++pos_;
    if (pos_ - start > kMaxXmlNameLength) return Fail("a name is too long.");
    out.assign(s_.substr(start, pos_ - start));
    return true;
  }

  // Character data up to stop (not included), references resolved.
  bool CharData(char stop, std::string& out, bool inAttribute) {
    while (pos_ < s_.size() && s_[pos_] != stop) {
      const char c = s_[pos_];
      if (c == '<') return Fail("a \"<\" stands inside a value.");
      if (c == '&') {
        const size_t semi = s_.find(';', pos_);
        if (semi == std::string_view::npos || semi - pos_ > 12)
          return Fail("a \"&\" is not a character reference.");
        const std::string_view ref = s_.substr(pos_ + 1, semi - pos_ - 1);
        if (ref == "lt")
          out += '<';
        else if (ref == "gt")
          out += '>';
        else if (ref == "amp")
          out += '&';
        else if (ref == "quot")
          out += '"';
        else if (ref == "apos")
          out += '\'';
        else if (ref.starts_with("#")) {
          const bool hex = ref.starts_with("#x");
          const std::string_view digits = ref.substr(hex ? 2 : 1);
          uint32_t cp = 0;
          const auto [end, ec] =
              std::from_chars(digits.data(), digits.data() + digits.size(), cp, hex ? 16 : 10);
          if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
              cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return Fail("the character reference \"&" + std::string(ref) + ";\" is not valid.");
          AppendUtf8(out, cp);
        } else {
          return Fail("the entity \"&" + std::string(ref) + ";\" is not known.");
        }
        Advance(semi + 1 - pos_);
      } else if (!inAttribute && out.empty() && IsWhite(c)) {
        // White space before an element's text (the layout between its
        // children) is not kept, so any number of children fits the limit.
        Advance(1);
        continue;
      } else {
        if (c == '\0') return Fail("the document holds a zero byte.");
        out += inAttribute && (c == '\n' || c == '\t' || c == '\r') ? ' ' : c;
        Advance(1);
      }
      if (out.size() > kMaxXmlTextLength) return Fail("a text or value is too long.");
    }
    return true;
  }

  bool Element(XmlElement& el, int depth) {
    if (depth > kMaxXmlDepth) return Fail("the elements are nested too deeply.");
    if (++elements_ > kMaxXmlElements) return Fail("the document has too many elements.");
    el.Line = line_;
    Advance(1);  // '<'
    if (!Name(el.Name)) return false;
    for (;;) {
      const size_t before = pos_;
      SkipWhite();
      if (At("/>")) {
        Advance(2);
        return true;
      }
      if (At(">")) {
        Advance(1);
        break;
      }
      if (pos_ == before) return Fail("the tag <" + el.Name + "> is malformed.");
      std::pair<std::string, std::string> attr;
      if (!Name(attr.first)) return false;
      SkipWhite();
      if (!At("=")) return Fail("the attribute " + attr.first + " has no value.");
      Advance(1);
      SkipWhite();
      if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\''))
        return Fail("the value of " + attr.first + " is not quoted.");
      const char quote = s_[pos_];
      Advance(1);
      if (!CharData(quote, attr.second, true)) return false;
      if (pos_ >= s_.size()) return Fail("the value of " + attr.first + " is not closed.");
      Advance(1);
      if (el.Attribute(attr.first)) return Fail("the attribute " + attr.first + " is repeated.");
      if (el.Attributes.size() >= kMaxXmlAttributes)
        return Fail("the tag <" + el.Name + "> has too many attributes.");
      el.Attributes.push_back(std::move(attr));
    }
    // Content up to the end tag.
    for (;;) {
      if (!CharData('<', el.Text, false)) return false;
      if (pos_ >= s_.size()) return Fail("the element <" + el.Name + "> is not closed.");
      if (At("<!--")) {
        if (!Comment()) return false;
      } else if (At("<?")) {
        if (!ProcessingInstruction()) return false;
      } else if (At("<!")) {
        return Fail("DOCTYPE and CDATA are not read.");
      } else if (At("</")) {
        Advance(2);
        std::string name;
        if (!Name(name)) return false;
        SkipWhite();
        if (name != el.Name || !At(">"))
          return Fail("the element <" + el.Name + "> is closed by </" + name + ">.");
        Advance(1);
        return true;
      } else {
        el.Children.emplace_back();
        if (!Element(el.Children.back(), depth + 1)) return false;
      }
    }
  }

  std::string_view s_;
  size_t pos_ = 0;
  int line_ = 1;
  size_t elements_ = 0;
  std::string error_;
};

}  // namespace

const std::string* XmlElement::Attribute(std::string_view name) const {
  for (const auto& [key, value] : Attributes)
    if (key == name) return &value;
  return nullptr;
}

const XmlElement* XmlElement::Child(std::string_view name) const {
  for (const XmlElement& c : Children)
    if (c.Name == name) return &c;
  return nullptr;
}

XmlRead ReadXml(std::string_view text) {
  return Parser(text).Run();
}

std::string XmlEscaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
    }
  }
  return out;
}

}  // namespace ovrel
