// The edit view beside the demo: the active setup, the active skene list
// (reorder, deactivate), the skene folders (activate) and the skene tree.
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
            spacing: 8

            Text { text: "Setup: " + activeSkenesSetupFile; color: "#f2c14e"; font.pixelSize: 15 }

            Text { text: "Active skenes (rocket)"; color: "#8a93a6"; font.pixelSize: 13 }
            Rectangle {
                width: parent.width; height: 200; color: "#1d2027"; border.color: "#2c313c"
                ListView {
                    id: activeList
                    anchors.fill: parent; anchors.margins: 4; clip: true
                    model: skeneActivationList
                    delegate: Item {
                        width: activeList.width; height: 26
                        Text {
                            anchors.verticalCenter: parent.verticalCenter; x: 6
                            text: modelData.myIndex < 0 ? modelData.name
                                                        : modelData.name + "  (" + modelData.rocketPort + ")"
                            color: modelData.myIndex < 0 ? "#8a93a6" : "#c7ccd6"; font.pixelSize: 13
                        }
                        Row {
                            visible: modelData.myIndex >= 0
                            anchors.right: parent.right; anchors.verticalCenter: parent.verticalCenter
                            spacing: 4
                            Button {
                                label: "\u25b2"; width: 30; height: 22
                                onClicked: modelData.moveSkeneToIndex(modelData.name, modelData.myIndex - 1)
                            }
                            Button {
                                // A drop position: before the skene after the next one.
                                label: "\u25bc"; width: 30; height: 22
                                onClicked: modelData.moveSkeneToIndex(modelData.name, modelData.myIndex + 2)
                            }
                            Button {
                                label: "off"; width: 40; height: 22
                                onClicked: modelData.deActivateSkene(modelData.name)
                            }
                        }
                    }
                }
            }

            Text { text: "Skene folders"; color: "#8a93a6"; font.pixelSize: 13 }
            Rectangle {
                width: parent.width; height: 180; color: "#1d2027"; border.color: "#2c313c"
                ListView {
                    id: folderList
                    anchors.fill: parent; anchors.margins: 4; clip: true
                    model: skeneDirectoryList
                    delegate: Item {
                        width: folderList.width; height: 26
                        Toggle {
                            anchors.verticalCenter: parent.verticalCenter; x: 6
                            label: modelData.name
                            checked: modelData.myIndex >= 0
                            onToggled: {
                                if (checked)
                                    modelData.activateSkene(modelData.name)
                                else
                                    modelData.deActivateSkene(modelData.name)
                            }
                        }
                    }
                }
            }

            Text { text: "Skene tree"; color: "#8a93a6"; font.pixelSize: 13 }
            ListView {
                width: parent.width
                height: 200
                clip: true
                model: myModel
                delegate: Text { text: modelData.name; color: modelData.color; font.pixelSize: 13 }
            }
        }
    }
}
