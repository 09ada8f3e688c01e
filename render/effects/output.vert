#version 330 core
// The output quad in target pixels.
layout(location = 0) in vec2 position;
uniform vec2 targetSize;
void main() { gl_Position = vec4(position / targetSize * 2.0 - 1.0, 0.0, 1.0); }
