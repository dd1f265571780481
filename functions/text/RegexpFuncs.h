#pragma once
// REGEXP_COUNT, REGEXP_INSTR, REGEXP_MATCH, REGEXP_REPLACE and REGEXP_SUBSTR: the row functors and the
// op shape that gives them their compiled pattern.
//
// The pattern is not an operand: the caller compiles a VelaRegexp (which refuses a bad pattern before
// evaluation starts) and stores its pointer at byte 8 of the element's operand area. The shape reads
// it once per element; an element without one is a fault of the program, thrown at once. The int
// operands are handed to the engine unchanged and in push order (VelaRegexp.h gives their meaning).
//
// charN forms work on a copy of the cell, which the engine rewrites in place: the result is cut at the
// width with a zero tail. String forms: REGEXP_REPLACE and REGEXP_SUBSTR allocate each result once at
// its final length, charged to the pool. A result that is the input unchanged (nothing replaced) is
// stored as the input itself and its ownership settled by checkObjectMove, so REPLACE never copies an
// input it leaves alone. SUBSTR always copies its piece into a new string, also when the piece is the
// whole input (rare, and a copy keeps that path free of ownership moves). A null input gives false, 0
// or an empty string.

#include <cstdint>
#include <cstring>

#include "base/ProgramBuilder.h"
#include "base/VelaRegexp.h"
#include "cuda/EvalElementHandler.h"
#include "cuda/ManagedObjects.h"
#include "cuda/TypedRpnEvaluator.h"
#include "functions/text/CharN.h"

namespace vela::cuda::regexp_funcs {

template <std::size_t N>
using Cell = charn::Cell<N>;
using StringCell = const InlineBuffer<char>*;

/// The compiled pattern of the element being evaluated; throws the frame's fault when there is none.
const VelaRegexp& elementRegexp(const ParserUtils::TypedRpnElement& element);

/// Reads `cell`'s bytes as a char pointer.
template <class C>
const char* bytes(const C& cell) {
  return reinterpret_cast<const char*>(&cell);
}

struct RegexpMatchFunc {
  const VelaRegexp* re;
  template <class C>
  std::uint8_t operator()(const C& s) const {
    return re->match(bytes(s), sizeof(C));
  }
  std::uint8_t operator()(StringCell s) const { return re->matchForward(s); }
};

struct RegexpCountFunc {
  const VelaRegexp* re;
  template <class C>
  std::int32_t operator()(const C& s, std::int32_t start) const {
    return re->count(bytes(s), start, sizeof(C));
  }
  std::int32_t operator()(StringCell s, std::int32_t start) const { return re->countForward(s, start); }
};

struct RegexpInstrFunc {
  const VelaRegexp* re;
  template <class C>
  std::int32_t operator()(const C& s, std::int32_t p1, std::int32_t p2, std::int32_t p3,
                          std::int32_t p4) const {
    return re->instr(bytes(s), p1, p2, p3, p4, sizeof(C));
  }
  std::int32_t operator()(StringCell s, std::int32_t p1, std::int32_t p2, std::int32_t p3,
                          std::int32_t p4) const {
    return re->instrForward(s, p1, p2, p3, p4);
  }
};

struct RegexpReplaceFunc {
  const VelaRegexp* re;
  template <class C>
  C operator()(const C& s, std::int32_t start, std::int32_t occurrence) const {
    C out = s;
    re->replace(reinterpret_cast<char*>(&out), start, occurrence, sizeof(C));
    return out;
  }
  void operator()(EvalOutputString out, StringCell s, std::int32_t start, std::int32_t occurrence) const {
    if (s == nullptr)
      return out.write(std::string_view());
    // The text is built in a buffer of this row and copied into the row's result at once: up to
    // RegexpOutputBuffer::kInlineBytes it stays on the stack; a longer one is charged to the thread's
    // pool while it is built and given back before the next row (an arena would keep every row's text
    // until the call ends).
    RegexpOutputBuffer buffer;
    const std::string_view result = re->replaceForward(s, start, occurrence, buffer);
    if (result.data() == s->data() && result.size() == s->size())
      return out.writeInput(s);
    out.write(result);
  }
};

struct RegexpSubstrFunc {
  const VelaRegexp* re;
  template <class C>
  C operator()(const C& s, std::int32_t start, std::int32_t occurrence, std::int32_t group) const {
    C out = s;
    re->substr(reinterpret_cast<char*>(&out), start, occurrence, group, sizeof(C));
    return out;
  }
  void operator()(EvalOutputString out, StringCell s, std::int32_t start, std::int32_t occurrence,
                  std::int32_t group) const {
    out.write(re->substrForward(s, start, occurrence, group, nullptr));
  }
};

/// Pops In... (the last on top), runs F with the element's pattern over every row, pushes Out. String
/// results settle the ownership of inputs returned unchanged.
template <class F, class Out, class... In>
struct RegexpOp {
  template <class E>
  static void eval(E& e) {
    const F f{&elementRegexp(e.element())};
    auto inputs = eval_handler_detail::popOperands<E, In...>(e);
    auto out = e.template prepareOutput<Out>();
    std::apply([&](auto&... in) { e.runKernel(f, out, in...); }, inputs);
    if constexpr (std::is_same_v<Out, EvalOutputString>)
      e.checkObjectMove(std::get<0>(inputs), out);
    e.push(std::move(out));
  }
};

} // namespace vela::cuda::regexp_funcs
