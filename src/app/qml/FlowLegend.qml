import QtQuick
import VXR.App

// Legend entries that fill lines left to right and wrap (WrappingStack).
WrappingStack {
    id: root
    // [{name, value, color}]
    property var items: []
    spacing: 10
    lineSpacing: 4

    Repeater {
        model: root.items
        Row {
            required property var modelData
            spacing: 4
            Accessible.role: Accessible.StaticText
            Accessible.name: modelData.name + ": " + modelData.value
            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                width: 7
                height: 7
                radius: 1
                color: modelData.color
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: modelData.name
                color: VXRTheme.textDim
                font.family: "monospace"
                font.pixelSize: 8
                font.bold: true
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: modelData.value
                color: Qt.rgba(VXRTheme.text.r, VXRTheme.text.g, VXRTheme.text.b, 0.85)
                font.family: "monospace"
                font.pixelSize: 9
            }
        }
    }
}
