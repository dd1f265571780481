// String family: LIKE, SOUNDEX, DIFFERENCE and EDIT_DISTANCE on heap strings.
//
// LIKE (text, pattern, escape char1, flags i8): like_match<true> on the bytes. When the pattern, the
// escape and the flags are constants of the batch (column-batch evaluator only; the row evaluator
// always runs the matcher) the pattern is analysed once with like_plan, and a literal with "%" at
// neither, one or both ends runs as a compare, a prefix or suffix test, or a substring search, which
// give like_match's answer by the plan's construction. An absent text or pattern gives false.
//
// Lengths handed to the matchers are ints: a text of 2 GiB or more is read as its first 2^31 - 1
// bytes by the general matcher and by soundex (the LIKE fast paths read any length).

#include <bit>
#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include "functions/text/CharFuncLike.h"
#include "functions/text/EditDistance.h"
#include "functions/text/LikeMatch.h"
#include "functions/text/Soundex.h"
#include "functions/text/StringOps.h"
#include "functions/text/TextWalk.h"

namespace vela::cuda {

namespace {

using namespace strops;
using text_walk::foldLetter;

struct LikeFunc {
  Bool operator()(StringCell s, StringCell pattern, Char1 escape, std::int8_t flags) const {
    if (s == nullptr || pattern == nullptr)
      return 0;
    return like_match<true>(s->data(), clampToInt(s->size()), pattern->data(), clampToInt(pattern->size()),
                            static_cast<char>(escape), flags);
  }
};

// The literal of a plan (shape other than General) in reading order, folded when the plan folds.
struct Literal {
  char bytes[sizeof(LikePlan::reversed)];
  std::size_t len;
  explicit Literal(const LikePlan& plan) : len(static_cast<std::size_t>(plan.len)) {
    for (std::size_t i = 0; i < len; ++i)
      bytes[i] = static_cast<char>(plan.reversed[len - 1 - i]);
  }
  std::string_view view() const { return {bytes, len}; }
};

inline bool foldedEqual(const char* text, std::string_view literal) {
  for (std::size_t i = 0; i < literal.size(); ++i)
    if (foldLetter(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(literal[i]))
      return false;
  return true;
}

// Whether the text contains the literal (1..256 bytes), for the short texts LIKE usually meets: 32
// starts at a time must match the literal's first and last bytes, then the bytes between are
// compared. The loads stay inside the text (only starts whose 32-byte loads fit are done this way);
// the last starts are tried one by one.
inline bool containsLiteral(std::string_view t, std::string_view literal, const SubstringFinder& finder) {
#if defined(__AVX2__)
  const std::size_t n = literal.size();
  if (t.size() < n)
    return false;
  const char* base = t.data();
  const std::size_t starts = t.size() - n + 1; // starts 0 .. starts - 1
  const __m256i first = _mm256_set1_epi8(literal[0]);
  const __m256i last = _mm256_set1_epi8(literal[n - 1]);
  std::size_t q = 0;
  for (; q + 32 <= starts; q += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + q));
    const __m256i z = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + q + n - 1));
    for (auto mask = static_cast<std::uint32_t>(
             _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(z, last))));
         mask != 0; mask &= mask - 1) {
      const std::size_t at = q + static_cast<std::size_t>(std::countr_zero(mask));
      if (n <= 2 || std::memcmp(base + at + 1, literal.data() + 1, n - 2) == 0)
        return true;
    }
  }
  for (; q < starts; ++q)
    if (base[q] == literal[0] && base[q + n - 1] == literal[n - 1] &&
        (n <= 2 || std::memcmp(base + q + 1, literal.data() + 1, n - 2) == 0))
      return true;
  return false;
#else
  return finder.find(t, 0) != std::string_view::npos;
#endif
}

template <LikeShape Shape, bool Fold>
struct PlanFunc {
  std::string_view literal;
  const SubstringFinder* finder = nullptr; // Contains without folding
  // A literal of 1 to 8 bytes as a little-endian word and the mask of its bytes, placed where a prefix
  // (low bytes) or a suffix (high bytes) sits in the text's first or last 8 bytes: for a text of 8 bytes
  // or more the test is one load, one exclusive-or and one mask, where memcmp's call was most of the
  // row. Zero masks for other literals, which take the byte compare.
  std::uint64_t word = 0, mask = 0;

  PlanFunc(std::string_view lit, const SubstringFinder* f) : literal(lit), finder(f) {
    const std::size_t n = lit.size();
    if (n == 0 || n > 8)
      return;
    std::memcpy(&word, lit.data(), n);
    mask = n == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * n)) - 1;
    if constexpr (Shape == LikeShape::Suffix) {
      word <<= 8 * (8 - n);
      mask <<= 8 * (8 - n);
    }
  }

  Bool operator()(StringCell s) const {
    if (s == nullptr)
      return 0;
    const std::string_view t = s->view();
    const std::size_t n = literal.size();
    if (t.size() < n)
      return 0;
    const auto same = [&](std::size_t at) {
      if constexpr (Fold)
        return foldedEqual(t.data() + at, literal);
      else
        return n == 0 || std::memcmp(t.data() + at, literal.data(), n) == 0;
    };
    if constexpr (Shape == LikeShape::Exact) {
      return t.size() == n && same(0);
    } else if constexpr (Shape == LikeShape::Prefix || Shape == LikeShape::Suffix) {
      if constexpr (!Fold) {
        if (mask != 0 && t.size() >= 8) {
          std::uint64_t bytes;
          std::memcpy(&bytes, t.data() + (Shape == LikeShape::Prefix ? 0 : t.size() - 8), 8);
          return ((bytes ^ word) & mask) == 0;
        }
      }
      return same(Shape == LikeShape::Prefix ? 0 : t.size() - n);
    } else if constexpr (Fold) {
      for (std::size_t at = 0; at + n <= t.size(); ++at)
        if (same(at))
          return 1;
      return 0;
    } else {
      return containsLiteral(t, literal, *finder);
    }
  }
};

struct AllFunc {
  Bool operator()(StringCell s) const { return s != nullptr; }
};

template <bool Fold, class E, class Out, class S>
void runPlan(E& e, LikeShape shape, std::string_view literal, Out& out, S& s) {
  switch (shape) {
  case LikeShape::Exact:
    return e.runKernel(PlanFunc<LikeShape::Exact, Fold>{literal, nullptr}, out, s);
  case LikeShape::Prefix:
    return e.runKernel(PlanFunc<LikeShape::Prefix, Fold>{literal, nullptr}, out, s);
  case LikeShape::Suffix:
    return e.runKernel(PlanFunc<LikeShape::Suffix, Fold>{literal, nullptr}, out, s);
  default: { // Contains
    const SubstringFinder finder(literal);
    return e.runKernel(PlanFunc<LikeShape::Contains, Fold>{literal, &finder}, out, s);
  }
  }
}

struct LikeOp {
  template <class E>
  static void eval(E& e) {
    auto flags = e.template popInput<std::int8_t>();
    auto escape = e.template popInput<Char1>();
    auto pattern = e.template popInput<StringCell>();
    auto s = e.template popInput<StringCell>();
    auto out = e.template prepareOutput<Bool>();
    if constexpr (requires { flags.constInput(); }) {
      if (flags.isConstant() && escape.isConstant() && pattern.isConstant()) {
        const StringCell p = pattern.constInput().value;
        const LikePlan plan = p == nullptr
                                  ? LikePlan{}
                                  : like_plan(p->view(), static_cast<char>(escape.constInput().value),
                                              flags.constInput().value);
        if (p == nullptr) {
          e.runKernel([](StringCell) { return Bool{0}; }, out, s);
          return e.push(std::move(out));
        }
        if (plan.shape == LikeShape::All) {
          e.runKernel(AllFunc{}, out, s);
          return e.push(std::move(out));
        }
        if (plan.shape != LikeShape::General) {
          const Literal literal(plan);
          if (plan.fold)
            runPlan<true>(e, plan.shape, literal.view(), out, s);
          else
            runPlan<false>(e, plan.shape, literal.view(), out, s);
          return e.push(std::move(out));
        }
      }
    }
    e.runKernel(LikeFunc{}, out, s, pattern, escape, flags);
    e.push(std::move(out));
  }
};

// The code as a char4 cell, first character most significant; the empty code for an absent string.
struct SoundexFunc {
  std::uint32_t operator()(StringCell s) const {
    char code[4] = {0, 0, 0, 0};
    if (s != nullptr)
      soundex1<true>(s->data(), code, clampToInt(s->size()));
    std::uint32_t cell;
    std::memcpy(&cell, code, 4);
    return cell;
  }
};

// 0..4 positions at which the two codes agree; 0 when either string is absent.
struct DifferenceFunc {
  std::int32_t operator()(StringCell a, StringCell b) const {
    if (a == nullptr || b == nullptr)
      return 0;
    return soundex_difference_of<true>(a->data(), clampToInt(a->size()), b->data(), clampToInt(b->size()));
  }
};

struct EditDistanceFunc {
  std::int32_t operator()(StringCell a, StringCell b) const { return StringBufferEditDistance(a, b); }
};

bool registerStringMatch() {
  const OpRegistration ops[] = {
      opEntry<ElementwiseOp<SoundexFunc, std::uint32_t, StringCell>>(1759),
      opEntry<ElementwiseOp<DifferenceFunc, std::int32_t, StringCell, StringCell>>(1769),
      opEntry<LikeOp>(2031),
      opEntry<ElementwiseOp<EditDistanceFunc, std::int32_t, StringCell, StringCell>>(2181),
  };
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerStringMatch();

} // namespace

} // namespace vela::cuda
