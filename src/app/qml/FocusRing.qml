pragma ComponentBehavior: Bound
import QtQuick
import VXR.App

// The outline a control shows while it has keyboard focus, so Space and Enter never
// act on something unseen. Placed inside the control's background or indicator.
Rectangle {
    property bool shown: false
    anchors.fill: parent
    anchors.margins: -3
    radius: 4
    color: "transparent"
    border.width: 2
    border.color: VXRTheme.accentLight
    visible: shown
}
