// Drawn over the skenes by Qt Quick while the demo draws straight into the
// window (until its shaders have settled): what is loaded and the window size.
// While live editing waits for a sync editor, a note in a small window of its
// own says so over the demo's picture.
import QtQuick 2.15
import QtQuick.Window 2.15

Item {
    id: overlay
    width: parent ? parent.width : 0
    height: parent ? parent.height : 0

    property bool firstFrame: false
    property bool shadersSettled: false

    Connections {
        target: overlay.parent
        function onFirstFrameRendered() { overlay.firstFrame = true }
        function onFrameRendered() { overlay.shadersSettled = true }
    }

    // The demo controller beside the skenes: it knows whether an editor is
    // missing.
    function controller() {
        if (!overlay.parent)
            return null
        var items = overlay.parent.children
        for (var i = 0; i < items.length; ++i) {
            if (items[i].editorStatus !== undefined)
                return items[i]
        }
        return null
    }
    readonly property string editorStatus: controller() ? controller().editorStatus : ""

    // The skenes loaded before this overlay, in render order.
    function skeneNames() {
        var names = []
        if (!overlay.parent)
            return names
        var items = overlay.parent.children
        for (var i = 0; i < items.length; ++i) {
            if (items[i].sceneEnabled !== undefined)
                names.push(items[i].name)
        }
        return names
    }

    Rectangle {
        anchors { left: parent.left; right: parent.right; bottom: parent.bottom }
        height: 28
        color: "#a0101218"
        Text {
            anchors { left: parent.left; leftMargin: 10; verticalCenter: parent.verticalCenter }
            color: "#c7ccd6"
            font.pixelSize: 13
            text: "skenes: " + overlay.skeneNames().join(", ")
                  + "   |   " + (overlay.parent ? overlay.parent.windowWidth + " x " + overlay.parent.windowHeight : "")
                  + "   |   " + (overlay.shadersSettled ? "shaders settled" : overlay.firstFrame ? "rendering" : "starting")
        }
    }

    // The demo copies its picture over the whole window once shaders have
    // settled, so the note lives in a window of its own at the bottom left.
    Window {
        visible: overlay.editorStatus !== "" && overlay.Window.window !== null && overlay.Window.window.visible
        flags: Qt.Tool | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint | Qt.WindowDoesNotAcceptFocus
        color: "#202228"
        width: note.implicitWidth + 24
        height: 30
        x: overlay.Window.window ? overlay.Window.window.x + 12 : 0
        y: overlay.Window.window ? overlay.Window.window.y + overlay.Window.window.height - height - 40 : 0
        Text {
            id: note
            anchors.centerIn: parent
            color: "#f2c14e"
            font.pixelSize: 14
            text: overlay.editorStatus
        }
    }
}
