pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import VXR.App

// A tooltip in the screens' dark style (the default one is light).
ToolTip {
    id: tip
    delay: 500
    contentItem: Text {
        text: tip.text
        color: VXRTheme.text
        font.pixelSize: 11
    }
    background: Rectangle {
        color: VXRTheme.bgDeep
        border.color: Qt.rgba(VXRTheme.accent.r, VXRTheme.accent.g, VXRTheme.accent.b, 0.45)
        radius: 4
    }
}
