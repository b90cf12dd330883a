pragma ComponentBehavior: Bound
import QtQuick
import VXR.App

// The running sandboxes, one row per job, fading in and out as they come and go.
ListView {
    id: root

    implicitWidth: 300
    implicitHeight: contentHeight
    interactive: false
    spacing: 14
    Accessible.role: Accessible.List
    Accessible.name: "Running sandboxes"

    delegate: SandboxProgressRow { width: root.width }

    add: Transition { NumberAnimation { property: "opacity"; from: 0; to: 1; duration: 250 } }
    remove: Transition { NumberAnimation { property: "opacity"; to: 0; duration: 250 } }
    displaced: Transition { NumberAnimation { property: "y"; duration: 250 } }
}
