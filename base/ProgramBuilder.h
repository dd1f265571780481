#pragma once
// Assembling programs in code: what the tests, the benchmarks and the command-line tools use to build
// a typed reverse-Polish program element by element. A Program owns the list constants it creates,
// so it must outlive every evaluation of its elements.

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "base/Int128.h"
#include "base/ParserUtils.h"

namespace vela {
class VelaRegexp;
}

namespace vela::ParserUtils {

/// Byte offset, in an element's operand area, of the compiled pattern of a regular-expression op.
inline constexpr std::size_t kRegexpOperandOffset = 8;

/// Writes `text` into an N-byte fixed-width cell: first character at the highest address, the rest
/// downwards, unused low bytes zero. Text longer than `width` is refused (VelaException).
void packCharN(std::string_view text, std::size_t width, unsigned char* cell);
/// The text held in an N-byte fixed-width cell (stops at the first zero byte from the top).
std::string unpackCharN(const unsigned char* cell, std::size_t width);

/// Parses plain decimal text ("-12.5", "7", ".25") into an unscaled integer at `scale`. Refuses
/// (VelaException) malformed text, more fractional digits than the scale, and values outside
/// [-2^95, 2^95 - 1].
vela::int128_t parseUnscaledDecimal(std::string_view text, int scale);

class Program {
public:
  /// An element with no operand (an operation).
  Program& op(TypedRpnOp code, const EvalInfo& info = {});
  /// A column load (or any op reading a column index).
  Program& column(TypedRpnOp code, std::int32_t index);
  /// A scalar constant in its storage form.
  template <class T>
  Program& constant(TypedRpnOp code, const T& value) {
    static_assert(sizeof(T) <= 256);
    TypedRpnElement& e = add(code);
    std::memcpy(e.operand, &value, sizeof value);
    return *this;
  }
  /// A fixed-width text constant, packed to the width of the op's result type.
  Program& charConstant(TypedRpnOp code, std::string_view text);
  /// A dec64 or dec128 constant (by the op's result type) from decimal text at `scale`; the element's
  /// result precision and scale are set.
  Program& decimalConstant(TypedRpnOp code, std::string_view text, int precision, int scale);
  /// An object or index constant: the pointer is stored, not owned.
  Program& pointerConstant(TypedRpnOp code, const void* object);
  /// A regular-expression op (REGEXP_COUNT ... REGEXP_SUBSTR_STRING) with its compiled pattern, stored
  /// at byte kRegexpOperandOffset of the operand area; not owned: the caller keeps `re` alive for every
  /// evaluation of the program.
  Program& regexp(TypedRpnOp code, const VelaRegexp* re);
  /// A list constant of `count` values of the op's list element width (copied and owned by the
  /// program) and an optional parallel array of 32-bit integers.
  Program& list(TypedRpnOp code, const void* values, std::uint32_t count, std::vector<std::int32_t> aux = {});
  template <class T>
  Program& list(TypedRpnOp code, const std::vector<T>& values, std::vector<std::int32_t> aux = {}) {
    return list(code, values.data(), static_cast<std::uint32_t>(values.size()), std::move(aux));
  }
  /// Sets the eval info of the last element.
  Program& info(const EvalInfo& info);

  const std::vector<TypedRpnElement>& elements() const { return m_elements; }
  std::vector<TypedRpnElement>& elements() { return m_elements; }
  std::size_t size() const { return m_elements.size(); }

private:
  TypedRpnElement& add(TypedRpnOp code);

  std::vector<TypedRpnElement> m_elements;
  std::deque<std::vector<unsigned char>> m_listValues;
  std::deque<std::vector<std::int32_t>> m_listAux;
  std::deque<TypedVec> m_lists;
};

} // namespace vela::ParserUtils
