// The server's table of player requests, types 5 to 43 (1 and 4 are the
// server thread's own). A block reaches a row only after it kept its size
// row (the server thread checks), so a handler reads every word its row
// promises. The row names how the acting object is found first: by the id
// in word 1, owned by the sender in a networked game, and able to act where
// the row says so; a request that fails this is dropped unanswered.
//
// The server classes fill the rows of their own orders (SetRow); a row
// without a handler is checked and dropped.
#pragma once

#include "app/maths.h"
#include "session/game_message.h"

#include <cstdint>

class GameObject;

namespace RequestTable {

inline constexpr uint32_t kFirstType = 4;
inline constexpr uint32_t kLastType = 43;
// {37, mover id, wanted direction 0 or 1} (12 bytes): switches a path mover.
inline constexpr uint32_t kSwitchMoverType = 37;
inline constexpr uint32_t kSwitchMoverSize = 12;

// One request as its handler reads it.
class Request {
public:
    Request(const GameMessage& message, uint32_t sender) : message_(message), sender_(sender) {}
    uint32_t Type() const { return message_.Type(); }
    uint32_t Sender() const { return sender_; }
    uint32_t Size() const { return message_.Size(); }
    // Word `index` (0 is the type); 0 past the block.
    uint32_t Word(uint32_t index) const;
    float Float(uint32_t index) const;
    Vec3 Point(uint32_t index) const;
    // True when words `from` to `from + count - 1` are finite floats.
    bool Finite(uint32_t from, uint32_t count) const;

private:
    const GameMessage& message_;
    uint32_t sender_;
};

// How a row finds its acting object before its handler runs.
enum class Acting : uint8_t {
    kNone,     // no acting object, or the handler finds its own
    kExisting, // the object at word 1 exists and is the sender's to order
    kCanAct,   // ... and passes the can-act test (actors and units)
};

// `actor` is null only for rows of kind kNone.
using Handler = void (*)(const Request& request, GameObject* actor);

// Replaces a row (the server classes' own orders); a type outside 5 to 43 is
// ignored.
void SetRow(uint32_t type, Acting acting, Handler handler);
// Back to the rows this table fills itself.
void ResetRows();

// The server thread's request hook: the row's acting-object test, then its
// handler. Requests of other types are dropped.
void Apply(const GameMessage& request, uint32_t sender);

// True when `sender` may order `object` (always alone; in a networked game
// only objects of a side the sender was given).
bool SenderOwns(uint32_t sender, const GameObject& object);

} // namespace RequestTable
