#include "core/Frame.h"

#include <gtest/gtest.h>

namespace {

// An object with every stored property away from its default.
std::unique_ptr<CFrame> Decorated() {
    auto f = std::make_unique<CFrame>();
    f->FramePeriod = 16667;
    f->Kind = KindPicture;
    f->Rect = {10, 20, 110, 70};
    f->Locked = 1;
    f->Movement = MovementHorizontal;
    f->Speed = 33;
    f->Loop = 0;
    f->ShowWhileTextMoves = 1;
    f->Reverse = 1;
    f->StartFromEdge = 1;
    f->BackColor = 0x80123456;
    f->TextOpacity = 100;
    f->DropShadow = 3;
    f->PictureWidth = 16;
    f->PictureHeight = 16;
    CPicture pixels;
    pixels.Resize(16, 16);
    pixels.Fill(0xFF00FF00);
    CFrameBackground background;
    background.Picture.Compress(pixels);
    background.Delay = 40;
    f->Frames.push_back(background);
    f->LoopAnimation = 0;
    f->MaintainLink = 1;
    f->ImageFileName = QStringLiteral("/pages/logo.png");
    f->RichText = QByteArray("{\\rtf1 Hello}");
    f->TextSource = SourceCsvFile;
    f->FileName = QStringLiteral("/pages/table.csv");
    f->Encoding = 4;
    f->FirstLineIsHeader = 1;
    f->ClockFormat = QStringLiteral("%I:%M %p");
    f->MonitorFileChanges = 1;
    f->Separator = 1;
    f->TimerFormat = QStringLiteral("%M:%S");
    f->TimerStart = 60;
    f->TimerStop = 120;
    f->TimerDirection = 1;
    f->BarGraph = 1;
    f->ShowFor = 5000;
    f->ShowIndefinitely = 0;
    f->StartDelay = 250;
    f->InEffect = 7;
    f->InEffectDuration = 300;
    f->FadeIn = 1;
    f->OutEffect = 29;
    f->OutEffectDuration = 400;
    f->FadeOut = 1;
    f->Repeat = 1;
    f->SwitcherButton = 4;
    f->Group = QStringLiteral("Score");
    f->Hotkey = 12;
    return f;
}

void ExpectSameProperties(const CFrame& a, const CFrame& b) {
    EXPECT_EQ(a.Movement, b.Movement);
    EXPECT_EQ(a.Speed, b.Speed);
    EXPECT_EQ(a.Loop, b.Loop);
    EXPECT_EQ(a.ShowWhileTextMoves, b.ShowWhileTextMoves);
    EXPECT_EQ(a.Reverse, b.Reverse);
    EXPECT_EQ(a.StartFromEdge, b.StartFromEdge);
    EXPECT_EQ(a.BackColor, b.BackColor);
    EXPECT_EQ(a.TextOpacity, b.TextOpacity);
    EXPECT_EQ(a.DropShadow, b.DropShadow);
    EXPECT_EQ(a.LoopAnimation, b.LoopAnimation);
    EXPECT_EQ(a.TextSource, b.TextSource);
    EXPECT_EQ(a.FileName, b.FileName);
    EXPECT_EQ(a.Encoding, b.Encoding);
    EXPECT_EQ(a.FirstLineIsHeader, b.FirstLineIsHeader);
    EXPECT_EQ(a.ClockFormat, b.ClockFormat);
    EXPECT_EQ(a.MonitorFileChanges, b.MonitorFileChanges);
    EXPECT_EQ(a.Separator, b.Separator);
    EXPECT_EQ(a.TimerFormat, b.TimerFormat);
    EXPECT_EQ(a.TimerStart, b.TimerStart);
    EXPECT_EQ(a.TimerStop, b.TimerStop);
    EXPECT_EQ(a.TimerDirection, b.TimerDirection);
    EXPECT_EQ(a.BarGraph, b.BarGraph);
    EXPECT_EQ(a.ShowFor, b.ShowFor);
    EXPECT_EQ(a.ShowIndefinitely, b.ShowIndefinitely);
    EXPECT_EQ(a.StartDelay, b.StartDelay);
    EXPECT_EQ(a.InEffect, b.InEffect);
    EXPECT_EQ(a.InEffectDuration, b.InEffectDuration);
    EXPECT_EQ(a.FadeIn, b.FadeIn);
    EXPECT_EQ(a.OutEffect, b.OutEffect);
    EXPECT_EQ(a.OutEffectDuration, b.OutEffectDuration);
    EXPECT_EQ(a.FadeOut, b.FadeOut);
    EXPECT_EQ(a.Repeat, b.Repeat);
    EXPECT_EQ(a.SwitcherButton, b.SwitcherButton);
    EXPECT_EQ(a.Group, b.Group);
    EXPECT_EQ(a.Hotkey, b.Hotkey);
}

void ExpectSameContent(const CFrame& a, const CFrame& b) {
    EXPECT_EQ(a.FramePeriod, b.FramePeriod);
    EXPECT_EQ(a.Kind, b.Kind);
    EXPECT_EQ(a.Rect, b.Rect);
    EXPECT_EQ(a.PictureWidth, b.PictureWidth);
    EXPECT_EQ(a.PictureHeight, b.PictureHeight);
    EXPECT_EQ(a.RichText, b.RichText);
    ASSERT_EQ(a.Frames.size(), b.Frames.size());
    for (size_t k = 0; k < a.Frames.size(); ++k) {
        const CCompressedPicture& pa = a.Frames[k].Picture;
        const CCompressedPicture& pb = b.Frames[k].Picture;
        EXPECT_EQ(a.Frames[k].Delay, b.Frames[k].Delay);
        EXPECT_EQ(pa.compressedSize, pb.compressedSize);
        ASSERT_EQ(pa.StoredByteCount(), pb.StoredByteCount());
        EXPECT_NE(pa.data.get(), pb.data.get()) << "frames must be deep copies";
        EXPECT_EQ(0, memcmp(pa.data.get(), pb.data.get(), pa.StoredByteCount()));
    }
}

}  // namespace

TEST(Frame, IdsComeFromOneCounter) {
    const int next = CFrame::PeekNextId();
    CFrame first;
    CFrame second;
    EXPECT_EQ(first.Id, next);
    EXPECT_EQ(second.Id, next + 1);
    CFrame clone(first);
    EXPECT_EQ(clone.Id, next + 2);
    EXPECT_NE(clone.Id, 0);
}

TEST(Frame, DefaultObject) {
    CFrame f;
    EXPECT_EQ(f.Kind, KindSimple);
    EXPECT_EQ(f.BackColor, 0x1A000000u);
    EXPECT_EQ(CFrame::OpacityToPercent(int(f.BackColor >> 24)), 89);
    EXPECT_EQ(f.TextOpacity, 255);
    EXPECT_EQ(f.InEffect, 0);
    EXPECT_EQ(f.OutEffect, 0);
    EXPECT_EQ(f.StartDelay, 0);
    EXPECT_EQ(f.ShowIndefinitely, 1);
    EXPECT_EQ(f.Speed, 10);
    EXPECT_EQ(f.Loop, 1);
    EXPECT_EQ(f.LoopAnimation, 1);
    EXPECT_EQ(f.ClockFormat, QStringLiteral("%H:%M"));
    EXPECT_EQ(f.TimerFormat, QStringLiteral("%H:%M:%S"));
    EXPECT_EQ(f.TimerStop, 3600);
    EXPECT_EQ(f.AnimationFrame, -1);
    EXPECT_TRUE(f.Frames.empty());
    EXPECT_TRUE(f.RichText.isEmpty());
    EXPECT_EQ(f.Playing.load(), 0);
    EXPECT_EQ(f.BackgroundTexture, nullptr);
}

TEST(Frame, CloneLeavesLockAndLinkBehind) {
    auto original = Decorated();
    original->Playing = 1;
    original->Clock = 1234;
    CFrame clone(*original);
    ExpectSameProperties(clone, *original);
    ExpectSameContent(clone, *original);
    EXPECT_EQ(clone.Locked, 0);
    EXPECT_EQ(clone.MaintainLink, 0);
    EXPECT_TRUE(clone.ImageFileName.isEmpty());
    EXPECT_EQ(clone.Playing.load(), 0);
    EXPECT_EQ(clone.Clock, 0);
    EXPECT_NE(clone.Id, original->Id);
    // The rich text is the clone's own: changing one leaves the other.
    clone.RichText[1] = 'X';
    EXPECT_EQ(original->RichText, QByteArray("{\\rtf1 Hello}"));
}

TEST(Frame, SnapshotKeepsIdLockAndLink) {
    auto original = Decorated();
    auto snapshot = original->Snapshot();
    EXPECT_EQ(snapshot->Id, original->Id);
    EXPECT_EQ(snapshot->Locked, 1);
    EXPECT_EQ(snapshot->MaintainLink, 1);
    EXPECT_EQ(snapshot->ImageFileName, original->ImageFileName);
    ExpectSameProperties(*snapshot, *original);
    ExpectSameContent(*snapshot, *original);
}

TEST(Frame, CopyPropertiesLeavesGeometryAndContent) {
    auto source = Decorated();
    CFrame target;
    target.Rect = {1, 2, 3, 4};
    target.RichText = "{\\rtf1 Mine}";
    target.CopyProperties(*source);
    ExpectSameProperties(target, *source);
    EXPECT_EQ(target.Locked, 1);
    EXPECT_EQ(target.MaintainLink, 1);
    EXPECT_EQ(target.ImageFileName, source->ImageFileName);
    EXPECT_EQ(target.Kind, KindSimple);
    EXPECT_EQ(target.Rect, (CRect{1, 2, 3, 4}));
    EXPECT_EQ(target.RichText, QByteArray("{\\rtf1 Mine}"));
    EXPECT_TRUE(target.Frames.empty());
    EXPECT_EQ(target.PictureWidth, 0);
}

TEST(Frame, TransparencyPercentages) {
    const struct {
        int opacity, percent;
    } shown[] = {{255, 0}, {0, 100}, {127, 50}, {26, 89}, {254, 0}, {1, 99}};
    for (auto c : shown) EXPECT_EQ(CFrame::OpacityToPercent(c.opacity), c.percent) << c.opacity;
    const struct {
        int percent, opacity;
    } stored[] = {{100, 0}, {0, 255}, {50, 127}, {89, 27}, {2, 249}, {1, 252}, {99, 2}};
    for (auto c : stored) EXPECT_EQ(CFrame::PercentToOpacity(c.percent), c.opacity) << c.percent;
}
