pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import VXR.App

// Registration, compute activity and memory settings. Every control writes straight
// into the controller; the rules (bounds, labels, when things show) are SettingsRules.
Item {
    id: root
    required property WorkerController controller
    Accessible.role: Accessible.Pane
    Accessible.name: "Settings"

    property string registrationKey: ""
    property bool confirmingReset: false
    readonly property registrationStatus status: controller.registrationStatus
    readonly property MemoryGovernor governor: controller.memoryGovernor
    readonly property string portal: "https://" + ShellRules.portalHost

    function registerIfPossible() {
        if (!SettingsRules.canRegister(root.registrationKey, root.status))
            return
        root.controller.registerWorker(root.registrationKey)
        keyField.clear()
    }

    Component.onCompleted: {
        if (SettingsRules.checksOnAppearance(status))
            controller.checkRegistration()
    }

    component SectionHeader: Text {
        color: VXRTheme.text
        font.family: "monospace"
        font.pixelSize: 13
        font.weight: Font.Black
        font.letterSpacing: 1
        topPadding: 8
    }
    component Caption: Text {
        width: parent ? parent.width : 0
        color: VXRTheme.textDim
        font.family: "monospace"
        font.pixelSize: 10
        wrapMode: Text.WordWrap
        linkColor: VXRTheme.accentLight
        onLinkActivated: (link) => Qt.openUrlExternally(link)
        Accessible.role: Accessible.StaticText
        Accessible.name: text.replace(/<[^>]*>/g, "")
    }
    component HUDButton: Button {
        id: button
        property color tint: VXRTheme.accent
        property string iconPath: ""
        padding: 6
        leftPadding: 12
        rightPadding: 12
        opacity: enabled ? 1 : 0.4
        Accessible.name: text
        Accessible.onPressAction: if (enabled) clicked()
        Keys.onReturnPressed: if (enabled) clicked()
        Keys.onEnterPressed: if (enabled) clicked()
        background: Rectangle {
            FocusRing { shown: button.visualFocus }
            radius: 3
            color: Qt.rgba(button.tint.r, button.tint.g, button.tint.b, button.down ? 0.25 : 0.1)
            border.width: 1
            border.color: button.tint
        }
        contentItem: Row {
            spacing: 6
            IconShape {
                visible: button.iconPath !== ""
                anchors.verticalCenter: parent.verticalCenter
                size: 13
                path: button.iconPath
                color: button.tint
            }
            Text {
                text: button.text
                color: button.tint
                font.family: "monospace"
                font.pixelSize: 11
                font.bold: true
                font.letterSpacing: 1
            }
        }
    }
    component Divider: Rectangle {
        width: parent.width
        height: 1
        color: Qt.rgba(VXRTheme.accent.r, VXRTheme.accent.g, VXRTheme.accent.b, 0.15)
    }

    Flickable {
        id: flick
        objectName: "settingsFlick"
        anchors.fill: parent
        contentHeight: column.implicitHeight + 48
        boundsBehavior: Flickable.StopAtBounds
        clip: true
        ScrollBar.vertical: ScrollBar { }

        Column {
            id: column
            width: Math.min(560, flick.width - 48)
            x: (flick.width - width) / 2
            y: 24
            spacing: 10

            // --- Registration ---
            SectionHeader { text: "REGISTRATION" }
            Caption {
                textFormat: Text.StyledText
                text: "Create your worker registration key at <a href=\"" + root.portal + "/keys\">"
                      + ShellRules.portalHost + "/keys</a>. Once registered, your worker's earnings account and other config are managed from the portal."
            }
            Row {
                width: parent.width
                spacing: 8
                KeyField {
                    id: keyField
                    objectName: "registrationKeyField"
                    width: parent.width - registerButton.width - parent.spacing
                    placeholderText: "REGISTRATION KEY"
                    Accessible.name: "Registration key"
                    onTextChanged: root.registrationKey = text
                    onAccepted: root.registerIfPossible()
                }
                HUDButton {
                    id: registerButton
                    objectName: "registerButton"
                    text: "REGISTER"
                    enabled: SettingsRules.canRegister(root.registrationKey, root.status)
                    onClicked: root.registerIfPossible()
                }
            }
            Row {
                id: statusRow
                objectName: "registrationStatusRow"
                readonly property statusRowView row: SettingsRules.statusRow(root.status,
                                                                             root.controller.isApplyingRegistration)
                width: parent.width
                spacing: 6
                BusyIndicator {
                    visible: statusRow.row.spinner
                    running: visible
                    width: 16
                    height: 16
                    anchors.verticalCenter: parent.verticalCenter
                }
                IconShape {
                    visible: statusRow.row.iconPath !== ""
                    anchors.verticalCenter: parent.verticalCenter
                    size: 15
                    lineWidth: 2
                    color: statusRow.row.iconColor
                    path: statusRow.row.iconPath
                }
                Text {
                    width: parent.width - 24
                    anchors.verticalCenter: parent.verticalCenter
                    text: statusRow.row.text
                    color: statusRow.row.dim ? VXRTheme.textDim : VXRTheme.text
                    font.family: "monospace"
                    font.pixelSize: 11
                    wrapMode: Text.WordWrap
                    Accessible.role: Accessible.StaticText
                    Accessible.name: "Registration status: " + text
                }
            }
            Column {
                objectName: "resetRow"
                width: parent.width
                spacing: 8
                visible: SettingsRules.showsResetRow(root.status, root.confirmingReset,
                                                     root.controller.isResettingWorkerId)
                Caption { text: SettingsRules.resetCaption(root.status) }
                HUDButton {
                    objectName: "resetButton"
                    text: SettingsRules.resetButtonLabel(root.controller.isResettingWorkerId)
                    tint: VXRTheme.value
                    iconPath: "M4.5 9 A8 8 0 1 1 4 14 M4.5 3.5 V9 H10"
                    onClicked: root.confirmingReset = true
                }
                Column {
                    visible: root.confirmingReset
                    width: parent.width
                    spacing: 8
                    Text {
                        width: parent.width
                        text: SettingsRules.resetConfirmationText
                        color: VXRTheme.value
                        font.family: "monospace"
                        font.pixelSize: 10
                        wrapMode: Text.WordWrap
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                    Row {
                        spacing: 8
                        // Esc on either button cancels, as CANCEL does.
                        Keys.onEscapePressed: root.confirmingReset = false
                        HUDButton {
                            objectName: "confirmResetButton"
                            text: "RESET WORKER ID"
                            tint: VXRTheme.value
                            onClicked: {
                                root.confirmingReset = false
                                root.controller.resetWorkerId()
                            }
                        }
                        HUDButton {
                            text: "CANCEL"
                            tint: VXRTheme.textDim
                            onClicked: root.confirmingReset = false
                        }
                    }
                }
            }

            Divider { }
            // --- Compute activity ---
            SectionHeader { text: "COMPUTE ACTIVITY" }
            HUDCheckbox {
                text: "Join Global Compute Group"
                value: root.controller.joinGlobalGroup
                onEdited: (value) => root.controller.joinGlobalGroup = value
            }
            Caption {
                textFormat: Text.StyledText
                text: "Allow this worker to join the public VXR network in addition to other compute groups specified at <a href=\""
                      + root.portal + "/workers\">" + ShellRules.portalHost + "/workers</a>."
            }
            HUDCheckbox {
                objectName: "idleCheckbox"
                text: "Only run workloads when computer is idle"
                value: root.controller.idleRestrictionEnabled
                // Without idle detection the box can still be turned off, never on.
                enabled: root.controller.idleDetectionAvailable || checked
                onEdited: (value) => root.controller.idleRestrictionEnabled = value
            }
            StepperRow {
                objectName: "idleThresholdStepper"
                width: parent.width
                visible: SettingsRules.showsIdleThreshold(root.controller.idleDetectionAvailable,
                                                          root.controller.idleRestrictionEnabled)
                label: "Idle threshold"
                readonly property real value: root.controller.idleThresholdMinutes
                valueText: SettingsRules.idleThresholdText(value)
                canDecrement: SettingsRules.canStepDown(SettingsRules.IdleThreshold, value)
                canIncrement: SettingsRules.canStepUp(SettingsRules.IdleThreshold, value)
                onDecrement: root.controller.idleThresholdMinutes = SettingsRules.steppedDown(SettingsRules.IdleThreshold, value)
                onIncrement: root.controller.idleThresholdMinutes = SettingsRules.steppedUp(SettingsRules.IdleThreshold, value)
            }
            Caption {
                objectName: "idleStatus"
                visible: root.controller.idleDetectionAvailable
                text: SettingsRules.idleStatusText(root.controller.idleSeconds,
                                                   root.controller.idleSourceName)
            }
            Caption {
                objectName: "idleCaption"
                text: SettingsRules.idleCaption(root.controller.idleDetectionAvailable,
                                                root.controller.idleRestrictionEnabled)
            }
            HUDCheckbox {
                text: "Enable WebGPU"
                value: root.controller.enableWebGPU
                onEdited: (value) => root.controller.enableWebGPU = value
            }

            Divider { }
            // --- This computer ---
            SectionHeader { text: "THIS COMPUTER" }
            HUDCheckbox {
                objectName: "startAtLoginCheckbox"
                text: "Start VXR Worker when I log in"
                value: root.controller.startAtLogin
                onEdited: (value) => root.controller.startAtLogin = value
            }
            Caption { text: "Starts in the tray, with the idle setting above as you left it." }
            HUDCheckbox {
                objectName: "notificationsCheckbox"
                text: "Show notifications"
                value: root.controller.showNotifications
                onEdited: (value) => root.controller.showNotifications = value
            }
            HUDCheckbox {
                objectName: "pauseOnBatteryCheckbox"
                visible: root.controller.hasBattery
                text: "Pause when on battery power"
                value: root.controller.pauseOnBattery
                onEdited: (value) => root.controller.pauseOnBattery = value
            }
            Caption {
                objectName: "batteryCaption"
                visible: root.controller.hasBattery && root.controller.pauseOnBattery
                text: SettingsRules.batteryCaption(root.controller.pausedOnBattery)
            }

            Divider { }
            // --- Memory ---
            SectionHeader { text: "MEMORY (EXPERIMENTAL)" }
            StepperRow {
                width: parent.width
                label: "Memory cap"
                readonly property real value: root.controller.memoryCapPercent
                valueText: SettingsRules.memoryCapText(value, root.governor.totalMemory)
                canDecrement: SettingsRules.canStepDown(SettingsRules.MemoryCap, value)
                canIncrement: SettingsRules.canStepUp(SettingsRules.MemoryCap, value)
                onDecrement: root.controller.memoryCapPercent = SettingsRules.steppedDown(SettingsRules.MemoryCap, value)
                onIncrement: root.controller.memoryCapPercent = SettingsRules.steppedUp(SettingsRules.MemoryCap, value)
            }
            Caption { text: "The most memory VXR work may use, the worker included. New slices wait when the next one wouldn't fit; one always runs." }
            HUDCheckbox {
                text: "Make room for other apps"
                value: root.controller.yieldToOtherApps
                onEdited: (value) => root.controller.yieldToOtherApps = value
            }
            StepperRow {
                width: parent.width
                visible: root.controller.yieldToOtherApps
                label: "Keep free"
                readonly property real value: root.controller.memoryHeadroomGB
                valueText: SettingsRules.headroomText(value)
                canDecrement: SettingsRules.canStepDown(SettingsRules.Headroom, value)
                canIncrement: SettingsRules.canStepUp(SettingsRules.Headroom, value)
                onDecrement: root.controller.memoryHeadroomGB = SettingsRules.steppedDown(SettingsRules.Headroom, value)
                onIncrement: root.controller.memoryHeadroomGB = SettingsRules.steppedUp(SettingsRules.Headroom, value)
            }
            Caption {
                text: root.controller.yieldToOtherApps
                      ? "When other apps need memory, VXR starts fewer slices so this much stays free. Running slices aren't stopped."
                      : "VXR uses up to its cap whatever else is running."
            }
            StepperRow {
                width: parent.width
                label: "Sandboxes"
                readonly property real value: root.controller.maxSandboxes
                readonly property int processors: SettingsRules.activeProcessorCount
                valueText: SettingsRules.wholeNumberText(value)
                canDecrement: SettingsRules.canStepDown(SettingsRules.Sandboxes, value, processors)
                canIncrement: SettingsRules.canStepUp(SettingsRules.Sandboxes, value, processors)
                onDecrement: root.controller.maxSandboxes = SettingsRules.steppedDown(SettingsRules.Sandboxes, value, processors)
                onIncrement: root.controller.maxSandboxes = SettingsRules.steppedUp(SettingsRules.Sandboxes, value, processors)
            }
            Caption { text: SettingsRules.sandboxesCaption(root.controller.performanceCores) }
            Text {
                objectName: "memoryReading"
                width: parent.width
                visible: text !== ""
                text: root.governor.readingText
                color: VXRTheme.accentLight
                font.family: "monospace"
                font.pixelSize: 10
                wrapMode: Text.WordWrap
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }
    }
}
