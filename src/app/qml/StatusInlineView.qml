import QtQuick
import VXR.App

// The Logs tab: the one HUD web view, taken over by whichever window shows it last.
Rectangle {
    id: root
    property QtObject hud
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

    Component.onCompleted: {
        if (hud) {
            hud.attach(container)
            hud.ensureAlive()
        }
    }
    Component.onDestruction: if (hud) hud.detach(container)
}
