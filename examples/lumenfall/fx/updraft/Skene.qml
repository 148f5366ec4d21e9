// Embers rising around the prism's crystal: 262,144 particles that the GPU
// moves by transform feedback each frame, drawn as instanced shards. The
// updraft.burst track's keys set every ember off again from the base at
// once; updraft.lift sets how strongly they rise. Skenes render in the
// order of their folders' names: this one after prism, under zenith's glow.
import QtQuick 2.15
import QuellinDemoSystem 1.0

Scene {
    id: skene
    sceneEnabled: true
    property string sceneDir: "fx/updraft/"
    // Particles along each side of the grid.
    property int side: 512
    property string particleVaryings: "vec4 posLife; vec4 vel"

    function track(name) {
        return rocket.syncUpdate + rocket.sync("updraft." + name)
    }

    // The prism skene's camera, so that the embers circle its crystal.
    Camera { y: 0.6; z: 5.0; lookAtY: 0.2; viewAngle: 40 }

    // Moves the embers on; draws nothing itself.
    Shader {
        file: "embers_update"
        tfVaryings: skene.particleVaryings
        DrawVB {
            type: "drawUpdate"
            vboId: "embers"
            gridWidth: skene.side
            gridHeight: skene.side
            drawNumPoints: skene.side * skene.side
            tfVaryings: skene.particleVaryings
            // 1 at the frame that passes a key of the burst track.
            reset: rocket.syncUpdate + rocket.syncTrigger("updraft.burst")
            onResetChanged: if (reset > 0) resetParticles()
            ShaderParam { paramName: "lift"; paramValue: 1.0 + skene.track("lift") }
        }
    }

    // One shard for each ember, read from the ring the update just wrote.
    Shader {
        file: "embers_draw"
        DrawMesh {
            file: "fx/updraft/shard.obj"
            blendMode: "add"
            depthWrite: false
            drawBuffers: 1
            instanceVBO: "embers"
            instanceCount: skene.side * skene.side
            tfVaryings: skene.particleVaryings
        }
    }
}
