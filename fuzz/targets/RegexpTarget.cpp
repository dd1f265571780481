// Regular expressions: input is pattern, flags, replacement and text, separated by byte 31. A pattern,
// flag or replacement the engine refuses throws VelaException at construction and nothing else does.
// A compiled pattern's scans agree with each other on the text: count, the positions and ends instr
// reports for each occurrence, the bytes substr returns, match, and a literal replacement of one
// occurrence; the cell and heap-string forms give the text forms' answers.
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "base/VelaException.h"
#include "base/VelaRegexp.h"
#include "cuda/ManagedObjects.h"
#include "fuzz/FuzzTarget.h"
#include "tools/ScalarText.h"

namespace quarry::fuzz {

namespace {

using vela::ParserUtils::RpnDataType;

// Occurrences checked one by one; the count itself is checked whole.
constexpr int kOccurrencesChecked = 8;
constexpr std::size_t kCellWidth = 256;

struct StringObject {
  const vela::cuda::InlineBuffer<char>* s = nullptr;
  explicit StringObject(std::string_view text) {
    std::string why;
    s = static_cast<const vela::cuda::InlineBuffer<char>*>(
        tools::makeObjectFromText(RpnDataType::String, text, why));
  }
  ~StringObject() { vela::cuda::objectDeleterFor(RpnDataType::String)(s); }
  StringObject(const StringObject&) = delete;
  StringObject& operator=(const StringObject&) = delete;
};

void checkScans(const vela::VelaRegexp& re, std::string_view text, std::string_view input) {
  const int n = re.countText(text, 1);
  if (n < 0 || static_cast<std::size_t>(n) > text.size() + 1)
    fail("count is outside 0 .. length + 1", input);
  if (re.matchText(text) != (n > 0))
    fail("match and count disagree", input);
  if (re.instrText(text, 1, n + 1, 0, 0) != 0)
    fail("instr finds an occurrence past the count", input);
  const bool literal = re.replacement().find('\\') == std::string::npos;
  for (int k = 1; k <= n && k <= kOccurrencesChecked; ++k) {
    const int begin = re.instrText(text, 1, k, 0, 0), end = re.instrText(text, 1, k, 1, 0);
    if (begin < 1 || end < begin || static_cast<std::size_t>(end) > text.size() + 1)
      fail("occurrence " + std::to_string(k) + " lies at " + std::to_string(begin) + ".." +
               std::to_string(end),
           input);
    const std::string_view match = text.substr(begin - 1, end - begin);
    if (re.substrText(text, 1, k, 0) != match)
      fail("substr and instr disagree at occurrence " + std::to_string(k), input);
    if (literal) {
      std::string replaced;
      const std::string expected =
          std::string(text.substr(0, begin - 1)) + re.replacement() + std::string(text.substr(end - 1));
      if (re.replaceText(text, 1, k, replaced) ? replaced != expected : expected != text)
        fail("replacing occurrence " + std::to_string(k) + " gives another text", input);
    }
  }
  std::string all;
  const bool changed = re.replaceText(text, 1, 0, all);
  const std::string replacedAll = changed ? all : std::string(text);

  // The heap-string forms.
  const StringObject s(text);
  vela::RegexpOutputBuffer buffer;
  if (re.matchForward(s.s) != (n > 0) || re.countForward(s.s, 1) != n ||
      re.instrForward(s.s, 1, 1, 0, 0) != re.instrText(text, 1, 1, 0, 0) ||
      re.replaceForward(s.s, 1, 0, buffer) != replacedAll)
    fail("the heap-string forms disagree with the text forms", input);

  // The cell forms read the same characters when the text fits a cell and holds no NUL.
  if (text.size() > kCellWidth || text.find('\0') != std::string_view::npos)
    return;
  char cell[kCellWidth];
  packCell(text, reinterpret_cast<unsigned char*>(cell), kCellWidth);
  if (re.match(cell, kCellWidth) != (n > 0) || re.count(cell, 1, kCellWidth) != n ||
      re.instr(cell, 1, 1, 1, 0, kCellWidth) != re.instrText(text, 1, 1, 1, 0))
    fail("the cell forms disagree with the text forms", input);
  char substr[kCellWidth];
  std::memcpy(substr, cell, kCellWidth);
  re.substr(substr, 1, 1, 0, kCellWidth);
  char expected[kCellWidth];
  packCell(re.substrText(text, 1, 1, 0), reinterpret_cast<unsigned char*>(expected), kCellWidth);
  if (std::memcmp(substr, expected, kCellWidth) != 0)
    fail("substr in a cell gives another text", input);
  re.replace(cell, 1, 0, kCellWidth);
  packCell(replacedAll, reinterpret_cast<unsigned char*>(expected), kCellWidth);
  // A replacement may put a NUL into the text; the cell then ends there.
  if (replacedAll.find('\0') == std::string::npos && std::memcmp(cell, expected, kCellWidth) != 0)
    fail("replace in a cell gives another text", input);
}

} // namespace

int regexp(const std::uint8_t* bytes, std::size_t size) {
  quietLogging();
  const std::string_view input = asText(bytes, size);
  const std::vector<std::string_view> f = splitFields(input, 4);
  std::unique_ptr<vela::VelaRegexp> re;
  try {
    re = std::make_unique<vela::VelaRegexp>(f[0], f[1], f[2]);
  } catch (const vela::VelaException& e) {
    if (!e.status() || e.status()->kind() != vela::StatusEnum::InvalidArgument)
      fail(std::string("a pattern is refused without its InvalidArgument status: ") + e.what(), input);
    return 0;
  } catch (const std::exception& e) {
    fail(std::string("compiling a pattern let escape: ") + e.what(), input);
  }
  if (re->groupCount() < 0)
    fail("a negative group count", input);
  checkScans(*re, f[3], input);
  return 0;
}

} // namespace quarry::fuzz
