// JSON path engine: the public compliance suite, our extensions, error positions, replacement and
// hostile input.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/JsonPath.h"
#include "base/JsonValueUtils.h"
#include "tests/support/Nesting.h"

using nlohmann::json;
using vela::JsonPath;

namespace {

json loadSuite() {
  std::ifstream in(std::string(QUARRY_SOURCE_DIR) + "/tests/data/jsonpath/cts.json");
  std::stringstream text;
  text << in.rdbuf();
  return json::parse(text.str());
}

// Does the document hold an object of two or more members? Our objects keep members sorted by key, so
// only then may our order legitimately differ from the suite's (which follows the text's order).
bool hasMultiMemberObject(const json& v) {
  std::vector<const json*> stack{&v};
  while (!stack.empty()) {
    const json* x = stack.back();
    stack.pop_back();
    if (x->is_object() && x->size() > 1)
      return true;
    if (x->is_structured())
      for (const json& c : *x)
        stack.push_back(&c);
  }
  return false;
}

std::vector<std::string> pairs(const json& values, const std::vector<std::string>& paths) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < values.size(); ++i)
    out.push_back((i < paths.size() ? paths[i] : "?") + " -> " + values[i].dump());
  return out;
}

json run(const std::string& path, const std::string& document) {
  return JsonPath::compile(path).evaluate(json::parse(document));
}

// summarize() (singular queries take their own walk) reports what select() finds.
void expectSummaryOfSelection(const JsonPath& path, const json& doc, const std::string& label) {
  const std::vector<const json*> nodes = path.select(doc);
  const JsonPath::MatchSummary summary = path.summarize(doc);
  EXPECT_EQ(summary.count, nodes.size()) << label;
  EXPECT_EQ(summary.first, nodes.empty() ? nullptr : nodes.front()) << label;
  EXPECT_EQ(path.exists(doc), !nodes.empty()) << label;
}

std::string compileError(const std::string& path) {
  JsonPath p;
  return JsonPath::tryCompile(path, p).message();
}

} // namespace

TEST(JsonPath, ComplianceSuite) {
  const json suite = loadSuite();
  std::size_t passed = 0;
  for (const json& c : suite.at("tests")) {
    const std::string name = c.at("name");
    const std::string selector = c.at("selector");
    JsonPath path;
    const vela::Status status = JsonPath::tryCompile(selector, path);
    if (c.value("invalid_selector", false)) {
      EXPECT_FALSE(status.ok()) << name << ": " << selector;
      passed += !status.ok();
      continue;
    }
    if (!status.ok()) {
      ADD_FAILURE() << name << ": " << selector << ": " << status.message();
      continue;
    }
    const json& document = c.at("document");
    const json got = path.evaluate(document);
    const std::vector<std::string> gotPaths = path.normalizedPaths(document);
    ASSERT_EQ(got.size(), gotPaths.size()) << name;
    expectSummaryOfSelection(path, document, name);
    std::vector<std::pair<json, json>> options; // (values, paths)
    if (c.contains("result"))
      options.emplace_back(c.at("result"), c.at("result_paths"));
    else
      for (std::size_t i = 0; i < c.at("results").size(); ++i)
        options.emplace_back(c.at("results")[i], c.at("results_paths")[i]);
    const bool anyOrder = hasMultiMemberObject(document);
    std::vector<std::string> gotPairs = pairs(got, gotPaths);
    if (anyOrder)
      std::sort(gotPairs.begin(), gotPairs.end());
    bool ok = false;
    for (const auto& [values, paths] : options) {
      std::vector<std::string> want = pairs(values, paths.get<std::vector<std::string>>());
      if (anyOrder)
        std::sort(want.begin(), want.end());
      ok = ok || want == gotPairs;
    }
    EXPECT_TRUE(ok) << name << ": " << selector << "\n got " << ::testing::PrintToString(gotPairs)
                    << "\n want " << c.value("result", c.value("results", json())).dump();
    passed += ok;
  }
  std::cout << "compliance: " << passed << " passed of " << suite.at("tests").size() << "\n";
}

TEST(JsonPath, ExtensionsAndNumberSemantics) {
  const std::string people = R"([{"n":"Bob","xs":[1,2,3],"v":-3,"s":"a,b;c"},
                                 {"n":"alice","xs":[1.5,2.5],"v":2.5,"s":""},
                                 {"n":"Carl","xs":[],"v":"7","s":"x"}])";
  // clang-format off
  const struct { const char* path; std::string document; const char* expected; } cases[] = {
      {"$[?sum(@.xs) == 6].n", people, R"(["Bob"])"},
      {"$[?sum(@.xs) == 0].n", people, R"(["Carl"])"},                    // the empty sum
      {"$[?avg(@.xs) == 2].n", people, R"(["Bob","alice"])"},
      {"$[?avg(@.xs) < 99].n", people, R"(["Bob","alice"])"},             // no mean of nothing
      {"$[?min(@.xs) == 1].n", people, R"(["Bob"])"},
      {"$[?max(@.xs) >= 2.5].n", people, R"(["Bob","alice"])"},
      {"$[?abs(@.v) == 3].n", people, R"(["Bob"])"},
      {"$[?ceil(@.v) == 3].n", people, R"(["alice"])"},
      {"$[?floor(@.v) == 2].n", people, R"(["alice"])"},
      {"$[?to_number(@.v) == 7].n", people, R"(["Carl"])"},
      {"$[?@.n =~ /^b/i].n", people, R"(["Bob"])"},
      {"$[?@.n =~ /l/].n", people, R"(["alice","Carl"])"},
      {"$[?@.v =~ /7/].n", people, R"(["Carl"])"},                        // strings only
      {"$[?@.n =~ /a\\/b|^C/].n", people, R"(["Carl"])"},                  // \/ is a slash
      {"$[?starts_with(@.n, 'C')].n", people, R"(["Carl"])"},
      {"$[?ends_with(@.n, 'e')].n", people, R"(["alice"])"},
      {"$[?contains(@.xs, 2)].n", people, R"(["Bob"])"},
      {"$[?contains(@.xs, 2.5)].n", people, R"(["alice"])"},
      {"$[?contains(@.n, 'li')].n", people, R"(["alice"])"},
      {"$[?length(tokenize(@.s, '[,;]')) == 3].n", people, R"(["Bob"])"},
      {"$[?length(tokenize(@.s, 'z*')) == 1].n", people, R"(["Bob","alice","Carl"])"}, // empty matches
      {"$[?min(keys(@)) == 'n'].n", people, R"(["Bob","alice","Carl"])"},
      {"$[?max(@) == 'z']", R"([["a","z","m"],["a",1],[]])", R"([["a","z","m"]])"},
      {"$[?to_number(@) == 10]", R"(["1e1"," 10","10 ","10x","010",true,10.0])", R"(["1e1",10.0])"},
      // sums leave the integers when they overflow; |INT64_MIN| is 2^63
      {"$[?sum(@) == 9223372036854775808]", "[[9223372036854775807,1],[9223372036854775807]]",
       "[[9223372036854775807,1]]"},
      {"$[?abs(@) == 9223372036854775808]", "[-9223372036854775808,9223372036854775807]",
       "[-9223372036854775808]"},
      // numbers compare exactly by value, whatever their kinds
      {"$[?@ == 1]", R"([1,1.0,true,"1",[1]])", "[1,1.0]"},
      {"$[?@ == 9007199254740993]", "[9007199254740993,9007199254740992.0]", "[9007199254740993]"},
      {"$[?@ < 9007199254740993]", "[9007199254740993,9007199254740992.0]", "[9007199254740992.0]"},
      {"$[?@ > -1]", "[18446744073709551615,-2,0.5]", "[18446744073709551615,0.5]"},
      {"$[?@ == 18446744073709551615]", "[18446744073709551615,1.8446744073709552e19]",
       "[18446744073709551615]"},
      {"$[?@.a == @.b]", R"([{"a":[1,{"x":2}],"b":[1.0,{"x":2.0}]},{"a":[1],"b":[1,1]}])",
       R"([{"a":[1,{"x":2}],"b":[1.0,{"x":2.0}]}])"},
  };
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(run(c.path, c.document), json::parse(c.expected)) << c.path;
  // NaN is unequal even to itself, and unordered
  const json withNan = json::array({std::nan(""), 1});
  EXPECT_EQ(JsonPath::compile("$[?@ == @]").evaluate(withNan), json::parse("[1]"));
  EXPECT_EQ(JsonPath::compile("$[?@ < 2 || @ >= 2]").evaluate(withNan), json::parse("[1]"));
}

TEST(JsonPath, CompileErrorsNameTheFaultAndItsPosition) {
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"", "Expected '$' at position 1"},
      {" $", "Expected '$' at position 1"},
      {"$[0", "Expected ']' at position 4"},
      {"$[0 2]", "Expected ']' at position 5"},
      {"$['a", "Unterminated string at position 3"},
      {"$['\\x']", "Invalid escape sequence at position 4"},
      {"$[\"\\uD800\"]", "Invalid escape sequence at position 4"},
      {"$.\xe2\x98\xba.&", "Expected member name or '*' after '.' at position 5"}, // characters, not bytes
      {"$..", "Expected member name, '*' or '[' after '..' at position 4"},
      {"$.a ", "Unexpected ' ' at position 4"},
      {"$[9007199254740992]", "Integer out of range at position 3"},
      {"$[-0]", "Invalid integer at position 3"},
      {"$[?@.a == 1 &&]", "Expected an expression at position 15"},
      {"$[?@.a == 1.]", "Invalid number at position 11"},
      {"$[?foo(@)]", "Unknown function 'foo' at position 4"},
      {"$[?True]", "Expected an expression at position 4"},
      {"$[?nul == 1]", "Unknown name 'nul' at position 4"},
      {"$[?true]", "A literal must be compared at position 4"},
      {"$[?count(@.*)]", "The result of 'count' must be compared at position 4"},
      {"$[?match(@, 'a') == true]", "The result of 'match' cannot be compared at position 4"},
      {"$[?@.* == 1]", "A query in a comparison must be singular at position 4"},
      {"$[?length(@.*) > 1]", "Argument 1 of 'length' must be a literal, a singular query or a value function at position 11"},
      {"$[?count(1) > 1]", "Argument 1 of 'count' must be a query at position 10"},
      {"$[?count(@.a, @.b) == 1]", "Function 'count' takes 1 argument at position 4"},
      {"$[?!1]", "Expected a query or a function after '!' at position 5"},
      {"$[?length((@.a)) == 1]", "Argument 1 of 'length' must be a literal, a singular query or a value function at position 12"},
      {"$[?(@.a) == 1]", "Expected ']' at position 10"},
      {"$[?(1)]", "A literal must be compared at position 5"},
      {"$[?@ =~ /a/g]", "Unknown regular expression flag at position 12"},
      {"$[?@ =~ /a]", "Unterminated regular expression at position 9"},
      {"$[?@ =~ 'a']", "Expected '/' at position 9"},
  };
  // clang-format on
  for (const auto& [path, message] : cases)
    EXPECT_EQ(compileError(path), message) << path;
  const std::string bad = compileError("$[?@ =~ /(/]");
  EXPECT_EQ(bad.rfind("Invalid regular expression (", 0), 0u) << bad;
  EXPECT_TRUE(bad.ends_with(") at position 9")) << bad;
  // The throwing form carries the same message and status.
  try {
    JsonPath::compile("$[0");
    ADD_FAILURE() << "no exception";
  } catch (const vela::VelaException& e) {
    EXPECT_EQ(e.whatCode(), static_cast<int>(vela::VelaWhat::Evaluation));
    EXPECT_STREQ(e.what(), "Expected ']' at position 4");
    ASSERT_TRUE(e.status().has_value());
    EXPECT_EQ(e.status()->kind(), vela::StatusEnum::InvalidArgument);
  }
  // A refused text leaves the target as it was.
  JsonPath kept = JsonPath::compile("$.a");
  EXPECT_FALSE(JsonPath::tryCompile("$[", kept).ok());
  EXPECT_EQ(kept.text(), "$.a");
  EXPECT_TRUE(kept.isSingular());
  EXPECT_FALSE(JsonPath::compile("$..a").isSingular());
}

TEST(JsonPath, RegexFunctionsFollowIRegexp) {
  // Each pattern against the same texts; "1" marks a full match (match) / a match anywhere (search).
  const json texts = json::parse(R"(["ab","a\nb","a.b","a^","\u00e9","Ab","aab"])");
  // clang-format off
  const struct { const char* pattern; const char* match; const char* search; } cases[] = {
      {"a.b",       "0010001", "0010001"},
      {"a[^a]b",    "0110000", "0110000"},  // '.' is any character but CR and LF, a negated class any
      {"a\\\\.b",   "0010000", "0010000"},
      {"\\\\p{Ll}", "0000100", "1111111"},
      {"a{2}b",     "0000001", "0000001"},
      {"(a|A)b",    "1000010", "1000011"},
      {"^a",        "0000000", "1111001"},
      {"b$",        "0000000", "1110011"},
      {"a\\\\^",    "0001000", "0001000"},  // an escaped '^' is a character
      {"a\\\\$",    "0000000", "0000000"},  // '$' has no escape in I-Regexp: never matches
      {"\\\\d",     "0000000", "0000000"},  // nor do other patterns outside I-Regexp
      {"a**",       "0000000", "0000000"},
      {"[b-a]",     "0000000", "0000000"},
      {"(a",        "0000000", "0000000"},
  };
  // clang-format on
  for (const auto& c : cases) {
    for (const char* fn : {"match", "search"}) {
      const std::string flags = std::string(fn) == "match" ? c.match : c.search;
      json expected = json::array();
      for (std::size_t i = 0; i < texts.size(); ++i)
        if (flags[i] == '1')
          expected.push_back(texts[i]);
      const std::string literal = std::string("$[?") + fn + "(@, '" + c.pattern + "')]";
      EXPECT_EQ(JsonPath::compile(literal).evaluate(texts), expected) << literal;
      // The same pattern taken from the document goes through the run-time path.
      json doc = {{"p", json::parse(std::string("\"") + c.pattern + "\"")}, {"t", texts}};
      const std::string dynamic = std::string("$.t[?") + fn + "(@, $.p)]";
      EXPECT_EQ(JsonPath::compile(dynamic).evaluate(doc), expected) << dynamic << " " << c.pattern;
    }
  }
}

TEST(JsonPath, ReplaceAndPaths) {
  // clang-format off
  const struct { const char* path; const char* document; const char* replacement; const char* expected; } cases[] = {
      {"$.a", R"({"a":1,"b":2})", R"("x")", R"({"a":"x","b":2})"},
      {"$..b", R"({"b":{"b":1},"c":[{"b":2}]})", "0", R"({"b":0,"c":[{"b":0}]})"}, // inner match goes with the outer
      {"$", "[1]", R"({"k":[]})", R"({"k":[]})"},
      {"$[?@ > 1]", "[1,2,3]", "null", "[1,null,null]"},
      {"$[0,0,-1]", "[1,2,3]", "[7]", "[[7],2,[7]]"},
      {"$.zz", R"({"a":[1]})", "5", R"({"a":[1]})"},
  };
  // clang-format on
  for (const auto& c : cases) {
    const json document = json::parse(c.document);
    EXPECT_EQ(JsonPath::compile(c.path).replace(document, json::parse(c.replacement)),
              json::parse(c.expected))
        << c.path;
    EXPECT_EQ(document, json::parse(c.document)) << "the input is not modified";
  }
  const json keys = {{"a'\\\n\x01", 1}, {"b", json::array({0, 1})}};
  EXPECT_EQ(JsonPath::compile("$..*").normalizedPaths(keys),
            (std::vector<std::string>{"$['a\\'\\\\\\n\\u0001']", "$['b']", "$['b'][0]", "$['b'][1]"}));
  // select gives the nodes themselves, in evaluate's order.
  const std::vector<const json*> nodes = JsonPath::compile("$.b[1,0]").select(keys);
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(nodes[0], &keys["b"][1]);
  EXPECT_EQ(nodes[1], &keys["b"][0]);
  // An empty expression matches nothing and replaces nothing.
  EXPECT_EQ(JsonPath().evaluate(keys), json::array());
  EXPECT_EQ(JsonPath().replace(keys, 1), keys);
}

TEST(JsonPath, SummariesReadMatchesInPlace) {
  json doc = {{"a", json::array()}, {"b", {{"c", 1}}}};
  for (int i = 0; i < 100; ++i)
    doc["a"].push_back(i);
  // evaluate() charges a step for every node it copies; a summary copies nothing
  EXPECT_THROW(JsonPath::compile("$.a").evaluate(doc, 50), vela::VelaException);
  const JsonPath::MatchSummary whole = JsonPath::compile("$.a").summarize(doc, 50);
  EXPECT_EQ(whole.count, 1u);
  EXPECT_EQ(whole.first, &doc["a"]);
  // ...but every node selected still counts
  EXPECT_THROW(JsonPath::compile("$.a[*]").summarize(doc, 50), vela::VelaException);
  EXPECT_EQ(JsonPath::compile("$.a[*]").summarize(doc, 101).count, 100u);
  EXPECT_EQ(JsonPath::compile("$").summarize(doc).first, &doc);
  EXPECT_EQ(JsonPath::compile("$.a[-1]").summarize(doc).first, &doc["a"][99]);
  for (const char* none : {"$.a[100]", "$.a[-101]", "$.b.c.d", "$.b[0]", "$.a.c", "$.zz"})
    EXPECT_EQ(JsonPath::compile(none).summarize(doc).count, 0u) << none;
  EXPECT_EQ(JsonPath().summarize(doc).count, 0u);
  // exists() stops at its first match: within a limit the full selection exceeds
  EXPECT_TRUE(JsonPath::compile("$.a[?@ > 1]").exists(doc, 10));
  EXPECT_THROW(JsonPath::compile("$.a[?@ > 1]").summarize(doc, 10), vela::VelaException);
  EXPECT_TRUE(JsonPath::compile("$..[?@ == 99]").exists(doc));
  EXPECT_FALSE(JsonPath::compile("$.a[?@ > 99]").exists(doc));
  EXPECT_FALSE(JsonPath().exists(doc));
}

// `@ <op> literal` takes a direct comparison for same-kind scalars; the general comparison (reached
// through value(@), a function operand) is the reference, for every pair of kinds, both ways round.
TEST(JsonPath, DirectComparisonsAgreeWithTheGeneralOnes) {
  json values = json::parse(R"([0, -1, 1, 2, 9223372036854775807, -9223372036854775808,
      18446744073709551615, 0.5, -0.0, 1.0, 2.0, 1e300, "", "a", "b", "ab", "é", true, false, null,
      [], [1], {}, {"a": 1}])");
  values.push_back(std::numeric_limits<double>::quiet_NaN());
  const char* literals[] = {
      "1",   "-1",   "0",  "2.0",  "0.5", "-0.0", "18446744073709551615", "9223372036854775807",
      "'a'", "'ab'", "''", "true", "null"};
  for (const char* op : {"==", "!=", "<", "<=", ">", ">="})
    for (const char* lit : literals) {
      const std::string o = op, l = lit;
      for (const auto& [direct, general] :
           {std::pair{"$[?@ " + o + " " + l + "]", "$[?value(@) " + o + " " + l + "]"},
            std::pair{"$[?" + l + " " + o + " @]", "$[?" + l + " " + o + " value(@)]"}}) {
        const std::vector<const json*> want = JsonPath::compile(general).select(values);
        EXPECT_EQ(JsonPath::compile(direct).select(values), want) << direct;
        EXPECT_EQ(JsonPath::compile(direct).exists(values), !want.empty()) << direct;
      }
    }
}

TEST(JsonPath, SlicesAndIndexesAtTheirBounds) {
  const std::string ten = "[0,1,2,3,4,5,6,7,8,9]";
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {"$[::9007199254740991]", "[0]"}, {"$[::-9007199254740991]", "[9]"},
      {"$[-9007199254740991:9007199254740991:3]", "[0,3,6,9]"},
      {"$[9007199254740991:-9007199254740991:-4]", "[9,5,1]"}, {"$[-11]", "[]"}, {"$[10]", "[]"},
      {"$[-10,9007199254740991,-9007199254740991]", "[0]"},
  };
  // clang-format on
  for (const auto& [path, expected] : cases)
    EXPECT_EQ(run(path, ten), json::parse(expected)) << path;
}

TEST(JsonPath, HostileInputGivesErrorsOrResults) {
  using quarry::test::nestedText;
  const std::size_t limit = JsonPath::kMaxNesting;
  // Nesting at the limit compiles and runs; one level more is refused, for each kind of nesting.
  // clang-format off
  // Results on a document as deep as the expression: 255 negations of true are false, the length of
  // a length is Nothing, the innermost filter finds a node at every level.
  const struct { std::string open, inner, close; std::size_t matches; } kinds[] = {
      {"(", "@", ")", 1}, {"!(", "@", ")", 0}, {"length(", "@", ")", 0}, {"@[?", "@", "]", 1},
  };
  // clang-format on
  for (const auto& k : kinds) {
    // the filter itself is one level
    const std::string ok =
        "$[?" + nestedText(limit - 1, k.open, k.inner, k.close) + (k.open == "length(" ? "==1]" : "]");
    const std::string deep =
        "$[?" + nestedText(limit, k.open, k.inner, k.close) + (k.open == "length(" ? "==1]" : "]");
    bool done = quarry::test::runOnSmallStack([&] {
      JsonPath p;
      EXPECT_TRUE(JsonPath::tryCompile(ok, p).ok()) << k.open;
      // a document as deep as the expression, so that evaluation recurses through every level
      EXPECT_EQ(p.evaluate(quarry::test::deepJsonArray(JsonPath::kMaxNesting + 2)).size(), k.matches)
          << k.open;
      const vela::Status status = JsonPath::tryCompile(deep, p);
      EXPECT_EQ(status.message().rfind("Nesting deeper than 256 levels at position ", 0), 0u)
          << status.message();
    });
    EXPECT_TRUE(done);
  }
  // Garbage of every kind: refused, never a crash.
  for (const char* text :
       {"$[", "$['", "$[\"\\u", "$[\"\\uD834\\u", "$[?", "$[?(", "$[?@.a=='", "$[?@ =~ /abc", "\xff",
        "$.\xff", "$[\"\xc3\"]", "$[9223372036854775808]", "$[-9223372036854775809]",
        "$[::18446744073709551616]", "$[?length(", "$[?count(@,", "$)"}) {
    JsonPath p;
    EXPECT_FALSE(JsonPath::tryCompile(text, p).ok()) << text;
  }
  // Overflowing literals are infinities, not faults.
  EXPECT_EQ(run("$[?@ < 1e99999 && @ > -1e99999 && @ != 1e-99999]", "[0,2]"), json::parse("[2]"));
  // Documents deeper than any reader accepts are walked without recursion.
  const json deep = quarry::test::deepJsonArray(100000);
  const JsonPath innermost = JsonPath::compile("$..[?length(@) == 0]");
  EXPECT_EQ(innermost.evaluate(deep), json::parse("[[]]"));
  const json replaced = innermost.replace(deep, 5);
  EXPECT_EQ(vela::JsonValueUtils::depth(replaced), 99999u);
  // Work is bounded: a union that multiplies nodes, copies of deep matches, copies of a replacement.
  const auto exhausted = [](const std::function<void()>& f) {
    try {
      f();
    } catch (const vela::VelaException& e) {
      return e.whatCode() == static_cast<int>(vela::VelaWhat::ResourceExhausted);
    }
    return false;
  };
  const json nested = json::parse("[[[[[[[[1]]]]]]]]");
  EXPECT_TRUE(exhausted(
      [&] { JsonPath::compile("$" + nestedText(8, "[0,0,0,0,0,0,0,0,0,0]", "", "")).evaluate(nested); }));
  EXPECT_TRUE(
      exhausted([&] { JsonPath::compile("$..*").evaluate(quarry::test::deepJsonArray(2000), 100000); }));
  EXPECT_TRUE(exhausted([&] {
    JsonPath::compile("$..*").replace(json(std::vector<int>(1000)), json(std::vector<int>(1000)), 100000);
  }));
  EXPECT_TRUE(exhausted([&] { JsonPath::compile("$[*]").evaluate(json(std::vector<int>(20)), 10); }));
  EXPECT_EQ(JsonPath::compile("$[*]").evaluate(json(std::vector<int>(4)), 8), json(std::vector<int>(4)));
}

TEST(JsonPath, SlicesAgreeWithAMembershipModel) {
  // An index belongs to a slice when it lies between the clamped bounds and is a whole number of steps
  // from the first bound; the order is the step's direction. This is a different formulation from the
  // engine's loop, so the two only agree when both are right.
  const auto model = [](std::int64_t len, std::optional<std::int64_t> start, std::optional<std::int64_t> end,
                        std::int64_t step) {
    json out = json::array();
    if (step == 0)
      return out;
    const auto norm = [len](std::int64_t i) { return i < 0 ? len + i : i; };
    std::vector<std::int64_t> picked;
    for (std::int64_t i = 0; i < len; ++i) {
      if (step > 0) {
        const std::int64_t lo = std::max<std::int64_t>(0, start ? norm(*start) : 0);
        const std::int64_t hi = std::min(len, end ? norm(*end) : len);
        if (i >= lo && i < hi && (i - lo) % step == 0)
          picked.push_back(i);
      } else {
        const std::int64_t hi = std::min(len - 1, start ? norm(*start) : len - 1);
        const std::int64_t lo = std::max<std::int64_t>(-1, end ? norm(*end) : -1);
        if (i > lo && i <= hi && (hi - i) % -step == 0)
          picked.push_back(i);
      }
    }
    if (step < 0)
      std::reverse(picked.begin(), picked.end());
    for (const std::int64_t i : picked)
      out.push_back(i);
    return out;
  };
  const auto text = [](std::optional<std::int64_t> v) { return v ? std::to_string(*v) : std::string(); };
  for (const std::int64_t len : {0, 1, 5, 8}) {
    json array = json::array();
    for (std::int64_t i = 0; i < len; ++i)
      array.push_back(i);
    for (int s = -10; s <= 10; ++s) {
      for (int e = -10; e <= 10; ++e) {
        for (int step = -4; step <= 4; ++step) {
          const std::optional<std::int64_t> start = s == 10 ? std::nullopt : std::optional<std::int64_t>(s);
          const std::optional<std::int64_t> end = e == 10 ? std::nullopt : std::optional<std::int64_t>(e);
          const std::string path =
              "$[" + text(start) + ":" + text(end) + (step == 1 ? "" : ":" + std::to_string(step)) + "]";
          ASSERT_EQ(JsonPath::compile(path).evaluate(array), model(len, start, end, step))
              << path << " len " << len;
        }
      }
    }
  }
}

TEST(JsonPath, DocumentOrderAndCodePoints) {
  // Members in key order, a node before its descendants, arrays in element order.
  const json doc = json::parse(R"({"b":[1,{"a":2}],"a":3})");
  const JsonPath all = JsonPath::compile("$..*");
  EXPECT_EQ(all.evaluate(doc), json::parse(R"([3,[1,{"a":2}],1,{"a":2},2])"));
  EXPECT_EQ(all.normalizedPaths(doc),
            (std::vector<std::string>{"$['a']", "$['b']", "$['b'][0]", "$['b'][1]", "$['b'][1]['a']"}));
  // characters, not bytes; then code point order
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"$[?length(@) == 2]", R"(["\u00e9\ud83d\ude00","ab","abc",[1,2],{"a":1,"b":2},2])",
       R"(["\u00e9\ud83d\ude00","ab",[1,2],{"a":1,"b":2}])"},
      {"$[?@ > 'z']", R"(["\u00e9","z","a","\ud83d\ude00","\uffff"])",
       R"(["\u00e9","\ud83d\ude00","\uffff"])"},
      {"$[?@ < '\uffff']", R"(["\ud83d\ude00","\uffff","\u00e9"])", R"(["\u00e9"])"},
  };
  for (const auto& [path, document, expected] : cases)
    EXPECT_EQ(run(path, document), json::parse(expected)) << path;
}

TEST(JsonPath, SharedExpressionsServeManyThreads) {
  // Patterns included; each thread has its own document and its own answer.
  const JsonPath path = JsonPath::compile("$[?match(@.s, 'a.c') || @.n > $.limit].n");
  std::vector<json> answers(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      json doc = {{"limit", 100 + t}};
      for (int i = 0; i < 200; ++i)
        doc[std::to_string(1000 + i)] = {{"n", i}, {"s", i == t ? "abc" : "abd"}};
      for (int round = 0; round < 20; ++round)
        answers[t] = path.evaluate(doc);
    });
  }
  for (std::thread& th : threads)
    th.join();
  for (int t = 0; t < 4; ++t) {
    json expected = json::array({t});
    for (int i = 101 + t; i < 200; ++i)
      expected.push_back(i);
    EXPECT_EQ(answers[t], expected) << t;
  }
}

TEST(JsonPath, RandomTextsCompileOrFailWithAPosition) {
  // Queries from the grammar, one in two damaged: the position is inside the text or just past it.
  std::mt19937 random(12345);
  const auto pick = [&](std::initializer_list<const char*> options) {
    return std::string(options.begin()[random() % options.size()]);
  };
  std::function<std::string(int)> query, expr;
  const auto comparable = [&](int depth) {
    switch (random() % 4) {
    case 0:
      return pick({"1", "-2.5e1", "'a'", "\"x\"", "true", "null"});
    case 1:
      return pick({"@", "@.a", "@[0]", "$.b.a", "@['b']"});
    case 2:
      return pick({"length(", "abs(", "value("}) + (depth > 0 ? query(depth - 1) : "@.a") + ")";
    default:
      return pick({"count(@.*)", "count(@..a)", "sum(@.a)", "min(keys(@))"});
    }
  };
  expr = [&](int depth) -> std::string {
    switch (depth <= 0 ? random() % 2 : random() % 6) {
    case 0:
      return query(depth - 1);
    case 1:
      return comparable(depth) + pick({"==", "!=", "<", ">=", " =~ /a/i"}) + comparable(depth);
    case 2:
      return random() % 2 == 0 ? std::string("!@.a") : "!(" + expr(depth - 1) + ")";
    case 3:
      return expr(depth - 1) + pick({" && ", "||"}) + expr(depth - 1);
    case 4:
      return pick({"match(", "search(", "starts_with("}) + comparable(depth - 1) + ", 'a.*')";
    default:
      return "(" + expr(depth - 1) + ")";
    }
  };
  query = [&](int depth) -> std::string {
    std::string q = pick({"$", "@"});
    for (std::size_t n = random() % 4; n > 0; --n) {
      switch (random() % 4) {
      case 0:
        q += pick({".a", ".*", "..a", "..*", ".b"});
        break;
      case 1:
        q += pick({"[0]", "[-1]", "['a','b']", "[1:]", "[::-1]", "[*, 0]"});
        break;
      default:
        q += pick({"[", "..["}) + "?" + (depth > 0 ? expr(depth - 1) : "@") + "]";
      }
    }
    return q;
  };
  const char* damage[] = {"]", "[", "(", ")", "'", "\"", "\\",       "?",
                          ",", ":", "=", "!", "$", "/",  "\xc3\xa9", " "};
  const json doc = json::parse(R"({"a":[1,{"a":[2,"x"],"b":null}],"b":{"a":"abc"}})");
  std::size_t compiled = 0;
  for (int n = 0; n < 5000; ++n) {
    std::string text = query(3);
    text[0] = '$';
    if (random() % 2 == 0) {
      const std::size_t at = random() % text.size();
      if (random() % 2 == 0)
        text.erase(at, 1);
      else
        text.insert(at, damage[random() % std::size(damage)]);
    }
    JsonPath p;
    const vela::Status status = JsonPath::tryCompile(text, p);
    if (status.ok()) {
      ++compiled;
      EXPECT_TRUE(p.evaluate(doc).is_array()) << text;
      EXPECT_EQ(p.normalizedPaths(doc).size(), p.select(doc).size()) << text;
      expectSummaryOfSelection(p, doc, text);
      continue;
    }
    const std::string& m = status.message();
    const std::size_t at = m.rfind(" at position ");
    ASSERT_NE(at, std::string::npos) << text << ": " << m;
    const long position = std::stol(m.substr(at + 13));
    EXPECT_GE(position, 1) << text;
    EXPECT_LE(static_cast<std::size_t>(position), text.size() + 1) << text << ": " << m;
  }
  // Both sides are reached.
  EXPECT_GT(compiled, 1500u);
  EXPECT_LT(compiled, 4500u);
}
