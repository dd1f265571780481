#pragma once
// Operands of the vector tests: Vec, a float vector (nullopt: null) loaded from a vector column or
// given as a program constant, for expectObjectTable. Vector results are compared by their raw bytes.
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cuda/ManagedObjects.h"
#include "tests/functions/text/TextTestSupport.h"

namespace quarry::test {

using Vec = std::optional<std::vector<float>>;
inline constexpr TypedRpnOp kLoadVector = 232, kConstVector = 65;
template <>
struct Storage<Vec> : Codes<kLoadVector, kConstVector> {};

/// The raw bytes of a vector, as the harness reports vector results; nullopt for null.
inline Str bytesOf(const Vec& v) {
  if (!v)
    return std::nullopt;
  return std::string(reinterpret_cast<const char*>(v->data()), v->size() * sizeof(float));
}

/// Vector objects owned by a test (the constants of its programs).
class VectorObjects {
public:
  const InlineBuffer<float>* make(const Vec& v) {
    if (!v)
      return nullptr;
    InlineBuffer<float>* b = InlineBuffer<float>::allocate(v->size());
    if (!v->empty())
      std::memcpy(b->data(), v->data(), v->size() * sizeof(float));
    m_owned.emplace_back(b);
    return b;
  }

private:
  struct Free {
    void operator()(InlineBuffer<float>* b) const { InlineBuffer<float>::deallocate(b); }
  };
  std::vector<std::unique_ptr<InlineBuffer<float>, Free>> m_owned;
};

/// Vector operands and results of expectObjectTable; results compared by their bytes.
template <>
struct TableType<Vec> {
  static void constant(Program& p, std::vector<std::shared_ptr<void>>& keep, const Vec& v) {
    auto objects = std::make_shared<VectorObjects>();
    p.pointerConstant(kConstVector, objects->make(v));
    keep.push_back(objects);
  }
  static void column(HarnessCase& c, const std::vector<Vec>& v) { c.addVectorColumn(v); }
  static void expect(HarnessCase& c, const std::vector<Vec>& v, const std::vector<State>& s,
                     rpn_eval_result_t code) {
    std::vector<Str> bytes;
    for (const Vec& x : v)
      bytes.push_back(bytesOf(x));
    c.expectStrings(bytes, s, code);
  }
};

} // namespace quarry::test
