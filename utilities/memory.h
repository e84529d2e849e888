// How much memory the process can still take.
#pragma once

#include <cstdint>

namespace corretor {

// Bytes the process can still allocate: the memory the system reports as available, or less
// when an address-space limit of the process (ulimit -v) leaves less room. Returns UINT64_MAX
// when neither can be read.
uint64_t memoriaDisponivel();

} // namespace corretor
