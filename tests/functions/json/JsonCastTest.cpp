// JSON values from text and from the other types, and back to text, through both evaluators: the
// reader's NULL statuses (empty text, a non-array where one is required) against the texts that end the
// call (bad syntax, trailing text, invalid UTF-8, 100,000 brackets), numbers at the edges of the
// integer and double ranges, escapes, key order of built objects, and the pool after every run.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tests/functions/json/JsonTestSupport.h"

using namespace quarry::test;

namespace {

constexpr int kFromString = 610, kArrayFromString = 779, kArrayFromStringStatus = 2484, kFromChar8 = 604,
              kToString = 477, kDump = 1841;

TEST(JsonCast, TextToJsonStatesAndCanonicalText) {
  // text, JSON result (compact, sorted members) or NULL, array result or NULL
  // clang-format off
  const std::vector<std::tuple<Str, Doc, Doc>> rows = {
      {R"( {"b":1, "a":[true,null]} )", R"({"a":[true,null],"b":1})", std::nullopt}, {"[1,2]", "[1,2]", "[1,2]"},
      {"[]", "[]", "[]"}, {"", std::nullopt, std::nullopt}, {" \n\t ", std::nullopt, std::nullopt},
      {std::nullopt, std::nullopt, std::nullopt}, {"9223372036854775807", "9223372036854775807", std::nullopt},
      {"[-9223372036854775808,18446744073709551615]", "[-9223372036854775808,18446744073709551615]",
       "[-9223372036854775808,18446744073709551615]"},
      {"[1.7976931348623157e308,4.9e-324,-0.0]", "[1.7976931348623157e+308,5e-324,-0.0]",
       "[1.7976931348623157e+308,5e-324,-0.0]"},
      {"18446744073709551616", "1.8446744073709552e+19", std::nullopt},
      {R"("a\u00e9\n\"\ud83d\ude00")", "\"a\xc3\xa9\\n\\\"\xf0\x9f\x98\x80\"", std::nullopt},
      {R"({"a":1,"a":2})", R"({"a":2})", std::nullopt}};
  // clang-format on
  std::vector<Str> texts;
  std::vector<Doc> json, array;
  std::vector<std::uint8_t> jsonStates, arrayStates;
  for (const auto& [t, j, a] : rows) {
    texts.push_back(t), json.push_back(j), array.push_back(a);
    jsonStates.push_back(j ? 0 : 1), arrayStates.push_back(a ? 0 : 1);
  }
  HarnessCase(Program().column(kLoadString, 0).op(kFromString))
      .addStringColumn(texts)
      .expectStrings(json, jsonStates);
  HarnessCase(Program().column(kLoadString, 0).op(kArrayFromString))
      .addStringColumn(texts)
      .expectStrings(array, arrayStates);
  // The text written back is the canonical text the reader's result dumps to.
  for (int op : {kToString, kDump})
    HarnessCase(Program().column(kLoadString, 0).op(kFromString).op(op))
        .addStringColumn(texts)
        .expectStrings(json, jsonStates);
}

TEST(JsonCast, BadTextEndsTheCallAndFreesEverything) {
  const std::string invalid = "JSON text is not valid", deep = "JSON text nests deeper";
  // clang-format off
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"[1,", invalid}, {"[1] x", invalid}, {"{\"a\" 1}", invalid}, {"[\"\xff\"]", invalid}, {"nul", invalid},
      {std::string(100000, '['), deep + " than the limit of 1000 levels"},
      {std::string(100000, '[') + std::string(100000, ']'), deep}};
  // clang-format on
  for (const auto& [text, message] : rows)
    for (int op : {kFromString, kArrayFromString}) {
      // good rows before and after, so that finished rows are freed on the way out
      HarnessCase(Program().column(kLoadString, 0).op(op))
          .addStringColumn({text, "[1]", text})
          .expectFault(message);
    }
}

TEST(JsonCast, StatusFormAndFixedWidthText) {
  ScopedStateLoads loads;
  HarnessCase(loadColumns({kLoadString, kLoadStates}).op(kArrayFromStringStatus))
      .addStringColumn({"[1]", "[2]", "[3]", "{}"})
      .addColumn(std::vector<std::uint8_t>{0, 1, 12, 0})
      .expectStrings({"[1]", std::nullopt, std::nullopt, std::nullopt}, {0, 1, 12, 1});
  HarnessCase(Program().column(kLoadChar + 3, 0).op(kFromChar8))
      .addColumn(std::vector<decltype(txt<8>(""))>{txt<8>("[1, 2]"), txt<8>(""), txt<8>("{\"k\":7}")})
      .expectStrings({"[1,2]", std::nullopt, R"({"k":7})"}, {0, 1, 0});
}

TEST(JsonCast, NumbersAndValuesToJson) {
  const long kMin = std::numeric_limits<long>::min(), kMax = std::numeric_limits<long>::max();
  // clang-format off
  expectObjectTable<Str, long>(685, {{{kMin}, "-9223372036854775808"}, {{-1}, "-1"}, {{0}, "0"}, {{kMax}, "9223372036854775807"}});
  expectObjectTable<Str, unsigned long>(696, {{{0}, "0"}, {{~0ul}, "18446744073709551615"}});
  expectObjectTable<Str, double>(710, {{{0.1}, "0.1"}, {{-0.0}, "-0.0"}, {{1e300}, "1e+300"}, {{2.0}, "2.0"}});
  expectObjectTable<Str, float>(703, {{{0.1f}, "0.10000000149011612"}});
  expectObjectTable<Str, std::int8_t>(652, {{{-128}, "-128"}, {{127}, "127"}});
  expectObjectTable<Str, Bool>(600, {{{0}, "false"}, {{1}, "true"}, {{2}, "true"}});
  expectObjectTable<Str, Str, Str, Str>(1891, {{{"a", "b", "c"}, R"(["a","b","c"])"}, {{std::nullopt, "q", ""}, R"([null,"q",""])"}});
  // clang-format on
  ScopedStateLoads loads;
  // JSON_FROM_*: a NULL value becomes the JSON null with state 0; an error state passes on.
  HarnessCase(loadColumns({kLoadI64, kLoadStates}).op(1824))
      .addColumn(std::vector<long>{5, 6, 7})
      .addColumn(std::vector<std::uint8_t>{0, 1, 9})
      .expectStrings({"5", "null", std::nullopt}, {0, 0, 9});
  HarnessCase(loadColumns({kLoadString, kLoadStates}).op(1857))
      .addStringColumn({"[1]", std::nullopt, "x\"y"})
      .addColumn(std::vector<std::uint8_t>{0, 1, 0})
      .expectStrings({R"("[1]")", "null", R"("x\"y")"});
  HarnessCase(loadColumns({kLoadF64, kLoadStates}).op(1827))
      .addColumn(std::vector<double>{1.5, 2.5})
      .addColumn(std::vector<std::uint8_t>{0, 1})
      .expectStrings({"null", "null"});
}

TEST(JsonCast, ObjectsMergeAndPatchKeepKeyOrder) {
  JsonObjects objects;
  HarnessCase(loadColumns({kLoadString, kLoadI64}).op(1833))
      .addStringColumn({"k", std::nullopt})
      .addColumn(std::vector<long>{-3, 4})
      .expectStrings({R"({"k":-3})", std::nullopt}, {0, 1});
  HarnessCase(loadColumns({kLoadString, kLoadJson}).op(1837))
      .addStringColumn({"z", "a"})
      .addJsonColumn({R"({"y":1,"b":[2]})", std::nullopt})
      .expectStrings({R"({"z":{"b":[2],"y":1}})", R"({"a":null})"});
  // merge: members of b whose keys a lacks are added; a's own members win
  HarnessCase(loadColumns({kLoadJson, kLoadJson}).op(1838))
      .addJsonColumn({R"({"m":1,"c":2})", R"({"a":1})", "[1]", R"({"a":1})"})
      .addJsonColumn({R"({"c":9,"b":3,"a":0})", R"({})", R"({"x":1})", "[2]"})
      .expectStrings({R"({"a":0,"b":3,"c":2,"m":1})", R"({"a":1})", "[1]", R"({"a":1})"});
  // RFC 6902 patches applied to a copy; a failing patch is a NULL row
  HarnessCase(loadColumns({kLoadJson, kLoadJson}).op(1839))
      .addJsonColumn({R"({"a":1,"b":[1,2]})", R"({"a":1})", R"({"a":1})", R"({"a":1})"})
      .addJsonColumn({R"([{"op":"add","path":"/b/1","value":9},{"op":"remove","path":"/a"},
                         {"op":"copy","from":"/b/0","path":"/c"}])",
                      R"([{"op":"test","path":"/a","value":2}])", R"([{"op":"remove","path":"/q"}])",
                      R"([{"op":"move","from":"/a","path":"/z"}])"})
      .expectStrings({R"({"b":[1,9,2],"c":1})", std::nullopt, std::nullopt, R"({"z":1})"}, {0, 1, 1, 0});
}

} // namespace
