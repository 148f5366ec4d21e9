// A twisted crystal turning over a banded night sky. The crystal's spin,
// height, tilt and size, and the glow of the sky and of the crystal's rim,
// follow the prism.* tracks; the spin also runs on with the demo time.
import QtQuick 2.15
import QuellinDemoSystem 1.0

Scene {
    id: skene
    sceneEnabled: true
    property string sceneDir: "fx/prism/"

    // A track's value now. Reading syncUpdate makes every binding that calls
    // this re-evaluate once per frame, after the tracks were updated.
    function track(name) {
        return rocket.syncUpdate + rocket.sync("prism." + name)
    }

    Camera { y: 0.6; z: 5.0; lookAtY: 0.2; viewAngle: 40 }

    Shader {
        file: "backdrop"
        DrawVB {
            type: "quad"
            blendMode: "off"
            depthTest: false
            depthWrite: false
            drawBuffers: 1
            ShaderParam { paramName: "glow"; paramValue: skene.track("glow") }
        }
    }

    Shader {
        file: "crystal"
        DrawMesh {
            file: "fx/prism/crystal.obj"
            blendMode: "off"
            cull: true
            cullBack: true
            drawBuffers: 1
            ShaderParam { paramName: "glow"; paramValue: skene.track("glow") }
            Pos { y: skene.track("height") }
            Rot { d: rocket.time * 24 + skene.track("spin"); ax: 0; ay: 1; az: 0 }
            Rot { d: skene.track("tilt"); ax: 0; ay: 0; az: 1 }
            Sca { s: 1.0 + skene.track("size") }
            // The tip of the crystal, which the zenith skene's label follows.
            SavePoint { y: 1.0; target: "prism.apex" }
        }
    }

    // Smooths the crystal's edges against the sky: it works on what the
    // items above have drawn, so it comes last.
    SMAA {}
}
