#version 330 core
// Object quads in output pixels; texel centres land on pixel centres because the
// corners are the rectangle's edges and OpenGL samples pixels at their centres.
layout(location = 0) in vec2 position;
layout(location = 1) in vec2 texcoord;
layout(location = 2) in float alpha;
uniform vec2 targetSize;
out vec2 uv;
out float vertexAlpha;
void main() {
    uv = texcoord;
    vertexAlpha = alpha;
    // Row 0 of the render texture is the picture's top row.
    gl_Position = vec4(position / targetSize * 2.0 - 1.0, 0.0, 1.0);
}
