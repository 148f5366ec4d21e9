// Tarvonic's stand-in anti-aliasing header (GLSL). The SMAA item includes
// fx/SMAA.h into its three pass shaders; this file gives them the six
// functions they call, with a deliberately simple method:
//
//   edges      a pixel has a left (x) and a top (y) edge where its luma
//              differs from that neighbour's by SMAA_THRESHOLD or more;
//   weights    along each run of edges, the distances to the run's two ends
//              and whether a step ends it pick a weight from the area table
//              (images/smaa_area.raw); the search table
//              (images/smaa_search.raw) says where a run goes on;
//   blending   each pixel mixes with the neighbours across its weighted
//              edges, at most half-way.
//
// "Top" means the neighbour at the next texture row up (GL's texture space).
// tools/make-smaa-tables/make_smaa_tables.py writes the two tables. An
// author who has a full anti-aliasing header with the same functions can put
// it and its tables in place of these files; see the README.
//
// The item defines SMAA_PIXEL_SIZE, SMAA_GLSL_4 and one of
// SMAA_ONLY_COMPILE_VS or SMAA_ONLY_COMPILE_PS before it includes this file.

#ifndef SMAA_PIXEL_SIZE
#define SMAA_PIXEL_SIZE vec2(1.0 / 1280.0, 1.0 / 720.0)
#endif
#ifndef SMAA_PREDICATION
#define SMAA_PREDICATION 0
#endif
#ifndef SMAA_THRESHOLD
#define SMAA_THRESHOLD 0.05
#endif
#ifndef SMAA_MAX_SEARCH_STEPS
#define SMAA_MAX_SEARCH_STEPS 16
#endif
// The area table reads a run end without a step at this distance (see the
// table generator).
#define SMAA_STANDIN_FAR 32.0

#if !defined(SMAA_ONLY_COMPILE_PS)

void SMAAEdgeDetectionVS(vec4 position, out vec4 svPosition, inout vec2 texcoord, out vec4 offset[3])
{
    svPosition = position;
    offset[0] = texcoord.xyxy + SMAA_PIXEL_SIZE.xyxy * vec4(-1.0, 0.0, 0.0, 1.0); // left, top
    offset[1] = texcoord.xyxy + SMAA_PIXEL_SIZE.xyxy * vec4(1.0, 0.0, 0.0, -1.0); // right, bottom
    offset[2] = texcoord.xyxy + SMAA_PIXEL_SIZE.xyxy * vec4(-2.0, 0.0, 0.0, 2.0);
}

void SMAABlendingWeightCalculationVS(vec4 position, out vec4 svPosition, inout vec2 texcoord,
                                     out vec2 pixcoord, out vec4 offset[3])
{
    svPosition = position;
    pixcoord = texcoord / SMAA_PIXEL_SIZE;
    offset[0] = texcoord.xyxy + SMAA_PIXEL_SIZE.xyxy * vec4(-1.0, 0.0, 0.0, 1.0);
    offset[1] = texcoord.xyxy + SMAA_PIXEL_SIZE.xyxy * vec4(1.0, 0.0, 0.0, -1.0);
    offset[2] = texcoord.xyxy + SMAA_PIXEL_SIZE.xyxy * vec4(-1.0, 0.0, 0.0, 1.0) * float(SMAA_MAX_SEARCH_STEPS);
}

void SMAANeighborhoodBlendingVS(vec4 position, out vec4 svPosition, inout vec2 texcoord, out vec4 offset[2])
{
    svPosition = position;
    offset[0] = texcoord.xyxy + SMAA_PIXEL_SIZE.xyxy * vec4(1.0, 0.0, 0.0, -1.0); // right, bottom
    offset[1] = texcoord.xyxy + SMAA_PIXEL_SIZE.xyxy * vec4(-1.0, 0.0, 0.0, 1.0); // left, top
}

#endif

#if !defined(SMAA_ONLY_COMPILE_VS)

float SMAAStandinLuma(vec4 colour)
{
    return dot(colour.rgb, vec3(0.2126, 0.7152, 0.0722));
}

vec2 SMAAStandinEdges(vec2 texcoord, vec4 offset[3], sampler2D colorTex)
{
    float here = SMAAStandinLuma(texture(colorTex, texcoord));
    float left = SMAAStandinLuma(texture(colorTex, offset[0].xy));
    float top = SMAAStandinLuma(texture(colorTex, offset[0].zw));
    return step(vec2(SMAA_THRESHOLD), abs(vec2(here) - vec2(left, top)));
}

#if SMAA_PREDICATION == 1
vec2 SMAAColorEdgeDetectionPS(vec2 texcoord, vec4 offset[3], sampler2D colorTex, sampler2D predicationTex)
{
    return SMAAStandinEdges(texcoord, offset, colorTex);
}
#else
vec2 SMAAColorEdgeDetectionPS(vec2 texcoord, vec4 offset[3], sampler2D colorTex)
{
    return SMAAStandinEdges(texcoord, offset, colorTex);
}
#endif

// The edges of the pixel `pixels` away from texcoord.
vec2 SMAAStandinEdgesAt(sampler2D edgesTex, vec2 texcoord, vec2 pixels)
{
    return texture(edgesTex, texcoord + pixels * SMAA_PIXEL_SIZE).rg;
}

// Whether a run goes on at a pixel with this edge and this crossing edge.
bool SMAAStandinGoesOn(sampler2D searchTex, float edge, float crossing)
{
    vec2 cell = floor(vec2(edge * 64.0, crossing * 32.0) + 0.5) + 0.5;
    return texture(searchTex, cell / vec2(textureSize(searchTex, 0))).r > 0.5;
}

// How many pixels past this one the run of edges reaches along dir. A
// horizontal run follows top edges, which left edges cross; a vertical run
// the other way round.
float SMAAStandinRunLength(sampler2D edgesTex, sampler2D searchTex, vec2 texcoord, vec2 dir, bool horizontal)
{
    // No run is longer than the image; a bound known only at run time also
    // keeps the compiler from unrolling the loop, so pixels whose run ends
    // early stop early.
    ivec2 size = textureSize(edgesTex, 0);
    int steps = min(SMAA_MAX_SEARCH_STEPS, max(size.x, size.y));
    float reach = 0.0;
    for (int i = 1; i <= steps; ++i) {
        vec2 e = SMAAStandinEdgesAt(edgesTex, texcoord, dir * float(i));
        if (!SMAAStandinGoesOn(searchTex, horizontal ? e.y : e.x, horizontal ? e.x : e.y))
            break;
        reach += 1.0;
    }
    return reach;
}

float SMAAStandinArea(sampler2D areaTex, float a, float b)
{
    return texture(areaTex, (vec2(a, b) + 0.5) / vec2(textureSize(areaTex, 0))).r;
}

// r: how far this pixel mixes with its left neighbour, g: with its top one.
vec4 SMAABlendingWeightCalculationPS(vec2 texcoord, vec2 pixcoord, vec4 offset[3], sampler2D edgesTex,
                                     sampler2D areaTex, sampler2D searchTex, ivec4 subsampleIndices)
{
    vec2 e = texture(edgesTex, texcoord).rg;
    vec4 weights = vec4(0.0);
    if (e.y > 0.5) {
        float toLeft = SMAAStandinRunLength(edgesTex, searchTex, texcoord, vec2(-1.0, 0.0), true);
        float toRight = SMAAStandinRunLength(edgesTex, searchTex, texcoord, vec2(1.0, 0.0), true);
        // A step: a left edge at the run's end, in its row or the row above.
        bool stepLeft = max(SMAAStandinEdgesAt(edgesTex, texcoord, vec2(-toLeft, 0.0)).x,
                            SMAAStandinEdgesAt(edgesTex, texcoord, vec2(-toLeft, 1.0)).x) > 0.5;
        bool stepRight = max(SMAAStandinEdgesAt(edgesTex, texcoord, vec2(toRight + 1.0, 0.0)).x,
                             SMAAStandinEdgesAt(edgesTex, texcoord, vec2(toRight + 1.0, 1.0)).x) > 0.5;
        weights.g = SMAAStandinArea(areaTex, stepLeft ? toLeft : SMAA_STANDIN_FAR,
                                    stepRight ? toRight : SMAA_STANDIN_FAR);
    }
    if (e.x > 0.5) {
        float down = SMAAStandinRunLength(edgesTex, searchTex, texcoord, vec2(0.0, -1.0), false);
        float up = SMAAStandinRunLength(edgesTex, searchTex, texcoord, vec2(0.0, 1.0), false);
        // A step: a top edge at the run's end, in its column or the one left.
        bool stepDown = max(SMAAStandinEdgesAt(edgesTex, texcoord, vec2(0.0, -down - 1.0)).y,
                            SMAAStandinEdgesAt(edgesTex, texcoord, vec2(-1.0, -down - 1.0)).y) > 0.5;
        bool stepUp = max(SMAAStandinEdgesAt(edgesTex, texcoord, vec2(0.0, up)).y,
                          SMAAStandinEdgesAt(edgesTex, texcoord, vec2(-1.0, up)).y) > 0.5;
        weights.r = SMAAStandinArea(areaTex, stepDown ? down : SMAA_STANDIN_FAR,
                                    stepUp ? up : SMAA_STANDIN_FAR);
    }
    return weights;
}

vec4 SMAANeighborhoodBlendingPS(vec2 texcoord, vec4 offset[2], sampler2D colorTex, sampler2D blendTex)
{
    vec4 here = texture(blendTex, texcoord);
    // Left, top, right, bottom: a neighbour's weight for the edge it shares
    // with this pixel.
    vec4 w = vec4(here.r, here.g, texture(blendTex, offset[0].xy).r, texture(blendTex, offset[0].zw).g);
    float total = w.x + w.y + w.z + w.w;
    vec4 colour = texture(colorTex, texcoord);
    if (total <= 0.0)
        return colour;
    w *= min(1.0, 0.5 / total);
    return colour + w.x * (texture(colorTex, offset[1].xy) - colour) + w.y * (texture(colorTex, offset[1].zw) - colour)
         + w.z * (texture(colorTex, offset[0].xy) - colour) + w.w * (texture(colorTex, offset[0].zw) - colour);
}

#endif
