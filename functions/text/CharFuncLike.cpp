// CHAR_LIKE (codes 2022-2030: charW text, char256 pattern, char1 escape, i8 flags).
//
// The column-batch evaluator looks at the pattern, escape and flags once per batch: when all three are
// constants and the pattern has a plan (see CharFuncLike.h), the batch runs that plan's compare per row;
// otherwise, and always in the row evaluator, every row runs like_match. A plan gives like_match's
// answer by construction, so both evaluators agree.

#include "functions/text/CharFuncLike.h"

#include <bit>
#include <cstring>
#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include "functions/text/CharFuncShared.h"
#include "functions/text/LikeMatch.h"
#include "functions/text/TextWalk.h"

namespace vela::cuda {

using namespace charfunc;
using text_walk::foldLetter;

LikePlan like_plan(const char* pattern256, char escape, signed char flags) {
  char p[256];
  const int pl = textOf(pattern256, 256, p);
  return like_plan(std::string_view(p, static_cast<std::size_t>(pl)), escape, flags);
}

LikePlan like_plan(std::string_view pattern, char escape, signed char flags) {
  LikePlan plan;
  if ((flags & 1) != 0)
    return plan;
  if (escape != 0 && pattern.find(escape) != std::string_view::npos)
    return plan;
  std::size_t lead = 0, trail = 0; // the runs of "%" at both ends
  while (lead < pattern.size() && pattern[lead] == '%')
    ++lead;
  while (trail < pattern.size() - lead && pattern[pattern.size() - 1 - trail] == '%')
    ++trail;
  const std::string_view literal = pattern.substr(lead, pattern.size() - lead - trail);
  if (literal.size() > sizeof plan.reversed || literal.find_first_of("%_[") != std::string_view::npos)
    return plan;
  plan.fold = (flags & 2) != 0;
  plan.len = static_cast<int>(literal.size());
  for (std::size_t i = 0; i < literal.size(); ++i) {
    const auto c = static_cast<unsigned char>(literal[literal.size() - 1 - i]);
    plan.reversed[i] = plan.fold ? foldLetter(c) : c;
  }
  if (literal.empty() && lead > 0)
    plan.shape = LikeShape::All;
  else
    plan.shape = lead == 0 ? (trail == 0 ? LikeShape::Exact : LikeShape::Prefix)
                           : (trail == 0 ? LikeShape::Suffix : LikeShape::Contains);
  return plan;
}

namespace {

// --- the compares, on the cell's raw bytes (b[N - 1] is character 0) ------------------------------

// Exact: the top L bytes are the literal and the text ends there.
template <std::size_t N>
bool exactText(const unsigned char* b, const unsigned char* rev, int len) {
  if (len > static_cast<int>(N))
    return false;
  if (len < static_cast<int>(N) && b[N - 1 - len] != 0)
    return false;
  return std::memcmp(b + (N - len), rev, static_cast<std::size_t>(len)) == 0;
}

// Prefix: the top L bytes are the literal (which holds no NUL, so the text is at least L long).
template <std::size_t N>
bool prefixText(const unsigned char* b, const unsigned char* rev, int len) {
  return len <= static_cast<int>(N) && std::memcmp(b + (N - len), rev, static_cast<std::size_t>(len)) == 0;
}

// Suffix: the L bytes from the text's end (byte N - length) upward are the literal.
template <std::size_t N>
bool suffixText(const unsigned char* b, int length, const unsigned char* rev, int len) {
  return len <= length && std::memcmp(b + (N - length), rev, static_cast<std::size_t>(len)) == 0;
}

// Substring: reversing both texts keeps containment, so the reversed literal is searched among the
// text's bytes, b[N - length .. N): a start p in [N - length, N - len].
template <std::size_t N>
bool containsText(const unsigned char* b, int length, const unsigned char* rev, int len) {
  const int lo = static_cast<int>(N) - length, hi = static_cast<int>(N) - len;
  if (lo > hi)
    return false;
#if defined(__AVX2__)
  if (N >= 16 && len >= 2) {
    // 32 starts at a time: the first and the last byte of the literal must both match, then the bytes
    // between are compared. The cell is copied into a buffer with 32 zero bytes after it, so that the
    // loads never leave it (a cell may be the last of its column).
    alignas(32) unsigned char buf[N + 32];
    std::memcpy(buf, b, N);
    std::memset(buf + N, 0, 32);
    const __m256i first = _mm256_set1_epi8(static_cast<char>(rev[0]));
    const __m256i last = _mm256_set1_epi8(static_cast<char>(rev[len - 1]));
    for (int q = lo; q <= hi; q += 32) {
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(buf + q));
      const __m256i z = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(buf + q + len - 1));
      auto mask = static_cast<std::uint32_t>(
          _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(z, last))));
      if (hi - q < 31)
        mask &= (2u << (hi - q)) - 1; // starts q .. hi only
      for (; mask != 0; mask &= mask - 1) {
        const unsigned char* at = buf + q + std::countr_zero(mask);
        int i = 1;
        while (i < len - 1 && at[i] == rev[i])
          ++i;
        if (i >= len - 1)
          return true;
      }
    }
    return false;
  }
#endif
  const unsigned char* p = b + lo;
  const unsigned char* const lastStart = b + hi;
  while (p <= lastStart) {
    p = static_cast<const unsigned char*>(
        std::memchr(p, rev[0], static_cast<std::size_t>(lastStart - p + 1)));
    if (p == nullptr)
      return false;
    if (std::memcmp(p + 1, rev + 1, static_cast<std::size_t>(len - 1)) == 0)
      return true;
    ++p;
  }
  return false;
}

// The case-folding forms: text bytes folded, literal already folded.
inline bool foldedEqual(const unsigned char* text, const unsigned char* rev, int len) {
  for (int i = 0; i < len; ++i)
    if (foldLetter(text[i]) != rev[i])
      return false;
  return true;
}

template <std::size_t N>
bool foldedMatch(const LikePlan& plan, const unsigned char* b) {
  const int len = plan.len;
  const unsigned char* rev = plan.reversed;
  if (len > static_cast<int>(N))
    return plan.shape == LikeShape::All;
  switch (plan.shape) {
  case LikeShape::Exact:
    return (len == static_cast<int>(N) || b[N - 1 - len] == 0) && foldedEqual(b + (N - len), rev, len);
  case LikeShape::Prefix:
    return foldedEqual(b + (N - len), rev, len);
  case LikeShape::Suffix: {
    const int length = charn::length(*reinterpret_cast<const Cell<N>*>(b));
    return len <= length && foldedEqual(b + (N - length), rev, len);
  }
  case LikeShape::Contains: {
    const int length = charn::length(*reinterpret_cast<const Cell<N>*>(b));
    for (int start = static_cast<int>(N) - length; start + len <= static_cast<int>(N); ++start)
      if (foldedEqual(b + start, rev, len))
        return true;
    return false;
  }
  default:
    return true; // All
  }
}

} // namespace

template <std::size_t N>
bool like_plan_match(const LikePlan& plan, const char* cell) {
  const auto* b = reinterpret_cast<const unsigned char*>(cell);
  if (plan.fold)
    return foldedMatch<N>(plan, b);
  switch (plan.shape) {
  case LikeShape::Exact:
    return exactText<N>(b, plan.reversed, plan.len);
  case LikeShape::Prefix:
    return prefixText<N>(b, plan.reversed, plan.len);
  case LikeShape::Suffix:
    return suffixText<N>(b, charn::length(*reinterpret_cast<const Cell<N>*>(b)), plan.reversed, plan.len);
  case LikeShape::Contains: {
    const int length = charn::length(*reinterpret_cast<const Cell<N>*>(b));
    return containsText<N>(b, length, plan.reversed, plan.len);
  }
  case LikeShape::All:
    return true;
  default:
    return false; // General: no plan, the caller runs like_match
  }
}

#define VELA_LIKE_PLAN_INSTANCE(N) template bool like_plan_match<N>(const LikePlan&, const char*);
VELA_LIKE_PLAN_INSTANCE(1)
VELA_LIKE_PLAN_INSTANCE(2)
VELA_LIKE_PLAN_INSTANCE(4)
VELA_LIKE_PLAN_INSTANCE(8)
VELA_LIKE_PLAN_INSTANCE(16)
VELA_LIKE_PLAN_INSTANCE(32)
VELA_LIKE_PLAN_INSTANCE(64)
VELA_LIKE_PLAN_INSTANCE(128)
VELA_LIKE_PLAN_INSTANCE(256)
#undef VELA_LIKE_PLAN_INSTANCE

namespace {

// --- per-row functors --------------------------------------------------------------------------

template <std::size_t N>
struct LikeFunc {
  std::uint8_t operator()(const Cell<N>& s, const Cell<256>& pattern, const Cell<1>& escape,
                          std::int8_t flags) const {
    return like_match<false>(rawOf(s), static_cast<int>(N), rawOf(pattern), 256, static_cast<char>(escape),
                             flags);
  }
};

// The top 8 bytes of a cell as a word, character 0 in the most significant byte; a cell narrower than
// 8 bytes gets zero low bytes.
template <std::size_t N>
std::uint64_t topWord(const Cell<N>& s) {
  if constexpr (N >= 8) {
    std::uint64_t w;
    std::memcpy(&w, charn::bytesOf(s) + (N - 8), 8);
    return w;
  } else {
    return static_cast<std::uint64_t>(s) << (8 * (8 - N));
  }
}

// A prefix of 1 to 8 characters (no longer than N): one masked compare of the top word.
template <std::size_t N>
struct PrefixWordFunc {
  std::uint64_t mask, value;
  std::uint8_t operator()(const Cell<N>& s) const { return (topWord<N>(s) & mask) == value; }
};
template <std::size_t N>
struct PrefixFunc {
  const unsigned char* rev;
  int len;
  std::uint8_t operator()(const Cell<N>& s) const { return prefixText<N>(charn::bytesOf(s), rev, len); }
};
template <std::size_t N>
struct SuffixFunc {
  const unsigned char* rev;
  int len;
  std::uint8_t operator()(const Cell<N>& s) const {
    return suffixText<N>(charn::bytesOf(s), charn::length(s), rev, len);
  }
};
template <std::size_t N>
struct ContainsFunc {
  const unsigned char* rev;
  int len;
  std::uint8_t operator()(const Cell<N>& s) const {
    const int length = charn::length(s);
    return containsText<N>(charn::bytesOf(s), length, rev, len);
  }
};
template <std::size_t N>
struct ExactFunc {
  const unsigned char* rev;
  int len;
  std::uint8_t operator()(const Cell<N>& s) const { return exactText<N>(charn::bytesOf(s), rev, len); }
};
template <std::size_t N>
struct FoldedFunc {
  const LikePlan* plan;
  std::uint8_t operator()(const Cell<N>& s) const { return foldedMatch<N>(*plan, charn::bytesOf(s)); }
};
template <std::size_t N>
struct ConstantFunc {
  std::uint8_t answer;
  std::uint8_t operator()(const Cell<N>&) const { return answer; }
};

// The constant value of a popped operand, when the evaluator offers one (the row evaluator's operands
// are single cells and never constants).
template <class Entry>
bool constantOf(const Entry& entry, typename Entry::value_type& value) {
  if constexpr (requires { entry.constInput(); }) {
    if (entry.isConstant()) {
      value = entry.constInput().value;
      return true;
    }
  }
  return false;
}

// Runs the plan's compare over the batch; false when the plan has no fast form (shape General).
template <std::size_t N, class E, class Out, class S>
bool runPlan(E& e, const LikePlan& plan, Out& out, S& s) {
  const int len = plan.len;
  if (plan.shape == LikeShape::General)
    return false;
  if (plan.shape == LikeShape::All || len > static_cast<int>(N)) {
    e.runKernel(ConstantFunc<N>{plan.shape == LikeShape::All}, out, s);
  } else if (plan.fold) {
    e.runKernel(FoldedFunc<N>{&plan}, out, s);
  } else if (plan.shape == LikeShape::Prefix && len <= 8) {
    std::uint64_t value = 0;
    for (int i = 0; i < len; ++i)
      value |= static_cast<std::uint64_t>(plan.reversed[len - 1 - i]) << (8 * (7 - i));
    const std::uint64_t mask = len == 8 ? ~0ULL : ~(~0ULL >> (8 * len));
    e.runKernel(PrefixWordFunc<N>{mask, value}, out, s);
  } else if (plan.shape == LikeShape::Prefix) {
    e.runKernel(PrefixFunc<N>{plan.reversed, len}, out, s);
  } else if (plan.shape == LikeShape::Suffix) {
    e.runKernel(SuffixFunc<N>{plan.reversed, len}, out, s);
  } else if (plan.shape == LikeShape::Contains) {
    e.runKernel(ContainsFunc<N>{plan.reversed, len}, out, s);
  } else {
    e.runKernel(ExactFunc<N>{plan.reversed, len}, out, s);
  }
  return true;
}

template <std::size_t N>
struct LikeOp {
  template <class E>
  static void eval(E& e) {
    auto flags = e.template popInput<std::int8_t>();
    auto escape = e.template popInput<Cell<1>>();
    auto pattern = e.template popInput<Cell<256>>();
    auto s = e.template popInput<Cell<N>>();
    auto out = e.template prepareOutput<std::uint8_t>();
    bool done = false;
    if constexpr (requires { flags.constInput(); }) {
      std::int8_t f;
      Cell<1> esc;
      Cell<256> p;
      if (constantOf(flags, f) && constantOf(escape, esc) && constantOf(pattern, p)) {
        const LikePlan plan = like_plan(rawOf(p), static_cast<char>(esc), f);
        done = runPlan<N>(e, plan, out, s);
      }
    }
    if (!done)
      e.runKernel(LikeFunc<N>{}, out, s, pattern, escape, flags);
    e.push(std::move(out));
  }
};

bool registerLike() {
  std::vector<OpRegistration> ops;
  addAllWidths<LikeOp>(ops, 2022);
  return registerOps(OpFamily::Char, ops);
}

[[maybe_unused]] const bool kRegistered = registerLike();

} // namespace

} // namespace vela::cuda
