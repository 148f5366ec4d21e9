#version 430 compatibility
// A dusk gradient that flares up on each beat of the music (88 a minute)
// and fades until the next.
in vec2 uv;

uniform float g_time;

layout(location = 0) out vec4 colour;

void main()
{
    float sinceBeat = fract(g_time * 88.0 / 60.0);
    float flare = exp(-sinceBeat * 5.0);
    vec3 low = vec3(0.06, 0.07, 0.14);
    vec3 high = vec3(0.26, 0.13, 0.34);
    vec3 c = mix(low, high, uv.y) * (1.0 + 0.45 * flare);
    colour = vec4(c, 1.0);
}
