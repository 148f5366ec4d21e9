#version 430 compatibility
// The crystal: positions through the camera, normals to world space.
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;

uniform mat4 projectionMatrix;
uniform mat4 modelViewMatrix;
uniform mat4 modelMatrix;

out vec3 worldNormal;
out vec3 worldPosition;

void main()
{
    worldNormal = transpose(inverse(mat3(modelMatrix))) * normal;
    worldPosition = (modelMatrix * vec4(position, 1.0)).xyz;
    gl_Position = projectionMatrix * modelViewMatrix * vec4(position, 1.0);
}
