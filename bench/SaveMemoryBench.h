#pragma once

namespace bench {

// Peak resident memory of brindle-cli saving the 1 GiB file, on the FAT32 image and, withExfat,
// on the exFAT image too.
void RegisterSaveMemoryBenchmarks(bool withExfat);

}  // namespace bench
