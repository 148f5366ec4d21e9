// Start dialog: choose the setup, the resolution and the modes, then start.
// Enter starts, Escape quits.
import QtQuick 2.15
import QuellinDemoSystem 1.0

Rectangle {
    id: dialog
    width: 560
    height: 460
    color: "#15171c"
    border.color: "#3a3f4b"
    focus: true

    // The setup remembered from the last run comes first. It is chosen again
    // only when the author picks one: otherwise -activeSkenesFile: decides.
    property string chosenSetup: activeSkeneSetups.length > 0 ? activeSkeneSetups[0].name : ""
    property bool setupPicked: false
    // 1280x720 when the monitor offers it: its native size comes first,
    // and a window that large reaches past the screen beside the edit view.
    property string chosenResolution: defaultResolution()

    Rocket { id: rocket }

    function defaultResolution() {
        for (var i = 0; i < resolutions.length; ++i) {
            if (resolutions[i].name === "1280x720")
                return resolutions[i].name
        }
        return resolutions.length > 0 ? resolutions[0].name : ""
    }

    // What each of this demo's setups is for: the sync-editor toggles that
    // choosing it sets (the keys below still flip them). A setup missing
    // here leaves the toggles as they are.
    readonly property var setupModes: ({
        "lumenfall.as": { editors: false, perSkene: true },      // plays from the track files
        "sync-one-editor.as": { editors: true, perSkene: false }, // one sync editor for all skenes
        "sync-per-skene.as": { editors: true, perSkene: true }    // a sync editor for each skene
    })

    function applySetupModes(name) {
        var modes = setupModes[name]
        if (!modes)
            return
        rocketToggle.checked = modes.editors
        rocketToggle.toggled()
        multiRocketToggle.checked = modes.perSkene
        multiRocketToggle.toggled()
    }

    function pickSetup(name) {
        chosenSetup = name
        setupPicked = true
        applySetupModes(name)
    }

    Component.onCompleted: applySetupModes(chosenSetup)

    function start() {
        rocket.setSelectedResolution(chosenResolution)
        if (setupPicked && chosenSetup !== "")
            rocket.setActiveSkeneSetup(chosenSetup)
        rocket.startDemo()
    }

    // The name next to current in rows, by steps; stays at the ends.
    function step(rows, current, by) {
        for (var i = 0; i < rows.length; ++i) {
            if (rows[i].name === current)
                return rows[Math.max(0, Math.min(rows.length - 1, i + by))].name
        }
        return rows.length > 0 ? rows[0].name : current
    }

    Keys.onReturnPressed: start()
    Keys.onEnterPressed: start()
    Keys.onEscapePressed: rocket.exitDemo()
    // Up and Down pick the resolution, Page Up and Page Down the setup.
    Keys.onUpPressed: chosenResolution = step(resolutions, chosenResolution, -1)
    Keys.onDownPressed: chosenResolution = step(resolutions, chosenResolution, 1)
    // F, E, R, M and L flip the toggles below.
    function flip(toggle) {
        toggle.checked = !toggle.checked
        toggle.toggled()
    }

    Keys.onPressed: {
        if (event.key === Qt.Key_PageUp)
            pickSetup(step(activeSkeneSetups, chosenSetup, -1))
        else if (event.key === Qt.Key_PageDown)
            pickSetup(step(activeSkeneSetups, chosenSetup, 1))
        else if (event.key === Qt.Key_F)
            flip(fullScreenToggle)
        else if (event.key === Qt.Key_E)
            flip(editViewToggle)
        else if (event.key === Qt.Key_R)
            flip(rocketToggle)
        else if (event.key === Qt.Key_M)
            flip(multiRocketToggle)
        else if (event.key === Qt.Key_L)
            flip(errorsToggle)
    }

    Column {
        anchors.fill: parent
        anchors.margins: 24
        spacing: 14

        Text {
            text: "TARVONIC"
            color: "#f2c14e"
            font.pixelSize: 30
            font.bold: true
            font.letterSpacing: 6
        }
        Text {
            text: "demo system  ·  Enter starts  ·  Escape quits  ·  arrows choose"
            color: "#8a93a6"
            font.pixelSize: 13
        }

        Row {
            spacing: 24
            height: 190

            Column {
                spacing: 6
                Text { text: "Skene setup"; color: "#c7ccd6"; font.pixelSize: 14 }
                Rectangle {
                    width: 240; height: 160; color: "#1d2027"; border.color: "#2c313c"
                    ListView {
                        anchors.fill: parent; anchors.margins: 4; clip: true
                        model: activeSkeneSetups
                        delegate: Rectangle {
                            width: ListView.view.width; height: 24
                            color: modelData.name === dialog.chosenSetup ? "#2e4a6b" : "transparent"
                            Text { anchors.verticalCenter: parent.verticalCenter; x: 6
                                   text: modelData.name; color: modelData.color; font.pixelSize: 13 }
                            MouseArea { anchors.fill: parent; onClicked: dialog.pickSetup(modelData.name) }
                        }
                    }
                }
            }
            Column {
                spacing: 6
                Text { text: "Resolution"; color: "#c7ccd6"; font.pixelSize: 14 }
                Rectangle {
                    width: 240; height: 160; color: "#1d2027"; border.color: "#2c313c"
                    ListView {
                        anchors.fill: parent; anchors.margins: 4; clip: true
                        model: resolutions
                        delegate: Rectangle {
                            width: ListView.view.width; height: 24
                            color: modelData.name === dialog.chosenResolution ? "#2e4a6b" : "transparent"
                            Text { anchors.verticalCenter: parent.verticalCenter; x: 6
                                   text: modelData.name; color: modelData.color; font.pixelSize: 13 }
                            MouseArea { anchors.fill: parent; onClicked: dialog.chosenResolution = modelData.name }
                        }
                    }
                }
            }
        }

        Grid {
            columns: 2
            columnSpacing: 24
            rowSpacing: 8
            Toggle { id: fullScreenToggle; label: "Full screen  [F]"; checked: rocket.getFullScreen(); onToggled: rocket.setFullScreen(checked) }
            Toggle { id: editViewToggle; label: "Edit view  [E]"; checked: true; onToggled: rocket.setEditViewEnabled(checked) }
            Toggle { id: rocketToggle; label: "Sync editors (rocket)  [R]"; checked: true; onToggled: rocket.setRocketEnabled(checked) }
            Toggle { id: multiRocketToggle; label: "One rocket per skene  [M]"; checked: true; onToggled: rocket.setMultiRocketEnabled(checked) }
            // Off: shader and skene QML errors raise a box that waits for OK.
            // On: they go to a list in the edit view and the demo runs on.
            Toggle { id: errorsToggle; objectName: "errorsToggle"; label: "Errors in the edit view  [L]"; checked: rocket.getErrorsBesideDemo(); onToggled: rocket.setErrorsBesideDemo(checked) }
        }

        Row {
            spacing: 12
            Button { label: "Start"; accent: true; onClicked: dialog.start() }
            Button { label: "Quit"; onClicked: rocket.exitDemo() }
        }
    }
}
