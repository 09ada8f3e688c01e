#include "media/AviReader.h"

#include "base/SafeFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

// Largest frame side accepted from a header or a decoder.
constexpr int kMaxSide = 16384;
// Packets read while waiting for one decoded frame; a file that gives none within
// them yields a null frame for this call.
constexpr int kMaxPacketsPerFrame = 1024;
// Time one call may spend in FFmpeg's input before its reads are interrupted.
constexpr int64_t kDeadlineMs = 30000;
constexpr int kHeaderSize = 40;
// Beyond every index GetFrame can be asked for.
constexpr int64_t kMaxIndex = int64_t(std::numeric_limits<int>::max()) + 1;

// Demuxers that open further files named inside the file; a video given to the
// reader is one file.
const char* const kRefusedFormats[] = {"hls", "applehttp", "concat", "dash", "imf"};

void QuietOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool FormatRefused(const char* names)
{
    // An input format's name may list several comma-separated names.
    const QByteArray list(names ? names : "");
    for (const QByteArray& name : list.split(',')) {
        for (const char* refused : kRefusedFormats) {
            if (name == refused)
                return true;
        }
    }
    return false;
}

void PutLe16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// A pixel format with its own alpha channel. Palettes do not count: decoders fill
// their alpha unevenly, and a paletted video is opaque.
bool HasAlpha(int format)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(format));
    return desc && (desc->flags & AV_PIX_FMT_FLAG_ALPHA) && !(desc->flags & AV_PIX_FMT_FLAG_PAL);
}

bool IsJpegRangeFormat(AVPixelFormat format)
{
    return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P
        || format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
}

}  // namespace

void CAviReader::FormatCloser::operator()(AVFormatContext* p) const { avformat_close_input(&p); }
void CAviReader::IoCloser::operator()(AVIOContext* p) const { avio_closep(&p); }
void CAviReader::CodecCloser::operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
void CAviReader::FrameCloser::operator()(AVFrame* p) const { av_frame_free(&p); }
void CAviReader::PacketCloser::operator()(AVPacket* p) const { av_packet_free(&p); }
void CAviReader::ScalerCloser::operator()(SwsContext* p) const { sws_freeContext(p); }
void CAviReader::BufferCloser::operator()(uint8_t* p) const { av_free(p); }

CAviReader::CAviReader() { QuietOnce(); }

CAviReader::~CAviReader() { Close(); }

void CAviReader::Close()
{
    m_bitmap.clear();
    m_bitmap.shrink_to_fit();
    m_topDown.reset();
    m_topDownStride = 0;
    m_scaler.reset();
    m_pending.reset();
    m_packet.reset();
    m_decoder.reset();
    m_format.reset();  // before its input
    m_io.reset();
    m_stream = -1;
    m_bitCount = 0;
    m_timestampIndex = false;
    m_firstTimestamp = 0;
    m_haveFirstTimestamp = false;
    m_packetWaiting = false;
    m_draining = false;
    m_ended = false;
    m_hasPending = false;
    m_pendingIndex = -1;
    m_lastIndex = -1;
    m_deliveredIndex = -1;
    m_outWidth = m_outHeight = 0;
    m_pendingTs = m_deliveredTs = m_timeOrigin = INT64_MIN;
    m_pendingDuration = m_deliveredDuration = 0;
    m_decodeErrors = 0;
    m_lengthExact = false;
    Width = Height = 0;
    Scale = Rate = Length = 0;
}

void CAviReader::StartDeadline() { m_deadline = NowMs() + kDeadlineMs; }

int CAviReader::Interrupted(void* self)
{
    return NowMs() > static_cast<CAviReader*>(self)->m_deadline ? 1 : 0;
}

bool CAviReader::Open(const QString& path)
{
    Close();
    m_openError.clear();
    QuietOnce();
    // Only a regular local file: no devices or pipes that could block, and the
    // name always goes to FFmpeg's file protocol, whatever characters it holds.
    const QFileInfo info(path);
    {
        // Looked at before FFmpeg opens it: FFmpeg would wait for a FIFO's writer,
        // and read a device without end.
        QFile probe;
        const FileRefusal refusal = SafeFile::OpenRegular(probe, path);
        if (refusal != FileRefusal::None) {
            m_openError = QString::fromLatin1(FileRefusalText(refusal));
            return false;
        }
    }
    const QByteArray url = "file:" + QFile::encodeName(info.absoluteFilePath());

    StartDeadline();
    const AVIOInterruptCB interrupt{&CAviReader::Interrupted, this};
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVIOContext* io = nullptr;
    const int opened = avio_open2(&io, url.constData(), AVIO_FLAG_READ, &interrupt, &options);
    av_dict_free(&options);
    if (opened < 0 || !io) {
        m_openError = QStringLiteral("the file cannot be opened");
        return false;
    }
    m_io.reset(io);

    // Recognise the container by content, before any of its headers are read.
    const AVInputFormat* format = nullptr;
    if (av_probe_input_buffer2(m_io.get(), &format, url.constData(), nullptr, 0, 0) < 0 || !format
        || FormatRefused(format->name)) {
        Close();
        m_openError = QStringLiteral("not a video FFmpeg can read");
        return false;
    }

    AVFormatContext* context = avformat_alloc_context();
    if (!context) {
        Close();
        return false;
    }
    context->pb = m_io.get();
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    context->interrupt_callback = interrupt;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int result = avformat_open_input(&context, url.constData(), format, &options);
    av_dict_free(&options);
    if (result < 0) {  // the context is freed by the failed call
        Close();
        m_openError = QStringLiteral("not a video FFmpeg can read");
        return false;
    }
    m_format.reset(context);
    return true;
}

bool CAviReader::ReadStreamInfo()
{
    if (!m_format)
        return false;
    StartDeadline();
    // Errors here leave whatever the container header gave; a missing video stream
    // is what decides.
    avformat_find_stream_info(m_format.get(), nullptr);

    m_stream = -1;
    for (unsigned i = 0; i < m_format->nb_streams; ++i) {
        const AVStream* st = m_format->streams[i];
        if (st->codecpar && st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO
            && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            m_stream = int(i);
            break;
        }
    }
    if (m_stream < 0)
        return false;
    AVStream* st = m_format->streams[m_stream];
    for (unsigned i = 0; i < m_format->nb_streams; ++i)
        m_format->streams[i]->discard = int(i) == m_stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    Width = st->codecpar->width;
    Height = st->codecpar->height;

    AVRational rate = st->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = st->avg_frame_rate;
    Scale = Rate = 0;
    if (rate.num > 0 && rate.den > 0) {
        av_reduce(&rate.num, &rate.den, rate.num, rate.den, std::numeric_limits<int>::max());
        Rate = uint32_t(rate.num);
        Scale = uint32_t(rate.den);
    }

    int64_t frames = st->nb_frames;
    m_lengthExact = frames > 0;
    if (frames <= 0 && Rate != 0) {
        // Frames = duration in seconds x Rate / Scale.
        const AVRational frame = {int(Scale), int(Rate)};
        if (st->duration > 0 && st->time_base.num > 0 && st->time_base.den > 0)
            frames = av_rescale_q_rnd(st->duration, st->time_base, frame, AV_ROUND_NEAR_INF);
        else if (m_format->duration > 0)
            frames = av_rescale_q_rnd(m_format->duration, AVRational{1, AV_TIME_BASE}, frame, AV_ROUND_NEAR_INF);
    }
    if (frames < 0)
        frames = 0;
    Length = uint32_t(std::min<int64_t>(frames, std::numeric_limits<uint32_t>::max()));

    // Where the time base is exactly one frame (AVI and the like), a frame's
    // timestamp is its index, which keeps indexes right across frames that fail to
    // decode; otherwise frames are counted as they come.
    m_timestampIndex = Rate != 0 && av_cmp_q(st->time_base, AVRational{int(Scale), int(Rate)}) == 0;
    m_firstTimestamp = st->start_time;
    m_haveFirstTimestamp = st->start_time != AV_NOPTS_VALUE;
    m_outWidth = Width;
    m_outHeight = Height;
    return true;
}

void CAviReader::SetOutputSize(int width, int height)
{
    if (m_decoder || width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        return;
    m_outWidth = width;
    m_outHeight = height;
}

bool CAviReader::OpenDecoder()
{
    if (!m_format || m_stream < 0 || m_decoder)
        return false;
    if (Width <= 0 || Height <= 0 || Width > kMaxSide || Height > kMaxSide)
        return false;
    const AVStream* st = m_format->streams[m_stream];
    const AVCodec* codec = nullptr;
    // FFmpeg's own VP9 decoder drops the alpha that WebM carries beside the picture;
    // libvpx's keeps it.
    const AVDictionaryEntry* alphaMode = av_dict_get(st->metadata, "alpha_mode", nullptr, 0);
    const bool vp9Alpha = st->codecpar->codec_id == AV_CODEC_ID_VP9 && alphaMode && alphaMode->value
        && std::strcmp(alphaMode->value, "0") != 0;
    if (vp9Alpha)
        codec = avcodec_find_decoder_by_name("libvpx-vp9");
    if (!codec)
        codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        return false;
    if (m_outWidth <= 0 || m_outHeight <= 0) {
        m_outWidth = Width;
        m_outHeight = Height;
    }
    std::unique_ptr<AVCodecContext, CodecCloser> decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), st->codecpar) < 0)
        return false;
    decoder->pkt_timebase = st->time_base;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return false;
    m_packet.reset(av_packet_alloc());
    m_pending.reset(av_frame_alloc());
    if (!m_packet || !m_pending)
        return false;
    m_decoder = std::move(decoder);

    // The output depth follows the source's pixel format; when neither the
    // container nor the opened decoder tells it, the first frame does.
    // libvpx's frames say whether the alpha came through; the container's format
    // (copied into the decoder) describes the colour planes only.
    const bool askFrame = vp9Alpha && codec->id == AV_CODEC_ID_VP9;
    int format = askFrame ? int(AV_PIX_FMT_NONE) : int(m_decoder->pix_fmt);
    if (format == AV_PIX_FMT_NONE && !askFrame)
        format = st->codecpar->format;
    if (format == AV_PIX_FMT_NONE) {
        StartDeadline();
        if (Obtain())
            format = m_pending->format;
    }
    m_bitCount = HasAlpha(format) ? 32 : 24;

    const int stride = ((m_outWidth * m_bitCount + 31) / 32) * 4;
    m_topDownStride = FFALIGN(m_outWidth * (m_bitCount / 8), 64);
    const size_t imageSize = size_t(stride) * size_t(m_outHeight);
    m_topDown.reset(static_cast<uint8_t*>(av_malloc(size_t(m_topDownStride) * size_t(m_outHeight))));
    if (!m_topDown) {
        Close();
        return false;
    }
    try {
        m_bitmap.assign(kHeaderSize + imageSize, 0);
    } catch (const std::bad_alloc&) {
        Close();
        return false;
    }
    uint8_t* h = m_bitmap.data();
    PutLe32(h + 0, kHeaderSize);
    PutLe32(h + 4, uint32_t(m_outWidth));
    PutLe32(h + 8, uint32_t(m_outHeight));
    PutLe16(h + 12, 1);
    PutLe16(h + 14, uint32_t(m_bitCount));
    PutLe32(h + 16, 0);  // BI_RGB
    PutLe32(h + 20, uint32_t(imageSize));
    // Resolution and palette fields stay 0.
    return true;
}

// Takes the next decoded frame into m_pending and gives it its index. False when
// the stream has ended or no frame came within the packet budget of this call.
bool CAviReader::Obtain()
{
    for (int packets = 0; packets < kMaxPacketsPerFrame;) {
        const int received = avcodec_receive_frame(m_decoder.get(), m_pending.get());
        if (received == 0) {
            int64_t index = m_lastIndex + 1;
            const int64_t ts = m_pending->best_effort_timestamp;
            if (m_timestampIndex && ts != AV_NOPTS_VALUE) {
                if (!m_haveFirstTimestamp) {
                    m_firstTimestamp = ts;
                    m_haveFirstTimestamp = true;
                }
                int64_t offset = 0;
                if (!__builtin_sub_overflow(ts, m_firstTimestamp, &offset) && offset > index)
                    index = std::min<int64_t>(offset, kMaxIndex);  // frames between had no picture
            }
            m_lastIndex = index;
            m_pendingIndex = index;
            m_pendingTs = ts == AV_NOPTS_VALUE ? INT64_MIN : ts;
            m_pendingDuration = m_pending->pkt_duration;
            m_hasPending = true;
            return true;
        }
        if (received == AVERROR_EOF) {
            m_ended = true;
            return false;
        }
        if (received != AVERROR(EAGAIN)) {
            ++packets;  // a frame failed to decode; the decoder goes on with the next packet
            ++m_decodeErrors;
            continue;
        }
        if (m_draining) {  // a flushed decoder asks for input: nothing more will come
            m_ended = true;
            return false;
        }
        if (!m_packetWaiting) {
            const int read = av_read_frame(m_format.get(), m_packet.get());
            ++packets;
            if (read == AVERROR(EAGAIN))
                continue;
            if (read < 0) {  // end of file, read error or interrupted: flush the decoder
                m_draining = true;
                avcodec_send_packet(m_decoder.get(), nullptr);
                continue;
            }
            if (m_packet->stream_index != m_stream) {
                av_packet_unref(m_packet.get());
                continue;
            }
        }
        const int sent = avcodec_send_packet(m_decoder.get(), m_packet.get());
        if (sent == AVERROR(EAGAIN)) {
            m_packetWaiting = true;  // give it again after the decoder's output is taken
            ++packets;
            continue;
        }
        m_packetWaiting = false;
        av_packet_unref(m_packet.get());
        // Any other error concerns this packet only.
        if (sent < 0)
            ++m_decodeErrors;
    }
    return false;
}

bool CAviReader::Convert(const AVFrame& frame)
{
    const AVPixelFormat source = AVPixelFormat(frame.format);
    if (frame.width <= 0 || frame.height <= 0 || frame.width > kMaxSide || frame.height > kMaxSide
        || source == AV_PIX_FMT_NONE || !sws_isSupportedInput(source))
        return false;
    const AVPixelFormat target = m_bitCount == 32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
    // A failed sws_getCachedContext frees the context it was given.
    SwsContext* scaler = sws_getCachedContext(m_scaler.release(), frame.width, frame.height, source, m_outWidth,
                                              m_outHeight, target, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr,
                                              nullptr, nullptr);
    if (!scaler)
        return false;
    m_scaler.reset(scaler);

    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(source);
    if (desc && !(desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) && desc->nb_components >= 3) {
        // YUV: the frame's matrix and range, to full-range RGB.
        const int fullRange = frame.color_range == AVCOL_RANGE_JPEG || IsJpegRangeFormat(source) ? 1 : 0;
        sws_setColorspaceDetails(scaler, sws_getCoefficients(frame.colorspace), fullRange,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }

    uint8_t* dst[4] = {m_topDown.get(), nullptr, nullptr, nullptr};
    int dstStride[4] = {m_topDownStride, 0, 0, 0};
    if (sws_scale(scaler, frame.data, frame.linesize, 0, frame.height, dst, dstStride) != m_outHeight)
        return false;

    // Rows bottom first, each padded to 4 bytes (padding bytes stay 0).
    const size_t rowBytes = size_t(m_outWidth) * size_t(m_bitCount / 8);
    const size_t stride = size_t(((m_outWidth * m_bitCount + 31) / 32) * 4);
    uint8_t* rows = m_bitmap.data() + kHeaderSize;
    for (int y = 0; y < m_outHeight; ++y)
        std::memcpy(rows + size_t(m_outHeight - 1 - y) * stride, m_topDown.get() + size_t(y) * m_topDownStride,
                    rowBytes);
    return true;
}

const uint8_t* CAviReader::GetFrame(int index)
{
    if (!m_decoder || m_bitmap.empty() || index < 0)
        return nullptr;
    if (index == m_deliveredIndex)
        return m_bitmap.data();
    StartDeadline();
    for (;;) {
        if (!m_hasPending) {
            if (m_ended || !Obtain())
                return nullptr;
        }
        if (m_pendingIndex < index) {  // skipped over
            av_frame_unref(m_pending.get());
            m_hasPending = false;
            continue;
        }
        if (m_pendingIndex > index)  // no picture for this index, or asked backwards
            return nullptr;
        const bool converted = Deliver();
        if (!converted) {
            m_deliveredIndex = -1;
            return nullptr;
        }
        return m_bitmap.data();
    }
}

bool CAviReader::Deliver()
{
    const bool converted = Convert(*m_pending);
    av_frame_unref(m_pending.get());
    m_hasPending = false;
    if (!converted)
        return false;
    m_deliveredIndex = m_pendingIndex;
    m_deliveredTs = m_pendingTs;
    m_deliveredDuration = m_pendingDuration;
    if (m_timeOrigin == INT64_MIN && m_deliveredTs != INT64_MIN)
        m_timeOrigin = m_deliveredTs;
    return true;
}

const uint8_t* CAviReader::NextFrame()
{
    if (!m_decoder || m_bitmap.empty())
        return nullptr;
    StartDeadline();
    for (int tries = 0; tries < kMaxPacketsPerFrame; ++tries) {
        if (!m_hasPending && (m_ended || !Obtain()))
            return nullptr;
        if (Deliver())
            return m_bitmap.data();
        ++m_decodeErrors;  // decoded, but in a form that cannot be converted
    }
    return nullptr;
}

namespace {

// num / den ms rounded up (den > 0), within int64.
int64_t CeilDiv(__int128 num, __int128 den)
{
    __int128 q = num / den;
    if (num % den != 0 && num > 0)
        ++q;
    const __int128 top = std::numeric_limits<int64_t>::max();
    return int64_t(q > top ? top : q < -top ? -top : q);
}

}  // namespace

bool CAviReader::DeliveredTimes(int64_t& startMs, int64_t& endMs) const
{
    if (!m_format || m_stream < 0 || m_deliveredIndex < 0 || m_deliveredTs == INT64_MIN || m_timeOrigin == INT64_MIN)
        return false;
    const AVRational tb = m_format->streams[m_stream]->time_base;
    if (tb.num <= 0 || tb.den <= 0)
        return false;
    const __int128 offset = std::max<__int128>(0, __int128(m_deliveredTs) - m_timeOrigin);
    // Start: offset x tb seconds.
    startMs = CeilDiv(offset * tb.num * 1000, tb.den);
    if (m_deliveredDuration > 0) {
        endMs = CeilDiv((offset + m_deliveredDuration) * tb.num * 1000, tb.den);
    } else if (Rate != 0 && Scale != 0) {
        // One frame period, Scale / Rate seconds: (offset tb.num Rate + Scale tb.den) / (tb.den Rate).
        endMs = CeilDiv((offset * tb.num * Rate + __int128(Scale) * tb.den) * 1000, __int128(tb.den) * Rate);
    } else {
        endMs = startMs;
    }
    endMs = std::max(endMs, startMs);
    return true;
}

bool CAviReader::AtEnd() const { return m_decoder && m_ended && !m_hasPending; }
