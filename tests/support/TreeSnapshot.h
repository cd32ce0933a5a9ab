#pragma once
// Walking every node of the partitions found on a source, as the browser would when each one
// is selected, and a comparable record of everything the walk showed.

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "fs/Discovery.h"

// Calls visit for every node below each partition's root, parents before children, reading
// every folder on the way, deleted ones too. key names the node uniquely: "N:" + path for a
// folder, "N:" + path + name for a file, N counted from 1.
void WalkTree(PartitionList& partitions, const std::function<void(const std::string& key, TDirectoryEntry&)>& visit);

// Per partition its description, per node its name, state, size, information rows and its
// first dataLimit bytes (all of them for 0).
using TreeSnapshot = std::map<std::string, std::string>;
TreeSnapshot SnapshotOf(PartitionList& partitions, uint32_t dataLimit);

// Fails the current test, naming the first few keys where the two differ, unless they are equal.
void ExpectSameTree(const TreeSnapshot& got, const TreeSnapshot& expected);
