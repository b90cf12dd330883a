import QtQuick
import VXR.App

// Placeholder until the jobs screen lands.
Item {
    id: root
    property QtObject controller
    Accessible.role: Accessible.Pane
    Accessible.name: "Jobs"

    Text {
        anchors.centerIn: parent
        text: "JOBS"
        color: VXRTheme.textDim
        font.pixelSize: 12
        font.letterSpacing: 2
    }
}
