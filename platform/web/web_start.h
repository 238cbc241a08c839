// The start of the demo on the web port: what the page, and a tool that runs
// the demo in it, call.
#pragma once

// Starts the program's clock, which stands at 0 until then, and with it the
// render loop and the music cue 12 s into it. The page calls it on the viewer's
// click (Module._webStart); a tool that runs the demo by itself calls it at
// once. Only the first call counts.
extern "C" void webStart();
