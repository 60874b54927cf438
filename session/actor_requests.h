// The request rows of the actors' own orders (stop, attack, items, ammunition,
// standing orders, crouching, undo, release) and the actor, unit and
// projectile classes the server makes.
#pragma once

namespace Server {

// Fills the rows and registers the classes and the projectile maker.
void InstallActorRequests();

} // namespace Server
