// The edit view beside the demo: the active setup and the skene tree.
import QtQuick 2.15
import QuellinDemoSystem 1.0

DemoRoot {
    id: root
    width: 400
    height: 720

    Rectangle {
        anchors.fill: parent
        color: "#15171c"

        Column {
            anchors.fill: parent
            anchors.margins: 12
            spacing: 10

            Text { text: "Setup: " + activeSkenesSetupFile; color: "#f2c14e"; font.pixelSize: 15 }
            Text { text: "Skenes"; color: "#8a93a6"; font.pixelSize: 13 }
            ListView {
                width: parent.width
                height: parent.height - 60
                model: myModel
                delegate: Text { text: modelData.name; color: modelData.color; font.pixelSize: 13 }
            }
        }
    }
}
