// The named values ("tokens") of the console and level scripts: the only
// variables scripts have. One global list, guarded by a shared/exclusive
// lock since the server thread reads it too.
#pragma once

#include "app/read_write_lock.h"

#include <string>
#include <utility>
#include <vector>

class NamedValueList {
public:
    // Values are kept finite and within this magnitude, so a script cannot
    // plant a NaN or a huge number that later overflows an int conversion.
    static constexpr float kLimit = 1.0e9f;

    static NamedValueList& Global();

    void Set(const std::string& name, float value);
    bool SetIfPresent(const std::string& name, float value);
    bool Get(const std::string& name, float& out) const;
    bool FindByValue(float value, std::string& outName) const;
    void PrintAll() const;
    void Clear();
    // Every name and value, in list order.
    std::vector<std::pair<std::string, float>> All() const;
    // Sets "res", which the spawning commands report their results through.
    void SetResult(float value) { Set("res", value); }

    static float Clamp(float value);

private:
    struct Entry {
        std::string name;
        float value = 0.0f;
    };
    Entry* Find(const std::string& name);
    const Entry* Find(const std::string& name) const;

    mutable ReadWriteLock lock_;
    std::vector<Entry> entries_;
};
