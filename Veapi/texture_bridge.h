// Plugs the texture loader into the texture manager: images are decoded into
// memory surfaces, then every level is copied into the display's texture. The
// kept image rides along, so a lost texture is rebuilt without its file.
#pragma once

#include "Veapi/texture_manager.h"

namespace ve {

// Sets the loader up over in-memory surfaces with the formats the display's
// textures take: 32-bit with and without alpha, DXT1 and DXT3 for S3TC files.
void InstallTextureLoader(uint32_t maxTextureSize = 2048);

// The manager's loader: format letters "sfWHOXOYBcAm" load a file, "rWHftcA"
// refills the request's texture from its kept image, "rWHfcmA" rebuilds one.
bool LoadTextureForManager(const TextureLoadRequest& request, TextureLoadResult& result);

} // namespace ve
