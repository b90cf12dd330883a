import QtQuick
import VXR.App

// Placeholder until the metrics screen lands.
Item {
    id: root
    property QtObject controller
    Accessible.role: Accessible.Pane
    Accessible.name: "Metrics"

    Text {
        anchors.centerIn: parent
        text: "METRICS"
        color: VXRTheme.textDim
        font.pixelSize: 12
        font.letterSpacing: 2
    }
}
