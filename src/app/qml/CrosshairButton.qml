pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import VXR.App

// The start/stop button: the label between four corner brackets. Sized for the
// longest label so it never changes size.
Button {
    id: control

    // One of the four brackets, by its index: top left, top right, bottom left, bottom right.
    component Corner: Item {
        id: corner
        required property int index
        property color tint
        readonly property bool atRight: index % 2 === 1
        readonly property bool atBottom: index >= 2
        width: 12
        height: 12
        x: atRight ? parent.width - width : 0
        y: atBottom ? parent.height - height : 0
        Rectangle {
            width: parent.width
            height: 2
            y: corner.atBottom ? parent.height - height : 0
            color: corner.tint
        }
        Rectangle {
            width: 2
            height: parent.height
            x: corner.atRight ? parent.width - width : 0
            color: corner.tint
        }
    }

    property bool running: false
    readonly property color tint: running ? VXRTheme.value : VXRTheme.accent

    font.pixelSize: 16
    font.bold: true
    font.letterSpacing: 3
    font.family: "monospace"

    TextMetrics {
        id: longest
        font: control.font
        text: "STOPPING…"
    }

    implicitWidth: Math.ceil(longest.advanceWidth) + 64
    implicitHeight: 54
    opacity: enabled ? 1 : 0.5

    Accessible.role: Accessible.Button
    Accessible.name: text
    Accessible.onPressAction: if (control.enabled) control.clicked()

    contentItem: Text {
        text: control.text.toUpperCase()
        color: control.running ? VXRTheme.value : VXRTheme.text
        font: control.font
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    Keys.onReturnPressed: if (control.enabled) control.clicked()
    Keys.onEnterPressed: if (control.enabled) control.clicked()
    background: Item {
        FocusRing { shown: control.visualFocus; anchors.margins: 0 }
        Rectangle {
            anchors.fill: parent
            anchors.margins: 4
            color: control.tint
            opacity: control.down ? 0.18 : (control.hovered || control.visualFocus ? 0.1 : (control.running ? 0.06 : 0))
        }
        Repeater {
            model: 4
            Corner { tint: control.tint }
        }
    }
}
