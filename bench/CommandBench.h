#pragma once

namespace bench {

// Whole commands beside The Sleuth Kit's on the same images: brindle-cli cat of the 512 MiB
// files against icat and against dd's plain read of as many bytes, and brindle-cli recover of
// the 20,000 small files against tsk_recover -a. On the FAT32 images and, withExfat, on the
// exFAT images too.
void RegisterCommandBenchmarks(bool withExfat);

}  // namespace bench
