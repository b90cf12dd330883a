import QtQuick
import VXR.App

// The ordinary resizable window the content can be moved into.
Window {
    id: window
    required property QtObject controller
    property QtObject hud
    property alias tab: content.tab
    signal quitRequested()

    title: "VXR Worker"
    width: 720
    height: 620
    minimumWidth: 440
    minimumHeight: 520
    color: VXRTheme.bgDeep

    ContentView {
        id: content
        anchors.fill: parent
        controller: window.controller
        hud: window.hud
        detached: true
        onQuitRequested: window.quitRequested()
    }
}
