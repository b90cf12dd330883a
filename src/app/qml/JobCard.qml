pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import VXR.App

// One job: what a slice cost on this computer beside the network's estimate.
Rectangle {
    id: root
    // The job list model's display roles.
    required property string title
    required property string timeRange
    required property string subtitle
    required property var cells // JobCardCell, three per grid row
    required property bool showBreakdown
    required property var parts // JobCardPart
    required property string reuseLine
    required property string budgetLine
    signal removeRequested()

    implicitHeight: column.implicitHeight + 24
    radius: 5
    color: Qt.rgba(VXRTheme.accent.r, VXRTheme.accent.g, VXRTheme.accent.b, 0.04)
    border.width: 1
    border.color: Qt.rgba(VXRTheme.accent.r, VXRTheme.accent.g, VXRTheme.accent.b, 0.16)
    clip: true
    Accessible.role: Accessible.Grouping
    Accessible.name: "Job " + title

    Column {
        id: column
        x: 12
        y: 12
        width: parent.width - 24
        spacing: 8

        Item {
            width: parent.width
            height: Math.max(title.implicitHeight, 14)
            Text {
                id: title
                anchors.left: parent.left
                anchors.right: range.left
                anchors.rightMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                text: root.title
                color: VXRTheme.text
                font.family: "monospace"
                font.pixelSize: 12
                font.bold: true
                elide: Text.ElideRight
                maximumLineCount: 1
            }
            Text {
                id: range
                anchors.right: removeButton.left
                anchors.rightMargin: 6
                anchors.verticalCenter: parent.verticalCenter
                text: root.timeRange
                color: VXRTheme.textDim
                font.family: "monospace"
                font.pixelSize: 9
            }
            Button {
                id: removeButton
                objectName: "removeJobButton"
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                width: 14
                height: 14
                padding: 0
                flat: true
                hoverEnabled: true
                VXRToolTip {
                    objectName: "removeJobToolTip"
                    visible: removeButton.hovered
                    text: "Remove this job from the list"
                }
                Accessible.name: "Remove this job from the list"
                Accessible.onPressAction: if (enabled) clicked()
                Keys.onReturnPressed: if (enabled) clicked()
                Keys.onEnterPressed: if (enabled) clicked()
                background: Item { FocusRing { shown: removeButton.visualFocus } }
                contentItem: IconShape {
                    size: 10
                    lineWidth: 2.6
                    color: VXRTheme.textDim
                    path: "M5 5 L19 19 M19 5 L5 19"
                }
                onClicked: root.removeRequested()
            }
        }
        TextEdit {
            width: parent.width
            readOnly: true
            selectByMouse: true
            selectionColor: VXRTheme.accent
            text: root.subtitle
            color: VXRTheme.textDim
            font.family: "monospace"
            font.pixelSize: 9
            wrapMode: TextEdit.Wrap
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Grid {
            columns: 3
            columnSpacing: 18
            verticalItemAlignment: Grid.AlignBottom
            rowSpacing: 3
            Item { width: 1; height: 1 } // the label column has no header
            Text { text: "THIS COMPUTER"; color: VXRTheme.textDim; font.family: "monospace"; font.pixelSize: 8; font.bold: true; font.letterSpacing: 0.5 }
            Text { text: "NETWORK"; color: VXRTheme.textDim; font.family: "monospace"; font.pixelSize: 8; font.bold: true; font.letterSpacing: 0.5 }
            Repeater {
                // Three cells per row: label, measured here, estimated by the network.
                model: root.cells
                delegate: Text {
                    required property jobCardCell modelData
                    text: modelData.text
                    color: modelData.isLabel ? VXRTheme.textDim
                         : !modelData.isMeasured ? Qt.rgba(VXRTheme.text.r, VXRTheme.text.g, VXRTheme.text.b, 0.8)
                         : modelData.memory ? VXRTheme.value : VXRTheme.accentLight
                    font.family: "monospace"
                    font.pixelSize: modelData.isLabel ? 9 : 11
                    font.bold: modelData.isLabel
                    font.weight: modelData.isMeasured ? Font.DemiBold
                               : (modelData.isLabel ? Font.Bold : Font.Normal)
                    Accessible.role: Accessible.StaticText
                    Accessible.name: modelData.spoken
                }
            }
        }
        RAMBreakdownBar {
            visible: root.showBreakdown
            width: parent.width
            parts: root.parts
        }
        Text {
            visible: text !== ""
            width: parent.width
            text: root.reuseLine
            color: VXRTheme.textDim
            font.family: "monospace"
            font.pixelSize: 9
            wrapMode: Text.WordWrap
        }
        Text {
            visible: text !== ""
            width: parent.width
            text: root.budgetLine
            color: VXRTheme.textDim
            font.family: "monospace"
            font.pixelSize: 9
            wrapMode: Text.WordWrap
        }
    }
}
