pragma ComponentBehavior: Bound
import QtQuick
import VXR.App

// The earnings line: the portal hint until an account is known, then the earnings
// and the account they are paid to. Selectable; fades between its two forms.
Item {
    id: root
    property real totalEarnings: 0
    property string earningsAccount
    readonly property bool hasAccount: ShellRules.hasAccount(earningsAccount)

    implicitWidth: Math.max(hint.implicitWidth, earnings.implicitWidth)
    implicitHeight: Math.max(hint.implicitHeight, earnings.implicitHeight)

    TextEdit {
        id: hint
        objectName: "portalHint"
        anchors.centerIn: parent
        readOnly: true
        selectByMouse: true
        textFormat: TextEdit.RichText
        text: ShellRules.portalHintHtml
        font.pixelSize: 11
        font.letterSpacing: 1
        selectionColor: VXRTheme.accent
        opacity: root.hasAccount ? 0 : 0.75
        visible: opacity > 0
        Behavior on opacity { NumberAnimation { duration: 200 } }
        onLinkActivated: (link) => Qt.openUrlExternally(link)
        Accessible.role: Accessible.StaticText
        Accessible.name: "Manage jobs, workers, and credits at " + ShellRules.portalHost
        HoverHandler { cursorShape: hint.hoveredLink ? Qt.PointingHandCursor : Qt.IBeamCursor }
    }

    TextEdit {
        id: earnings
        objectName: "earningsLine"
        anchors.centerIn: parent
        readOnly: true
        selectByMouse: true
        textFormat: TextEdit.RichText
        text: ShellRules.depositLineHtml(root.totalEarnings, root.earningsAccount)
        font.pixelSize: 13
        font.letterSpacing: 1
        font.family: "monospace"
        selectionColor: VXRTheme.accent
        opacity: root.hasAccount ? 1 : 0
        visible: opacity > 0
        Behavior on opacity { NumberAnimation { duration: 200 } }
        Accessible.role: Accessible.StaticText
        Accessible.name: ShellRules.earningsText(root.totalEarnings) + " deposited to "
                         + ShellRules.accountText(root.earningsAccount)
    }
}
