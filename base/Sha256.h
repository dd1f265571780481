#pragma once
// SHA-256 (FIPS 180-4) of a byte string, for the digest ops and any other base-library caller.
//
// The digest is computed by the platform's cryptographic library, kept out of this header: a consumer
// of the installed library needs none of its headers. Each thread keeps one digest context and reuses
// it for every call: a call creates no context of its own.
//
// Failure: if the cryptographic library cannot allocate its context, std::bad_alloc is thrown (the same
// way a pool that cannot reserve memory fails); an unusable digest implementation (a library built
// without SHA-256) throws std::runtime_error. Neither happens on a working installation.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace vela {

inline constexpr std::size_t kSha256DigestBytes = 32;
/// Length of the hexadecimal form: two characters per digest byte.
inline constexpr std::size_t kSha256HexChars = 2 * kSha256DigestBytes;

using Sha256Digest = std::array<unsigned char, kSha256DigestBytes>;

/// The 32-byte digest of data[0, len) (data may be null when len is 0).
void sha256(const void* data, std::size_t len, unsigned char* digest);
Sha256Digest sha256(std::string_view bytes);

/// The digest of data[0, len) as 64 lower-case hexadecimal characters, first digest byte first, high
/// nibble first, written to hex[0, 64) without a terminator.
void sha256Hex(const void* data, std::size_t len, char* hex);
std::string sha256Hex(std::string_view bytes);

} // namespace vela
