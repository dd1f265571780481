// String family: ENDS_WITH, STRCMP, LOCATE, REPLACE and REPLACE_CHAR on heap strings, and the
// substring search they share.
//
// LOCATE and REPLACE search with SubstringFinder (linear whatever the text); a constant needle is
// taken once per batch.

#include <vector>

#include "base/ManagedBuffer.h"
#include "functions/text/StringOps.h"

namespace vela::cuda {

namespace strops {

std::size_t SubstringFinder::find(std::string_view text, std::size_t from) const {
  const std::size_t m = m_needle.size(), n = text.size();
  if (from > n || n - from < m)
    return std::string_view::npos;
  const char* base = text.data();
  const auto first = static_cast<unsigned char>(m_needle[0]);
  const std::size_t lastStart = n - m;
  std::size_t budget = 2 * (n - from) + 64; // bytes memcmp may look at before KMP takes over
  std::size_t p = from;
  while (p <= lastStart) {
    const void* hit = std::memchr(base + p, first, lastStart - p + 1);
    if (hit == nullptr)
      return std::string_view::npos;
    p = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
    if (std::memcmp(base + p + 1, m_needle.data() + 1, m - 1) == 0)
      return p;
    if (m > budget)
      return findKmp(text, p + 1);
    budget -= m;
    ++p;
  }
  return std::string_view::npos;
}

std::size_t SubstringFinder::findKmp(std::string_view text, std::size_t from) const {
  constexpr std::size_t kStackTable = 256;
  const std::size_t m = m_needle.size();
  std::size_t stackTable[kStackTable];
  ManagedBuffer<std::size_t> heapTable;
  std::size_t* fail = stackTable;
  if (m > kStackTable) {
    heapTable.resize(m);
    fail = heapTable.data();
  }
  // fail[i]: length of the longest proper border of needle[0 .. i].
  fail[0] = 0;
  for (std::size_t i = 1, k = 0; i < m; ++i) {
    while (k > 0 && m_needle[i] != m_needle[k])
      k = fail[k - 1];
    if (m_needle[i] == m_needle[k])
      ++k;
    fail[i] = k;
  }
  for (std::size_t i = from, q = 0; i < text.size(); ++i) {
    while (q > 0 && text[i] != m_needle[q])
      q = fail[q - 1];
    if (text[i] == m_needle[q])
      ++q;
    if (q == m)
      return i + 1 - m;
  }
  return std::string_view::npos;
}

} // namespace strops

namespace {

using namespace strops;

// Whether s ends with p: an empty s ends only with the empty p; a non-empty s never ends with the empty
// p nor with a longer one. Absent operands give false.
struct EndsWithFunc {
  Bool operator()(StringCell p, StringCell s) const {
    if (p == nullptr || s == nullptr)
      return 0;
    const std::string_view tp = p->view(), ts = s->view();
    if (ts.empty())
      return tp.empty();
    if (tp.empty() || tp.size() > ts.size())
      return 0;
    return std::memcmp(ts.data() + (ts.size() - tp.size()), tp.data(), tp.size()) == 0;
  }
};

// -1, 0 or 1 by byte order (memcmp over the shorter length, then the shorter first); 0 when either is
// absent. A NUL byte is an ordinary byte here, as in every text function.
struct StrcmpFunc {
  std::int32_t operator()(StringCell a, StringCell b) const {
    if (a == nullptr || b == nullptr)
      return 0;
    const std::string_view x = a->view(), y = b->view();
    const std::size_t n = std::min(x.size(), y.size());
    const int c = n == 0 ? 0 : std::memcmp(x.data(), y.data(), n);
    if (c != 0)
      return c < 0 ? -1 : 1;
    return (x.size() > y.size()) - (x.size() < y.size());
  }
};

// 1-based position of sub in s at or after `start`; 0 when absent. An empty sub is found at 1 whatever
// start is; start < 1, an s shorter than sub or an absent operand give 0.
inline std::int32_t locateWith(const SubstringFinder& finder, std::string_view s, std::int32_t start) {
  if (finder.needle().empty())
    return 1;
  if (start < 1)
    return 0;
  const std::size_t p = finder.find(s, static_cast<std::size_t>(start) - 1);
  return p == std::string_view::npos ? 0 : clampToInt(p + 1);
}

struct LocateFunc {
  std::int32_t operator()(StringCell sub, StringCell s, std::int32_t start) const {
    if (sub == nullptr || s == nullptr)
      return 0;
    return locateWith(SubstringFinder(sub->view()), s->view(), start);
  }
};

struct ConstantNeedleLocateFunc {
  const SubstringFinder* finder;
  std::int32_t operator()(StringCell s, std::int32_t start) const {
    return s == nullptr ? 0 : locateWith(*finder, s->view(), start);
  }
};

struct LocateOp {
  template <class E>
  static void eval(E& e) {
    auto start = e.template popInput<std::int32_t>();
    auto s = e.template popInput<StringCell>();
    auto sub = e.template popInput<StringCell>();
    auto out = e.template prepareOutput<std::int32_t>();
    if constexpr (requires { sub.constInput(); }) {
      if (sub.isConstant()) {
        const StringCell needle = sub.constInput().value;
        if (needle == nullptr) {
          e.runKernel([](StringCell, std::int32_t) { return std::int32_t{0}; }, out, s, start);
        } else {
          const SubstringFinder finder(needle->view());
          e.runKernel(ConstantNeedleLocateFunc{&finder}, out, s, start);
        }
        e.push(std::move(out));
        return;
      }
    }
    e.runKernel(LocateFunc{}, out, sub, s, start);
    e.push(std::move(out));
  }
};

// s with every occurrence of `from` replaced by `to`, occurrences found from the left without overlap.
// An absent operand gives the empty string; an empty `from`, one longer than s, or no occurrence at
// all give s itself. The occurrences are counted first so that the result is allocated at its length.
template <class Out>
void replaceAll(Out& out, StringCell s, const SubstringFinder& finder, std::string_view to) {
  const std::string_view text = s->view(), from = finder.needle();
  if (from.empty() || from.size() > text.size())
    return out.writeInput(s);
  std::uint64_t count = 0;
  for (std::size_t p = finder.find(text, 0); p != std::string_view::npos;
       p = finder.find(text, p + from.size()))
    ++count;
  if (count == 0)
    return out.writeInput(s);
  const std::uint64_t n = text.size() - count * from.size() + count * to.size();
  writeNew(out, n, [&](char* dst) {
    std::size_t done = 0;
    for (std::size_t p = finder.find(text, 0); p != std::string_view::npos;
         p = finder.find(text, p + from.size())) {
      std::memcpy(dst, text.data() + done, p - done);
      dst += p - done;
      if (!to.empty())
        std::memcpy(dst, to.data(), to.size());
      dst += to.size();
      done = p + from.size();
    }
    std::memcpy(dst, text.data() + done, text.size() - done);
  });
}

struct ReplaceFunc {
  void operator()(EvalOutputString out, StringCell s, StringCell from, StringCell to) const {
    if (s == nullptr || from == nullptr || to == nullptr)
      return writeEmpty(out);
    replaceAll(out, s, SubstringFinder(from->view()), to->view());
  }
};

struct ConstantReplaceFunc {
  const SubstringFinder* finder;
  std::string_view to;
  void operator()(EvalOutputString out, StringCell s) const {
    if (s == nullptr)
      return writeEmpty(out);
    replaceAll(out, s, *finder, to);
  }
};

struct ReplaceOp {
  template <class E>
  static void eval(E& e) {
    auto to = e.template popInput<StringCell>();
    auto from = e.template popInput<StringCell>();
    auto s = e.template popInput<StringCell>();
    auto out = e.template prepareOutput<EvalOutputString>();
    bool done = false;
    if constexpr (requires { from.constInput(); }) {
      if (from.isConstant() && to.isConstant() && from.constInput().value != nullptr &&
          to.constInput().value != nullptr) {
        const SubstringFinder finder(from.constInput().value->view());
        e.runKernel(ConstantReplaceFunc{&finder, to.constInput().value->view()}, out, s);
        done = true;
      }
    }
    if (!done)
      e.runKernel(ReplaceFunc{}, out, s, from, to);
    e.checkObjectMove(s, out);
    e.push(std::move(out));
  }
};

// Every byte equal to `from` becomes `to`, or is removed when `to` is the empty char1. An empty `from`,
// `from` equal to `to`, or a text without the byte give s itself; an absent s the empty string.
struct ReplaceCharFunc {
  void operator()(EvalOutputString out, StringCell s, Char1 from, Char1 to) const {
    if (s == nullptr)
      return writeEmpty(out);
    const std::string_view text = s->view();
    if (from == 0 || from == to || text.empty())
      return out.writeInput(s);
    const auto f = static_cast<char>(from);
    const std::size_t first = text.find(f);
    if (first == std::string_view::npos)
      return out.writeInput(s);
    if (to != 0) {
      return writeNew(out, text.size(), [&](char* dst) {
        std::memcpy(dst, text.data(), text.size());
        for (std::size_t i = first; i < text.size(); ++i)
          if (dst[i] == f)
            dst[i] = static_cast<char>(to);
      });
    }
    const auto removed = static_cast<std::uint64_t>(std::count(text.begin() + first, text.end(), f));
    writeNew(out, text.size() - removed, [&](char* dst) {
      for (char c : text)
        if (c != f)
          *dst++ = c;
    });
  }
};

bool registerStringSearch() {
  const OpRegistration ops[] = {
      opEntry<ElementwiseOp<EndsWithFunc, Bool, StringCell, StringCell>>(1729),
      opEntry<ElementwiseOp<StrcmpFunc, std::int32_t, StringCell, StringCell>>(1799),
      opEntry<ElementwiseOp<StrcmpFunc, std::int32_t, StringCell, StringCell>>(1800),
      opEntry<LocateOp>(1987),
      opEntry<ReplaceOp>(1993),
      opEntry<StringResultOp<ReplaceCharFunc, StringCell, Char1, Char1>>(2012),
  };
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerStringSearch();

} // namespace

ManagedInlineBufferPtr<char> StringBufferReplace(const InlineBuffer<char>* s, const InlineBuffer<char>* from,
                                                 const InlineBuffer<char>* to) {
  BufferSink sink;
  if (s == nullptr || from == nullptr || to == nullptr)
    writeEmpty(sink);
  else
    replaceAll(sink, s, SubstringFinder(from->view()), to->view());
  return std::move(sink.result);
}

} // namespace vela::cuda
