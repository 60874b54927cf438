// Shared state of the graphics layer's source files: the window, the GL
// context and the screen's frame buffers. Only platform/gfx_*.cpp include it.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL2/SDL.h>

#include <set>

#include "platform/gfx.h"

namespace gfx::detail {

struct Screen {
    int width = 0, height = 0, depth = 0;
    bool windowed = true;
    int buffers = 2;
    GLuint backFbo = 0, backColour = 0;
    GLuint frontFbo = 0, frontColour = 0;
    GLuint zBuffer = 0;
    FormatDesc zFormat;
    bool lost = false;
};

struct State {
    bool sdlVideo = false;
    SDL_Window* window = nullptr;
    Uint32 windowId = 0;  // to tell whether a window handed to us still exists
    bool ownWindow = false;
    SDL_GLContext context = nullptr;
    Screen screen;
    std::set<Texture*> textures;
    uint64_t textureBytes = 0;
    GLuint whiteTexture = 0;  // what an empty texture stage samples
    bool anisotropyExt = false;
    float maxAnisotropy = 1.0f;
    // Bumped whenever GL state changes outside the device's draw set-up, so the
    // device knows its last set-up no longer holds.
    uint64_t epoch = 0;
    // The vertex program that lights as Direct3D does (range, inner cone,
    // colour sources); 0 when it could not be built, and GL's own lighting runs.
    GLuint litProgram = 0;
    bool litProgramTried = false;
};

State& Gl();
inline void Touch();
// Makes the GL context current, creating it on first use; false without a window.
bool EnsureContext();
// glClearColor for a packed ARGB colour; a 16-bit screen keeps the top bits
// of each channel, as a fill of 5-6-5 memory would.
void SetClearColour(uint32_t argb);
// Binds the back buffer as the target of drawing.
void BindBackBuffer();

inline void Touch()
{
    ++Gl().epoch;
}

} // namespace gfx::detail
