import QtQuick 2.15

// A labelled check box for the shell views.
Row {
    id: toggle
    property string label
    property bool checked: false
    signal toggled()
    spacing: 8
    Rectangle {
        width: 18; height: 18; radius: 3
        color: toggle.checked ? "#f2c14e" : "#1d2027"
        border.color: "#4a5060"
        MouseArea { anchors.fill: parent; onClicked: { toggle.checked = !toggle.checked; toggle.toggled() } }
    }
    Text { text: toggle.label; color: "#c7ccd6"; font.pixelSize: 13; anchors.verticalCenter: parent.verticalCenter }
}
