// The cluster and security queries: stand-alone defaults, hooks installed and removed, counts below 1
// taken as 1, and the membership hook seeing exactly the bytes it is given.
#include <string>

#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include "base/ClusterQueries.h"

namespace {

using namespace vela;

std::string g_seenA, g_seenB;
void recordingMember(const char* a, std::size_t aLen, const char* b, std::size_t bLen,
                     bool& member) noexcept {
  g_seenA.assign(a, aLen);
  g_seenB.assign(b, bLen);
  member = g_seenA == std::string("root\0x", 6) && g_seenB == "wheel";
}
void silentMember(const char*, std::size_t, const char*, std::size_t, bool&) noexcept {}

struct ResetHooks {
  ~ResetHooks() {
    CommunicatorUtils::setNumRanksHook(nullptr);
    CommunicatorUtils::setNumWorkersHook(nullptr);
    SecurityManagerUtils::setIsMemberHook(nullptr);
  }
};

bool member(std::string_view a, std::string_view b) {
  bool m = true; // the query must overwrite it
  SecurityManagerUtils::isMember(a.data(), a.size(), b.data(), b.size(), m);
  return m;
}

TEST(ClusterQueries, StandAloneDefaults) {
  EXPECT_EQ(CommunicatorUtils::getNumRanks(), 1);
  EXPECT_EQ(std::size_t(CommunicatorUtils::getNumWorkers()),
            tbb::global_control::active_value(tbb::global_control::max_allowed_parallelism));
  {
    tbb::global_control one(tbb::global_control::max_allowed_parallelism, 1);
    EXPECT_EQ(CommunicatorUtils::getNumWorkers(), 1);
  }
  EXPECT_FALSE(member("root", "root")); // nobody is a member of anything without a host
  EXPECT_FALSE(member("", ""));
}

TEST(ClusterQueries, HooksAnswerAndCountsBelowOneAreOne) {
  ResetHooks reset;
  const std::pair<CommunicatorUtils::CountHook, int> counts[] = {
      {[]() noexcept { return 5; }, 5},
      {[]() noexcept { return 0; }, 1},
      {[]() noexcept { return -7; }, 1},
      {[]() noexcept { return 2147483647; }, 2147483647}};
  for (const auto& [hook, want] : counts) {
    CommunicatorUtils::setNumRanksHook(hook);
    CommunicatorUtils::setNumWorkersHook(hook);
    EXPECT_EQ(CommunicatorUtils::getNumRanks(), want);
    EXPECT_EQ(CommunicatorUtils::getNumWorkers(), want);
  }
  CommunicatorUtils::setNumRanksHook(nullptr);
  EXPECT_EQ(CommunicatorUtils::getNumRanks(), 1);

  SecurityManagerUtils::setIsMemberHook(&recordingMember);
  EXPECT_TRUE(member(std::string_view("root\0x", 6), "wheel"));
  EXPECT_EQ(g_seenA, std::string("root\0x", 6));
  EXPECT_FALSE(member("root", "wheel")); // lengths are honoured: no terminator is looked for
  EXPECT_EQ(g_seenB, "wheel");
  SecurityManagerUtils::setIsMemberHook(&silentMember); // a hook that answers nothing says no
  EXPECT_FALSE(member(std::string_view("root\0x", 6), "wheel"));
  SecurityManagerUtils::setIsMemberHook(nullptr);
  EXPECT_FALSE(member(std::string_view("root\0x", 6), "wheel"));
}

} // namespace
