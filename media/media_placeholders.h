// The media services the shell calls, in one include.
#pragma once

#include "media/cd_player.h"
#include "media/music_player.h"
#include "media/video_texture.h"
#include "media/sound_system.h"
