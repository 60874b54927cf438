// Chunk dump tool: prints the structure of one chunk file for the content team.
#include "tools/rifdump/chunk_report.h"

#include <cstdio>

int main(int argc, char* argv[])
{
    return trevok::rifdump::RunChunkDump(argc, argv, stdout, stderr);
}
