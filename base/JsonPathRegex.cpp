// Regular expressions of JSON path filters, on RE2 in UTF-8 mode: matching is linear in the text and
// RE2 bounds the memory and nesting of a compiled pattern. (VelaRegexp, which serves the SQL REGEXP ops,
// reads bytes as Latin-1; JSON strings are Unicode text, where '.' and \p{..} must see characters.)
//
// match() and search() take I-Regexp patterns (the interoperable subset of XML Schema expressions).
// They are translated into RE2 syntax by a flat scan (no recursion): characters are re-emitted as
// code point escapes so that nothing the two syntaxes read differently survives, '.' becomes "any
// character but CR and LF", '^' and '$' anchor at the ends of the text, and groups become
// non-capturing. A pattern outside I-Regexp is refused.
#include <cstdio>

#include <re2/re2.h>

#include "base/JsonPathAst.h"

namespace vela::jsonpath {

class Regex {
public:
  Regex(const std::string& pattern, const RE2::Options& options) : re(pattern, options) {}
  RE2 re;
};

namespace {

void emitCodePoint(std::string& out, char32_t cp) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "\\x{%X}", static_cast<unsigned>(cp));
  out += buf;
}

// Characters SingleCharEsc may escape, and what they stand for.
bool singleCharEscape(char c, char32_t& cp) {
  switch (c) {
  case 'n':
    cp = '\n';
    return true;
  case 'r':
    cp = '\r';
    return true;
  case 't':
    cp = '\t';
    return true;
  case '(':
  case ')':
  case '*':
  case '+':
  case '-':
  case '.':
  case '?':
  case '[':
  case '\\':
  case ']':
  case '^':
  case '{':
  case '|':
  case '}':
    cp = static_cast<unsigned char>(c);
    return true;
  default:
    return false;
  }
}

// `\p{..}` / `\P{..}` at `i` (pointing at the backslash): a general category, one letter and an
// optional refinement. Emits the RE2 form and advances `i`.
bool categoryEscape(std::string_view p, std::size_t& i, std::string& out) {
  if (i + 3 >= p.size() || p[i + 2] != '{')
    return false;
  const char major = p[i + 3];
  static constexpr std::pair<char, std::string_view> kCategories[] = {
      {'L', "lmotu"}, {'M', "cen"},  {'N', "dlo"}, {'P', "cdefios"},
      {'Z', "lps"},   {'S', "ckmo"}, {'C', "cfno"}};
  for (const auto& [letter, minors] : kCategories) {
    if (letter != major)
      continue;
    std::size_t j = i + 4;
    if (j < p.size() && p[j] != '}') {
      if (minors.find(p[j]) == std::string_view::npos)
        return false;
      ++j;
    }
    if (j >= p.size() || p[j] != '}')
      return false;
    out += '\\';
    out += p[i + 1];
    out.append(p.substr(i + 2, j - i - 1));
    i = j + 1;
    return true;
  }
  return false;
}

// One CCchar (a plain character or a SingleCharEsc) at `i`.
bool classChar(std::string_view p, std::size_t& i, char32_t& cp) {
  if (i >= p.size())
    return false;
  const char c = p[i];
  if (c == '\\') {
    if (i + 1 >= p.size() || !singleCharEscape(p[i + 1], cp))
      return false;
    i += 2;
    return true;
  }
  if (c == '-' || c == '[' || c == ']')
    return false;
  const std::size_t len = decodeUtf8(p, i, cp);
  if (len == 0)
    return false;
  i += len;
  return true;
}

// charClassExpr = "[" ["^"] ("-" / CCE1) *CCE1 ["-"] "]"; `i` points past the '['.
bool characterClass(std::string_view p, std::size_t& i, std::string& out) {
  out += '[';
  if (i < p.size() && p[i] == '^') {
    out += '^';
    ++i;
  }
  bool first = true;
  for (;;) {
    if (i >= p.size())
      return false;
    if (p[i] == ']') {
      if (first)
        return false;
      ++i;
      out += ']';
      return true;
    }
    if (p[i] == '-') {
      if (!first && !(i + 1 < p.size() && p[i + 1] == ']'))
        return false;
      out += "\\-";
      ++i;
      first = false;
      continue;
    }
    first = false;
    if (p[i] == '\\' && i + 1 < p.size() && (p[i + 1] == 'p' || p[i + 1] == 'P')) {
      if (!categoryEscape(p, i, out))
        return false;
      continue;
    }
    char32_t lo;
    if (!classChar(p, i, lo))
      return false;
    emitCodePoint(out, lo);
    if (i + 1 < p.size() && p[i] == '-' && p[i + 1] != ']') {
      ++i;
      char32_t hi;
      if (!classChar(p, i, hi) || hi < lo)
        return false;
      out += '-';
      emitCodePoint(out, hi);
    }
  }
}

} // namespace

std::optional<std::string> translateIRegexp(std::string_view p) {
  std::string out;
  std::size_t depth = 0;
  bool quantifiable = false; // an atom was just emitted
  std::size_t i = 0;
  while (i < p.size()) {
    const char c = p[i];
    switch (c) {
    case '(':
      ++depth;
      out += "(?:";
      ++i;
      quantifiable = false;
      continue;
    case ')':
      if (depth == 0)
        return std::nullopt;
      --depth;
      out += ')';
      ++i;
      quantifiable = true;
      continue;
    case '|':
      out += '|';
      ++i;
      quantifiable = false;
      continue;
    case '*':
    case '+':
    case '?':
      if (!quantifiable)
        return std::nullopt;
      out += c;
      ++i;
      quantifiable = false;
      continue;
    case '{': {
      if (!quantifiable)
        return std::nullopt;
      // {n} {n,} {n,m}
      std::size_t j = i + 1;
      const std::size_t digits1 = j;
      while (j < p.size() && p[j] >= '0' && p[j] <= '9')
        ++j;
      if (j == digits1)
        return std::nullopt;
      if (j < p.size() && p[j] == ',') {
        ++j;
        while (j < p.size() && p[j] >= '0' && p[j] <= '9')
          ++j;
      }
      if (j >= p.size() || p[j] != '}')
        return std::nullopt;
      out.append(p.substr(i, j + 1 - i));
      i = j + 1;
      quantifiable = false;
      continue;
    }
    case '.':
      out += "[^\\n\\r]";
      ++i;
      quantifiable = true;
      continue;
    case '[':
      ++i;
      if (!characterClass(p, i, out))
        return std::nullopt;
      quantifiable = true;
      continue;
    case '\\': {
      if (i + 1 < p.size() && (p[i + 1] == 'p' || p[i + 1] == 'P')) {
        if (!categoryEscape(p, i, out))
          return std::nullopt;
      } else {
        char32_t cp;
        if (i + 1 >= p.size() || !singleCharEscape(p[i + 1], cp))
          return std::nullopt;
        emitCodePoint(out, cp);
        i += 2;
      }
      quantifiable = true;
      continue;
    }
    case '^':
    case '$':
      // Read as anchors of the whole text (RE2 without multi-line mode), as interoperable
      // implementations do; they take no quantifier.
      out += c;
      ++i;
      quantifiable = false;
      continue;
    case ']':
    case '}':
      return std::nullopt;
    default: {
      char32_t cp;
      const std::size_t len = decodeUtf8(p, i, cp);
      if (len == 0)
        return std::nullopt;
      emitCodePoint(out, cp);
      i += len;
      quantifiable = true;
    }
    }
  }
  if (depth != 0)
    return std::nullopt;
  return out;
}

std::shared_ptr<const Regex> compileRegex(std::string_view pattern, bool caseInsensitive,
                                          std::string* error) {
  RE2::Options options;
  options.set_encoding(RE2::Options::EncodingUTF8);
  options.set_log_errors(false);
  options.set_case_sensitive(!caseInsensitive);
  auto re = std::make_shared<const Regex>(std::string(pattern), options);
  if (!re->re.ok()) {
    if (error != nullptr)
      *error = re->re.error();
    return nullptr;
  }
  return re;
}

std::shared_ptr<const Regex> compileIRegexp(std::string_view pattern) {
  const std::optional<std::string> translated = translateIRegexp(pattern);
  if (!translated)
    return nullptr;
  return compileRegex(*translated, false, nullptr);
}

bool regexFullMatch(const Regex& re, std::string_view text) {
  return RE2::FullMatch(re2::StringPiece(text.data(), text.size()), re.re);
}

bool regexSearch(const Regex& re, std::string_view text) {
  return RE2::PartialMatch(re2::StringPiece(text.data(), text.size()), re.re);
}

void regexSplit(const Regex& re, std::string_view text, nlohmann::json& out) {
  const re2::StringPiece whole(text.data(), text.size());
  std::size_t pieceStart = 0;
  std::size_t from = 0;
  while (from <= text.size()) {
    re2::StringPiece m;
    if (!re.re.Match(whole, from, text.size(), RE2::UNANCHORED, &m, 1))
      break;
    const auto begin = static_cast<std::size_t>(m.data() - text.data());
    if (m.empty()) {
      // An empty match splits nothing; the search moves on by one character.
      if (begin >= text.size())
        break;
      char32_t cp;
      const std::size_t len = decodeUtf8(text, begin, cp);
      from = begin + (len == 0 ? 1 : len);
      continue;
    }
    out.push_back(std::string(text.substr(pieceStart, begin - pieceStart)));
    pieceStart = from = begin + m.size();
  }
  out.push_back(std::string(text.substr(pieceStart)));
}

} // namespace vela::jsonpath
