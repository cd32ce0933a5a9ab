#pragma once
// FAT directories: reading a directory into its slot records, deciding which slots become
// nodes, and turning names, long names, timestamps and attributes into display text.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fs/fat/FatLayout.h"

class ClusterTrail;
class TFATPartition;

// Appends one record per 32-byte slot of the directory that directory describes: the fixed
// root region of FAT12/16, or the directory's cluster chain as far as it goes on the volume,
// however many slots that makes. A run of empty slots (all bytes zero) gives one record. A
// remainder shorter than a slot is ignored. With a trail, the chain also ends at a cluster on it
// (see TPartition::directoryTrail).
void ReadDirectoryRecords(const TFATPartition& partition, const FATDirectoryEntry& directory,
                          FATRecordList& out, ClusterTrail* trail = nullptr);

// What a slot becomes in the tree.
enum class FATChildKind { kNone, kDirectory, kFile, kDeletedFile };

// End markers, dot entries, long-name and volume-label slots give no node. A deleted slot is a
// deleted file, also when it was a directory: its chain is gone, so it is not opened.
FATChildKind SelectChild(const FATDirectoryEntry& record);

// The 8.3 name as stored, "NAME.EXT" or "NAME", lower-cased where the case flags say so.
std::string FormatShortName(const FATDirectoryEntry& record);

// The long name held by the long-name slots right before records[index], read backwards up to
// the slot flagged as the last piece; empty when there is none.
std::string AssembleLongName(const FATRecordList& records, size_t index);

// "YYYY/MM/DD", and ", hh:mm:ss.##" unless time is 0.
std::string FormatFatTimestamp(uint16_t date, uint16_t time, uint8_t tenMs);

// The attribute letters RHSVDA, then " 0x40" and " 0x80" for the two undefined bits.
std::string FormatFatAttributes(uint8_t attributes);

// A label field of 11 bytes: up to the first zero byte, blanks trimmed.
std::string FormatVolumeLabel(const uint8_t* field);
