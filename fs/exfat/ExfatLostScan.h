#pragma once
// What the lost-and-found scan needs of an exFAT volume: its heap and allocation bitmap and a
// root of its own, how a folder's first cluster looks (a file entry set whose checksum fits) and
// the nodes of the folders found.

#include <memory>

#include "fs/LostScanVolume.h"

class EXFATPartition;

std::unique_ptr<LostScanVolume> NewExfatLostScan(EXFATPartition& partition);
