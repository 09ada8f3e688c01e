#version 330 core
// The output quad in target pixels. A window shows its framebuffer's first row at
// the bottom: flipY turns the picture the right way up there.
layout(location = 0) in vec2 position;
uniform vec2 targetSize;
uniform bool flipY;
void main() {
    vec2 p = position / targetSize * 2.0 - 1.0;
    if (flipY) p.y = -p.y;
    gl_Position = vec4(p, 0.0, 1.0);
}
