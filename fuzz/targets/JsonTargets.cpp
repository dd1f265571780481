// JSON text and JSON path.
//
// Text: the reader accepts a document or refuses with its documented statuses; the casting reader
// sorts its refusals into the three documented codes and agrees with the plain reader. An accepted
// value is within the depth cap, writes as the value type's own compact text, and reads back equal;
// its copy is equal and weighs the same.
//
// Path: input is a query, optionally followed (after byte 31) by a document. A query compiles or is
// refused with InvalidArgument, never otherwise; a compiled query selects, copies and rewrites within
// its step limit (or throws ResourceExhausted), its three result forms agree in length, and every
// normalized path it reports is itself a query that selects exactly that node.
#include <exception>
#include <string>

#include "base/JsonPath.h"
#include "base/JsonValueUtils.h"
#include "fuzz/FuzzTarget.h"

namespace quarry::fuzz {

namespace {

namespace J = vela::JsonValueUtils;

// Normalized paths checked per input; enough to cover every kind of selector.
constexpr std::size_t kPathsChecked = 16;
// A smaller step limit than the default keeps one input's work bounded.
constexpr std::size_t kSteps = std::size_t{1} << 16;

constexpr std::string_view kDefaultDocument =
    R"({"a":[1,2.5,{"b":"x","c":[true,null]}],"d":{"e":-3,"f":"yz","g":[]},"h":"\u00e9","i":[[0,1],[2]]})";

bool isResourceRefusal(const vela::VelaException& e) {
  return e.whatCode() == static_cast<int>(vela::VelaWhat::ResourceExhausted);
}

} // namespace

int jsonText(const std::uint8_t* bytes, std::size_t size) {
  quietLogging();
  const std::string_view text = asText(bytes, size);
  try {
    nlohmann::json value = 7; // a refusal must leave it untouched
    const vela::Status status = J::readJson(text, value);
    nlohmann::json cast = 7;
    const vela::Status castStatus = J::readJson(text, cast, false);
    if (castStatus.ok() != status.ok())
      fail("the casting reader and the plain reader disagree", text);
    if (!status.ok()) {
      if (status.kind() != vela::StatusEnum::EvaluationError || value != 7)
        fail("the reader refuses with another status or changes its output: " + status.message(), text);
      const vela::StatusEnum k = castStatus.kind();
      if ((k != vela::StatusEnum::InvalidArgument && k != J::kJsonEmptyText) || cast != 7)
        fail("the casting reader refuses with another status: " + castStatus.message(), text);
      return 0;
    }
    if (J::depth(value) > J::kMaxJsonDepth)
      fail("an accepted document is deeper than the cap", text);
    if (J::compare(value, cast) != 0)
      fail("the two readers read different values", text);
    nlohmann::json array = 7;
    const vela::Status arrayStatus = J::readJson(text, array, true);
    if (arrayStatus.ok() != value.is_array() ||
        (!arrayStatus.ok() && arrayStatus.kind() != J::kJsonNotAnArray))
      fail("the array-requiring reader misjudges: " + arrayStatus.message(), text);

    const std::string written = J::writeJson(value);
    if (written != value.dump())
      fail("the writer and the value type's dump differ", text);
    nlohmann::json again;
    const vela::Status reread = J::readJson(written, again);
    if (!reread.ok())
      fail("the written text is refused: " + reread.message(), text);
    if (J::compare(value, again) != 0 || J::writeJson(again) != written)
      fail("the written text reads back as another value", text);
    const nlohmann::json copy = J::copyJson(value);
    if (J::compare(copy, value) != 0 || J::getMemoryUsage(copy) != J::getMemoryUsage(value))
      fail("a copy differs from its original", text);
    std::vector<std::uint8_t> cbor;
    J::writeCbor(value, cbor);
  } catch (const std::exception& e) {
    fail(std::string("the JSON path let escape: ") + e.what(), text);
  }
  return 0;
}

int jsonPath(const std::uint8_t* bytes, std::size_t size) {
  quietLogging();
  const std::string_view input = asText(bytes, size);
  const std::vector<std::string_view> fields = splitFields(input, 2);
  nlohmann::json root;
  if (fields[1].empty() || !J::readJson(fields[1], root).ok())
    root = nlohmann::json::parse(kDefaultDocument);

  vela::JsonPath path;
  try {
    const vela::Status status = vela::JsonPath::tryCompile(fields[0], path);
    if (!status.ok()) {
      if (status.kind() != vela::StatusEnum::InvalidArgument || status.message().empty())
        fail("a query is refused with another status: " + status.message(), input);
      return 0;
    }
  } catch (const std::exception& e) {
    fail(std::string("compiling let escape: ") + e.what(), input);
  }
  if (path.text() != fields[0])
    fail("a compiled query does not keep its text", input);

  try {
    const nlohmann::json matches = path.evaluate(root, kSteps);
    const std::vector<const nlohmann::json*> selected = path.select(root, kSteps);
    const std::vector<std::string> paths = path.normalizedPaths(root, kSteps);
    if (!matches.is_array() || matches.size() != selected.size() || paths.size() != selected.size())
      fail("evaluate, select and normalizedPaths disagree in length", input);
    if (path.isSingular() && selected.size() > 1)
      fail("a singular query selects more than one node", input);
    for (std::size_t k = 0; k < selected.size(); ++k)
      if (J::compare(matches[k], *selected[k]) != 0)
        fail("evaluate and select disagree at match " + std::to_string(k), input);
    for (std::size_t k = 0; k < paths.size() && k < kPathsChecked; ++k) {
      vela::JsonPath normalized;
      const vela::Status status = vela::JsonPath::tryCompile(paths[k], normalized);
      if (!status.ok())
        fail("normalized path " + paths[k] + " does not compile: " + status.message(), input);
      const std::vector<const nlohmann::json*> one = normalized.select(root, kSteps);
      if (!normalized.isSingular() || one.size() != 1 || one[0] != selected[k])
        fail("normalized path " + paths[k] + " does not select its node", input);
    }
    (void)path.replace(root, nlohmann::json("r"), kSteps);
  } catch (const vela::VelaException& e) {
    if (!isResourceRefusal(e))
      fail(std::string("evaluation throws other than ResourceExhausted: ") + e.what(), input);
  } catch (const std::exception& e) {
    fail(std::string("evaluation let escape: ") + e.what(), input);
  }
  return 0;
}

} // namespace quarry::fuzz
