// A twisted crystal turning in the sky. The camera circles it (prism.orbit,
// prism.dolly) and shakes as much as prism.shake says; the crystal's spin,
// height, tilt, size and glow follow their prism.* tracks, and it swells with
// the low band of the music. Three small crystals orbit it while
// prism.satellites is on. The tip of the crystal is marked for the zenith
// skene's label.
import QtQuick 2.15
import QuellinDemoSystem 1.0

Scene {
    id: skene
    sceneEnabled: true
    property string sceneDir: "fx/prism/"

    function track(name) {
        return rocket.syncUpdate + rocket.sync("prism." + name)
    }

    // The kick and the chord's low notes: quick to rise, slower to fall.
    // It comes before the items that read it, which so see this frame's
    // value.
    FFT {
        id: bass
        freq: 0.28
        areaWidth: 0.06
        smoothAttack: 0.3
        smooth: 0.85
    }

    // A hand-held wobble, the same on every run of the demo.
    NoiseGenerator { id: shakeX; seed: 3; freq: 7; interpolation: 3 }
    NoiseGenerator { id: shakeY; seed: 4; freq: 5; interpolation: 3 }

    // The camera of this skene and of the ones drawn after it that have
    // none of their own (updraft): the last camera rendered stays current.
    DemoCamera {
        readonly property real angle: skene.track("orbit") * Math.PI / 180
        readonly property real distance: 5.0 + skene.track("dolly")
        readonly property real shake: skene.track("shake")
        x: distance * Math.sin(angle) + 0.08 * shake * shakeX.value
        y: 0.6 + 0.06 * shake * shakeY.value
        z: distance * Math.cos(angle)
        lookAtY: 0.2
        viewAngle: 40
    }

    Shader {
        file: "crystal"
        DrawMesh {
            file: "fx/prism/crystal.obj"
            blendMode: "off"
            cull: true
            cullBack: true
            drawBuffers: 1
            // A draw item applies the parameters and transforms inside a
            // ParamGroup as if they stood in its place.
            ParamGroup {
                ShaderParam { paramName: "glow"; Track on paramValue { name: "prism.glow" } }
                ShaderParam { paramName: "rimColour"; paramValueVec4: "0.55, 0.35, 1.0, 1.0" }
            }
            // The first transform is the outermost: lift, then turn, then
            // tilt, then scale the crystal.
            Pos { Track on y { name: "prism.height" } }
            Rot { d: rocket.time * 24 + skene.track("spin"); ax: 0; ay: 1; az: 0 }
            Rot { Track on d { name: "prism.tilt" } ax: 0; ay: 0; az: 1 }
            Sca { s: 1.0 + skene.track("size") + 0.12 * bass.value }
            // The tip of the crystal (the mesh is scaled to two units tall),
            // which the zenith skene's label follows.
            SavePoint { y: 1.0; target: "prism.apex" }
        }

        Group {
            effectName: "satellites"
            enabled: skene.track("satellites") > 0.5
            Repeater {
                model: 3
                DrawMesh {
                    readonly property real angle: rocket.time * 50 + index * 120
                    file: "fx/prism/crystal.obj"
                    blendMode: "off"
                    cull: true
                    cullBack: true
                    drawBuffers: 1
                    ParamGroup {
                        ShaderParam { paramName: "glow"; paramValue: 0.6 * bass.value }
                        ShaderParam { paramName: "rimColour"; paramValueVec4: "1.0, 0.45, 0.2, 1.0" }
                    }
                    Pos { y: 0.1 + 0.25 * Math.sin((angle + index * 40) * Math.PI / 90) }
                    Rot { d: angle; ax: 0; ay: 1; az: 0 }
                    Pos { x: 1.7 }
                    Rot { d: 90; ax: 0; ay: 0; az: 1 }
                    Sca { s: 0.22 }
                }
            }
        }
    }

    // Smooths the crystals' edges against the sky: it works on what the
    // skenes have drawn so far, so it comes last.
    SMAA {}
}
