#version 330 core
// The composed picture packed for a keyer: red = luma, green = Cb on even columns
// and Cr on odd ones (each the mean of a horizontal pair), blue = key.
uniform sampler2D source;      // the render texture, point sampled, clamped
uniform vec2 targetSize;       // the target in pixels
uniform bool flipY;            // a window: row 0 at the bottom
uniform float g_TextureWidth;  // 2047: u times it is a pixel centre's column
uniform vec2 quadSize;         // the output quad's sides in pixels
uniform bool fullRange;
out vec4 color;

const float INT_16 = 0.0625;
const float INT_235 = 0.91796875;
const float INT_HALF = 0.001953125;
// Rows give Y', Cb, Cr, A from (R, G, B, A); GLSL matrices are column-major.
const mat4 toYCbCrA = transpose(mat4(0.213, 0.715, 0.072, 0.0,
                                     -0.117, -0.394, 0.511, 0.0,
                                     0.511, -0.464, -0.0470, 0.0,
                                     0.0, 0.0, 0.0, 1.0));

vec4 UnfoldAlpha(vec4 p) {
    if (p.a != 0.0) p.rgb = clamp(p.rgb / p.a, 0.0, 1.0);
    return p;
}

void main() {
    // The texture coordinate the quad interpolates at this pixel: corners at 0 and
    // S - 1 carry 0 and 1.
    vec2 pixel = vec2(gl_FragCoord.x - 0.5, flipY ? targetSize.y - gl_FragCoord.y - 0.5 : gl_FragCoord.y - 0.5);
    vec2 uv = pixel / (quadSize - 1.0);
    float x = uv.x * g_TextureWidth * 0.5;
    float d = round(x) - x;
    bool even = d * d < 0.1;
    // The pair's other pixel: the next one for an even column, the previous one for
    // an odd column. One fetch with a chosen offset rather than two branches, which
    // a SIMD rasteriser would both run.
    vec2 other = vec2((even ? 1.0 : -1.0) / g_TextureWidth, 0.0);
    vec4 cur = toYCbCrA * UnfoldAlpha(texture(source, uv));
    vec4 pair = toYCbCrA * UnfoldAlpha(texture(source, uv + other));
    float k = fullRange ? 0.427734375 : 0.5;
    float chroma = (even ? cur.y + pair.y : cur.z + pair.z) * k + INT_HALF + 0.5;
    if (fullRange) {
        color = vec4(clamp(cur.x * 0.85546875 + INT_16 + INT_HALF, INT_16, INT_235),
                     clamp(chroma, INT_16, INT_235),
                     clamp(cur.w * 0.85546875 + INT_16 + INT_HALF, INT_16, INT_235), cur.w);
    } else {
        color = vec4(clamp(cur.x + INT_HALF, 0.0, 1.0), clamp(chroma, 0.0, 1.0), clamp(cur.w + INT_HALF, 0.0, 1.0),
                     cur.w);
    }
}
