// The array ops through both evaluators: set operations and containment against a quadratic membership
// model on random arrays (duplicates, 1 = 1.0); slicing, element access, append, length and joining.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/functions/json/JsonTestSupport.h"

using namespace quarry::test;
using nlohmann::json;

namespace {

constexpr int kConcat = 1868, kDistinct = 1869, kExcept = 1870, kIntersect = 1871, kSlice = 1872,
              kContainsAll = 1874, kContainsAny = 1875;

// Runs a two-array op (both states 0) over columns a and b, loaded by `load`, and hands the case to check.
template <class Check>
void runBinary(int code, int load, const std::vector<Doc>& a, const std::vector<Doc>& b, Check check) {
  Program p;
  p.column(load, 0).column(load, 1).op(kNotNullState).op(kNotNullState).op(code);
  HarnessCase c(p);
  c.addJsonColumn(a).addJsonColumn(b);
  check(c);
}

bool member(const json& array, const json& x) {
  for (const json& e : array)
    if (e == x)
      return true;
  return false;
}

json randomArray(std::mt19937& gen, std::size_t n) {
  // few distinct values, so that duplicates and cross-kind equalities are frequent
  // clang-format off
  const std::vector<json> pool = {1, 1.0, 2, json::parse("18446744073709551615"), -0.0, 0, "1", "a", true, nullptr,
                                  json::array({1}), json::array({1.0}), json::object({{"k", 1}})};
  // clang-format on
  json a = json::array();
  for (std::size_t i = 0; i < n; ++i)
    a.push_back(gen() % 4 == 0 ? json(int(gen() % 1000)) : pool[gen() % pool.size()]);
  return a;
}

TEST(ArraySets, AgreeWithTheQuadraticModel) {
  std::mt19937 gen(7);
  std::vector<Doc> as, bs, concat, distinct, except, intersect;
  std::vector<Bool> all, any;
  for (std::size_t n : {0, 1, 3, 8, 20, 70, 300, 2000}) {
    for (int k = 0; k < 3; ++k) {
      const json a = randomArray(gen, n), b = randomArray(gen, gen() % (n + 2));
      json c = a, d = json::array(), x = json::array(), i = json::array();
      for (const json& e : b)
        c.push_back(e);
      bool hasAll = true, hasAny = false;
      for (const json& e : a) {
        if (!member(d, e))
          d.push_back(e);
        (member(b, e) ? i : x).push_back(e);
      }
      for (const json& e : b) {
        if (member(a, e))
          hasAny = true;
        else
          hasAll = false;
      }
      as.push_back(a.dump()), bs.push_back(b.dump()), concat.push_back(c.dump()),
          distinct.push_back(d.dump());
      except.push_back(x.dump()), intersect.push_back(i.dump());
      all.push_back(hasAll), any.push_back(hasAny);
    }
  }
  as.push_back(std::nullopt), bs.push_back("[1]");
  for (auto* v : {&concat, &distinct, &except, &intersect})
    v->push_back(std::nullopt);
  all.push_back(0), any.push_back(0);
  std::vector<std::uint8_t> states(as.size(), 0);
  states.back() = 1;
  const auto binary = [&](int code, auto check) {
    runBinary(code, kLoadArray, as, bs, [&](HarnessCase& c) { check(c.rowCounts({})); });
  };
  binary(kConcat, [&](HarnessCase& c) { c.expectStrings(concat, states); });
  binary(kExcept, [&](HarnessCase& c) { c.expectStrings(except, states); });
  binary(kIntersect, [&](HarnessCase& c) { c.expectStrings(intersect, states); });
  binary(kContainsAll, [&](HarnessCase& c) { c.expectRows(all, states); });
  binary(kContainsAny, [&](HarnessCase& c) { c.expectRows(any, states); });
  HarnessCase(Program().column(kLoadArray, 0).op(kNotNullState).op(kDistinct))
      .addJsonColumn(as)
      .rowCounts({})
      .expectStrings(distinct, states);
}

TEST(ArraySets, EdgeRowsAndNonArrays) {
  const auto binary = [](int code, std::vector<Doc> a, std::vector<Doc> b, auto check) {
    runBinary(code, kLoadJson, a, b, check);
  };
  binary(kIntersect, {"[1,1,2]", "{}"}, {"[1]", "[1]"}, [](HarnessCase& c) {
    c.expectStrings({"[1,1]", std::nullopt}, {0, 1});
  });
  binary(kExcept, {"[1,1,2]"}, {"[1]"}, [](HarnessCase& c) { c.expectStrings({"[2]"}); });
  binary(kConcat, {"[]"}, {"[]"}, [](HarnessCase& c) { c.expectStrings({"[]"}); });
  binary(kContainsAll, {"[1,2]", "[]"}, {"[]", "[1]"}, [](HarnessCase& c) { c.expectRows<Bool>({1, 0}); });
  binary(kContainsAny, {"[1,2]", "[]"}, {"[]", "[1]"}, [](HarnessCase& c) { c.expectRows<Bool>({0, 0}); });
  binary(kContainsAny, {"{}", "[1]"}, {"[1]", "[1]"}, [](HarnessCase& c) { c.expectFault("Not an array"); });
}

TEST(ArraySlice, PositionsAndBounds) {
  // start, end -> result for [10,20,30,40]
  const std::vector<std::tuple<std::int32_t, std::int32_t, Doc>> rows = {
      {2, 3, "[20,30]"}, {0, 2, "[10,20]"}, {3, 99, "[30,40]"}, {3, 2, "[]"},
      {2, -1, "[]"},     {-5, 1, "[10]"},   {5, 9, "[]"},       {1, 4, "[10,20,30,40]"},
  };
  std::vector<std::int32_t> starts, ends;
  std::vector<Doc> docs, expected;
  for (const auto& [s, e, r] : rows)
    starts.push_back(s), ends.push_back(e), docs.push_back("[10,20,30,40]"), expected.push_back(r);
  docs.push_back("{}"), starts.push_back(1), ends.push_back(1), expected.push_back(std::nullopt);
  std::vector<std::uint8_t> states(expected.size(), 0);
  states.back() = 1;
  Program slice;
  slice.column(kLoadArray, 0).column(kLoadI32, 1).column(kLoadI32, 2);
  slice.op(kNotNullState).op(kNotNullState).op(kNotNullState).op(kSlice);
  HarnessCase(slice).addJsonColumn(docs).addColumn(starts).addColumn(ends).expectStrings(expected, states);
  const std::vector<Doc> nested = {"[[1,2,3],[4]]", "[[1,2,3],[4]]", "[[1,2,3],[4]]",
                                   "[[1,2,3],[4]]", "[1]",           "[]"};
  const std::vector<std::int32_t> dims = {1, 2, 0, 3, 2, 1};
  HarnessCase(loadColumns({kLoadArray, kLoadI32}).op(1884))
      .addJsonColumn(nested)
      .addColumn(dims)
      .expectRows<std::int32_t>({2, 3, 0, 0, 0, 0}, {0, 0, 1, 1, 1, 0});
  HarnessCase(loadColumns({kLoadArray, kLoadI32}).op(1885))
      .addJsonColumn(nested)
      .addColumn(dims)
      .expectRows<std::int32_t>({1, 1, 0, 0, 0, 1}, {0, 0, 1, 1, 1, 0});
}

TEST(ArrayElements, AccessByTypeAppendLengthAndJoin) {
  const Doc a = R"([5,null,"x",2.75,true,[1],"17",18446744073709551615,-1])";
  const std::vector<std::int32_t> positions = {1, 2, 0, 10, 6, 4, 5, 7};
  const std::vector<Doc> docs(positions.size(), a);
  const std::vector<std::uint8_t> states = {0, 1, 1, 1, 1, 0, 0, 0};
  HarnessCase(loadColumns({kLoadArray, kLoadI32}).op(1877))
      .addJsonColumn(docs)
      .addColumn(positions)
      .expectRows<std::int32_t>({5, 0, 0, 0, 0, 2, 1, 17}, states);
  HarnessCase(loadColumns({kLoadArray, kLoadI32}).op(1880))
      .addJsonColumn({a, a, a, a})
      .addColumn(std::vector<std::int32_t>{1, 4, 7, 2})
      .expectRows<double>({5, 2.75, 17, 0}, {0, 0, 0, 1});
  HarnessCase(Program().column(kLoadArray, 0).constant(kConstI32, 5).op(1880))
      .addJsonColumn({a})
      .expectFault("Not a double");
  HarnessCase(loadColumns({kLoadArray, kLoadI32}).op(1881))
      .addJsonColumn(docs)
      .addColumn(positions)
      .expectStrings({"5", {}, {}, {}, {}, "2.75", "true", "17"}, states);
  HarnessCase(loadColumns({kLoadArray, kLoadI32}).op(1883))
      .addJsonColumn({a, a})
      .addColumn(std::vector<std::int32_t>{8, 9})
      .expectRows<unsigned long>({18446744073709551615UL, 18446744073709551615UL});
  HarnessCase(Program().column(kLoadArray, 0).constant(kConstI32, 3).op(1877))
      .addJsonColumn({a})
      .expectFault("Not an integer");
  ScopedStateLoads loads;
  HarnessCase(loadColumns({kLoadJson, kLoadI64, kLoadStates, kLoadStates}).op(1818))
      .addJsonColumn({"[1]", "{\"a\":1}", "[]", "[1]"})
      .addColumn(std::vector<long>{-2, 3, 4, 5})
      .addColumn(std::vector<std::uint8_t>{0, 0, 0, 1})
      .addColumn(std::vector<std::uint8_t>{0, 0, 1, 0})
      .expectStrings({"[1,-2]", R"([{"a":1},3])", "[null]", std::nullopt}, {0, 0, 0, 1});
  HarnessCase(loadColumns({kLoadArray, kLoadStates}).op(1886))
      .addJsonColumn({a, "{}", "[]"})
      .addColumn(std::vector<std::uint8_t>{0, 0, 0})
      .expectRows<std::int32_t>({9, 0, 0}, {0, 1, 0});
  StringObjects strings;
  for (Bool skip : {Bool{0}, Bool{1}})
    HarnessCase(Program()
                    .column(kLoadArray, 0)
                    .constant(kConstI8, std::int8_t(skip))
                    .pointerConstant(kConstString, strings.make(", "))
                    .column(kLoadStates, 1)
                    .op(1887))
        .addJsonColumn({R"([1,null,"b",{"k":[2]}])", "[]"})
        .addColumn(std::vector<std::uint8_t>{0, 0})
        .expectStrings({skip ? R"(1, b, {"k":[2]})" : R"(1, , b, {"k":[2]})", ""});
}

} // namespace
