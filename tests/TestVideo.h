// Test videos written with FFmpeg's libraries while the tests run: frames of two
// colours (top and bottom half, so row order shows) in any container and codec.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

struct Rgba {
    uint8_t r, g, b, a;
};

// One frame: the top half in one colour, the bottom half in another, so that the
// row order shows. width/height 0 mean the stream's size.
struct TestFrame {
    Rgba top;
    Rgba bottom;
    int width = 0;
    int height = 0;
};

struct VideoRecipe {
    const char* container = "avi";
    AVCodecID codec = AV_CODEC_ID_RAWVIDEO;
    AVPixelFormat pixelFormat = AV_PIX_FMT_BGR24;
    int width = 32;
    int height = 24;
    AVRational rate{25, 1};
    std::vector<TestFrame> frames;
    // Each frame's timestamp in frame periods (empty: 0, 1, 2 ...): gaps make
    // variable frame timing, or dropped frames in AVI.
    std::vector<int64_t> pts;
    // An encoder chosen by name (e.g. "prores_ks", "libvpx-vp9"), else FFmpeg's
    // first for the codec; profile -1 keeps the encoder's default.
    const char* encoder = nullptr;
    int profile = -1;
};

// Fills an RGBA picture with the frame's two halves and converts it to the
// encoder's pixel format.
inline bool FillFrame(AVFrame* out, const TestFrame& f, int width, int height, AVPixelFormat format) {
    out->format = format;
    out->width = width;
    out->height = height;
    if (av_frame_get_buffer(out, 0) < 0) return false;
    if (format == AV_PIX_FMT_PAL8) {
        // Index 0 for the top half, 1 for the bottom; palette entries are 0xAARRGGBB.
        auto entry = [](Rgba c) { return uint32_t(c.a) << 24 | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b; };
        uint32_t* palette = reinterpret_cast<uint32_t*>(out->data[1]);
        std::memset(palette, 0, 256 * 4);
        palette[0] = entry(f.top);
        palette[1] = entry(f.bottom);
        for (int y = 0; y < height; ++y) std::memset(out->data[0] + y * out->linesize[0], y < height / 2 ? 0 : 1, width);
        return true;
    }
    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        const Rgba& c = y < height / 2 ? f.top : f.bottom;
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = c.a;
        }
    }
    SwsContext* sws = sws_getContext(width, height, AV_PIX_FMT_RGBA, width, height, format, SWS_POINT,
                                     nullptr, nullptr, nullptr);
    if (!sws) return false;
    const uint8_t* src[4] = {rgba.data(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {width * 4, 0, 0, 0};
    const int rows = sws_scale(sws, src, srcStride, 0, height, out->data, out->linesize);
    sws_freeContext(sws);
    return rows == height;
}

inline AVCodecContext* OpenEncoder(const VideoRecipe& recipe, int width, int height, bool globalHeader) {
    const AVCodec* codec = recipe.encoder ? avcodec_find_encoder_by_name(recipe.encoder) : avcodec_find_encoder(recipe.codec);
    if (!codec) return nullptr;
    AVCodecContext* enc = avcodec_alloc_context3(codec);
    enc->width = width;
    enc->height = height;
    enc->pix_fmt = recipe.pixelFormat;
    enc->time_base = av_inv_q(recipe.rate);
    enc->framerate = recipe.rate;
    if (recipe.codec == AV_CODEC_ID_MJPEG) {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = FF_QP2LAMBDA * 2;
        enc->color_range = AVCOL_RANGE_JPEG;
    }
    if (recipe.profile >= 0) enc->profile = recipe.profile;
    if (globalHeader) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    if (codec->id == AV_CODEC_ID_VP9) {  // small test clips: fast, near-lossless
        av_dict_set(&options, "deadline", "realtime", 0);
        av_dict_set(&options, "cpu-used", "8", 0);
        av_dict_set(&options, "lossless", "1", 0);
    }
    const int opened = avcodec_open2(enc, codec, &options);
    av_dict_free(&options);
    if (opened < 0) {
        avcodec_free_context(&enc);
        return nullptr;
    }
    return enc;
}

// Encodes one frame (nullptr: flush) and writes every packet it gives.
inline bool EncodeAndWrite(AVCodecContext* enc, AVFrame* frame, AVFormatContext* oc, AVStream* st) {
    if (avcodec_send_frame(enc, frame) < 0) return false;
    AVPacket* pkt = av_packet_alloc();
    bool ok = true;
    for (;;) {
        const int r = avcodec_receive_packet(enc, pkt);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
        if (r < 0) {
            ok = false;
            break;
        }
        if (pkt->duration <= 0) pkt->duration = 1;  // one frame period, so the last frame counts in full
        av_packet_rescale_ts(pkt, enc->time_base, st->time_base);
        pkt->stream_index = st->index;
        if (av_interleaved_write_frame(oc, pkt) < 0) ok = false;
    }
    av_packet_free(&pkt);
    return ok;
}

// Writes the video; frames with their own size are encoded by an encoder of that
// size and written into the same stream (a decoder then meets a frame of another
// size than the header says).
inline bool WriteVideo(const QString& path, const VideoRecipe& recipe) {
    const QByteArray file = QFile::encodeName(path);
    AVFormatContext* oc = nullptr;
    if (avformat_alloc_output_context2(&oc, nullptr, recipe.container, file.constData()) < 0) return false;
    const bool globalHeader = oc->oformat->flags & AVFMT_GLOBALHEADER;
    AVCodecContext* enc = OpenEncoder(recipe, recipe.width, recipe.height, globalHeader);
    bool ok = enc != nullptr;
    AVStream* st = ok ? avformat_new_stream(oc, nullptr) : nullptr;
    ok = ok && st && avcodec_parameters_from_context(st->codecpar, enc) >= 0;
    if (ok) st->time_base = enc->time_base;
    ok = ok && avio_open(&oc->pb, ("file:" + file).constData(), AVIO_FLAG_WRITE) >= 0;
    ok = ok && avformat_write_header(oc, nullptr) >= 0;
    for (size_t i = 0; ok && i < recipe.frames.size(); ++i) {
        const TestFrame& f = recipe.frames[i];
        const int w = f.width ? f.width : recipe.width;
        const int h = f.height ? f.height : recipe.height;
        AVFrame* frame = av_frame_alloc();
        ok = FillFrame(frame, f, w, h, recipe.pixelFormat);
        frame->pts = i < recipe.pts.size() ? recipe.pts[i] : int64_t(i);
        if (ok && (w != recipe.width || h != recipe.height)) {
            AVCodecContext* other = OpenEncoder(recipe, w, h, globalHeader);
            ok = other && EncodeAndWrite(other, frame, oc, st) && EncodeAndWrite(other, nullptr, oc, st);
            avcodec_free_context(&other);
        } else if (ok) {
            ok = EncodeAndWrite(enc, frame, oc, st);
        }
        av_frame_free(&frame);
    }
    ok = ok && EncodeAndWrite(enc, nullptr, oc, st);
    ok = ok && av_write_trailer(oc) >= 0;
    avcodec_free_context(&enc);
    if (oc->pb) avio_closep(&oc->pb);
    avformat_free_context(oc);
    return ok;
}
