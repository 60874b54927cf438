// The words of a server message that already kept its size row, and the
// handler table the client's applier dispatches through. Shared by the
// client files only: the replica rows and the session's own rows.
#pragma once

#include "session/client_apply.h"

#include "app/maths.h"
#include "objects/world_object.h"
#include "platform/byte_cursor.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <span>

namespace Client::detail {

class Words {
public:
    explicit Words(std::span<const uint8_t> block) : block_(block) {}
    uint32_t U(uint32_t index) const
    {
        trevok::ByteReader reader(block_.subspan(std::min<size_t>(block_.size(), index * size_t{4})));
        return reader.U32();
    }
    int32_t I(uint32_t index) const { return static_cast<int32_t>(U(index)); }
    float F(uint32_t index) const { return std::bit_cast<float>(U(index)); }
    bool Finite(uint32_t from, uint32_t count) const
    {
        for (uint32_t i = from; i < from + count; ++i) {
            if (!std::isfinite(F(i)))
                return false;
        }
        return true;
    }
    Vec3 Point(uint32_t index) const { return {F(index), F(index + 1), F(index + 2)}; }
    Quaternion Rotation(uint32_t index) const { return {F(index), F(index + 1), F(index + 2), F(index + 3)}; }
    std::span<const uint8_t> Bytes(uint32_t from) const
    {
        return block_.subspan(std::min<size_t>(block_.size(), from));
    }
    size_t Size() const { return block_.size(); }

private:
    std::span<const uint8_t> block_;
};

using Handler = Applied (*)(const Words& w);
inline constexpr uint32_t kLastType = 132;
using Table = std::array<Handler, kLastType + 1>;

inline Applied Ok(bool applied) { return applied ? Applied::kApplied : Applied::kRefused; }

// The replica a message names in word 1, as the given kind; null when there
// is none or it is of another kind.
inline WorldObject* Object(const Words& w) { return WorldObjectTable::FindById(w.U(1)); }
template <typename T>
T* ObjectAs(const Words& w)
{
    return dynamic_cast<T*>(Object(w));
}

// The rows of the session's own notices: clocks, texts, the camera, the
// selection, fog, doors, effects and the track objects' script settings.
void AddSessionRows(Table& table);
// A console line through the client hooks, else the session's print.
void Print(const char* text);
// A numbered sound through the client hooks, else the sound system.
void PlaySound(int32_t sound);
// The same heard from a point; sound 0 is none.
void PlaySoundAt(int32_t sound, const Vec3& point);
// Whether the fog of war hides the point (dense fog: a value of 254 or more).
bool UnderDenseFog(const Vec3& point);
// A point of the fog of war cleared for `seconds` of game time.
void ClearFog(const Vec3& position, float radius, uint32_t kind, float seconds);

// Pick-ups received and items used.
void AddItemRows(Table& table);

} // namespace Client::detail
