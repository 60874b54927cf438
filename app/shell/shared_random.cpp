#include "app/shell/application.h"

#include "app/read_write_lock.h"

namespace SharedRandom {
namespace {

struct Generator {
    uint32_t table[31] = {};
    int front = 3; // the word advanced next
    int rear = 0;
    ReadWriteLock lock; // held exclusively by every draw
};

void SeedLocked(Generator& g, uint32_t seed);
uint32_t NextLocked(Generator& g);

Generator& Get()
{
    static Generator g;
    static const bool seeded = [] {
        SeedLocked(g, 1);
        for (int i = 0; i < 310; ++i)
            NextLocked(g);
        return true;
    }();
    (void)seeded;
    return g;
}

void SeedLocked(Generator& g, uint32_t seed)
{
    // Park-Miller steps fill the table; 310 draws mix it.
    int64_t word = seed ? seed : 1;
    g.table[0] = static_cast<uint32_t>(word);
    for (int i = 1; i < 31; ++i) {
        word = (16807 * word) % 2147483647;
        g.table[i] = static_cast<uint32_t>(word);
    }
    g.front = 3;
    g.rear = 0;
}

uint32_t NextLocked(Generator& g)
{
    g.table[g.front] += g.table[g.rear];
    const uint32_t result = g.table[g.front] >> 1;
    if (++g.front >= 31)
        g.front = 0;
    if (++g.rear >= 31)
        g.rear = 0;
    return result;
}

} // namespace

void Seed(uint32_t seed)
{
    Generator& g = Get();
    LockGuard hold(g.lock, true);
    SeedLocked(g, seed);
    for (int i = 0; i < 310; ++i)
        NextLocked(g);
}

uint32_t Next()
{
    Generator& g = Get();
    LockGuard hold(g.lock, true);
    return NextLocked(g);
}

} // namespace SharedRandom
