import QtQuick
import QtQuick.Controls.Basic
import VXR.App

// Every job in the history: what a slice cost on this computer beside the network's
// estimate, with the worker process's memory figures above.
Rectangle {
    id: root
    required property JobHistory history
    readonly property int jobCount: history.model.count
    property bool confirmClear: false
    color: VXRTheme.bgDeep
    Accessible.role: Accessible.Pane
    Accessible.name: "Jobs"

    Rectangle {
        id: divider
        width: parent.width
        height: 1
        color: Qt.rgba(VXRTheme.accent.r, VXRTheme.accent.g, VXRTheme.accent.b, 0.15)
    }
    ListView {
        id: list
        objectName: "jobList"
        anchors.top: divider.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.leftMargin: 20
        anchors.rightMargin: 20
        topMargin: 22
        bottomMargin: 22
        spacing: 14
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar { }
        model: root.history.model

        // Qt 6.4 cannot create a bound component as a view's header (it makes a new
        // context), so this file is not bound and the header and cards read the root
        // and the list by id.
        // qmllint disable unqualified
        header: Column {
            width: list.width
            spacing: 14
            bottomPadding: root.jobCount > 0 ? 14 : 0
            Column {
                width: parent.width
                spacing: 4
                Item {
                    width: parent.width
                    height: jobsTitle.implicitHeight
                    Row {
                        spacing: 8
                        Text {
                            id: jobsTitle
                            text: "JOBS"
                            color: VXRTheme.text
                            font.family: "monospace"
                            font.pixelSize: 20
                            font.weight: Font.Black
                            font.letterSpacing: 1
                        }
                        Text {
                            anchors.baseline: jobsTitle.baseline
                            text: "EXPERIMENTAL"
                            color: VXRTheme.value
                            font.family: "monospace"
                            font.pixelSize: 8
                            font.bold: true
                            font.letterSpacing: 0.5
                        }
                    }
                    Button {
                        id: clearButton
                        objectName: "clearAllButton"
                        visible: root.jobCount > 0
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        flat: true
                        padding: 2
                        text: JobsText.clearAllLabel(root.confirmClear)
                        Accessible.name: text
                        Accessible.onPressAction: if (enabled) clicked()
                        Keys.onReturnPressed: if (enabled) clicked()
                        Keys.onEnterPressed: if (enabled) clicked()
                        Keys.onEscapePressed: root.confirmClear = false
                        background: Item { FocusRing { shown: clearButton.visualFocus } }
                        contentItem: Text {
                            text: clearButton.text
                            color: root.confirmClear ? VXRTheme.value : VXRTheme.textDim
                            font.family: "monospace"
                            font.pixelSize: 9
                            font.bold: true
                        }
                        onClicked: {
                            if (JobsText.clearAllPressClears(root.confirmClear))
                                root.history.clear()
                            root.confirmClear = !root.confirmClear
                        }
                    }
                }
                Text {
                    width: parent.width
                    text: "Per slice, measured on this computer vs. the network's estimate. Memory is the peak during each slice (average · largest); the bar shows what it was made of (Buffers = ArrayBuffers; Spike = peak reached between samples). Memory a previous slice dropped but V8 hasn't collected yet counts too."
                    color: VXRTheme.textDim
                    font.family: "monospace"
                    font.pixelSize: 8
                    wrapMode: Text.WordWrap
                }
            }
            WorkerProcessCard {
                objectName: "workerProcessCard"
                visible: root.history.hasWorkerProcess
                width: parent.width
                history: root.history
            }
            Text {
                objectName: "emptyText"
                visible: root.jobCount === 0
                text: "No jobs yet. Jobs appear here as this worker finishes slices."
                color: VXRTheme.textDim
                font.family: "monospace"
                font.pixelSize: 10
                width: parent.width
                wrapMode: Text.WordWrap
            }
        }

        delegate: JobCard {
            required property string jobId
            width: list.width
            onRemoveRequested: root.history.remove(jobId)
        }
        // qmllint enable unqualified
    }
}
