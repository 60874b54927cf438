#include "console/named_values.h"

#include "console/text_console.h"

#include <cmath>
#include <strings.h>

namespace {
// At namespace scope, made before main: it outlives the exit handlers that
// start-up registers, which still clear it.
NamedValueList g_namedValues;
} // namespace

NamedValueList& NamedValueList::Global()
{
    return g_namedValues;
}

float NamedValueList::Clamp(float value)
{
    if (std::isnan(value))
        return 0.0f;
    return std::fmax(-kLimit, std::fmin(kLimit, value));
}

NamedValueList::Entry* NamedValueList::Find(const std::string& name)
{
    for (Entry& e : entries_)
        if (strcasecmp(e.name.c_str(), name.c_str()) == 0)
            return &e;
    return nullptr;
}

const NamedValueList::Entry* NamedValueList::Find(const std::string& name) const
{
    return const_cast<NamedValueList*>(this)->Find(name);
}

void NamedValueList::Set(const std::string& name, float value)
{
    LockGuard guard(lock_, true);
    if (Entry* e = Find(name))
        e->value = Clamp(value);
    else
        entries_.push_back({name, Clamp(value)});
}

std::vector<std::pair<std::string, float>> NamedValueList::All() const
{
    LockGuard guard(lock_, false);
    std::vector<std::pair<std::string, float>> all;
    for (const Entry& e : entries_)
        all.emplace_back(e.name, e.value);
    return all;
}

bool NamedValueList::SetIfPresent(const std::string& name, float value)
{
    LockGuard guard(lock_, true);
    Entry* e = Find(name);
    if (!e)
        return false;
    e->value = Clamp(value);
    return true;
}

bool NamedValueList::Get(const std::string& name, float& out) const
{
    LockGuard guard(lock_, false);
    const Entry* e = Find(name);
    if (!e)
        return false;
    out = e->value;
    return true;
}

bool NamedValueList::FindByValue(float value, std::string& outName) const
{
    LockGuard guard(lock_, false);
    for (const Entry& e : entries_)
        if (e.value == value) {
            outName = e.name;
            return true;
        }
    return false;
}

void NamedValueList::PrintAll() const
{
    // Printed after the lock is dropped: printing may run other code.
    std::vector<std::string> lines;
    {
        LockGuard guard(lock_, false);
        for (const Entry& e : entries_)
            lines.push_back(e.name + " = " + FormatFloat(e.value));
    }
    for (const std::string& line : lines)
        TextConsole::Print(line.c_str());
}

void NamedValueList::Clear()
{
    LockGuard guard(lock_, true);
    entries_.clear();
}
