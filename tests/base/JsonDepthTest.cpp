// JSON text under the nesting cap, and copies and compact text of values of any depth.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <pthread.h>

#include "base/JsonValueUtils.h"

using nlohmann::json;
using namespace vela::JsonValueUtils;

namespace {

std::string nested(std::size_t depth, const std::string& open, const std::string& inner,
                   const std::string& close) {
  std::string text;
  for (std::size_t i = 0; i < depth; ++i)
    text += open;
  text += inner;
  for (std::size_t i = 0; i < depth; ++i)
    text += close;
  return text;
}

// [[...[]...]] with `depth` arrays, built without the parser.
json deepArray(std::size_t depth) {
  json v = json::array();
  for (std::size_t i = 1; i < depth; ++i) {
    json outer = json::array();
    outer.push_back(std::move(v));
    v = std::move(outer);
  }
  return v;
}

} // namespace

TEST(JsonDepth, ReadJsonAcceptsTheLimitAndRefusesOneMore) {
  const std::size_t n = kMaxJsonDepth;
  struct Case {
    std::string text;
    std::size_t depth; // 0: refused for its depth
  };
  const Case cases[] = {
      {nested(n, "[", "", "]"), n},
      {nested(n + 1, "[", "", "]"), 0},
      {nested(n, "{\"a\":", "1", "}"), n},
      {nested(n + 1, "{\"a\":", "1", "}"), 0},
      {nested(n / 2, "[{\"k\":", "1", "}]"), n},
      {nested(n / 2, "[{\"k\":", "[]", "}]"), 0},
      {nested(n - 1, "[", "{}", "]"), n},
      {nested(50000, "[", "", "]"), 0},
      // Brackets inside strings, escaped quotes included, do not nest.
      {"[\"" + std::string(2 * n, '[') + "\\\"" + std::string(2 * n, '{') + "\"]", 1},
      {"  [1, {\"x\": [\"]]]\"]}]  ", 3},
  };
  for (const Case& c : cases) {
    json value = 7;
    const vela::Status status = readJson(c.text, value);
    if (c.depth == 0) {
      EXPECT_FALSE(status.ok()) << c.text.substr(0, 40);
      EXPECT_EQ(status.kind(), vela::StatusEnum::EvaluationError);
      EXPECT_EQ(status.message(), "JSON text nests deeper than the limit of 1000 levels");
      EXPECT_EQ(value, json(7)) << "a refusal leaves the value untouched";
      continue;
    }
    ASSERT_TRUE(status.ok()) << status.message();
    EXPECT_EQ(depth(value), c.depth);
    // Copy, write and free at the limit (under the sanitizers: no deep recursion anywhere).
    const json copy = copyJson(value);
    EXPECT_EQ(writeJson(copy), writeJson(value));
    EXPECT_EQ(getMemoryUsage(copy), getMemoryUsage(value));
  }
}

TEST(JsonDepth, MalformedTextIsRefusedWithTheParsersReason) {
  for (const char* text : {"", "[1,", "{\"a\" 1}", "[1] x", "[\"\xff\"]", "nul", "[01]"}) {
    json value;
    const vela::Status status = readJson(text, value);
    EXPECT_EQ(status.kind(), vela::StatusEnum::EvaluationError) << text;
    EXPECT_EQ(status.message().rfind("JSON text is not valid: ", 0), 0u) << status.message();
  }
}

TEST(JsonDepth, WriteJsonIsTheSameTextAsDump) {
  const std::vector<json> values = {
      json(),
      json(true),
      json(-9223372036854775807LL - 1),
      json(18446744073709551615ULL),
      json(0.1),
      json(-0.0),
      json(1e300),
      json(5e-324),
      json(1.0),
      json(std::nan("")), // written as null, like dump()
      json("caf\xc3\xa9 \xf0\x9f\x98\x80 \x01\x1f\"\\/\b\f\n\r\t \xe2\x80\xa8"),
      json::array(),
      json::object(),
      json::parse(R"({"z":[1,[2,[3,{}]],[]],"a":{"b\u0000c":{"\"":null}},"\u00e9":[0.5,-1e-7,"x"]})"),
      json::parse(R"([[[]],{},[{"a":[{"b":[]}]}],"[{",{"k":"}]"}])"),
      json::binary({1, 2, 255}, 7),
  };
  for (const json& v : values) {
    EXPECT_EQ(writeJson(v), v.dump());
    std::string appended = "prefix:";
    writeJson(v, appended);
    EXPECT_EQ(appended, "prefix:" + v.dump());
  }
  // Invalid UTF-8 fails as dump() does.
  EXPECT_THROW(writeJson(json::array({"ok", std::string("\xff")})), json::type_error);
}

TEST(JsonDepth, CopiesAreEqualAndIndependent) {
  const json original = json::parse(R"({"a":[1,{"b":[true,null,"a text longer than fifteen"]}],"c":{}})");
  json copy = copyJson(original);
  EXPECT_EQ(copy, original);
  EXPECT_EQ(getMemoryUsage(copy), getMemoryUsage(original));
  copy["a"][1]["b"][0] = false;
  EXPECT_EQ(original["a"][1]["b"][0], json(true));
  for (const json& scalar : {json(), json(3), json("s"), json::binary({9})})
    EXPECT_EQ(copyJson(scalar), scalar);
}

// Values deeper than any reader accepts (built by hand) are still copied, written and freed.
TEST(JsonDepth, ValuesFarBeyondTheLimitNeedNoRecursion) {
  const std::size_t n = 200000;
  json deep = deepArray(n);
  // Put a member object in the innermost array so both container kinds are walked.
  json* innermost = &deep;
  while (!innermost->empty())
    innermost = &(*innermost)[0];
  json member = json::object();
  member["k"] = deepArray(3);
  innermost->push_back(std::move(member));
  const std::string expected = nested(n, "[", "{\"k\":[[[]]]}", "]");
  EXPECT_EQ(depth(deep), n + 1 + 3);
  const json copy = copyJson(deep);
  EXPECT_EQ(writeJson(copy), expected);
  EXPECT_EQ(writeJson(deep), expected);
  EXPECT_EQ(getMemoryUsage(copy), getMemoryUsage(deep));
}

// Accepted documents leave room for the value type's recursive algorithms (comparison, the parser's
// own bookkeeping) on a small thread stack, sanitizer builds included.
TEST(JsonDepth, DocumentsAtTheLimitFitInASmallStack) {
  const std::string text = nested(kMaxJsonDepth / 2, "[{\"k\":", "\"x\"", "}]");
  bool done = false;
  std::function<void()> work = [&] {
    json a, b;
    done = readJson(text, a).ok() && readJson(text, b).ok() && a == b && copyJson(a) == b &&
           writeJson(a) == text;
  };
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 2u << 20), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attr,
                [](void* f) -> void* {
                  (*static_cast<std::function<void()>*>(f))();
                  return nullptr;
                },
                &work),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_TRUE(done);
}
