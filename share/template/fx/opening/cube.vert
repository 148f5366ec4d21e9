#version 430 compatibility
// Every mesh vertex through the camera; the position in view space goes on
// to the fragments.
layout(location = 0) in vec3 position;

uniform mat4 projectionMatrix;
uniform mat4 modelViewMatrix;

out vec3 viewPosition;

void main()
{
    vec4 p = modelViewMatrix * vec4(position, 1.0);
    viewPosition = p.xyz;
    gl_Position = projectionMatrix * p;
}
