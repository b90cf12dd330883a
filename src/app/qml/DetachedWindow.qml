pragma ComponentBehavior: Bound
import QtQuick
import VXR.App

// The ordinary resizable window the content can be moved into.
ContentWindow {
    id: window
    title: "VXR Worker"
    width: 720
    height: 620
    minimumWidth: 440
    minimumHeight: 520
    color: VXRTheme.bgDeep

    Shortcut {
        sequence: "Ctrl+W"
        onActivated: window.close()
    }

    ContentView {
        anchors.fill: parent
        controller: window.controller
        hud: window.hud
        tab: window.tab
        detached: true
        onTabSelected: (selected) => window.tab = selected
        onQuitRequested: window.quitRequested()
    }
}
