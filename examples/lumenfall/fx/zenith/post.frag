#version 430 compatibility
// The demo's image with a glow from the bright pass, a warm flare while many
// embers are hot, a colour fringe towards the edges, a vignette, the label
// pinned beside the apex, and the fade.
in vec2 uv;

layout(binding = 0) uniform sampler2D frame;
layout(binding = 1) uniform sampler2D bright;
layout(binding = 2) uniform sampler2D label;

uniform vec4 labelAt; // xy: the apex (normalised device coordinates); zw: the label's size (share of the window)
uniform float bloom;
uniform float flareAt; // hot embers for a full flare
uniform float fade;    // 0 black, 1 the picture
// The hot embers that the updraft skene counted this frame.
layout(binding = 0, offset = 0) uniform atomic_uint hot;

layout(location = 0) out vec4 colour;

void main()
{
    vec2 d = uv - 0.5;
    float fringe = 0.006 * dot(d, d) * 4.0;
    vec3 c;
    c.r = texture(frame, uv + d * fringe).r;
    c.g = texture(frame, uv).g;
    c.b = texture(frame, uv - d * fringe).b;
    float flare = smoothstep(0.25, 1.0, float(atomicCounter(hot)) / max(flareAt, 1.0));
    c += (bloom + 0.8 * flare) * texture(bright, uv).rgb; // already blurred
    c += flare * 0.08 * vec3(1.0, 0.55, 0.25) * (1.0 - length(d));
    c *= 1.0 - 0.45 * dot(d * 1.4, d * 1.4);

    // The label sits up and to the right of the apex, on a thin leader; a
    // label of no size is not drawn.
    vec2 apex = labelAt.xy * 0.5 + 0.5;
    vec2 size = labelAt.zw;
    if (size.x > 0.0) {
        vec2 corner = apex + vec2(0.035, 0.05);
        vec2 inLabel = (uv - corner) / size;
        if (all(greaterThanEqual(inLabel, vec2(0.0))) && all(lessThan(inLabel, vec2(1.0)))) {
            // Premultiplied, and upside down: Qt Quick draws its layers from the top.
            vec4 l = texture(label, vec2(inLabel.x, 1.0 - inLabel.y));
            c = c * (1.0 - l.a) + l.rgb;
        }
        vec2 toCorner = corner - apex;
        float along = clamp(dot(uv - apex, toCorner) / dot(toCorner, toCorner), 0.0, 1.0);
        float leader = length((uv - apex - toCorner * along) * vec2(16.0 / 9.0, 1.0));
        c = mix(c, vec3(0.95, 0.76, 0.31), (1.0 - smoothstep(0.0008, 0.002, leader)) * step(0.15, along));
    }

    colour = vec4(c * clamp(fade, 0.0, 1.0), 1.0);
}
