#pragma once
// Shared pieces of the text functions on heap strings (the String*.cpp files of the string family):
// how a result is written, the op shape that settles the ownership of inputs returned unchanged, and
// the substring search used by LOCATE and REPLACE.
//
// Results. A new result is allocated once, at its final length (computed before any byte is copied),
// through ManagedInlineBufferPtr, so that it is charged to the pool of the running query; a refused
// reservation passes on as its exception and the op's entries free what they hold. A result that is
// one of the op's string inputs unchanged is never copied: the functor stores the input's pointer
// (EvalOutputString::writeInput) and the shape settles its ownership after the batch (checkObjectMove):
// an intermediate input hands its reservation over, a column or a constant stays borrowed.
//
// Absent operands. A null string pointer is SQL NULL; whether the row is null is the business of the
// program's state ops. A text function that meets one in its loop writes the empty string (a new
// object), so that a row's value is always a valid string. The ops that select one of their inputs
// (IF, LOOKUP) pass the selected pointer on as it is, null included.
//
// Bytes are not decoded: white space is the byte 32 and the bytes 9 to 13, letters are ASCII letters.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <tuple>
#include <utility>

#include "cuda/VectorEvalObjects.h"

namespace vela::cuda::strops {

using StringCell = const InlineBuffer<char>*;
using Bool = std::uint8_t;
using State = rpn_eval_result_t;
/// A char1 operand: the byte, 0 for the empty char1.
using Char1 = std::uint8_t;

/// The bytes of a string; the empty view for an absent one.
inline std::string_view textOf(StringCell s) {
  return s == nullptr ? std::string_view() : s->view();
}

/// A length as the int result of LENGTH, LOCATE and the like: saturated at the int maximum (a
/// string of 2 GiB or more cannot be told apart beyond it).
inline std::int32_t clampToInt(std::uint64_t n) {
  return n > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())
             ? std::numeric_limits<std::int32_t>::max()
             : static_cast<std::int32_t>(n);
}

inline bool isSpace(unsigned char c) {
  return c == 32 || static_cast<unsigned char>(c - 9) < 5;
}
inline bool isLetter(unsigned char c) {
  return static_cast<unsigned char>((c | 32) - 'a') < 26;
}

// The writers below take the row's EvalOutputString, or a BufferSink where a named helper returns the
// result as a managed string of its own.

/// Collects a result as a new managed string: an input handed on is copied.
struct BufferSink {
  ManagedInlineBufferPtr<char> result;
  void writeInput(StringCell s) {
    result =
        s == nullptr ? ManagedInlineBufferPtr<char>(0) : ManagedInlineBufferPtr<char>(s->data(), s->size());
  }
  void write(ManagedInlineBufferPtr<char>& buffer) { result = std::move(buffer); }
  void write(const char* bytes, std::uint64_t n) { result = ManagedInlineBufferPtr<char>(bytes, n); }
};

/// Writes a new string of n bytes, filled by fill(char* bytes) (not called for n = 0).
template <class Out, class Fill>
inline void writeNew(Out& out, std::uint64_t n, Fill&& fill) {
  ManagedInlineBufferPtr<char> buffer(n);
  if (n != 0)
    fill(buffer->data());
  out.write(buffer);
}
/// Writes a new string holding a copy of `bytes`.
template <class Out>
inline void writeCopy(Out& out, std::string_view bytes) {
  out.write(bytes.data(), bytes.size());
}
template <class Out>
inline void writeEmpty(Out& out) {
  out.write(static_cast<const char*>(nullptr), 0);
}
/// Writes the input itself when `part` is all of it, else a copy of `part`.
template <class Out>
inline void writePart(Out& out, StringCell s, std::string_view part) {
  if (s != nullptr && part.size() == s->size())
    out.writeInput(s);
  else
    writeCopy(out, part);
}

namespace detail {
template <class E, class In, class Out>
void settle(E& e, In& in, Out& out) {
  if constexpr (std::is_same_v<typename In::value_type, StringCell>)
    e.checkObjectMove(in, out);
}
} // namespace detail

/// Pops In... (push order, the last on top), runs F, a functor `void(EvalOutputString, In...)`, over
/// the rows and pushes its strings; every string operand is then checked for having been returned
/// unchanged (checkObjectMove).
template <class F, class... In>
struct StringResultOp {
  template <class E>
  static void eval(E& e) {
    auto inputs = eval_handler_detail::popOperands<E, In...>(e);
    auto out = e.template prepareOutput<EvalOutputString>();
    const F f = makeFunctor<F>(e);
    std::apply([&](auto&... in) { e.runKernel(f, out, in...); }, inputs);
    std::apply([&](auto&... in) { (detail::settle(e, in, out), ...); }, inputs);
    e.push(std::move(out));
  }
};

/// As StringResultOp for a functor that also writes the row's state: `void(EvalOutputString, In...,
/// State&)`; pushes the states, then the strings.
template <class F, class... In>
struct StringResultOpWithState {
  template <class E>
  static void eval(E& e) {
    auto inputs = eval_handler_detail::popOperands<E, In...>(e);
    auto states = e.template prepareOutput<State>();
    auto out = e.template prepareOutput<EvalOutputString>();
    const F f = makeFunctor<F>(e);
    std::apply([&](auto&... in) { e.runKernelWithState(f, out, states, in...); }, inputs);
    std::apply([&](auto&... in) { (detail::settle(e, in, out), ...); }, inputs);
    e.push(std::move(states));
    e.push(std::move(out));
  }
};

// --- substring search ---------------------------------------------------------------------------

/// First occurrence of a non-empty needle in a text at or after `from`, in time linear in the text
/// and the needle: candidates are found by the needle's first byte (memchr) and checked with memcmp,
/// which is fast on ordinary text; once the bytes compared exceed a budget proportional to the text
/// searched, the rest of the search runs Knuth-Morris-Pratt (its failure table on the stack for short
/// needles, else a pool-charged scratch array), so an adversarial text and needle cannot make it
/// quadratic. A Finder is built once per needle and reused for every search of that needle.
class SubstringFinder {
public:
  explicit SubstringFinder(std::string_view needle) : m_needle(needle) {}
  /// Position of the first occurrence at or after `from`, or npos.
  std::size_t find(std::string_view text, std::size_t from) const;
  std::string_view needle() const { return m_needle; }

private:
  std::size_t findKmp(std::string_view text, std::size_t from) const;
  std::string_view m_needle;
};

} // namespace vela::cuda::strops

namespace vela::cuda {

// The named helpers of padding, replacement and splitting: the rules of STRING_LPAD, STRING_RPAD,
// STRING_REPLACE and STRING_SPLIT, each result a new string charged to the default pool (where the op
// would hand its input on, these return a copy of it). An absent operand gives the empty string.
ManagedInlineBufferPtr<char> StringBufferLpad(const InlineBuffer<char>* s, int n,
                                              const InlineBuffer<char>* pad);
ManagedInlineBufferPtr<char> StringBufferRpad(const InlineBuffer<char>* s, int n,
                                              const InlineBuffer<char>* pad);
ManagedInlineBufferPtr<char> StringBufferReplace(const InlineBuffer<char>* s, const InlineBuffer<char>* from,
                                                 const InlineBuffer<char>* to);
ManagedInlineBufferPtr<char> StringBufferSplit(const InlineBuffer<char>* s, char delimiter, int k);

} // namespace vela::cuda
