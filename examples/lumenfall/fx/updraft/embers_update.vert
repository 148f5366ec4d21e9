#version 430 compatibility
// One ember a vertex: position and the seconds it has left, velocity and
// heat. Transform feedback writes posLife and vel; the next frame reads
// them back as inPosLife and inVel. An ember whose life is over is born
// again on a ring around the crystal's base. The seed is all zeros: from it
// every ember starts at once, hot, somewhere along the spiral the embers
// climb, so a re-seed flares the whole column up.
layout(location = 0) in vec4 inPosLife;
layout(location = 1) in vec4 inVel;

uniform float g_time;
uniform float g_timeStep;
uniform float lift;
// The embers still hot after this step (the counter is cleared each frame).
layout(binding = 0, offset = 0) uniform atomic_uint hot;

out vec4 posLife;
out vec4 vel;

float hash(float n)
{
    return fract(sin(n) * 43758.5453123);
}

void main()
{
    float id = float(gl_VertexID);
    float dt = clamp(g_timeStep, 0.0, 0.1);
    if (inPosLife.w <= 0.0) {
        bool fromSeed = inVel.w == 0.0;
        float seed = id * 0.0137 + floor(g_time * 3.0) * 1.618;
        float climbed = fromSeed ? hash(seed + 6.0) : 0.0;
        float angle = 6.2831853 * hash(seed) + 4.0 * climbed;
        float radius = (0.75 + 0.45 * hash(seed + 1.0)) * (1.0 - 0.55 * climbed);
        vec3 at = vec3(cos(angle) * radius, -0.75 + 2.6 * climbed + 0.1 * hash(seed + 2.0), sin(angle) * radius);
        vec3 swirl = vec3(-sin(angle), 0.0, cos(angle));
        posLife = vec4(at, 1.0 + 4.0 * hash(seed + 3.0));
        vel = vec4(swirl * (0.3 + 0.3 * hash(seed + 4.0)) + vec3(0.0, 0.3 + 0.4 * hash(seed + 5.0), 0.0), 1.0);
        atomicCounterIncrement(hot);
        return;
    }
    vec3 p = inPosLife.xyz;
    vec3 v = inVel.xyz;
    // Drawn round the crystal's axis, lifted by the heat, slowed by the air.
    vec3 toAxis = vec3(-p.x, 0.0, -p.z);
    vec3 swirl = normalize(vec3(-p.z, 0.0, p.x) + 1e-5);
    v += (toAxis * 0.5 + swirl * 0.3 + vec3(0.0, 0.4 * lift * inVel.w, 0.0) - v * 0.4) * dt;
    posLife = vec4(p + v * dt, inPosLife.w - dt);
    // Heat never reaches 0: 0 marks the seed.
    vel = vec4(v, max(inVel.w - 0.25 * dt, 0.01));
    if (vel.w > 0.8)
        atomicCounterIncrement(hot);
}
