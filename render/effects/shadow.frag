#version 330 core
// The text's alpha blurred over a diamond of 13 texels, drawn in black under it.
in vec2 uv;
in float vertexAlpha;
uniform sampler2D source;
uniform float g_fXL2, g_fXL1, g_fX00, g_fXR1, g_fXR2;
uniform float g_fYL2, g_fYL1, g_fY00, g_fYR1, g_fYR2;
out vec4 color;
void main() {
    vec4 sum = texture(source, uv + vec2(g_fX00, g_fYL2));
    sum += texture(source, uv + vec2(g_fXL1, g_fYL1));
    sum += texture(source, uv + vec2(g_fX00, g_fYL1));
    sum += texture(source, uv + vec2(g_fXR1, g_fYL1));
    sum += texture(source, uv + vec2(g_fXL2, g_fY00));
    sum += texture(source, uv + vec2(g_fXL1, g_fY00));
    sum += texture(source, uv + vec2(g_fX00, g_fY00));
    sum += texture(source, uv + vec2(g_fXR1, g_fY00));
    sum += texture(source, uv + vec2(g_fXR2, g_fY00));
    sum += texture(source, uv + vec2(g_fXL1, g_fYR1));
    sum += texture(source, uv + vec2(g_fX00, g_fYR1));
    sum += texture(source, uv + vec2(g_fXR1, g_fYR1));
    sum += texture(source, uv + vec2(g_fX00, g_fYR2));
    sum /= 13.0;
    color = vec4(0.0, 0.0, 0.0, sum.a * vertexAlpha);
}
