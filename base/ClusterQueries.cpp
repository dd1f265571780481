#include "base/ClusterQueries.h"

#include <algorithm>
#include <atomic>

#include <oneapi/tbb/global_control.h>

namespace vela {

namespace {

std::atomic<CommunicatorUtils::CountHook> g_numRanks{nullptr};
std::atomic<CommunicatorUtils::CountHook> g_numWorkers{nullptr};
std::atomic<SecurityManagerUtils::IsMemberHook> g_isMember{nullptr};

int atLeastOne(int count) noexcept {
  return std::max(count, 1);
}

int threadPoolSize() noexcept {
  const std::size_t n = tbb::global_control::active_value(tbb::global_control::max_allowed_parallelism);
  return static_cast<int>(std::min<std::size_t>(n, 1u << 30));
}

} // namespace

int CommunicatorUtils::getNumRanks() noexcept {
  const CountHook hook = g_numRanks.load(std::memory_order_acquire);
  return atLeastOne(hook != nullptr ? hook() : 1);
}

int CommunicatorUtils::getNumWorkers() noexcept {
  const CountHook hook = g_numWorkers.load(std::memory_order_acquire);
  return atLeastOne(hook != nullptr ? hook() : threadPoolSize());
}

void CommunicatorUtils::setNumRanksHook(CountHook hook) noexcept {
  g_numRanks.store(hook, std::memory_order_release);
}

void CommunicatorUtils::setNumWorkersHook(CountHook hook) noexcept {
  g_numWorkers.store(hook, std::memory_order_release);
}

void SecurityManagerUtils::isMember(const char* a, std::size_t aLen, const char* b, std::size_t bLen,
                                    bool& member) noexcept {
  member = false;
  if (const IsMemberHook hook = g_isMember.load(std::memory_order_acquire); hook != nullptr)
    hook(a, aLen, b, bLen, member);
}

void SecurityManagerUtils::setIsMemberHook(IsMemberHook hook) noexcept {
  g_isMember.store(hook, std::memory_order_release);
}

} // namespace vela
