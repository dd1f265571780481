#include "base/Sha256.h"

#include <atomic>
#include <new>
#include <stdexcept>

#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace vela {

namespace {

// Set when the cryptographic library tears itself down at process exit. A thread that ends after that
// (a pool worker stopped late in the exit) must not hand its context back to the torn-down library: the
// process is ending, so the context is left to it.
std::atomic<bool> g_cryptoCleanedUp{false};
void markCryptoCleanedUp() {
  g_cryptoCleanedUp.store(true, std::memory_order_release);
}

// The SHA-256 implementation, looked up once: naming it at every call would repeat the provider search.
const EVP_MD* sha256Method() {
  static const EVP_MD* const method = [] {
    OPENSSL_atexit(&markCryptoCleanedUp);
    const EVP_MD* fetched = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return fetched != nullptr ? fetched : EVP_sha256();
  }();
  if (method == nullptr)
    throw std::runtime_error("SHA-256 is not available from the cryptographic library");
  return method;
}

// One digest context per thread, created on the thread's first digest and freed when the thread ends.
// Re-initialising it per message reuses the context object; only the digest state inside is renewed.
class ThreadContext {
public:
  ~ThreadContext() {
    if (!g_cryptoCleanedUp.load(std::memory_order_acquire))
      EVP_MD_CTX_free(m_ctx);
  }
  EVP_MD_CTX* get() {
    if (m_ctx == nullptr && (m_ctx = EVP_MD_CTX_new()) == nullptr)
      throw std::bad_alloc();
    return m_ctx;
  }

private:
  EVP_MD_CTX* m_ctx = nullptr;
};

thread_local ThreadContext t_context;

constexpr char kHexDigits[] = "0123456789abcdef";

} // namespace

void sha256(const void* data, std::size_t len, unsigned char* digest) {
  const EVP_MD* method = sha256Method();
  EVP_MD_CTX* ctx = t_context.get();
  static const unsigned char kNothing = 0;
  unsigned int written = 0;
  // The calls fail only when the library cannot allocate the digest state.
  if (EVP_DigestInit_ex2(ctx, method, nullptr) != 1 ||
      EVP_DigestUpdate(ctx, len == 0 ? &kNothing : data, len) != 1 ||
      EVP_DigestFinal_ex(ctx, digest, &written) != 1 || written != kSha256DigestBytes)
    throw std::bad_alloc();
}

Sha256Digest sha256(std::string_view bytes) {
  Sha256Digest digest;
  sha256(bytes.data(), bytes.size(), digest.data());
  return digest;
}

void sha256Hex(const void* data, std::size_t len, char* hex) {
  unsigned char digest[kSha256DigestBytes];
  sha256(data, len, digest);
  for (std::size_t i = 0; i < kSha256DigestBytes; ++i) {
    hex[2 * i] = kHexDigits[digest[i] >> 4];
    hex[2 * i + 1] = kHexDigits[digest[i] & 15];
  }
}

std::string sha256Hex(std::string_view bytes) {
  std::string hex(kSha256HexChars, '\0');
  sha256Hex(bytes.data(), bytes.size(), hex.data());
  return hex;
}

} // namespace vela
