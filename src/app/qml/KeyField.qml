pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import VXR.App

// The registration key: hidden while typed, with a show/hide toggle, and the usual
// context menu.
TextField {
    id: field
    property bool revealed: false
    readonly property string eye: "M2 12 C5 6.5 19 6.5 22 12 C19 17.5 5 17.5 2 12 Z M12 9.5 A2.5 2.5 0 1 0 12 14.5 A2.5 2.5 0 1 0 12 9.5 Z"

    echoMode: revealed ? TextInput.Normal : TextInput.Password
    placeholderTextColor: VXRTheme.textDim
    color: VXRTheme.text
    selectionColor: VXRTheme.accent
    selectByMouse: true
    font.family: "monospace"
    font.pixelSize: 12
    rightPadding: reveal.width + 10
    background: Rectangle {
        radius: 3
        color: Qt.rgba(VXRTheme.accent.r, VXRTheme.accent.g, VXRTheme.accent.b, 0.05)
        border.width: 1
        border.color: field.activeFocus ? VXRTheme.accent
                                        : Qt.rgba(VXRTheme.accent.r, VXRTheme.accent.g, VXRTheme.accent.b, 0.35)
    }

    Button {
        id: reveal
        objectName: "revealKeyButton"
        anchors.right: parent.right
        anchors.rightMargin: 4
        anchors.verticalCenter: parent.verticalCenter
        width: 24
        height: 22
        padding: 0
        flat: true
        hoverEnabled: true
        focusPolicy: Qt.TabFocus
        Accessible.name: field.revealed ? "Hide the key" : "Show the key"
        Accessible.onPressAction: reveal.clicked()
        Keys.onReturnPressed: reveal.clicked()
        Keys.onEnterPressed: reveal.clicked()
        onClicked: field.revealed = !field.revealed
        background: Item { FocusRing { shown: reveal.visualFocus } }
        contentItem: IconShape {
            size: 16
            lineWidth: 1.8
            color: reveal.hovered ? VXRTheme.accentLight : VXRTheme.textDim
            path: field.revealed ? field.eye : field.eye + " M4 20 L20 4"
        }
        VXRToolTip {
            visible: reveal.hovered
            text: reveal.Accessible.name
        }
    }

    TapHandler {
        acceptedButtons: Qt.RightButton
        onTapped: menu.popup()
    }
    Menu {
        id: menu
        objectName: "keyFieldMenu"
        // A hidden key is not copied out of the field.
        MenuItem { text: "Cut"; enabled: field.revealed && field.selectedText !== ""; onTriggered: field.cut() }
        MenuItem { text: "Copy"; enabled: field.revealed && field.selectedText !== ""; onTriggered: field.copy() }
        MenuItem { text: "Paste"; enabled: field.canPaste; onTriggered: field.paste() }
        MenuSeparator { }
        MenuItem { text: "Select All"; enabled: field.text !== ""; onTriggered: field.selectAll() }
    }
}
