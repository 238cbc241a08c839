// The viewer's mouse and keys. They are read from SDL's events through an event
// watch: the Win32 stand-in's message queue carries neither the mouse nor the
// ',' and '.' keys, and a watch sees every event as SDL queues it, whoever
// takes it from the queue afterwards.
#pragma once

#include <SDL.h>

#include "viewer_scene.h"

namespace modelview {

class ViewerInput {
public:
    // Watches SDL's events from now on and applies them to `scene`.
    explicit ViewerInput(cViewerScene& scene);
    ~ViewerInput();
    ViewerInput(const ViewerInput&) = delete;
    ViewerInput& operator=(const ViewerInput&) = delete;

    // One event: drags turn the model, the wheel zooms, and the keys do what
    // usageText says.
    void handle(const SDL_Event& event);

private:
    static int watch(void* input, SDL_Event* event);
    void handleKey(const SDL_KeyboardEvent& key);

    cViewerScene& m_scene;
};

// The controls, for the usage text.
const char* controlsText();

}  // namespace modelview
