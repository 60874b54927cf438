// Points a level build's shape requests at the shared model caches, so every
// role that names the same model shares one shape across levels.
#pragma once

class LevelServices;

void UseModelCaches(LevelServices& services);
