// The request rows of the actors' own orders (stop, attack, items, ammunition,
// standing orders, crouching, undo, release) and the actor, unit and
// projectile classes the server makes.
#pragma once

namespace Server {

// Fills the rows and registers the classes and the projectile maker.
void InstallActorRequests();

// The team check of every fourth pass: a living squad actor that carries no
// flag takes another side's flag standing within 2 m of it.
void CheckTeamFlags();

} // namespace Server
