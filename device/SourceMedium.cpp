#include "device/SourceMedium.h"

#include <cstring>

bool SourceMedium::ReadAlone(uint8_t* dest, size_t count, uint64_t position, MediumFault& fault) {
  fault = MediumFault{};
  size_t got = ReadAt(dest, count, position, fault);
  if (fault.error != 0) got = 0;
  std::memset(dest + got, 0, count - got);
  return fault.error == 0;
}
