// The sky and the title. A night gradient with slow bands of light and the
// music's spectrum rising from the horizon, drawn behind whatever the other
// skenes draw; over it, while the intro.title track is above 0, the title,
// which Qt Quick draws and the demo uses as a texture.
import QtQuick 2.15
import QuellinDemoSystem 1.0

Scene {
    id: skene
    sceneEnabled: true
    // Where the Shader items of this skene find their files.
    property string sceneDir: "fx/intro/"

    // A track's value now. Reading syncUpdate makes every binding that calls
    // this re-evaluate once per frame, after the tracks were updated.
    function track(name) {
        return rocket.syncUpdate + rocket.sync("intro." + name)
    }

    // The target that the spectrum goes into: 256 float texels of four bins
    // each. Nothing is drawn into it; it only has to exist.
    RenderTarget {
        RenderTargetLayer { textureRT: "intro.spectrum"; width: 256; height: 1; format: "RGBA32F" }
    }
    FFT { targetTexRT: "intro.spectrum" }

    // Qt Quick draws this into a layer of its own; the title quad samples
    // the layer. (Qt Quick's own drawing of it lies under the demo's image.)
    Text {
        id: title
        layer.enabled: true
        text: "LUMENFALL"
        color: "#f2c14e"
        font.pixelSize: 96
        font.letterSpacing: 24
        font.weight: Font.Light
    }

    // The title's own view: it stays put while the prism skene's camera
    // circles the crystal.
    Camera { z: 6.0; viewAngle: 40 }

    Shader {
        file: "sky"
        DrawVB {
            type: "quad"
            blendMode: "off"
            // At the far end of the depth range, tested but never written:
            // the sky fills only what no skene drew before it, so a skene
            // whose folder sorts before this one still shows.
            depthWrite: false
            drawBuffers: 1
            ShaderParam { paramName: "glow"; Track on paramValue { name: "intro.glow" } }
            Texture { textureRT: "intro.spectrum"; textureUnit: 0; textureFilter: "nearest"; textureWrap: "clamp" }
        }
    }

    // Switched on and off by the track: nothing below a disabled Group draws.
    Group {
        effectName: "title"
        enabled: skene.track("title") > 0
        Shader {
            file: "title"
            DrawVB {
                type: "quad"
                blendMode: "add"
                depthTest: false
                depthWrite: false
                drawBuffers: 1
                Texture { textureItem: title; textureUnit: 0; textureWrap: "clamp" }
                ShaderParam { paramName: "fade"; Track on paramValue { name: "intro.title" } }
                // The quad is the unit square: stretch it to the text's
                // proportions, and let it sink in as it fades.
                Pos { y: 1.45 + 0.25 * (1.0 - skene.track("title")) }
                Sca { s: 0.55; x: title.width / Math.max(title.height, 1) }
            }
        }
    }
}
