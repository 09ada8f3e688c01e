#version 330 core
// Straight-alpha texture in, premultiplied colour out.
in vec2 uv;
in float vertexAlpha;
uniform sampler2D source;
out vec4 color;
void main() {
    vec4 p = texture(source, uv);
    p.a *= vertexAlpha;
    p.rgb *= p.a;
    color = p;
}
