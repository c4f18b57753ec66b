#version 110
// Vertex shader of the wall: stretches the unit square of one image over the
// rectangle that "state" gives as (left, top, width, height) in device units,
// counted from the window's top-left corner.
//
// The viewer feeds the position through generic attribute 0 and the texture
// coordinate through 1, and binds no names. GLSL 1.10 cannot name a location
// (explicit locations need "in" variables, which 1.10 does not have), so the
// position is read as gl_Vertex, which attribute 0 is in a compatibility
// context, and the texture coordinate is the only named input: the linker
// keeps 0 for gl_Vertex and gives it the first free slot, 1.

uniform vec4 state;

attribute vec2 texturePos;

varying vec2 texel;

void main()
{
    // The square runs from y = 0 at the image's top edge down to y = -1, so
    // adding py * w moves down from the top edge.
    vec2 p = gl_Vertex.xy;
    gl_Position = vec4(-1.0 + state.x + p.x * state.z,
                       1.0 - state.y + p.y * state.w,
                       0.0, 1.0);
    texel = texturePos;
}
