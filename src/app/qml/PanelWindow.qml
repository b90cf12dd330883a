pragma ComponentBehavior: Bound
import QtQuick
import VXR.App

// The small frameless window the tray icon opens.
ContentWindow {
    id: window
    property bool wasActive: false

    title: "VXR Worker"
    flags: Qt.Tool | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint
    width: 440
    height: 560
    minimumWidth: 440
    minimumHeight: 520
    color: VXRTheme.bgDeep

    // Like a menu: it goes away once the user works elsewhere.
    onActiveChanged: {
        if (active)
            wasActive = true
        else if (wasActive) {
            wasActive = false
            hide()
        }
    }

    Shortcut {
        sequence: "Esc"
        onActivated: window.hide()
    }

    ContentView {
        anchors.fill: parent
        controller: window.controller
        hud: window.hud
        tab: window.tab
        detached: false
        onTabSelected: (selected) => window.tab = selected
        onQuitRequested: window.quitRequested()
        onDetachRequested: (tab) => window.detachRequested(tab)
    }

    Rectangle {
        anchors.fill: parent
        color: "transparent"
        border.width: 1
        border.color: Qt.rgba(VXRTheme.accent.r, VXRTheme.accent.g, VXRTheme.accent.b, 0.3)
    }
}
