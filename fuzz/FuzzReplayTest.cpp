// The fuzz targets' fixed slice for the test suite: every file of a target's seed corpus (regression
// inputs included), then a fixed-seed run of mutations of those files. A broken property aborts the
// process with the input in hex (see fail()); a crash or sanitizer report does the same.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fuzz/FuzzTarget.h"
#include "fuzz/Mutator.h"

namespace {

using quarry::fuzz::Target;

// Mutations per target; QUARRY_FUZZ_MUTATIONS overrides it for a longer local run.
constexpr int kMutations = 4000;

std::vector<std::string> readCorpus(const std::string& name) {
  const std::filesystem::path dir = std::filesystem::path(QUARRY_FUZZ_CORPUS_DIR) / name;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.is_regular_file())
      files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::vector<std::string> corpus;
  for (const auto& f : files) {
    std::ifstream in(f, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    corpus.push_back(s.str());
  }
  return corpus;
}

int mutationCount() {
  const char* env = std::getenv("QUARRY_FUZZ_MUTATIONS");
  return env != nullptr ? std::max(0, std::atoi(env)) : kMutations;
}

void run(const Target& target, const std::string& input) {
  target.run(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

} // namespace

namespace quarry::fuzz {
// Test names and failure messages show the target's name.
void PrintTo(const Target& target, std::ostream* out) {
  *out << target.name;
}
} // namespace quarry::fuzz

namespace {

class FuzzReplay : public testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, SeedCorpusAndFixedMutations) {
  const Target& target = GetParam();
  const std::vector<std::string> corpus = readCorpus(target.name);
  ASSERT_GE(corpus.size(), 3u) << "a seed corpus of a few files in fuzz/corpus/" << target.name;
  for (const std::string& input : corpus)
    run(target, input);

  // Mutants of seeds, and mutants of mutants: a fixed walk that reaches a few edits deep.
  quarry::fuzz::Mutator mutator(
      0x5eed0000u ^ static_cast<std::uint32_t>(std::hash<std::string>{}(target.name)), target.tokens);
  std::string previous = corpus.front();
  const int n = mutationCount();
  for (int i = 0; i < n; ++i) {
    const std::string& base = mutator.below(2) ? previous : corpus[mutator.below(corpus.size())];
    previous = mutator.mutate(base, corpus);
    run(target, previous);
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay,
                         testing::ValuesIn(quarry::fuzz::targets().begin(), quarry::fuzz::targets().end()),
                         [](const testing::TestParamInfo<Target>& info) {
                           return std::string(info.param.name);
                         });

} // namespace
