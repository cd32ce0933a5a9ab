#pragma once
// Frees memory that came from malloc or aligned_alloc, for std::unique_ptr.

#include <cstdint>
#include <cstdlib>

struct FreeDeleter {
  void operator()(uint8_t* p) const { std::free(p); }
};
