pragma ComponentBehavior: Bound
import QtQuick
import VXR.App

// Legend entries that fill lines left to right and wrap (WrappingStack).
WrappingStack {
    id: root
    // The job list model's JobCardPart list, and each part's colour.
    property var parts: []
    property var colors: []
    spacing: 10
    lineSpacing: 4

    Repeater {
        model: root.parts
        Row {
            id: entry
            required property jobCardPart modelData
            required property int index
            spacing: 4
            Accessible.role: Accessible.StaticText
            Accessible.name: entry.modelData.name + ": " + entry.modelData.value
            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                width: 7
                height: 7
                radius: 1
                color: root.colors[entry.index]
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: entry.modelData.name
                color: VXRTheme.textDim
                font.family: "monospace"
                font.pixelSize: 8
                font.bold: true
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: entry.modelData.value
                color: Qt.rgba(VXRTheme.text.r, VXRTheme.text.g, VXRTheme.text.b, 0.85)
                font.family: "monospace"
                font.pixelSize: 9
            }
        }
    }
}
