// String family, vectors: conversions from and to text (the text form is RecordCodec's).
//   770-776  VECTOR_CAST_FROM_CHARN*  char4 ... char256 -> vector with a state
//   777      VECTOR_CAST_FROM_STRING  string -> vector with a state
//   2499     VECTOR_FROM_STRING_DIM   string, i32 dimension -> vector with a state: enclosing quotes are
//                                     removed first (StringUtils::removeQuotes), then the text must hold
//                                     exactly `dimension` elements (0: any count; negative: every row
//                                     refused)
//   488      VECTOR_TO_STRING         vector -> string ("[1,2.5,-3]", shortest round-trip elements)
// A text that is not a vector (see RecordCodec.h) gives a null vector with state 1, as does a null
// string; a good text gives a new vector charged to the query's pool, made once at its final count.
// A null vector gives a null string.

#include <cstring>

#include "base/RecordCodec.h"
#include "base/StringUtils.h"
#include "functions/text/CharN.h"
#include "functions/vector/VectorOps.h"

namespace vela::cuda {

namespace {

using namespace vecops;
using StringCell = const InlineBuffer<char>*;

inline void parseInto(EvalOutputVector& out, std::string_view text, std::int64_t dimension, State& state) {
  ManagedInlineBufferPtr<float> buffer;
  if (!RecordCodec::parseVector(text, dimension, buffer).ok()) {
    state = RPN_EVAL_NULL;
    return out.writeNull();
  }
  out.write(buffer);
}

template <class C>
struct CastFromCharNFunc {
  void operator()(EvalOutputVector out, const C& cell, State& state) const {
    char text[sizeof(C)];
    const int len = charn::toText(cell, text);
    parseInto(out, std::string_view(text, static_cast<std::size_t>(len)), 0, state);
  }
};

struct CastFromStringFunc {
  void operator()(EvalOutputVector out, StringCell s, State& state) const {
    if (s == nullptr) {
      state = RPN_EVAL_NULL;
      return out.writeNull();
    }
    parseInto(out, s->view(), 0, state);
  }
};

struct FromStringDimFunc {
  void operator()(EvalOutputVector out, StringCell s, std::int32_t dimension, State& state) const {
    if (s == nullptr) {
      state = RPN_EVAL_NULL;
      return out.writeNull();
    }
    const std::string_view text = s->view();
    // removeQuotes hands back any text not enclosed in a pair of quotes as it is; only an enclosed one is
    // worth its copy.
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
      return parseInto(out, StringUtils::removeQuotes(text), dimension, state);
    parseInto(out, text, dimension, state);
  }
};

// Texts of up to this many bytes are formatted on the stack, longer ones in a pool-charged scratch
// string; either is then copied into the result at its exact length.
constexpr std::size_t kStackText = 4096;

struct ToStringFunc {
  void operator()(EvalOutputString out, VectorCell v) const {
    if (v == nullptr)
      return out.writeNull();
    const std::size_t room = RecordCodec::maxVectorTextLength(v->size());
    if (room <= kStackText) {
      char text[kStackText];
      out.write(text, RecordCodec::stringifyVectorInto(v->span(), text));
      return;
    }
    ManagedInlineBufferPtr<char> scratch(room);
    out.write(scratch->data(), RecordCodec::stringifyVectorInto(v->span(), scratch->data()));
  }
};

template <class C>
constexpr OpRegistration castFromCharN(TypedRpnOp code) {
  return opEntry<ElementwiseOpWithState<CastFromCharNFunc<C>, EvalOutputVector, C>>(code);
}

const OpRegistration kOps[] = {
    opEntry<ElementwiseOp<ToStringFunc, EvalOutputString, VectorCell>>(488),
    castFromCharN<cell_of_width_t<4>>(770),
    castFromCharN<cell_of_width_t<8>>(771),
    castFromCharN<cell_of_width_t<16>>(772),
    castFromCharN<cell_of_width_t<32>>(773),
    castFromCharN<cell_of_width_t<64>>(774),
    castFromCharN<cell_of_width_t<128>>(775),
    castFromCharN<cell_of_width_t<256>>(776),
    opEntry<ElementwiseOpWithState<CastFromStringFunc, EvalOutputVector, StringCell>>(777),
    opEntry<ElementwiseOpWithState<FromStringDimFunc, EvalOutputVector, StringCell, std::int32_t>>(2499),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::String, kOps);

} // namespace

} // namespace vela::cuda
