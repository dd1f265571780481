#pragma once
// Cluster and security queries: how many ranks (processes) the cluster has, how many workers each rank
// runs, and whether a principal is a member of a group. The evaluator asks, the embedding engine
// answers: each query is one function here that forwards to a hook the engine installs.
//
// Stand-alone defaults (no hook installed): one rank; as many workers as the thread pool may run at
// once (oneTBB's max_allowed_parallelism, which a host's tbb::global_control lowers); and membership
// denied for everyone: a security query never answers yes unless the host said so.
//
// Installing hooks: call the set...Hook functions before starting evaluations (the hooks are read
// through atomics, so installing from any thread is safe, but an evaluation already running may see
// the old hook in some rows and the new one in others). Passing nullptr restores the default. Hooks are
// called from the evaluator's worker threads, concurrently and once or more per batch (isMember once
// per row), so they must be thread-safe, cheap and must not throw (the hook types are noexcept).
// A count hook that answers less than 1 is taken as 1, so that the ops dividing by the counts never
// divide by zero.

#include <cstddef>

namespace vela {

namespace CommunicatorUtils {

using CountHook = int (*)() noexcept;

/// Number of ranks of the cluster, at least 1.
int getNumRanks() noexcept;
/// Number of workers of each rank, at least 1.
int getNumWorkers() noexcept;

/// Installs the engine's answer to getNumRanks (nullptr: the default, 1).
void setNumRanksHook(CountHook hook) noexcept;
/// Installs the engine's answer to getNumWorkers (nullptr: the default, the thread pool's size).
void setNumWorkersHook(CountHook hook) noexcept;

} // namespace CommunicatorUtils

namespace SecurityManagerUtils {

/// The engine's membership test: sets `member` when principal a[0, aLen) belongs to group b[0, bLen).
/// `member` is false on entry; a hook that leaves it unset answers no.
using IsMemberHook = void (*)(const char* a, std::size_t aLen, const char* b, std::size_t bLen,
                              bool& member) noexcept;

/// Whether a[0, aLen) is a member of b[0, bLen), as the installed hook says (texts are bytes, not
/// terminated; a pointer may be null when its length is 0). Without a hook, always false.
void isMember(const char* a, std::size_t aLen, const char* b, std::size_t bLen, bool& member) noexcept;

/// Installs the engine's membership test (nullptr: the default, which denies everyone).
void setIsMemberHook(IsMemberHook hook) noexcept;

} // namespace SecurityManagerUtils

} // namespace vela
