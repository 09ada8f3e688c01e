// Page files: the reader against page bytes assembled here at the documented offsets,
// the writer against golden bytes, and the two together in round trips.
#include "tests/FileSizeLimit.h"
#include "base/Translate.h"
#include "core/Frame.h"
#include "core/PageFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <csignal>
#include <cstring>
#include <array>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>

// Fixtures name only the fields they set; the others keep their member defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

// ---------------------------------------------------------------------------------
// Messages

class MessageRecorder : public IMessagePresenter {
public:
    struct Message {
        QString text;
        unsigned flags;
    };
    MessageRecorder() { previous_ = CTranslate::Global().SetPresenter(this); }
    ~MessageRecorder() override { CTranslate::Global().SetPresenter(previous_); }
    int Show(const QString& text, unsigned flags) override {
        messages.push_back({text, flags});
        return IdOk;
    }
    int Errors() const {
        int n = 0;
        for (const Message& m : messages) n += m.flags == MbIconError;
        return n;
    }
    std::vector<Message> messages;

private:
    IMessagePresenter* previous_ = nullptr;
};

QString OpenFailedText(const QString& path) { return QStringLiteral("Error: File open failed!\n\n") + path; }
QString SaveFailedText(const QString& path) { return QStringLiteral("Error: File save failed!\n\n") + path; }
QString CorruptText(const QString& path) { return QStringLiteral("Error: File is corrupt!\n\n") + path; }
QString VersionText(const QString& path) { return QStringLiteral("Error: Unknown file version!\n\n") + path; }
QString ModeText(const char* size, const QString& path) {
    return QStringLiteral("Error: This file was created for %1 mode!\n\n").arg(QLatin1String(size)) + path;
}
QString DpiText(const char* name, int dpi) {
    return QStringLiteral("Warning: This file was created on computer with different font size setting (%1 %2 DPI)!"
                          "\n\nPlease set the same system font size if you want proper text display.")
        .arg(QLatin1String(name))
        .arg(dpi);
}

// ---------------------------------------------------------------------------------
// Page bytes, assembled field by field at the documented offsets

void PutI32(QByteArray& bytes, qsizetype offset, int32_t value) { qToLittleEndian<int32_t>(value, bytes.data() + offset); }
int32_t GetI32(const QByteArray& bytes, qsizetype offset) { return qFromLittleEndian<int32_t>(bytes.constData() + offset); }
uint16_t GetU16(const QByteArray& bytes, qsizetype offset) { return qFromLittleEndian<uint16_t>(bytes.constData() + offset); }

QByteArray I32(int32_t value) {
    QByteArray bytes(4, '\0');
    PutI32(bytes, 0, value);
    return bytes;
}

QByteArray CountedString(const QString& text) {
    QByteArray bytes = I32(int32_t(text.size()));
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

struct Header {
    QByteArray magic = "CVPF";
    uint32_t version = 1;
    int32_t legacyHd = 0;
    std::optional<int32_t> objectCount;  // default: the number of blocks given
    int32_t dpi = 96;
    int32_t width = 1920;
    int32_t height = 1080;
    int32_t previewWidth = 0;
    int32_t previewHeight = 0;
    int32_t previewOffset = 0;
};

QByteArray HeaderBytes(const Header& h, int32_t blocks) {
    QByteArray bytes(256, '\0');
    std::memcpy(bytes.data(), h.magic.constData(), 4);
    qToLittleEndian<uint32_t>(h.version, bytes.data() + 4);
    PutI32(bytes, 8, h.legacyHd);
    PutI32(bytes, 12, h.objectCount.value_or(blocks));
    PutI32(bytes, 16, h.dpi);
    PutI32(bytes, 20, h.width);
    PutI32(bytes, 24, h.height);
    PutI32(bytes, 28, h.previewWidth);
    PutI32(bytes, 32, h.previewHeight);
    PutI32(bytes, 36, h.previewOffset);
    return bytes;
}

// Offsets of the object record.
namespace Rec {
constexpr int Kind = 0, Speed = 12, BackColor = 24, TimerStart = 132, TimerDirection = 136, Rect = 80, StringCount = 96,
              RichTextLength = 100, FrameCount = 104, MaintainLink = 152, TimerStopFlag = 160, TimerStop = 164;
}

QByteArray FrameBytes(int32_t width, int32_t height, int32_t delay, int32_t flag, int32_t dataSize,
                      const QByteArray& data) {
    QByteArray bytes(64, '\0');
    PutI32(bytes, 0, width);
    PutI32(bytes, 4, height);
    PutI32(bytes, 8, delay);
    PutI32(bytes, 12, flag);
    PutI32(bytes, 16, dataSize);
    return bytes + data;
}

struct Block {
    std::vector<std::pair<int, int32_t>> fields;  // record offset -> value, after the counts below
    std::vector<QString> strings;
    QByteArray richText;
    std::vector<QByteArray> frames;  // each a frame header and its data
    QByteArray tail;                 // extra bytes at the end of the block
};

QByteArray BlockBytes(const Block& b) {
    QByteArray record(512, '\0');
    PutI32(record, Rec::StringCount, int32_t(b.strings.size()));
    PutI32(record, Rec::RichTextLength, int32_t(b.richText.size()));
    PutI32(record, Rec::FrameCount, int32_t(b.frames.size()));
    PutI32(record, Rec::TimerStopFlag, 1);
    for (const auto& [offset, value] : b.fields) PutI32(record, offset, value);
    QByteArray bytes = record;
    for (const QString& s : b.strings) bytes += CountedString(s);
    bytes += b.richText;
    for (const QByteArray& f : b.frames) bytes += f;
    return bytes + b.tail;
}

QByteArray PageBytes(const Header& header, const std::vector<Block>& blocks) {
    QByteArray bytes = HeaderBytes(header, int32_t(blocks.size()));
    for (const Block& b : blocks) bytes += BlockBytes(b);
    return bytes;
}

// BGRA pixels.
QByteArray Solid(int count, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
    QByteArray bytes;
    bytes.reserve(count * 4);
    for (int k = 0; k < count; ++k) bytes.append(char(b)).append(char(g)).append(char(r)).append(char(a));
    return bytes;
}

QByteArray Noise(int count, uint32_t seed) {
    QByteArray bytes(count * 4, '\0');
    uint32_t x = seed | 1;
    for (int k = 0; k < count; ++k) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        qToLittleEndian<uint32_t>(x, bytes.data() + 4 * k);
    }
    return bytes;
}

QByteArray PictureBytes(const CPicture& picture) {
    return QByteArray(reinterpret_cast<const char*>(picture.data.get()), qsizetype(picture.ByteCount()));
}

QByteArray StoredBytes(const CCompressedPicture& picture) {
    return QByteArray(reinterpret_cast<const char*>(picture.data.get()), qsizetype(picture.StoredByteCount()));
}

CPicture PictureOf(int width, int height, const QByteArray& pixels) {
    CPicture picture;
    EXPECT_TRUE(picture.Resize(width, height));
    std::memcpy(picture.data.get(), pixels.constData(), picture.ByteCount());
    return picture;
}

CFrameBackground FrameOf(int width, int height, const QByteArray& pixels, int delay) {
    CFrameBackground background;
    background.Picture.Compress(PictureOf(width, height, pixels));
    background.Delay = delay;
    return background;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

// Reads counted strings from bytes at position (advanced).
QString TakeString(const QByteArray& bytes, qsizetype& position) {
    if (position < 0 || position + 4 > bytes.size()) {
        ADD_FAILURE() << "no string count at " << position;
        return QStringLiteral("<missing>");
    }
    const int32_t count = GetI32(bytes, position);
    position += 4;
    if (count < 0 || position + 2 * qsizetype(count) > bytes.size()) {
        ADD_FAILURE() << "string count " << count << " runs past the end";
        position = bytes.size();
        return QStringLiteral("<bad count>");
    }
    QString text;
    for (int32_t k = 0; k < count; ++k) text += QChar(GetU16(bytes, position + 2 * k));
    position += 2 * qsizetype(count);
    return text;
}


constexpr int DesktopDpi = 96;

// The five strings of an object with default text fields: counts and "%H:%M", "%H:%M:%S".
constexpr qsizetype DefaultStringBytes = 5 * 4 + 2 * (5 + 8);

class PageFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Put(const QString& name, const QByteArray& bytes) {
        const QString path = Path(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        EXPECT_EQ(file.write(bytes), bytes.size());
        return path;
    }
    QString PutPage(const Header& header, const std::vector<Block>& blocks,
                    const QString& name = QStringLiteral("page.corvane")) {
        return Put(name, PageBytes(header, blocks));
    }

    // Reads with a leftover object in the list, which the reader must drop first.
    bool Read(const QString& path, int mode = 0, int dpi = DesktopDpi) {
        objects.clear();
        objects.push_back(std::make_unique<CFrame>());
        return PageFile::ReadPage(path, mode, dpi, objects);
    }
    bool Write(const QString& path, const std::vector<const CFrame*>& list, int mode = 0,
               const CPicture* canvas = nullptr) {
        return PageFile::WritePage(path, mode, DesktopDpi, list, canvas);
    }

    // The read failed, the list is empty and exactly one error with this text was shown.
    void ExpectRefused(bool result, const QString& text) {
        EXPECT_FALSE(result);
        EXPECT_TRUE(objects.empty());
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].text, text);
        EXPECT_EQ(recorder.messages[0].flags, unsigned(MbIconError));
    }
    void ExpectLoaded(bool result, size_t count) {
        EXPECT_TRUE(result);
        EXPECT_EQ(objects.size(), count);
        EXPECT_TRUE(recorder.messages.empty());
    }

    QTemporaryDir dir;
    MessageRecorder recorder;
    std::vector<std::unique_ptr<CFrame>> objects;
};

// ---------------------------------------------------------------------------------
// Header

TEST_F(PageFileTest, WrittenHeaderGoldenBytes) {
    struct Case {
        int mode;
        int width, height;
    };
    for (const Case& c : {Case{0, 1920, 1080}, Case{5, 1280, 720}, Case{8, 720, 576}, Case{10, 720, 488}}) {
        SCOPED_TRACE(c.mode);
        const QString path = Path(QStringLiteral("header.corvane"));
        CFrame a, b;
        ASSERT_TRUE(Write(path, {&a, &b}, c.mode));
        const QByteArray bytes = ReadAll(path);
        ASSERT_GE(bytes.size(), 256);
        EXPECT_EQ(bytes.left(4), QByteArray("CVPF"));
        EXPECT_EQ(GetI32(bytes, 4), 1);    // version
        EXPECT_EQ(GetI32(bytes, 8), 0);    // legacy flag
        EXPECT_EQ(GetI32(bytes, 12), 2);   // objects
        EXPECT_EQ(GetI32(bytes, 16), 96);  // DPI
        EXPECT_EQ(GetI32(bytes, 20), c.width);
        EXPECT_EQ(GetI32(bytes, 24), c.height);
        EXPECT_EQ(GetI32(bytes, 28), 0);  // no preview
        EXPECT_EQ(GetI32(bytes, 32), 0);
        EXPECT_EQ(GetI32(bytes, 36), 0);
        EXPECT_EQ(bytes.mid(40, 216), QByteArray(216, '\0'));
    }
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(PageFileTest, EmptyPageIsTheHeaderAlone) {
    const QString path = Path(QStringLiteral("empty.corvane"));
    ASSERT_TRUE(Write(path, {}));
    EXPECT_EQ(ReadAll(path).size(), 256);
    ExpectLoaded(Read(path), 0);
}

TEST_F(PageFileTest, ReadHeaderGivesStoredFields) {
    const QString path = PutPage({.version = 0, .legacyHd = 7, .objectCount = 3, .dpi = 120, .width = 11, .height = 22,
                                  .previewWidth = 33, .previewHeight = 44, .previewOffset = 55},
                                 {});
    PageHeader header;
    ASSERT_TRUE(PageFile::ReadHeader(path, header));
    EXPECT_EQ(std::memcmp(header.magic, "CVPF", 4), 0);
    EXPECT_EQ(header.version, 0u);
    EXPECT_EQ(header.legacyHd, 7);
    EXPECT_EQ(header.objectCount, 3);
    EXPECT_EQ(header.dpi, 120);
    EXPECT_EQ(header.width, 11);
    EXPECT_EQ(header.height, 22);
    EXPECT_EQ(header.previewWidth, 33);
    EXPECT_EQ(header.previewHeight, 44);
    EXPECT_EQ(header.previewOffset, 55);
    EXPECT_FALSE(PageFile::ReadHeader(Put(QStringLiteral("short.corvane"), QByteArray(255, 'C')), header));
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(PageFileTest, PageSizeAgainstVideoMode) {
    struct Case {
        int32_t legacyHd, width, height;
        int mode;
        const char* refusedAs;  // nullptr: loads
    };
    const Case cases[] = {
        // Width and height 0: the legacy flag picks the size.
        {1, 0, 0, 0, nullptr},
        {1, 0, 0, 12, nullptr},
        {1, 0, 0, 5, "1920x1080"},
        {1, 0, 0, 8, "1920x1080"},
        {0, 0, 0, 8, nullptr},
        {0, 0, 0, 9, nullptr},
        {2, 0, 0, 8, nullptr},
        {-1, 0, 0, 8, nullptr},
        {0, 0, 0, 0, "720x576"},
        // With a size given the flag is not used.
        {1, 720, 576, 8, nullptr},
        {1, 720, 576, 0, "720x576"},
        // A size that is no mode's is damage.
        {0, 1920, 0, 0, "corrupt"},
        {0, 0, 1080, 0, "corrupt"},
        {0, 720, -1, 8, "corrupt"},
        // The 480-line modes.
        {0, 720, 480, 10, nullptr},
        {0, 720, 486, 10, nullptr},
        {0, 720, 488, 10, nullptr},
        {0, 720, 480, 11, nullptr},
        {0, 720, 486, 11, nullptr},
        {0, 720, 488, 11, nullptr},
        {0, 720, 486, 8, "720x488"},
        {0, 720, 487, 10, "corrupt"},
        {0, 720, 576, 10, "720x576"},
        {0, 1280, 720, 5, nullptr},
        {0, 1280, 720, 7, nullptr},
        {0, 1280, 720, 0, "1280x720"},
        {0, 1920, 1080, 6, "1920x1080"},
        {0, 1920, 1080, 4, nullptr},
        // A mode outside the table has no page size at all.
        {0, 1920, 1080, 13, "1920x1080"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.legacyHd << " " << c.width << "x" << c.height << " mode " << c.mode);
        recorder.messages.clear();
        const QString path =
            PutPage({.legacyHd = c.legacyHd, .width = c.width, .height = c.height}, {Block{}, Block{}});
        const bool result = Read(path, c.mode);
        if (c.refusedAs)
            ExpectRefused(result, QLatin1String(c.refusedAs) == QLatin1String("corrupt") ? CorruptText(path)
                                                                                         : ModeText(c.refusedAs, path));
        else
            ExpectLoaded(result, 2);
    }
}

TEST_F(PageFileTest, ModeMismatchIsTheOnlyMessageEvenForABrokenBody) {
    QByteArray bytes = PageBytes({.objectCount = 5, .width = 1280, .height = 720}, {});
    bytes += QByteArray(10, '\xFF');
    const QString path = Put(QStringLiteral("page.corvane"), bytes);
    ExpectRefused(Read(path, 0), ModeText("1280x720", path));
}

TEST_F(PageFileTest, ModeMismatchComesBeforeTheDpiWarning) {
    const QString path = PutPage({.dpi = 144, .width = 720, .height = 576}, {Block{}});
    ExpectRefused(Read(path, 0), ModeText("720x576", path));
}

TEST_F(PageFileTest, VersionsZeroAndOneReadAlikeHigherAreRefused) {
    for (uint32_t version : {0u, 1u}) {
        SCOPED_TRACE(version);
        recorder.messages.clear();
        const QString path = PutPage({.version = version}, {Block{.strings = {{}, QStringLiteral("%S")}}});
        ExpectLoaded(Read(path), 1);
        ASSERT_EQ(objects.size(), 1u);
        EXPECT_EQ(objects[0]->ClockFormat, QStringLiteral("%S"));
    }
    for (uint32_t version : {2u, 3u, 0x80000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(version);
        recorder.messages.clear();
        const QString path = PutPage({.version = version}, {Block{}});
        ExpectRefused(Read(path), VersionText(path));
    }
}

TEST_F(PageFileTest, BadMagicIsCorrupt) {
    for (const char* magic : {"CVPG", "cvpf", "FPVC", " CVP"}) {
        SCOPED_TRACE(magic);
        recorder.messages.clear();
        const QString path = PutPage({.magic = magic}, {Block{}});
        ExpectRefused(Read(path), CorruptText(path));
    }
    recorder.messages.clear();
    const QString path = PutPage({.magic = QByteArray(4, '\0')}, {Block{}});
    ExpectRefused(Read(path), CorruptText(path));
}

TEST_F(PageFileTest, HeaderChecksComeInOrder) {
    // Magic before version, version before object count.
    QString path = PutPage({.magic = "XVPF", .version = 2, .objectCount = 300}, {});
    ExpectRefused(Read(path), CorruptText(path));
    recorder.messages.clear();
    path = PutPage({.version = 2, .objectCount = 300}, {});
    ExpectRefused(Read(path), VersionText(path));
    // The size is checked only after the header passed.
    recorder.messages.clear();
    path = PutPage({.objectCount = 300, .width = 5, .height = 5}, {});
    ExpectRefused(Read(path), CorruptText(path));
}

TEST_F(PageFileTest, ShortHeaderIsCorrupt) {
    const QByteArray full = PageBytes({}, {});
    for (int size : {0, 1, 4, 40, 255}) {
        SCOPED_TRACE(size);
        recorder.messages.clear();
        const QString path = Put(QStringLiteral("short.corvane"), full.left(size));
        ExpectRefused(Read(path), CorruptText(path));
    }
}

TEST_F(PageFileTest, MissingFileIsOpenFailure) {
    const QString path = Path(QStringLiteral("missing.corvane"));
    ExpectRefused(Read(path), OpenFailedText(path));
}

// What is not a regular file is refused at once: a pipe without a writer would block
// the reader for ever, and a device never ends.
TEST_F(PageFileTest, WhatIsNotARegularFileIsOpenFailure) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.corvane")));
    const QString fifo = Path(QStringLiteral("pipe.corvane"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {Path(QStringLiteral("folder.corvane")), fifo, QStringLiteral("/dev/zero")}) {
        SCOPED_TRACE(path.toStdString());
        recorder.messages.clear();
        ExpectRefused(Read(path), OpenFailedText(path));
    }
}

TEST_F(PageFileTest, ObjectCountLimits) {
    std::vector<Block> blocks(256);
    for (int k = 0; k < 256; ++k) blocks[size_t(k)].fields = {{Rec::Rect, k}, {Rec::Rect + 8, 300}};
    const QString full = PutPage({}, blocks);
    ExpectLoaded(Read(full), 256);
    // Bottom to top, in file order.
    for (size_t k = 0; k < objects.size(); ++k) EXPECT_EQ(objects[k]->Rect.left, int(k));

    for (int32_t count : {257, 1000, INT32_MAX, -1, INT32_MIN}) {
        SCOPED_TRACE(count);
        recorder.messages.clear();
        const QString path = PutPage({.objectCount = count}, {Block{}});
        ExpectRefused(Read(path), CorruptText(path));
    }
}

TEST_F(PageFileTest, FewerBlocksThanCountedIsCorrupt) {
    const QString path = PutPage({.objectCount = 3}, {Block{}, Block{}});
    ExpectRefused(Read(path), CorruptText(path));
}

TEST_F(PageFileTest, BytesAfterTheCountedBlocksAreNotRead) {
    QByteArray bytes = PageBytes({}, {Block{}});
    bytes += QByteArray(100, '\xAB');
    const QString path = Put(QStringLiteral("page.corvane"), bytes);
    ExpectLoaded(Read(path), 1);
}

// ---------------------------------------------------------------------------------
// DPI

TEST_F(PageFileTest, DpiWarning) {
    struct Case {
        int32_t fileDpi;
        int desktopDpi;  // 96 unless the case needs a desktop that differs from a 96-DPI file
        const char* name;  // nullptr: no warning
        int shownDpi;
    };
    const Case cases[] = {
        {96, 96, nullptr, 0},      {0, 96, nullptr, 0},      {120, 96, "Medium -", 120},
        {144, 96, "Large -", 144}, {72, 96, "", 72},         {192, 96, "", 192},
        {-5, 96, "", -5},          {96, 120, "Normal -", 96}, {0, 120, "Normal -", 96},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fileDpi << " on " << c.desktopDpi);
        recorder.messages.clear();
        const QString path = PutPage({.dpi = c.fileDpi}, {Block{}});
        // The warning never stops the read.
        EXPECT_TRUE(Read(path, 0, c.desktopDpi));
        EXPECT_EQ(objects.size(), 1u);
        if (!c.name) {
            EXPECT_TRUE(recorder.messages.empty());
            continue;
        }
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].text, DpiText(c.name, c.shownDpi));
        EXPECT_EQ(recorder.messages[0].flags, unsigned(MbIconWarning));
    }
}

TEST_F(PageFileTest, DpiWarningThenOneErrorForACorruptBody) {
    const QString path = PutPage({.objectCount = 2, .dpi = 120}, {Block{}});
    EXPECT_FALSE(Read(path));
    EXPECT_TRUE(objects.empty());
    ASSERT_EQ(recorder.messages.size(), 2u);
    EXPECT_EQ(recorder.messages[0].flags, unsigned(MbIconWarning));
    EXPECT_EQ(recorder.messages[1].text, CorruptText(path));
    EXPECT_EQ(recorder.Errors(), 1);
}

// ---------------------------------------------------------------------------------
// Object blocks

TEST_F(PageFileTest, UnknownKindsAreSkippedAndLaterObjectsLoad) {
    const QString path = PutPage(
        {}, {Block{.fields = {{Rec::Kind, 0}}, .strings = {{}, {}, {}, QStringLiteral("first")}},
             // A skipped block is still read over completely: strings, rich text, frames.
             Block{.fields = {{Rec::Kind, 2}},
                   .strings = {{}, {}, {}, QStringLiteral("skipped")},
                   .richText = "{\\rtf1 skipped}",
                   .frames = {FrameBytes(2, 2, 20, 1, -1, Noise(4, 1))}},
             Block{.fields = {{Rec::Kind, 1}},
                   .strings = {{}, {}, {}, QStringLiteral("picture")},
                   .frames = {FrameBytes(2, 2, 20, 1, -1, Noise(4, 2))}},
             Block{.fields = {{Rec::Kind, -1}}}, Block{.fields = {{Rec::Kind, 100}}},
             Block{.fields = {{Rec::Kind, 0}}, .strings = {{}, {}, {}, QStringLiteral("last")}}});
    ExpectLoaded(Read(path), 3);
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[0]->Group, QStringLiteral("first"));
    EXPECT_EQ(objects[1]->Group, QStringLiteral("picture"));
    EXPECT_EQ(objects[1]->Kind, 1);
    EXPECT_EQ(objects[1]->Frames.size(), 1u);
    EXPECT_EQ(objects[2]->Group, QStringLiteral("last"));
}

TEST_F(PageFileTest, TimerFieldsOfOlderFiles) {
    struct Case {
        int32_t stopFlag, direction, at132, at164;
        int start, stop;
    };
    const Case cases[] = {
        {0, 1, 90, 777, 90, 0},     // older file, counting down: the value was the start
        {0, 0, 90, 777, 0, 90},     // older file, counting up: the value was the stop
        {0, 7, 45, 0, 45, 0},       // any non-zero direction counts down
        {1, 0, 90, 777, 90, 777},   // current files keep both
        {1, 1, 90, 777, 90, 777},
        {-3, 0, 15, 30, 15, 30},    // any non-zero flag
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stopFlag << " " << c.direction);
        recorder.messages.clear();
        const QString path = PutPage({}, {Block{.fields = {{Rec::TimerStopFlag, c.stopFlag},
                                                          {Rec::TimerDirection, c.direction},
                                                          {Rec::TimerStart, c.at132},
                                                          {Rec::TimerStop, c.at164}}}});
        ExpectLoaded(Read(path), 1);
        ASSERT_EQ(objects.size(), 1u);
        EXPECT_EQ(objects[0]->TimerStart, c.start);
        EXPECT_EQ(objects[0]->TimerStop, c.stop);
        EXPECT_EQ(objects[0]->TimerDirection, c.direction != 0 ? 1 : 0);  // a switch: non-zero is on
    }
}

TEST_F(PageFileTest, StringsByPosition) {
    const QString folder = dir.path() + u'/';
    const QString path = PutPage(
        {}, {// Positions beyond the fifth are read and ignored.
             Block{.strings = {QStringLiteral("+texts/a.txt"), QStringLiteral("%I:%M"), QStringLiteral("%M:%S"),
                               QStringLiteral("Scores"), QStringLiteral("+pics/b.png"), QStringLiteral("sixth"),
                               QStringLiteral("seventh")},
                   .richText = "{\\rtf1 A}"},
             // Missing positions keep the defaults.
             Block{.strings = {QStringLiteral("/data/c.csv"), QStringLiteral("%H")}},
             Block{.strings = {}},
             // A NUL code unit is part of a string.
             Block{.strings = {{}, {}, {}, QString::fromUtf16(u"a\0b", 3)}}});
    ExpectLoaded(Read(path), 4);
    ASSERT_EQ(objects.size(), 4u);
    const CFrame& a = *objects[0];
    EXPECT_EQ(a.FileName, folder + QStringLiteral("texts/a.txt"));
    EXPECT_EQ(a.ClockFormat, QStringLiteral("%I:%M"));
    EXPECT_EQ(a.TimerFormat, QStringLiteral("%M:%S"));
    EXPECT_EQ(a.Group, QStringLiteral("Scores"));
    EXPECT_EQ(a.ImageFileName, folder + QStringLiteral("pics/b.png"));
    EXPECT_EQ(a.RichText, QByteArray("{\\rtf1 A}"));

    const CFrame& b = *objects[1];
    EXPECT_EQ(b.FileName, QStringLiteral("/data/c.csv"));
    EXPECT_EQ(b.ClockFormat, QStringLiteral("%H"));
    EXPECT_EQ(b.TimerFormat, QStringLiteral("%H:%M:%S"));
    EXPECT_TRUE(b.Group.isEmpty());
    EXPECT_TRUE(b.ImageFileName.isEmpty());

    const CFrame& c = *objects[2];
    EXPECT_TRUE(c.FileName.isEmpty());
    EXPECT_EQ(c.ClockFormat, QStringLiteral("%H:%M"));
    EXPECT_EQ(c.TimerFormat, QStringLiteral("%H:%M:%S"));
    EXPECT_TRUE(c.RichText.isEmpty());

    EXPECT_EQ(objects[3]->Group.size(), 3);
    EXPECT_EQ(objects[3]->Group, QString::fromUtf16(u"a\0b", 3));
}

TEST_F(PageFileTest, LoadedObjectsGetTheModesFramePeriodAndFreshIds) {
    struct Case {
        int mode, width, height, period;
    };
    const Case cases[] = {{0, 1920, 1080, 20000}, {2, 1920, 1080, 16667}, {5, 1280, 720, 20000},
                          {6, 1280, 720, 16667},  {9, 720, 576, 20000},   {11, 720, 488, 16667}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        const QString path = PutPage({.width = c.width, .height = c.height}, {Block{}, Block{}});
        const int nextId = CFrame::PeekNextId();
        ExpectLoaded(Read(path, c.mode), 2);
        ASSERT_EQ(objects.size(), 2u);
        for (const auto& frame : objects) {
            EXPECT_EQ(frame->FramePeriod, c.period);
            EXPECT_GE(frame->Id, nextId);
        }
        EXPECT_NE(objects[0]->Id, objects[1]->Id);
    }
}

// ---------------------------------------------------------------------------------
// Frames

TEST_F(PageFileTest, StoredFramesAreKeptAsStored) {
    const QByteArray code = QByteArray("\xFE\x80", 2) + Solid(1, 1, 2, 3, 4);  // one run of 256 pixels
    const QByteArray raw = Noise(16 * 16, 7);
    const QString path = PutPage({}, {Block{.fields = {{Rec::Kind, 1}},
                                            .frames = {FrameBytes(16, 16, 40, 1, 6, code),
                                                       FrameBytes(16, 16, 80, 1, -1, raw),
                                                       FrameBytes(16, 16, 0, 1, 6, code)}}});
    ExpectLoaded(Read(path), 1);
    ASSERT_EQ(objects.size(), 1u);
    const CFrame& frame = *objects[0];
    EXPECT_EQ(frame.PictureWidth, 16);
    EXPECT_EQ(frame.PictureHeight, 16);
    ASSERT_EQ(frame.Frames.size(), 3u);
    EXPECT_EQ(frame.Frames[0].Delay, 40);
    EXPECT_EQ(frame.Frames[0].Picture.compressedSize, 6);
    EXPECT_EQ(StoredBytes(frame.Frames[0].Picture), code);
    EXPECT_EQ(frame.Frames[1].Delay, 80);
    EXPECT_EQ(frame.Frames[1].Picture.compressedSize, -1);
    EXPECT_EQ(StoredBytes(frame.Frames[1].Picture), raw);
    EXPECT_EQ(frame.Frames[2].Delay, 0);
    for (const CFrameBackground& b : frame.Frames) {
        EXPECT_EQ(b.Picture.width, 16);
        EXPECT_EQ(b.Picture.height, 16);
    }
    CPicture decoded;
    ASSERT_TRUE(frame.Frames[0].Picture.Decompress(decoded));
    EXPECT_EQ(PictureBytes(decoded), Solid(256, 1, 2, 3, 4));
}

TEST_F(PageFileTest, RawFramesOfOlderWritersAreEncoded) {
    const QByteArray flat = Solid(16 * 16, 0x10, 0x20, 0x30, 0x40);
    const QByteArray noise = Noise(4 * 4, 3);
    const QString path = PutPage(
        {}, {Block{.fields = {{Rec::Kind, 1}},
                   // The data size of a raw frame is not used.
                   .frames = {FrameBytes(16, 16, 25, 0, 12345, flat)}},
             Block{.fields = {{Rec::Kind, 1}}, .frames = {FrameBytes(4, 4, 30, 0, 0, noise)}}});
    ExpectLoaded(Read(path), 2);
    ASSERT_EQ(objects.size(), 2u);
    ASSERT_EQ(objects[0]->Frames.size(), 1u);
    const CCompressedPicture& encoded = objects[0]->Frames[0].Picture;
    EXPECT_EQ(objects[0]->Frames[0].Delay, 25);
    EXPECT_EQ(encoded.compressedSize, 6);
    EXPECT_EQ(StoredBytes(encoded), QByteArray("\xFE\x80", 2) + Solid(1, 0x10, 0x20, 0x30, 0x40));
    CPicture decoded;
    ASSERT_TRUE(encoded.Decompress(decoded));
    EXPECT_EQ(PictureBytes(decoded), flat);

    // Pixels that do not compress below 80 % stay raw.
    ASSERT_EQ(objects[1]->Frames.size(), 1u);
    EXPECT_EQ(objects[1]->Frames[0].Picture.compressedSize, -1);
    EXPECT_EQ(StoredBytes(objects[1]->Frames[0].Picture), noise);
    EXPECT_EQ(objects[1]->PictureWidth, 4);
}

TEST_F(PageFileTest, FramesBeyondTheThousandthAreReadOver) {
    Block animation{.fields = {{Rec::Kind, 1}}};
    for (int k = 0; k < 1003; ++k) animation.frames.push_back(FrameBytes(1, 1, k, 1, -1, I32(k)));
    const QString path =
        PutPage({}, {animation, Block{.fields = {{Rec::Kind, 0}}, .strings = {{}, {}, {}, QStringLiteral("after")}}});
    ExpectLoaded(Read(path), 2);
    ASSERT_EQ(objects.size(), 2u);
    ASSERT_EQ(objects[0]->Frames.size(), 1000u);
    EXPECT_EQ(objects[0]->Frames[0].Delay, 0);
    EXPECT_EQ(objects[0]->Frames[999].Delay, 999);
    EXPECT_EQ(StoredBytes(objects[0]->Frames[999].Picture), I32(999));
    EXPECT_EQ(objects[1]->Group, QStringLiteral("after"));
}

TEST_F(PageFileTest, AFrameAsLargeAsTheOutputLoads) {
    // Run-length code of one pixel repeated over the whole frame.
    QByteArray code = QByteArray("\x00\x80", 2) + Solid(1, 9, 9, 9, 9);
    const QString path = PutPage({}, {Block{.fields = {{Rec::Kind, 1}}, .frames = {FrameBytes(1920, 1080, 20, 1, 6, code)}}});
    ExpectLoaded(Read(path), 1);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0]->PictureWidth, 1920);
    EXPECT_EQ(objects[0]->PictureHeight, 1080);
}

TEST_F(PageFileTest, HostileBlocksAreCorrupt) {
    const QByteArray code = QByteArray("\x00\x80", 2) + Solid(1, 1, 1, 1, 1);
    struct Case {
        const char* name;
        Block block;
    };
    const Case cases[] = {
        {"negative string count", Block{.fields = {{Rec::StringCount, -1}}}},
        {"most negative string count", Block{.fields = {{Rec::StringCount, INT32_MIN}}}},
        {"string count beyond the file", Block{.fields = {{Rec::StringCount, 1000000}}}},
        {"negative counted string", Block{.fields = {{Rec::StringCount, 1}}, .tail = I32(-1) + QByteArray(8, 'a')}},
        {"huge counted string", Block{.fields = {{Rec::StringCount, 1}}, .tail = I32(INT32_MAX) + QByteArray(8, 'a')}},
        {"negative rich text length", Block{.fields = {{Rec::RichTextLength, -5}}, .tail = QByteArray(8, 'a')}},
        {"rich text beyond the file", Block{.fields = {{Rec::RichTextLength, 100000}}, .tail = QByteArray(8, 'a')}},
        {"huge rich text", Block{.fields = {{Rec::RichTextLength, INT32_MAX}}, .tail = QByteArray(8, 'a')}},
        {"negative frame count", Block{.fields = {{Rec::FrameCount, -1}}, .tail = QByteArray(80, 'a')}},
        {"frame count beyond the file", Block{.fields = {{Rec::FrameCount, 1000000}}}},
        {"frame width 0", Block{.frames = {FrameBytes(0, 16, 20, 1, 6, code)}}},
        {"frame height 0", Block{.frames = {FrameBytes(16, 0, 20, 1, 6, code)}}},
        {"negative frame width", Block{.frames = {FrameBytes(-16, 16, 20, 1, 6, code)}}},
        {"negative frame height", Block{.frames = {FrameBytes(16, -16, 20, 1, 6, code)}}},
        {"frame width 2049", Block{.frames = {FrameBytes(2049, 16, 20, 1, 6, code)}}},
        {"frame height 2049", Block{.frames = {FrameBytes(16, 2049, 20, 1, 6, code)}}},
        {"frame of 2^31-1 squared", Block{.frames = {FrameBytes(INT32_MAX, INT32_MAX, 20, 1, -1, code)}}},
        {"frame of 65536 x 65536 raw", Block{.frames = {FrameBytes(65536, 65536, 20, 0, 0, code)}}},
        {"data size -2", Block{.frames = {FrameBytes(16, 16, 20, 1, -2, code)}}},
        {"most negative data size", Block{.frames = {FrameBytes(16, 16, 20, 1, INT32_MIN, code)}}},
        {"data size beyond the file", Block{.frames = {FrameBytes(16, 16, 20, 1, 7, code)}}},
        {"huge data size", Block{.frames = {FrameBytes(16, 16, 20, 1, INT32_MAX, code)}}},
        {"raw frame beyond the file", Block{.frames = {FrameBytes(16, 16, 20, 1, -1, Solid(255, 0, 0, 0, 0))}}},
        {"uncompressed frame beyond the file", Block{.frames = {FrameBytes(16, 16, 20, 0, 6, Solid(255, 0, 0, 0, 0))}}},
        {"largest frame raw beyond the file", Block{.frames = {FrameBytes(2048, 2048, 20, 1, -1, code)}}},
        {"frames of different sizes",
         Block{.frames = {FrameBytes(16, 16, 20, 1, 6, code), FrameBytes(16, 8, 20, 1, 6, code)}}},
        {"frame header cut short", Block{.fields = {{Rec::FrameCount, 1}}, .tail = QByteArray(63, '\0')}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        recorder.messages.clear();
        // A valid object first: whatever was read before the failure is dropped too.
        const QString path = PutPage({}, {Block{.strings = {QStringLiteral("ok")}}, c.block});
        ExpectRefused(Read(path), CorruptText(path));
    }
}

TEST_F(PageFileTest, TruncatedFileAtEveryLengthIsCorrupt) {
    const QByteArray bytes = PageBytes(
        {}, {Block{.fields = {{Rec::Kind, 1}, {Rec::Speed, 20}},
                   .strings = {QStringLiteral("+a.txt"), QStringLiteral("%H"), QStringLiteral("%S"),
                               QStringLiteral("Group"), QStringLiteral("+b.png")},
                   .richText = "{\\rtf1 Truncated}",
                   .frames = {FrameBytes(4, 4, 20, 1, 6, QByteArray("\x0E\x80", 2) + Solid(1, 1, 2, 3, 4)),
                              FrameBytes(4, 4, 40, 1, -1, Noise(16, 5))}},
             Block{.strings = {QStringLiteral("x"), QStringLiteral("y")},
                   .frames = {FrameBytes(2, 2, 20, 0, 0, Noise(4, 9))}}});
    // The whole file loads...
    const QString whole = Put(QStringLiteral("whole.corvane"), bytes);
    ExpectLoaded(Read(whole), 2);
    // ...and every shorter one is corrupt, with one message and nothing loaded.
    for (qsizetype size = 0; size < bytes.size(); ++size) {
        SCOPED_TRACE(size);
        recorder.messages.clear();
        const QString path = Put(QStringLiteral("cut.corvane"), bytes.left(size));
        ExpectRefused(Read(path), CorruptText(path));
        if (HasFailure()) break;
    }
}

// ---------------------------------------------------------------------------------
// Writing

struct StoredValue {
    const char* name;
    int offset;
    int value;  // differs from the default
};

// Every 32-bit field of the record but BackColor and Rect, at its documented offset.
const StoredValue kStoredValues[] = {
    {"Kind", 0, 1},
    {"Locked", 4, 1},
    {"Movement", 8, 2},
    {"Speed", 12, 37},
    {"Loop", 16, 0},
    {"ShowWhileTextMoves", 20, 1},
    {"TextOpacity", 28, 200},
    {"TextSource", 32, 4},
    {"Encoding", 36, 3},
    {"FirstLineIsHeader", 40, 1},
    {"ShowFor", 44, 12500},
    {"StartDelay", 48, 750},
    {"InEffect", 52, 17},
    {"InEffectDuration", 56, 1250},
    {"FadeIn", 60, 1},
    {"OutEffect", 64, 29},
    {"OutEffectDuration", 68, 999},
    {"FadeOut", 72, 1},
    {"Repeat", 76, 1},
    {"MonitorFileChanges", 108, 1},
    {"ShowIndefinitely", 112, 0},
    {"Separator", 116, 1},
    {"LoopAnimation", 120, 0},
    {"SwitcherButton", 124, 16},
    {"Reverse", 128, 1},
    {"TimerStart", 132, 4000},
    {"TimerDirection", 136, 1},
    {"StartFromEdge", 140, 1},
    {"BarGraph", 144, 1},
    {"Hotkey", 148, 20},
    {"MaintainLink", 152, 1},
    {"DropShadow", 156, 3},
    {"TimerStop", 164, 86000},
};

const PageFile::StoredField* FieldNamed(const char* name) {
    for (const auto& f : PageFile::RecordFields)
        if (std::strcmp(f.name, name) == 0) return &f;
    return nullptr;
}

TEST(PageFileRecordFields, TableMatchesTheRecordLayout) {
    ASSERT_EQ(std::size(PageFile::RecordFields), std::size(kStoredValues));
    for (const StoredValue& v : kStoredValues) {
        SCOPED_TRACE(v.name);
        const PageFile::StoredField* f = FieldNamed(v.name);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->offset, v.offset);
        EXPECT_GE(v.value, f->min);
        EXPECT_LE(v.value, f->max);
        // The test value is not the default, so a field that is not stored shows.
        CFrame fresh;
        EXPECT_NE(fresh.*(f->field), v.value);
    }
}

TEST_F(PageFileTest, EveryStoredFieldWrittenAtItsOffsetAndReadBack) {
    const QString folder = dir.path() + u'/';
    CFrame frame;
    for (const StoredValue& v : kStoredValues) {
        const PageFile::StoredField* f = FieldNamed(v.name);
        ASSERT_NE(f, nullptr) << v.name;
        frame.*(f->field) = v.value;
    }
    frame.BackColor = 0x80FF2040;
    frame.Rect = {10, 20, 630, 470};
    frame.FileName = folder + QStringLiteral("texts/scores.txt");
    frame.ClockFormat = QStringLiteral("%H.%M.%S");
    frame.TimerFormat = QStringLiteral("%M:%S");
    frame.Group = QStringLiteral("Lower third");
    frame.ImageFileName = QStringLiteral("/opt/elsewhere/logo.png");
    frame.RichText = QByteArray("{\\rtf1\\ansi \\'e9t\\'e9}");
    // MaintainLink is set, so these frames are not stored.
    frame.Frames.push_back(FrameOf(16, 16, Noise(256, 4), 60));
    frame.PictureWidth = frame.PictureHeight = 16;

    const QString path = Path(QStringLiteral("fields.corvane"));
    ASSERT_TRUE(Write(path, {&frame}));
    const QByteArray bytes = ReadAll(path);

    // The record, read at the documented offsets.
    ASSERT_GE(bytes.size(), 256 + 512);
    const QByteArray record = bytes.mid(256, 512);
    for (const StoredValue& v : kStoredValues) EXPECT_EQ(GetI32(record, v.offset), v.value) << v.name;
    EXPECT_EQ(uint32_t(GetI32(record, Rec::BackColor)), 0x80FF2040u);
    EXPECT_EQ(GetI32(record, 80), 10);
    EXPECT_EQ(GetI32(record, 84), 20);
    EXPECT_EQ(GetI32(record, 88), 630);
    EXPECT_EQ(GetI32(record, 92), 470);
    EXPECT_EQ(GetI32(record, Rec::StringCount), 5);
    EXPECT_EQ(GetI32(record, Rec::RichTextLength), int(frame.RichText.size()));
    EXPECT_EQ(GetI32(record, Rec::FrameCount), 0);
    EXPECT_EQ(GetI32(record, Rec::TimerStopFlag), 1);
    EXPECT_EQ(record.mid(168), QByteArray(512 - 168, '\0'));

    // Then the five strings, paths in stored form, and the rich text; nothing else.
    qsizetype position = 256 + 512;
    EXPECT_EQ(TakeString(bytes, position), QStringLiteral("+texts/scores.txt"));
    EXPECT_EQ(TakeString(bytes, position), QStringLiteral("%H.%M.%S"));
    EXPECT_EQ(TakeString(bytes, position), QStringLiteral("%M:%S"));
    EXPECT_EQ(TakeString(bytes, position), QStringLiteral("Lower third"));
    EXPECT_EQ(TakeString(bytes, position), QStringLiteral("/opt/elsewhere/logo.png"));
    EXPECT_EQ(bytes.mid(position), frame.RichText);

    ExpectLoaded(Read(path), 1);
    ASSERT_EQ(objects.size(), 1u);
    const CFrame& loaded = *objects[0];
    for (const auto& f : PageFile::RecordFields) EXPECT_EQ(loaded.*f.field, frame.*f.field) << f.name;
    EXPECT_EQ(loaded.BackColor, 0x80FF2040u);
    EXPECT_EQ(loaded.Rect, (CRect{10, 20, 630, 470}));
    EXPECT_EQ(loaded.FileName, frame.FileName);
    EXPECT_EQ(loaded.ClockFormat, frame.ClockFormat);
    EXPECT_EQ(loaded.TimerFormat, frame.TimerFormat);
    EXPECT_EQ(loaded.Group, frame.Group);
    EXPECT_EQ(loaded.ImageFileName, frame.ImageFileName);
    EXPECT_EQ(loaded.RichText, frame.RichText);
    EXPECT_TRUE(loaded.Frames.empty());
    EXPECT_EQ(loaded.FramePeriod, 20000);
    EXPECT_EQ(loaded.EditorBackgroundValid, 0);
    EXPECT_EQ(loaded.EditorTextValid, 0);
    EXPECT_NE(loaded.Id, frame.Id);
}

TEST_F(PageFileTest, FramesWrittenWithGoldenHeaders) {
    CFrame frame;
    frame.Kind = KindPicture;
    frame.PictureWidth = frame.PictureHeight = 16;
    const QByteArray noise = Noise(256, 11);
    frame.Frames.push_back(FrameOf(16, 16, Solid(256, 0xAA, 0xBB, 0xCC, 0xDD), 40));
    frame.Frames.push_back(FrameOf(16, 16, noise, 80));

    const QString path = Path(QStringLiteral("frames.corvane"));
    ASSERT_TRUE(Write(path, {&frame}));
    const QByteArray bytes = ReadAll(path);
    const qsizetype first = 256 + 512 + DefaultStringBytes;  // no rich text
    ASSERT_EQ(bytes.size(), first + 64 + 6 + 64 + 1024);
    EXPECT_EQ(GetI32(bytes, 256 + Rec::FrameCount), 2);

    const QByteArray one = bytes.mid(first, 64);
    EXPECT_EQ(GetI32(one, 0), 16);
    EXPECT_EQ(GetI32(one, 4), 16);
    EXPECT_EQ(GetI32(one, 8), 40);
    EXPECT_EQ(GetI32(one, 12), 1);
    EXPECT_EQ(GetI32(one, 16), 6);
    EXPECT_EQ(one.mid(20), QByteArray(44, '\0'));
    EXPECT_EQ(bytes.mid(first + 64, 6), QByteArray("\xFE\x80\xAA\xBB\xCC\xDD", 6));

    const QByteArray two = bytes.mid(first + 70, 64);
    EXPECT_EQ(GetI32(two, 8), 80);
    EXPECT_EQ(GetI32(two, 12), 1);
    EXPECT_EQ(GetI32(two, 16), -1);
    EXPECT_EQ(two.mid(20), QByteArray(44, '\0'));
    EXPECT_EQ(bytes.mid(first + 134), noise);

    ExpectLoaded(Read(path), 1);
    ASSERT_EQ(objects.size(), 1u);
    ASSERT_EQ(objects[0]->Frames.size(), 2u);
    EXPECT_EQ(objects[0]->PictureWidth, 16);
    EXPECT_EQ(objects[0]->Frames[0].Delay, 40);
    EXPECT_EQ(StoredBytes(objects[0]->Frames[0].Picture), QByteArray("\xFE\x80\xAA\xBB\xCC\xDD", 6));
    EXPECT_EQ(objects[0]->Frames[1].Delay, 80);
    EXPECT_EQ(objects[0]->Frames[1].Picture.compressedSize, -1);
    EXPECT_EQ(StoredBytes(objects[0]->Frames[1].Picture), noise);
}

TEST_F(PageFileTest, FullFrameOfOneColourIsRunsOfTheLongestLength) {
    CFrame frame;
    frame.Kind = KindPicture;
    frame.PictureWidth = 1920;
    frame.PictureHeight = 1080;
    frame.Frames.push_back(FrameOf(1920, 1080, Solid(1920 * 1080, 1, 2, 3, 255), 20));
    const QString path = Path(QStringLiteral("flat.corvane"));
    ASSERT_TRUE(Write(path, {&frame}));
    const QByteArray bytes = ReadAll(path);
    const qsizetype header = 256 + 512 + DefaultStringBytes;
    // 2073600 pixels: 63 runs of 32769 and one of the remaining 9153.
    ASSERT_EQ(bytes.size(), header + 64 + 64 * 6);
    EXPECT_EQ(GetI32(bytes, header + 16), 384);
    for (int k = 0; k < 63; ++k) {
        EXPECT_EQ(GetU16(bytes, header + 64 + 6 * k), 0xFFFF) << k;
        EXPECT_EQ(bytes.mid(header + 64 + 6 * k + 2, 4), QByteArray("\x01\x02\x03\xFF", 4));
    }
    EXPECT_EQ(GetU16(bytes, header + 64 + 6 * 63), 0x8000 | (9153 - 2));

    ExpectLoaded(Read(path), 1);
    ASSERT_EQ(objects.size(), 1u);
    CPicture decoded;
    ASSERT_TRUE(objects[0]->Frames.at(0).Picture.Decompress(decoded));
    EXPECT_EQ(PictureBytes(decoded), Solid(1920 * 1080, 1, 2, 3, 255));
}

TEST_F(PageFileTest, RandomFrameIsStoredRaw) {
    CFrame frame;
    frame.Kind = KindPicture;
    frame.PictureWidth = 64;
    frame.PictureHeight = 32;
    const QByteArray noise = Noise(64 * 32, 99);
    frame.Frames.push_back(FrameOf(64, 32, noise, 20));
    const QString path = Path(QStringLiteral("noise.corvane"));
    ASSERT_TRUE(Write(path, {&frame}));
    const QByteArray bytes = ReadAll(path);
    const qsizetype header = 256 + 512 + DefaultStringBytes;
    ASSERT_EQ(bytes.size(), header + 64 + noise.size());
    EXPECT_EQ(GetI32(bytes, header + 16), -1);
    EXPECT_EQ(bytes.mid(header + 64), noise);
}

TEST_F(PageFileTest, LinkedImageObjectIsWrittenWithoutFrames) {
    const QString image = dir.path() + QStringLiteral("/clip.png");
    CFrame linked;
    linked.Kind = KindPicture;
    linked.MaintainLink = 1;
    linked.ImageFileName = image;
    linked.PictureWidth = linked.PictureHeight = 16;
    linked.Frames.push_back(FrameOf(16, 16, Noise(256, 1), 20));
    linked.Frames.push_back(FrameOf(16, 16, Noise(256, 2), 20));
    CFrame after;
    after.Group = QStringLiteral("after");

    const QString path = Path(QStringLiteral("linked.corvane"));
    ASSERT_TRUE(Write(path, {&linked, &after}));
    const QByteArray bytes = ReadAll(path);
    EXPECT_EQ(GetI32(bytes, 256 + Rec::FrameCount), 0);
    EXPECT_EQ(GetI32(bytes, 256 + Rec::MaintainLink), 1);
    // Record, five strings ("+clip.png" among them), the second object; no frame data.
    const qsizetype first = 512 + DefaultStringBytes + 2 * QStringLiteral("+clip.png").size();
    const qsizetype second = 512 + DefaultStringBytes + 2 * QStringLiteral("after").size();
    EXPECT_EQ(bytes.size(), 256 + first + second);

    ExpectLoaded(Read(path), 2);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]->MaintainLink, 1);
    EXPECT_EQ(objects[0]->Kind, KindPicture);
    EXPECT_EQ(objects[0]->ImageFileName, image);
    EXPECT_TRUE(objects[0]->Frames.empty());
    EXPECT_EQ(objects[1]->Group, QStringLiteral("after"));
}

TEST_F(PageFileTest, FailedSaveKeepsThePreviousFile) {
    const QString path = Path(QStringLiteral("page.corvane"));
    CFrame small;
    small.Group = QStringLiteral("previous");
    ASSERT_TRUE(Write(path, {&small}));
    const QByteArray previous = ReadAll(path);
    ASSERT_FALSE(previous.isEmpty());

    CFrame large;
    large.Kind = KindPicture;
    large.PictureWidth = large.PictureHeight = 128;
    large.Frames.push_back(FrameOf(128, 128, Noise(128 * 128, 5), 20));  // 64 KB, raw
    {
        FileSizeLimit limit(8192);
        ASSERT_TRUE(limit.Active());
        EXPECT_FALSE(Write(path, {&small, &large}));
    }
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].text, SaveFailedText(path));
    EXPECT_EQ(recorder.messages[0].flags, unsigned(MbIconError));
    EXPECT_EQ(ReadAll(path), previous);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("page.corvane")});

    // The old page still reads.
    recorder.messages.clear();
    ExpectLoaded(Read(path), 1);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0]->Group, QStringLiteral("previous"));
}

// The disk may fill at any write, the last one included: the save fails, the old
// page stays byte for byte and no temporary file is left behind.
TEST_F(PageFileTest, SaveFailsWhereverTheDiskFillsAndKeepsThePreviousPage) {
    const QString path = Path(QStringLiteral("page.corvane"));
    CFrame small;
    small.Group = QStringLiteral("previous");
    ASSERT_TRUE(Write(path, {&small}));
    const QByteArray previous = ReadAll(path);

    CFrame large;
    large.Kind = KindPicture;
    large.PictureWidth = large.PictureHeight = 64;
    large.Frames.push_back(FrameOf(64, 64, Noise(64 * 64, 7), 20));
    const QString probe = Path(QStringLiteral("probe.corvane"));
    ASSERT_TRUE(Write(probe, {&small, &large}));
    const qint64 full = QFileInfo(probe).size();
    ASSERT_TRUE(QFile::remove(probe));

    for (const qint64 room : {full - 1, full - 2, full - 4, full - 17, full / 2, qint64(1)}) {
        SCOPED_TRACE(room);
        recorder.messages.clear();
        {
            FileSizeLimit limit{rlim_t(room)};
            ASSERT_TRUE(limit.Active());
            EXPECT_FALSE(Write(path, {&small, &large}));
        }
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].text, SaveFailedText(path));
        EXPECT_EQ(ReadAll(path), previous);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("page.corvane")});
    }
    // With room for all of it the same save goes through.
    recorder.messages.clear();
    {
        FileSizeLimit limit{rlim_t(full)};
        EXPECT_TRUE(Write(path, {&small, &large}));
    }
    EXPECT_EQ(QFileInfo(path).size(), full);
}

TEST_F(PageFileTest, SaveToAPathThatCannotBeAFileIsOpenFailure) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.corvane")));
    // A pipe (or a device) is never replaced by a file, whoever runs the save.
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path(QStringLiteral("pipe.corvane"))).constData(), 0600), 0);
    for (const char* name : {"gone/page.corvane", "folder.corvane", "pipe.corvane"}) {
        SCOPED_TRACE(name);
        recorder.messages.clear();
        const QString path = Path(QString::fromUtf8(name));
        CFrame frame;
        EXPECT_FALSE(Write(path, {&frame}));
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].text, OpenFailedText(path));
        EXPECT_EQ(recorder.messages[0].flags, unsigned(MbIconError));
    }
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("gone"))));
    EXPECT_TRUE(QFileInfo(Path(QStringLiteral("folder.corvane"))).isDir());
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(Path(QStringLiteral("pipe.corvane"))).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

TEST_F(PageFileTest, WriteReplacesAnExistingPage) {
    const QString path = Put(QStringLiteral("page.corvane"), QByteArray(5000, 'z'));
    CFrame frame;
    ASSERT_TRUE(Write(path, {&frame}));
    EXPECT_EQ(ReadAll(path).size(), 256 + 512 + DefaultStringBytes);
    ExpectLoaded(Read(path), 1);
}

// ---------------------------------------------------------------------------------
// Stored paths

TEST(PageFileStoredPath, ToStoredPath) {
    const QString page = QStringLiteral("/shows/news/page.corvane");
    struct Case {
        const char* path;
        const char* stored;
    };
    const Case cases[] = {
        {"/shows/news/logo.png", "+logo.png"},
        {"/shows/news/pics/a/logo.png", "+pics/a/logo.png"},
        {"/shows/other/logo.png", "/shows/other/logo.png"},
        {"/shows/newsroom/logo.png", "/shows/newsroom/logo.png"},  // not below the folder
        {"/shows/News/logo.png", "/shows/News/logo.png"},          // names keep their case
        {"/SHOWS/NEWS/logo.png", "/SHOWS/NEWS/logo.png"},
        {"/shows/news/", "/shows/news/"},                          // not longer than the folder
        {"/shows/news", "/shows/news"},
        {"logo.png", "logo.png"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PageFile::ToStoredPath(QString::fromUtf8(c.path), page), QString::fromUtf8(c.stored)) << c.path;
}

TEST(PageFileStoredPath, FromStoredPath) {
    const QString page = QStringLiteral("/shows/news/page.corvane");
    struct Case {
        const char* stored;
        const char* path;
    };
    const Case cases[] = {
        {"+logo.png", "/shows/news/logo.png"},
        {"+pics/a/logo.png", "/shows/news/pics/a/logo.png"},
        {"+pics\\a\\logo.png", "/shows/news/pics/a/logo.png"},  // written on Windows
        {"/elsewhere/logo.png", "/elsewhere/logo.png"},
        {"C:\\Pages\\logo.png", "C:\\Pages\\logo.png"},           // taken unchanged
        {"logo+.png", "logo+.png"},
        {"+", "/shows/news/"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PageFile::FromStoredPath(QString::fromUtf8(c.stored), page), QString::fromUtf8(c.path)) << c.stored;
}

TEST_F(PageFileTest, PathsBelowThePageFolderFollowItWhenMoved) {
    QDir root(dir.path());
    ASSERT_TRUE(root.mkpath(QStringLiteral("show/pics")));
    const QString oldFolder = dir.path() + QStringLiteral("/show/");
    CFrame frame;
    frame.Kind = KindPicture;
    frame.ImageFileName = oldFolder + QStringLiteral("pics/logo.png");
    frame.FileName = oldFolder + QStringLiteral("scores.txt");
    ASSERT_TRUE(Write(oldFolder + QStringLiteral("page.corvane"), {&frame}));

    const QByteArray bytes = ReadAll(oldFolder + QStringLiteral("page.corvane"));
    qsizetype position = 256 + 512;
    EXPECT_EQ(TakeString(bytes, position), QStringLiteral("+scores.txt"));
    TakeString(bytes, position);
    TakeString(bytes, position);
    TakeString(bytes, position);
    EXPECT_EQ(TakeString(bytes, position), QStringLiteral("+pics/logo.png"));

    ASSERT_TRUE(root.rename(QStringLiteral("show"), QStringLiteral("moved")));
    const QString newFolder = dir.path() + QStringLiteral("/moved/");
    ExpectLoaded(Read(newFolder + QStringLiteral("page.corvane")), 1);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0]->ImageFileName, newFolder + QStringLiteral("pics/logo.png"));
    EXPECT_EQ(objects[0]->FileName, newFolder + QStringLiteral("scores.txt"));
}

TEST_F(PageFileTest, WindowsSeparatorsAfterPlusAreRead) {
    const QString path = PutPage({}, {Block{.strings = {QStringLiteral("+texts\\score.txt"), {}, {}, {},
                                                         QStringLiteral("+pics\\sub\\logo.png")}}});
    ExpectLoaded(Read(path), 1);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0]->FileName, dir.path() + QStringLiteral("/texts/score.txt"));
    EXPECT_EQ(objects[0]->ImageFileName, dir.path() + QStringLiteral("/pics/sub/logo.png"));
}

// ---------------------------------------------------------------------------------
// Preview

// Reference halving: each pixel the truncated mean of a 2 x 2 block, per channel.
QByteArray Halved(const QByteArray& pixels, int width, int height, int& outWidth, int& outHeight) {
    outWidth = width / 2;
    outHeight = height / 2;
    QByteArray out(qsizetype(outWidth) * outHeight * 4, '\0');
    auto at = [&](int x, int y, int c) { return int(uint8_t(pixels[(qsizetype(y) * width + x) * 4 + c])); };
    for (int y = 0; y < outHeight; ++y)
        for (int x = 0; x < outWidth; ++x)
            for (int c = 0; c < 4; ++c)
                out[(qsizetype(y) * outWidth + x) * 4 + c] =
                    char((at(2 * x, 2 * y, c) + at(2 * x + 1, 2 * y, c) + at(2 * x, 2 * y + 1, c) +
                          at(2 * x + 1, 2 * y + 1, c)) / 4);
    return out;
}

CPicture PatternCanvas(int width, int height) {
    CPicture canvas;
    EXPECT_TRUE(canvas.Resize(width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = canvas.Pixel(x, y);
            p[0] = uint8_t(x * 7 + y * 3);
            p[1] = uint8_t(x * 5 + y * 11);
            p[2] = uint8_t(x ^ y);
            p[3] = uint8_t(x + 2 * y + (x * y) % 5);
        }
    return canvas;
}

TEST_F(PageFileTest, PreviewHalvedToAtMost480Wide) {
    struct Case {
        int mode, width, height, previewWidth, previewHeight;
    };
    const Case cases[] = {{0, 1920, 1080, 480, 270}, {5, 1280, 720, 320, 180}, {8, 720, 576, 360, 288},
                          {10, 720, 488, 360, 244}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        const CPicture canvas = PatternCanvas(c.width, c.height);
        QByteArray expected = PictureBytes(canvas);
        int w = c.width, h = c.height;
        while (w > 480) expected = Halved(expected, w, h, w, h);
        ASSERT_EQ(w, c.previewWidth);
        ASSERT_EQ(h, c.previewHeight);

        const CPicture made = PageFile::MakePreview(canvas);
        EXPECT_EQ(made.width, c.previewWidth);
        EXPECT_EQ(made.height, c.previewHeight);
        EXPECT_EQ(PictureBytes(made), expected);

        CFrame frame;
        frame.Group = QStringLiteral("with preview");
        const QString path = Path(QStringLiteral("preview.corvane"));
        ASSERT_TRUE(Write(path, {&frame}, c.mode, &canvas));
        const QByteArray bytes = ReadAll(path);
        const qsizetype objectBytes = 512 + DefaultStringBytes + 2 * 12;
        const qsizetype previewBytes = qsizetype(c.previewWidth) * c.previewHeight * 4;
        ASSERT_EQ(bytes.size(), 256 + objectBytes + previewBytes);
        EXPECT_EQ(GetI32(bytes, 28), c.previewWidth);
        EXPECT_EQ(GetI32(bytes, 32), c.previewHeight);
        EXPECT_EQ(GetI32(bytes, 36), 256 + objectBytes);
        EXPECT_EQ(bytes.mid(256 + objectBytes), expected);
        // The rest of the header is written as without a preview.
        EXPECT_EQ(GetI32(bytes, 12), 1);
        EXPECT_EQ(GetI32(bytes, 20), c.width);
        EXPECT_EQ(GetI32(bytes, 24), c.height);
        EXPECT_EQ(bytes.mid(40, 216), QByteArray(216, '\0'));

        CPicture preview;
        ASSERT_TRUE(PageFile::ReadPreview(path, preview));
        EXPECT_EQ(preview.width, c.previewWidth);
        EXPECT_EQ(preview.height, c.previewHeight);
        EXPECT_EQ(PictureBytes(preview), expected);

        // The page itself reads as before.
        ExpectLoaded(Read(path, c.mode), 1);
        ASSERT_EQ(objects.size(), 1u);
        EXPECT_EQ(objects[0]->Group, QStringLiteral("with preview"));
    }
}

TEST_F(PageFileTest, PreviewReplacesAPictureOfAnotherSize) {
    const QByteArray pixels = Noise(6 * 4, 21);
    QByteArray bytes = PageBytes({.previewWidth = 6, .previewHeight = 4, .previewOffset = 256}, {});
    bytes += pixels;
    const QString path = Put(QStringLiteral("preview.corvane"), bytes);
    CPicture preview = PictureOf(2, 2, Noise(4, 1));
    ASSERT_TRUE(PageFile::ReadPreview(path, preview));
    EXPECT_EQ(preview.width, 6);
    EXPECT_EQ(preview.height, 4);
    EXPECT_EQ(PictureBytes(preview), pixels);
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(PageFileTest, PreviewReaderFailsQuietly) {
    const QByteArray pixels = Noise(8 * 4, 3);
    auto withPreview = [&](Header h) { return PageBytes(h, {}) + pixels; };
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"no preview", PageBytes({}, {})},
        {"width 0", withPreview({.previewWidth = 0, .previewHeight = 4, .previewOffset = 256})},
        {"height 0", withPreview({.previewWidth = 8, .previewHeight = 0, .previewOffset = 256})},
        {"offset 0", withPreview({.previewWidth = 8, .previewHeight = 4, .previewOffset = 0})},
        {"negative width", withPreview({.previewWidth = -8, .previewHeight = 4, .previewOffset = 256})},
        {"huge size", withPreview({.previewWidth = INT32_MAX, .previewHeight = INT32_MAX, .previewOffset = 256})},
        {"offset beyond the file", withPreview({.previewWidth = 8, .previewHeight = 4, .previewOffset = 100000})},
        {"negative offset", withPreview({.previewWidth = 8, .previewHeight = 4, .previewOffset = -4})},
        {"pixels cut short", withPreview({.previewWidth = 8, .previewHeight = 5, .previewOffset = 256})},
        {"bad magic", withPreview({.magic = "XXXX", .previewWidth = 8, .previewHeight = 4, .previewOffset = 256})},
        {"unknown version", withPreview({.version = 2, .previewWidth = 8, .previewHeight = 4, .previewOffset = 256})},
        {"object count 257",
         withPreview({.objectCount = 257, .previewWidth = 8, .previewHeight = 4, .previewOffset = 256})},
        {"short header", QByteArray("CVPF", 4)},
        {"empty file", QByteArray()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Put(QStringLiteral("preview.corvane"), c.bytes);
        CPicture preview = PictureOf(8, 4, Noise(32, 5));
        EXPECT_FALSE(PageFile::ReadPreview(path, preview));
        EXPECT_TRUE(preview.IsEmpty());
    }
    CPicture preview = PictureOf(8, 4, Noise(32, 5));
    EXPECT_FALSE(PageFile::ReadPreview(Path(QStringLiteral("missing.corvane")), preview));
    EXPECT_TRUE(preview.IsEmpty());
    EXPECT_TRUE(recorder.messages.empty());

    // The same header with its pixels complete reads.
    const QString good = Put(QStringLiteral("good.corvane"),
                             withPreview({.previewWidth = 8, .previewHeight = 4, .previewOffset = 256}));
    ASSERT_TRUE(PageFile::ReadPreview(good, preview));
    EXPECT_EQ(PictureBytes(preview), pixels);
}

TEST_F(PageFileTest, PreviewIsReadWhateverTheVideoMode) {
    // The preview reader does not look at the page size or the objects.
    QByteArray bytes = PageBytes({.objectCount = 3, .width = 1280, .height = 720, .previewWidth = 2,
                                  .previewHeight = 2, .previewOffset = 256},
                                 {});
    bytes += Noise(4, 8);
    const QString path = Put(QStringLiteral("preview.corvane"), bytes);
    CPicture preview;
    ASSERT_TRUE(PageFile::ReadPreview(path, preview));
    EXPECT_EQ(PictureBytes(preview), Noise(4, 8));
    EXPECT_TRUE(recorder.messages.empty());
}

// ---------------------------------------------------------------------------------
// Round trip

TEST_F(PageFileTest, PageRoundTripKeepsEveryObjectInOrder) {
    const QString folder = dir.path() + u'/';
    std::vector<std::unique_ptr<CFrame>> page;
    for (int k = 0; k < 5; ++k) {
        auto frame = std::make_unique<CFrame>();
        frame->Kind = k % 2;
        frame->Rect = {k, 2 * k, 100 + k, 200 + k};
        frame->Speed = 1 + k;
        frame->BackColor = 0x01020304u * uint32_t(k + 1);
        frame->TimerStart = 10 * k;
        frame->TimerStop = 86399 - k;
        frame->TimerDirection = k % 2;
        frame->Group = QStringLiteral("group %1").arg(k);
        frame->FileName = folder + QStringLiteral("f%1.txt").arg(k);
        frame->RichText = QByteArray("{\\rtf1 ") + QByteArray::number(k) + '}';
        if (frame->Kind == KindPicture) {
            frame->PictureWidth = 8;
            frame->PictureHeight = 4;
            for (int f = 0; f < k + 1; ++f)
                frame->Frames.push_back(FrameOf(8, 4, f % 2 ? Noise(32, uint32_t(f + 1)) : Solid(32, 1, 2, 3, uint8_t(f)),
                                                20 * (f + 1)));
        }
        page.push_back(std::move(frame));
    }
    std::vector<const CFrame*> list;
    for (const auto& frame : page) list.push_back(frame.get());
    const QString path = Path(QStringLiteral("round.corvane"));
    ASSERT_TRUE(Write(path, list, 5));
    ExpectLoaded(Read(path, 5), page.size());
    ASSERT_EQ(objects.size(), page.size());
    for (size_t k = 0; k < page.size(); ++k) {
        SCOPED_TRACE(k);
        const CFrame& a = *page[k];
        const CFrame& b = *objects[k];
        for (const auto& f : PageFile::RecordFields) EXPECT_EQ(b.*f.field, a.*f.field) << f.name;
        EXPECT_EQ(b.BackColor, a.BackColor);
        EXPECT_EQ(b.Rect, a.Rect);
        EXPECT_EQ(b.Group, a.Group);
        EXPECT_EQ(b.FileName, a.FileName);
        EXPECT_EQ(b.RichText, a.RichText);
        EXPECT_EQ(b.PictureWidth, a.PictureWidth);
        EXPECT_EQ(b.PictureHeight, a.PictureHeight);
        ASSERT_EQ(b.Frames.size(), a.Frames.size());
        for (size_t f = 0; f < a.Frames.size(); ++f) {
            EXPECT_EQ(b.Frames[f].Delay, a.Frames[f].Delay);
            EXPECT_EQ(b.Frames[f].Picture.compressedSize, a.Frames[f].Picture.compressedSize);
            EXPECT_EQ(StoredBytes(b.Frames[f].Picture), StoredBytes(a.Frames[f].Picture));
        }
        EXPECT_EQ(b.FramePeriod, 20000);
    }
}

}  // namespace

// Stored values outside their field's range keep the object's default, so no page
// can drive the timeline into overflow or name an effect that does not exist;
// switches read any non-zero value as on; edges are kept within a bounded range.
TEST_F(PageFileTest, OutOfRangeValuesKeepTheirDefaults) {
    constexpr int ShowFor = 44, StartDelay = 48, InEffect = 52, FadeIn = 60, Left = 80, Right = 88;
    const QString path = PutPage({}, {Block{.fields = {{ShowFor, INT32_MAX},
                                                      {StartDelay, -5},
                                                      {InEffect, 31},
                                                      {Rec::Speed, 0},
                                                      {FadeIn, 9},
                                                      {Right, INT32_MAX},
                                                      {Left, INT32_MIN}}}});
    ExpectLoaded(Read(path), 1);
    ASSERT_EQ(objects.size(), 1u);
    const CFrame defaults;
    EXPECT_EQ(objects[0]->ShowFor, defaults.ShowFor);
    EXPECT_EQ(objects[0]->StartDelay, defaults.StartDelay);
    EXPECT_EQ(objects[0]->InEffect, defaults.InEffect);
    EXPECT_EQ(objects[0]->Speed, defaults.Speed);
    EXPECT_EQ(objects[0]->FadeIn, 1);
    EXPECT_GT(objects[0]->Rect.Width(), 0);
    EXPECT_LE(objects[0]->Rect.right, 1 << 20);
    EXPECT_GE(objects[0]->Rect.left, -(1 << 20));
}

namespace {

// What the build tool refuses, the reader does not play either: edges the wrong way
// round span the same rectangle, and a negative hold is no hold.
TEST_F(PageFileTest, InvertedEdgesAndNegativeDelaysAreReadSoundly) {
    Block block;
    block.fields = {{Rec::Kind, KindPicture}, {Rec::Rect, 700}, {Rec::Rect + 4, 470}, {Rec::Rect + 8, 20},
                    {Rec::Rect + 12, 400}};
    block.frames = {FrameBytes(2, 2, -40, 0, 0, Solid(4, 1, 2, 3, 255)), FrameBytes(2, 2, 30, 0, 0, Solid(4, 1, 2, 3, 255))};
    const QString path = PutPage({}, {block});
    ExpectLoaded(Read(path), 1);
    const CRect rect = objects[0]->Rect;
    EXPECT_EQ((std::array{rect.left, rect.top, rect.right, rect.bottom}), (std::array{20, 400, 700, 470}));
    ASSERT_EQ(objects[0]->Frames.size(), 2u);
    EXPECT_EQ(objects[0]->Frames[0].Delay, 0);
    EXPECT_EQ(objects[0]->Frames[1].Delay, 30);
}

// A frame larger than the page's output is never written (the importer fits pictures
// to the output): it is damage, and would take its size in texture memory.
TEST_F(PageFileTest, FramesLargerThanTheOutputAndSizesOfNoModeAreCorrupt) {
    Block wide;
    wide.fields = {{Rec::Kind, KindPicture}};
    wide.frames = {FrameBytes(721, 1, 0, 0, 0, Solid(721, 0, 0, 0, 255))};
    const QString tooWide = PutPage({.width = 720, .height = 576}, {wide}, QStringLiteral("wide.corvane"));
    ExpectRefused(Read(tooWide, 8), CorruptText(tooWide));

    Block fits = wide;
    fits.frames = {FrameBytes(720, 1, 0, 0, 0, Solid(720, 0, 0, 0, 255))};
    recorder.messages.clear();
    ExpectLoaded(Read(PutPage({.width = 720, .height = 576}, {fits}, QStringLiteral("fits.corvane")), 8), 1);

    for (const auto& [w, h] : {std::pair{720, -1}, std::pair{-720, 576}, std::pair{1920, 1081}, std::pair{100000, 1}}) {
        SCOPED_TRACE(testing::Message() << w << " x " << h);
        recorder.messages.clear();
        const QString path = PutPage({.width = w, .height = h}, {}, QStringLiteral("size.corvane"));
        ExpectRefused(Read(path), CorruptText(path));
    }
}

TEST_F(PageFileTest, APageWhosePicturesExceedTheMemoryBudgetIsRefusedWhole) {
    // Full-screen pictures of one stored frame each, solid (a few bytes compressed).
    CPicture solid;
    ASSERT_TRUE(solid.Resize(1920, 1080));
    solid.Fill(0xFF102030u);
    CCompressedPicture compressed;
    compressed.Compress(solid);
    Block block;
    block.fields = {{Rec::Kind, KindPicture}};
    block.frames = {FrameBytes(1920, 1080, 0, 1, int32_t(compressed.compressedSize), StoredBytes(compressed))};
    const int64_t each = 1920 * 1080 * 4;
    const int fitting = int(PageFile::MaxPictureBytes / each);
    ExpectLoaded(Read(PutPage({}, std::vector<Block>(size_t(fitting), block), QStringLiteral("fits.corvane"))),
                 size_t(fitting));
    const QString path = PutPage({}, std::vector<Block>(size_t(fitting + 1), block), QStringLiteral("over.corvane"));
    ExpectRefused(Read(path), QStringLiteral("Error: The pictures of this page need more than %1 MB of memory!\n\n")
                                  .arg(PageFile::MaxPictureBytes >> 20) +
                                  path);
}

}  // namespace
