// Shared state of the graphics layer's source files: the window, the GL
// context and the screen's frame buffers. Only platform/gfx_*.cpp include it.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL2/SDL.h>

#include <memory>
#include <set>
#include <utility>

#include "platform/gfx.h"
#include "platform/owned_handle.h"

namespace gfx::detail {

using platform::Owned;

inline void FreeFramebuffer(GLuint name) { glDeleteFramebuffers(1, &name); }
inline void FreeRenderbuffer(GLuint name) { glDeleteRenderbuffers(1, &name); }
inline void FreeTexture(GLuint name) { glDeleteTextures(1, &name); }
inline void FreeProgram(GLuint name) { glDeleteProgram(name); }
inline void FreeContext(SDL_GLContext context)
{
    SDL_GL_MakeCurrent(nullptr, nullptr);
    SDL_GL_DeleteContext(context);
}
inline void FreeWindow(SDL_Window* window) { SDL_DestroyWindow(window); }

using GlFramebuffer = Owned<GLuint, FreeFramebuffer>;
using GlRenderbuffer = Owned<GLuint, FreeRenderbuffer>;
using GlTexture = Owned<GLuint, FreeTexture>;
using GlProgram = Owned<GLuint, FreeProgram>;
using GlContext = Owned<SDL_GLContext, FreeContext>;
using OwnedWindow = Owned<SDL_Window*, FreeWindow>;

// A new GL name made by `make` (glGenFramebuffers and the like).
template <typename Holder>
Holder MakeGlName(void (*make)(GLsizei, GLuint*))
{
    GLuint name = 0;
    make(1, &name);
    return Holder(name);
}

// The screen's frame buffers. Freed only while their context is current.
struct Screen {
    int width = 0, height = 0, depth = 0;
    bool windowed = true;
    int buffers = 2;
    GlFramebuffer backFbo;
    GlRenderbuffer backColour;
    GlFramebuffer frontFbo;
    GlRenderbuffer frontColour;
    GlRenderbuffer zBuffer;
    FormatDesc zFormat;
    bool lost = false;

    void Forget()
    {
        backFbo.Forget();
        backColour.Forget();
        frontFbo.Forget();
        frontColour.Forget();
        zBuffer.Forget();
    }
};

struct State {
    bool sdlVideo = false;
    SDL_Window* window = nullptr;  // ours (ownWindow) or the window module's
    Uint32 windowId = 0;  // to tell whether a window handed to us still exists
    OwnedWindow ownWindow;
    GlContext context;
    Screen screen;
    std::set<Texture*> textures;
    Texture* target = nullptr;  // the render target drawn into; null: the back buffer
    uint64_t textureBytes = 0;
    GlTexture whiteTexture;  // what an empty texture stage samples
    bool anisotropyExt = false;
    float maxAnisotropy = 1.0f;
    // Bumped whenever GL state changes outside the device's draw set-up, so the
    // device knows its last set-up no longer holds.
    uint64_t epoch = 0;
    // The vertex program that lights as Direct3D does (range, inner cone,
    // colour sources); 0 when it could not be built, and GL's own lighting runs.
    GlProgram litProgram;
    bool litProgramTried = false;

    // At exit nothing is freed by hand: the window module's window, and with
    // it the context, may already be gone.
    ~State()
    {
        screen.Forget();
        whiteTexture.Forget();
        litProgram.Forget();
        context.Forget();
        ownWindow.Forget();
    }
};

State& Gl();
inline void Touch();
// Makes the GL context current, creating it on first use; false without a window.
bool EnsureContext();
// glClearColor for a packed ARGB colour; a 16-bit screen keeps the top bits
// of each channel, as a fill of 5-6-5 memory would.
void SetClearColour(uint32_t argb);
// Where drawing lands: the render target when one is set, else the back
// buffer with the screen's z-buffer.
struct DrawTarget {
    GLuint frame = 0;
    int width = 0, height = 0;
    bool depth = false, stencil = false;
};
DrawTarget CurrentDrawTarget();
// Binds the current draw target (the render target, else the back buffer).
void BindBackBuffer();

inline void Touch()
{
    ++Gl().epoch;
}

} // namespace gfx::detail
