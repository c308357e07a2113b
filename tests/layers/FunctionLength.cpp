#include "layers/FunctionLength.h"

#include <cctype>
#include <fstream>
#include <regex>
#include <sstream>

#include "layers/LayerRules.h"

namespace ovrel::layers {
namespace {

// Blanks what cannot hold a brace of the code: comments, string and
// character literals, preprocessor lines. Line breaks stay, so that line
// numbers still count.
std::string CodeOnly(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  const auto keepBreaks = [&](std::size_t end) {
    for (; i < end && i < text.size(); ++i)
      if (text[i] == '\n') out += '\n';
  };
  bool lineStart = true;
  while (i < text.size()) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (lineStart && c == '#') {
      // A directive runs to its end of line, continued lines included.
      std::size_t end = i;
      while (end < text.size() && (text[end] != '\n' || text[end - 1] == '\\')) ++end;
      keepBreaks(end);
    } else if (c == '/' && next == '/') {
      keepBreaks(text.find('\n', i));
    } else if (c == '/' && next == '*') {
      const std::size_t end = text.find("*/", i + 2);
      keepBreaks(end == std::string::npos ? end : end + 2);
    } else if (c == 'R' && next == '"') {
      const std::size_t open = text.find('(', i);
      const std::string close = ")" + text.substr(i + 2, open - i - 2) + "\"";
      const std::size_t end = text.find(close, open);
      keepBreaks(end == std::string::npos ? end : end + close.size());
      out += "\"\"";
    } else if (c == '"' || (c == '\'' &&
                            !std::isalnum(static_cast<unsigned char>(i > 0 ? text[i - 1] : ' ')))) {
      // A digit separator (1'000) follows a digit; a literal does not.
      std::size_t end = i + 1;
      while (end < text.size() && text[end] != c && text[end] != '\n')
        end += text[end] == '\\' ? 2 : 1;
      keepBreaks(end + 1);
      out += "\"\"";
    } else {
      out += c;
      ++i;
    }
    lineStart = out.empty() || out.back() == '\n' ||
                (lineStart && (out.back() == ' ' || out.back() == '\t'));
  }
  return out;
}

// Whether the text before a brace opens a function body: a parameter list,
// and no class, struct, enum or namespace after it.
bool OpensFunction(const std::string& head) {
  const std::size_t paren = head.rfind(')');
  if (paren == std::string::npos) return false;
  // After the parameters only qualifiers or a trailing return type; a
  // name there is a member initialised with braces ("b_{a}").
  static const std::regex tail(
      R"(^(\s|const\b|override\b|final\b|noexcept\b|mutable\b|volatile\b|&)*(->.*)?$)");
  static const std::regex scope(R"(\b(namespace|class|struct|enum|union)\b)");
  const std::string after = head.substr(paren + 1);
  return std::regex_match(after, tail) && !std::regex_search(head.substr(0, head.find('(')), scope);
}

// Whether a brace that closed without being a function body initialised a
// member in a constructor's list ("b_{a}"): the constructor's head goes on.
bool InitialisesMember(const std::string& head) {
  static const std::regex member(R"([A-Za-z_][A-Za-z0-9_]*\s*$)");
  static const std::regex scope(R"(\b(namespace|class|struct|enum|union)\b)");
  return head.find(')') != std::string::npos && std::regex_search(head, member) &&
         !std::regex_search(head, scope);
}

std::string Trimmed(const std::string& head) {
  std::string flat;
  for (char c : head) {
    if (c == '\n' || c == '\t') c = ' ';
    if (c == ' ' && (flat.empty() || flat.back() == ' ')) continue;
    flat += c;
  }
  return flat.size() > 80 ? flat.substr(flat.size() - 80) : flat;
}

}  // namespace

std::vector<FunctionSpan> FunctionSpans(const std::string& text) {
  struct Open {
    int Line;
    bool Function;
    std::string Head;  // as it was, for a member's initialiser
  };
  std::vector<FunctionSpan> spans;
  std::vector<Open> open;
  int inFunction = 0;  // open function bodies (nested ones are lambdas)
  std::string head;
  int line = 1;
  for (char c : CodeOnly(text)) {
    if (c == '{') {
      const bool function = inFunction == 0 && OpensFunction(head);
      open.push_back({line, function, head});
      if (function) ++inFunction;
      head.clear();
    } else if (c == '}') {
      head.clear();
      if (!open.empty()) {
        const Open o = open.back();
        open.pop_back();
        if (o.Function) {
          --inFunction;
          spans.push_back({{}, o.Line, line - o.Line + 1, Trimmed(o.Head)});
        } else if (inFunction == 0 && InitialisesMember(o.Head)) {
          head = o.Head + "()";  // as if initialised with parentheses
        }
      }
    } else if (c == ';') {
      head.clear();
    } else {
      head += c;
    }
    if (c == '\n') ++line;
  }
  return spans;
}

std::vector<FunctionSpan> LongFunctions(const std::filesystem::path& root, int maxLines) {
  std::vector<FunctionSpan> found;
  for (const std::filesystem::path& file : ProgramSources(root)) {
    const std::string relative = file.lexically_relative(root).generic_string();
    if (relative.rfind("tools/", 0) == 0) continue;
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    for (FunctionSpan& span : FunctionSpans(text.str())) {
      if (span.Lines <= maxLines) continue;
      span.File = relative;
      found.push_back(std::move(span));
    }
  }
  return found;
}

}  // namespace ovrel::layers
