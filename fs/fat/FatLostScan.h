#pragma once
// What the lost-and-found scan needs of a FAT volume: its heap and table, a root of its own, how
// a folder's first cluster looks (a "." and a ".." slot), and the nodes of the folders found.

#include <memory>

#include "fs/LostScanVolume.h"

class TFATPartition;

std::unique_ptr<LostScanVolume> NewFatLostScan(TFATPartition& partition);
