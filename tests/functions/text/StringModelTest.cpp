// The reshaping text functions on random strings against independent models written with std::string
// (here and, shared with the charN tests, in TextTestSupport.h), through both evaluators: lengths 0, 1, 255,
// 256 and 100000 among short random texts, counts and positions negative, zero, inside and past the end.
#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;

namespace {

using I32 = std::int32_t;
using C1 = std::uint8_t;

std::string m_left(const std::string& s, I32 n) {
  return n <= 0 ? "" : s.substr(0, std::size_t(n));
}
std::string m_right(const std::string& s, I32 n) {
  const long k = std::min<long>(std::max<long>(n, 0), long(s.size()));
  return s.substr(s.size() - std::size_t(k));
}
std::string m_substr(const std::string& s, I32 start, I32 length) {
  const long m = std::min<long>(long(s.size()) - (long(start) - 1), length);
  if (start < 1 || m < 1)
    return "";
  return s.substr(std::size_t(start - 1), std::size_t(m));
}
std::string m_replaceChar(const std::string& s, C1 from, C1 to) {
  if (from == 0)
    return s;
  std::string out;
  for (char c : s)
    if (static_cast<unsigned char>(c) != from)
      out += c;
    else if (to != 0)
      out += char(to);
  return out;
}

class Inputs {
public:
  Inputs() : m_gen(20261206) {}
  // Mostly short texts over a small alphabet (so that searches and trims hit), sometimes one of the
  // boundary lengths.
  std::string text() {
    const std::size_t k = m_gen() % 40;
    if (k < 5) {
      const std::size_t lengths[] = {0, 1, 255, 256, 100000};
      if (k == 4 && m_long++ >= 2)
        return draw(m_gen, 8, kAlphabet);
      std::string s(lengths[k], ' ');
      for (char& c : s)
        c = kAlphabet[m_gen() % kAlphabet.size()];
      return s;
    }
    return draw(m_gen, 12, kAlphabet);
  }
  std::string piece(const std::string& of) { // a piece of a text, or a random short one
    if (of.empty() || m_gen() % 3 == 0)
      return draw(m_gen, 3, kAlphabet);
    const std::size_t from = m_gen() % of.size();
    return of.substr(from, 1 + m_gen() % std::min<std::size_t>(4, of.size() - from));
  }
  I32 count(std::size_t len) { // negative, zero, the length, past it, an extreme, or inside
    const I32 n = I32(len), k = I32(m_gen() % 8);
    const I32 picks[] = {-I32(m_gen() % 5) - 1, 0, n, n + 1 + I32(m_gen() % 3),
                         m_gen() % 2 ? 2147483647 : -2147483647 - 1};
    return k < 5 ? picks[k] : len == 0 ? 1 : 1 + I32(m_gen() % len);
  }
  C1 byte() { return m_gen() % 6 == 0 ? 0 : C1(kAlphabet[m_gen() % kAlphabet.size()]); }
  std::mt19937& gen() { return m_gen; }

private:
  inline static const std::string kAlphabet = "abA, \tZ";
  std::mt19937 m_gen;
  int m_long = 0;
};

constexpr int kRows = 300;
const std::vector<unsigned long> kCounts = {1, 65};

template <class Out, class... In>
void run(int op, const std::vector<Row<Out, In...>>& rows) {
  expectObjectTable<Out, In...>(op, rows, false, kCounts);
}

TEST(StringModel, TrimCaseReverse) {
  Inputs in;
  std::vector<Row<Str, Str>> rows[7];
  for (int i = 0; i < kRows; ++i) {
    std::string s = in.text();
    if (i % 4 == 0)
      s = " \t" + s + "\n ";
    rows[0].push_back({{s}, trimModel(s, true, false)});
    rows[1].push_back({{s}, trimModel(s, false, true)});
    rows[2].push_back({{s}, trimModel(s, true, true)});
    rows[3].push_back({{s}, caseModel(s, 0)});
    rows[4].push_back({{s}, caseModel(s, 1)});
    rows[5].push_back({{s}, caseModel(s, 2)});
    rows[6].push_back({{s}, std::string(s.rbegin(), s.rend())});
  }
  const int codes[] = {1648, 1658, 1668, 1628, 1638, 2171, 2161};
  for (int k = 0; k < 7; ++k)
    run(codes[k], rows[k]);
}

TEST(StringModel, SlicesAndPads) {
  Inputs in;
  std::vector<Row<Str, Str, I32>> left, right;
  std::vector<Row<Str, Str, I32, I32>> substr;
  std::vector<Row<Str, Str, I32, Str>> lpad, rpad;
  std::vector<Row<Str, Str, I32, I32, C1>> mask;
  for (int i = 0; i < kRows; ++i) {
    const std::string s = in.text();
    const I32 n = in.count(s.size()), m = in.count(s.size());
    left.push_back({{s, n}, m_left(s, n)});
    right.push_back({{s, n}, m_right(s, n)});
    substr.push_back({{s, n, m}, m_substr(s, n, m)});
    const I32 width = i % 50 == 0 ? 100000 + I32(in.gen()() % 3) : I32(in.gen()() % 30) - 3;
    const std::string pad = in.gen()() % 8 == 0 ? std::string() : in.piece(s);
    lpad.push_back({{s, width, pad}, padModel(s, width, pad, true, 100000, false)});
    rpad.push_back({{s, width, pad}, padModel(s, width, pad, false, 100000, false)});
    const C1 c = in.byte();
    mask.push_back({{s, n, m, c}, maskModel(s, n, m, c)});
  }
  run(1678, left);
  run(1698, right);
  run(1739, substr);
  run(1688, lpad);
  run(1708, rpad);
  run(2196, mask);
}

TEST(StringModel, SearchReplaceSplitConcat) {
  Inputs in;
  std::vector<Row<Str, Str, Str, Str>> replace;
  std::vector<Row<I32, Str, Str, I32>> locate;
  std::vector<Row<Str, Str, C1, I32>> split;
  std::vector<Row<Str, Str, C1, C1>> replaceChar;
  std::vector<Row<Str, Str, Str>> concat;
  for (int i = 0; i < kRows; ++i) {
    const std::string s = in.text(), from = in.piece(s), to = in.piece(s);
    replace.push_back({{s, from, to}, replaceModel(s, from, to)});
    const I32 start = in.count(s.size());
    locate.push_back({{from, s, start}, locateModel(from, s, start)});
    const C1 d = i % 3 == 0 ? C1(',') : in.byte();
    const I32 k = I32(in.gen()() % 9) - 4;
    split.push_back({{s, d, k}, splitModel(s, char(d), k)});
    const C1 a = in.byte(), b = in.byte();
    replaceChar.push_back({{s, a, b}, m_replaceChar(s, a, b)});
    const std::string t = in.text();
    concat.push_back({{s, t}, s + t});
  }
  run(1993, replace);
  run(1987, locate);
  run(2151, split);
  run(2012, replaceChar);
  run(1788, concat);
}

TEST(StringModel, SearchIsLinearOnAdversarialText) {
  // A needle that nearly matches everywhere: "aaa...ab" in "aaa...a". A quadratic search would take
  // some 10^10 steps here; the linear one finishes at once.
  const std::string hay(200000, 'a'), needle = std::string(50000, 'a') + "b";
  run<I32, Str, Str, I32>(1987, {{{needle, hay, 1}, 0}, {{needle, hay + "b", 1}, 150001}});
  run<Str, Str, Str, Str>(1993, {{{hay + "b", needle, "x"}, std::string(150000, 'a') + "x"}});
}

} // namespace
