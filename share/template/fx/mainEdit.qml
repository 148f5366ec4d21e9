// The edit view beside the demo: the skenes (switch on and off, reorder),
// the tree of the running skenes, the errors that did not build (with
// "Errors in the edit view" on in the start dialog), a value editor that
// changes a property of a running item, and a status strip. Keyboard: Tab
// moves between the panes; in a list Up and Down move, Space switches a
// skene, Alt+Up and Alt+Down move it; in the tree Right and Left open and
// close, Enter goes to the value; in the errors Enter opens the file at its
// line in Qt Creator.
// F5 reloads, Ctrl+S saves, Ctrl+E exports the tracks, Ctrl+F finds the
// track, Ctrl+O opens the skene in Qt Creator.
import QtQuick 2.15
import QtQuick.Controls 2.15 as C
import QuellinDemoSystem 1.0

DemoRoot {
    id: root
    width: 410
    height: 760

    Rocket { id: rocket }

    // The node the value editor works on, the property chosen there, and
    // what the view says about the last action.
    property var selectedNode: null
    property var selectedProperty: null
    property string status: demo ? "" : "waiting for the demo to load..."
    // The skene list changed since the last load: reloading applies it.
    property bool listChanged: false

    readonly property color ink: "#c7ccd6"
    readonly property color dim: "#8a93a6"
    readonly property color accent: "#f2c14e"
    readonly property color panel: "#1d2027"
    readonly property color line: "#2c313c"
    readonly property color error: "#e06c75"

    function reload() {
        if (!demo)
            return
        demo.unloadSkenes()
        rocket.reload()
        demo.reloadDemo()
        listChanged = false
        status = "reloaded"
    }
    function save() { rocket.saveAll(); status = "asked the sync editors to save" }
    function exportTracks() { rocket.remoteExportAll(); status = "wrote the track files" }
    function findTrack() {
        if (trackField.text === "")
            return
        rocket.findTrack(trackField.text)
        status = "find track " + trackField.text
    }
    function openError(file, line) {
        rocket.openFileAtLine(file, line)
        status = "opened " + file + (line > 0 ? ":" + line : "")
    }
    function openSkene() {
        if (!selectedNode)
            return
        rocket.openFile("qml", "fx/" + selectedNode.skeneName + "/Skene.qml")
        status = "opened fx/" + selectedNode.skeneName + "/Skene.qml"
    }

    Component.onCompleted: {
        showRows()
        tree.forceActiveFocus()
    }

    Shortcut { sequence: "F5"; onActivated: root.reload() }
    Shortcut { sequence: "Ctrl+S"; onActivated: root.save() }
    Shortcut { sequence: "Ctrl+E"; onActivated: root.exportTracks() }
    Shortcut { sequence: "Ctrl+F"; onActivated: root.findTrack() }
    Shortcut { sequence: "Ctrl+O"; onActivated: root.openSkene() }

    // ---- the value editor's side ----

    // The selected property's value in the running item, read again a few
    // times a second (many item properties do not announce changes).
    property var liveValue: undefined
    function readLive() {
        if (!selectedNode || !selectedProperty || !selectedNode.item)
            return undefined
        return selectedNode.item[selectedProperty.name]
    }
    Timer {
        interval: 250; running: root.selectedProperty !== null; repeat: true
        onTriggered: root.liveValue = root.readLive()
    }
    onSelectedPropertyChanged: {
        liveValue = readLive()
        valueField.text = liveValue === undefined ? "" : String(liveValue)
        if (liveValue !== undefined && selectedProperty && selectedProperty.kind !== "bool") {
            // The slider spans the value's own size either way.
            var span = Math.max(1, Math.abs(Number(liveValue)))
            slider.from = Number(liveValue) - span
            slider.to = Number(liveValue) + span
            slider.value = Number(liveValue)
        }
    }

    // A property bound to a track (or anything else that changes) takes
    // its binding's value again at the next frame: the edit does not show.
    Connections {
        target: demo
        ignoreUnknownSignals: true
        function onEditOverridden(skeneName, propertyName, value) {
            root.status = skeneName + "  " + propertyName + " is bound: its binding set it back to " + value
        }
    }

    function applyValue(text) {
        if (!demo || !selectedNode || !selectedProperty)
            return
        var name = selectedProperty.name
        var old = liveValue === undefined ? "" : String(liveValue)
        demo.modifySkeneValue(selectedNode.skeneName, selectedNode.itemPath + "/0:=" + name + ":/:=" + old,
                              name, text)
        status = selectedNode.skeneName + "  " + selectedNode.name + "." + name + " = " + text
    }

    // ---- the tree, flattened into rows ----

    // Open nodes by skene and item path, kept across reloads.
    property var opened: ({})
    property int openedVersion: 0
    function keyOf(node) { return node.skeneName + node.itemPath }
    function isOpen(node) { return opened[keyOf(node)] === true }
    function setOpen(node, open) {
        opened[keyOf(node)] = open
        openedVersion++
    }
    function flatten(nodes, depth, out) {
        for (var i = 0; i < nodes.length; ++i) {
            var node = nodes[i]
            if (!node)
                continue
            out.push({ node: node, depth: depth, hasChildren: node.childs.length > 0 })
            if (node.childs.length > 0 && isOpen(node))
                flatten(node.childs, depth + 1, out)
        }
        return out
    }
    property var rows: { openedVersion; return flatten(myModel, 0, []) }
    onRowsChanged: showRows()
    // A new model puts a list view back at its first row; the rows are
    // handed over here, keeping the selection on the same item across a
    // reload or a fold.
    property bool swappingRows: false
    // The item the selection waits for while a reload has emptied the tree.
    property string wantedKey: ""
    function showRows() {
        var keep = selectedNode
        var key = keep ? keyOf(keep) : wantedKey
        var index = -1
        for (var i = 0; key !== "" && i < rows.length; ++i) {
            if (keyOf(rows[i].node) === key)
                index = i
        }
        if (index < 0 && key === "" && rows.length > 0)
            index = 0
        swappingRows = true
        tree.model = rows
        tree.currentIndex = index
        swappingRows = false
        if (index < 0) {
            // An empty tree (between a reload's unload and its load) keeps
            // the item wanted; a tree without it lets it go.
            wantedKey = rows.length === 0 ? key : ""
            selectNode(null)
        } else {
            wantedKey = ""
            if (rows[index].node !== keep)
                selectNode(rows[index].node)
        }
    }
    function selectNode(node) {
        selectedNode = node
        var props = node && node.editableProperties ? node.editableProperties : []
        propertyBox.model = props.map(function(p) { return p.name })
        selectedProperty = props.length > 0 ? props[0] : null
        propertyBox.currentIndex = props.length > 0 ? 0 : -1
        trackField.text = node ? node.rocketNameStack : ""
    }

    Rectangle {
        anchors.fill: parent
        color: "#15171c"

        Column {
            id: page
            anchors.fill: parent
            anchors.margins: 10
            spacing: 8

            Row {
                spacing: 8
                Text { text: "Setup"; color: root.dim; font.pixelSize: 13; anchors.verticalCenter: parent.verticalCenter }
                Text { text: activeSkenesSetupFile; color: root.accent; font.pixelSize: 15; font.bold: true }
            }

            Row {
                spacing: 6
                EditButton { label: "Reload"; keyHint: "F5"; accent: root.listChanged; onClicked: root.reload() }
                EditButton { label: "Save"; keyHint: "Ctrl+S"; onClicked: root.save() }
                EditButton { label: "Export tracks"; keyHint: "Ctrl+E"; onClicked: root.exportTracks() }
            }

            // ---- skenes ----
            Text {
                text: root.listChanged ? "Skenes  (reload to apply)" : "Skenes"
                color: root.listChanged ? root.accent : root.dim; font.pixelSize: 13
            }
            Pane {
                width: page.width; height: 150
                focusItem: skeneList
                ListView {
                    id: skeneList
                    objectName: "skeneList"
                    anchors.fill: parent; anchors.margins: 3; clip: true
                    activeFocusOnTab: true
                    boundsBehavior: Flickable.StopAtBounds
                    // The active skenes in list order, then the other skene
                    // folders.
                    model: {
                        var out = []
                        for (var i = 0; i < skeneActivationList.length; ++i)
                            out.push(skeneActivationList[i])
                        for (var j = 0; j < skeneDirectoryList.length; ++j) {
                            if (skeneDirectoryList[j].myIndex < 0)
                                out.push(skeneDirectoryList[j])
                        }
                        return out
                    }
                    property int activeCount: {
                        var n = 0
                        for (var i = 0; i < skeneActivationList.length; ++i)
                            if (skeneActivationList[i].myIndex >= 0) n++
                        return n
                    }
                    function toggle(row) {
                        if (!row || (row.myIndex < 0 && row.rocketPort === 0))
                            return
                        if (row.myIndex >= 0)
                            row.deActivateSkene(row.name)
                        else
                            row.activateSkene(row.name)
                        root.listChanged = true
                    }
                    function move(row, by) {
                        if (!row || row.myIndex < 0)
                            return
                        // A drop position: moving down passes the next one.
                        row.moveSkeneToIndex(row.name, by < 0 ? row.myIndex - 1 : row.myIndex + 2)
                        root.listChanged = true
                        currentIndex = Math.max(0, Math.min(activeCount - 1, row.myIndex + by))
                    }
                    Keys.onPressed: {
                        var row = currentIndex >= 0 ? model[currentIndex] : null
                        if (event.key === Qt.Key_Space) {
                            skeneList.toggle(row); event.accepted = true
                        } else if ((event.modifiers & Qt.AltModifier) && event.key === Qt.Key_Up) {
                            skeneList.move(row, -1); event.accepted = true
                        } else if ((event.modifiers & Qt.AltModifier) && event.key === Qt.Key_Down) {
                            skeneList.move(row, 1); event.accepted = true
                        }
                    }
                    highlight: Rectangle { color: skeneList.activeFocus ? "#2f3542" : "#252933"; radius: 3 }
                    highlightMoveDuration: 0
                    delegate: Item {
                        width: skeneList.width; height: 26
                        readonly property bool placeholder: modelData.myIndex < 0 && modelData.rocketPort === 0
                        readonly property bool active: modelData.myIndex >= 0
                        MouseArea {
                            anchors.fill: parent
                            onClicked: { skeneList.currentIndex = index; skeneList.forceActiveFocus() }
                        }
                        Row {
                            x: 6; spacing: 8; anchors.verticalCenter: parent.verticalCenter
                            Rectangle {
                                visible: !placeholder
                                width: 16; height: 16; radius: 3
                                color: active ? root.accent : root.panel; border.color: "#4a5060"
                                MouseArea { anchors.fill: parent; onClicked: skeneList.toggle(modelData) }
                            }
                            Text {
                                text: modelData.name; font.pixelSize: 13
                                color: active ? root.ink : root.dim
                            }
                            Text {
                                visible: active; font.pixelSize: 12; color: root.dim
                                text: "port " + (1338 + modelData.rocketPort)
                            }
                        }
                        Row {
                            visible: active
                            anchors.right: parent.right; anchors.rightMargin: 4
                            anchors.verticalCenter: parent.verticalCenter
                            spacing: 4
                            // The keyboard moves skenes with Alt+Up and
                            // Alt+Down; Tab passes these by.
                            EditButton {
                                label: "\u25b2"; width: 26; height: 20; activeFocusOnTab: false
                                onClicked: skeneList.move(modelData, -1)
                            }
                            EditButton {
                                label: "\u25bc"; width: 26; height: 20; activeFocusOnTab: false
                                onClicked: skeneList.move(modelData, 1)
                            }
                        }
                    }
                }
            }

            // ---- the tree ----
            Text { text: "Running skenes"; color: root.dim; font.pixelSize: 13 }
            Pane {
                width: page.width
                height: page.height - y - editor.height - strip.height - statusLine.height - 3 * page.spacing
                        - (errorsPane.visible ? errorsPane.height + page.spacing : 0)
                focusItem: tree
                ListView {
                    id: tree
                    objectName: "tree"
                    anchors.fill: parent; anchors.margins: 3; clip: true
                    activeFocusOnTab: true
                    boundsBehavior: Flickable.StopAtBounds
                    onCurrentIndexChanged: {
                        if (!root.swappingRows && currentIndex >= 0 && currentIndex < root.rows.length
                                && root.rows[currentIndex].node !== root.selectedNode)
                            root.selectNode(root.rows[currentIndex].node)
                    }
                    Keys.onRightPressed: {
                        var row = root.rows[currentIndex]
                        if (!row) return
                        if (row.hasChildren && !root.isOpen(row.node)) root.setOpen(row.node, true)
                        else if (row.hasChildren) currentIndex++
                    }
                    Keys.onLeftPressed: {
                        var row = root.rows[currentIndex]
                        if (!row) return
                        if (row.hasChildren && root.isOpen(row.node)) {
                            root.setOpen(row.node, false)
                            return
                        }
                        // To the parent row.
                        for (var i = currentIndex - 1; i >= 0; --i) {
                            if (root.rows[i].depth < row.depth) { currentIndex = i; return }
                        }
                    }
                    Keys.onReturnPressed: valueField.forceActiveFocus()
                    Keys.onEnterPressed: valueField.forceActiveFocus()
                    highlight: Rectangle { color: tree.activeFocus ? "#2f3542" : "#252933"; radius: 3 }
                    highlightMoveDuration: 0
                    delegate: Item {
                        width: tree.width; height: 22
                        readonly property var node: modelData.node
                        MouseArea {
                            anchors.fill: parent
                            onClicked: { tree.currentIndex = index; tree.forceActiveFocus() }
                            onDoubleClicked: if (modelData.hasChildren) root.setOpen(node, !root.isOpen(node))
                        }
                        Row {
                            x: 4 + modelData.depth * 14; spacing: 4
                            anchors.verticalCenter: parent.verticalCenter
                            Text {
                                width: 12; font.pixelSize: 11; color: root.dim
                                text: modelData.hasChildren ? (root.isOpen(node) ? "\u25be" : "\u25b8") : ""
                                MouseArea {
                                    anchors.fill: parent; anchors.margins: -4
                                    onClicked: if (modelData.hasChildren) root.setOpen(node, !root.isOpen(node))
                                }
                            }
                            Text {
                                text: node.name; font.pixelSize: 13
                                color: modelData.depth === 0 && !node.skeneEnabled ? root.dim : node.color
                                font.bold: modelData.depth === 0
                            }
                            Text {
                                // An unnamed item is shown by its kind, which
                                // also begins its details.
                                text: modelData.depth === 0 ? (node.skeneEnabled ? "" : "off")
                                      : node.details.indexOf(node.name) === 0 ? node.details.substr(node.name.length).trim()
                                      : node.details
                                font.pixelSize: 11; color: root.dim; elide: Text.ElideRight
                                width: Math.max(0, tree.width - x - 8 - modelData.depth * 14)
                            }
                        }
                    }
                }
            }

            // ---- what did not build, newest first ----
            Pane {
                id: errorsPane
                objectName: "errorsPane"
                width: page.width; height: Math.min(errorList.count, 3) * 44 + 26
                visible: errorList.count > 0
                focusItem: errorList
                border.color: errorList.activeFocus ? root.error : "#5a2a30"
                Text {
                    x: 8; y: 4
                    text: errorList.count === 1 ? "1 error" : errorList.count + " errors"
                    color: root.error; font.pixelSize: 12; font.bold: true
                }
                ListView {
                    id: errorList
                    objectName: "errorList"
                    anchors.fill: parent; anchors.margins: 3; anchors.topMargin: 22; clip: true
                    // A new error never takes the keyboard: Tab comes here.
                    activeFocusOnTab: true
                    boundsBehavior: Flickable.StopAtBounds
                    model: buildErrorList
                    // A list that was empty starts at its newest error.
                    onCountChanged: if (count > 0 && currentIndex < 0) currentIndex = 0
                    Keys.onReturnPressed: if (currentItem) root.openError(currentItem.file, currentItem.line)
                    Keys.onEnterPressed: if (currentItem) root.openError(currentItem.file, currentItem.line)
                    highlight: Rectangle { color: errorList.activeFocus ? "#2f3542" : "#252933"; radius: 3 }
                    highlightMoveDuration: 0
                    delegate: Item {
                        readonly property string file: model.file
                        readonly property int line: model.line
                        width: errorList.width; height: 44
                        MouseArea {
                            anchors.fill: parent
                            onClicked: { errorList.currentIndex = index; root.openError(model.file, model.line) }
                        }
                        Column {
                            x: 6; width: parent.width - 12; anchors.verticalCenter: parent.verticalCenter
                            Text {
                                width: parent.width; elide: Text.ElideLeft
                                text: model.location; color: root.error; font.pixelSize: 12; font.bold: true
                            }
                            Text {
                                width: parent.width; elide: Text.ElideRight; maximumLineCount: 1
                                text: model.text.trim(); color: root.ink; font.pixelSize: 11
                            }
                        }
                    }
                }
            }

            // ---- the value editor ----
            Rectangle {
                id: editor
                width: page.width; height: editorColumn.height + 16
                color: root.panel; border.color: root.line; radius: 3
                Column {
                    id: editorColumn
                    x: 8; y: 8; width: parent.width - 16; spacing: 6

                    Text {
                        width: parent.width; elide: Text.ElideRight
                        text: root.selectedNode ? root.selectedNode.skeneName + "  \u203a  " + root.selectedNode.name
                                                : "Select an item of a running skene"
                        color: root.accent; font.pixelSize: 14; font.bold: true
                    }
                    Text {
                        width: parent.width; elide: Text.ElideRight
                        visible: root.selectedNode !== null
                        text: root.selectedNode ? root.selectedNode.details : ""
                        color: root.ink; font.pixelSize: 11
                    }
                    Text {
                        width: parent.width; elide: Text.ElideLeft
                        visible: root.selectedNode !== null
                        text: root.selectedNode ? root.selectedNode.itemPath : ""
                        color: root.dim; font.pixelSize: 11
                    }
                    Row {
                        spacing: 6
                        Field {
                            id: trackField
                            objectName: "trackField"
                            width: editorColumn.width - findButton.width - openButton.width - 12; height: 28
                            placeholderText: "track name"
                            font.pixelSize: 12
                            selectByMouse: true
                            onAccepted: root.findTrack()
                        }
                        EditButton { id: findButton; label: "Find track"; keyHint: "Ctrl+F"; onClicked: root.findTrack() }
                        EditButton { id: openButton; label: "Qt Creator"; keyHint: "Ctrl+O"; onClicked: root.openSkene() }
                    }
                    Row {
                        spacing: 6
                        visible: root.selectedNode !== null
                        C.ComboBox {
                            id: propertyBox
                            objectName: "propertyBox"
                            width: 150; height: 28
                            font.pixelSize: 12
                            palette.button: "#262a33"
                            palette.buttonText: root.ink
                            palette.text: root.ink
                            palette.window: root.panel
                            palette.base: "#262a33"
                            palette.light: "#3b4252"
                            palette.highlight: "#3b4252"
                            palette.highlightedText: root.accent
                            palette.dark: root.accent
                            enabled: count > 0
                            displayText: count > 0 ? currentText : "nothing to edit"
                            onActivated: root.selectedProperty = root.selectedNode.editableProperties[index]
                        }
                        Field {
                            id: valueField
                            objectName: "valueField"
                            width: editorColumn.width - propertyBox.width - liveText.width - 12; height: 28
                            enabled: root.selectedProperty !== null
                            // A truth value has its switch below.
                            visible: !root.selectedProperty || root.selectedProperty.kind !== "bool"
                            placeholderText: "value, Enter sets it"
                            font.pixelSize: 12
                            selectByMouse: true
                            onAccepted: root.applyValue(text)
                            Keys.onEscapePressed: { text = String(root.liveValue); tree.forceActiveFocus() }
                        }
                        Text {
                            id: liveText
                            width: 60; anchors.verticalCenter: parent.verticalCenter
                            horizontalAlignment: Text.AlignRight; elide: Text.ElideRight
                            font.pixelSize: 12; color: root.dim
                            text: root.liveValue === undefined ? ""
                                  : typeof root.liveValue === "number" ? Number(root.liveValue).toFixed(3)
                                  : String(root.liveValue)
                        }
                    }
                    C.Slider {
                        id: slider
                        objectName: "slider"
                        width: parent.width; height: 28
                        visible: root.selectedProperty !== null && root.selectedProperty.kind !== "bool"
                        // Whole steps for whole numbers; a fortieth of the
                        // span a key press otherwise.
                        readonly property bool whole: root.selectedProperty !== null && root.selectedProperty.kind === "int"
                        stepSize: whole ? 1 : (to - from) / 40
                        snapMode: whole ? C.Slider.SnapAlways : C.Slider.NoSnap
                        palette.dark: root.accent
                        palette.midlight: "#3b4252"
                        palette.light: "#262a33"
                        palette.mid: root.dim
                        onMoved: {
                            var text = whole ? String(Math.round(value)) : value.toFixed(4)
                            valueField.text = text
                            root.applyValue(text)
                        }
                    }
                    C.Switch {
                        id: truthSwitch
                        objectName: "truthSwitch"
                        visible: root.selectedProperty !== null && root.selectedProperty.kind === "bool"
                        checked: root.liveValue === true
                        palette.dark: root.accent
                        palette.midlight: "#3b4252"
                        palette.light: "#262a33"
                        palette.mid: root.dim
                        palette.text: root.ink
                        palette.windowText: root.ink
                        text: checked ? "on" : "off"
                        onToggled: root.applyValue(checked ? "true" : "false")
                    }
                }
            }

            // ---- what the author watches: the frames, the clock, the sync
            // editors and the last reload, a few times a second ----
            Column {
                id: strip
                objectName: "statusStrip"
                width: page.width
                Text {
                    id: stripFrames
                    objectName: "stripFrames"
                    width: page.width; elide: Text.ElideRight
                    color: root.ink; font.pixelSize: 11
                    text: editStatus.framesPerSecond + " fps  \u00b7  " + editStatus.meanMs.toFixed(1) + " ms mean  \u00b7  "
                          + editStatus.worstMs.toFixed(1) + " ms worst"
                }
                Text {
                    id: stripClock
                    objectName: "stripClock"
                    width: page.width; elide: Text.ElideRight
                    color: root.ink; font.pixelSize: 11
                    text: "row " + editStatus.row + "  \u00b7  " + editStatus.seconds.toFixed(2) + " s  \u00b7  "
                          + (editStatus.paused ? "paused" : "playing")
                }
                Text {
                    id: stripEditors
                    objectName: "stripEditors"
                    width: page.width; elide: Text.ElideRight
                    color: root.dim; font.pixelSize: 11
                    readonly property string editors: editStatus.editors.length > 0
                                                      ? "sync " + editStatus.editors.join(", ") : "sync from track files"
                    text: editStatus.lastReload === "" ? editors
                          : editors + "  \u00b7  reloaded " + editStatus.lastReload
                }
            }

            Text {
                id: statusLine
                objectName: "statusLine"
                width: page.width; elide: Text.ElideRight
                // Meshes import while the demo runs on; until the last has
                // come, the line says how many are still to come.
                readonly property int importing: demo ? demo.pendingMeshes : 0
                readonly property string imports: importing === 1 ? "importing 1 mesh"
                                                  : importing > 1 ? "importing " + importing + " meshes" : ""
                text: imports === "" ? root.status : root.status === "" ? imports : imports + "  \u00b7  " + root.status
                color: root.dim; font.pixelSize: 11
            }
        }
    }

    // A text field in the view's colours.
    component Field: C.TextField {
        color: root.ink
        placeholderTextColor: "#5d6577"
        selectionColor: "#3b4252"
        selectedTextColor: root.accent
        background: Rectangle {
            color: parent.enabled ? "#262a33" : root.panel; radius: 3
            border.color: parent.activeFocus ? root.accent : root.line
        }
    }

    // A framed pane whose frame lights up while the list inside has the
    // keyboard.
    component Pane: Rectangle {
        property Item focusItem
        color: root.panel; radius: 3
        border.color: focusItem && focusItem.activeFocus ? "#4a5060" : root.line
    }

    // A flat button that the keyboard can reach (Tab, then Space or Enter).
    component EditButton: Rectangle {
        id: button
        property string label
        property string keyHint
        property bool accent: false
        signal clicked()
        width: Math.max(56, caption.implicitWidth + 20); height: 28; radius: 4
        activeFocusOnTab: true
        color: area.pressed ? "#3b4252" : (accent ? root.accent : "#262a33")
        border.color: activeFocus ? root.accent : "transparent"
        Text {
            id: caption
            anchors.centerIn: parent; text: button.label; font.pixelSize: 13; font.bold: true
            color: button.accent ? "#15171c" : root.ink
        }
        MouseArea { id: area; anchors.fill: parent; hoverEnabled: true; onClicked: button.clicked() }
        Keys.onSpacePressed: clicked()
        Keys.onReturnPressed: clicked()
        Keys.onEnterPressed: clicked()
        C.ToolTip.visible: area.containsMouse && keyHint !== ""
        C.ToolTip.text: keyHint
        C.ToolTip.delay: 600
    }
}
