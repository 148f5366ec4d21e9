import QtQuick 2.15

// A flat button for the shell views.
Rectangle {
    id: button
    property string label
    property bool accent: false
    signal clicked()
    width: 110; height: 32; radius: 4
    color: area.pressed ? "#3b4252" : (accent ? "#f2c14e" : "#262a33")
    Text { anchors.centerIn: parent; text: button.label; font.pixelSize: 14; font.bold: true
           color: button.accent ? "#15171c" : "#c7ccd6" }
    MouseArea { id: area; anchors.fill: parent; onClicked: button.clicked() }
}
