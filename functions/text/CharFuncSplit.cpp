// CHAR_SPLIT and its helpers.

#include "functions/text/CharFuncSplit.h"

#include <cstring>

#include "functions/text/CharFuncShared.h"

namespace vela::cuda {

using namespace charfunc;

int charN_find_match_pos(const char* s, const char* delimiter, int width, int k) {
  const char d = *delimiter;
  if (d == 0 || k < 1)
    return -1;
  const auto* top = reinterpret_cast<const unsigned char*>(s) + (width - 1);
  for (int i = 0; i < width && top[-i] != 0; ++i)
    if (top[-i] == static_cast<unsigned char>(d) && --k == 0)
      return i;
  return -1;
}

void charN_split(char* s, const char* delimiter, int width, int k) {
  const char d = *delimiter;
  char text[256];
  const int len = textOf(s, width, text);
  if (d == 0 || len == 0 || k == 0)
    return packText(s, width, text, 0);
  int fields = 1;
  for (int i = 0; i < len; ++i)
    fields += text[i] == d;
  if (k > fields || k < -fields)
    return packText(s, width, text, 0);
  if (fields == 1)
    return packText(s, width, text, len);
  const int field = k < 0 ? fields + k + 1 : k; // 1 .. fields
  const int begin = field == 1 ? 0 : charN_find_match_pos(s, delimiter, width, field - 1) + 1;
  const int end = field == fields ? len : charN_find_match_pos(s, delimiter, width, field);
  packText(s, width, text + begin, end - begin);
}

namespace {

template <std::size_t N>
struct SplitFunc {
  Cell<N> operator()(const Cell<N>& s, const Cell<1>& delimiter, std::int32_t k) const {
    Cell<N> out = s;
    charN_split(rawOf(out), rawOf(delimiter), static_cast<int>(N), k);
    return out;
  }
};

template <std::size_t N>
using SplitOp = ElementwiseOp<SplitFunc<N>, Cell<N>, Cell<N>, Cell<1>, std::int32_t>;

bool registerSplit() {
  std::vector<OpRegistration> ops;
  addAllWidths<SplitOp>(ops, 2142);
  return registerOps(OpFamily::Char2, ops);
}

[[maybe_unused]] const bool kRegistered = registerSplit();

} // namespace

} // namespace vela::cuda
