// The program's entry point.
#include "velmordemo.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    cVelmorDemo demo;
    return runDemo(demo);
}

int main() { return WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWDEFAULT); }
