#pragma once
// The particle ring of a point grid: buffers that a vertex program writes by
// transform feedback and that later draws read back as vertex input. Each
// frame the previous frame's particles are drawn again as input and captured
// into the other ring buffer; a third buffer of zeros seeds the ring.
//
// Three slots: 0 and 1 form the ring, 2 is the seed slot. Slot i has its own
// buffer, transform feedback object (with buffer i at binding 0),
// primitives-written query and vertex array (reading buffer i with the
// grid's layout). GL objects are made by create() and released by
// release(); every call here needs the demo's context current.
#include <GL/glew.h>

#include "gpu/VertexLayout.h"

#include <cstdint>

class Shader;
struct Mesh;
struct MeshRecord;
struct TransformFeedback;

// Which ring captures now: GL runs one capture at a time in a context, so
// there is one of these per set of GPU resources (gpu/GpuResources.h).
struct FeedbackState {
    TransformFeedback* running = nullptr;
    // A capture, or a draw whose program stores to buffers or images, ran
    // since the last memory barrier: a pass that reads what it wrote asks
    // for one first.
    bool writesPending = false;

    bool captureRunning() const { return running != nullptr; }
    // Ends a capture left running (a pass 2 without its pass 3), so that
    // what is drawn after the skenes is rasterised again. The frame calls
    // it at its end.
    void finishOpenCapture();
};

// Slots in the ring; the seed slot comes after them.
constexpr int kFeedbackRingSize = 2;
constexpr int kFeedbackSeedSlot = kFeedbackRingSize;
constexpr int kFeedbackSlots = kFeedbackRingSize + 1;

// Most bytes the three buffers of one ring may take together.
constexpr int64_t kMaxFeedbackBytes = int64_t(1) << 30;

// The ring slot that follows slot.
int nextFeedbackSlot(int slot);

struct TransformFeedback {
    GLuint buffers[kFeedbackSlots] = {0, 0, 0};
    GLuint feedbacks[kFeedbackSlots] = {0, 0, 0};
    GLuint queries[kFeedbackSlots] = {0, 0, 0};
    GLuint arrays[kFeedbackSlots] = {0, 0, 0};
    GLsizei stride = 0; // of the layout set last
    int itemCount = 0;
    int floatsPerItem = 0;
    int64_t byteSize = 0; // of each buffer
    // A slot can be drawn from only after a capture into it has ended.
    bool captured[kFeedbackSlots] = {false, false, false};

    GLenum mode = GL_POINTS; // of the running or last capture
    int captureSlot = -1;    // of the running or last capture
    uint32_t lastWritten = 0;  // primitives written by the last capture
    uint32_t totalWritten = 0; // since the last pass-0 capture began; saturates
    bool created = false;
    bool refusing = false; // a capture was refused and the reason logged
    FeedbackState* capturingIn = nullptr; // while this ring's capture runs

    // Sizes the buffers for itemCount items of floatsPerItem values (half
    // as many, rounded down, with halfFloats) and fills all three with
    // zeros. Kept as it is when already made for the same item count and
    // size. Logs "creating TransformFeedback of size %4.2f mb" (all three
    // buffers). No items, or more than kMaxFeedbackBytes for the three,
    // logs why and leaves the ring unmade. Returns created.
    bool create(int floatsPerItem, int itemCount, bool halfFloats);
    // The same with the bytes an item takes given outright (a grid's
    // layout decides them); floatsPerItem is only kept.
    bool createItems(int floatsPerItem, int itemCount, int64_t bytesPerItem);
    // Bytes one item takes in each buffer; 0 before the ring is made.
    int64_t itemBytes() const { return itemCount > 0 ? byteSize / itemCount : 0; }
    // Lays the slots' vertex arrays out for the items (set at every
    // rebuild of the grid; the buffers may be kept from before).
    void setLayout(const VertexLayout& layout);

    // Starts capturing primitives of mode into slot (pass 0 restarts the
    // total); state records that this ring captures. Rasterisation is off
    // until endCapture().
    void beginCapture(GLenum mode, int slot, int pass, FeedbackState& state);
    // Ends the running capture and waits for the number of primitives it
    // wrote.
    void endCapture();
    // Draws slot's content as vertex input with the layout set last: the
    // seed slot's first seedCount items with fromSeed, otherwise what the
    // last capture into slot wrote. Draws nothing from a slot never
    // captured into, and never more items than the buffer holds.
    void drawCaptured(int slot, bool fromSeed, int seedCount);

    // Deletes the GL objects and forgets the ring's state.
    void release();
};

// The particle pass of drawMesh for a record with a ring:
//   0  capture the next frame of particles and finish;
//   1  draw the captured particles;
//   2  capture, left running so that later draws add particles;
//   3  finish the capture begun by pass 2 and advance the ring.
// The ring position (record.currentSlot) is the slot the next capture
// writes; the slot after it holds the newest particles, which pass 1 draws
// and the next capture reads. A capture is skipped, with a log line, when
// the program in use captures nothing or not exactly the bytes an item of
// the ring holds, and when another capture is running (state says which).
// A capture spends the mesh's reset request. shader, the current one, gets
// the count of particles captured so far as "g_numOld".
void runFeedbackPass(MeshRecord& record, Mesh& mesh, int pass, FeedbackState& state, Shader* shader);

// The ring buffer instanced meshes read: the slot after the current one,
// which holds the newest particles. 0 without a ring.
GLuint feedbackInstanceBuffer(const MeshRecord& record);
