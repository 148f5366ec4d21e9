// Post-processing over the whole demo, last because its folder name sorts
// last: the image drawn so far is copied into a render target; its bright
// parts and a halo around the prism's crystal go blurred into a smaller one;
// and one full-screen quad puts it all back with the glow, a flare while
// many embers are hot, a slight colour fringe, a vignette and the fade of
// the zenith.fade track. A label drawn by Qt Quick is used as a texture and
// pinned to the crystal's apex, which the prism skene marks with a save
// point.
import QtQuick 2.15
import QuellinDemoSystem 1.0

Scene {
    id: skene
    sceneEnabled: true
    property string sceneDir: "fx/zenith/"

    // Where the apex was at the crystal's last draw, in normalised device
    // coordinates, and the label's size as a share of the window; read once
    // per frame (syncUpdate changes every frame). A save point that nothing
    // recorded reads 0 everywhere, while a recorded one lies between the
    // near and far planes, so its depth is never 0: no label then.
    function labelAt() {
        var x = rocket.syncUpdate + demo.savePointX2D("prism.apex")
        var y = demo.savePointY2D("prism.apex")
        if (demo.savePointZ2D("prism.apex") === 0)
            return "0,0,0,0"
        return x + "," + y + "," + label.width / Math.max(demo.windowWidth, 1)
                + "," + label.height / Math.max(demo.windowHeight, 1)
    }

    // Drawn by Qt Quick into a layer of its own; the demo samples the layer.
    // (Qt Quick's own drawing of it lies under the demo's image.)
    Text {
        id: label
        x: 8; y: 8
        layer.enabled: true
        text: "apex  " + (rocket.syncUpdate + demo.savePointY("prism.apex")).toFixed(2)
        color: "#f2c14e"
        style: Text.Outline
        styleColor: "#101423"
        font.pixelSize: 18
        font.bold: true
    }

    // The demo's image so far.
    RenderTarget {
        RenderTargetLayer { textureRT: "zenith.frame"; blitRT: 0 }
    }

    // What is bright enough to glow, and a halo around the apex, blurred at
    // a small size: the full-size pass then needs one look-up for the glow.
    // The pass adds onto the target, so the layer clears it first.
    RenderTarget {
        RenderTargetLayer {
            textureRT: "zenith.bright"; width: 320; height: 180; format: "RGBA16F"
            Clear { cR: 0; cG: 0; cB: 0; cA: 1 }
        }
        Shader {
            file: "bright"
            DrawVB {
                type: "quad"
                blendMode: "add"
                depthTest: false
                depthWrite: false
                drawBuffers: 1
                Texture { textureRT: "zenith.frame"; textureUnit: 0; textureWrap: "clamp" }
                ShaderParam { paramName: "labelAt"; paramValueVec4: skene.labelAt() }
                ShaderParam { paramName: "halo"; Track on paramValue { name: "zenith.bloom"; offset: 0.35 } }
            }
        }
    }

    // Back onto the demo's image. The counter of the same name as the
    // updraft skene's, without its clear, holds what the embers' update
    // counted this frame.
    ShaderAtomicCounter {
        name: "updraft.hot"
        bind: 0
        Shader {
            file: "post"
            DrawVB {
                type: "quad"
                blendMode: "off"
                depthTest: false
                depthWrite: false
                drawBuffers: 1
                Texture { textureRT: "zenith.frame"; textureUnit: 0; textureWrap: "clamp" }
                Texture { textureRT: "zenith.bright"; textureUnit: 1; textureWrap: "clamp" }
                Texture { textureItem: label; textureUnit: 2; textureWrap: "clamp" }
                ShaderParam { paramName: "labelAt"; paramValueVec4: skene.labelAt() }
                ShaderParam { paramName: "bloom"; Track on paramValue { name: "zenith.bloom"; offset: 0.8 } }
                // As many hot embers as flare the whole picture.
                ShaderParam { paramName: "flareAt"; paramValue: 200000 }
                ShaderParam { paramName: "fade"; Track on paramValue { name: "zenith.fade" } }
            }
        }
    }
}
