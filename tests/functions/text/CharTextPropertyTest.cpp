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

#include "functions/text/CharTextHelpers.h"
#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;

namespace {

using Cell = std::vector<unsigned char>; // a cell's bytes, byte 0 first (character 0 is the last byte)
using S = std::string;

S textOf(const Cell& c) {
  return vela::ParserUtils::unpackCharN(c.data(), c.size());
}
Cell cellOf(const S& text, int width) {
  Cell c(std::size_t(width), 0);
  vela::ParserUtils::packCharN(text, c.size(), c.data()); // refuses a model result longer than the width
  return c;
}

// --- op cases ---------------------------------------------------------------------------------------
struct Arg {
  Cell cell; // a text cell, or the 4 bytes of an int
  S t() const { return textOf(cell); }
  int n() const {
    int v;
    std::memcpy(&v, cell.data(), 4);
    return v;
  }
};
using Args = std::vector<Arg>;
struct Result {
  S text;
  long num = 0;
};
Result T(S s) {
  return {std::move(s), 0};
}
Result N(long v) {
  return {{}, v};
}

struct OpCase {
  const char* name;
  int first;      // op code of the narrowest width
  const char* in; // operands: t = text of the width, n = i32, c = char1, p = char256
  char out;       // s = same width, w = twice the width, p = char256, c = char1, i = i32, b = bool
  int constant;   // an operand also given as a constant (-1: none)
  int minW, maxW; // the family's widths
  std::function<Result(const Args&, int w)> model;
};

const std::vector<OpCase>& opCases() {
  // clang-format off
  static const std::vector<OpCase> cases = {
    {"LENGTH", 1608, "t", 'i', -1, 1, 256, [](const Args& a, int) { return N(long(a[0].t().size())); }},
    {"LOWER", 1619, "t", 's', -1, 1, 256, [](const Args& a, int) { return T(caseModel(a[0].t(), 0)); }},
    {"UPPER", 1629, "t", 's', -1, 1, 256, [](const Args& a, int) { return T(caseModel(a[0].t(), 1)); }},
    {"LTRIM", 1639, "t", 's', -1, 1, 256, [](const Args& a, int) { return T(trimModel(a[0].t(), true, false)); }},
    {"RTRIM", 1649, "t", 's', -1, 1, 256, [](const Args& a, int) { return T(trimModel(a[0].t(), false, true)); }},
    {"TRIM", 1659, "t", 's', -1, 1, 256, [](const Args& a, int) { return T(trimModel(a[0].t(), true, true)); }},
    {"LEFT", 1669, "tn", 's', -1, 1, 256,
     [](const Args& a, int w) { return T(a[0].t().substr(0, std::size_t(std::clamp(a[1].n(), 0, w)))); }},
    {"LPAD", 1679, "tnp", 'p', 2, 1, 256, [](const Args& a, int) { return T(padModel(a[0].t(), a[1].n(), a[2].t(), true, 256, true)); }},
    {"RIGHT", 1689, "tn", 's', -1, 1, 256, [](const Args& a, int w) {
       const S t = a[0].t();
       return T(t.substr(t.size() - std::min(t.size(), std::size_t(std::clamp(a[1].n(), 0, w))))); }},
    {"RPAD", 1699, "tnp", 'p', 2, 1, 256, [](const Args& a, int) { return T(padModel(a[0].t(), a[1].n(), a[2].t(), false, 256, true)); }},
    {"ENDS_WITH", 1720, "tt", 'b', -1, 1, 256, [](const Args& a, int) {
       const S p = a[0].t(), s = a[1].t();
       return N(s.empty() ? p.empty() : !p.empty() && s.ends_with(p)); }},
    {"SUBSTR", 1730, "tnn", 's', -1, 1, 256, [](const Args& a, int) {
       const S t = a[0].t();
       const int start = a[1].n(), length = a[2].n();
       return T(start < 1 || length < 1 || start > int(t.size()) ? "" : t.substr(std::size_t(start - 1), std::size_t(length))); }},
    {"ASCII", 1740, "t", 'i', -1, 1, 256, [](const Args& a, int) { return N(static_cast<unsigned char>(a[0].t().c_str()[0])); }},
    {"CHR", 1770, "n", 'c', -1, 1, 1, [](const Args& a, int) { return T(unsigned(a[0].n()) < 128 ? S(1, char(a[0].n())) : "?"); }},
    {"CONCAT", 1771, "tt", 's', -1, 1, 256, [](const Args& a, int w) { return T((a[0].t() + a[1].t()).substr(0, std::size_t(w))); }},
    {"CONCAT_WIDE", 1780, "tt", 'w', -1, 1, 128, [](const Args& a, int) { return T(a[1].t() + a[0].t()); }},
    {"STRCMP", 1790, "tt", 'i', -1, 1, 256, [](const Args& a, int) {
       const int c = a[0].t().compare(a[1].t());
       return N((c > 0) - (c < 0)); }},
    {"LOCATE", 1978, "ttn", 'i', 0, 1, 256, [](const Args& a, int) { return N(locateModel(a[0].t(), a[1].t(), a[2].n())); }},
    {"REVERSE", 2153, "t", 's', -1, 2, 256, [](const Args& a, int) {
       S t = a[0].t();
       return T(S(t.rbegin(), t.rend())); }},
    {"INITCAP", 2162, "t", 's', -1, 1, 256, [](const Args& a, int) { return T(caseModel(a[0].t(), 2)); }},
    {"MASK", 2187, "tnnc", 's', -1, 1, 256,
     [](const Args& a, int) { return T(maskModel(a[0].t(), a[1].n(), a[2].n(), a[3].cell[0])); }},
  };
  // clang-format on
  return cases;
}

// --- random operands --------------------------------------------------------------------------------
const S kAlphabet = S("aAzZbY@[`{ \t\n\v\r-.,19xq") + "\x80\xe9\xff\x08\x0e";

struct Gen {
  std::mt19937_64 rng{20261206};
  std::size_t below(std::size_t n) { return std::size_t(rng() % n); }
  S text(std::size_t maxLen) {
    S s(below(maxLen + 1), ' ');
    for (char& c : s)
      c = kAlphabet[below(kAlphabet.size())];
    return s;
  }
  // Empty, all 0xFF, hostile (random bytes with NULs inside), full, one short, or random.
  Cell cell(int w) {
    const std::size_t n = std::size_t(w), k = below(10);
    if (k < 2)
      return Cell(n, k == 0 ? 0 : 0xFF);
    if (k == 2) {
      Cell c(n);
      for (auto& b : c)
        b = below(4) == 0 ? 0 : static_cast<unsigned char>(rng());
      return c;
    }
    return cellOf(k < 5 ? text(n).append(n, 'k').substr(0, n - below(2)) : text(n), w);
  }
  int number(int w) {
    const int picks[] = {-1, 0, 1, 2, w - 1, w, w + 1, 255, 256, 257, INT_MIN, INT_MAX};
    return below(3) == 0 ? int(below(std::size_t(w) + 6)) - 3 : picks[below(std::size(picks))];
  }
  Arg arg(char kind, int w) {
    if (kind == 'n') {
      Cell c(4);
      const int v = number(w);
      std::memcpy(c.data(), &v, 4);
      return {c};
    }
    if (kind == 'c')
      return {Cell{static_cast<unsigned char>(S("*#\0\xff", 4)[below(4)])}};
    return {kind == 't' ? cell(w) : below(8) == 0 ? cell(256) : cellOf(text(below(3) == 0 ? 256 : 3), 256)};
  }
};

// Runs one op at width w over kRows random rows (operand `constant` given as a constant, -1: all
// columns) through the harness and compares every row with the model.
void checkOp(const OpCase& op, int w, int constant, Gen& gen) {
  SCOPED_TRACE(S(op.name) + " char" + std::to_string(w) + ", constant operand " + std::to_string(constant));
  constexpr int kRows = 203;
  const std::size_t arity = std::strlen(op.in);
  std::vector<Args> rows(kRows);
  for (Args& args : rows) {
    for (std::size_t k = 0; k < arity; ++k)
      args.push_back(k == std::size_t(constant) && &args != &rows[0] ? rows[0][k] : gen.arg(op.in[k], w));
    // A first text cut from the second one, so that suffixes, prefixes, equal texts and matches are
    // frequent.
    if (S(op.in).starts_with("tt") && gen.below(2) == 0 && constant != 0) {
      const S s = args[1].t();
      args[0].cell = cellOf(s.substr(gen.below(s.size() + 1), gen.below(2) == 0 ? S::npos : gen.below(4)), w);
    }
  }
  Program p;
  std::vector<std::pair<int, Cell>> columns; // width, bytes
  for (std::size_t k = 0; k < arity; ++k) {
    const int width = op.in[k] == 't' ? w : op.in[k] == 'p' ? 256 : op.in[k] == 'c' ? 1 : 4;
    if (int(k) == constant) {
      fixed_array_t<256> value{};
      std::memcpy(value.bytes, rows[0][k].cell.data(), rows[0][k].cell.size());
      p.constant(op.in[k] == 'n' ? kConstI32 : kConstChar + widthIndex(width), value);
      continue;
    }
    p.column(op.in[k] == 'n' ? kLoadI32 : kLoadChar + widthIndex(width), int(columns.size()));
    Cell bytes;
    for (const Args& args : rows)
      bytes.insert(bytes.end(), args[k].cell.begin(), args[k].cell.end());
    columns.emplace_back(width, std::move(bytes));
  }
  p.op(op.first + widthIndex(w) - widthIndex(op.minW));
  HarnessCase c(p);
  for (auto& [width, bytes] : columns)
    c.addRawColumn(std::size_t(width), kRows, std::move(bytes));
  const int rw = op.out == 's' ? w : op.out == 'w' ? 2 * w : op.out == 'p' ? 256 : op.out == 'i' ? 4 : 1;
  const bool number = op.out == 'i' || op.out == 'b';
  const HarnessResult r = c.run();
  ASSERT_EQ(r.width, std::size_t(rw));
  EXPECT_EQ(r.code, vela::cuda::RPN_EVAL_OK);
  int failures = 0;
  for (std::size_t row = 0; row < kRows && failures < 5; ++row) {
    const Result m = op.model(rows[row], w);
    Cell expected = number ? Cell(std::size_t(rw)) : cellOf(m.text, rw);
    if (number)
      std::memcpy(expected.data(), &m.num, std::size_t(rw)); // little-endian: the low bytes
    const Cell got(r.values.begin() + long(row) * rw, r.values.begin() + long(row + 1) * rw);
    if (got != expected || (!r.states.empty() && r.states[row] != 0)) {
      S inputs;
      for (std::size_t k = 0; k < arity; ++k)
        inputs += (op.in[k] == 'n' ? std::to_string(rows[row][k].n()) : "\"" + rows[row][k].t() + "\"") + " ";
      ADD_FAILURE() << "row " << row << " inputs " << inputs << "got \"" << textOf(got) << "\" expected \""
                    << textOf(expected) << "\"";
      ++failures;
    }
  }
}

TEST(CharTextProperty, EveryOpAtEveryWidthMatchesTheReadingOrderModel) {
  Gen gen;
  for (const OpCase& op : opCases())
    for (int w = op.minW; w <= op.maxW; w *= 2) {
      checkOp(op, w, -1, gen);
      if (op.constant >= 0)
        checkOp(op, w, op.constant, gen);
    }
}

// The word forms (the kernels of builds without AVX2) agree with the kernels the harness checked above.
template <std::size_t N>
void checkWordForms(Gen& gen) {
  using C = vela::cuda::charn::Cell<N>;
  for (int k = 0; k < 500; ++k) {
    const Cell bytes = gen.cell(int(N));
    C c;
    std::memcpy(&c, bytes.data(), N);
    namespace ct = vela::cuda::chartext;
    ASSERT_EQ(ct::textLengthByWords(c), ct::textLength(c)) << textOf(bytes);
    ASSERT_EQ(ct::mapCaseByWords<true>(c), ct::mapCase<true>(c)) << textOf(bytes);
    ASSERT_EQ(ct::mapCaseByWords<false>(c), ct::mapCase<false>(c)) << textOf(bytes);
  }
}
TEST(CharTextProperty, WordFormsAgreeWithTheVectorKernels) {
  Gen gen;
  [&]<std::size_t... K>(std::index_sequence<K...>) {
    (checkWordForms<std::size_t{1} << K>(gen), ...);
  }
  (std::index_sequence<4, 5, 6, 8>{});
}

TEST(CharTextProperty, NamedHelpersMatchTheModels) {
  Gen gen;
  for (int w = 1; w <= 256; w *= 2)
    for (int k = 0; k < 300; ++k) {
      const Cell s = gen.cell(w), padCell = gen.arg('p', w).cell;
      const S t = textOf(s);
      const int n = gen.number(w);
      Cell out = s, out2 = s;
      vela::cuda::charN_ltrim(reinterpret_cast<char*>(out.data()), w);
      vela::cuda::charN_trim(reinterpret_cast<char*>(out2.data()), w);
      EXPECT_EQ(out, cellOf(trimModel(t, true, false), w)) << "ltrim \"" << t << "\"";
      EXPECT_EQ(out2, cellOf(trimModel(t, true, true), w)) << "trim \"" << t << "\"";
      for (bool left : {true, false}) {
        Cell out256(256, 0xAA);
        vela::cuda::charN_pad(reinterpret_cast<char*>(out256.data()), reinterpret_cast<const char*>(s.data()),
                              n, reinterpret_cast<const char*>(padCell.data()), w, left);
        EXPECT_EQ(out256, cellOf(padModel(t, n, textOf(padCell), left, 256, true), 256))
            << "pad \"" << t << "\" " << n;
      }
      const Cell sub = gen.below(2) == 0 ? gen.cell(w) : cellOf(t.substr(gen.below(t.size() + 1), 2), w);
      EXPECT_EQ(vela::cuda::charN_locate(reinterpret_cast<const char*>(s.data()),
                                         reinterpret_cast<const char*>(sub.data()), w, n),
                locateModel(textOf(sub), t, n))
          << "locate \"" << textOf(sub) << "\" in \"" << t << "\" from " << n;
    }
}

} // namespace
