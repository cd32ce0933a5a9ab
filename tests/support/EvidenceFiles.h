#pragma once
// Evidence files made from a raw image with the real tools, as an examiner makes them:
// ewfacquire (ewf-tools) for EnCase images, split for split raw images, qemu-img (qemu-utils)
// for virtual disks. A test whose tool is missing skips.

#include <cstdint>
#include <string>
#include <vector>

// Whether the program is on PATH.
bool HaveTool(const std::string& program);

// An EnCase image of raw in folder/base.E01 (and .E02, ... with segmentBytes, 1 MiB at least);
// returns the first segment's path. compress: deflate, else stored as it is.
std::string MakeEwf(const std::string& raw, const std::string& folder, const std::string& base,
                    uint64_t segmentBytes = 0, bool compress = true);
// split's segments of raw, folder/base followed by 001, 002, ... (digits) or aa, ab, ...;
// returns their paths.
std::vector<std::string> MakeSplit(const std::string& raw, const std::string& folder, const std::string& base,
                                   uint64_t segmentBytes, bool letters);
// qemu-img convert of raw to format ("vpc", "vhdx", "vmdk", "qcow2", "qcow") with options
// ("subformat=fixed"; empty for none) and more arguments ("-c"), as folder/name.
std::string MakeVirtualDisk(const std::string& raw, const std::string& folder, const std::string& name,
                            const std::string& format, const std::string& options = "",
                            const std::string& arguments = "");
