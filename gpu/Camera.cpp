#include "gpu/Camera.h"

#include <glm/gtc/matrix_transform.hpp>

glm::mat4 projectionMatrix(const CameraData* camera, int windowWidth, int windowHeight)
{
    if (!camera || windowHeight <= 0)
        return glm::mat4(1.0f);
    const float aspect = float(windowWidth) / float(windowHeight);
    return glm::perspective(glm::radians(camera->viewAngle), aspect, 0.1f, 1000.0f);
}

glm::mat4 cameraViewMatrix(const CameraData* camera)
{
    glm::vec3 eye(0.0f, 0.0f, -1.0f);
    glm::vec3 centre(0.0f);
    glm::vec3 up(0.0f, 1.0f, 0.0f);
    if (camera) {
        eye = glm::vec3(camera->x, camera->y, camera->z);
        centre = glm::vec3(camera->lookAtX, camera->lookAtY, camera->lookAtZ);
        up = glm::vec3(camera->upX, camera->upY, camera->upZ);
    }
    return glm::lookAt(eye, centre, up);
}

glm::mat4 withCameraPitchYaw(const glm::mat4& mv, const CameraData& camera)
{
    const glm::vec3 c(camera.lookAtX, camera.lookAtY, camera.lookAtZ);
    const glm::mat4 identity(1.0f);
    const glm::mat4 toCentre = glm::translate(identity, -c);
    const glm::mat4 back = glm::translate(identity, c);
    const glm::mat4 pitch = glm::rotate(identity, glm::radians(camera.pitchLA), glm::vec3(1.0f, 0.0f, 0.0f));
    const glm::mat4 yaw = glm::rotate(identity, glm::radians(camera.yawLA), glm::vec3(0.0f, 1.0f, 0.0f));
    return mv * toCentre * pitch * back * toCentre * yaw * back;
}
