// The demo's first skene: a dusk sky that brightens on every beat, and a
// cube that turns as the opening.spin track says. To start a skene of your
// own, copy this folder under a new name, name its tracks after that name,
// and add it to the setups (tick it in the edit view's skene list).
import QtQuick 2.15
import QuellinDemoSystem 1.0

Scene {
    id: skene
    sceneEnabled: true
    // Where the Shader items of this skene find their files.
    property string sceneDir: "fx/opening/"

    Camera { z: 5.0 }

    Shader {
        file: "sky" // fx/opening/sky.vert and fx/opening/sky.frag
        DrawVB {
            type: "quad"
            blendMode: "off"
            // Behind everything, and never in the way of what follows.
            depthTest: false
            depthWrite: false
            drawBuffers: 1
        }
    }

    Shader {
        file: "cube"
        DrawMesh {
            file: "fx/opening/cube.obj"
            ShaderParam { paramName: "tint"; paramValueVec4: "1.0, 0.76, 0.31, 1.0" }
            // Tipped towards the camera (the first transform is the
            // outermost), then turned about its own axis by the track, in
            // degrees: twice round over the music. A Track writes the
            // track's value into the property once a frame; a binding such
            // as d: rocket.syncUpdate + rocket.sync("opening.spin") * 2
            // does the same with script, for anything more than a scale
            // and an offset.
            Rot { d: 25; ax: 1; ay: 0; az: 0 }
            Rot { Track on d { name: "opening.spin" } ax: 0; ay: 1; az: 0 }
            Sca { s: 1.1 }
        }
    }
}
