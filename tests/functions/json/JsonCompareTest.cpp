// Comparisons, null forms, kind tests, type names and CBOR hashes of JSON values, both evaluators. The
// hashes are checked against MurmurHash3 of CBOR bytes encoded by hand here.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/MurmurHash3.h"
#include "tests/functions/json/JsonTestSupport.h"

using namespace quarry::test;

namespace {

using U128 = fixed_array_t<16>;

TEST(JsonCompare, ValueOrderAcrossKinds) {
  // a, b, then EQ NE LT LE GT GE (hand-ordered: null < boolean < number < object < array < string)
  // clang-format off
  const std::vector<std::tuple<Doc, Doc, std::vector<Bool>>> rows = {
      {"1", "1.0", {1, 0, 0, 1, 0, 1}}, {"18446744073709551615", "-1", {0, 1, 0, 0, 1, 1}},
      {"[1,2]", "[1,3]", {0, 1, 1, 1, 0, 0}}, {"[1,2]", "[1]", {0, 1, 0, 0, 1, 1}},
      {R"({"a":1,"b":2})", R"({"b":2,"a":1})", {1, 0, 0, 1, 0, 1}}, {"null", "false", {0, 1, 1, 1, 0, 0}},
      {"true", "0", {0, 1, 1, 1, 0, 0}}, {"5", "{}", {0, 1, 1, 1, 0, 0}}, {"{}", "[]", {0, 1, 1, 1, 0, 0}},
      {"[]", "\"\"", {0, 1, 1, 1, 0, 0}}, {"\"ab\"", "\"b\"", {0, 1, 1, 1, 0, 0}}, {std::nullopt, "1", {0, 0, 0, 0, 0, 0}}};
  // clang-format on
  const int codes[] = {926, 927, 928, 929, 930, 931};
  for (int k = 0; k < 6; ++k) {
    std::vector<Doc> a, b;
    std::vector<Bool> expected;
    for (const auto& [x, y, r] : rows)
      a.push_back(x), b.push_back(y), expected.push_back(r[std::size_t(k)]);
    HarnessCase(loadColumns({kLoadJson, kLoadJson}).op(codes[k]))
        .addJsonColumn(a)
        .addJsonColumn(b)
        .expectRows(expected);
  }
}

TEST(JsonNullForms, IsNullNotDistinctIfAndRemoveNullable) {
  ScopedStateLoads loads;
  const std::vector<Doc> a = {"[1]", std::nullopt, "[1]", std::nullopt, "[1]", "[1]"},
                         b = {"[1]", std::nullopt, std::nullopt, "[2]", "[2]", "[1]"};
  const std::vector<std::uint8_t> sa = {0, 1, 0, 1, 0, 13}, sb = {0, 1, 1, 0, 0, 14};
  for (int code : {280, 281})
    HarnessCase(loadColumns({kLoadJson, kLoadStates}).op(code))
        .addJsonColumn(a)
        .addColumn(sa)
        .expectRows<Bool>({0, 1, 0, 1, 0, 0}, {0, 0, 0, 0, 0, 13});
  for (int code : {1259, 1260})
    HarnessCase(loadColumns({kLoadJson, kLoadJson, kLoadStates, kLoadStates}).op(code))
        .addJsonColumn(a)
        .addJsonColumn(b)
        .addColumn(sa)
        .addColumn(sb)
        .expectRows<Bool>({1, 1, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 13}, rpn_eval_result_t(13));
  for (int code : {1225, 1226})
    HarnessCase(loadColumns({kLoadJson, kLoadJson, kLoadBool}).op(code))
        .addJsonColumn(a)
        .addJsonColumn(b)
        .addColumn(std::vector<Bool>{1, 0, 0, 1, 0, 1})
        .expectStrings({"[1]", std::nullopt, std::nullopt, std::nullopt, "[2]", "[1]"});
  // an intermediate input (a merge result) is handed on, a NULL row gets {}
  for (int code : {314, 315})
    HarnessCase(Program().column(kLoadJson, 0).column(kLoadJson, 0).op(1838).column(kLoadStates, 1).op(code))
        .addJsonColumn(a)
        .addColumn(sa)
        .expectStrings({"[1]", "{}", "[1]", "{}", "[1]", std::nullopt}, {0, 0, 0, 0, 0, 13});
}

TEST(JsonKinds, KindTestsAndTypeNames) {
  const std::vector<Doc> docs = {"1.5", "true", "-3",        "18446744073709551615", "\"s\"", "null",
                                 "[]",  "{}",   std::nullopt};
  const std::vector<std::string> names = {"DOUBLE", "BOOLEAN", "LONG",   "LONG", "STRING",
                                          "NULL",   "ARRAY",   "OBJECT", ""};
  std::vector<vela::cuda::cell_of_width_t<8>> cells;
  for (const std::string& n : names)
    cells.push_back(packed<vela::cuda::cell_of_width_t<8>>(n));
  HarnessCase(Program().column(kLoadJson, 0).op(1844)).addJsonColumn(docs).expectRows(cells);
  // kind 0 container, 1 any, 2 array, 3 object, 4 non-null scalar, 5 nothing
  const std::vector<std::vector<Bool>> byKind = {{0, 0, 0, 0, 0, 0, 1, 1, 0}, {1, 1, 1, 1, 1, 1, 1, 1, 0},
                                                 {0, 0, 0, 0, 0, 0, 1, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 1, 0},
                                                 {1, 1, 1, 1, 1, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0}};
  for (std::int32_t kind = 0; kind < 6; ++kind)
    HarnessCase(Program().column(kLoadJson, 0).constant(kConstI32, kind).op(1816))
        .addJsonColumn(docs)
        .expectRows(byKind[std::size_t(kind)]);
}

U128 cell(vela::Hash128 h) {
  U128 c;
  std::memcpy(c.bytes, &h.h1, 8);
  std::memcpy(c.bytes + 8, &h.h2, 8);
  return c;
}

TEST(JsonHash, MurmurOfHandEncodedCbor) {
  // {"a":[1,-2,1.5,true,null,"é"],"b":{}} and 300 and "" in CBOR, encoded by hand
  const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> rows = {
      {R"({"b":{},"a":[1,-2,1.5,true,null,"é"]})",
       {0xa2, 0x61, 'a', 0x86, 0x01, 0x21, 0xfb, 0x3f, 0xf8, 0,   0,   0,
        0,    0,    0,   0xf5, 0xf6, 0x62, 0xc3, 0xa9, 0x61, 'b', 0xa0}},
      {"300", {0x19, 0x01, 0x2c}},
      {"\"\"", {0x60}},
  };
  std::vector<Doc> docs;
  std::vector<long> h64;
  std::vector<U128> h128, h128b;
  const std::uint64_t seed = 0x0123456789abcdefULL;
  for (const auto& [doc, bytes] : rows) {
    docs.push_back(doc);
    h64.push_back(long(vela::murmur3_x64_128(bytes.data(), bytes.size(), seed, seed).h1));
    h128.push_back(cell(vela::murmur3_x64_128(bytes.data(), bytes.size(), 5, 6)));
    h128b.push_back(cell(vela::murmur3_x64_128(bytes.data(), bytes.size(), 10, 10)));
  }
  for (int code : {2218, 2219})
    HarnessCase(Program().column(kLoadJson, 0).constant(kConstI64, long(seed)).op(code))
        .addJsonColumn(docs)
        .expectRows(h64);
  for (int code : {2244, 2245})
    HarnessCase(
        Program().column(kLoadJson, 0).constant(kConstU128, u128(vela::uint128_t(6) << 64 | 5)).op(code))
        .addJsonColumn(docs)
        .expectRows(h128);
  for (int code : {2272, 2273})
    HarnessCase(Program().column(kLoadJson, 0).op(code)).addJsonColumn(docs).expectRows(h128b);
}

} // namespace
