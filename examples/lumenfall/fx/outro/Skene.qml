// A skene that the bundled setup leaves out: it loads only when it is
// activated in the edit view's skene list.
import QtQuick 2.15
import QuellinDemoSystem 1.0

Scene {
    sceneEnabled: true
    width: parent ? parent.width : 0
    height: parent ? parent.height : 0

    Text {
        anchors { right: parent.right; top: parent.top; margins: 24 }
        text: "outro"
        color: "#8fbcbb"
        font.pixelSize: 32
    }
}
