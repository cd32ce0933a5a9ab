#pragma once

namespace bench {

// GetData of the 512 MiB files and ReadChildren of the 20,000-entry directory, on the FAT32
// image and, withExfat, on the exFAT image too.
void RegisterReadBenchmarks(bool withExfat);

}  // namespace bench
