pragma ComponentBehavior: Bound
import QtQuick
import VXR.App

// One running job: name, slices done of fetched, percentage and a thin bar.
Item {
    id: root
    required property string jobName
    required property string slicesText
    required property real percent
    required property string percentText

    implicitHeight: column.implicitHeight
    Accessible.role: Accessible.ProgressBar
    Accessible.name: jobName + ", " + slicesText + ", " + percentText

    Column {
        id: column
        width: parent.width
        spacing: 5

        Row {
            width: parent.width
            spacing: 10
            Text {
                width: parent.width - slices.width - percentLabel.width - 2 * parent.spacing
                text: root.jobName.toUpperCase()
                elide: Text.ElideRight
                color: VXRTheme.text
                font.pixelSize: 11
                font.bold: true
                font.letterSpacing: 1
                font.family: "monospace"
            }
            Text {
                id: slices
                text: root.slicesText
                color: VXRTheme.textDim
                font.pixelSize: 10
                font.letterSpacing: 1
                font.family: "monospace"
            }
            Text {
                id: percentLabel
                width: Math.max(36, implicitWidth)
                horizontalAlignment: Text.AlignRight
                text: root.percentText
                color: VXRTheme.accent
                font.pixelSize: 11
                font.family: "monospace"
            }
        }
        Rectangle {
            width: parent.width
            height: 3
            radius: 1.5
            color: Qt.rgba(VXRTheme.accent.r, VXRTheme.accent.g, VXRTheme.accent.b, 0.15)
            Rectangle {
                width: parent.width * Math.max(0, Math.min(100, root.percent)) / 100
                height: parent.height
                radius: parent.radius
                color: VXRTheme.accent
                Behavior on width { NumberAnimation { duration: 300 } }
            }
        }
    }
}
