// JSON text under the nesting cap, and copies and compact text of values of any depth.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/JsonValueUtils.h"
#include "tests/support/Nesting.h"

using nlohmann::json;
using namespace vela::JsonValueUtils;
using quarry::test::deepJsonArray;
using quarry::test::nestedText;

TEST(JsonDepth, ReadJsonAcceptsTheLimitAndRefusesOneMore) {
  const std::size_t n = kMaxJsonDepth;
  // clang-format off
  const std::pair<std::string, std::size_t> cases[] = { // depth 0: refused for its depth
      {nestedText(n, "[", "", "]"), n}, {nestedText(n + 1, "[", "", "]"), 0},
      {nestedText(n, "{\"a\":", "1", "}"), n}, {nestedText(n + 1, "{\"a\":", "1", "}"), 0},
      {nestedText(n / 2, "[{\"k\":", "1", "}]"), n}, {nestedText(n / 2, "[{\"k\":", "[]", "}]"), 0},
      // brackets inside strings, escaped quotes included, do not nest
      {"[\"" + std::string(2 * n, '[') + "\\\"" + std::string(2 * n, '{') + "\"]", 1},
      {"  [1, {\"x\": [\"]]]\"]}]  ", 3},
  };
  // clang-format on
  for (const auto& [text, expected] : cases) {
    json value = 7;
    const vela::Status status = readJson(text, value);
    if (expected == 0) {
      EXPECT_EQ(status.kind(), vela::StatusEnum::EvaluationError) << text.substr(0, 40);
      EXPECT_EQ(status.message(), "JSON text nests deeper than the limit of 1000 levels");
      EXPECT_EQ(value, json(7)) << "a refusal leaves the value untouched";
      continue;
    }
    ASSERT_TRUE(status.ok()) << status.message();
    EXPECT_EQ(depth(value), expected);
    const json copy = copyJson(value); // copy, write and free at the limit, without deep recursion
    EXPECT_EQ(writeJson(copy), writeJson(value));
    EXPECT_EQ(getMemoryUsage(copy), getMemoryUsage(value));
  }
  for (const char* text : {"", "[1,", "{\"a\" 1}", "[1] x", "[\"\xff\"]", "nul", "[01]"}) {
    json value = 7;
    const vela::Status status = readJson(text, value);
    EXPECT_EQ(status.kind(), vela::StatusEnum::EvaluationError) << text;
    EXPECT_EQ(status.message().rfind("JSON text is not valid: ", 0), 0u) << status.message();
    EXPECT_EQ(value, json(7));
  }
}

TEST(JsonDepth, WriteJsonIsTheSameTextAsDumpAndCopiesAreEqual) {
  // clang-format off
  const json values[] = {
      json(), json(-9223372036854775807LL - 1), json(0.1), json(std::nan("")), json::array(), json::object(),
      json("caf\xc3\xa9 \xf0\x9f\x98\x80 \x01\x1f\"\\/\b\f\n\r\t \xe2\x80\xa8"), json::binary({1, 2, 255}, 7),
      json::parse(R"({"z":[1,[2,[3,{}]],[]],"a":{"b\u0000c":{"\"":null}},"\u00e9":[0.5,-1e-7,"x"]})"),
      json::parse(R"([[[]],{},[{"a":[{"b":[]}]}],"[{",{"k":"}]"}])"),
      json::parse(R"({"a":[1,{"b":[true,null,"a text longer than fifteen"]}],"c":{}})"),
  };
  // clang-format on
  for (const json& v : values) {
    EXPECT_EQ(writeJson(v), v.dump());
    std::string appended = "prefix:";
    writeJson(v, appended);
    EXPECT_EQ(appended, "prefix:" + v.dump());
    EXPECT_EQ(copyJson(v).dump(), v.dump()); // NaN != NaN: compare the text
    EXPECT_EQ(getMemoryUsage(copyJson(v)), getMemoryUsage(v));
  }
  EXPECT_THROW(writeJson(json::array({"ok", std::string("\xff")})), json::type_error); // as dump() does
  // A copy shares nothing with its source.
  const json original = values[10];
  json copy = copyJson(original);
  copy["a"][1]["b"][0] = false;
  EXPECT_EQ(original["a"][1]["b"][0], json(true));
}

// Values deeper than any reader accepts (built by hand) are still copied, written and freed.
TEST(JsonDepth, ValuesFarBeyondTheLimitNeedNoRecursion) {
  const std::size_t n = 200000;
  json deep = deepJsonArray(n);
  json* innermost = &deep; // a member object in the innermost array, so both container kinds are walked
  while (!innermost->empty())
    innermost = &(*innermost)[0];
  innermost->push_back(json::object({{"k", deepJsonArray(3)}}));
  const std::string expected = nestedText(n, "[", "{\"k\":[[[]]]}", "]");
  EXPECT_EQ(depth(deep), n + 1 + 3);
  const json copy = copyJson(deep);
  EXPECT_EQ(writeJson(copy), expected);
  EXPECT_EQ(writeJson(deep), expected);
  EXPECT_EQ(getMemoryUsage(copy), getMemoryUsage(deep));
}

// Accepted documents leave room for the value type's recursive algorithms (comparison, the parser's
// own bookkeeping) on a small thread stack, sanitizer builds included.
TEST(JsonDepth, DocumentsAtTheLimitFitInASmallStack) {
  const std::string text = nestedText(kMaxJsonDepth / 2, "[{\"k\":", "\"x\"", "}]");
  bool done = false;
  std::function<void()> work = [&] {
    json a, b;
    done = readJson(text, a).ok() && readJson(text, b).ok() && a == b && copyJson(a) == b &&
           writeJson(a) == text;
  };
  ASSERT_TRUE(quarry::test::runOnSmallStack(work));
  EXPECT_TRUE(done);
}
