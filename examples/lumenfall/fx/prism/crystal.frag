#version 430 compatibility
// Two coloured lights, a sky fill from above and a rim that glows with the
// glow parameter.
in vec3 worldNormal;
in vec3 worldPosition;

uniform float g_time;
uniform mat4 viewInvMatrix;
uniform float glow;
uniform vec4 rimColour;

layout(location = 0) out vec4 colour;

void main()
{
    vec3 n = normalize(worldNormal);
    vec3 eye = viewInvMatrix[3].xyz;
    vec3 toEye = normalize(eye - worldPosition);

    vec3 keyDir = normalize(vec3(0.6, 0.8, 0.5));
    vec3 fillDir = normalize(vec3(-0.7, -0.2, 0.4));
    float key = max(dot(n, keyDir), 0.0);
    float fill = max(dot(n, fillDir), 0.0);
    float sky = 0.5 + 0.5 * n.y;
    float spec = pow(max(dot(reflect(-keyDir, n), toEye), 0.0), 32.0);
    float rim = pow(1.0 - max(dot(n, toEye), 0.0), 3.0);

    vec3 base = vec3(0.95, 0.76, 0.31);
    vec3 c = base * (0.9 * key * vec3(1.0, 0.93, 0.8) + 0.45 * fill * vec3(0.35, 0.55, 1.0) + 0.15 * sky)
           + spec * vec3(1.0)
           + rim * (0.4 + glow) * rimColour.rgb;
    colour = vec4(c, 1.0);
}
