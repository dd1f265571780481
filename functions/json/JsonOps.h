#pragma once
// Shared pieces of the JSON and array ops (String family): cell types, the op shapes with JSON results,
// and the per-batch cache of compiled path expressions.
//
// Results. A new JSON value is built in place, wrapped in a ManagedJsonValue on the default pool
// (charged getMemoryUsage + 16 bytes once it is a node) and released into the row's EvalOutputJson; a
// refused reservation passes on as its exception and the op's entries free what they hold. A result
// that is one of the op's JSON inputs unchanged is never copied: the functor stores the input's pointer
// (writeInput) and the shape settles its ownership after the batch (checkObjectMove).
//
// Absent operands. A null JSON pointer is SQL NULL. Ops without row states write a null result (or
// their zero value) for it, and the program's state ops make the row null.

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "base/JsonPath.h"
#include "base/JsonValueUtils.h"
#include "cuda/VectorEvalObjects.h"

namespace vela::cuda::jsonops {

using JsonCell = const JsonValue*;
using StringCell = const InlineBuffer<char>*;
using Bool = std::uint8_t;
using State = rpn_eval_result_t;

inline std::string_view textOf(StringCell s) {
  return s == nullptr ? std::string_view() : s->view();
}

/// Stores a value built by the op, charged to the default pool.
inline void writeValue(EvalOutputJson& out, JsonValue&& value) {
  ManagedJsonValue managed(std::move(value));
  out.write(managed);
}

namespace detail {
template <class E, class In, class Out>
void settleJson(E& e, In& in, Out& out) {
  if constexpr (std::is_same_v<typename In::value_type, JsonCell> &&
                std::is_same_v<typename Out::value_type, EvalOutputJson>)
    e.checkObjectMove(in, out);
}
} // namespace detail

/// Pops In... (push order, the last on top), runs F, `void(EvalOutputJson, In...)`, over the rows and
/// pushes its values; JSON operands returned unchanged are then settled (checkObjectMove).
template <class F, class... In>
struct JsonResultOp {
  template <class E>
  static void eval(E& e) {
    auto inputs = eval_handler_detail::popOperands<E, In...>(e);
    auto out = e.template prepareOutput<EvalOutputJson>();
    const F f = makeFunctor<F>(e);
    std::apply([&](auto&... in) { e.runKernel(f, out, in...); }, inputs);
    std::apply([&](auto&... in) { (detail::settleJson(e, in, out), ...); }, inputs);
    e.push(std::move(out));
  }
};

/// As JsonResultOp for `void(EvalOutputJson, In..., State&)`; pushes the states, then the values.
template <class F, class... In>
struct JsonResultOpWithState {
  template <class E>
  static void eval(E& e) {
    auto inputs = eval_handler_detail::popOperands<E, In...>(e);
    auto states = e.template prepareOutput<State>();
    auto out = e.template prepareOutput<EvalOutputJson>();
    const F f = makeFunctor<F>(e);
    std::apply([&](auto&... in) { e.runKernelWithState(f, out, states, in...); }, inputs);
    std::apply([&](auto&... in) { (detail::settleJson(e, in, out), ...); }, inputs);
    e.push(std::move(states));
    e.push(std::move(out));
  }
};

/// Look-ahead for functors whose first input is a document (see Prefetching in VectorEvalDispatch.h):
/// a document's value, then its top-level container, then the first node a member lookup reads (the
/// root of an object's tree; an array's first elements) are asked for a few rows before the row needs
/// them, since a column of documents is a column of pointers into scattered heap memory.
struct PrefetchesDocument {
  template <class... Rest>
  void prefetch(PrefetchFar, JsonCell doc, const Rest&...) const {
    if (doc != nullptr)
      __builtin_prefetch(doc);
  }
  template <class... Rest>
  void prefetch(PrefetchMid, JsonCell doc, const Rest&...) const {
    if (doc == nullptr)
      return;
    if (doc->is_object())
      __builtin_prefetch(&doc->get_ref<const JsonValue::object_t&>());
    else if (doc->is_array())
      __builtin_prefetch(&doc->get_ref<const JsonValue::array_t&>());
  }
  template <class... Rest>
  void prefetch(PrefetchNear, JsonCell doc, const Rest&...) const {
    if (doc == nullptr)
      return;
    if (doc->is_object()) {
#if defined(__GLIBCXX__)
      // The tree's header node (inside the map object) points at the root, where a lookup starts.
      __builtin_prefetch(doc->get_ref<const JsonValue::object_t&>().end()._M_node->_M_parent);
#endif
    } else if (doc->is_array()) {
      __builtin_prefetch(doc->get_ref<const JsonValue::array_t&>().data());
    }
  }
};

/// The compiled form of the last path text met in a batch. A functor holding one is built per batch
/// and used by one thread, so a constant path is compiled once per batch and a column of paths once
/// per change of text. A path that does not compile is remembered with its message.
class PathCache {
public:
  /// As get(text) for a path cell. The same cell as last time is the same text (a kernel's inputs do
  /// not change while it runs, and a cache lives for one kernel run), so a constant path skips even
  /// the text comparison.
  const JsonPath* get(StringCell cell, std::string& error) const {
    if (m_filled && cell == m_cell) {
      if (!m_status.ok()) {
        error = m_status.message();
        return nullptr;
      }
      return &m_path;
    }
    const JsonPath* compiled = get(textOf(cell), error);
    m_cell = cell;
    return compiled;
  }

  /// The compiled path of `text`, or nullptr with `error` set to the compiler's message.
  const JsonPath* get(std::string_view text, std::string& error) const {
    if (!m_filled || text != m_text) {
      m_text.assign(text);
      m_cell = nullptr;
      m_filled = true;
      m_status = JsonPath::tryCompile(text, m_path);
      if (!m_status.ok())
        m_path = JsonPath();
    }
    if (!m_status.ok()) {
      error = m_status.message();
      return nullptr;
    }
    return &m_path;
  }

private:
  mutable bool m_filled = false;
  mutable StringCell m_cell = nullptr; // the cell m_text was last read from, if any
  mutable std::string m_text;
  mutable JsonPath m_path;
  mutable Status m_status;
};

/// Evaluates `path` against `doc` into `matches` (the array of matches) and returns true; returns false
/// with `error` set when the path does not compile or the evaluation exceeds its step limit.
inline bool evaluatePath(const PathCache& cache, const JsonValue& doc, StringCell path, JsonValue& matches,
                         std::string& error) {
  const JsonPath* compiled = cache.get(path, error);
  if (compiled == nullptr)
    return false;
  try {
    matches = compiled->evaluate(doc);
  } catch (const VelaException& e) {
    error = e.what();
    return false;
  }
  return true;
}

/// As evaluatePath, for the functions that read at most one match or count them (existence,
/// cardinality, JSON_VALUE): the matches are found, not copied, so a large match costs nothing extra.
inline bool summarizePath(const PathCache& cache, const JsonValue& doc, StringCell path,
                          JsonPath::MatchSummary& matches, std::string& error) {
  const JsonPath* compiled = cache.get(path, error);
  if (compiled == nullptr)
    return false;
  try {
    matches = compiled->summarize(doc);
  } catch (const VelaException& e) {
    error = e.what();
    return false;
  }
  return true;
}

/// Whether `path` matches anything in `doc`, stopping at the first match; false when the path does
/// not compile or the search exceeds its step limit before a match.
inline bool pathMatches(const PathCache& cache, const JsonValue& doc, StringCell path) {
  std::string error;
  const JsonPath* compiled = cache.get(path, error);
  if (compiled == nullptr)
    return false;
  try {
    return compiled->exists(doc);
  } catch (const VelaException&) {
    return false;
  }
}

} // namespace vela::cuda::jsonops
