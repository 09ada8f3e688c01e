#version 330 core
// The composed picture laid over the back colour as straight alpha.
uniform sampler2D source;
uniform vec2 quadSize;
uniform vec2 uvScale;  // the part of the render texture the quad shows
out vec4 color;
void main() {
    vec2 uv = (gl_FragCoord.xy - 0.5) / (quadSize - 1.0) * uvScale;
    vec4 p = texture(source, uv);
    if (p.a != 0.0) p.rgb = clamp(p.rgb / p.a, 0.0, 1.0);
    color = p;
}
