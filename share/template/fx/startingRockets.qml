// Shown while the sync editors start: ignite them, then close this view.
import QtQuick 2.15
import QuellinDemoSystem 1.0

Rectangle {
    width: 420
    height: 140
    color: "#15171c"

    Rocket {
        id: rocket
        onRocketsIgnited: rocket.finishIgnite()
    }

    Text {
        anchors.centerIn: parent
        text: "igniting rockets..."
        color: "#f2c14e"
        font.pixelSize: 22
    }

    Timer {
        interval: 300
        running: true
        onTriggered: rocket.igniteRockets()
    }
}
