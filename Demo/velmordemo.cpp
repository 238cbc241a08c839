#include "velmordemo.h"

cVelmorDemo::cVelmorDemo() {
    setLoadingImage("loading.jpg");
    setWindowTitle("Velmors Demo - Release version");
}

float cVelmorDemo::compose() {
    addEffect(&m_intro, 0.0f);
    addEffect(&m_velmor, 12000.0f);
    addEffect(&m_drop, 24000.0f);
    addEffect(&m_particles, 36000.0f);
    addEffect(&m_extro, 42000.0f);
    addEffect(&m_greetings, 52000.0f);
    // About 11.6 days: in practice the schedule never starts over.
    return 1000000000.0f;
}
