// Reading the frames of a video file as device-independent bitmaps, through
// FFmpeg (any container FFmpeg can open; AVI at least).
//
// Use: Open, ReadStreamInfo, OpenDecoder, then GetFrame(0), GetFrame(1), ... in
// increasing order. Each step returns false (or null) on failure and the later
// steps then fail too. Every FFmpeg resource is owned by the reader and released
// by the destructor or by the next Open.
//
// Threads: a reader is used by one thread at a time; different readers may run on
// different threads at once.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

struct AVFormatContext;
struct AVIOContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

class CAviReader {
public:
    CAviReader();
    ~CAviReader();
    CAviReader(const CAviReader&) = delete;
    CAviReader& operator=(const CAviReader&) = delete;

    // The file opens and FFmpeg recognises its container (by content). Only local
    // regular files are read; containers that name other files to read (playlists,
    // concatenation lists) are refused.
    bool Open(const QString& path);

    // Finds the first video stream (cover pictures do not count) and fills Width,
    // Height (coded frame size), Scale and Rate (frame rate Rate/Scale, exact, from
    // the stream's real frame rate or else its average frame rate; both 0 when
    // unknown) and Length (the stream's frame count, or estimated from its duration
    // and the frame rate; 0 when unknown). False when there is no video stream.
    bool ReadStreamInfo();

    // Makes OpenDecoder's bitmaps width x height instead of Width x Height (each
    // frame scaled to it). Call between ReadStreamInfo and OpenDecoder; 1 to 16384.
    void SetOutputSize(int width, int height);
    int OutputWidth() const { return m_outWidth; }
    int OutputHeight() const { return m_outHeight; }

    // Opens a decoder whose frames GetFrame delivers as bottom-up bitmaps of
    // OutputWidth x OutputHeight (Width x Height unless set): 24-bit BGR, or 32-bit BGRA with straight alpha when the
    // stream's pixel format has an alpha channel (a palette's alpha does not
    // count: paletted video is opaque). VP9 whose container says it carries alpha
    // (the stream's "alpha_mode" tag) is decoded by libvpx when FFmpeg has it, as
    // FFmpeg's own VP9 decoder drops the alpha. False when FFmpeg has no decoder for
    // the stream, or when Width or Height is not 1 to 16384.
    bool OpenDecoder();

    // Frame index as a 40-byte BITMAPINFOHEADER (biSize 40, biWidth, biHeight > 0,
    // biPlanes 1, biBitCount 24 or 32, biCompression 0, biSizeImage) followed by the
    // rows, bottom row first, each ((Width * bits + 31) / 32) * 4 bytes long.
    // Frames are asked for in increasing order; skipped indexes are decoded and
    // dropped. Asking for the last delivered frame again returns it again; any
    // earlier index gives null. Null too when frame index has no picture (it failed
    // to decode, or the file ends before it); later frames can still be asked for.
    // A decoded frame of another size than the output size is scaled to it (a frame
    // larger than 16384 on a side gives null). The pointer stays valid until the
    // next call of GetFrame, Open or the destructor.
    const uint8_t* GetFrame(int index);

    // The next frame the stream gives, whatever its index, in the same form as
    // GetFrame (and the same life time); null when none came: at the end of the
    // stream (AtEnd), or when no frame decoded within this call's budget (a later
    // call may still give one).
    const uint8_t* NextFrame();
    // Index of the frame GetFrame or NextFrame delivered last, else -1.
    int64_t DeliveredIndex() const { return m_deliveredIndex; }
    // The delivered frame's start and end in ms since the first delivered frame's
    // start, each rounded up to a whole ms, so that summed delays follow the
    // stream's exact times: from its timestamp and duration (or one frame period).
    // False when the frame had no timestamp.
    bool DeliveredTimes(int64_t& startMs, int64_t& endMs) const;
    // Packets or frames the decoder refused so far (damaged data).
    int DecodeErrors() const { return m_decodeErrors; }
    // True when Length is the container's own frame count, not an estimate.
    bool LengthExact() const { return m_lengthExact; }
    // Why Open failed, in plain words.
    const QString& OpenError() const { return m_openError; }

    // 24 or 32 after OpenDecoder, else 0.
    int BitCount() const { return m_bitCount; }

    // True once the stream is exhausted: every later GetFrame gives null, so a
    // caller may stop asking.
    bool AtEnd() const;

    int Width = 0, Height = 0;
    uint32_t Scale = 0, Rate = 0, Length = 0;

private:
    struct FormatCloser { void operator()(AVFormatContext* p) const; };
    struct IoCloser { void operator()(AVIOContext* p) const; };
    struct CodecCloser { void operator()(AVCodecContext* p) const; };
    struct FrameCloser { void operator()(AVFrame* p) const; };
    struct PacketCloser { void operator()(AVPacket* p) const; };
    struct ScalerCloser { void operator()(SwsContext* p) const; };
    struct BufferCloser { void operator()(uint8_t* p) const; };

    void Close();
    void StartDeadline();
    static int Interrupted(void* self);
    bool Obtain();
    bool Convert(const AVFrame& frame);
    bool Deliver();

    // Declaration order matters: the container closes before its input.
    std::unique_ptr<AVIOContext, IoCloser> m_io;
    std::unique_ptr<AVFormatContext, FormatCloser> m_format;
    std::unique_ptr<AVCodecContext, CodecCloser> m_decoder;
    std::unique_ptr<AVPacket, PacketCloser> m_packet;
    std::unique_ptr<AVFrame, FrameCloser> m_pending;     // decoded, not yet delivered
    std::unique_ptr<SwsContext, ScalerCloser> m_scaler;
    std::unique_ptr<uint8_t, BufferCloser> m_topDown;   // scaler output, top row first
    int m_topDownStride = 0;
    std::vector<uint8_t> m_bitmap;                       // header and rows

    int m_stream = -1;            // index of the video stream in the container
    int m_bitCount = 0;
    bool m_timestampIndex = false;  // frame index from timestamps (time base = frame period)
    int64_t m_firstTimestamp = 0;
    bool m_haveFirstTimestamp = false;
    bool m_packetWaiting = false;   // m_packet holds a packet the decoder refused for now
    bool m_draining = false;        // the container is exhausted; the decoder is being flushed
    bool m_ended = false;           // the decoder has delivered its last frame
    bool m_hasPending = false;
    int64_t m_pendingIndex = -1;
    int64_t m_lastIndex = -1;       // index of the last frame taken from the decoder
    int64_t m_deliveredIndex = -1;  // index whose bitmap m_bitmap holds
    int64_t m_deadline = 0;         // steady clock, milliseconds; FFmpeg I/O stops after it
    int m_outWidth = 0, m_outHeight = 0;
    int64_t m_pendingTs = INT64_MIN;      // the pending frame's timestamp (stream time base), or none
    int64_t m_pendingDuration = 0;
    int64_t m_deliveredTs = INT64_MIN;    // the delivered frame's
    int64_t m_deliveredDuration = 0;
    int64_t m_timeOrigin = INT64_MIN;     // timestamp of the first delivered frame
    int m_decodeErrors = 0;
    bool m_lengthExact = false;
    QString m_openError;
};
