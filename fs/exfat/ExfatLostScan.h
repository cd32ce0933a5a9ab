#pragma once
// What the lost-and-found scan needs of an exFAT volume: its heap and allocation bitmap and a
// root of its own. Its lost folders are not looked for yet: the scan finds files by content.

#include <memory>

#include "fs/LostScanVolume.h"

class EXFATPartition;

std::unique_ptr<LostScanVolume> NewExfatLostScan(EXFATPartition& partition);
