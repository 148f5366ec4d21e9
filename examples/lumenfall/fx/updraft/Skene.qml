// Embers rising around the prism's crystal: 262,144 particles that the GPU
// moves by transform feedback each frame, drawn as instanced shards. Each
// key of the updraft.burst track sets every ember off again from the base at
// once; updraft.lift sets how strongly they rise. The update also counts the
// embers that are still hot, for the zenith skene's flare.
//
// The skene has no camera of its own: it draws with the last one rendered,
// the prism skene's, so the embers circle its crystal.
import QtQuick 2.15
import QuellinDemoSystem 1.0

Scene {
    id: skene
    sceneEnabled: true
    property string sceneDir: "fx/updraft/"
    // Particles along each side of the grid.
    property int side: 512
    // What each particle holds; the update shader writes these outputs, the
    // grid stores them, the shard draw reads them per instance.
    property string particleVaryings: "vec4 posLife; vec4 vel"

    // A ShaderBuffer item names a part of the skene (the edit view shows it
    // by that name) and renders what it holds; the embers' own state lives
    // in the point grid's buffers, shared by vboId.
    ShaderBuffer {
        name: "embers"

        // Moves the embers on; draws nothing itself. (A Shader item finds
        // its files through the sceneDir of its parent or grandparent, so
        // it stays near the top of the skene.)
        Shader {
            file: "embers_update"
            tfVaryings: skene.particleVaryings

            // Starts at 0 every frame, bound to binding 0 for the update,
            // which counts the hot embers into it.
            ShaderAtomicCounter {
                name: "updraft.hot"
                bind: 0
                clear: true

                DrawVB {
                    type: "drawUpdate"
                    vboId: "embers"
                    gridWidth: skene.side
                    gridHeight: skene.side
                    drawNumPoints: skene.side * skene.side
                    tfVaryings: skene.particleVaryings
                    // 1 on the frame that passes a key of the burst track.
                    reset: rocket.syncUpdate + rocket.syncTrigger("updraft.burst")
                    onResetChanged: if (reset > 0) resetParticles()
                    ShaderParam { paramName: "lift"; Track on paramValue { name: "updraft.lift"; offset: 1.0 } }
                }
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
}
