// The report of the chunk dump tool: loads one chunk file and prints its hierarchies
// with their sequences and node trees, its shape sets and collections, and totals
// over all sequences. main() hands its arguments here; tests call it directly.
#pragma once

#include <cstdio>
#include <string>

namespace trevok {

class ChunkFile;
class HierarchyChunk;

namespace rifdump {

// The whole run: argv[0] is the program name, argv[1] the chunk file. Writes the
// usage text, the load failure or the report to `out`; the load error's detail goes
// to `errors` (when given). Returns the exit status: 0 after a report.
int RunChunkDump(int argc, const char* const argv[], std::FILE* out, std::FILE* errors);

// Prints one node's name indented by depth tabs, then its sub-nodes one level deeper.
void PrintHierarchyNode(std::FILE* out, const HierarchyChunk& node, int depth);

// The name of the file's INDSOUND with that index, else the index in decimal.
std::string SoundNameForIndex(const ChunkFile& file, int index);

inline constexpr int kUsageExitStatus = 2;
inline constexpr int kLoadFailedExitStatus = 1;

} // namespace rifdump
} // namespace trevok
