#pragma once
// The openers of each evidence library, for OpenEvidence (device/EvidenceMedia.h) alone. Each
// opens path read-only, or says why it cannot.

#include <string>

#include "device/EvidenceMedia.h"

EvidenceOpening OpenEwf(const std::string& path);
EvidenceOpening OpenVhd(const std::string& path);
EvidenceOpening OpenVmdk(const std::string& path);
EvidenceOpening OpenQcow(const std::string& path);
// Nothing, and no failure, when path is not the first segment of a split raw image: a file
// whose next segment is missing, and none after it is there, is read as a plain image.
EvidenceOpening OpenSplitRaw(const std::string& path);

// The last part of a path, as messages name a segment file.
std::string BaseName(const std::string& path);
