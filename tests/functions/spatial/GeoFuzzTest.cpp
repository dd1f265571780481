// Random and mutated WKT and WKB through the parse ops, in both evaluators with the pool checked after
// every run. The inputs come from a fixed seed: pure noise, token soup, and valid geometries written by
// an encoder of this file (both byte orders, Z by flag or ISO code, SRID, nesting up to and past the
// depth limit) then truncated, bit-flipped, given huge counts or trailing bytes. Every row must read as
// a geometry or fail with its own status (13 WKT, 14 WKB); the WKT constructors end the call with the
// reader's refusal instead. Where the construction decides the answer (valid, truncated, too deep) the
// row's status is checked against it.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tests/functions/text/TextTestSupport.h"
#include "tests/support/EvalHarness.h"

using namespace quarry::test;

namespace {

constexpr int kFromWktCast = 780, kFromWkbCast = 781, kFromWkt = 2393, kFromWktSrid = 2394;
constexpr std::uint8_t kBadWkt = vela::cuda::RPN_EVAL_BAD_WKT, kBadWkb = vela::cuda::RPN_EVAL_BAD_WKB;
constexpr int kRows = 10000;
constexpr int kDepthLimit = 1000; // levels a reader accepts

enum class Expect { Any, Good, Bad };

struct Input {
  Str bytes;
  Expect expect = Expect::Any;
};

// --- an independent model of both forms --------------------------------------------------------------

// A random geometry written as WKT and as WKB at once.
class Writer {
public:
  explicit Writer(std::mt19937_64& gen) : m_gen(gen) {}

  // A geometry of at most depthLeft collection levels; members of a collection share its Z.
  void geometry(int depthLeft, std::optional<bool> zOf = std::nullopt) {
    const int kind = depthLeft > 0 ? pick(1, 7) : pick(1, 3);
    const bool z = zOf.value_or(pick(0, 3) == 0);
    const bool empty = pick(0, 7) == 0;
    header(kind, z);
    m_wkt += empty ? " EMPTY" : " ";
    switch (kind) {
    case 1:
      if (empty)
        return coordinates(z, {{kNaN, kNaN}}, true);
      return coordinates(z, {{num(), num()}}, false, true);
    case 2:
      return line(z, empty ? 0 : pick(2, 5), false);
    case 3:
      return polygon(z, empty ? 0 : pick(1, 3));
    default: {
      const int n = empty ? 0 : pick(1, 3);
      count(n);
      if (n > 0)
        m_wkt += "(";
      for (int i = 0; i < n; ++i) {
        if (i > 0)
          m_wkt += ", ";
        const std::size_t mark = m_wkt.size();
        if (kind == 7) {
          geometry(depthLeft - 1, z);
          continue;
        }
        header(kind - 3, z); // members of a multi-geometry: written without names in WKT
        m_wkt.resize(mark);
        if (kind == 4)
          coordinates(z, {{num(), num()}}, false, true);
        else if (kind == 5)
          line(z, pick(2, 4), false);
        else
          polygon(z, pick(1, 2));
      }
      if (n > 0)
        m_wkt += ")";
    }
    }
  }

  const std::string& wkt() const { return m_wkt; }
  const std::string& wkb() const { return m_wkb; }

  /// Depth levels of collections around one point: `levels` collections.
  static void nested(int levels, bool big, std::string& wkt, std::string& wkb) {
    wkt.clear();
    wkb.clear();
    for (int i = 0; i < levels; ++i) {
      wkt += "GEOMETRYCOLLECTION (";
      putHeader(wkb, big, 7);
      putU32(wkb, big, 1);
    }
    wkt += "POINT (1 2)";
    wkt.append(static_cast<std::size_t>(levels), ')');
    putHeader(wkb, big, 1);
    putF64(wkb, big, 1);
    putF64(wkb, big, 2);
  }

private:
  static constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  static constexpr const char* kNames[] = {
      "",           "POINT",           "LINESTRING",   "POLYGON",
      "MULTIPOINT", "MULTILINESTRING", "MULTIPOLYGON", "GEOMETRYCOLLECTION"};

  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_gen); }
  double num() { return pick(-50, 50) / 4.0; }

  static void putU32(std::string& out, bool big, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      out.push_back(static_cast<char>(v >> (big ? 24 - 8 * i : 8 * i)));
  }
  static void putF64(std::string& out, bool big, double d) {
    std::uint64_t v;
    std::memcpy(&v, &d, sizeof v);
    for (int i = 0; i < 8; ++i)
      out.push_back(static_cast<char>(v >> (big ? 56 - 8 * i : 8 * i)));
  }
  static void putHeader(std::string& out, bool big, std::uint32_t type) {
    out.push_back(big ? 0 : 1);
    putU32(out, big, type);
  }

  // Header of a geometry of `kind`: a random byte order, Z by the extended flag or the ISO code, and
  // sometimes an SRID.
  void header(int kind, bool z) {
    m_big = pick(0, 1) == 1;
    std::uint32_t type = static_cast<std::uint32_t>(kind);
    if (z)
      type = pick(0, 1) ? (type | 0x80000000u) : type + 1000;
    const bool srid = pick(0, 5) == 0;
    if (srid)
      type |= 0x20000000u;
    putHeader(m_wkb, m_big, type);
    if (srid)
      putU32(m_wkb, m_big, 4326);
    m_wkt += kNames[kind];
    if (z)
      m_wkt += " Z";
  }
  void count(int n) { putU32(m_wkb, m_big, static_cast<std::uint32_t>(n)); }

  // One coordinate list; a point has no count, an empty point is NaN coordinates in WKB only.
  void coordinates(bool z, const std::vector<std::pair<double, double>>& xy, bool emptyPoint,
                   bool single = false) {
    if (!single && !emptyPoint)
      count(static_cast<int>(xy.size()));
    if (xy.empty())
      return;
    if (!emptyPoint)
      m_wkt += "(";
    for (std::size_t i = 0; i < xy.size(); ++i) {
      const double zv = num();
      putF64(m_wkb, m_big, xy[i].first);
      putF64(m_wkb, m_big, xy[i].second);
      if (z)
        putF64(m_wkb, m_big, emptyPoint ? kNaN : zv);
      if (emptyPoint)
        continue;
      m_wkt += (i ? ", " : "") + text(xy[i].first) + " " + text(xy[i].second) + (z ? " " + text(zv) : "");
    }
    if (!emptyPoint)
      m_wkt += ")";
  }
  void line(bool z, int n, bool closed) {
    std::vector<std::pair<double, double>> xy;
    for (int i = 0; i < n; ++i)
      xy.emplace_back(num(), num());
    if (closed)
      xy.push_back(xy.front());
    coordinates(z, xy, false);
  }
  // Rings are triangles around distinct corners, closed.
  void polygon(bool z, int rings) {
    count(rings);
    if (rings == 0)
      return;
    m_wkt += "(";
    for (int r = 0; r < rings; ++r) {
      if (r > 0)
        m_wkt += ", ";
      const double x = num(), y = num();
      coordinates(z, {{x, y}, {x + 1, y}, {x, y + 1}, {x, y}}, false);
    }
    m_wkt += ")";
  }
  static std::string text(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
  }

  std::mt19937_64& m_gen;
  bool m_big = false;
  std::string m_wkt, m_wkb;
};

// --- the inputs ----------------------------------------------------------------------------------------

struct Corpus {
  std::vector<Input> wkt, wkb;
};

Corpus makeCorpus() {
  std::mt19937_64 gen(0x5eed2026);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); };
  auto noise = [&](std::size_t n) {
    std::string s(n, '\0');
    for (char& c : s)
      c = static_cast<char>(gen());
    return s;
  };
  // Tokens of WKT and its near misses, '|' separated.
  static const std::vector<std::string> kTokens = [] {
    const std::string all =
        "POINT|LINESTRING|POLYGON|MULTIPOINT|MULTILINESTRING|MULTIPOLYGON|GEOMETRYCOLLECTION|"
        "EMPTY|Z|M|ZM|(|)|,| |1|-2.5|1e308|1e999|nan|inf|0x10|.|+|point|\t|((|))";
    std::vector<std::string> out(1);
    for (char ch : all)
      ch == '|' ? (void)out.emplace_back() : out.back().push_back(ch);
    return out;
  }();
  Corpus c;
  for (int i = 0; c.wkt.size() < kRows; ++i) {
    // A valid pair of forms, then variants of it.
    Writer w(gen);
    w.geometry(pick(0, 3));
    switch (i % 10) {
    case 0: // as written
      c.wkt.push_back({w.wkt(), Expect::Good});
      c.wkb.push_back({w.wkb(), Expect::Good});
      break;
    case 1: { // a strict prefix never completes the geometry
      c.wkt.push_back({w.wkt().substr(0, gen() % w.wkt().size()), Expect::Bad});
      c.wkb.push_back({w.wkb().substr(0, gen() % w.wkb().size()), Expect::Bad});
      break;
    }
    case 2: // trailing bytes
      c.wkt.push_back({w.wkt() + " x", Expect::Bad});
      c.wkb.push_back({w.wkb() + noise(pick(1, 9)), Expect::Bad});
      break;
    case 3: { // flipped bits
      std::string t = w.wkt(), b = w.wkb();
      for (int k = pick(1, 3); k > 0; --k) {
        t[gen() % t.size()] ^= static_cast<char>(1 << pick(0, 7));
        b[gen() % b.size()] ^= static_cast<char>(1 << pick(0, 7));
      }
      c.wkt.push_back({t});
      c.wkb.push_back({b});
      break;
    }
    case 4: { // a huge count or type word written over an aligned word of the WKB; a token swapped in the WKT
      std::string b = w.wkb();
      if (b.size() >= 9) {
        const std::size_t at = 1 + 4 * (gen() % ((b.size() - 5) / 4 + 1));
        const std::uint32_t huge[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x10000000u,
                                      0x80000000u, 1000000u,    0x40000001u};
        const std::uint32_t v = huge[gen() % std::size(huge)];
        for (int k = 0; k < 4 && at + k < b.size(); ++k)
          b[at + k] = static_cast<char>(v >> (8 * k));
      }
      std::string t = w.wkt();
      const std::size_t at = gen() % (t.size() + 1);
      t.insert(at, kTokens[gen() % kTokens.size()]);
      c.wkt.push_back({t});
      c.wkb.push_back({b});
      break;
    }
    case 5: { // nesting: shallow, and a few rows on both sides of the depth limit (deep ones are slow to
              // build and free: each level of a collection walks the levels below it)
      const int levels = i % 1000 == 5 ? kDepthLimit - 3 + (i / 1000) % 6 : pick(0, 40);
      std::string t, b;
      Writer::nested(levels, pick(0, 1) == 1, t, b);
      const Expect e = levels + 1 <= kDepthLimit ? Expect::Good : Expect::Bad;
      c.wkt.push_back({t, e});
      c.wkb.push_back({b, e});
      break;
    }
    case 6: // pure noise
      c.wkt.push_back({noise(pick(0, 40))});
      c.wkb.push_back({noise(pick(0, 80))});
      break;
    case 7: { // token soup; a WKB header over noise
      std::string t;
      for (int k = pick(1, 25); k > 0; --k)
        t += kTokens[gen() % kTokens.size()];
      std::string b(1, static_cast<char>(pick(0, 1)));
      const std::uint32_t type = static_cast<std::uint32_t>(pick(0, 8) + 1000 * pick(0, 3)) |
                                 (pick(0, 3) == 0 ? 0x80000000u : 0) | (pick(0, 3) == 0 ? 0x20000000u : 0);
      for (int k = 0; k < 4; ++k)
        b.push_back(static_cast<char>(type >> (b[0] ? 8 * k : 24 - 8 * k)));
      c.wkt.push_back({t});
      c.wkb.push_back({b + noise(pick(0, 60))});
      break;
    }
    case 8: { // unbalanced parentheses far past the limit; a depth bomb of empty-count collections
      c.wkt.push_back({std::string(static_cast<std::size_t>(pick(1001, 50000)), '('), Expect::Bad});
      std::string b;
      for (int k = pick(1001, 3000); k > 0; --k)
        b += std::string("\x01\x07\x00\x00\x00\x01\x00\x00\x00", 9);
      c.wkb.push_back({b, Expect::Bad});
      break;
    }
    default: // null inputs
      c.wkt.push_back({std::nullopt, Expect::Good});
      c.wkb.push_back({std::nullopt, Expect::Good});
    }
  }
  return c;
}

const Corpus& corpus() {
  static const Corpus c = makeCorpus();
  return c;
}

std::vector<Str> texts(const std::vector<Input>& in) {
  std::vector<Str> out;
  for (const Input& i : in)
    out.push_back(i.bytes);
  return out;
}

// Every row a geometry (state 0, a null input giving a null geometry) or the failure state with no
// geometry; rows whose answer the construction fixes must give it.
HarnessResult expectCast(int code, const std::vector<Input>& in, std::uint8_t failure) {
  const Program p = Program().column(kLoadString, 0).op(code);
  HarnessCase c(p);
  c.addStringColumn(texts(in)).rowCounts({});
  const HarnessResult r = c.run();
  EXPECT_EQ(r.rows, in.size());
  if (r.states.size() != in.size() || r.objects.size() != in.size())
    return r;
  int good = 0, bad = 0;
  for (std::size_t row = 0; row < r.rows && row < in.size(); ++row) {
    const std::uint8_t s = r.states[row];
    EXPECT_TRUE(s == 0 || s == failure) << "row " << row << " state " << int(s);
    EXPECT_EQ(r.objects[row].has_value(), s == 0 && in[row].bytes.has_value()) << "row " << row;
    if (in[row].expect != Expect::Any) {
      EXPECT_EQ(s == 0, in[row].expect == Expect::Good)
          << "row " << row << ": " << in[row].bytes.value_or("(null)").substr(0, 80);
    }
    (s == 0 ? good : bad) += 1;
  }
  // The mix reaches both outcomes in bulk, not only the ones the construction fixes.
  EXPECT_GT(good, kRows / 5);
  EXPECT_GT(bad, kRows / 5);
  return r;
}

TEST(GeoFuzz, WkbCastGivesAGeometryOrState14) {
  expectCast(kFromWkbCast, corpus().wkb, kBadWkb);
}

// The WKT cast, then the constructors over slices of the texts: a slice of good texts gives the cast's
// geometries; a slice with a refused text (moved to its first row, so that every row count of the harness
// meets it) ends the call with the reader's refusal.
TEST(GeoFuzz, WktCastGivesAGeometryOrState13AndTheConstructorsEndTheCallOnTheFirstRefusal) {
  const std::vector<Input>& in = corpus().wkt;
  const HarnessResult cast = expectCast(kFromWktCast, in, kBadWkt);
  constexpr std::size_t kSlice = 50, kSlices = 40;
  for (std::size_t s = 0; s < kSlices; ++s) {
    const int code = s % 2 == 0 ? kFromWkt : kFromWktSrid;
    Program p;
    p.column(kLoadString, 0);
    if (code == kFromWktSrid)
      p.constant(kConstI32, 4326);
    p.op(code);
    std::vector<Str> slice;
    std::vector<std::optional<std::string>> want;
    std::optional<std::size_t> refused;
    for (std::size_t row = s * kSlice; row < (s + 1) * kSlice; ++row) {
      if (cast.states[row] != 0 && !refused)
        refused = slice.size();
      slice.push_back(in[row].bytes);
      want.push_back(cast.objects[row]);
    }
    SCOPED_TRACE("slice " + std::to_string(s) + ", op " + std::to_string(code));
    if (refused) {
      std::swap(slice[0], slice[*refused]);
      HarnessCase(p).addStringColumn(slice).expectFault("WKT text");
    } else {
      const HarnessResult r = HarnessCase(p).addStringColumn(slice).rowCounts({}).run();
      EXPECT_EQ(r.objects, want);
    }
  }
}

} // namespace
