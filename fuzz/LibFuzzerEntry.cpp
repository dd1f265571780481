// The libFuzzer entry of one target: QUARRY_FUZZ_FUNCTION names its function (quarry::fuzz::wkt, ...),
// so that a binary links only what its target reads with.
#include "fuzz/FuzzTarget.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  quarry::fuzz::quietLogging();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return quarry::fuzz::QUARRY_FUZZ_FUNCTION(data, size);
}
