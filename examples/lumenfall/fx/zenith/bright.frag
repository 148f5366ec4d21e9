#version 430 compatibility
// What is bright enough to glow, blurred while it is made small (each pixel
// of this small target gathers a 5 x 5 spread of the full image), and a
// soft warm halo around the apex of the prism's crystal.
in vec2 uv;

layout(binding = 0) uniform sampler2D frame;

uniform vec4 labelAt; // xy: the apex in normalised device coordinates
uniform float halo;
uniform float windowWidth;
uniform float windowHeight;

layout(location = 0) out vec4 colour;

void main()
{
    // Steps of one texel of this target, which is smaller than the frame.
    vec2 step = 1.0 / vec2(320.0, 180.0);
    vec3 sum = vec3(0.0);
    float weight = 0.0;
    for (int x = -2; x <= 2; ++x) {
        for (int y = -2; y <= 2; ++y) {
            vec3 c = texture(frame, uv + step * vec2(x, y)).rgb;
            float luma = dot(c, vec3(0.299, 0.587, 0.114));
            float w = exp(-float(x * x + y * y) / 4.0);
            sum += w * c * smoothstep(0.45, 0.9, luma);
            weight += w;
        }
    }
    vec2 apex = labelAt.xy * 0.5 + 0.5;
    float r = length((uv - apex) * vec2(windowWidth / max(windowHeight, 1.0), 1.0));
    vec3 glow = vec3(1.0, 0.78, 0.42) * halo * (exp(-r * r * 60.0) + 0.25 * exp(-r * 9.0));
    colour = vec4(sum / weight + glow, 1.0);
}
