#version 430 compatibility
// A night gradient with slow bands of light that brighten with the glow track,
// and the music's spectrum rising from the horizon, lows on the left.
in vec2 uv;

uniform float g_time;
uniform float windowWidth;
uniform float windowHeight;
uniform float glow;
// Four log-spectrum bins a texel (r, g, b, a), 256 texels.
layout(binding = 0) uniform sampler2D spectrum;

layout(location = 0) out vec4 colour;

void main()
{
    vec2 p = uv * 2.0 - 1.0;
    p.x *= windowWidth / max(windowHeight, 1.0);
    vec3 low = vec3(0.063, 0.078, 0.137);
    vec3 high = vec3(0.17, 0.094, 0.22);
    vec3 c = mix(low, high, uv.y);
    float bands = sin(p.x * 2.5 + p.y * 1.5 + g_time * 0.6) * sin(p.y * 3.0 - g_time * 0.4);
    c += (0.04 + 0.12 * glow) * smoothstep(0.2, 1.0, bands) * vec3(0.55, 0.35, 1.0);
    int bin = clamp(int(uv.x * 1024.0), 0, 1023);
    float level = texelFetch(spectrum, ivec2(bin / 4, 0), 0)[bin % 4];
    float bar = 0.3 * clamp(level * 0.12, 0.0, 1.0);
    float below = 1.0 - smoothstep(bar - 0.015, bar, uv.y);
    c += below * (0.25 + 0.5 * uv.y / max(bar, 1e-3)) * vec3(0.95, 0.55, 0.3) * 0.5;

    float vignette = 1.0 - 0.35 * dot(p * 0.6, p * 0.6);
    colour = vec4(c * vignette, 1.0);
}
