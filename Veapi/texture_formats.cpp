// The image formats the loader knows from program start.
#include "Veapi/bmp_reader.h"
#include "Veapi/iff_image_reader.h"
#include "Veapi/pnm_reader.h"
#include "Veapi/texture_loader.h"

namespace ve {

void TextureLoader::RegisterBuiltinFormats()
{
    RegisterBmpFormat();
    RegisterIffImageFormat();
    RegisterPnmFormats();
}

} // namespace ve
