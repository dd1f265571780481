#pragma once
// SHA-256 reference digests, shared by the base and the op tests. The FIPS 180-2 example vectors, and
// digests printed by coreutils `sha256sum` for the commands given.
#include <string>

namespace quarry::test {

struct Sha256Vector {
  std::string text;
  std::string hex;
};

inline const Sha256Vector kSha256Vectors[] = {
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"}, // FIPS 180-2 B.1
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},    // the empty message
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",                 // FIPS 180-2 B.2
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    // printf 'a%.0s' $(seq 55) | sha256sum   (and seq 56, seq 64)
    {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
    {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
    {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
    // printf 'abcdefgh' | sha256sum   (fills a char8 cell)
    {"abcdefgh", "9c56cc51b374c3ba189210d5b6d4bf57790d351c96c47c02190ecf1e430635ab"},
    // python3 -c "print('x'*256, end='')" | sha256sum   (fills a char256 cell)
    {std::string(256, 'x'), "85e62acd750c4eb56b7b6a1d66dca5bfaac5f062608a1a893410d0288936c09a"},
    // printf 'ab' | sha256sum
    {"ab", "fb8e20fc2e4c3f248c60c39bd652f3c1347298bb977b8b4d5903b85055620603"},
    // printf 'a\0b' | sha256sum   (a NUL byte inside a heap string is text)
    {std::string("a\0b", 3), "59b271ae1bbcb1d31d41929817f4b16fb439eb4f31520b5ad1d5ce98920a7138"},
};

} // namespace quarry::test
