#include "present_hooks.h"

namespace d3d8 {
namespace {

PresentObserver g_presentObserver;
bool g_presentPacing = true;

}  // namespace

void setPresentObserver(PresentObserver observer) { g_presentObserver = std::move(observer); }
const PresentObserver& presentObserver() { return g_presentObserver; }

void setPresentPacing(bool paced) { g_presentPacing = paced; }
bool presentPacing() { return g_presentPacing; }

}  // namespace d3d8
