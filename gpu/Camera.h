#pragma once
// The camera that everything drawn after it looks through: the values of
// the camera item rendered last in the frame, and the view and projection
// made of them. The draw items, the shader items and the save points read
// it from the GPU resources (gpu/GpuResources.h).
#include <glm/mat4x4.hpp>

// The twelve values of a camera, in property order.
struct CameraData {
    float x = 0.0f, y = 0.0f, z = -10.0f;
    float lookAtX = 0.0f, lookAtY = 0.0f, lookAtZ = 0.0f;
    float upX = 0.0f, upY = 1.0f, upZ = 0.0f;
    float pitchLA = 0.0f;
    float yawLA = 0.0f;
    float viewAngle = 45.0f;
};

// A copy of the values taken when the camera rendered, and the item it came
// from, so that destroying that item clears it.
struct CurrentCamera {
    const void* owner = nullptr;
    CameraData data;

    // The camera rendered last, or null when none has (or it was forgotten).
    const CameraData* get() const { return owner ? &data : nullptr; }
    void set(const void* item, const CameraData& values)
    {
        owner = item;
        data = values;
    }
    // Called by a camera item that goes away.
    void forget(const void* item)
    {
        if (owner == item)
            owner = nullptr;
    }
};

// The projection the standard uniforms use: identity without a camera (or a
// window without height), else the camera's vertical field of view at the
// window's aspect, near 0.1, far 1000.
glm::mat4 projectionMatrix(const CameraData* camera, int windowWidth, int windowHeight);

// The right-handed look-at view of the camera; without one, the eye at
// (0, 0, -1) looking at the origin with y up.
glm::mat4 cameraViewMatrix(const CameraData* camera);

// mv turned by the camera's pitchLA about x and yawLA about y, both around
// its look-at point.
glm::mat4 withCameraPitchYaw(const glm::mat4& mv, const CameraData& camera);
