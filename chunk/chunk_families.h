// Registers every chunk class of the library with the chunk registry, once.
// Loading a file calls it; a program that registers classes of its own (the dump
// tool) calls it first so its registrations come later and win.
#pragma once

namespace trevok {

void EnsureChunkFamiliesRegistered();

} // namespace trevok
