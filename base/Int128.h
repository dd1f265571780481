#pragma once
// 128-bit integers of the compiler, named once so that pedantic warnings stay on elsewhere.

namespace vela {
__extension__ typedef __int128 int128_t;
__extension__ typedef unsigned __int128 uint128_t;
} // namespace vela
