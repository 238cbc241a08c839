// The program's entry point.
#include "model.h"
#include "velmordemo.h"

// The engine's exercise of the model path. The demo does not schedule it, so it is
// constructed and destroyed with the program and never drawn; tools/modelview shows it.
static cTestModel s_testModel;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    cVelmorDemo demo;
    return runDemo(demo);
}

int main() { return WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWDEFAULT); }
