#version 330 core
// The composed picture laid over the back colour as straight alpha.
uniform sampler2D source;
uniform vec2 targetSize;  // the target in pixels
uniform bool flipY;       // a window: row 0 at the bottom
uniform vec2 quadSize;
uniform vec2 uvScale;  // the part of the render texture the quad shows
out vec4 color;
void main() {
    vec2 pixel = vec2(gl_FragCoord.x - 0.5, flipY ? targetSize.y - gl_FragCoord.y - 0.5 : gl_FragCoord.y - 0.5);
    vec2 uv = pixel / (quadSize - 1.0) * uvScale;
    vec4 p = texture(source, uv);
    if (p.a != 0.0) p.rgb = clamp(p.rgb / p.a, 0.0, 1.0);
    color = p;
}
