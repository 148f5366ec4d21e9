#include <GL/glew.h>

#include "gpu/TransformFeedback.h"

#include "gpu/Mesh.h"
#include "gpu/Shader.h"
#include "state/FrameState.h"

#include <QDebug>

#include <algorithm>
#include <climits>
#include <vector>

namespace {

// Bytes one captured value of a GLSL type takes in an interleaved buffer.
int typeBytes(GLenum type)
{
    switch (type) {
    case GL_FLOAT: case GL_INT: case GL_UNSIGNED_INT:
        return 4;
    case GL_FLOAT_VEC2: case GL_INT_VEC2: case GL_UNSIGNED_INT_VEC2: case GL_DOUBLE:
        return 8;
    case GL_FLOAT_VEC3: case GL_INT_VEC3: case GL_UNSIGNED_INT_VEC3:
        return 12;
    case GL_FLOAT_VEC4: case GL_INT_VEC4: case GL_UNSIGNED_INT_VEC4: case GL_DOUBLE_VEC2: case GL_FLOAT_MAT2:
        return 16;
    case GL_DOUBLE_VEC3: case GL_FLOAT_MAT2x3: case GL_FLOAT_MAT3x2:
        return 24;
    case GL_DOUBLE_VEC4: case GL_FLOAT_MAT2x4: case GL_FLOAT_MAT4x2:
        return 32;
    case GL_FLOAT_MAT3:
        return 36;
    case GL_FLOAT_MAT3x4: case GL_FLOAT_MAT4x3:
        return 48;
    case GL_FLOAT_MAT4:
        return 64;
    default:
        return 4;
    }
}

// Bytes per vertex that program writes into the buffer at binding 0; 0 when
// it captures nothing.
int captureStride(GLuint program)
{
    GLint linked = GL_FALSE, count = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked)
        return 0;
    glGetProgramiv(program, GL_TRANSFORM_FEEDBACK_VARYINGS, &count);
    GLint bufferMode = GL_INTERLEAVED_ATTRIBS;
    glGetProgramiv(program, GL_TRANSFORM_FEEDBACK_BUFFER_MODE, &bufferMode);
    if (bufferMode == GL_SEPARATE_ATTRIBS)
        count = std::min<GLint>(count, 1); // only the first reaches binding 0
    int stride = 0;
    for (GLint i = 0; i < count; ++i) {
        GLsizei size = 0;
        GLenum type = GL_NONE;
        char name[1];
        glGetTransformFeedbackVarying(program, GLuint(i), sizeof name, nullptr, &size, &type, name);
        stride += int(size) * typeBytes(type);
    }
    return stride;
}

// Logs why a ring refuses to capture, once until it captures again, so that
// a broken skene does not fill the log at the frame rate.
void refuse(TransformFeedback& tf, const QString& why)
{
    if (!tf.refusing)
        qDebug().noquote() << why;
    tf.refusing = true;
}

bool mayCapture(TransformFeedback& tf, const FeedbackState& state)
{
    if (state.running) {
        refuse(tf, "TransformFeedback: another capture is running; the particles are not updated");
        return false;
    }
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    const int written = program ? captureStride(GLuint(program)) : 0;
    if (written == 0) {
        refuse(tf, "TransformFeedback: the shader in use captures no varyings; the particles are not updated");
        return false;
    }
    // The ring was sized by the grid's varyings: a program that writes
    // more an item fills the ring with fewer items than were drawn, one that
    // writes less leaves the items out of step with the layout that reads
    // them (half floats and types outside the varyings table do either).
    const int64_t ringItem = tf.itemBytes();
    if (written != ringItem) {
        refuse(tf, QString("TransformFeedback: the grid's items hold %1 bytes, the shader captures %2 an item; "
                           "the particles are not updated")
                       .arg(ringItem)
                       .arg(written));
        return false;
    }
    tf.refusing = false;
    return true;
}

} // namespace

int nextFeedbackSlot(int slot)
{
    return slot + 1 >= kFeedbackRingSize ? 0 : slot + 1;
}

bool TransformFeedback::create(int floats, int items, bool halfFloats)
{
    const int64_t perItem = halfFloats ? floats / 2 : floats;
    return createItems(floats, items, std::max<int64_t>(perItem, 0) * 4);
}

bool TransformFeedback::createItems(int floats, int items, int64_t bytesPerItem)
{
    const int64_t bytes = int64_t(std::max(items, 0)) * std::max<int64_t>(bytesPerItem, 0);
    if (created && itemCount == items && byteSize == bytes)
        return true;
    release();
    floatsPerItem = floats;
    itemCount = items;
    byteSize = bytes;

    qDebug("creating TransformFeedback of size %4.2f mb", double(bytes) * kFeedbackSlots / 1024.0 / 1024.0);
    if (bytes <= 0) {
        qDebug("TransformFeedback: no buffers for %d items of %d floats", items, floats);
        return false;
    }
    if (bytes * kFeedbackSlots > kMaxFeedbackBytes) {
        qDebug("TransformFeedback: %d items of %d floats need more than %lld mb; no buffers made", items, floats,
               static_cast<long long>(kMaxFeedbackBytes >> 20));
        return false;
    }

    glGenTransformFeedbacks(kFeedbackSlots, feedbacks);
    glGenBuffers(kFeedbackSlots, buffers);
    const std::vector<uint8_t> zeros(size_t(bytes), 0);
    for (int slot = 0; slot < kFeedbackSlots; ++slot) {
        glBindBuffer(GL_ARRAY_BUFFER, buffers[slot]);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(bytes), zeros.data(), GL_STATIC_DRAW);
        glBindTransformFeedback(GL_TRANSFORM_FEEDBACK, feedbacks[slot]);
        glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, buffers[slot]);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    glBindTransformFeedback(GL_TRANSFORM_FEEDBACK, 0);
    glGenQueries(kFeedbackSlots, queries);
    glGenVertexArrays(kFeedbackSlots, arrays);
    created = true;
    return true;
}

void TransformFeedback::setLayout(const VertexLayout& layout)
{
    if (!created)
        return;
    stride = layout.stride;
    for (int slot = 0; slot < kFeedbackSlots; ++slot) {
        glBindVertexArray(arrays[slot]);
        glBindBuffer(GL_ARRAY_BUFFER, buffers[slot]);
        resetVertexLayout();
        applyVertexLayout(layout);
    }
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void TransformFeedback::beginCapture(GLenum primitiveMode, int slot, int pass, FeedbackState& state)
{
    if (pass == 0)
        totalWritten = 0;
    glEnable(GL_RASTERIZER_DISCARD);
    glBindTransformFeedback(GL_TRANSFORM_FEEDBACK, feedbacks[slot]);
    glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, buffers[slot]);
    glBeginQuery(GL_TRANSFORM_FEEDBACK_PRIMITIVES_WRITTEN, queries[slot]);
    glBeginTransformFeedback(primitiveMode);
    state.running = this;
    capturingIn = &state;
    captureSlot = slot;
    mode = primitiveMode;
}

void TransformFeedback::endCapture()
{
    glEndTransformFeedback();
    if (capturingIn) {
        capturingIn->writesPending = true;
        if (capturingIn->running == this)
            capturingIn->running = nullptr;
    }
    capturingIn = nullptr;
    glEndQuery(GL_TRANSFORM_FEEDBACK_PRIMITIVES_WRITTEN);
    glDisable(GL_RASTERIZER_DISCARD);
    // The capture's object stays bound until another is: binding 0 here
    // keeps later buffer bindings from landing in it.
    glBindTransformFeedback(GL_TRANSFORM_FEEDBACK, 0);
    if (captureSlot >= 0 && captureSlot < kFeedbackSlots) {
        GLuint written = 0;
        glGetQueryObjectuiv(queries[captureSlot], GL_QUERY_RESULT, &written);
        lastWritten = written;
        // A long run of captures that never restarts the count (passes 2
        // and 3) would wrap it to a small number within minutes.
        totalWritten = written > UINT32_MAX - totalWritten ? UINT32_MAX : totalWritten + written;
        captured[captureSlot] = true;
    }
}

void TransformFeedback::drawCaptured(int slot, bool fromSeed, int seedCount)
{
    const int source = fromSeed ? kFeedbackSeedSlot : slot;
    if (!fromSeed && !captured[source])
        return; // nothing written yet: GL refuses to draw such an object
    glBindVertexArray(arrays[source]);
    if (fromSeed) {
        // The seed is read with the grid's layout; never past its end.
        const int itemStride = stride > 0 ? stride : 4 * floatsPerItem;
        const int64_t fits = itemStride > 0 ? byteSize / itemStride : 0;
        const int64_t count = std::min<int64_t>(seedCount, fits);
        if (count > 0)
            glDrawArrays(mode, 0, GLsizei(count));
    } else {
        glDrawTransformFeedback(mode, feedbacks[source]);
    }
}

void TransformFeedback::release()
{
    if (capturingIn && capturingIn->running == this)
        endCapture();
    if (created) {
        // Containers first: a buffer still attached to a vertex array or
        // bound in a feedback object that is not current stays in use after
        // its deletion, and a driver may keep its name alive until then.
        glDeleteVertexArrays(kFeedbackSlots, arrays);
        glDeleteTransformFeedbacks(kFeedbackSlots, feedbacks);
        glDeleteQueries(kFeedbackSlots, queries);
        glDeleteBuffers(kFeedbackSlots, buffers);
    }
    *this = TransformFeedback();
}

void runFeedbackPass(MeshRecord& record, Mesh& mesh, int pass, FeedbackState& state, Shader* shader)
{
    TransformFeedback& tf = *record.transformFeedback;
    if (!tf.created)
        return;

    // The ring position is the slot the next capture writes; the slot after
    // it holds the newest particles, which are drawn, read as instances and
    // fed to the next capture.
    if (pass == 1) {
        // Unbinding the feedback object while a capture runs is an error;
        // drawing the ring that is being written is meaningless anyway.
        if (state.running)
            return;
        glBindTransformFeedback(GL_TRANSFORM_FEEDBACK, 0);
        tf.drawCaptured(nextFeedbackSlot(record.currentSlot), false, 0);
        return;
    }
    if (pass == 3) {
        if (state.running != &tf)
            return; // no pass 2 of this ring to finish
        tf.endCapture();
        mesh.particleCount = tf.lastWritten;
        record.currentSlot = nextFeedbackSlot(record.currentSlot);
        return;
    }
    if (pass != 0 && pass != 2)
        return;
    if (!mayCapture(tf, state))
        return;

    if (shader) {
        // The total keeps growing while only passes 2 and 3 run; the shader
        // sees the largest count an int holds rather than a negative one.
        const uint64_t old = uint64_t(tf.totalWritten) * 3;
        shader->setUniformInt("g_numOld", int(std::min<uint64_t>(old, INT_MAX)));
    }
    const GLenum mode = record.primitiveMode;
    tf.beginCapture(mode, record.currentSlot, pass, state);
    const bool reset = frameState().particleResetRequest || mesh.resetRequested;
    // The item's request is spent by the capture that re-seeds, not by
    // whichever draw of the grid happens to come first.
    mesh.resetRequested = false;
    if (reset)
        record.seeded = false;
    const int newest = nextFeedbackSlot(record.currentSlot);
    if (record.seeded) {
        tf.drawCaptured(newest, false, 0);
    } else {
        record.seeded = true;
        // A grid that names no seed count seeds every item.
        tf.drawCaptured(newest, true, mesh.seedCount > 0 ? mesh.seedCount : tf.itemCount);
    }
    // A capture left running advances when pass 3 ends it: advancing here
    // too would make the next frame read a slot nothing was captured into.
    if (pass == 0) {
        tf.endCapture();
        mesh.particleCount = tf.lastWritten;
        record.currentSlot = newest;
    }
}

GLuint feedbackInstanceBuffer(const MeshRecord& record)
{
    if (!record.transformFeedback || !record.transformFeedback->created)
        return 0;
    return record.transformFeedback->buffers[nextFeedbackSlot(record.currentSlot)];
}

void FeedbackState::finishOpenCapture()
{
    if (TransformFeedback* open = running) {
        qDebug("TransformFeedback: a capture was left running at the end of the frame; ended it");
        open->endCapture();
        running = nullptr;
    }
}
