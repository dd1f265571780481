// CLUSTER_RANK_OF, CLUSTER_LOCATION_TEXT and STRING_IS_MEMBER through both evaluators, with hooks
// giving a fixed cluster shape and membership table; expected values computed by hand from the
// placement rule (slot = n mod R x W, non-negative; rank = slot mod R; worker = slot div R).
#include <atomic>
#include <climits>

#include "base/ClusterQueries.h"
#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;
using namespace vela;
using namespace std::string_literals;

namespace {

std::atomic<int> g_ranks{3}, g_workers{4};
int ranks() noexcept {
  return g_ranks.load();
}
int workers() noexcept {
  return g_workers.load();
}

class Cluster {
public:
  Cluster(int r, int w) {
    g_ranks = r;
    g_workers = w;
    CommunicatorUtils::setNumRanksHook(&ranks);
    CommunicatorUtils::setNumWorkersHook(&workers);
  }
  ~Cluster() {
    CommunicatorUtils::setNumRanksHook(nullptr);
    CommunicatorUtils::setNumWorkersHook(nullptr);
  }
};

TEST(ClusterQuery, RankOfKey) {
  Cluster shape(3, 4);
  // -2^31 = -715827883 x 3 + 1
  expectTable<long, int>(
      2505, {{{0}, 0}, {{1}, 1}, {{2}, 2}, {{3}, 0}, {{-1}, 2}, {{-3}, 0}, {{INT_MIN}, 1}, {{INT_MAX}, 1}});
  Cluster single(1, 4);
  expectTable<long, int>(2505, {{{INT_MIN}, 0}, {{-1}, 0}, {{77}, 0}});
}

void expectLocations(const std::vector<long>& n, const std::vector<std::optional<std::string>>& text) {
  HarnessCase(Program().column(kLoadI64, 0).op(2506)).addColumn(n).expectStrings(text);
}

TEST(ClusterQuery, LocationTextOfNumber) {
  {
    Cluster shape(3, 4); // 12 slots
    expectLocations({0, 1, 2, 3, 5, 11, 12, -1, LONG_MIN, LONG_MAX},
                    {"0:0", "1:0", "2:0", "0:1", "2:1", "2:3", "0:0", "2:3",
                     "1:1",   // -2^63 = -768614336404564651 x 12 + 4
                     "1:2"}); // 2^63 - 1 = 768614336404564650 x 12 + 7
    // A constant number, as the final value and as an intermediate consumed by STRING_SHA256 (the
    // intermediate string must be freed: the harness checks the pool).
    HarnessCase(Program().constant(kConstI64, 7L).op(2506))
        .rows(1)
        .rowCounts({63, 65})
        .expectStrings({"1:2"});
    HarnessCase(Program().column(kLoadI64, 0).op(2506).op(2283))
        .addColumn<long>({5})
        .expectRows<fixed_array_t<64>>(
            // printf '2:1' | sha256sum
            {packed<fixed_array_t<64>>("70a37d8f972f2494837f9dba8364cbb418b203558cbe0166f69ae925bb544f2d")});
  }
  Cluster widest(INT_MAX, INT_MAX); // the longest text, and a slot count near 2^62
  expectLocations({-1, LONG_MAX, 0}, {"2147483646:2147483646", "1:4", "0:0"});
}

std::atomic<int> g_memberCalls{0};
void members(const char* a, std::size_t aLen, const char* b, std::size_t bLen, bool& member) noexcept {
  ++g_memberCalls;
  const std::string user(a, aLen), group(b, bLen);
  member = (user == "alice" && group == "admins") || (user == "bob\0x"s && group == "ops");
}

TEST(ClusterQuery, IsMemberAsksTheHost) {
  const std::vector<std::optional<std::string>> users = {"alice",   "alice", "Alice", std::nullopt,
                                                         "bob\0x"s, "bob",   "",      "alice"};
  const std::vector<std::optional<std::string>> groups = {"admins", "ops", "admins", "admins",
                                                          "ops",    "ops", "",       std::nullopt};
  const Program p = loadColumns({kLoadString, kLoadString}).op(2186);
  // Without a hook, nobody is a member.
  HarnessCase(p).addStringColumn(users).addStringColumn(groups).expectRows<Bool>({0, 0, 0, 0, 0, 0, 0, 0});
  SecurityManagerUtils::setIsMemberHook(&members);
  g_memberCalls = 0;
  HarnessCase(p).addStringColumn({std::nullopt}).addStringColumn({"admins"}).expectRows<Bool>({0});
  EXPECT_EQ(g_memberCalls.load(), 0) << "an absent text is not a question for the host";
  HarnessCase(p).addStringColumn(users).addStringColumn(groups).expectRows<Bool>({1, 0, 0, 0, 1, 0, 0, 0});
  SecurityManagerUtils::setIsMemberHook(nullptr);
}

} // namespace
