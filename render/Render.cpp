#include "render/Render.h"

#include "base/Debug.h"
#include "base/Settings.h"
#include "core/VideoModes.h"
#include "playback/TextMovement.h"
#include "render/GLTexture.h"
#include "render/Shaders.h"

#include <QThread>
#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// ---------------------------------------------------------------------------------
// CHiResTimer

CHiResTimer::CHiResTimer() {
    using Period = std::chrono::steady_clock::period;
    CDebug::Log(2, "CHiResTimer(): resolution: %I64d", int64_t(Period::den / Period::num));
}

int64_t CHiResTimer::Micros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

RenderOptions RenderOptions::FromSettings(int mode) {
    const CSettingsStore& settings = CSettingsStore::Global();
    RenderOptions options;
    options.renderWidth = VideoModes::RenderWidth(mode);
    options.renderHeight = VideoModes::RenderHeight(mode);
    options.noYCbCrA = settings.Get(Settings::NoYCbCrA) != 0;
    options.backColor = uint32_t(settings.Get(Settings::DebugBackColor));
    options.scale = std::clamp(settings.Get(Settings::DebugScale), 1, 16);
    options.fullHdmiRange = settings.Get(Settings::FullHDMIRange) != 0;
    return options;
}

// ---------------------------------------------------------------------------------
// COffscreenTarget

COffscreenTarget::COffscreenTarget(int width, int height) : width_(width), height_(height) {}

COffscreenTarget::~COffscreenTarget() { Destroy(); }

RenderStatus COffscreenTarget::MakeCurrent(std::string& failure) {
    if (failWith != RenderStatus::Ok) {
        failure = "context creation refused";
        return failWith;
    }
    // Without the platform, asking for it would abort rather than fail.
    if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless") ||
        !epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_EXT_platform_base")) {
        failure = "EGL offers no surfaceless platform";
        return RenderStatus::NoOpenGL33;
    }
    EGLDisplay display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        failure = "eglInitialize() = " + std::to_string(eglGetError());
        return RenderStatus::NoOpenGL33;
    }
    display_ = display;
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    if (!eglBindAPI(EGL_OPENGL_API)) {
        failure = "eglBindAPI() = " + std::to_string(eglGetError());
        return RenderStatus::NoOpenGL33;
    }
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) {
        failure = "eglCreateContext() = " + std::to_string(eglGetError());
        return RenderStatus::NoOpenGL33;
    }
    context_ = context;
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        failure = "eglMakeCurrent() = " + std::to_string(eglGetError());
        return RenderStatus::ContextNotCurrent;
    }
    for (auto [framebuffer, colour] : {std::pair{&framebuffer_, &colour_}, std::pair{&shownFramebuffer_, &shownColour_}}) {
        if (framebuffer == &shownFramebuffer_ && !discardsFrame) break;
        glGenTextures(1, colour);
        glBindTexture(GL_TEXTURE_2D, *colour);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width_, height_, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, *framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, *colour, 0);
        const GLenum complete = glCheckFramebufferStatus(GL_FRAMEBUFFER);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        if (complete != GL_FRAMEBUFFER_COMPLETE) {
            failure = "glCheckFramebufferStatus() = " + std::to_string(complete);
            return RenderStatus::SetUpFailed;
        }
    }
    return RenderStatus::Ok;
}

void COffscreenTarget::DoneCurrent() { Destroy(); }

void COffscreenTarget::Destroy() {
    if (!display_) return;
    if (context_ && eglGetCurrentContext() == context_) {
        for (unsigned* framebuffer : {&framebuffer_, &shownFramebuffer_})
            if (*framebuffer) glDeleteFramebuffers(1, framebuffer);
        for (unsigned* colour : {&colour_, &shownColour_})
            if (*colour) glDeleteTextures(1, colour);
    }
    framebuffer_ = colour_ = shownFramebuffer_ = shownColour_ = 0;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_) eglDestroyContext(display_, context_);
    context_ = nullptr;
    // The display stays initialised: it is one per process, and terminating it
    // unloads the driver under other engines' feet.
    display_ = nullptr;
}

bool COffscreenTarget::Present() {
    if (discardsFrame) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, shownFramebuffer_);
        glBlitFramebuffer(0, 0, width_, height_, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glClearColor(1.0f, 0.0f, 1.0f, 0.5f);
        glClear(GL_COLOR_BUFFER_BIT);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
    // A frame counts as presented once it is complete, as a display would show it.
    glFinish();
    return true;
}

// ---------------------------------------------------------------------------------
// The OpenGL side of the engine

namespace {

struct Vertex {
    float x, y, u, v, alpha;
};

struct QuadEntry {
    float dest[4];
    float window[4];
    CTexture* texture;
    int alpha;
    int shadow;
    int movement;
    GLuint name;
    uint64_t version;  // the texture's content
    // Two entries draw the same pixels when they agree in everything but the
    // texture's address (which may be reused by another texture).
    bool SameAs(const QuadEntry& o) const {
        return std::equal(std::begin(dest), std::end(dest), std::begin(o.dest)) &&
               std::equal(std::begin(window), std::end(window), std::begin(o.window)) && alpha == o.alpha &&
               shadow == o.shadow && movement == o.movement && name == o.name && version == o.version;
    }
};

// A rectangle of pixels, left/top inclusive, right/bottom exclusive, rows from the top.
struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
    void Add(const Box& b) {
        if (b.Empty()) return;
        if (Empty()) {
            *this = b;
            return;
        }
        left = std::min(left, b.left);
        top = std::min(top, b.top);
        right = std::max(right, b.right);
        bottom = std::max(bottom, b.bottom);
    }
    void Add(const float (&dest)[4]) {
        Add(Box{int(std::floor(dest[0])), int(std::floor(dest[1])), int(std::ceil(dest[2])), int(std::ceil(dest[3]))});
    }
    Box Clipped(int width, int height) const {
        Box b{std::max(left, 0), std::max(top, 0), std::min(right, width), std::min(bottom, height)};
        return b.Empty() ? Box{} : b;
    }
    // Scissor in OpenGL's rows, which count from the bottom when flipped.
    void Scissor(int height, bool flipped) const {
        glScissor(left, flipped ? height - bottom : top, right - left, bottom - top);
    }
};

// The parts of the picture that changed, as a few boxes: a lower third and a crawl
// far below it stay two small boxes rather than one nearly as large as the picture.
// Redrawing a part twice gives the same pixels, so boxes may overlap.
struct Damage {
    static constexpr int MaxBoxes = 8;
    std::array<Box, MaxBoxes> boxes{};
    int count = 0;
    bool Empty() const { return count == 0; }
    void Add(Box b) {
        if (b.Empty()) return;
        for (int k = 0; k < count; ++k) {
            Box& a = boxes[size_t(k)];
            if (b.left <= a.right && a.left <= b.right && b.top <= a.bottom && a.top <= b.bottom) {
                a.Add(b);
                return;
            }
        }
        if (count < MaxBoxes) boxes[size_t(count++)] = b;
        else boxes[MaxBoxes - 1].Add(b);
    }
};

constexpr int VertexCount = (CRender::MaxQuads + 2) * 4;  // the output quad, the object quads, one spare
constexpr int WholeFramesAfterResize = 3;

// Whether a shader or program reached the status; its log in failure when not.
template <class GetIv, class GetLog>
bool Succeeded(GLuint object, GLenum status, GetIv getIv, GetLog getLog, const char* call, const char* name,
               std::string& failure) {
    GLint ok = 0;
    getIv(object, status, &ok);
    if (ok) return true;
    char log[1024] = {};
    getLog(object, sizeof log - 1, nullptr, log);
    failure = std::string(call) + "(" + name + "): " + log;
    return false;
}

GLuint Compile(GLenum kind, const unsigned char* source, const char* name, std::string& failure) {
    const GLuint shader = glCreateShader(kind);
    const char* text = reinterpret_cast<const char*>(source);
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    if (!Succeeded(shader, GL_COMPILE_STATUS, glGetShaderiv, glGetShaderInfoLog, "glCompileShader", name, failure)) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

GLuint Link(const unsigned char* vertex, const unsigned char* fragment, const char* name, std::string& failure) {
    const GLuint vs = Compile(GL_VERTEX_SHADER, vertex, name, failure);
    if (!vs) return 0;
    const GLuint fs = Compile(GL_FRAGMENT_SHADER, fragment, name, failure);
    if (!fs) {
        glDeleteShader(vs);
        return 0;
    }
    const GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    if (!Succeeded(program, GL_LINK_STATUS, glGetProgramiv, glGetProgramInfoLog, "glLinkProgram", name, failure)) {
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

GLuint Sampler(GLenum wrapS, GLenum wrapT, GLenum filter) {
    GLuint s = 0;
    glGenSamplers(1, &s);
    glSamplerParameteri(s, GL_TEXTURE_WRAP_S, GLint(wrapS));
    glSamplerParameteri(s, GL_TEXTURE_WRAP_T, GLint(wrapT));
    glSamplerParameteri(s, GL_TEXTURE_MIN_FILTER, GLint(filter));
    glSamplerParameteri(s, GL_TEXTURE_MAG_FILTER, GLint(filter));
    return s;
}

void Colour(uint32_t argb, float (&c)[4]) {
    c[0] = float((argb >> 16) & 0xFF) / 255.0f;
    c[1] = float((argb >> 8) & 0xFF) / 255.0f;
    c[2] = float(argb & 0xFF) / 255.0f;
    c[3] = float(argb >> 24) / 255.0f;
}

}  // namespace

struct CRender::GL {
    COpenGLTextureDevice device;
    GLuint renderTexture = 0, renderFramebuffer = 0;
    GLuint vao = 0, vbo = 0;
    GLuint mix = 0, shadow = 0, ycbcra = 0, plain = 0;
    // Sampling of object quads: wrap both ways for drawing; for a shadow, wrap only
    // along the text's movement (fixed, horizontal, vertical).
    // The output samples the render texture pixel for pixel; a preview scaled to
    // its pane filters, as a stretched picture is.
    GLuint samplerWrap = 0, samplerShadow[3] = {}, samplerPoint = 0, samplerScaled = 0;
    GLint mixTarget = -1, shadowTarget = -1, shadowX[5] = {}, shadowY[5] = {};
    GLint ycbcraWidth = -1, ycbcraQuad = -1, ycbcraFull = -1, plainQuad = -1, plainScale = -1, outputTarget[2] = {};
    GLint outputFlip[2] = {-1, -1};
    std::array<Vertex, VertexCount> vertices{};
    std::array<QuadEntry, MaxQuads> quads{};
    // What the last frame drew, to know where this one differs.
    std::array<QuadEntry, MaxQuads> shown{};
    int shownCount = 0;
    int shownRange = -1;
    int shownWidth = 0, shownHeight = 0;
    // Whole frames still to draw after the target changed size: a window's
    // buffers are reallocated by the driver a frame or two after the window's
    // own size changes, and come back empty.
    int wholeFramesLeft = 0;
    // The converted output, kept for a target that does not keep its frame.
    GLuint outputTexture = 0, outputFramebuffer = 0;
    std::vector<CFrame*> snapshot;
    std::unique_ptr<CRichEditTextRenderer> textRenderer;  // synchronous text only
    bool current = false;  // the context was made current: there is something to release
    // Each phase's time over the frames presented.
    struct PhaseTotals {
        int64_t minNanos = 0, maxNanos = 0, nanos = 0;
    };
    std::array<PhaseTotals, FramePhaseCount> phaseTotals{};
    int timedFrames = 0;
};

RenderStatus CRender::InitGL(std::string& failure) {
    const RenderStatus made = target_->MakeCurrent(failure);
    gl_->current = made == RenderStatus::Ok;
    if (made != RenderStatus::Ok) return made;
    if (epoxy_gl_version() < 33) {
        failure = "OpenGL " + std::to_string(epoxy_gl_version()) + ", 3.3 needed";
        return RenderStatus::SetUpFailed;
    }
    GLint maxTexture = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
    CDebug::Log(2, "CRender::CRender(): GL_MAX_TEXTURE_SIZE: %d x %d, GLSL version: %d", maxTexture, maxTexture,
                epoxy_glsl_version());
    if (maxTexture < RenderTextureSide || epoxy_glsl_version() < 330) {
        failure = "textures of 2048 x 2048 and GLSL 3.30 are needed";
        return RenderStatus::SetUpFailed;
    }
    GL& g = *gl_;
    glGenTextures(1, &g.renderTexture);
    glBindTexture(GL_TEXTURE_2D, g.renderTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, RenderTextureSide, RenderTextureSide, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenFramebuffers(1, &g.renderFramebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, g.renderFramebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, g.renderTexture, 0);
    const GLenum complete = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (complete != GL_FRAMEBUFFER_COMPLETE) {
        failure = "render texture: glCheckFramebufferStatus() = " + std::to_string(complete);
        return RenderStatus::SetUpFailed;
    }

    glGenVertexArrays(1, &g.vao);
    glGenBuffers(1, &g.vbo);
    glBindVertexArray(g.vao);
    glBindBuffer(GL_ARRAY_BUFFER, g.vbo);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(sizeof(Vertex) * VertexCount), nullptr, GL_DYNAMIC_DRAW);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, x)));
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, u)));
    glVertexAttribPointer(2, 1, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, alpha)));
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glEnableVertexAttribArray(2);
    glBindVertexArray(0);
    if (const GLenum error = glGetError(); error != GL_NO_ERROR) {
        failure = "glBufferData()/glVertexAttribPointer(): glGetError() = " + std::to_string(error);
        return RenderStatus::SetUpFailed;
    }

    g.mix = Link(ComposeVertData, AlphaMixFragData, "AlphaMix", failure);
    if (g.mix) g.shadow = Link(ComposeVertData, ShadowFragData, "AlphaMixShadow", failure);
    if (g.shadow) g.ycbcra = Link(OutputVertData, YCbCrAFragData, "RGBA2YCbCrA", failure);
    if (g.ycbcra) g.plain = Link(OutputVertData, PlainFragData, "AlphaBlend", failure);
    if (!g.plain) return RenderStatus::SetUpFailed;
    g.mixTarget = glGetUniformLocation(g.mix, "targetSize");
    g.shadowTarget = glGetUniformLocation(g.shadow, "targetSize");
    static const char* xs[] = {"g_fXL2", "g_fXL1", "g_fX00", "g_fXR1", "g_fXR2"};
    static const char* ys[] = {"g_fYL2", "g_fYL1", "g_fY00", "g_fYR1", "g_fYR2"};
    for (int k = 0; k < 5; ++k) {
        g.shadowX[k] = glGetUniformLocation(g.shadow, xs[k]);
        g.shadowY[k] = glGetUniformLocation(g.shadow, ys[k]);
    }
    g.ycbcraWidth = glGetUniformLocation(g.ycbcra, "g_TextureWidth");
    g.ycbcraQuad = glGetUniformLocation(g.ycbcra, "quadSize");
    g.ycbcraFull = glGetUniformLocation(g.ycbcra, "fullRange");
    g.outputTarget[0] = glGetUniformLocation(g.ycbcra, "targetSize");
    g.plainQuad = glGetUniformLocation(g.plain, "quadSize");
    g.plainScale = glGetUniformLocation(g.plain, "uvScale");
    g.outputTarget[1] = glGetUniformLocation(g.plain, "targetSize");
    g.outputFlip[0] = glGetUniformLocation(g.ycbcra, "flipY");
    g.outputFlip[1] = glGetUniformLocation(g.plain, "flipY");
    for (GLuint program : {g.mix, g.shadow, g.ycbcra, g.plain}) {
        glUseProgram(program);
        glUniform1i(glGetUniformLocation(program, "source"), 0);
    }
    glUseProgram(0);

    g.samplerWrap = Sampler(GL_REPEAT, GL_REPEAT, GL_LINEAR);
    g.samplerShadow[MovementFixed] = Sampler(GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_LINEAR);
    g.samplerShadow[MovementHorizontal] = Sampler(GL_REPEAT, GL_CLAMP_TO_EDGE, GL_LINEAR);
    g.samplerShadow[MovementVertical] = Sampler(GL_CLAMP_TO_EDGE, GL_REPEAT, GL_LINEAR);
    g.samplerPoint = Sampler(GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_NEAREST);
    g.samplerScaled = Sampler(GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_LINEAR);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    if (const GLenum error = glGetError(); error != GL_NO_ERROR) {
        failure = "glGenSamplers()/glSamplerParameteri(): glGetError() = " + std::to_string(error);
        return RenderStatus::SetUpFailed;
    }
    WarmUp();
    return RenderStatus::Ok;
}

void CRender::UseOutputProgram(bool plain, int width, int height, float quadW, float quadH, bool fullRange) {
    GL& g = *gl_;
    if (plain) {
        // Laid over the back colour as straight alpha.
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glUseProgram(g.plain);
        glUniform2f(g.outputTarget[1], float(width), float(height));
        glUniform1i(g.outputFlip[1], target_->FlipY() ? 1 : 0);
        glUniform2f(g.plainQuad, quadW, quadH);
        const float side = float(RenderTextureSide);
        if (options_.preview)
            glUniform2f(g.plainScale, float(options_.renderWidth) / side, float(options_.renderHeight) / side);
        else
            glUniform2f(g.plainScale, 1.0f, 1.0f);
    } else {
        glDisable(GL_BLEND);
        glUseProgram(g.ycbcra);
        glUniform2f(g.outputTarget[0], float(width), float(height));
        glUniform1i(g.outputFlip[0], target_->FlipY() ? 1 : 0);
        glUniform1f(g.ycbcraWidth, 2047.0f);
        glUniform2f(g.ycbcraQuad, quadW, quadH);
        glUniform1i(g.ycbcraFull, fullRange ? 1 : 0);
    }
}

void CRender::WarmUp() {
    // A software rasteriser makes each program's machine code at its first draw in
    // each state; one pixel drawn every way a frame draws, here at set-up, keeps
    // that work out of the first frames on air.
    GL& g = *gl_;
    TextureResult result = TextureResult::Ok;
    TextureHandle texture = g.device.CreateTexture(1, 1, result);
    if (!texture) return;
    const Vertex pixel[4] = {{0, 0, 0, 0, 1}, {1, 0, 1, 0, 1}, {0, 1, 0, 1, 1}, {1, 1, 1, 1, 1}};
    glBindBuffer(GL_ARRAY_BUFFER, g.vbo);
    glBufferSubData(GL_ARRAY_BUFFER, GLsizeiptr(sizeof(Vertex) * 4), sizeof pixel, pixel);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindVertexArray(g.vao);
    glActiveTexture(GL_TEXTURE0);
    glBindFramebuffer(GL_FRAMEBUFFER, g.renderFramebuffer);
    glViewport(0, 0, RenderTextureSide, RenderTextureSide);
    glScissor(0, 0, 1, 1);
    glEnable(GL_SCISSOR_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, COpenGLTextureDevice::NameOf(texture.get()));
    const float side = float(RenderTextureSide);
    glUseProgram(g.shadow);
    glUniform2f(g.shadowTarget, side, side);
    for (GLuint sampler : g.samplerShadow) {
        glBindSampler(0, sampler);
        glDrawArrays(GL_TRIANGLE_STRIP, 4, 4);
    }
    glUseProgram(g.mix);
    glUniform2f(g.mixTarget, side, side);
    glBindSampler(0, g.samplerWrap);
    glDrawArrays(GL_TRIANGLE_STRIP, 4, 4);
    // The output programs, into the target (whose first frame covers it all).
    glBindFramebuffer(GL_FRAMEBUFFER, target_->Framebuffer());
    glViewport(0, 0, target_->Width(), target_->Height());
    glBindTexture(GL_TEXTURE_2D, g.renderTexture);
    glBindSampler(0, options_.preview ? g.samplerScaled : g.samplerPoint);
    const int w = target_->Width(), h = target_->Height();
    for (const bool plain : {true, false}) {
        UseOutputProgram(plain, w, h, float(w), float(h), fullHdmiRange.load() != 0);
        glDrawArrays(GL_TRIANGLE_STRIP, 4, 4);
    }
    glDisable(GL_BLEND);
    glDisable(GL_SCISSOR_TEST);
    glFinish();
    glBindSampler(0, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glBindVertexArray(0);
    glUseProgram(0);
    texture.reset();
    g.device.CollectGarbage();
}

void CRender::ReleaseGL() {
    GL& g = *gl_;
    if (!g.current) {
        target_->DoneCurrent();
        return;
    }
    g.device.CollectGarbage();
    for (GLuint program : {g.mix, g.shadow, g.ycbcra, g.plain})
        if (program) glDeleteProgram(program);
    for (GLuint sampler :
         {g.samplerWrap, g.samplerShadow[0], g.samplerShadow[1], g.samplerShadow[2], g.samplerPoint, g.samplerScaled})
        if (sampler) glDeleteSamplers(1, &sampler);
    if (g.vbo) glDeleteBuffers(1, &g.vbo);
    if (g.vao) glDeleteVertexArrays(1, &g.vao);
    if (g.renderFramebuffer) glDeleteFramebuffers(1, &g.renderFramebuffer);
    if (g.renderTexture) glDeleteTextures(1, &g.renderTexture);
    if (g.outputFramebuffer) glDeleteFramebuffers(1, &g.outputFramebuffer);
    if (g.outputTexture) glDeleteTextures(1, &g.outputTexture);
    target_->DoneCurrent();
}

// ---------------------------------------------------------------------------------
// CRender

CRender::CRender(CFrameSet& page, RenderOptions options, std::unique_ptr<IPresentTarget> target,
                 std::unique_ptr<CHiResTimer> timer)
    : page_(page), options_(std::move(options)), target_(std::move(target)),
      timer_(timer ? std::move(timer) : std::make_unique<CHiResTimer>()), gl_(std::make_unique<GL>()) {
    CDebug::Log(2, "CRender::CRender(%d x %d), %d, %d, %08p", options_.renderWidth, options_.renderHeight, 0,
                int(options_.fullHdmiRange), static_cast<const void*>(nullptr));
    fullHdmiRange = options_.fullHdmiRange ? 1 : 0;
    if (!target_) {
        status = RenderStatus::NoOpenGL33;
        return;
    }
    // The render thread owns the context from its first call: it sets OpenGL up
    // and tells the outcome before drawing anything.
    renderThread_ = StartThread(&CRender::RenderThread);
    {
        std::unique_lock lock(startLock_);
        started_.wait(lock, [&] { return startReported_; });
    }
    if (status.load() != RenderStatus::Ok) return;
    if (!options_.synchronousText) textThread_ = StartThread(&CRender::TextThread);
}

std::unique_ptr<QThread> CRender::StartThread(void (CRender::*body)()) {
    std::unique_ptr<QThread> thread(QThread::create(body, this));
    thread->start();
    return thread;
}

void CRender::Finish(std::unique_ptr<QThread>& thread, std::atomic<bool>& done) {
    if (!thread) return;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2000);
    while (!done.load() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!done.load()) {
        // A thread cannot be killed safely and a detached one would go on using
        // this engine's memory: it is waited for, however long its last step takes.
        CDebug::Log(1, "CRender::~CRender(): terminating threads!");
    }
    thread->wait();
    thread.reset();
}

CRender::~CRender() {
    CDebug::Log(2, "CRender::~CRender(): called");
    stop.exchange(1);
    Finish(renderThread_, renderDone_);
    Finish(textThread_, textDone_);
    CDebug::Log(2, "CRender::~CRender(): done");
}

namespace {

// Linux gives priority per thread through its nice value; threads started by
// this one (the software rasteriser's, made with the context) inherit it.
// Raising it needs the privilege to; without it the thread runs as it is.
void SetThreadPriority(int nice, const char* thread) {
    if (setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), nice) != 0)
        CDebug::Log(2, "CRender::%s(): priority %d not set: %s", thread, nice, std::strerror(errno));
}

}  // namespace

void CRender::RenderThread() {
    // Time-critical: before the context, so that its drawing threads share it.
    SetThreadPriority(RenderThreadNice, "RenderThread");
    std::string failure;
    const RenderStatus initialised = InitGL(failure);
    if (initialised != RenderStatus::Ok) CDebug::Log(1, "CRender::CRender(): %s", failure.c_str());
    // The output is on before the constructor returns: a play given at once (the
    // start-up's automation on the same tick) finds it on rather than being dropped.
    if (initialised == RenderStatus::Ok) page_.OutputOn.store(1);
    {
        std::lock_guard guard(startLock_);
        status = initialised;
        startReported_ = true;
    }
    started_.notify_all();
    if (initialised != RenderStatus::Ok) {
        ReleaseGL();
        renderDone_ = true;
        return;
    }
    CDebug::Log(2, "CRender::RenderThread() started");
    if (options_.synchronousText) gl_->textRenderer = std::make_unique<CRichEditTextRenderer>(1);
    const int64_t start = timer_->Micros();
    bool presented = true;
    for (int frame = 0; !stop.load() && presented; ++frame) {
        if (options_.beforeFrame && !options_.beforeFrame(frame)) break;
        presented = RenderFrame(frame);
    }
    // Every frame's times are handed over before the status says the engine stopped.
    PublishStatistics(true);
    const int frames = framesRendered.load();
    if (frames > 0) {
        const int elapsed = int((timer_->Micros() - start) / 1000);
        const RenderStatistics statistics = Statistics();
        std::string phases;
        for (int k = 0; k < FramePhaseCount; ++k) {
            const FramePhaseTimes& t = statistics.phases[size_t(k)];
            char part[96];
            std::snprintf(part, sizeof part, "%s%s %.3f/%.3f/%.3f", k ? ", " : "", FramePhaseName(FramePhase(k)),
                          t.minMs, t.meanMs, t.maxMs);
            phases += part;
        }
        CDebug::Log(2, "rendered %d frames in %d msec, %.2f msec/frame, %.2f Hz; min/mean/max msec: %s", frames,
                    elapsed, double(elapsed) / frames, elapsed > 0 ? frames * 1000.0 / elapsed : 0.0, phases.c_str());
    }
    status = presented ? RenderStatus::Stopped : RenderStatus::OutputLost;
    if (page_.OutputOn.load()) {
        page_.StopAll();
        page_.OutputOn.store(0);
    }
    gl_->textRenderer.reset();
    ReleaseGL();
    SetThreadPriority(0, "RenderThread");
    CDebug::Log(2, "CRender::RenderThread() stopped");
    renderDone_ = true;
}

void CRender::TextThread() {
    SetThreadPriority(TextThreadNice, "TextThread");
    CDebug::Log(2, "CRender::TextThread() started");
    // Created here: the text documents belong to the thread that uses them.
    CRichEditTextRenderer renderer(1);
    std::vector<CFrame*> objects;
    while (!stop.load()) {
        int work = 0;
        page_.BeginSnapshot(objects);
        for (CFrame* object : objects) {
            if (object->Playing.load()) work |= InvokeRender(*object, renderer);
            if (stop.load()) break;
        }
        page_.EndSnapshot();
        if (!work) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    SetThreadPriority(0, "TextThread");
    CDebug::Log(2, "CRender::TextThread() stopped");
    textDone_ = true;
}

// ---------------------------------------------------------------------------------
// A frame, phase by phase

const char* FramePhaseName(FramePhase phase) {
    static constexpr const char* names[FramePhaseCount] = {"collect", "damage", "upload",
                                                           "compose", "output", "present"};
    return names[size_t(phase)];
}

// What one frame works out and hands from phase to phase, on the render thread's
// stack.
struct CRender::FrameWork {
    int count = 0;  // the quads collected into GL::quads
    int targetWidth = 0, targetHeight = 0;
    int renderWidth = 0, renderHeight = 0;  // the picture composed, within the render texture
    bool fullRange = true;
    bool resized = false;  // the target's size is not the last frame's
    bool whole = false;    // everything is drawn again
    Damage damage;
    float back[4] = {};
    std::array<int64_t, FramePhaseCount> nanos{};  // the time each phase took
};

// Gives each phase the steady clock's time since the last mark (the frames' own
// clock may be a virtual one).
class CRender::PhaseClock {
public:
    explicit PhaseClock(FrameWork& work) : work_(work), mark_(Clock::now()) {}
    void Lap(FramePhase phase) {
        const Clock::time_point now = Clock::now();
        work_.nanos[size_t(phase)] += std::chrono::duration_cast<std::chrono::nanoseconds>(now - mark_).count();
        mark_ = now;
    }
    // The time since the last mark belongs to no phase.
    void Skip() { mark_ = Clock::now(); }

private:
    using Clock = std::chrono::steady_clock;
    FrameWork& work_;
    Clock::time_point mark_;
};

bool CRender::RenderFrame(int frame) {
    GL& g = *gl_;
    FrameWork work;
    PhaseClock clock(work);
    work.count = CollectQuads(frame, clock);
    clock.Lap(FramePhase::Collect);
    FindDamage(frame, work);
    clock.Lap(FramePhase::Damage);
    Upload(work);
    clock.Lap(FramePhase::Upload);
    Compose(frame, work);
    clock.Lap(FramePhase::Compose);
    ConvertOutput(work);
    clock.Lap(FramePhase::Output);
    const bool presented = Present();
    clock.Lap(FramePhase::Present);
    if (presented) {
        CountTimes(work);
        framesRendered.fetch_add(1);
        PublishStatistics(false);
        if (options_.afterFrame) options_.afterFrame(frame, *this);
    } else {
        CDebug::Log(1, "CRender::RenderFrame(): IPresentTarget::Present() failed: the output display is gone");
    }

    // Let go of the objects.
    for (CFrame* object : g.snapshot)
        if (object->Busy.load()) object->EndPresent();
    page_.EndSnapshot();
    return presented;
}

int CRender::CollectQuads(int frame, PhaseClock& clock) {
    GL& g = *gl_;
    g.device.CollectGarbage();

    const int64_t now = timer_->Micros();
    const int elapsed = lastFrameTime_ == 0 ? 0 : int(std::min<int64_t>(std::llabs(now - lastFrameTime_), INT32_MAX));
    lastFrameTime_ = now;

    // Each playing object's record, collected as quads.
    page_.BeginSnapshot(g.snapshot);
    if (options_.synchronousText) {
        // Tools and tests do here what the text thread does on air: it is not one
        // of the frame's phases.
        clock.Lap(FramePhase::Collect);
        for (int pass = 0; pass < 1000; ++pass) {
            bool busy = false;
            for (CFrame* object : g.snapshot)
                if (object->Playing.load() && InvokeRender(*object, *g.textRenderer)) busy = true;
            if (!busy) break;
        }
        clock.Skip();
    }
    int count = 0;
    for (CFrame* object : g.snapshot) {
        if (!object->BeginPresent()) continue;
        const int run = object->Run.load();  // the run presented: no Stop completes while Busy is held
        if (object->RecheckCountdown.load() > 0 && object->RecheckCountdown.fetch_sub(1) == 1) object->RecheckDue = 1;
        FramePresentation record;
        TimelinePhase phase = TimelinePhase::Finished;
        const bool alive = PresentFrame(*object, record, g.device, elapsed, &phase);
        if (options_.presented) options_.presented(frame, *object, record, phase, alive);
        if (!alive) {
            object->EndPresent();
            if (page_.OutputOn.load()) object->StopRun(run);
            continue;
        }
        const auto add = [&](CTexture* texture, const float (&window)[4], int shadow, int movement) {
            if (count >= MaxQuads) return;
            QuadEntry& q = g.quads[size_t(count++)];
            std::copy(std::begin(record.Dest), std::end(record.Dest), q.dest);
            std::copy(std::begin(window), std::end(window), q.window);
            q.texture = texture;
            q.alpha = record.Alpha;
            q.shadow = shadow;
            q.movement = movement;
            q.name = COpenGLTextureDevice::NameOf(texture);
            q.version = COpenGLTextureDevice::VersionOf(texture);
        };
        if (record.Background) add(record.Background, record.BackgroundWindow, 0, 0);
        if (record.Text) {
            const int s = object->DropShadow;
            add(record.Text, record.TextWindow, s <= 0 ? 0 : s == 1 ? 1 : 2 * s - 2, object->Movement);
        }
    }
    return count;
}

void CRender::FindDamage(int frame, FrameWork& work) {
    GL& g = *gl_;
    // Where this frame differs from the last: the places of quads that appeared,
    // went, or show something else. The rest of the picture stands as it is.
    const int count = work.count;
    work.targetWidth = target_->Width();
    work.targetHeight = target_->Height();
    work.renderWidth = std::min(options_.renderWidth, RenderTextureSide);
    work.renderHeight = std::min(options_.renderHeight, RenderTextureSide);
    work.fullRange = fullHdmiRange.load() != 0;
    const int range = work.fullRange ? 1 : 0;
    work.resized = work.targetWidth != g.shownWidth || work.targetHeight != g.shownHeight;
    if (work.resized && frame > 0) g.wholeFramesLeft = WholeFramesAfterResize;
    work.whole = frame == 0 || options_.redrawAll || g.wholeFramesLeft > 0 || range != g.shownRange;
    if (g.wholeFramesLeft > 0) --g.wholeFramesLeft;
    Damage& damage = work.damage;
    if (work.whole) {
        damage.Add(Box{0, 0, work.renderWidth, work.renderHeight});
    } else {
        for (int k = 0; k < std::max(count, g.shownCount); ++k) {
            if (k < count && k < g.shownCount && g.quads[size_t(k)].SameAs(g.shown[size_t(k)])) continue;
            Box changed;
            if (k < count) changed.Add(g.quads[size_t(k)].dest);
            if (k < g.shownCount) changed.Add(g.shown[size_t(k)].dest);
            damage.Add(changed.Clipped(work.renderWidth, work.renderHeight));
        }
    }
    std::copy(g.quads.begin(), g.quads.begin() + count, g.shown.begin());
    g.shownCount = count;
    g.shownRange = range;
    Colour(options_.backColor, work.back);
}

void CRender::Upload(const FrameWork& work) {
    GL& g = *gl_;
    const int count = work.count;
    // The pixels the objects wrote into the textures this frame draws: once per
    // texture, however often it was written.
    for (int k = 0; k < count; ++k)
        if (COpenGLTextureDevice::Upload(g.quads[size_t(k)].texture)) textureUploads.fetch_add(1);

    // One vertex upload for the frame (and none while nothing changes).
    if (work.resized) {
        // The output quad: the render texture 1:1 (or at 1/scale) from the target's
        // top left corner, or in preview the render size scaled to the whole target.
        const float side = options_.preview ? 0.0f : float(RenderTextureSide / std::max(1, options_.scale));
        const float w = options_.preview ? float(work.targetWidth) : side;
        const float h = options_.preview ? float(work.targetHeight) : side;
        g.vertices[0] = {0, 0, 0, 0, 1};
        g.vertices[1] = {w - 1, 0, 1, 0, 1};
        g.vertices[2] = {0, h - 1, 0, 1, 1};
        g.vertices[3] = {w - 1, h - 1, 1, 1, 1};
    }
    if (!work.damage.Empty() || work.resized) {
        for (int k = 0; k < count; ++k) {
            const QuadEntry& q = g.quads[size_t(k)];
            const float a = float(q.alpha) / 255.0f;
            Vertex* v = &g.vertices[size_t(4 * (k + 1))];
            v[0] = {q.dest[0], q.dest[1], q.window[0], q.window[1], a};
            v[1] = {q.dest[2], q.dest[1], q.window[2], q.window[1], a};
            v[2] = {q.dest[0], q.dest[3], q.window[0], q.window[3], a};
            v[3] = {q.dest[2], q.dest[3], q.window[2], q.window[3], a};
        }
        glBindBuffer(GL_ARRAY_BUFFER, g.vbo);
        glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(sizeof(Vertex) * 4 * (count + 1)), g.vertices.data());
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        vertexUploads.fetch_add(1);
    }
}

void CRender::Compose(int frame, const FrameWork& work) {
    GL& g = *gl_;
    // Premultiplied, one over the other, where the picture changed.
    const Damage& damage = work.damage;
    if (damage.Empty()) return;
    glBindVertexArray(g.vao);
    glActiveTexture(GL_TEXTURE0);
    glBindFramebuffer(GL_FRAMEBUFFER, g.renderFramebuffer);
    glViewport(0, 0, RenderTextureSide, RenderTextureSide);
    glClearColor(work.back[0], work.back[1], work.back[2], work.back[3]);
    // Beyond the render size the texture only ever holds the back colour: the
    // first frame clears it all, later ones only what they draw.
    if (frame == 0) glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    const float side = float(RenderTextureSide);
    glUseProgram(g.shadow);
    glUniform2f(g.shadowTarget, side, side);
    glUseProgram(g.mix);
    glUniform2f(g.mixTarget, side, side);
    for (int b = 0; b < damage.count; ++b) {
        damage.boxes[size_t(b)].Scissor(RenderTextureSide, false);
        glClear(GL_COLOR_BUFFER_BIT);
        glUseProgram(g.mix);
        glBindSampler(0, g.samplerWrap);
        GLuint current = g.mix;
        for (int k = 0; k < work.count; ++k) {
            const QuadEntry& q = g.quads[size_t(k)];
            glBindTexture(GL_TEXTURE_2D, q.name);
            if (q.shadow > 0) {
                glUseProgram(g.shadow);
                current = g.shadow;
                // Offsets keep their last values for a texture without width or height.
                const float w = float(q.shadow);
                if (q.texture->width != 0) {
                    const float d = -1.0f / float(q.texture->width);
                    for (int i = 0; i < 5; ++i) glUniform1f(g.shadowX[i], (w - 3 + float(i)) * d);
                }
                if (q.texture->height != 0) {
                    const float d = -1.0f / float(q.texture->height);
                    for (int i = 0; i < 5; ++i) glUniform1f(g.shadowY[i], (w - 3 + float(i)) * d);
                }
                glBindSampler(0, g.samplerShadow[std::clamp(q.movement, 0, 2)]);
                glDrawArrays(GL_TRIANGLE_STRIP, 4 * (k + 1), 4);
                glBindSampler(0, g.samplerWrap);
            }
            if (current != g.mix) {
                glUseProgram(g.mix);
                current = g.mix;
            }
            glDrawArrays(GL_TRIANGLE_STRIP, 4 * (k + 1), 4);
        }
    }
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_BLEND);
}

void CRender::ConvertOutput(const FrameWork& work) {
    GL& g = *gl_;
    // Packed for the keyer, or laid over the back colour, where the picture
    // changed. A target that does not keep its frame gets a copy of the output
    // kept here.
    const int targetWidth = work.targetWidth, targetHeight = work.targetHeight;
    const Damage& damage = work.damage;
    const bool kept = target_->KeepsFrame();
    if (!kept && (work.resized || !g.outputFramebuffer)) {
        if (!g.outputTexture) glGenTextures(1, &g.outputTexture);
        glBindTexture(GL_TEXTURE_2D, g.outputTexture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, targetWidth, targetHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glBindTexture(GL_TEXTURE_2D, 0);
        if (!g.outputFramebuffer) glGenFramebuffers(1, &g.outputFramebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, g.outputFramebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, g.outputTexture, 0);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    g.shownWidth = targetWidth;
    g.shownHeight = targetHeight;
    const GLuint output = kept ? target_->Framebuffer() : g.outputFramebuffer;
    const float quadW = g.vertices[1].x + 1, quadH = g.vertices[2].y + 1;
    if (!damage.Empty()) {
        // The output pixels that show the changed ones: the quad maps the render
        // texture (or in preview the render size) onto its sides; a margin covers
        // rounding and the neighbour each packed pixel takes its chroma from.
        const float spanX = options_.preview ? float(options_.renderWidth) : float(RenderTextureSide);
        const float spanY = options_.preview ? float(options_.renderHeight) : float(RenderTextureSide);
        const float fx = (quadW - 1) / spanX, fy = (quadH - 1) / spanY;
        glBindVertexArray(g.vao);
        glActiveTexture(GL_TEXTURE0);
        glBindFramebuffer(GL_FRAMEBUFFER, output);
        glViewport(0, 0, targetWidth, targetHeight);
        glEnable(GL_SCISSOR_TEST);
        glBindTexture(GL_TEXTURE_2D, g.renderTexture);
        glBindSampler(0, options_.preview ? g.samplerScaled : g.samplerPoint);
        const bool plain = options_.preview || options_.noYCbCrA;
        if (plain) glClearColor(work.back[0], work.back[1], work.back[2], work.back[3]);
        UseOutputProgram(plain, targetWidth, targetHeight, quadW, quadH, work.fullRange);
        for (int b = 0; b < damage.count; ++b) {
            const Box& d = damage.boxes[size_t(b)];
            const Box shown = work.whole ? Box{0, 0, targetWidth, targetHeight}
                                         : Box{int(std::floor((d.left - 2) * fx)) - 2,
                                               int(std::floor((d.top - 2) * fy)) - 2,
                                               int(std::ceil((d.right + 2) * fx)) + 3,
                                               int(std::ceil((d.bottom + 2) * fy)) + 3}
                                               .Clipped(targetWidth, targetHeight);
            if (shown.Empty()) continue;
            shown.Scissor(targetHeight, target_->FlipY());
            // Packed output clears only on whole frames: beyond the quad (a scaled
            // picture, a target larger than it) nothing else would ever be drawn.
            if (plain || work.whole) {
                if (!plain) glClearColor(0, 0, 0, 0);
                glClear(GL_COLOR_BUFFER_BIT);
            }
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        }
        glDisable(GL_BLEND);
        glDisable(GL_SCISSOR_TEST);
    }
    if (!kept) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, g.outputFramebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target_->Framebuffer());
        glBlitFramebuffer(0, 0, targetWidth, targetHeight, 0, 0, targetWidth, targetHeight, GL_COLOR_BUFFER_BIT,
                          GL_NEAREST);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
    glBindSampler(0, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindVertexArray(0);
    glUseProgram(0);
}

bool CRender::Present() { return target_->Present(); }

void CRender::CountTimes(const FrameWork& work) {
    GL& g = *gl_;
    for (size_t k = 0; k < size_t(FramePhaseCount); ++k) {
        GL::PhaseTotals& totals = g.phaseTotals[k];
        const int64_t nanos = work.nanos[k];
        totals.minNanos = g.timedFrames == 0 ? nanos : std::min(totals.minNanos, nanos);
        totals.maxNanos = std::max(totals.maxNanos, nanos);
        totals.nanos += nanos;
    }
    ++g.timedFrames;
}

void CRender::PublishStatistics(bool wait) {
    const GL& g = *gl_;
    RenderStatistics statistics;
    statistics.frames = g.timedFrames;
    if (g.timedFrames > 0) {
        for (size_t k = 0; k < size_t(FramePhaseCount); ++k) {
            const GL::PhaseTotals& totals = g.phaseTotals[k];
            statistics.phases[k] = {double(totals.minNanos) / 1e6, double(totals.nanos) / g.timedFrames / 1e6,
                                    double(totals.maxNanos) / 1e6};
        }
    }
    // A reader holds the lock only while it copies; the render thread does not
    // wait for it on a frame, the next frame hands the figures over instead.
    std::unique_lock lock(statisticsLock_, std::defer_lock);
    if (wait) lock.lock();
    else if (!lock.try_lock()) return;
    published_ = statistics;
}

RenderStatistics CRender::Statistics() const {
    std::lock_guard guard(statisticsLock_);
    return published_;
}

void CRender::ReadComposed(std::vector<uint8_t>& rgba, int& width, int& height) {
    width = std::min(options_.renderWidth, RenderTextureSide);
    height = std::min(options_.renderHeight, RenderTextureSide);
    rgba.resize(size_t(width) * size_t(height) * 4);
    glBindFramebuffer(GL_FRAMEBUFFER, gl_->renderFramebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void CRender::ReadOutput(std::vector<uint8_t>& rgba, int& width, int& height) {
    width = target_->Width();
    height = target_->Height();
    rgba.resize(size_t(width) * size_t(height) * 4);
    // A window's back buffer holds nothing after a swap unless it is kept: then
    // the output kept here is what it showed.
    const GLuint shown = target_->ShownFramebuffer();
    const bool kept = target_->KeepsFrame() || shown != target_->Framebuffer();
    glBindFramebuffer(GL_FRAMEBUFFER, kept ? shown : gl_->outputFramebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}
