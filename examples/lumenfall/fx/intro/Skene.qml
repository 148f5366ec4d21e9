// The first skene of the example demo: a title over a gradient, drawn by
// Qt Quick inside the skene's root.
import QtQuick 2.15
import QuellinDemoSystem 1.0

Scene {
    id: skene
    sceneEnabled: true
    width: parent ? parent.width : 0
    height: parent ? parent.height : 0

    Rectangle {
        anchors.fill: parent
        gradient: Gradient {
            GradientStop { position: 0.0; color: "#101423" }
            GradientStop { position: 1.0; color: "#2b1838" }
        }
        Text {
            anchors.centerIn: parent
            text: "lumenfall"
            color: "#f2c14e"
            font.pixelSize: 64
            font.letterSpacing: 12
            opacity: 0.6 + 0.4 * Math.sin(spin.angle * Math.PI / 180)
        }
        Item {
            id: spin
            property real angle: 0
            NumberAnimation on angle { from: 0; to: 360; duration: 4000; loops: Animation.Infinite }
        }
    }
}
