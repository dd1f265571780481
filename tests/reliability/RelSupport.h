#pragma once
// Shared settings of the reliability suites: the fixed seeds of the CI slice, its size (smaller under
// the sanitizers, whose runs are several times slower), and the check that reports a failing case
// shrunk to a pasteable reproduction.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/GenRunner.h"

namespace quarry::test {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

/// `normal` cases in a plain build, `sanitized` under the sanitizers.
constexpr int sliceSize(int normal, int sanitized) {
  return kSanitized ? sanitized : normal;
}

/// Generation options of the CI slice. 70000 rows has a test of its own with fewer, shorter programs:
/// an op with honest per-row cost (a geodesic distance to a polygon) over 70000 rows three times is
/// most of a minute, and the slice must stay well inside the CI budget.
inline GenOptions sliceOptions() {
  GenOptions o;
  o.rowCounts = {1, 63, 64, 65, 1000, 4099};
  if (kSanitized)
    o.rowCounts = {1, 63, 64, 65, 1000, 4099, 1, 63, 65};
  return o;
}

/// Checks one case through both evaluators; on a problem, shrinks it and fails with the reproduction.
/// Returns whether the case passed.
inline bool expectAgreement(const GenCase& c, AssembledCase& assembled, RelStats& stats) {
  const std::string problem = crossCheck(assembled, c.rows, &stats);
  ++stats.programs;
  if (problem.empty())
    return true;
  ++stats.mismatches;
  const std::string kind = problemKind(problem);
  const GenCase small = shrinkCase(c, [&](const GenCase& candidate) {
    std::unique_ptr<AssembledCase> a = AssembledCase::assemble(candidate);
    return a && problemKind(crossCheck(*a, candidate.rows)) == kind;
  });
  std::string smallProblem = problem;
  if (std::unique_ptr<AssembledCase> a = AssembledCase::assemble(small))
    smallProblem = crossCheck(*a, small.rows);
  ADD_FAILURE() << "evaluators disagree: " << problem << "\nshrunk: " << reproduction(small, smallProblem);
  return false;
}

} // namespace quarry::test
