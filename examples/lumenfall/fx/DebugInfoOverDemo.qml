// Drawn over the skenes by Qt Quick while the demo draws straight into the
// window (until its shaders have settled): what is loaded and the window size.
import QtQuick 2.15

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
}
