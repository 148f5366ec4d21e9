// A twisted crystal turning over a banded night sky. The crystal's spin,
// height, tilt and size, and the glow of the sky and of the crystal's rim,
// follow the prism.* tracks; the spin also runs on with the demo time. The
// crystal swells with the low band of the music, the sky's horizon shows the
// music's spectrum, and the camera shakes (two noise sources) as much as the
// shake track says.
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

    // The target that the spectrum goes into: 256 float texels of four bins
    // each. Nothing is drawn into it; it only has to exist.
    RenderTarget {
        RenderTargetLayer { textureRT: "prism.spectrum"; width: 256; height: 1; format: "RGBA32F" }
    }

    // The kick and the chord's low notes: quick to rise, slower to fall.
    // They come before the items that read them, which so see this frame's
    // values.
    FFT {
        id: bass
        freq: 0.28
        areaWidth: 0.06
        smoothAttack: 0.3
        smooth: 0.85
        targetTexRT: "prism.spectrum"
    }

    // A hand-held wobble, the same on every run of the demo.
    NoiseGenerator { id: shakeX; seed: 3; freq: 7; interpolation: 3 }
    NoiseGenerator { id: shakeY; seed: 4; freq: 5; interpolation: 3 }

    Camera {
        x: 0.08 * skene.track("shake") * shakeX.value
        y: 0.6 + 0.06 * skene.track("shake") * shakeY.value
        z: 5.0
        lookAtY: 0.2
        viewAngle: 40
    }

    Shader {
        file: "backdrop"
        DrawVB {
            type: "quad"
            blendMode: "off"
            depthTest: false
            depthWrite: false
            drawBuffers: 1
            ShaderParam { paramName: "glow"; paramValue: skene.track("glow") }
            Texture { textureRT: "prism.spectrum"; textureUnit: 0; textureFilter: "nearest"; textureWrap: "clamp" }
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
            Sca { s: 1.0 + skene.track("size") + 0.12 * bass.value }
            // The tip of the crystal, which the zenith skene's label follows.
            SavePoint { y: 1.0; target: "prism.apex" }
        }
    }

    // Smooths the crystal's edges against the sky: it works on what the
    // items above have drawn, so it comes last.
    SMAA {}
}
