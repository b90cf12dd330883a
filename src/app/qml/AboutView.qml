pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import VXR.App

// Versions, the acceptable-use policy and the contact addresses.
Item {
    id: root

    component SectionHeader: Text {
        color: VXRTheme.textDim
        font.pixelSize: 10
        font.bold: true
        font.letterSpacing: 1.5
        topPadding: 6
        bottomPadding: 2
    }
    component Divider: Rectangle {
        width: parent.width
        height: 1
        color: Qt.rgba(VXRTheme.accent.r, VXRTheme.accent.g, VXRTheme.accent.b, 0.12)
    }
    component SelectableValue: TextEdit {
        readOnly: true
        selectByMouse: true
        selectionColor: VXRTheme.accent
        color: VXRTheme.text
        font.pixelSize: 12
        font.family: "monospace"
        onLinkActivated: (link) => Qt.openUrlExternally(link)
        Accessible.role: Accessible.StaticText
    }

    Flickable {
        id: flick
        anchors.fill: parent
        contentHeight: column.implicitHeight + 40
        boundsBehavior: Flickable.StopAtBounds
        clip: true
        ScrollBar.vertical: ScrollBar { }

        Column {
            id: column
            width: Math.min(560, flick.width - 48)
            x: (flick.width - width) / 2
            y: 20
            spacing: 10

            SectionHeader { text: "VERSIONS" }
            Repeater {
                model: AboutInfo.versionRows
                Item {
                    id: versionRow
                    required property aboutRow modelData
                    width: column.width
                    height: value.implicitHeight
                    Text {
                        text: versionRow.modelData.label
                        color: VXRTheme.textDim
                        font.pixelSize: 12
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    SelectableValue {
                        id: value
                        anchors.right: parent.right
                        text: versionRow.modelData.value
                        Accessible.name: versionRow.modelData.label + ": " + versionRow.modelData.value
                    }
                }
            }

            Divider { }
            SectionHeader { text: "POLICY" }
            SelectableValue {
                textFormat: TextEdit.RichText
                text: AboutInfo.policyHtml
                Accessible.name: AboutInfo.policyText
            }

            Divider { }
            SectionHeader { text: "CONTACT" }
            Repeater {
                model: AboutInfo.contactRows
                Item {
                    id: contactRow
                    required property aboutRow modelData
                    width: column.width
                    height: address.implicitHeight
                    Text {
                        text: contactRow.modelData.label
                        color: VXRTheme.textDim
                        font.pixelSize: 12
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    SelectableValue {
                        id: address
                        anchors.right: parent.right
                        textFormat: TextEdit.RichText
                        text: contactRow.modelData.html
                        Accessible.name: contactRow.modelData.label + ": " + contactRow.modelData.value
                    }
                }
            }
        }
    }
}
