#pragma once
// Every GPU resource and piece of render state that the items of a frame
// share, in one record: the shaders and their file watch, the meshes and
// their imports, the vertex buffers and point grids, the running particle
// capture, the render targets and their stack, the atomic counters, the
// depth stacks, the bound draw framebuffer, the current camera, and whether
// GLEW is loaded.
//
// The frame host makes it with its GL context current (the Demo item, when
// its window's context exists; a test's context) and destroys it with that
// context current again, which deletes every GL object it holds; without
// the context current the objects are only forgotten (they go with their
// context). Entries live as long as the record: a reloaded skene finds its
// shaders, meshes and targets again by name. Items reach the record made
// last through gpu(); nothing in gpu/ does, every function there is handed
// the part it works on.
//
// Used only on the thread that renders, as Qt Quick's basic render loop does.
#include <GL/glew.h>

#include "gpu/AtomicCounters.h"
#include "gpu/Camera.h"
#include "gpu/DepthState.h"
#include "gpu/FramebufferBinding.h"
#include "gpu/MeshImports.h"
#include "gpu/MeshRegistry.h"
#include "gpu/RenderTarget.h"
#include "gpu/RenderTargetRegistry.h"
#include "gpu/ShaderCache.h"
#include "gpu/TransformFeedback.h"

#include <memory>

class GpuResources {
public:
    // Loads GLEW for the context current now (glewLoaded says whether it
    // could) and becomes the record that gpu() answers, until it is
    // destroyed (then the one made before it, if any, answers again).
    GpuResources();
    ~GpuResources();
    GpuResources(const GpuResources&) = delete;
    GpuResources& operator=(const GpuResources&) = delete;

    // Deletes every GL object of the record, leaving the entries in place
    // without them; needs the record's context current.
    void releaseGlObjects();
    // True when the context the record was made with is current.
    bool contextCurrent() const;

    bool glewLoaded = false;
    FramebufferBinding framebuffer;
    RenderTargetStack targetStack{framebuffer};
    RenderTargetRegistry targets{targetStack};
    ShaderCache shaders;
    // Imported meshes by the mesh item's key.
    MeshTable meshes;
    // Their imports on the worker thread; made after the table, so it goes
    // first and no hand-over can reach a mesh that is gone.
    MeshImports meshImports;
    // Quads and point grids by the vertex-buffer item's key.
    MeshTable vertexBuffers;
    FeedbackState feedback;
    AtomicCounterRegistry counters;
    DepthStacks depth;
    CurrentCamera camera;

private:
    struct Context;
    std::unique_ptr<Context> context_;
    GpuResources* previous_ = nullptr;
};

// The record made last and still alive, or null.
GpuResources* currentGpuResources();
// The same, for code that runs only where a frame host has made one (the
// render and synchronisation of items); a call without one ends the process
// with a message.
GpuResources& gpu();

// True when a record exists and GLEW is loaded for it, loading it now for
// the context current (Qt Quick may synchronise items before the frame has
// run); without a context it stays false and is tried again next time.
bool gpuReady();
// Whether GLEW is loaded for the current record (false without one), and
// forgetting that it is, so the next gpuReady() loads it again (for tests).
bool glewReady();
void forgetGlew();
