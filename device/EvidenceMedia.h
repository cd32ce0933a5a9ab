#pragma once
// Evidence files as the reader's medium: an EnCase image (E01, Ex01) through libewf, a split
// raw image (card.001, card.002, ... or xaa, xab, ...) through libsmraw, a VHD or VHDX virtual
// disk through libvhdi, a VMDK one through libvmdk and a qcow or qcow2 one through libqcow.
// Each is recognised by its content, whatever its name; a split raw image has none of its
// own, so a file that is no other evidence file and whose name is that of a first segment
// with others beside it is one. Everything is opened read-only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "device/SourceMedium.h"

enum class EvidenceFormat {
  kNone,        // no evidence file: a plain image, read as it is
  kEwf,         // EnCase image, E01 (EWF) or Ex01 (EWF2)
  kEwfLogical,  // EnCase logical evidence, L01 or Lx01: files, not a medium
  kVhd,         // VHD or VHDX
  kVmdk,        // VMDK: a sparse extent or a descriptor
  kQcow,        // qcow or qcow2
};

// The format that the first bytes (head) and the last 512 bytes (tail, empty for a file that
// short) of a file say it is in.
EvidenceFormat RecogniseEvidence(std::string_view head, std::string_view tail);

// How an evidence file opened: the medium it holds, or, when it holds none, why not.
struct EvidenceOpening {
  std::unique_ptr<SourceMedium> medium;  // nothing for a plain image, or when opening failed
  std::string failure;                   // why the evidence file cannot be read; empty otherwise
};

// Opens the regular file at path, open as fd with size bytes, as the evidence file its content
// says it is. fd stays the caller's.
EvidenceOpening OpenEvidence(const std::string& path, int fd, uint64_t size);

// The name of the segment file that follows name in a set of them: an EnCase set's extensions
// go E01 ... E99, EAA ... EZZ, FAA ...; a split raw image's suffix counts in digits (.000,
// .001, ... or x00, x01, ...) or in letters (xaa, xab, ...). Empty when name ends the way no
// segment's name does, or its counting has run out.
std::string NextEwfSegmentName(const std::string& name);
std::string NextRawSegmentName(const std::string& name);

// A set of segment files with one missing in the middle: the run of them ends with last, but
// a segment further on is there.
struct SegmentGap {
  std::string missing;  // the name after last
  std::string present;  // the first name after it that is there
};
// The gap after last, a segment named as next counts, when one of the few names after the
// missing one is there.
std::optional<SegmentGap> FindSegmentGap(const std::string& last, std::string (*next)(const std::string&));
