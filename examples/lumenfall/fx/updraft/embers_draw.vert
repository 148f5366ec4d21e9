#version 430 compatibility
// A shard of the mesh at each ember's place, shrinking as its life ends
// and cooling from yellow to red. Attributes 4 and 5 are the ember's values,
// one per instance.
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 4) in vec4 posLife;
layout(location = 5) in vec4 vel;

uniform mat4 projectionMatrix;
uniform mat4 modelViewMatrix;

out vec3 tint;

void main()
{
    float size = 0.007 * smoothstep(0.0, 0.5, posLife.w);
    vec3 p = posLife.xyz + position * size;
    gl_Position = projectionMatrix * modelViewMatrix * vec4(p, 1.0);
    float heat = clamp(vel.w, 0.0, 1.0);
    vec3 hot = vec3(1.0, 0.86, 0.45);
    vec3 cool = vec3(0.85, 0.22, 0.06);
    tint = mix(cool, hot, heat) * (0.55 + 0.45 * max(normal.y, 0.0));
}
