// The demo base: its schedule of effects and start times, the window, and run,
// which brings everything up, drives the effects from the clock until the user
// quits, and takes everything down again.
#pragma once

#include <string>
#include <vector>

#include "effect.h"
#include "log.h"
#include "windows.h"

struct sScheduleEntry {
    cEffect* effect;  // not owned
    float start;      // ms from the start of the render loop
};

class cDemo {
public:
    cDemo();
    virtual ~cDemo();
    cDemo(const cDemo&) = delete;
    cDemo& operator=(const cDemo&) = delete;

    // Appends the schedule entries and returns the demo's length in ms.
    virtual float compose() = 0;

    // True when the demo ran and shut down in order; false when start-up failed.
    bool run();
    HWND createWindow(bool fullscreen);
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    const std::vector<sScheduleEntry>& getSchedule() const { return m_schedule; }
    HWND getWindow() const { return m_window; }
    const std::string& getWindowTitle() const { return m_windowTitle; }
    const std::string* getLoadingImage() const { return m_hasLoadingImage ? &m_loadingImage : nullptr; }

protected:
    void addEffect(cEffect* effect, float start) { m_schedule.push_back({effect, start}); }
    void setLoadingImage(const std::string& fileName) {
        m_loadingImage = fileName;
        m_hasLoadingImage = true;
    }
    void setWindowTitle(const std::string& title) { m_windowTitle = title; }

private:
    unsigned selectEffect(uint32_t elapsed, unsigned current) const;
    void renderLoop(cLog& log, float length);

    std::vector<sScheduleEntry> m_schedule;
    std::string m_loadingImage;  // relative to Data\Textures\; absent: no loading screen
    bool m_hasLoadingImage;
    std::string m_windowTitle;
    HWND m_window;
};

// The entry point's work: runs the demo, and when start-up fails shows
// "Something went wrong..." and gives the exit code -1 (0 after a run).
int runDemo(cDemo& demo);
