// The path functions through both evaluators: JSON_QUERY and JSON_VALUE_* under every behaviour flag,
// cardinality and existence, replacement. Paths are given both as a column (one compile per change of
// text) and as a constant; expected rows are hand-computed from the documents.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/functions/json/JsonTestSupport.h"

using namespace quarry::test;

namespace {

constexpr int kCardinality = 1822, kExists = 1840, kQuery = 1842, kReplace = 1843, kValueBool = 1845,
              kValueDouble = 1846, kValueInt = 1847, kValueLong = 1848, kValueString = 1849;

const std::string kDoc = R"({"a":5,"b":[1,2],"c":{"d":1},"n":null,"e":[{"x":1},{"x":2}],"s":"12","f":2.9,
  "t":true,"z":0,"x":"abc","o":{},"big":4294967297,"m":-9223372036854775808,"u":18446744073709551615,
  "h":9.3e18})";

struct QueryRow {
  std::string path;
  int flags;
  Doc result; // nullopt: NULL
};

// JSON_QUERY of the document column at a constant path and flags, every operand's state 0.
Program constantQuery(StringObjects& strings, const std::string& path, int flags) {
  Program p;
  p.column(kLoadJson, 0).pointerConstant(kConstString, strings.make(path)).constant(kConstI32, flags);
  p.op(kNotNullState).op(kNotNullState).op(kNotNullState).op(kQuery);
  return p;
}

TEST(JsonQuery, FlagsWrappersAndOutcomes) {
  // clang-format off
  const std::vector<QueryRow> rows = {
      {"$.a", 0, std::nullopt}, // "Scalar value returned" under NULL ON ERROR
      {"$.a", 4096, "[5]"}, {"$.a", 65536, "5"}, {"$.a", 8192, "[5]"}, {"$.c", 8192, R"({"d":1})"},
      {"$.c", 0, R"({"d":1})"}, {"$.b", 0, "[1,2]"}, {"$.e[*]", 8192, R"([{"x":1},{"x":2}])"},
      {"$.e[*]", 4096, R"([{"x":1},{"x":2}])"}, {"$.e[*]", 0, std::nullopt}, {"$.e[*]", 512, "[]"},
      {"$.e[*]", 1024, "{}"}, {"$.e[*]", 128, std::nullopt}, {"$.zz", 0, std::nullopt}, {"$.zz", 16, "[]"},
      {"$.zz", 32, "{}"}, {"$.zz", 4, std::nullopt}, {"$.zz", 512, std::nullopt}, {"$.n", 0, std::nullopt},
      {"$.n", 16 | 512, std::nullopt}, {"$[", 0, std::nullopt}, {"$[", 512, "[]"}, {"$.a", 1024, "{}"},
      {"$.e..x", 4096, "[1,2]"}, {"$.zz", 16 | 32, "[]"},
  };
  // clang-format on
  std::vector<Doc> docs(rows.size(), kDoc), expected;
  std::vector<Str> paths;
  std::vector<std::int32_t> flags;
  std::vector<State> states;
  for (const QueryRow& r : rows)
    paths.push_back(r.path), flags.push_back(r.flags), expected.push_back(r.result),
        states.push_back(!r.result);
  Program p;
  p.column(kLoadJson, 0).column(kLoadString, 1).column(kLoadI32, 2);
  p.op(kNotNullState).op(kNotNullState).op(kNotNullState).op(kQuery);
  HarnessCase(p).addJsonColumn(docs).addStringColumn(paths).addColumn(flags).expectStrings(expected, states);
  for (const QueryRow& r : rows) { // each row again with a constant path
    SCOPED_TRACE(r.path + " flags " + std::to_string(r.flags));
    StringObjects strings;
    HarnessCase(constantQuery(strings, r.path, r.flags))
        .addJsonColumn({kDoc})
        .expectStrings({r.result}, {!r.result});
  }
}

TEST(JsonQuery, ErrorAndEmptyFlagsEndTheCallWithTheMessage) {
  // clang-format off
  const std::vector<std::pair<QueryRow, std::string>> rows = {
      {{"$.zz", 8, {}}, "Empty JSON returned from query"}, {{"$.a", 256, {}}, "Scalar value returned"},
      {{"$.e[*]", 256, {}}, "More than one value returned"},
      {{"$.e[*]", 256 | 512, {}}, "More than one value returned"}, {{"$[", 256, {}}, "Expected"}};
  // clang-format on
  for (const auto& [row, message] : rows) {
    StringObjects strings;
    HarnessCase(constantQuery(strings, row.path, row.flags)).addJsonColumn({kDoc, kDoc}).expectFault(message);
  }
}

TEST(JsonQuery, NullInputsAndInputStates) {
  ScopedStateLoads loads;
  // doc state, path state, flags state -> result state: a NULL input gives NULL, an error passes on
  const std::vector<std::uint8_t> sd = {0, 1, 0, 0, 9, 0}, sp = {0, 0, 1, 0, 0, 7}, sf = {0, 0, 0, 1, 0, 0};
  Program p;
  p.column(kLoadJson, 0).column(kLoadString, 1).column(kLoadI32, 2);
  p.column(kLoadStates, 3).column(kLoadStates, 4).column(kLoadStates, 5).op(kQuery);
  HarnessCase(p)
      .addJsonColumn({kDoc, kDoc, kDoc, kDoc, kDoc, std::nullopt})
      .addStringColumn({"$.c", "$.c", "$.c", "$.c", "$.c", "$.c"})
      .addColumn(std::vector<std::int32_t>(6, 0))
      .addColumn(sd)
      .addColumn(sp)
      .addColumn(sf)
      .expectStrings({R"({"d":1})", {}, {}, {}, {}, {}}, {0, 1, 1, 1, 9, 7});
}

template <class T>
struct ValueRow {
  std::string path;
  int flags;
  T fallback;
  std::uint8_t fallbackState;
  T result;
  std::uint8_t state;
};

template <class T>
void expectValues(int op, const std::vector<ValueRow<T>>& rows) {
  ScopedStateLoads loads;
  std::vector<Doc> docs;
  std::vector<Str> paths;
  std::vector<T> fallbacks, expected;
  std::vector<std::int32_t> flags;
  std::vector<std::uint8_t> fallbackStates, states;
  for (const auto& r : rows) {
    docs.push_back(kDoc);
    paths.push_back(r.path);
    fallbacks.push_back(r.fallback);
    flags.push_back(r.flags);
    fallbackStates.push_back(r.fallbackState);
    expected.push_back(r.result);
    states.push_back(r.state);
  }
  Program p;
  p.column(kLoadJson, 0).column(kLoadString, 1).column(Storage<T>::load, 2).column(kLoadI32, 3);
  p.op(kNotNullState).op(kNotNullState).column(kLoadStates, 4).op(kNotNullState).op(op);
  HarnessCase c(p);
  c.addJsonColumn(docs).addStringColumn(paths);
  if constexpr (std::is_same_v<T, Str>)
    c.addStringColumn(fallbacks);
  else
    c.addColumn(fallbacks);
  c.addColumn(flags).addColumn(fallbackStates);
  if constexpr (std::is_same_v<T, Str>)
    c.expectStrings(expected, states);
  else
    c.expectRows<T>(expected, states);
}

// Rows: path, flags, default, default's state -> value, state.
// clang-format off
TEST(JsonValue, IntegerConversionsDefaultsAndFlags) {
  expectValues<std::int32_t>(kValueInt, {
      {"$.a", 0, 7, 0, 5, 0}, {"$.zz", 4, 7, 0, 7, 0}, {"$.zz", 0, 7, 0, 0, 1}, {"$.zz", 128, 7, 0, 0, 1},
      {"$.zz", 4, 7, 1, 0, 1}, // DEFAULT ON EMPTY with a NULL default
      {"$.o", 0, 7, 0, 0, 1},  // "Non-scalar value returned"
      {"$.o", 128, 7, 0, 7, 0}, {"$.o", 4, 7, 0, 0, 1}, {"$.b[*]", 128, 7, 0, 7, 0}, {"$.s", 0, 7, 0, 12, 0},
      {"$.f", 0, 7, 0, 2, 0}, {"$.t", 0, 7, 0, 1, 0}, {"$.n", 128, 7, 0, 0, 1}, {"$.x", 0, 7, 0, 0, 1},
      {"$.x", 128, 7, 0, 7, 0}, {"$[", 128, 7, 0, 7, 0},
      {"$.big", 0, 7, 0, 1, 0}, // low 32 bits of 2^32 + 1
      // singular paths, read in place; the whole document and two matches are not scalars
      {"$.b[-1]", 0, 7, 0, 2, 0}, {"$['b'][2]", 4, 7, 0, 7, 0}, {"$.e[1].x", 0, 7, 0, 2, 0},
      {"$[\"c\"].d", 0, 7, 0, 1, 0}, {"$.a.x", 4, 7, 0, 7, 0}, {"$.c[0]", 4, 7, 0, 7, 0}, {"$", 128, 7, 0, 7, 0},
      {"$.e[*].x", 128, 7, 0, 7, 0}});
  expectValues<long>(kValueLong, {
      {"$.big", 0, 0, 0, 4294967297L, 0}, {"$.m", 0, 0, 0, std::numeric_limits<long>::min(), 0},
      {"$.u", 0, 0, 0, 0, 1}, // above the signed range
      {"$.h", 0, 0, 0, 0, 1}, // 9.3e18 >= 2^63
      {"$.h", 128, -4, 0, -4, 0}});
}

TEST(JsonValue, BoolDoubleAndStringConversions) {
  expectValues<Bool>(kValueBool, {{"$.t", 0, 0, 0, 1, 0}, {"$.a", 0, 0, 0, 1, 0}, {"$.z", 0, 1, 0, 0, 0},
                                  {"$.x", 0, 0, 0, 0, 1}, {"$.f", 128, 1, 0, 1, 0}});
  expectValues<double>(kValueDouble, {{"$.f", 0, 0, 0, 2.9, 0}, {"$.a", 0, 0, 0, 5.0, 0}, {"$.s", 0, 0, 0, 12.0, 0},
                                      {"$.u", 0, 0, 0, 18446744073709551615.0, 0}, {"$.t", 0, 0, 0, 0, 1},
                                      {"$.zz", 4, -1.5, 0, -1.5, 0}});
  expectValues<Str>(kValueString, {{"$.x", 0, "d", 0, "abc", 0}, {"$.a", 0, "d", 0, "5", 0}, {"$.t", 0, "d", 0, "true", 0},
                                   {"$.f", 0, "d", 0, "2.9", 0}, {"$.o", 0, "d", 0, std::nullopt, 1},
                                   {"$.o", 128, "dflt", 0, "dflt", 0}, {"$.zz", 4, "dflt", 0, "dflt", 0},
                                   {"$.zz", 4, std::nullopt, 0, std::nullopt, 1}});
}
// clang-format on

TEST(JsonValue, ErrorAndEmptyFlagsEndTheCall) {
  const std::vector<std::tuple<std::string, int, std::string>> rows = {
      {"$.zz", 8, "Empty JSON returned from query"},
      {"$.o", 256, "Non-scalar value returned"},
      {"$.x", 256, "Not an integer"},
      {"$.b[*]", 256, "More than one value returned"},
  };
  for (const auto& [path, flags, message] : rows) {
    StringObjects strings;
    Program p;
    p.column(kLoadJson, 0).pointerConstant(kConstString, strings.make(path)).constant(kConstI32, 7);
    p.constant(kConstI32, flags);
    for (int i = 0; i < 4; ++i)
      p.op(kNotNullState);
    p.op(kValueInt);
    HarnessCase(p).addJsonColumn({kDoc}).expectFault(message);
  }
}

TEST(JsonPathFunctions, CardinalityExistsAndReplace) {
  const Doc doc = R"({"a":[1,2,3],"b":{"x":1,"y":2},"c":5,"n":null})";
  const std::vector<std::tuple<std::string, std::int32_t, Bool, Doc>> rows = {
      // path, cardinality, exists, replacement of the matches by {"r":0}
      {"$.a", 3, 1, R"({"a":{"r":0},"b":{"x":1,"y":2},"c":5,"n":null})"},
      {"$.b", 2, 1, R"({"a":[1,2,3],"b":{"r":0},"c":5,"n":null})"},
      {"$.c", 1, 1, R"({"a":[1,2,3],"b":{"x":1,"y":2},"c":{"r":0},"n":null})"},
      {"$.n", 1, 1, R"({"a":[1,2,3],"b":{"x":1,"y":2},"c":5,"n":{"r":0}})"},
      {"$.a[*]", 0, 1, R"({"a":[{"r":0},{"r":0},{"r":0}],"b":{"x":1,"y":2},"c":5,"n":null})"},
      {"$.a[?@ > 2]", 1, 1, R"({"a":[1,2,{"r":0}],"b":{"x":1,"y":2},"c":5,"n":null})"},
      {"$.a[?@ > 5]", 0, 0, doc},
      {"$.zz", 0, 0, doc},
      {"$[", 0, 0, std::nullopt},
  };
  std::vector<Doc> docs, replaced;
  std::vector<Str> paths;
  std::vector<std::int32_t> sizes;
  std::vector<Bool> exists;
  std::vector<std::uint8_t> states;
  for (const auto& [path, n, e, r] : rows) {
    docs.push_back(doc), paths.push_back(path), sizes.push_back(n), exists.push_back(e);
    replaced.push_back(canon(r)), states.push_back(r ? 0 : 1);
  }
  docs.push_back(std::nullopt), paths.push_back("$.a"), sizes.push_back(0), exists.push_back(0);
  replaced.push_back(std::nullopt), states.push_back(1);
  HarnessCase(loadColumns({kLoadJson, kLoadString}).op(kCardinality))
      .addJsonColumn(docs)
      .addStringColumn(paths)
      .expectRows(sizes);
  HarnessCase(loadColumns({kLoadJson, kLoadString}).op(kExists))
      .addJsonColumn(docs)
      .addStringColumn(paths)
      .expectRows(exists);
  JsonObjects objects;
  HarnessCase(loadColumns({kLoadJson, kLoadString})
                  .pointerConstant(kConstJson, objects.make(R"({"r":0})"))
                  .op(kReplace))
      .addJsonColumn(docs)
      .addStringColumn(paths)
      .expectStrings(replaced, states);
}

} // namespace
