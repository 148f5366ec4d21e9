// The first skene of the example demo.
import QtQuick 2.15
import QuellinDemoSystem 1.0

Scene {
    id: skene
    sceneEnabled: true
}
