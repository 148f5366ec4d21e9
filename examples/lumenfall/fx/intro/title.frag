#version 430 compatibility
// The title's text with a light running along it, faded by the track.
in vec2 uv;

layout(binding = 0) uniform sampler2D title;

uniform float g_time;
uniform float fade;

layout(location = 0) out vec4 colour;

void main()
{
    // Qt Quick's layers are premultiplied and stored top row first.
    vec4 text = texture(title, vec2(uv.x, 1.0 - uv.y));
    float sheen = 0.8 + 0.6 * pow(0.5 + 0.5 * sin(uv.x * 9.0 - g_time * 2.5), 8.0);
    // Added onto the sky: alpha 1 adds the premultiplied colour as it is.
    colour = vec4(text.rgb * sheen * clamp(fade, 0.0, 1.0), 1.0);
}
