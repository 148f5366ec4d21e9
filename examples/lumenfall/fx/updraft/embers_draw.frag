#version 430 compatibility
// Added onto the image: many embers together glow.
in vec3 tint;

layout(location = 0) out vec4 colour;

void main()
{
    colour = vec4(tint, 0.08);
}
