#pragma once

namespace bench {

// Evidence files and hashes beside the tools examiners use for the same work: brindle-cli cat
// of the 1 GiB file out of an EnCase image of the FAT32 image against ewfexport of the same
// bytes, and brindle-cli hash --algorithm sha256 of it against sha256sum of a saved copy.
void RegisterEvidenceBenchmarks();

}  // namespace bench
