#pragma once

class QQmlEngine;

namespace vxr {

// Loads the web engine, once. Loading it costs a GL context that every later window
// shares (about 56 MB with Mesa's software renderer), so the app does it with its first
// window rather than at start: an app started at login that stays in the tray never pays
// for it. Must run before the first window exists, whose GL context shares with it.
void loadWebEngine(QQmlEngine* engine);

} // namespace vxr
