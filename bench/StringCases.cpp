// Benchmark cases of heap strings. A string column's cells point at InlineBuffer<char> objects of 8 to
// 64 bytes, made once per dataset. Each fused loop calls the same routine as the op (case words, the
// substring finder, the regular-expression engine, the integer reader, SHA-256) and makes its result
// strings as the evaluators do: one pool-charged InlineBuffer a row at its final length (a column's string
// that the op hands on unchanged reaches the caller as its own copy).

#include <cstring>
#include <string_view>

#include "base/ProgramBuilder.h"
#include "base/Sha256.h"
#include "base/VelaRegexp.h"
#include "bench/BenchSupport.h"
#include "cuda/ManagedObjects.h"
#include "cuda/VectorEvalTypes.h"
#include "functions/text/CharTextHelpers.h"
#include "functions/text/NumberText.h"
#include "functions/text/StringOps.h"

namespace quarry::bench {

using vela::cuda::InlineBuffer;
using vela::cuda::ManagedInlineBufferPtr;
using vela::cuda::RPN_EVAL_OK;
using vela::ParserUtils::Program;

namespace {

using StringCell = const InlineBuffer<char>*;

// Op and load codes used below.
constexpr int kLoadString = 233, kConstI8 = 35, kConstI32 = 37, kConstChar1 = 53, kConstString = 62;
constexpr int kStringUpper = 1638, kStringSubstr = 1739, kStringConcat = 1788, kStringLike = 2031;
constexpr int kRegexpMatchString = 2101, kCastStringToI64 = 548, kStringSha256 = 2283;
constexpr int kSubstrStart = 3, kSubstrLength = 10;
constexpr std::size_t kMinLength = 8, kMaxLength = 64;

// A new heap string of `len` bytes (uncharged: input data) holding text[0, len), stored in row r.
void putString(InputColumn& column, unsigned long r, const char* text, std::size_t len) {
  InlineBuffer<char>* s = InlineBuffer<char>::allocate(len);
  std::memcpy(s->data(), text, len);
  put<StringCell>(column, r, s);
}

// Words and {a, b, c, d} text ('abc' occurs in most rows) of kMinLength..kMaxLength bytes; integer text.
void genWords(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  char text[kMaxLength];
  for (unsigned long r = b; r < e; ++r)
    putString(column, r, text, wordsText(c, r, kMinLength, kMaxLength, text));
}
void genAbcd(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  char text[kMaxLength];
  for (unsigned long r = b; r < e; ++r)
    putString(column, r, text, abcdText(c, r, kMinLength, kMaxLength, text));
}
void genIntegerText(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  char text[24];
  for (unsigned long r = b; r < e; ++r)
    putString(column, r, text, integerText(c, r, text));
}

StringCell cell(const Dataset& in, std::size_t c, unsigned long r) {
  return col<StringCell>(in, c)[r];
}

// Row r's result: a new string of n bytes filled by fill(char*), charged to the thread's pool (the
// slot is empty: every call starts from released buffers).
template <class Fill>
inline void storeNew(OutputBuffers& out, unsigned long r, std::size_t n, Fill&& fill) {
  ManagedInlineBufferPtr<char> buffer(n);
  fill(buffer->data());
  out.sizes[r] = buffer.reservedBytes();
  reinterpret_cast<StringCell*>(out.values.data())[r] = buffer.release();
}

inline bool isLower(unsigned char c) {
  return static_cast<unsigned char>(c - 'a') < 26;
}

rpn_eval_result_t fusedUpper(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  namespace chartext = vela::cuda::chartext;
  for (unsigned long r = begin; r < end; ++r) {
    const StringCell s = cell(in, 0, r);
    const std::string_view text = s->view();
    std::size_t first = 0;
    while (first < text.size() && !isLower(static_cast<unsigned char>(text[first])))
      ++first;
    if (first == text.size()) {
      // Nothing to change: the op hands the column's string on, and a final result that is a column's
      // string becomes the caller's own copy.
      storeNew(out, r, text.size(), [&](char* dst) { std::memcpy(dst, text.data(), text.size()); });
      continue;
    }
    storeNew(out, r, text.size(), [&](char* dst) {
      std::memcpy(dst, text.data(), first);
      std::size_t i = first;
      for (; i + 8 <= text.size(); i += 8) {
        chartext::Word w;
        std::memcpy(&w, text.data() + i, 8);
        w = chartext::upperWord(w);
        std::memcpy(dst + i, &w, 8);
      }
      for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        dst[i] = static_cast<char>(isLower(c) ? c - 32 : c);
      }
    });
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

// Every input is longer than kSubstrStart - 1 bytes, so the piece is never empty nor all of the input.
rpn_eval_result_t fusedSubstr(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  for (unsigned long r = begin; r < end; ++r) {
    const std::string_view piece = cell(in, 0, r)->view().substr(kSubstrStart - 1, kSubstrLength);
    storeNew(out, r, piece.size(), [&](char* dst) { std::memcpy(dst, piece.data(), piece.size()); });
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

// Neither operand is ever empty, so every row is a new string.
rpn_eval_result_t fusedConcat(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  for (unsigned long r = begin; r < end; ++r) {
    const std::string_view a = cell(in, 0, r)->view(), b = cell(in, 1, r)->view();
    storeNew(out, r, a.size() + b.size(), [&](char* dst) {
      std::memcpy(dst, a.data(), a.size());
      std::memcpy(dst + a.size(), b.data(), b.size());
    });
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedLikeContains(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                    unsigned long end) {
  const vela::cuda::strops::SubstringFinder finder("abc");
  unsigned char* __restrict v = out.values.data();
  for (unsigned long r = begin; r < end; ++r)
    v[r] = finder.find(cell(in, 0, r)->view(), 0) != std::string_view::npos;
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedLikePrefix(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                  unsigned long end) {
  unsigned char* __restrict v = out.values.data();
  for (unsigned long r = begin; r < end; ++r)
    v[r] = cell(in, 0, r)->view().starts_with("abc");
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

// The pattern of the REGEXP_MATCH case, compiled once for the program and the fused loop.
const vela::VelaRegexp& matchPattern() {
  static const vela::VelaRegexp re("ab[cd]{2}a|^dd");
  return re;
}

rpn_eval_result_t fusedRegexpMatch(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                   unsigned long end) {
  const vela::VelaRegexp& re = matchPattern();
  unsigned char* __restrict v = out.values.data();
  for (unsigned long r = begin; r < end; ++r)
    v[r] = re.matchForward(cell(in, 0, r));
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedToI64(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  long* __restrict v = reinterpret_cast<long*>(out.values.data());
  for (unsigned long r = begin; r < end; ++r) {
    const StringCell s = cell(in, 0, r);
    v[r] = vela::cuda::intCast<long>(s->data(), s->size());
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

// The hexadecimal digest in a char64 cell: character k at byte 63 - k.
rpn_eval_result_t fusedSha256(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  unsigned char digest[vela::kSha256DigestBytes];
  for (unsigned long r = begin; r < end; ++r) {
    const StringCell s = cell(in, 0, r);
    vela::sha256(s->data(), s->size(), digest);
    unsigned char* top = out.values.data() + r * 64 + 63;
    for (std::size_t i = 0; i < vela::kSha256DigestBytes; ++i) {
      top[-static_cast<long>(2 * i)] = static_cast<unsigned char>(kHexDigits[digest[i] >> 4]);
      top[-static_cast<long>(2 * i + 1)] = static_cast<unsigned char>(kHexDigits[digest[i] & 15]);
    }
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

// A constant string kept for the process's life: programs point at it.
StringCell constantString(std::string_view text) {
  InlineBuffer<char>* s = InlineBuffer<char>::allocate(text.size());
  std::memcpy(s->data(), text.data(), text.size());
  return s;
}

// STRING_LIKE with a constant pattern, no escape, no flags.
void likeProgram(Program& p, std::string_view pattern) {
  p.column(kLoadString, 0)
      .pointerConstant(kConstString, constantString(pattern))
      .charConstant(kConstChar1, "");
  p.constant(kConstI8, static_cast<signed char>(0)).op(kStringLike);
}

} // namespace

void appendStringCases(std::vector<BenchCase>& cases) {
  auto add = [&](const char* name, std::size_t width, std::size_t columns,
                 void (*gen)(std::size_t, InputColumn&, unsigned long, unsigned long), FusedRange fused,
                 bool stringResult) {
    BenchCase c{name,
                false,
                width,
                std::vector<std::size_t>(columns, sizeof(StringCell)),
                gen,
                fused,
                std::make_shared<Program>()};
    c.stringInputs = true;
    c.stringResult = stringResult;
    cases.push_back(std::move(c));
    return cases.back().program;
  };
  add("string_upper", 8, 1, genWords, fusedUpper, true)->column(kLoadString, 0).op(kStringUpper);
  add("string_substr", 8, 1, genWords, fusedSubstr, true)
      ->column(kLoadString, 0)
      .constant(kConstI32, kSubstrStart)
      .constant(kConstI32, kSubstrLength)
      .op(kStringSubstr);
  add("string_concat", 8, 2, genWords, fusedConcat, true)
      ->column(kLoadString, 0)
      .column(kLoadString, 1)
      .op(kStringConcat);
  likeProgram(*add("string_like_contains", 1, 1, genAbcd, fusedLikeContains, false), "%abc%");
  likeProgram(*add("string_like_prefix", 1, 1, genAbcd, fusedLikePrefix, false), "abc%");
  add("regexp_match_string", 1, 1, genAbcd, fusedRegexpMatch, false)
      ->column(kLoadString, 0)
      .regexp(kRegexpMatchString, &matchPattern());
  add("string_to_i64", 8, 1, genIntegerText, fusedToI64, false)->column(kLoadString, 0).op(kCastStringToI64);
  add("string_sha256", 64, 1, genWords, fusedSha256, false)->column(kLoadString, 0).op(kStringSha256);
}

} // namespace quarry::bench
