#include "functions/text/Soundex.h"

#include <cstdint>

#include "functions/text/TextWalk.h"

namespace vela::cuda {

using namespace text_walk;

int soundex_code(char c) {
  // Indexed by the lower-case letter - 'a': the classes of a b c ... z in alphabet order.
  static constexpr char kClasses[] = "V123V12-V22455V12623V1-2-2"; // V vowel (-1), - class 0
  const auto u = static_cast<unsigned char>(c);
  if (!isLetter(u))
    return 0;
  const char k = kClasses[(u | 32) - 'a'];
  return k == 'V' ? -1 : k == '-' ? 0 : k - '0';
}

template <bool isString>
void soundex1(const char* s, char* out4, int len) {
  const auto text = TextWalk<isString>::of(s, len);
  char code[4] = {0, 0, 0, 0};
  std::int64_t i = 0;
  while (i < text.len && !isLetter(text[i]))
    ++i;
  if (i < text.len) {
    const unsigned char first = text[i++];
    code[0] = static_cast<char>(first & ~32); // upper case
    int last = soundex_code(static_cast<char>(first));
    int n = 1;
    for (; i < text.len && n < 4; ++i) {
      const int k = soundex_code(static_cast<char>(text[i]));
      if (k == -1)
        last = 0; // a vowel separates two equal classes
      else if (k > 0 && k != last)
        code[n++] = static_cast<char>('0' + (last = k));
      // class 0 (H, W, Y, non-letters) leaves last as it is
    }
    for (; n < 4; ++n)
      code[n] = '0';
  }
  for (int j = 0; j < 4; ++j)
    out4[3 - j] = code[j]; // first character most significant
}

int soundex_difference(const char* code4a, const char* code4b) {
  int same = 0;
  for (int j = 0; j < 4; ++j)
    same += code4a[j] == code4b[j];
  return same;
}

template <bool isString>
int soundex_difference_of(const char* a, int aLen, const char* b, int bLen) {
  char codeA[4], codeB[4];
  soundex1<isString>(a, codeA, aLen);
  soundex1<isString>(b, codeB, bLen);
  return soundex_difference(codeA, codeB);
}

template void soundex1<false>(const char*, char*, int);
template void soundex1<true>(const char*, char*, int);
template int soundex_difference_of<false>(const char*, int, const char*, int);
template int soundex_difference_of<true>(const char*, int, const char*, int);

} // namespace vela::cuda
