// The smallest skene that draws: a cube turning on the hello.spin track.
// No setup activates it; switch it on in the edit view's skene list, or
// copy the folder as the start of a skene of your own.
import QtQuick 2.15
import QuellinDemoSystem 1.0

Scene {
    sceneEnabled: true
    // Where the Shader items of this skene find their files.
    property string sceneDir: "fx/hello/"

    Camera { z: 5.0 }

    Shader {
        file: "cube" // fx/hello/cube.vert and fx/hello/cube.frag
        DrawMesh {
            file: "fx/hello/cube.obj"
            ShaderParam { paramName: "tint"; paramValueVec4: "0.35, 0.8, 1.0, 1.0" }
            Pos { x: -2.2; y: 1.0 }
            // The angle follows the hello.spin track, written once a frame.
            Rot { Track on d { name: "hello.spin" } ax: 1; ay: 1; az: 0 }
            Sca { s: 0.5 }
        }
    }
}
