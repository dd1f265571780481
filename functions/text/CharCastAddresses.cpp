// IPv4 and UUID text: the Value-family casts to and from charN (737, 757-761, 1590-1599) and the Char
// family's address tests CHAR_IS_IPV4 (1710-1715) and IPV4_OCTET (1717).
//
// An ipv4 value is an i32 whose most significant byte is the first octet; a uuid is 16 bytes written as
// the 32 hexadecimal digits of their little-endian 128-bit value, most significant first, grouped
// 8-4-4-4-12. Text that is not an address casts to 0 with the row state 1 (null).

#include <cstdint>
#include <vector>

#include "functions/text/CharCastRegistration.h"
#include "functions/text/NumberText.h"

namespace vela::cuda {

namespace {

using namespace charcast;

template <class C>
struct Ipv4ToTextFunc {
  C operator()(std::int32_t address) const {
    char text[16];
    const int len = ipv4_to_text(address, text);
    return charn::fromText<C>(text, static_cast<std::size_t>(len));
  }
};

template <class C>
struct UuidToTextFunc {
  C operator()(const fixed_array_t<16>& uuid) const {
    char text[36];
    uuid_to_text(uuid.bytes, text);
    return charn::fromText<C>(text, sizeof text);
  }
};

template <class C>
struct TextToIpv4Func {
  std::int32_t operator()(const C& text, rpn_eval_result_t& code) const {
    std::uint32_t address = 0;
    if (!number_text::readIpv4(number_text::cellText(text), &address)) {
      code = RPN_EVAL_NULL;
      return 0;
    }
    return static_cast<std::int32_t>(address);
  }
};

template <class C>
struct TextToUuidFunc {
  fixed_array_t<16> operator()(const C& text, rpn_eval_result_t& code) const {
    fixed_array_t<16> uuid{};
    // Only a text of exactly 36 characters can be a UUID; longer cells are not copied.
    if (charn::length(text) != 36) {
      code = RPN_EVAL_NULL;
      return uuid;
    }
    char buf[36];
    charn::toText(text, buf);
    if (!uuid_from_text(buf, sizeof buf, uuid.bytes)) {
      code = RPN_EVAL_NULL;
      return fixed_array_t<16>{};
    }
    return uuid;
  }
};

template <class C>
struct IsIpv4Func {
  std::uint8_t operator()(const C& text) const {
    std::uint32_t address;
    return number_text::readIpv4(number_text::cellText(text), &address) ? 1 : 0;
  }
};

// Octet k (1 = most significant) of an address; any other k gives 0.
struct Ipv4OctetFunc {
  std::int32_t operator()(std::int32_t address, std::int32_t k) const {
    if (k < 1 || k > 4)
      return 0;
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(address) >> (8 * (4 - k))) & 255u);
  }
};

bool registerAddressCasts() {
  std::vector<OpRegistration> ops;
  ops.push_back(
      opEntry<ElementwiseOp<Ipv4ToTextFunc<fixed_array_t<16>>, fixed_array_t<16>, std::int32_t>>(737));
  forWidths(Widths<32, 64>{}, 757, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<Ipv4ToTextFunc<C>, C, std::int32_t>>(code));
  });
  forWidths(Widths64Up{}, 759, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<UuidToTextFunc<C>, C, fixed_array_t<16>>>(code));
  });
  forWidths(Widths8Up{}, 1590, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOpWithState<TextToIpv4Func<C>, std::int32_t, C>>(code));
  });
  forWidths(Widths64Up{}, 1597, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOpWithState<TextToUuidFunc<C>, fixed_array_t<16>, C>>(code));
  });
  return registerOps(OpFamily::Value, ops);
}

bool registerAddressTests() {
  std::vector<OpRegistration> ops;
  forWidths(Widths8Up{}, 1710, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<IsIpv4Func<C>, std::uint8_t, C>>(code));
  });
  ops.push_back(opEntry<ElementwiseOp<Ipv4OctetFunc, std::int32_t, std::int32_t, std::int32_t>>(1717));
  return registerOps(OpFamily::Char, ops);
}

[[maybe_unused]] const bool kRegistered = registerAddressCasts() && registerAddressTests();

} // namespace

} // namespace vela::cuda
