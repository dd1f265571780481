#include "tests/support/ProgramGen.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include "base/Int128.h"
#include "cuda/EvalElementHandler.h"
#include "tools/ProgramCheck.h"
#include "tools/ProgramText.h"

namespace quarry::test {

using quarry::tools::storageOf;
using vela::ParserUtils::OpInfo;
using vela::ParserUtils::opInfo;
using vela::ParserUtils::RpnDataType;

namespace {

using T = RpnDataType;

bool hasKernel(int code) {
  return vela::cuda::OpHandlerTable<vela::cuda::TypedRpnVectorEvaluator>::find(code) != nullptr;
}

bool isText(T t) {
  return t >= T::Char1 && t <= T::Char256 && t != T::String;
}
bool isCalendar(T t) {
  return t == T::Date || t == T::Time || t == T::DateTime || t == T::Timestamp;
}
bool isDecimal(T t) {
  return t == T::Dec64 || t == T::Dec128;
}

// Column types the CSV reader takes (kinds sharing a storage type are read as their storage type).
const std::set<T> kCsvTypes = {T::Bool,    T::Int8,     T::Int16,     T::Int32,   T::UInt32,   T::Int64,
                               T::UInt64,  T::Float32,  T::Float64,   T::UInt128, T::Char1,    T::Char2,
                               T::Char4,   T::Char8,    T::Char16,    T::Char32,  T::Char64,   T::Char128,
                               T::Char256, T::String,   T::Json,      T::Vector,  T::Geometry, T::Date,
                               T::Time,    T::DateTime, T::Timestamp, T::Dec64,   T::Dec128};

// The CSV column type that holds values of `kind`: the calendar kinds their own, others their storage.
T columnTypeOf(T kind) {
  return isCalendar(kind) ? kind : storageOf(kind);
}

// Program text quoting: single quotes, a quote doubled.
std::string quoteProgram(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    out += c;
    if (c == '\'')
      out += '\'';
  }
  return out + "'";
}

// CSV quoting: double quotes, a quote doubled (a quoted empty field is the empty string, not NULL).
std::string quoteCsv(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    out += c;
    if (c == '"')
      out += '"';
  }
  return out + "\"";
}

template <class F>
std::string shortest(F v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string int128Text(vela::int128_t v) {
  if (v == 0)
    return "0";
  const bool neg = v < 0;
  // The magnitude as unsigned, so that the minimum does not overflow.
  vela::uint128_t m = neg ? static_cast<vela::uint128_t>(-(v + 1)) + 1 : static_cast<vela::uint128_t>(v);
  std::string s;
  while (m != 0) {
    s += static_cast<char>('0' + static_cast<int>(m % 10));
    m /= 10;
  }
  if (neg)
    s += '-';
  std::reverse(s.begin(), s.end());
  return s;
}

std::string uint128Text(vela::uint128_t m) {
  if (m == 0)
    return "0";
  std::string s;
  while (m != 0) {
    s += static_cast<char>('0' + static_cast<int>(m % 10));
    m /= 10;
  }
  std::reverse(s.begin(), s.end());
  return s;
}

// Decimal text of an unscaled value at `scale`.
std::string decimalText(vela::int128_t unscaled, int scale) {
  std::string digits = int128Text(unscaled);
  const bool neg = digits[0] == '-';
  if (neg)
    digits.erase(0, 1);
  if (scale > 0) {
    if (static_cast<int>(digits.size()) <= scale)
      digits.insert(0, static_cast<std::size_t>(scale + 1) - digits.size(), '0');
    digits.insert(digits.size() - static_cast<std::size_t>(scale), ".");
  }
  return (neg ? "-" : "") + digits;
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// Exclusions

const std::vector<std::pair<int, const char*>>& ProgramGenerator::exclusions() {
  static const std::vector<std::pair<int, const char*>> list = {
      {1431, "NOW reads the real-time clock once per call: two calls differ"},
      {52, "a point-in-polygon index constant has no program text"},
  };
  return list;
}

// ---------------------------------------------------------------------------------------------------
// Tables

struct ProgramGenerator::Impl {
  GenOptions options;
  std::mt19937_64 rng;

  std::map<T, int> plainLoad;               // storage -> LOAD_COL_ op
  std::map<T, std::vector<int>> fusedLoads; // result storage -> fused load-and-cast ops
  std::map<T, std::vector<int>> constOps;   // storage -> constant ops with an operand
  std::map<T, std::vector<int>> nullConsts; // storage -> null constants
  std::map<T, int> listConst;               // item storage -> list constant
  std::map<T, std::vector<int>> valueOps;   // result storage -> ops
  std::vector<int> stateOps;                // push a state, no value
  std::vector<int> sinkOps;                 // push nothing
  std::set<int> usable;
  std::vector<T> rootKinds;

  // --- state of the program being generated ---
  GenCase* out = nullptr;
  std::vector<T> vstack;
  int states = 0;
  int budget = 0;

  explicit Impl(std::uint64_t seed, GenOptions o) : options(std::move(o)), rng(seed) { buildTables(); }

  bool excluded(int code) const {
    for (const auto& [c, why] : exclusions())
      if (c == code)
        return true;
    return false;
  }

  bool leafFor(T storage) const {
    return (plainLoad.count(storage) && kCsvTypes.count(storage)) || constOps.count(storage) ||
           nullConsts.count(storage);
  }
  bool makeable(T kind) const {
    if (kind == T::None)
      return true;
    const T s = storageOf(kind);
    return leafFor(s) || valueOps.count(s);
  }
  bool operandsMakeable(const OpInfo& op) const {
    for (int k = 0; k < op.numOperands; ++k) {
      const T t = op.operands[k];
      if (t == T::List) {
        const T items = storageOf(quarry::tools::listItemType(op));
        const T list = items == T::UInt32 ? T::Int32 : items;
        if (!listConst.count(list))
          return false;
      } else if (t == T::Pip || !makeable(t)) {
        return false;
      }
    }
    return true;
  }

  void buildTables() {
    for (int c = 0; c < vela::ParserUtils::kNumOps; ++c) {
      const OpInfo* op = opInfo(c);
      if (op == nullptr || !hasKernel(c) || excluded(c) || vela::ParserUtils::isNoOp(c))
        continue;
      const std::string name = op->name;
      if (quarry::tools::readsColumn(c)) {
        if (c == 240 || c == 241)
          continue; // written by hand: their operand is a column's null flags
        if (name.rfind("LOAD_COL_", 0) == 0)
          plainLoad.emplace(storageOf(op->result), c);
        else if (kCsvTypes.count(columnTypeOf(quarry::tools::columnSourceType(c))))
          fusedLoads[storageOf(op->result)].push_back(c);
        continue;
      }
      if (c >= 2 && c <= 33) {
        nullConsts[storageOf(op->result)].push_back(c);
      } else if (c == 34) {
        constOps[T::Bool].push_back(c);
      } else if (c >= 35 && c <= 67) {
        if (op->result != T::Pip)
          constOps[storageOf(op->result)].push_back(c);
      } else if (c >= 68 && c <= 100) {
        if (op->result == T::List)
          listConst.emplace(storageOf(op->listElement), c);
      }
    }
    for (const auto& [s, code] : plainLoad)
      usable.insert(code);
    for (const auto& m : {&fusedLoads, &constOps, &nullConsts})
      for (const auto& [s, codes] : *m)
        usable.insert(codes.begin(), codes.end());
    for (const auto& [s, code] : listConst)
      usable.insert(code);
    for (int c : {237, 239, 240, 241})
      if (hasKernel(c))
        usable.insert(c);
    // Ops, in two passes: an op's operands may be results of other ops.
    for (int pass = 0; pass < 2; ++pass)
      for (int c = 101; c < vela::ParserUtils::kNumOps; ++c) {
        const OpInfo* op = opInfo(c);
        if (op == nullptr || usable.count(c) || !hasKernel(c) || excluded(c) ||
            vela::ParserUtils::isNoOp(c) || quarry::tools::readsColumn(c) || !operandsMakeable(*op))
          continue;
        usable.insert(c);
        if (op->pushesValue())
          valueOps[storageOf(op->result)].push_back(c);
        else if (op->statesOut == 1)
          stateOps.push_back(c);
        else
          sinkOps.push_back(c);
      }
    std::set<T> kinds;
    for (const auto& [s, ops] : valueOps)
      if (s != T::List && s != T::Pip)
        kinds.insert(s);
    for (const auto& [s, code] : plainLoad)
      if (kCsvTypes.count(s))
        kinds.insert(s);
    rootKinds.assign(kinds.begin(), kinds.end());
  }

  // --- randomness ---
  std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); }
  bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; }
  template <class V>
  const typename V::value_type& any(const V& v) {
    return v[pick(v.size())];
  }
  std::int64_t between(std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
  }

  // --- values (raw text; the caller quotes it for CSV or for program text) ---
  template <class I>
  std::string integer() {
    using L = std::numeric_limits<I>;
    switch (pick(8)) {
    case 0:
      return std::to_string(+L::min());
    case 1:
      return std::to_string(+L::max());
    case 2:
      return "0";
    case 3:
      return L::is_signed ? "-1" : "1";
    case 4:
    case 5:
      return std::to_string(between(0, 12));
    case 6:
      return std::to_string(std::is_signed_v<I> ? between(-1000, 1000) : between(0, 1000));
    default: {
      const auto raw = std::uniform_int_distribution<std::uint64_t>()(rng);
      I v;
      std::memcpy(&v, &raw, sizeof v);
      return std::to_string(+v);
    }
    }
  }

  template <class F>
  std::string floating() {
    using L = std::numeric_limits<F>;
    switch (pick(14)) {
    case 0:
      return "-0";
    case 1:
      return "0";
    case 2:
      return "nan";
    case 3:
      return "inf";
    case 4:
      return "-inf";
    case 5:
      return shortest(L::max());
    case 6:
      return shortest(L::lowest());
    case 7:
      return shortest(L::denorm_min());
    case 8:
      return shortest(L::min());
    case 9:
      return shortest(static_cast<F>(between(-20, 20)) / 2);
    case 10:
      return shortest(static_cast<F>(std::uniform_real_distribution<double>(-1e6, 1e6)(rng)));
    default:
      return shortest(static_cast<F>(std::uniform_real_distribution<double>(-100, 100)(rng)));
    }
  }

  std::string decimal(T type, int scale) {
    const vela::int128_t max = type == T::Dec64 ? vela::int128_t(std::numeric_limits<std::int64_t>::max())
                                                : (vela::int128_t(1) << 95) - 1;
    const vela::int128_t min = type == T::Dec64 ? vela::int128_t(std::numeric_limits<std::int64_t>::min())
                                                : -(vela::int128_t(1) << 95);
    vela::int128_t v;
    switch (pick(7)) {
    case 0:
      v = max;
      break;
    case 1:
      v = min;
      break;
    case 2:
      v = 0;
      break;
    case 3:
      v = between(-1000, 1000);
      break;
    case 4: {
      vela::int128_t p = 1;
      for (int i = 0; i < scale; ++i)
        p *= 10;
      v = p * between(-5, 5);
      break;
    }
    default:
      v = between(std::numeric_limits<std::int64_t>::min() / 2, std::numeric_limits<std::int64_t>::max() / 2);
      if (type == T::Dec128 && chance(0.5))
        v *= between(1, 1 << 30);
      break;
    }
    return decimalText(v, scale);
  }

  std::string u128() {
    switch (pick(4)) {
    case 0:
      return "0";
    case 1:
      return uint128Text(~static_cast<vela::uint128_t>(0));
    case 2:
      return std::to_string(between(0, 100));
    default: {
      const vela::uint128_t v = (static_cast<vela::uint128_t>(rng()) << 64) | rng();
      return uint128Text(v);
    }
    }
  }

  std::string text(std::size_t maxBytes) {
    static const char* const kPieces[] = {"a",  "b",  "c", "B", "x", "Z",  " ", "0",        "7",
                                          "-",  "_",  ",", ".", "'", "\"", "%", "\xC3\xA9", "\xE2\x82\xAC",
                                          "ab", "bc", ";", "/"};
    std::size_t len;
    switch (pick(5)) {
    case 0:
      return "";
    case 1:
      len = maxBytes; // full width
      break;
    default:
      len = static_cast<std::size_t>(
          between(1, static_cast<std::int64_t>(std::min<std::size_t>(maxBytes, 12))));
      break;
    }
    std::string s;
    while (s.size() < len) {
      std::string piece = kPieces[pick(std::size(kPieces))];
      if (s.size() + piece.size() > len)
        piece = "a";
      s += piece;
    }
    return s;
  }

  std::string date() {
    switch (pick(6)) {
    case 0:
      return "1000-01-01";
    case 1:
      return "2900-12-31";
    case 2:
      return "1970-01-01";
    case 3:
      return "2024-02-29";
    default: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", static_cast<int>(between(1000, 2900)),
                    static_cast<int>(between(1, 12)), static_cast<int>(between(1, 28)));
      return buf;
    }
    }
  }
  std::string time() {
    switch (pick(4)) {
    case 0:
      return "00:00:00.000";
    case 1:
      return "23:59:59.999";
    default: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", static_cast<int>(between(0, 23)),
                    static_cast<int>(between(0, 59)), static_cast<int>(between(0, 59)),
                    static_cast<int>(between(0, 999)));
      return buf;
    }
    }
  }

  std::string json(int depth, bool huge) {
    if (huge) {
      std::string s = "[";
      const int n = static_cast<int>(between(500, 3000));
      for (int i = 0; i < n; ++i)
        s += (i ? "," : "") + std::to_string(between(-1000000, 1000000));
      return s + "]";
    }
    switch (depth > 3 ? pick(6) : pick(10)) {
    case 0:
      return "null";
    case 1:
      return chance(0.5) ? "true" : "false";
    case 2:
      return integer<std::int64_t>();
    case 3:
      return shortest(std::uniform_real_distribution<double>(-1e3, 1e3)(rng));
    case 4:
      return "\"" + std::string(chance(0.5) ? "" : "ab c") + "\"";
    case 5:
      return chance(0.5) ? "[]" : "{}";
    case 6:
    case 7: {
      std::string s = "[";
      const int n = static_cast<int>(between(1, 4));
      for (int i = 0; i < n; ++i)
        s += (i ? "," : "") + json(depth + 1, false);
      return s + "]";
    }
    default: {
      static const char* const kKeys[] = {"a", "b", "k", "x", "", "a b"};
      std::string s = "{";
      const int n = static_cast<int>(between(1, 3));
      std::set<std::string> used;
      for (int i = 0; i < n; ++i) {
        const std::string key = kKeys[pick(std::size(kKeys))];
        if (!used.insert(key).second)
          continue;
        s += (used.size() > 1 ? "," : "") + std::string("\"") + key + "\":" + json(depth + 1, false);
      }
      return s + "}";
    }
    }
  }

  std::string vector(bool huge) {
    const int n =
        huge ? static_cast<int>(between(1000, 4000)) : static_cast<int>(pick(3) == 0 ? 0 : between(1, 8));
    std::string s = "[";
    for (int i = 0; i < n; ++i) {
      std::string v;
      switch (pick(6)) {
      case 0:
        v = "-0";
        break;
      case 1:
        v = shortest(std::numeric_limits<float>::max());
        break;
      case 2:
        v = shortest(static_cast<float>(between(-4, 4)));
        break;
      default:
        v = shortest(static_cast<float>(std::uniform_real_distribution<double>(-10, 10)(rng)));
      }
      s += (i ? ", " : "") + v;
    }
    return s + "]";
  }

  std::string ring(double cx, double cy, double r, int n) {
    std::string s = "(";
    for (int i = 0; i <= n; ++i) {
      const double a = 2 * M_PI * (i % n) / n;
      char buf[64];
      std::snprintf(buf, sizeof buf, "%s%.6f %.6f", i ? ", " : "", cx + r * std::cos(a),
                    cy + r * std::sin(a));
      s += buf;
    }
    return s + ")";
  }

  std::string geometry(bool huge) {
    if (huge)
      return "POLYGON " +
             ring(static_cast<double>(between(-170, 170)), static_cast<double>(between(-80, 80)), 5,
                  static_cast<int>(between(300, 1500))) +
             "";
    static const char* const kFixed[] = {"POINT (1 2)",
                                         "POINT EMPTY",
                                         "POINT (180 90)",
                                         "POINT (-180 -90)",
                                         "LINESTRING (0 0, 1 1, 2 0)",
                                         "LINESTRING EMPTY",
                                         "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0))",
                                         "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (2 2, 2 4, 4 4, 4 2, 2 2))",
                                         "POLYGON EMPTY",
                                         "MULTIPOINT ((0 0), (1 1))",
                                         "MULTILINESTRING ((0 0, 1 1), (2 2, 3 3))",
                                         "MULTIPOLYGON (((0 0, 1 0, 1 1, 0 0)), ((5 5, 6 5, 6 6, 5 5)))",
                                         "GEOMETRYCOLLECTION EMPTY",
                                         "GEOMETRYCOLLECTION (POINT (1 1), LINESTRING (0 0, 2 2))"};
    switch (pick(3)) {
    case 0: {
      char buf[96];
      std::snprintf(buf, sizeof buf, "POINT (%.5f %.5f)",
                    std::uniform_real_distribution<double>(-180, 180)(rng),
                    std::uniform_real_distribution<double>(-90, 90)(rng));
      return buf;
    }
    case 1:
      return "POLYGON (" +
             ring(std::uniform_real_distribution<double>(-20, 20)(rng),
                  std::uniform_real_distribution<double>(-20, 20)(rng),
                  std::uniform_real_distribution<double>(0.001, 10)(rng), static_cast<int>(between(3, 12))) +
             ")";
    default:
      return kFixed[pick(std::size(kFixed))];
    }
  }

  // One value of a column type or a constant's storage type, as raw text. `scale` for decimals.
  std::string value(T type, int scale, bool allowHuge) {
    // Huge objects only up to 1000 rows: cycled over 70000 rows, a few kilobytes of text per row fed to
    // a quadratic op (edit distance) is minutes of honest work, not a finding.
    const bool huge = allowHuge && options.hugeObjects && out != nullptr && out->rows <= 1000 && chance(0.04);
    switch (type) {
    case T::Bool:
      return chance(0.5) ? "1" : "0";
    case T::Int8:
      return integer<std::int8_t>();
    case T::Int16:
      return integer<std::int16_t>();
    case T::Int32:
      return integer<std::int32_t>();
    case T::UInt32:
      return integer<std::uint32_t>();
    case T::Int64:
      return integer<std::int64_t>();
    case T::UInt64:
      return integer<std::uint64_t>();
    case T::Float32:
      return floating<float>();
    case T::Float64:
      return floating<double>();
    case T::Dec64:
    case T::Dec128:
      return decimal(type, scale);
    case T::UInt128:
      return u128();
    case T::Date:
      return date();
    case T::Time:
      return time();
    case T::DateTime:
    case T::Timestamp:
      return date() + " " + time();
    case T::String:
      if (huge) {
        std::string s(static_cast<std::size_t>(between(2000, 8000)), 'x');
        for (char& c : s)
          c = static_cast<char>('a' + pick(26));
        return s;
      }
      return text(chance(0.1) ? 300 : 24);
    case T::Json:
      return json(0, huge);
    case T::Vector:
      return vector(huge);
    case T::Geometry:
      return geometry(huge);
    default:
      if (isText(type))
        return text(vela::ParserUtils::get_rpn_datatype_size(type));
      return "0";
    }
  }

  // --- columns ---
  int scaleFor(T type) {
    static const int kScales[] = {0, 2, 4, 9, 18};
    return isDecimal(type) ? kScales[pick(std::size(kScales))] : 0;
  }

  GenColumn& newColumn(T type) {
    GenColumn c;
    c.name = "c" + std::to_string(out->columns.size());
    c.type = type;
    int scale = 0;
    if (isDecimal(type)) {
      scale = scaleFor(type);
      c.csvType = std::string(type == T::Dec64 ? "dec64(" : "dec128(") + std::to_string(scale) + ")";
    } else {
      c.csvType = vela::ParserUtils::rpnDataTypeShortName(type);
    }
    const unsigned long rows = out->distinctRows();
    const double nullShare = chance(0.3) ? 0.0 : std::uniform_real_distribution<double>(0, 0.5)(rng);
    for (unsigned long r = 0; r < rows; ++r) {
      if (chance(nullShare)) {
        c.fields.emplace_back();
        continue;
      }
      const std::string v = value(type, scale, true);
      const bool quoted = isText(type) || vela::ParserUtils::isObjectType(type);
      c.fields.push_back(quoted ? quoteCsv(v) : v);
    }
    out->columns.push_back(std::move(c));
    return out->columns.back();
  }

  // A column of `type`: an existing one (mostly) or a new one.
  GenColumn& columnOf(T type) {
    std::vector<GenColumn*> have;
    for (GenColumn& c : out->columns)
      if (c.type == type)
        have.push_back(&c);
    if (!have.empty() && chance(0.7))
      return *have[pick(have.size())];
    return newColumn(type);
  }

  // --- emission ---
  void emit(std::string text) {
    out->elements.push_back(std::move(text));
    --budget;
  }
  const char* name(int code) const { return opInfo(code)->name; }

  T randomKind() { return rootKinds[pick(rootKinds.size())]; }

  // A literal for a constant of kind `kind` (storage `s`), in program text.
  std::string literal(T kind, T s, bool declared) {
    if (declared && isCalendar(kind) && chance(0.5))
      return quoteProgram(kind == T::Date ? date() : kind == T::Time ? time() : date() + " " + time());
    if (s == T::Dec64 || s == T::Dec128)
      return decimal(s, scaleFor(s));
    if (kind == T::Array)
      return quoteProgram(chance(0.3) ? "[]" : "[" + json(2, false) + "," + json(2, false) + "]");
    const std::string v = value(s, 0, false);
    if (isText(s) || vela::ParserUtils::isObjectType(s))
      return quoteProgram(v);
    return v;
  }

  void genLeaf(T kind, bool declared) {
    const T s = storageOf(kind);
    const T ct = columnTypeOf(kind);
    std::vector<int> choices; // 0 column, 1 fused load, 2 constant, 3 null constant
    if (plainLoad.count(s) && kCsvTypes.count(ct))
      choices.insert(choices.end(), {0, 0, 0, 0, 0});
    if (fusedLoads.count(s))
      choices.push_back(1);
    if (constOps.count(s))
      choices.insert(choices.end(), {2, 2, 2});
    if (nullConsts.count(s))
      choices.push_back(3);
    if (choices.empty()) { // unreachable: makeable() vouched for a leaf or an op
      emit("CONST_NULL_I32");
      vstack.push_back(T::Int32);
      return;
    }
    switch (any(choices)) {
    case 0: {
      GenColumn& c = columnOf(ct);
      emit(std::string(name(plainLoad.at(s))) + " $" + c.name);
      if (hasKernel(240) && chance(0.3)) {
        emit("LOAD_COL_NULLS $" + c.name + ".nulls");
        ++states;
      }
      break;
    }
    case 1: {
      const int code = any(fusedLoads.at(s));
      const T source = columnTypeOf(quarry::tools::columnSourceType(code));
      GenColumn& c = columnOf(source);
      emit(std::string(name(code)) + " $" + c.name);
      break;
    }
    case 2: {
      const int code = any(constOps.at(s));
      if (code == 34)
        emit(name(code));
      else
        emit(std::string(name(code)) + " " + literal(kind, s, declared));
      break;
    }
    default:
      emit(name(any(nullConsts.at(s))));
      break;
    }
    vstack.push_back(kind);
  }

  // A list constant for the list operand of `op`, items ascending where the op searches them.
  void genList(const OpInfo& op) {
    const T items = storageOf(quarry::tools::listItemType(op));
    const T list = items == T::UInt32 ? T::Int32 : items;
    const int scale = scaleFor(items);
    const int n = static_cast<int>(between(0, 6));
    std::vector<std::string> vs;
    for (int i = 0; i < n; ++i) {
      std::string v =
          items == T::UInt32 ? std::to_string(between(0, 2000000000)) : value(items, scale, false);
      if (isText(items) || vela::ParserUtils::isObjectType(items))
        v = quoteProgram(v);
      vs.push_back(v);
    }
    // Numbers sort by value and texts by their bytes; a few lists are left as drawn (the assembler
    // refuses those whose consumer needs ordered keys, and the case is drawn again).
    if (chance(0.9)) {
      if (isText(items) || items == T::String) {
        std::sort(vs.begin(), vs.end());
      } else if (!vela::ParserUtils::isObjectType(items)) {
        std::sort(vs.begin(), vs.end(), [](const std::string& a, const std::string& b) {
          const long double x = std::strtold(a.c_str(), nullptr), y = std::strtold(b.c_str(), nullptr);
          return x < y;
        });
      }
      vs.erase(std::unique(vs.begin(), vs.end()), vs.end());
    }
    std::string text = std::string(name(listConst.at(list))) + " [";
    for (std::size_t i = 0; i < vs.size(); ++i)
      text += (i ? ", " : "") + vs[i];
    text += "]";
    if (chance(0.5) && !vs.empty()) {
      text += " results=[";
      for (std::size_t i = 0; i < vs.size(); ++i)
        text += (i ? ", " : "") + std::to_string(between(-5, 100));
      text += "]";
    }
    emit(text);
    vstack.push_back(T::List);
  }

  std::string regexAttributes(const OpInfo& op) {
    static const char* const kPatterns[] = {"(b)c?", "(a+)",      "(^)",   "([0-9]+)",
                                            "(.*)",  "((a|b)*c)", "(\\d)", "(x|)"};
    static const char* const kFlags[] = {"", "i", "c", "n", "m"};
    std::string s = std::string(" regex=") + quoteProgram(kPatterns[pick(std::size(kPatterns))]);
    const std::string flags = kFlags[pick(std::size(kFlags))];
    if (!flags.empty())
      s += " flags=" + quoteProgram(flags);
    if (std::string_view(op.name).rfind("REGEXP_REPLACE", 0) == 0)
      s += std::string(" replacement=") + quoteProgram(chance(0.5) ? "<\\1>" : "");
    return s;
  }

  // The operands of `op` (values, lists, then the states it pops), then the op itself.
  void genOperandsAndOp(int code, int depth) {
    const OpInfo& op = *opInfo(code);
    const std::string opName = op.name;
    const bool runTimeScale = opName.size() > 3 && opName.compare(opName.size() - 3, 3, "_PS") == 0;
    const int statesBefore = states;
    for (int k = 0; k < op.numOperands; ++k) {
      const T t = op.operands[k];
      if (t == T::List) {
        genList(op);
      } else if (runTimeScale && k >= op.numOperands - 2) {
        // Precision, then scale, as i8 constants (the assembler derives the result's scale from them).
        const int p = static_cast<int>(between(1, opName.find("DEC128") != std::string::npos ? 28 : 18));
        emit("CONST_I8 " + std::to_string(k == op.numOperands - 2 ? p : between(0, std::min(p, 18))));
        vstack.push_back(T::Int8);
      } else if (t == T::Int32 && op.family == vela::ParserUtils::OpFamily::Geo && k == op.numOperands - 1 &&
                 chance(0.7)) {
        // A trailing i32 of a geometry op is mostly a metric or a count: small constants reach the
        // op's real work instead of its refusal.
        emit("CONST_I32 " + std::to_string(between(0, 2)));
        vstack.push_back(T::Int32);
      } else if (t == T::Char32 && op.family == vela::ParserUtils::OpFamily::DateTime && chance(0.5)) {
        static const char* const kFormats[] = {"YYYY-MM-DD", "YYYY-MM-DD HH24:MI:SS", "DD/MM/YYYY HH:MI AM",
                                               "MON DD, YYYY"};
        emit(std::string("CONST_CHAR32 format=") + quoteProgram(kFormats[pick(std::size(kFormats))]));
        vstack.push_back(T::Char32);
      } else {
        genValue(t == T::None ? randomKind() : t, depth + 1, t != T::None);
      }
    }
    // States the op pops: those the operands left, topped up with fresh ones.
    const int have = states - statesBefore;
    for (int i = have; i < op.statesIn; ++i)
      genState(depth + 1);
    std::string text = opName;
    if (opName.rfind("REGEXP_", 0) == 0)
      text += regexAttributes(op);
    emit(text);
    for (int k = 0; k < op.numOperands && !vstack.empty(); ++k)
      vstack.pop_back();
    states = std::max(0, states - op.statesIn) + op.statesOut;
    if (op.pushesValue())
      vstack.push_back(op.result);
  }

  void genValue(T kind, int depth, bool declared) {
    const T s = storageOf(kind);
    const auto it = valueOps.find(s);
    // Ops until the budget is spent (the target size is drawn per program), then leaves.
    const bool leaf = it == valueOps.end() || depth >= 7 || budget <= 1 || chance(depth == 0 ? 0.05 : 0.15);
    if (leaf && leafFor(s)) {
      genLeaf(kind, declared);
      return;
    }
    if (it == valueOps.end()) {
      genLeaf(kind, declared);
      return;
    }
    if (sinkOps.size() && chance(0.04))
      genSink(depth);
    genOperandsAndOp(any(it->second), depth);
  }

  // One more state on the state stack.
  void genState(int depth) {
    std::vector<int> choices;
    for (int c : {237, 239, 287})
      if (usable.count(c) || (c == 287 && hasKernel(c)))
        choices.push_back(c);
    if (hasKernel(240))
      choices.insert(choices.end(), {240, 240, 240});
    if (depth < 5 && budget > 2)
      for (int c : stateOps) {
        // 244 and 245 read the top value column as one byte per row (a bool's layout) without popping
        // it: over a wider column the column-batch evaluator's byte i is not row i's value, so a
        // program that is in the caller's contract offers them only a one-byte top value.
        if ((c == 244 || c == 245) &&
            (vstack.empty() || vela::ParserUtils::get_rpn_datatype_size(storageOf(vstack.back())) != 1))
          continue;
        if (c == 246 && (vstack.empty() || storageOf(vstack.back()) != T::Bool))
          continue;
        choices.push_back(c);
      }
    const int c = any(choices);
    if (c == 240 || c == 241) {
      if (c == 241)
        genState(depth + 1);
      // columns[0] is the placeholder that fixes the row count while the case is built.
      const GenColumn& col = out->columns.size() <= 1 || chance(0.2)
                                 ? newColumn(any(std::vector<T>(kCsvTypes.begin(), kCsvTypes.end())))
                                 : out->columns[1 + pick(out->columns.size() - 1)];
      emit(std::string(name(c)) + " $" + col.name + ".nulls");
      states += c == 241 ? 0 : 1;
      return;
    }
    const OpInfo& op = *opInfo(c);
    if (op.numOperands == 0 && op.statesIn == 0) {
      emit(op.name);
      ++states;
      return;
    }
    // A transformer or combinator: fresh inputs (its value operands are generated by the usual path).
    const int before = states;
    for (int i = 0; i < op.statesIn; ++i)
      genState(depth + 1);
    states = before + op.statesIn; // genOperandsAndOp counts these as the operands' states
    const int vbefore = static_cast<int>(vstack.size());
    (void)vbefore;
    genOperandsAndOpStatesFirst(c, depth, before);
  }

  // genOperandsAndOp for a state op whose input states are already pushed above `statesBase`.
  void genOperandsAndOpStatesFirst(int code, int depth, int statesBase) {
    const OpInfo& op = *opInfo(code);
    for (int k = 0; k < op.numOperands; ++k)
      genValue(op.operands[k] == T::None ? randomKind() : op.operands[k], depth + 1, true);
    emit(op.name);
    for (int k = 0; k < op.numOperands && !vstack.empty(); ++k)
      vstack.pop_back();
    (void)statesBase;
    states = std::max(0, states - op.statesIn) + op.statesOut;
  }

  // A statement that leaves no value: a sink op and its operands.
  void genSink(int depth) {
    const int c = any(sinkOps);
    const OpInfo& op = *opInfo(c);
    if (op.statesIn > 0 && depth > 4)
      return;
    const int before = states;
    for (int k = 0; k < op.numOperands; ++k)
      genValue(op.operands[k] == T::None ? randomKind() : op.operands[k], depth + 1, true);
    for (int i = states - before; i < op.statesIn; ++i)
      genState(depth + 1);
    emit(op.name);
    for (int k = 0; k < op.numOperands && !vstack.empty(); ++k)
      vstack.pop_back();
    states = std::max(0, states - op.statesIn) + op.statesOut;
  }

  GenCase generate(int rootOp) {
    for (int attempt = 0;; ++attempt) {
      GenCase c;
      out = &c;
      vstack.clear();
      states = 0;
      c.rows = any(options.rowCounts);
      const unsigned long distinct = std::min<unsigned long>(c.rows, options.maxDistinctRows);
      // Columns are created on demand with this many distinct rows: a placeholder fixes the count.
      GenColumn seedColumn;
      seedColumn.fields.assign(distinct, "");
      c.columns.push_back(seedColumn);
      const int target = static_cast<int>(between(1, options.maxElements));
      budget = target;
      if (rootOp < 0) {
        genValue(randomKind(), 0, false);
      } else if (opInfo(rootOp)->pushesValue()) {
        genOperandsAndOp(rootOp, 0);
      } else if (rootOp >= 244 && rootOp <= 246) {
        // They read the result (a bool) without popping it.
        genValue(T::Bool, 1, false);
        genOperandsAndOp(rootOp, 1);
      } else {
        // A state op or a sink first, then the program's result: the last value-producing element is
        // the one whose value the program returns, so nothing may pop a value after it.
        const OpInfo& op = *opInfo(rootOp);
        const int before = states;
        for (int k = 0; k < op.numOperands; ++k)
          genValue(op.operands[k] == T::None ? randomKind() : op.operands[k], 1, true);
        for (int i = states - before; i < op.statesIn; ++i)
          genState(1);
        emit(op.name);
        for (int k = 0; k < op.numOperands && !vstack.empty(); ++k)
          vstack.pop_back();
        states = std::max(0, states - op.statesIn) + op.statesOut;
        genValue(randomKind(), 1, false);
      }
      while (states > 1) {
        const bool combine = hasKernel(242) && chance(0.7);
        emit(combine ? name(242) : name(320));
        --states;
      }
      c.columns.erase(c.columns.begin()); // the placeholder
      // Around a given op the size limit gives way after a while (an op with many operands may not fit).
      if ((static_cast<int>(c.elements.size()) > options.maxElements && (rootOp < 0 || attempt < 20)) ||
          c.elements.empty())
        continue;
      out = nullptr;
      // Ops whose result can be far larger than their input (a polygon segmentized every few metres,
      // a buffer, a grid) make correct programs that take seconds a row: such programs run at most
      // 1,000 rows, so that a soak case stays within minutes. Segmentizing may make its largest
      // output (10 million geodesic vertices) in every row, several seconds each: one row.
      const auto holds = [&c](bool (*pred)(const std::string&)) {
        return std::any_of(c.elements.begin(), c.elements.end(), pred);
      };
      if (holds(segmentizes))
        c.rows = 1;
      else if (c.rows > 1000 && holds(growsLarge))
        c.rows = 1000;
      return c;
    }
  }

  static bool segmentizes(const std::string& element) { return element.rfind("GEO_SEGMENTIZE", 0) == 0; }
  static bool growsLarge(const std::string& element) {
    static const char* const kPrefixes[] = {"GEO_BUFFER", "GEO_MULTIPLE_RING_BUFFERS"};
    for (const char* prefix : kPrefixes)
      if (element.rfind(prefix, 0) == 0)
        return true;
    return element.rfind("GEO_", 0) == 0 && element.find("_GRID") != std::string::npos;
  }
};

// ---------------------------------------------------------------------------------------------------

ProgramGenerator::ProgramGenerator(std::uint64_t seed, GenOptions options)
    : m_impl(new Impl(seed, std::move(options))) {}
ProgramGenerator::~ProgramGenerator() {
  delete m_impl;
}

GenCase ProgramGenerator::next() {
  return fromSeed(m_impl->rng());
}

GenCase ProgramGenerator::fromSeed(std::uint64_t seed, int rootOp) {
  // Each case has its own seed, so that a reported case can be drawn again on its own.
  std::mt19937_64 saved = m_impl->rng;
  m_impl->rng.seed(seed);
  GenCase c = m_impl->generate(rootOp);
  c.seed = seed;
  m_impl->rng = saved;
  return c;
}

std::mt19937_64& ProgramGenerator::engine() {
  return m_impl->rng;
}

bool ProgramGenerator::usable(int code) const {
  return m_impl->usable.count(code) != 0;
}

std::size_t ProgramGenerator::usableOps() const {
  return m_impl->usable.size();
}

// ---------------------------------------------------------------------------------------------------
// GenCase

std::string GenCase::programText() const {
  std::string s;
  for (const std::string& e : elements)
    s += e + "\n";
  return s;
}

namespace {
bool refersTo(const std::vector<std::string>& elements, const std::string& column) {
  for (const std::string& e : elements) {
    for (std::size_t at = e.find(" $" + column); at != std::string::npos;
         at = e.find(" $" + column, at + 1)) {
      const std::size_t end = at + 2 + column.size();
      if (end == e.size() || e[end] == '.' || e[end] == ' ')
        return true;
    }
  }
  return false;
}
} // namespace

void GenCase::dropUnusedColumns() {
  std::vector<GenColumn> kept;
  for (GenColumn& c : columns)
    if (refersTo(elements, c.name))
      kept.push_back(std::move(c));
  columns = std::move(kept);
}

std::string GenCase::csvText(unsigned long n) const {
  std::vector<const GenColumn*> cols;
  for (const GenColumn& c : columns)
    cols.push_back(&c);
  // One-column data cannot end in a NULL row (an empty last line), so it gets a constant companion.
  GenColumn pad;
  pad.name = "pad";
  pad.csvType = "i8";
  pad.fields.assign(std::max<unsigned long>(distinctRows(), 1), "0");
  if (cols.size() <= 1)
    cols.push_back(&pad);
  std::string s;
  for (std::size_t k = 0; k < cols.size(); ++k)
    s += (k ? "," : "") + cols[k]->name + ":" + cols[k]->csvType;
  s += "\n";
  const unsigned long distinct = std::max<unsigned long>(distinctRows(), 1);
  for (unsigned long r = 0; r < n; ++r) {
    for (std::size_t k = 0; k < cols.size(); ++k)
      s += (k ? "," : "") + cols[k]->fields[r % distinct];
    s += "\n";
  }
  return s;
}

} // namespace quarry::test
