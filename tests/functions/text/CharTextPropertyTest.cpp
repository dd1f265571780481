// Every fixed-width text op at every width on random cells, hostile ones included (a NUL inside the text,
// all bytes 0xFF), through both evaluators: the result cell must equal the cell of an independent model
// written with std::string on the text in reading order (the bytes before the first NUL), which also
// pins every byte past the result's end to zero. The named helpers are checked against the same models.
#include <algorithm>
#include <climits>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/ProgramBuilder.h"
#include "functions/text/CharTextHelpers.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

namespace {

constexpr int kWidths[] = {1, 2, 4, 8, 16, 32, 64, 128, 256};
constexpr int kRows = 203;

int widthIndex(int w) {
  return std::countr_zero(static_cast<unsigned>(w));
}

using Cell = std::vector<unsigned char>; // a cell's bytes, byte 0 first (character 0 is the last byte)

std::string textOf(const Cell& c) {
  return vela::ParserUtils::unpackCharN(c.data(), c.size());
}
Cell cellOf(const std::string& text, std::size_t width) {
  Cell c(width);
  vela::ParserUtils::packCharN(text, width, c.data()); // refuses a model result longer than the width
  return c;
}

// --- the models -------------------------------------------------------------------------------------
bool space(char c) {
  return c == ' ' || (c >= 9 && c <= 13);
}
bool letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
std::string mapCase(std::string t, bool upper) {
  for (char& c : t)
    if (upper && c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 32);
    else if (!upper && c >= 'A' && c <= 'Z')
      c = static_cast<char>(c + 32);
  return t;
}
std::string ltrim(const std::string& t) {
  std::size_t i = 0;
  while (i < t.size() && space(t[i]))
    ++i;
  return t.substr(i);
}
std::string rtrim(std::string t) {
  while (!t.empty() && space(t.back()))
    t.pop_back();
  return t;
}
std::string pad(const std::string& s, int n, const std::string& p, bool left) {
  n = std::clamp(n, 0, 256);
  if (n <= int(s.size()))
    return s.substr(0, std::size_t(n));
  if (p.empty())
    return "";
  std::string fill;
  for (std::size_t j = 0; j < n - s.size(); ++j)
    fill += p[j % p.size()];
  return left ? fill + s : s + fill;
}
std::string initcap(std::string t) {
  bool start = true;
  for (char& c : t) {
    if (letter(c))
      c = start ? static_cast<char>(c & ~32) : static_cast<char>(c | 32);
    start = space(c);
  }
  return t;
}
std::string mask(std::string t, int start, int length, char c) {
  if (start < 1 || length < 1 || start > int(t.size()))
    return t;
  if (c == 0)
    return t.substr(0, std::size_t(start - 1));
  for (long i = start - 1; i < std::min<long>(long(t.size()), long(start) + length - 1); ++i)
    t[std::size_t(i)] = c;
  return t;
}
int locate(const std::string& sub, const std::string& s, int start) {
  if (sub.empty())
    return 1;
  if (start < 1)
    return 0;
  const std::size_t p = s.find(sub, std::size_t(start - 1));
  return p == std::string::npos ? 0 : int(p) + 1;
}
bool endsWith(const std::string& p, const std::string& s) {
  if (s.empty())
    return p.empty();
  return !p.empty() && s.ends_with(p);
}

// --- op cases ---------------------------------------------------------------------------------------
enum class In { Text, Int, Char1, Pad };
enum class Out { Same, Wide, Text256, Char1, I32, Bool };

struct Operand {
  Cell cell; // for Text, Char1 and Pad
  int num = 0;
  std::string text() const { return textOf(cell); }
};
using Args = std::vector<Operand>;
struct Result {
  std::string text;
  long num = 0;
};
Result T(std::string s) {
  return {std::move(s), 0};
}
Result N(long v) {
  return {{}, v};
}

struct OpCase {
  const char* name;
  int first;    // op code of the first width listed
  int minWidth; // 1, or 2 for REVERSE
  int maxWidth; // 256, or 128 for CONCAT_WIDE
  std::vector<In> in;
  Out out;
  int constantOperand; // an operand also run as a constant (-1: none)
  std::function<Result(const Args&, int w)> model;
};

const std::vector<OpCase>& opCases() {
  using I = In;
  static const std::vector<OpCase> cases = {
      {"LENGTH",
       1608,
       1,
       256,
       {I::Text},
       Out::I32,
       -1,
       [](const Args& a, int) { return N(long(a[0].text().size())); }},
      {"LOWER",
       1619,
       1,
       256,
       {I::Text},
       Out::Same,
       -1,
       [](const Args& a, int) { return T(mapCase(a[0].text(), false)); }},
      {"UPPER",
       1629,
       1,
       256,
       {I::Text},
       Out::Same,
       -1,
       [](const Args& a, int) { return T(mapCase(a[0].text(), true)); }},
      {"LTRIM",
       1639,
       1,
       256,
       {I::Text},
       Out::Same,
       -1,
       [](const Args& a, int) { return T(ltrim(a[0].text())); }},
      {"RTRIM",
       1649,
       1,
       256,
       {I::Text},
       Out::Same,
       -1,
       [](const Args& a, int) { return T(rtrim(a[0].text())); }},
      {"TRIM",
       1659,
       1,
       256,
       {I::Text},
       Out::Same,
       -1,
       [](const Args& a, int) { return T(ltrim(rtrim(a[0].text()))); }},
      {"LEFT",
       1669,
       1,
       256,
       {I::Text, I::Int},
       Out::Same,
       -1,
       [](const Args& a, int w) {
         return T(a[0].text().substr(0, std::size_t(std::clamp(a[1].num, 0, w))));
       }},
      {"LPAD",
       1679,
       1,
       256,
       {I::Text, I::Int, I::Pad},
       Out::Text256,
       2,
       [](const Args& a, int) { return T(pad(a[0].text(), a[1].num, a[2].text(), true)); }},
      {"RIGHT",
       1689,
       1,
       256,
       {I::Text, I::Int},
       Out::Same,
       -1,
       [](const Args& a, int w) {
         const std::string t = a[0].text();
         return T(t.substr(t.size() - std::min(t.size(), std::size_t(std::clamp(a[1].num, 0, w)))));
       }},
      {"RPAD",
       1699,
       1,
       256,
       {I::Text, I::Int, I::Pad},
       Out::Text256,
       2,
       [](const Args& a, int) { return T(pad(a[0].text(), a[1].num, a[2].text(), false)); }},
      {"ENDS_WITH",
       1720,
       1,
       256,
       {I::Text, I::Text},
       Out::Bool,
       -1,
       [](const Args& a, int) { return N(endsWith(a[0].text(), a[1].text())); }},
      {"SUBSTR",
       1730,
       1,
       256,
       {I::Text, I::Int, I::Int},
       Out::Same,
       -1,
       [](const Args& a, int) {
         const std::string t = a[0].text();
         const int start = a[1].num, length = a[2].num;
         if (start < 1 || length < 1 || start > int(t.size()))
           return T("");
         return T(t.substr(std::size_t(start - 1), std::size_t(length)));
       }},
      {"ASCII",
       1740,
       1,
       256,
       {I::Text},
       Out::I32,
       -1,
       [](const Args& a, int) {
         return N(a[0].text().empty() ? 0 : static_cast<unsigned char>(a[0].text()[0]));
       }},
      {"CHR",
       1770,
       1,
       1,
       {I::Int},
       Out::Char1,
       -1,
       [](const Args& a, int) {
         return T(a[0].num >= 0 && a[0].num < 128 ? std::string(1, char(a[0].num)) : "?");
       }},
      {"CONCAT",
       1771,
       1,
       256,
       {I::Text, I::Text},
       Out::Same,
       -1,
       [](const Args& a, int w) { return T((a[0].text() + a[1].text()).substr(0, std::size_t(w))); }},
      {"CONCAT_WIDE",
       1780,
       1,
       128,
       {I::Text, I::Text},
       Out::Wide,
       -1,
       [](const Args& a, int) { return T(a[1].text() + a[0].text()); }},
      {"STRCMP",
       1790,
       1,
       256,
       {I::Text, I::Text},
       Out::I32,
       -1,
       [](const Args& a, int) {
         const int c = a[0].text().compare(a[1].text());
         return N((c > 0) - (c < 0));
       }},
      {"LOCATE",
       1978,
       1,
       256,
       {I::Text, I::Text, I::Int},
       Out::I32,
       0,
       [](const Args& a, int) { return N(locate(a[0].text(), a[1].text(), a[2].num)); }},
      {"REVERSE",
       2153,
       2,
       256,
       {I::Text},
       Out::Same,
       -1,
       [](const Args& a, int) {
         std::string t = a[0].text();
         std::reverse(t.begin(), t.end());
         return T(t);
       }},
      {"INITCAP",
       2162,
       1,
       256,
       {I::Text},
       Out::Same,
       -1,
       [](const Args& a, int) { return T(initcap(a[0].text())); }},
      {"MASK",
       2187,
       1,
       256,
       {I::Text, I::Int, I::Int, I::Char1},
       Out::Same,
       -1,
       [](const Args& a, int) { return T(mask(a[0].text(), a[1].num, a[2].num, char(a[3].cell[0]))); }},
  };
  return cases;
}

// --- random operands --------------------------------------------------------------------------------
const std::string kAlphabet = std::string("aAzZbY@[`{ \t\n\v\r-.,19xq") + "\x80\xe9\xff\x08\x0e";

struct Gen {
  std::mt19937_64 rng{20261206};
  std::size_t below(std::size_t n) { return std::size_t(rng() % n); }
  std::string text(std::size_t maxLen) {
    std::string s(below(maxLen + 1), ' ');
    for (char& c : s)
      c = kAlphabet[below(kAlphabet.size())];
    return s;
  }
  // Empty, full, one short, random, all 0xFF, or hostile (random bytes with NULs inside).
  Cell cell(int w) {
    const std::size_t n = std::size_t(w);
    switch (below(10)) {
    case 0:
      return Cell(n, 0);
    case 1:
      return Cell(n, 0xFF);
    case 2: {
      Cell c(n);
      for (auto& b : c)
        b = below(4) == 0 ? 0 : static_cast<unsigned char>(rng());
      return c;
    }
    case 3:
      return cellOf(text(n).append(n, 'k').substr(0, n), n);
    case 4:
      return cellOf(text(n).append(n, 'k').substr(0, n - 1), n);
    default:
      return cellOf(text(n), n);
    }
  }
  int number(int w) {
    const int picks[] = {-1, 0, 1, 2, 3, w - 1, w, w + 1, 255, 256, 257, INT_MIN, INT_MAX};
    return below(3) == 0 ? int(below(std::size_t(w) + 6)) - 3 : picks[below(std::size(picks))];
  }
  Operand operand(In kind, int w) {
    switch (kind) {
    case In::Text:
      return {cell(w)};
    case In::Int:
      return {{}, number(w)};
    case In::Char1: {
      const unsigned char picks[] = {'*', '#', 0, 0xFF, 'a'};
      return {Cell{picks[below(std::size(picks))]}};
    }
    case In::Pad:
      return {below(8) == 0 ? cell(256) : cellOf(text(below(3) == 0 ? 256 : 3), 256)};
    }
    return {};
  }
};

int resultWidth(Out out, int w) {
  switch (out) {
  case Out::Same:
    return w;
  case Out::Wide:
    return 2 * w;
  case Out::Text256:
    return 256;
  case Out::Char1:
  case Out::Bool:
    return 1;
  case Out::I32:
    return 4;
  }
  return 0;
}

Cell expectedCell(const Result& r, Out out, int w) {
  const int rw = resultWidth(out, w);
  if (out == Out::I32 || out == Out::Bool) {
    Cell c(std::size_t(rw), 0);
    const int v = int(r.num);
    std::memcpy(c.data(), &v, std::size_t(rw));
    return c;
  }
  return cellOf(r.text, std::size_t(rw));
}

// Runs one op at width w over kRows random rows (operand `constant` given as a constant, -1: all
// columns) through the harness and compares every row with the model.
void checkOp(const OpCase& op, int w, int constant, Gen& gen) {
  SCOPED_TRACE(std::string(op.name) + " char" + std::to_string(w) + " constant operand " +
               std::to_string(constant));
  std::vector<Args> rows(kRows);
  for (Args& args : rows) {
    for (In kind : op.in)
      args.push_back(gen.operand(kind, w));
    // A first text made of a piece of the second one, so that suffixes, prefixes, equal texts and
    // matches are frequent.
    if (op.in.size() > 1 && op.in[0] == In::Text && op.in[1] == In::Text && gen.below(2) == 0) {
      const std::string s = args[1].text();
      const std::size_t from = gen.below(s.size() + 1);
      args[0].cell =
          cellOf(s.substr(from, gen.below(2) == 0 ? std::string::npos : gen.below(4)), std::size_t(w));
    }
    if (constant >= 0)
      args[std::size_t(constant)] = rows[0][std::size_t(constant)];
  }
  Program p;
  std::vector<Cell> columns;
  for (std::size_t k = 0; k < op.in.size(); ++k) {
    const In kind = op.in[k];
    const int cellWidth = kind == In::Text ? w : kind == In::Pad ? 256 : kind == In::Char1 ? 1 : 4;
    if (int(k) == constant) {
      fixed_array_t<256> value{};
      if (kind == In::Int)
        std::memcpy(value.bytes, &rows[0][k].num, 4);
      else
        std::memcpy(value.bytes, rows[0][k].cell.data(), rows[0][k].cell.size());
      p.constant(kind == In::Int ? kConstI32 : kConstChar + widthIndex(cellWidth), value);
      continue;
    }
    p.column(kind == In::Int ? kLoadI32 : kLoadChar + widthIndex(cellWidth), int(columns.size()));
    Cell bytes;
    for (const Args& args : rows) {
      if (kind == In::Int) {
        const auto* b = reinterpret_cast<const unsigned char*>(&args[k].num);
        bytes.insert(bytes.end(), b, b + 4);
      } else {
        bytes.insert(bytes.end(), args[k].cell.begin(), args[k].cell.end());
      }
    }
    columns.push_back(std::move(bytes));
  }
  p.op(op.first + widthIndex(w) - widthIndex(op.minWidth));
  HarnessCase c(p);
  for (std::size_t k = 0, col = 0; k < op.in.size(); ++k)
    if (int(k) != constant) {
      const std::size_t width = columns[col].size() / kRows;
      c.addRawColumn(width, kRows, std::move(columns[col++]));
    }
  const HarnessResult r = c.run();
  const int rw = resultWidth(op.out, w);
  ASSERT_EQ(r.width, std::size_t(rw));
  ASSERT_EQ(r.rows, static_cast<unsigned long>(kRows));
  EXPECT_EQ(r.code, vela::cuda::RPN_EVAL_OK);
  int failures = 0;
  for (int row = 0; row < kRows && failures < 5; ++row) {
    const Cell expected = expectedCell(op.model(rows[std::size_t(row)], w), op.out, w);
    const Cell got(r.values.begin() + long(row) * rw, r.values.begin() + long(row + 1) * rw);
    EXPECT_EQ(r.states.empty() ? 0 : r.states[std::size_t(row)], 0) << "row " << row;
    if (got != expected) {
      ++failures;
      std::string inputs;
      for (const Operand& o : rows[std::size_t(row)])
        inputs += (o.cell.empty() ? std::to_string(o.num) : "\"" + o.text() + "\"") + " ";
      ADD_FAILURE() << "row " << row << " inputs " << inputs << "got \"" << textOf(got) << "\" expected \""
                    << textOf(expected) << "\"";
    }
  }
}

TEST(CharTextProperty, EveryOpAtEveryWidthMatchesTheReadingOrderModel) {
  Gen gen;
  for (const OpCase& op : opCases())
    for (int w : kWidths) {
      if (w < op.minWidth || w > op.maxWidth)
        continue;
      checkOp(op, w, -1, gen);
      if (op.constantOperand >= 0)
        checkOp(op, w, op.constantOperand, gen);
    }
}

TEST(CharTextProperty, NamedHelpersMatchTheModels) {
  Gen gen;
  for (int w : kWidths)
    for (int k = 0; k < 300; ++k) {
      const Cell s = gen.cell(w);
      const std::string t = textOf(s);
      Cell out = s;
      vela::cuda::charN_ltrim(reinterpret_cast<char*>(out.data()), w);
      EXPECT_EQ(out, cellOf(ltrim(t), std::size_t(w))) << "ltrim \"" << t << "\"";
      out = s;
      vela::cuda::charN_trim(reinterpret_cast<char*>(out.data()), w);
      EXPECT_EQ(out, cellOf(ltrim(rtrim(t)), std::size_t(w))) << "trim \"" << t << "\"";
      const Cell padCell = gen.operand(In::Pad, w).cell;
      const int n = gen.number(w);
      for (bool left : {true, false}) {
        Cell out256(256, 0xAA);
        vela::cuda::charN_pad(reinterpret_cast<char*>(out256.data()), reinterpret_cast<const char*>(s.data()),
                              n, reinterpret_cast<const char*>(padCell.data()), w, left);
        EXPECT_EQ(out256, cellOf(pad(t, n, textOf(padCell), left), 256)) << "pad \"" << t << "\" " << n;
      }
      const Cell sub =
          gen.below(2) == 0 ? gen.cell(w) : cellOf(t.substr(gen.below(t.size() + 1), 2), std::size_t(w));
      const int start = gen.number(w);
      EXPECT_EQ(vela::cuda::charN_locate(reinterpret_cast<const char*>(s.data()),
                                         reinterpret_cast<const char*>(sub.data()), w, start),
                locate(textOf(sub), t, start))
          << "locate \"" << textOf(sub) << "\" in \"" << t << "\" from " << start;
    }
}

} // namespace
