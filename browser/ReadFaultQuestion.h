#pragma once
// The window's answer to a read fault: the user is asked "Read failed at sector N:" with the
// system's reason, under "Error", with Abort, Retry and Ignore.

#include "device/ReadFaults.h"

class AskingFaultPolicy final : public FaultPolicy {
 public:
  FaultAnswer Decide(const ReadFault& fault) override;
};
