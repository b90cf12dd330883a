pragma ComponentBehavior: Bound
import QtQuick
import VXR.App

// Home: throttle notice, logo, the start/stop button, earnings and running
// sandboxes, over the drifting grid.
Item {
    id: root
    required property WorkerController controller
    readonly property bool windowShown: visible && Window.visibility !== Window.Hidden
                                        && Window.visibility !== Window.Minimized
    readonly property bool running: controller.evaluatorsRunning

    GridBackground { objectName: "gridBackground"; anchors.fill: parent }

    Flickable {
        id: flick
        anchors.fill: parent
        contentWidth: width
        contentHeight: Math.max(height, column.implicitHeight + 32)
        boundsBehavior: Flickable.StopAtBounds
        clip: true

        Column {
            id: column
            anchors.horizontalCenter: parent.horizontalCenter
            y: Math.max(16, (flick.height - implicitHeight) / 2)
            spacing: 22
            bottomPadding: sandboxes.count > 0 ? 28 : 0

            ThrottleBanner {
                objectName: "throttleBanner"
                anchors.horizontalCenter: parent.horizontalCenter
                maximumWidth: root.width - 32
                notice: root.controller.throttleNotice
                visible: notice !== ""
            }

            Item {
                id: logo
                anchors.horizontalCenter: parent.horizontalCenter
                width: 96
                height: 96
                Accessible.role: Accessible.Graphic
                Accessible.name: root.running ? "VXR Worker, computing" : "VXR Worker"

                Image {
                    id: logoImage
                    anchors.fill: parent
                    source: "qrc:/VXR/App/resources/logo.png"
                    sourceSize.width: 192
                    sourceSize.height: 192
                    fillMode: Image.PreserveAspectFit
                    smooth: true
                }
                IconShape {
                    anchors.centerIn: parent
                    visible: logoImage.status === Image.Error
                    size: 96
                    lineWidth: 1.2
                    color: VXRTheme.accent
                    path: "M12 2 L20.7 7 V17 L12 22 L3.3 17 V7 Z"
                }

                SequentialAnimation {
                    running: root.running && root.windowShown
                    loops: Animation.Infinite
                    onRunningChanged: if (!running) { logo.scale = 1; logo.opacity = 1 }
                    ParallelAnimation {
                        NumberAnimation { target: logo; property: "scale"; to: 1.07; duration: 1800; easing.type: Easing.InOutQuad }
                        NumberAnimation { target: logo; property: "opacity"; to: 0.7; duration: 1800; easing.type: Easing.InOutQuad }
                    }
                    ParallelAnimation {
                        NumberAnimation { target: logo; property: "scale"; to: 1; duration: 1800; easing.type: Easing.InOutQuad }
                        NumberAnimation { target: logo; property: "opacity"; to: 1; duration: 1800; easing.type: Easing.InOutQuad }
                    }
                }
            }

            CrosshairButton {
                objectName: "crosshairButton"
                anchors.horizontalCenter: parent.horizontalCenter
                text: ShellRules.crosshairLabel(root.controller.isStopping, root.controller.manualOverride,
                                                root.controller.idleRestrictionEnabled, root.running)
                running: root.running
                enabled: ShellRules.crosshairEnabled(root.controller.isStopping,
                                                     root.controller.workerProgramsFound)
                onClicked: root.controller.toggleCompute()
            }

            Column {
                objectName: "programsMissing"
                anchors.horizontalCenter: parent.horizontalCenter
                visible: !root.controller.workerProgramsFound
                spacing: 4
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: ShellRules.programsMissingText(root.controller.binDir)
                    color: VXRTheme.value
                    font.family: "monospace"
                    font.pixelSize: 11
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Install the VXR worker; it starts as soon as it is there."
                    color: VXRTheme.textDim
                    font.family: "monospace"
                    font.pixelSize: 10
                }
            }

            Text {
                objectName: "autoStartWait"
                anchors.horizontalCenter: parent.horizontalCenter
                // Only while the button reads "Auto": what automatic start waits for.
                visible: ShellRules.autoStartWaiting(root.controller.isStopping,
                                                     root.controller.manualOverride,
                                                     root.controller.idleRestrictionEnabled,
                                                     root.running)
                text: ShellRules.autoStartWaitText(root.controller.pausedOnBattery,
                                                   root.controller.idleThresholdMinutes)
                color: VXRTheme.textDim
                font.family: "monospace"
                font.pixelSize: 10
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            DepositInfoView {
                objectName: "depositInfo"
                anchors.horizontalCenter: parent.horizontalCenter
                totalEarnings: root.controller.totalEarnings
                earningsAccount: root.controller.earningsAccount
            }

            SandboxProgressSection {
                id: sandboxes
                objectName: "sandboxes"
                anchors.horizontalCenter: parent.horizontalCenter
                width: 300
                model: root.controller.sandboxModel
            }
        }
    }
}
