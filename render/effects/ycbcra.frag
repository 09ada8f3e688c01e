#version 330 core
// The composed picture packed for a keyer: red = luma, green = Cb on even columns
// and Cr on odd ones (each the mean of a horizontal pair), blue = key.
uniform sampler2D source;      // the render texture, point sampled, clamped
uniform vec2 targetSize;       // the target in pixels
uniform bool flipY;            // a window: row 0 at the bottom
uniform float g_TextureWidth;  // 2047: u times it is a pixel centre's column
uniform vec2 quadSize;         // the output quad's sides in pixels
uniform bool fullRange;        // "Full HDMI range": studio levels; off: levels 0 to 255
out vec4 color;

// Without full HDMI range: half a level of 256 added before the target rounds.
const float INT_HALF = 0.001953125;
// Rows give Y', Cb, Cr, A from (R, G, B, A); GLSL matrices are column-major.
const mat4 toYCbCrA = transpose(mat4(0.213, 0.715, 0.072, 0.0,
                                     -0.117, -0.394, 0.511, 0.0,
                                     0.511, -0.464, -0.0470, 0.0,
                                     0.0, 0.0, 0.0, 1.0));
// Full HDMI range: the studio levels of BT.709 on an 8-bit target, which stores
// round(255 v). Luma and key run from level 16 to 235, chroma from 16 to 240
// about 128, so black is 16, white and an opaque key 235 exactly.
const float KR = 0.2126;
const float KB = 0.0722;
const float KG = 1.0 - KR - KB;
const mat4 toStudio = transpose(mat4(KR, KG, KB, 0.0,
                                     -KR / (2.0 - 2.0 * KB), -KG / (2.0 - 2.0 * KB), 0.5, 0.0,
                                     0.5, -KG / (2.0 - 2.0 * KR), -KB / (2.0 - 2.0 * KR), 0.0,
                                     0.0, 0.0, 0.0, 1.0));
const float LEVEL = 1.0 / 255.0;

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
    vec4 cur = UnfoldAlpha(texture(source, uv));
    vec4 pair = UnfoldAlpha(texture(source, uv + other));
    if (fullRange) {
        vec4 c = toStudio * cur;
        vec4 p = toStudio * pair;
        float chroma = (even ? c.y + p.y : c.z + p.z) * 0.5;
        color = vec4(clamp((16.0 + 219.0 * c.x) * LEVEL, 16.0 * LEVEL, 235.0 * LEVEL),
                     clamp((128.0 + 224.0 * chroma) * LEVEL, 16.0 * LEVEL, 240.0 * LEVEL),
                     clamp((16.0 + 219.0 * c.w) * LEVEL, 16.0 * LEVEL, 235.0 * LEVEL), c.w);
    } else {
        vec4 c = toYCbCrA * cur;
        vec4 p = toYCbCrA * pair;
        float chroma = (even ? c.y + p.y : c.z + p.z) * 0.5 + INT_HALF + 0.5;
        color = vec4(clamp(c.x + INT_HALF, 0.0, 1.0), clamp(chroma, 0.0, 1.0), clamp(c.w + INT_HALF, 0.0, 1.0), c.w);
    }
}
