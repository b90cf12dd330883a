import QtQuick
import VXR.App

// Placeholder until the settings screen lands.
Item {
    id: root
    property QtObject controller
    Accessible.role: Accessible.Pane
    Accessible.name: "Settings"

    Text {
        anchors.centerIn: parent
        text: "SETTINGS"
        color: VXRTheme.textDim
        font.pixelSize: 12
        font.letterSpacing: 2
    }
}
