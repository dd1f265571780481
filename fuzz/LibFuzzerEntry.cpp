// The libFuzzer entry of one target, chosen at build time by QUARRY_FUZZ_TARGET_NAME.
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzTarget.h"

namespace {
quarry::fuzz::TargetFunction target = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const quarry::fuzz::Target* t = quarry::fuzz::findTarget(QUARRY_FUZZ_TARGET_NAME);
  if (t == nullptr) {
    std::fprintf(stderr, "no fuzz target named %s\n", QUARRY_FUZZ_TARGET_NAME);
    std::exit(2);
  }
  target = t->run;
  quarry::fuzz::quietLogging();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return target(data, size);
}
