#version 110
// Fragment shader of the wall: the frame's texel as it is, alpha included,
// so that the blending shows transparent pixels of a GIF as the wall behind.
// The sampler is never set by the viewer and so reads texture unit 0.

uniform sampler2D frame;

varying vec2 texel;

void main()
{
    gl_FragColor = texture2D(frame, texel);
}
