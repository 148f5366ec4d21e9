#version 430 compatibility
// The unit quad, centred on the item's origin and placed by its transforms
// and the camera.
layout(location = 0) in vec3 position;

uniform mat4 projectionMatrix;
uniform mat4 modelViewMatrix;

out vec2 uv;

void main()
{
    uv = position.xy;
    gl_Position = projectionMatrix * modelViewMatrix * vec4(position.xy - 0.5, 0.0, 1.0);
}
