#pragma once
// A read-fault policy that answers from a script and remembers what it was asked, in the words
// the window's box would show.

#include <deque>
#include <string>
#include <vector>

#include "device/ReadFaults.h"

class ScriptedFaults final : public FaultPolicy {
 public:
  // Answers given in turn; when they run out, readErrorAnswer.
  std::deque<FaultAnswer> answers;
  FaultAnswer readErrorAnswer = FaultAnswer::kAbort;
  // ReadFaultText of every fault decided, in order.
  std::vector<std::string> shown;
  FaultLog log;

  FaultAnswer Decide(const ReadFault& fault) override {
    shown.push_back(ReadFaultText(fault));
    if (answers.empty()) return readErrorAnswer;
    const FaultAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
};
