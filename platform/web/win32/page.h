// The page the web port runs in, as its Win32 stand-in and back end see it.
// Nothing outside platform/web includes this.
#pragma once

#include "windows.h"

namespace web {

// The canvas the one window draws on ("#canvas").
extern const char kCanvasSelector[];

// Whether the viewer has started the demo (clicked the page). Until then the
// program's clock stands at 0 and its message loop waits, so the render loop
// and its music cue start on the click. A page in frame mode starts at once.
bool started();

// The live window, or null.
HWND pageWindow();

// Hands control to the browser once, so the page is drawn and its events run.
void yieldToBrowser();

}  // namespace web
