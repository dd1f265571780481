#pragma once
// Operands of the JSON and array op tests: JSON documents given by their text (nullopt: absent),
// loaded as columns or held as program constants by JsonObjects.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/functions/text/TextTestSupport.h"
#include "tests/support/StateLoads.h"

namespace quarry::test {

using Doc = std::optional<std::string>;
inline constexpr int kLoadJson = 227, kLoadArray = 228, kConstJson = 63, kNotNullState = 239;

/// JSON constants owned by a test.
class JsonObjects {
public:
  const nlohmann::json* make(const Doc& text) {
    if (!text)
      return nullptr;
    m_owned.push_back(std::make_unique<nlohmann::json>(nlohmann::json::parse(*text)));
    return m_owned.back().get();
  }

private:
  std::vector<std::unique_ptr<nlohmann::json>> m_owned;
};

/// The compact text of a JSON text (members sorted), as the harness reports JSON results.
inline Doc canon(const Doc& text) {
  return text ? Doc(nlohmann::json::parse(*text).dump()) : std::nullopt;
}
inline std::vector<Doc> canon(const std::vector<Doc>& texts) {
  std::vector<Doc> out;
  for (const Doc& t : texts)
    out.push_back(canon(t));
  return out;
}

} // namespace quarry::test
