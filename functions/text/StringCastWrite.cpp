// String family: charN, integers, floats, IPv4 addresses and UUIDs to heap strings (codes 478-486,
// 651, 662, 673, 684, 695, 702, 709, 738, 762), and STRING_CONV (1810).
//
// Each gives the text of its charN twin, through the same printer, without a width limit: an integer's
// digits whole; a float by the fixed number-to-text rule of the charN casts (convert_num_to_text), whose
// text never comes near the 256 characters of the widest cell, so the string holds the char256 cast's
// text uncut; an address as its dotted quad; a UUID in its 36-character form. A charN cell gives its
// text (charN_StringBuffer_cast). Each result is one string allocated at its final length and charged to
// the query's pool; none of these casts fails.
//
// STRING_CONV reads the string as a signed integer in base `from` (an optional '-', then digits of that
// base in either case up to the first other byte, every digit of a long text read with wrap-around, as
// the integer casts do) and writes it in base `to`: '-' before negatives, upper-case letters above 9.
// A base outside 2..36 gives the empty string, and so does an absent string.

#include <cstdint>
#include <vector>

#include "cuda/EvalElementHandler.h"
#include "functions/text/CharCastRegistration.h"
#include "functions/text/CharN.h"
#include "functions/text/NumberText.h"
#include "functions/text/StringCast.h"

namespace vela::cuda {

ManagedInlineBufferPtr<char> charN_StringBuffer_cast(const char* s, unsigned long width) {
  const auto* top = reinterpret_cast<const unsigned char*>(s) + (width - 1);
  std::size_t len = 0;
  while (len < width && top[-static_cast<std::ptrdiff_t>(len)] != 0)
    ++len;
  ManagedInlineBufferPtr<char> buffer(len);
  char* out = buffer->data();
  for (std::size_t i = 0; i < len; ++i)
    out[i] = static_cast<char>(top[-static_cast<std::ptrdiff_t>(i)]);
  return buffer;
}

namespace {

template <class C>
struct CharNToStringFunc {
  void operator()(EvalOutputString out, const C& cell) const {
    out.write(charN_StringBuffer_cast(reinterpret_cast<const char*>(charn::bytesOf(cell)), sizeof(C)));
  }
};

template <class T>
struct IntToStringFunc {
  void operator()(EvalOutputString out, T v) const {
    char text[40];
    const int len = convert_int_types_to_text(v, text);
    out.write(text, static_cast<std::uint64_t>(len));
  }
};

// Room of the widest cell: the rule's text is far shorter (at most a sign, 36 digits, a point and an
// exponent), so nothing is ever cut here.
constexpr int kFloatTextRoom = 256;

template <class T>
struct FloatToStringFunc {
  void operator()(EvalOutputString out, T x) const {
    char text[kFloatTextRoom];
    const int len = convert_num_to_text(static_cast<double>(x), text, kFloatTextRoom);
    out.write(text, static_cast<std::uint64_t>(len));
  }
};

struct Ipv4ToStringFunc {
  void operator()(EvalOutputString out, std::int32_t address) const {
    char text[16];
    const int len = ipv4_to_text(address, text);
    out.write(text, static_cast<std::uint64_t>(len));
  }
};

struct UuidToStringFunc {
  void operator()(EvalOutputString out, const fixed_array_t<16>& uuid) const {
    char text[36];
    uuid_to_text(uuid.bytes, text);
    out.write(text, sizeof text);
  }
};

struct StringConvFunc {
  void operator()(EvalOutputString out, StringCell s, std::int8_t from, std::int8_t to) const {
    if (s == nullptr || static_cast<unsigned>(from - 2) > 34u || static_cast<unsigned>(to - 2) > 34u)
      return out.write("", 0);
    const long v = intCast<long>(s->data(), static_cast<std::size_t>(s->size()), static_cast<unsigned>(from),
                                 IntPrefixes::None);
    unsigned char lastFirst[136];
    const int len = number_text::writeRadixLastFirst(v, static_cast<unsigned>(to), lastFirst);
    ManagedInlineBufferPtr<char> buffer(static_cast<std::uint64_t>(len));
    for (int i = 0; i < len; ++i)
      buffer->data()[i] = static_cast<char>(lastFirst[len - 1 - i]);
    out.write(buffer);
  }
};

bool registerStringWrites() {
  std::vector<OpRegistration> ops;
  charcast::forWidths(charcast::AllWidths{}, 478, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<CharNToStringFunc<C>, EvalOutputString, C>>(code));
  });
  ops.push_back(opEntry<ElementwiseOp<IntToStringFunc<std::int8_t>, EvalOutputString, std::int8_t>>(651));
  ops.push_back(opEntry<ElementwiseOp<IntToStringFunc<std::int16_t>, EvalOutputString, std::int16_t>>(662));
  ops.push_back(opEntry<ElementwiseOp<IntToStringFunc<std::int32_t>, EvalOutputString, std::int32_t>>(673));
  ops.push_back(opEntry<ElementwiseOp<IntToStringFunc<long>, EvalOutputString, long>>(684));
  ops.push_back(opEntry<ElementwiseOp<IntToStringFunc<unsigned long>, EvalOutputString, unsigned long>>(695));
  ops.push_back(opEntry<ElementwiseOp<FloatToStringFunc<float>, EvalOutputString, float>>(702));
  ops.push_back(opEntry<ElementwiseOp<FloatToStringFunc<double>, EvalOutputString, double>>(709));
  ops.push_back(opEntry<ElementwiseOp<Ipv4ToStringFunc, EvalOutputString, std::int32_t>>(738));
  ops.push_back(opEntry<ElementwiseOp<UuidToStringFunc, EvalOutputString, fixed_array_t<16>>>(762));
  ops.push_back(
      opEntry<ElementwiseOp<StringConvFunc, EvalOutputString, StringCell, std::int8_t, std::int8_t>>(1810));
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerStringWrites();

} // namespace

} // namespace vela::cuda
