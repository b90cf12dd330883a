pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Window
import VXR.App

// The Logs tab: the one HUD web view, taken over by whichever window shows it last.
Rectangle {
    id: root
    required property HUDWebView hud
    color: VXRTheme.bgDeep
    Accessible.role: Accessible.Pane
    Accessible.name: "Worker log"

    Rectangle {
        id: divider
        anchors.top: parent.top
        width: parent.width
        height: 1
        color: Qt.rgba(VXRTheme.accent.r, VXRTheme.accent.g, VXRTheme.accent.b, 0.15)
    }

    Item {
        id: container
        objectName: "hudContainer"
        anchors.top: divider.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
    }

    // Shown: visible in a window that is itself shown. Each showing takes the view over
    // (another window may have taken it meanwhile) and checks the page is alive.
    readonly property bool shown: visible && Window.window !== null && Window.window.visible
    onShownChanged: if (shown) takeOver()
    Component.onCompleted: if (shown) takeOver()
    // Null only where no web engine runs (tests of the other screens).
    Component.onDestruction: if (hud) hud.detach(container)

    function takeOver() {
        if (!hud)
            return
        hud.attach(container)
        hud.ensureAlive()
    }
}
