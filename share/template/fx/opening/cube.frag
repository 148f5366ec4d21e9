#version 430 compatibility
// Flat faces lit from the viewer's upper left, in the colour of the tint
// parameter.
in vec3 viewPosition;

uniform vec4 tint;

layout(location = 0) out vec4 colour;

void main()
{
    vec3 n = normalize(cross(dFdx(viewPosition), dFdy(viewPosition)));
    float light = 0.25 + 0.75 * max(dot(n, normalize(vec3(-0.4, 0.6, 0.7))), 0.0);
    colour = vec4(tint.rgb * light, 1.0);
}
