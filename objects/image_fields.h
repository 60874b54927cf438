// Fields of a saved object image at fixed offsets, little-endian: one list
// per class serves both writing and reading.
#pragma once

#include "app/maths.h"
#include "platform/byte_cursor.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>

namespace ImageField {
inline void Put(std::span<uint8_t> image, size_t at, const auto& value)
{
    using T = std::remove_cvref_t<decltype(value)>;
    trevok::ByteWriter out(image.subspan(at));
    if constexpr (std::is_same_v<T, bool>)
        out.U8(value ? 1 : 0);
    else if constexpr (std::is_same_v<T, uint64_t> || std::is_same_v<T, int64_t>)
        out.U64(static_cast<uint64_t>(value));
    else if constexpr (std::is_same_v<T, float>)
        out.F32(value);
    else if constexpr (std::is_same_v<T, Vec3>) {
        out.F32(value.x);
        out.F32(value.y);
        out.F32(value.z);
    } else if constexpr (std::is_same_v<T, Quaternion>) {
        out.F32(value.x);
        out.F32(value.y);
        out.F32(value.z);
        out.F32(value.w);
    } else
        out.U32(static_cast<uint32_t>(value));
}

inline void Get(std::span<const uint8_t> image, size_t at, auto& value)
{
    using T = std::remove_cvref_t<decltype(value)>;
    trevok::ByteReader in(image);
    in.Seek(at);
    if constexpr (std::is_same_v<T, bool>)
        value = in.U8() != 0;
    else if constexpr (std::is_same_v<T, uint64_t> || std::is_same_v<T, int64_t>)
        value = static_cast<T>(in.U64());
    else if constexpr (std::is_same_v<T, float>)
        value = in.F32();
    else if constexpr (std::is_same_v<T, Vec3>)
        value = {in.F32(), in.F32(), in.F32()};
    else if constexpr (std::is_same_v<T, Quaternion>)
        value = {in.F32(), in.F32(), in.F32(), in.F32()};
    else
        value = static_cast<T>(in.U32());
}

// No float the game keeps comes near this; a stored one beyond it (or not a
// number at all) comes from a damaged or crafted file, and would overflow
// the tick conversions and the angle folds.
inline constexpr float kMaxMagnitude = 1.0e9f;

inline bool Sound(float f) { return std::isfinite(f) && std::fabs(f) <= kMaxMagnitude; }

// The offset of the first float field `visit` hands over that is not sound,
// or none; `visit` calls its argument as the image visitors call theirs.
template <typename Visit>
std::optional<size_t> FirstUnsound(Visit&& visit)
{
    std::optional<size_t> bad;
    visit([&](size_t at, const auto& value) {
        using T = std::remove_cvref_t<decltype(value)>;
        bool sound = true;
        if constexpr (std::is_same_v<T, float>)
            sound = Sound(value);
        else if constexpr (std::is_same_v<T, Vec3>)
            sound = Sound(value.x) && Sound(value.y) && Sound(value.z);
        else if constexpr (std::is_same_v<T, Quaternion>)
            sound = Sound(value.x) && Sound(value.y) && Sound(value.z) && Sound(value.w);
        if (!sound && !bad)
            bad = at;
    });
    return bad;
}

} // namespace ImageField
