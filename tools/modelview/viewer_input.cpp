#include "viewer_input.h"

namespace modelview {
namespace {

constexpr float kTurnPerPixel = 0.01f;  // radians a pixel of drag turns
constexpr float kTurnPerKey = 0.1f;     // radians a press (or a repeat) of an arrow turns

}  // namespace

ViewerInput::ViewerInput(cViewerScene& scene) : m_scene(scene) { SDL_AddEventWatch(&ViewerInput::watch, this); }

ViewerInput::~ViewerInput() { SDL_DelEventWatch(&ViewerInput::watch, this); }

int ViewerInput::watch(void* input, SDL_Event* event) {
    static_cast<ViewerInput*>(input)->handle(*event);
    return 0;
}

// Dragging turns the model with the pointer, as if it were held: right turns
// its front to the right, down tips its top towards the viewer.
void ViewerInput::handle(const SDL_Event& event) {
    switch (event.type) {
        case SDL_MOUSEMOTION:
            if (event.motion.state & SDL_BUTTON_LMASK) {
                m_scene.m_camera.orbit(-event.motion.xrel * kTurnPerPixel, event.motion.yrel * kTurnPerPixel);
            }
            break;
        case SDL_MOUSEWHEEL: {
            const int sign = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
            m_scene.m_camera.zoom(static_cast<float>(sign * event.wheel.y));
            break;
        }
        case SDL_KEYDOWN: handleKey(event.key); break;
        default: break;
    }
}

// The arrows turn the model as a drag in their direction would, and with Shift
// held Up and Down zoom in and out. Toggles ignore the keyboard's repeats.
void ViewerInput::handleKey(const SDL_KeyboardEvent& key) {
    const bool shift = (key.keysym.mod & KMOD_SHIFT) != 0;
    const bool repeat = key.repeat != 0;
    switch (key.keysym.sym) {
        case SDLK_LEFT: m_scene.m_camera.orbit(kTurnPerKey, 0); break;
        case SDLK_RIGHT: m_scene.m_camera.orbit(-kTurnPerKey, 0); break;
        case SDLK_UP: shift ? m_scene.m_camera.zoom(1) : m_scene.m_camera.orbit(0, -kTurnPerKey); break;
        case SDLK_DOWN: shift ? m_scene.m_camera.zoom(-1) : m_scene.m_camera.orbit(0, kTurnPerKey); break;
        case SDLK_r: m_scene.m_camera.reset(); break;
        case SDLK_SPACE:
            if (!repeat) m_scene.m_animation.togglePlaying();
            break;
        case SDLK_COMMA: m_scene.m_animation.step(-1); break;
        case SDLK_PERIOD: m_scene.m_animation.step(1); break;
        case SDLK_HOME: m_scene.m_animation.rewind(); break;
        case SDLK_w:
            if (!repeat) m_scene.toggleWireframe();
            break;
        case SDLK_b:
            if (!repeat) m_scene.toggleSkeleton();
            break;
        default: break;
    }
}

const char* controlsText() {
    return "  drag, arrow keys     turn the model\n"
           "  wheel, Shift+Up/Down zoom in and out\n"
           "  R                    the framed view again\n"
           "  Space                play or pause the animation\n"
           "  , and .              one frame back or on (paused)\n"
           "  Home                 the first frame\n"
           "  W                    wireframe on or off\n"
           "  B                    the skeleton on or off\n"
           "  Escape               quit\n";
}

}  // namespace modelview
