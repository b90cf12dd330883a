pragma ComponentBehavior: Bound
import QtQuick
import VXR.App

// The worker service process's memory figures.
Rectangle {
    id: root
    required property JobHistory history
    implicitHeight: column.implicitHeight + 20
    color: "transparent"
    radius: 3
    border.width: 1
    border.color: Qt.rgba(VXRTheme.accent.r, VXRTheme.accent.g, VXRTheme.accent.b, 0.25)
    Accessible.role: Accessible.Grouping
    Accessible.name: "Worker process"

    Column {
        id: column
        x: 10
        y: 10
        width: parent.width - 20
        spacing: 4
        Text {
            text: "WORKER PROCESS"
            color: VXRTheme.text
            font.family: "monospace"
            font.pixelSize: 10
            font.bold: true
            font.letterSpacing: 1
        }
        Repeater {
            model: root.history.workerProcessRows
            Item {
                id: processRow
                required property processRow modelData
                width: column.width
                height: value.implicitHeight
                Accessible.role: Accessible.StaticText
                Accessible.name: processRow.modelData.label + ": " + processRow.modelData.value
                Text {
                    text: processRow.modelData.label
                    color: VXRTheme.textDim
                    font.family: "monospace"
                    font.pixelSize: 9
                }
                Text {
                    id: value
                    anchors.right: parent.right
                    text: processRow.modelData.value
                    color: VXRTheme.text
                    font.family: "monospace"
                    font.pixelSize: 9
                }
            }
        }
    }
}
