#pragma once
// FAT directories: reading a directory into its slot records, deciding which slots become
// nodes, and turning names, long names, timestamps and attributes into display text.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fs/ByteSink.h"
#include "fs/Completeness.h"
#include "fs/fat/FatLayout.h"

class ClusterTrail;
class OemCodePage;
class TFATPartition;

// Appends one record per 32-byte slot of the directory that directory describes: the fixed
// root region of FAT12/16, or the directory's cluster chain as far as it goes on the volume,
// however many slots that makes; a deleted directory as ReadDeletedDirectory reads it. A run of
// empty slots (all bytes zero) gives one record. A remainder shorter than a slot is ignored.
// With a trail, the chain also ends at a cluster on it (see TPartition::directoryTrail).
// Returns why the read fell short of the directory's data (see ByteSink::NoteShortfall), kNone
// when it did not.
DataShortfall ReadDirectoryRecords(const TFATPartition& partition, const FATDirectoryEntry& directory, bool deleted,
                                   FATRecordList& out, ClusterTrail* trail = nullptr);

// The slots of a deleted directory, whose chain is gone: its first cluster, which must open a
// directory (its "." slot), and the clusters the table marks free after it, each while it holds
// directory slots and does not open another directory. The read ends before the first end
// marker, and at the end of the volume; with a trail, also at a cluster on it. Nothing when the
// first cluster is in use again.
void ReadDeletedDirectory(const TFATPartition& partition, const FATDirectoryEntry& directory, ByteSink& out,
                          ClusterTrail* trail = nullptr);

// Whether the slots (count of them, 32 bytes each) can be those of a directory: up to the
// first end marker, every long-name slot has the zero fields of one and every other slot the
// attribute bits and name bytes a short-name slot may have.
bool HoldsDirectorySlots(const uint8_t* slots, size_t count);

// Whether a cluster that begins with these bytes (count of them) can be a directory's first:
// a "." slot, a ".." slot, both with the directory attribute, then slots HoldsDirectorySlots
// accepts.
bool OpensDirectory(const uint8_t* bytes, size_t count);

// What a slot becomes in the tree.
enum class FATChildKind { kNone, kDirectory, kFile, kDeletedDirectory, kDeletedFile };

// End markers, dot entries, long-name and volume-label slots give no node. A deleted slot with
// the directory attribute is a deleted directory, which is read back from free clusters.
FATChildKind SelectChild(const FATDirectoryEntry& record);

// The 8.3 name as stored, "NAME.EXT" or "NAME", decoded from the volume's code page and
// lower-cased where the case flags say so; the blanks that pad name and extension go, a blank
// that begins the name stays. A deleted name shows "_" for its lost first byte; a first byte
// 0x05 stands for 0xE5.
std::string FormatShortName(const FATDirectoryEntry& record, const OemCodePage& codePage);

// The checksum that the long-name slots of a name carry of its 11 short-name bytes.
uint8_t ShortNameChecksum(const uint8_t* name11);

// The long name held by the long-name slots right before records[index], read backwards up to
// the last piece of the name; empty when there is none. Only pieces whose checksum fits the
// short name belong to it (see AssembleLongName in the source).
std::string AssembleLongName(const FATRecordList& records, size_t index);

// "YYYY/MM/DD", and ", hh:mm:ss.##" unless time is 0; impossible fields show as invalid, and a
// date word of 0 with no time records nothing (see FormatDosTimestamp).
std::string FormatFatTimestamp(uint16_t date, uint16_t time, uint8_t tenMs);

// The attribute letters RHSVDA, then " 0x40" and " 0x80" for the two undefined bits.
std::string FormatFatAttributes(uint8_t attributes);

// A label field of 11 bytes: up to the first zero byte, blanks trimmed, decoded from the
// volume's code page.
std::string FormatVolumeLabel(const uint8_t* field, const OemCodePage& codePage);
