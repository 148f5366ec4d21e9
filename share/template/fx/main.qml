// The main demo view. The Demo item renders the active skenes, which it loads
// from fx/<skene>/Skene.qml as its own children, and the Rocket controller,
// which renders first so that the skenes see this frame's time. Escape quits.
import QtQuick 2.15
import QuellinDemoSystem 1.0

Demo {
    id: demo
    width: demo.windowWidth
    height: demo.windowHeight
    focus: true

    Keys.onEscapePressed: rocket.exitDemo()

    Rocket { id: rocket }

    Component.onCompleted: demo.reloadDemo()

    // The skenes are loaded and drawn: without sync editors, the demo plays
    // from its track files as soon as its shaders have settled.
    onFirstDemoRender: {
        demo.ackFirstDemoRender()
        rocket.markDemoLoaded()
    }
}
