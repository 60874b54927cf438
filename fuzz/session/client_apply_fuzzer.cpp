// Server messages into the client: the input is a stream of blocks, each a
// byte of length then that many bytes, applied in order to the world the
// message fixtures address (one object of every class under fixed ids),
// then two frames of updates, the effects they started included. The seeds hold one valid message per type
// with the messages it needs first and every truncation of it.
#include "tests/session/message_world.h"

#include "session/client_apply.h"
#include "session/client_hooks.h"
#include "session/message_queue.h"
#include "effects/ballistic_objects.h"
#include "effects/client_effect_hooks.h"
#include "effects/effect_list.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>

namespace {

// The effects the messages start are the game's own builders; the other
// hooks above the session do nothing here but touch what they are given.
void InstallHooks()
{
    Effects::InstallClientHooks();
    ClientHooks& hooks = ClientHooks::Get();
    hooks.print = [](const char* text) {
        volatile size_t length = std::char_traits<char>::length(text);
        (void)length;
    };
    hooks.playSound = [](int32_t) {};
    hooks.polygonBelow = [](const Vec3&) { return true; };
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::deque<script::Role> roles;
    static const bool installed = (InstallHooks(), true);
    (void)installed;
    MessageWorld::Build(roles);
    std::span<const uint8_t> rest(data, size);
    while (!rest.empty()) {
        const size_t length = rest[0];
        rest = rest.subspan(1);
        const size_t take = length < rest.size() ? length : rest.size();
        Client::ApplyServerMessage(rest.first(take));
        rest = rest.subspan(take);
    }
    WorldObjectTable::UpdateAll(50000, 0.05f);
    WorldObjectTable::UpdateAll(100000, 0.1f);
    WorldObjectTable::DrawAll();
    // The records the messages made run a frame, then go as at level stop.
    Effects::UpdateAndDrawAll(100000, Effects::WorldList());
    Effects::UpdateAndDrawAll(100000, Effects::LateList());
    BallisticObjects::UpdateAll(50000);
    BallisticObjects::UpdateAll(100000);
    BallisticObjects::Clear();
    Effects::ClearAll();
    // Command files and speed answers queue up; one run must not feed the next.
    CommandFileQueue.Clear();
    ClientToServerQueue.Clear();
    return 0;
}
