// The production: its six effects, when each begins, the loading picture and the
// window's title.
#pragma once

#include "demo.h"
#include "dropeffect.h"
#include "extroeffect.h"
#include "greetingseffect.h"
#include "introeffect.h"
#include "particleeffect.h"
#include "velmoreffect.h"

class cVelmorDemo : public cDemo {
public:
    cVelmorDemo();
    float compose() override;

    // Declared, and so constructed, in this order; the schedule runs particles
    // before the closing picture.
    cIntroEffect m_intro;
    cVelmorEffect m_velmor;
    cDropEffect m_drop;
    cExtroEffect m_extro;
    cParticleEffect m_particles;
    cGreetingsEffect m_greetings;
};
