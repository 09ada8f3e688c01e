// The presentation of one object in time: phases, clock, play/end/pause while
// playing, repetitions, fades, bar graphs, and the background texture (solid colour
// or animation frames) on the memory texture device.
#include "core/Frame.h"
#include "playback/Import.h"
#include "playback/TextMovement.h"
#include "tests/TextRendererFixture.h"
#include "playback/Timeline.h"
#include "media/MemoryTexture.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cstring>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// What the render engine got from the object at one output frame.
struct Shot {
    int clock = 0;       // the clock the frame was presented at (before its advance)
    int clockAfter = 0;  // the clock after PresentFrame
    int result = 0;
    TimelinePhase phase = TimelinePhase::Waiting;
    FramePresentation record;
    int animationFrame = -1;
};

bool IsBlank(const FramePresentation& r) {
    for (int i = 0; i < 4; ++i)
        if (r.Dest[i] != 0 || r.BackgroundWindow[i] != 0 || r.TextWindow[i] != 0) return false;
    return r.Background == nullptr && r.Text == nullptr && r.Alpha == 0;
}

bool SameRecord(const FramePresentation& a, const FramePresentation& b) {
    for (int i = 0; i < 4; ++i)
        if (a.Dest[i] != b.Dest[i] || a.BackgroundWindow[i] != b.BackgroundWindow[i] ||
            a.TextWindow[i] != b.TextWindow[i])
            return false;
    return a.Background == b.Background && a.Text == b.Text && a.Alpha == b.Alpha;
}

void ExpectDest(const FramePresentation& r, float left, float top, float right, float bottom) {
    EXPECT_EQ(r.Dest[0], left);
    EXPECT_EQ(r.Dest[1], top);
    EXPECT_EQ(r.Dest[2], right);
    EXPECT_EQ(r.Dest[3], bottom);
}

void ExpectWindow(const FramePresentation& r, float u0, float v0, float u1, float v1) {
    EXPECT_FLOAT_EQ(r.BackgroundWindow[0], u0);
    EXPECT_FLOAT_EQ(r.BackgroundWindow[1], v0);
    EXPECT_FLOAT_EQ(r.BackgroundWindow[2], u1);
    EXPECT_FLOAT_EQ(r.BackgroundWindow[3], v1);
}

// The render engine's two threads reduced to one loop: the text pass, then the
// render pass with Busy held, stopping the object when PresentFrame gives 0.
class Engine {
public:
    CMemoryTextureDevice device;
    int period = 10000;     // µs per output frame: clocks 0, 10, 20... ms
    bool textThread = true; // false: the text thread produces nothing
    std::vector<Shot> shots;

    // One output frame; false once the object is stopped.
    bool Frame(CFrame& f) {
        if (!f.Playing.load()) return false;
        if (textThread) InvokeRender(f, TextRenderer());
        if (!f.BeginPresent()) return false;
        Shot shot;
        shot.clock = f.Clock;
        shot.result = PresentFrame(f, shot.record, device, period, &shot.phase);
        f.EndPresent();
        if (!shot.result) f.Stop();
        shot.clockAfter = f.Clock;
        shot.animationFrame = f.AnimationFrame;
        shots.push_back(shot);
        return shot.result != 0;
    }

    // Frames until the object stops or limit frames have been presented; before
    // runs ahead of every frame (a command arriving from another thread).
    void Run(CFrame& f, int limit, const std::function<void(CFrame&)>& before = {}) {
        for (int i = 0; i < limit && f.Playing.load(); ++i) {
            if (before) before(f);
            if (!Frame(f)) break;
        }
    }

    // Frames until the next frame would be presented at clock or later.
    void RunToClock(CFrame& f, int clock, int limit = 100000) {
        for (int i = 0; i < limit && f.Playing.load() && f.Clock < clock; ++i) Frame(f);
    }

    // The first shot presented at clock (from index from on), or null.
    const Shot* At(int clock, size_t from = 0) const {
        for (size_t i = from; i < shots.size(); ++i)
            if (shots[i].clock == clock) return &shots[i];
        return nullptr;
    }
};

// Delay 1000, in 500 (reveal from the left), show for 5000, out 500 (reveal from
// the right), no fade, on a 200 x 100 rectangle at (100, 50).
void Standard(CFrame& f) {
    f.Rect = {100, 50, 300, 150};
    f.BackColor = 0xFF336699;
    f.StartDelay = 1000;
    f.InEffect = 20;
    f.InEffectDuration = 500;
    f.ShowIndefinitely = 0;
    f.ShowFor = 5000;
    f.OutEffect = 21;
    f.OutEffectDuration = 500;
    f.FramePeriod = 20000;
}

// A bar graph as the page stores one: the flag, and a text file whose leading
// number is the bar's percentage (read by the text step).
void BarFromFile(CFrame& f, const QTemporaryDir& dir, int percent) {
    const QString path = dir.filePath(QStringLiteral("bar%1.txt").arg(percent));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray::number(percent) + "\r\n");
    f.TextSource = SourceTextFile;
    f.FileName = path;
    f.BarGraph = 1;
}

struct PhaseRow {
    int clock;
    TimelinePhase phase;
};

void ExpectPhases(const Engine& engine, const std::vector<PhaseRow>& rows, size_t from = 0) {
    for (const PhaseRow& row : rows) {
        SCOPED_TRACE(testing::Message() << "clock " << row.clock);
        const Shot* shot = engine.At(row.clock, from);
        ASSERT_NE(shot, nullptr);
        EXPECT_EQ(shot->result, 1);
        EXPECT_EQ(PhaseName(shot->phase), PhaseName(row.phase));
    }
}

class TimelineTest : public ::testing::Test {
protected:
    // Declared before the object, so the object's textures go back to a live device.
    Engine engine;
    CFrame frame;
};

// ---------------------------------------------------------------------------
// Phases

TEST_F(TimelineTest, DelayInShownOutThenStops) {
    Standard(frame);
    ASSERT_EQ(frame.Play(), 1);
    engine.Run(frame, 10000);

    ExpectPhases(engine, {{0, TimelinePhase::Delay},
                          {500, TimelinePhase::Delay},
                          {990, TimelinePhase::Delay},
                          {1000, TimelinePhase::In},
                          {1250, TimelinePhase::In},
                          {1490, TimelinePhase::In},
                          {1500, TimelinePhase::Shown},
                          {3000, TimelinePhase::Shown},
                          {4500, TimelinePhase::Shown},
                          {4510, TimelinePhase::Out},
                          {4750, TimelinePhase::Out},
                          {4990, TimelinePhase::Out}});

    // The clock ran from the first frame, one frame period at a time.
    for (size_t i = 0; i < engine.shots.size(); ++i) EXPECT_EQ(engine.shots[i].clock, int(i) * 10) << i;

    for (const Shot& shot : engine.shots) {
        if (shot.clock < 1000) {
            EXPECT_TRUE(IsBlank(shot.record)) << shot.clock;
        } else if (shot.result) {
            EXPECT_NE(shot.record.Background, nullptr) << shot.clock;
            EXPECT_EQ(shot.record.Alpha, 255) << shot.clock;
            EXPECT_EQ(shot.record.Text, nullptr) << shot.clock;
        }
    }

    // Half way in and half way out.
    ExpectDest(engine.At(1250)->record, 100, 50, 200, 150);
    ExpectWindow(engine.At(1250)->record, 0, 0, 0.5f, 1);
    ExpectDest(engine.At(3000)->record, 100, 50, 300, 150);
    ExpectWindow(engine.At(3000)->record, 0, 0, 1, 1);
    ExpectDest(engine.At(4750)->record, 200, 50, 300, 150);
    ExpectWindow(engine.At(4750)->record, 0.5f, 0, 1, 1);

    // The first frame with a clock of 5000 finishes the object.
    const Shot& last = engine.shots.back();
    EXPECT_EQ(last.clock, 5000);
    EXPECT_EQ(last.result, 0);
    EXPECT_EQ(last.phase, TimelinePhase::Finished);
    EXPECT_EQ(frame.Playing.load(), 0);
    EXPECT_EQ(frame.BackgroundTexture, nullptr);
    EXPECT_EQ(engine.device.Live.load(), 0);
}

TEST_F(TimelineTest, RepeatRestartsTheClockAndWaitsTheDelayAgain) {
    Standard(frame);
    frame.Repeat = 1;
    frame.Play();
    engine.Run(frame, 1100);
    ASSERT_EQ(frame.Playing.load(), 1);
    EXPECT_EQ(frame.Ending, 0);

    const Shot* end = engine.At(5000);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end->result, 1);
    EXPECT_EQ(end->clockAfter, 0);
    EXPECT_EQ(end->phase, TimelinePhase::Waiting);  // the text is prepared again
    EXPECT_TRUE(IsBlank(end->record));

    // The second repetition is the first over again, delay included.
    const size_t restart = size_t(end - engine.shots.data()) + 1;
    ASSERT_LT(restart + restart, engine.shots.size());
    for (size_t i = 0; i + 1 < restart; ++i) {
        const Shot& first = engine.shots[i];
        const Shot& again = engine.shots[restart + i];
        ASSERT_EQ(again.clock, first.clock) << i;
        EXPECT_EQ(again.phase, first.phase) << first.clock;
        EXPECT_TRUE(SameRecord(again.record, first.record)) << first.clock;
    }
    EXPECT_EQ(engine.shots[restart].phase, TimelinePhase::Delay);
}

TEST_F(TimelineTest, EndDuringTheDelayFinishesInThenGoesOutWithoutRepeating) {
    Standard(frame);
    frame.Repeat = 1;
    frame.Play();
    engine.Run(frame, 10000, [&](CFrame& f) {
        if (f.Clock == 200 && !f.Ending) {
            EXPECT_EQ(f.End(), 0);  // not paused
            EXPECT_EQ(f.EndTime, 2000);
            EXPECT_EQ(f.Ending, 1);
        }
    });

    ExpectPhases(engine, {{200, TimelinePhase::Delay},
                          {990, TimelinePhase::Delay},
                          {1000, TimelinePhase::In},
                          {1490, TimelinePhase::In},
                          {1500, TimelinePhase::Shown},
                          {1510, TimelinePhase::Out},
                          {1990, TimelinePhase::Out}});
    ExpectDest(engine.At(1500)->record, 100, 50, 300, 150);
    ExpectDest(engine.At(1750)->record, 200, 50, 300, 150);

    const Shot& last = engine.shots.back();
    EXPECT_EQ(last.clock, 2000);
    EXPECT_EQ(last.result, 0);
    EXPECT_EQ(frame.Playing.load(), 0);
    EXPECT_EQ(frame.Ending, 0) << "cleared when the object finishes";
}

TEST_F(TimelineTest, EndDuringTheOutEffectChangesNothing) {
    Standard(frame);
    frame.Repeat = 1;
    frame.Play();
    engine.RunToClock(frame, 4700);
    ASSERT_EQ(frame.Clock, 4700);
    EXPECT_EQ(frame.End(), 0);
    EXPECT_EQ(frame.EndTime, 5000);
    EXPECT_EQ(frame.Ending, 0);

    // Still a repeating object: at 5000 it starts over.
    engine.RunToClock(frame, 5000);
    ASSERT_TRUE(engine.Frame(frame));
    EXPECT_EQ(engine.shots.back().clock, 5000);
    EXPECT_EQ(engine.shots.back().clockAfter, 0);
    EXPECT_EQ(frame.Playing.load(), 1);
}

TEST_F(TimelineTest, EndAtTheStartOfTheOutEffectChangesNothing) {
    Standard(frame);
    frame.Play();
    engine.RunToClock(frame, 4500);
    ASSERT_EQ(frame.Clock, 4500);
    EXPECT_EQ(frame.End(), 0);
    EXPECT_EQ(frame.EndTime, 5000);
    EXPECT_EQ(frame.Ending, 0);
}

TEST_F(TimelineTest, EndOnAStoppedObjectDoesNothing) {
    Standard(frame);
    EXPECT_EQ(frame.End(), 0);
    EXPECT_EQ(frame.Ending, 0);
    EXPECT_EQ(frame.EndTime, 0);
    EXPECT_EQ(frame.Stop(), 0);
    frame.TogglePause();
    EXPECT_EQ(frame.Paused.load(), 0);
}

TEST_F(TimelineTest, EndOfAPausedObjectResumesIt) {
    Standard(frame);
    frame.Play();
    engine.RunToClock(frame, 2000);
    frame.TogglePause();
    EXPECT_EQ(frame.End(), 1);
    EXPECT_EQ(frame.Paused.load(), 0);
    EXPECT_EQ(frame.EndTime, 2500);
    engine.Run(frame, 10000);
    EXPECT_EQ(engine.shots.back().clock, 2500);
    EXPECT_EQ(frame.Playing.load(), 0);
}

TEST_F(TimelineTest, PlayOutEndsTheTimelineButLeavesAPauseAlone) {
    Standard(frame);
    frame.ShowIndefinitely = 1;
    frame.Play();
    engine.RunToClock(frame, 2000);
    frame.TogglePause();
    EXPECT_TRUE(frame.PlayOut());
    EXPECT_EQ(frame.Paused.load(), 1) << "a pause is the operator's to lift";
    EXPECT_EQ(frame.Ending.load(), 1);
    EXPECT_EQ(frame.EndTime, 2500);
    EXPECT_FALSE(frame.PlayOut()) << "already going out";
    engine.Run(frame, 10);
    EXPECT_EQ(frame.Clock, 2000);
    frame.TogglePause();
    engine.Run(frame, 10000);
    EXPECT_EQ(engine.shots.back().clock, 2500);
    EXPECT_EQ(frame.Playing.load(), 0);
}

TEST_F(TimelineTest, PlayOnPlayingRepeatingObjectStartsTheNextRepetition) {
    Standard(frame);
    frame.Repeat = 1;
    frame.Play();
    engine.RunToClock(frame, 2000);
    EXPECT_EQ(frame.Play(), 0);
    EXPECT_EQ(frame.EndTime, 1);

    ASSERT_TRUE(engine.Frame(frame));
    EXPECT_EQ(engine.shots.back().clock, 2000);
    EXPECT_EQ(engine.shots.back().clockAfter, 0);
    ASSERT_TRUE(engine.Frame(frame));
    EXPECT_EQ(engine.shots.back().clock, 0);
    EXPECT_EQ(engine.shots.back().phase, TimelinePhase::Delay);
    EXPECT_EQ(frame.EndTime, 5000);
    EXPECT_EQ(frame.Playing.load(), 1);
}

TEST_F(TimelineTest, PlayDuringTheOutEffectEndStartedRepeatsAgain) {
    Standard(frame);
    frame.Repeat = 1;
    frame.Play();
    engine.RunToClock(frame, 2000);
    EXPECT_EQ(frame.End(), 0);
    ASSERT_EQ(frame.EndTime, 2500);
    ASSERT_EQ(frame.Ending, 1);
    engine.RunToClock(frame, 2200);
    ASSERT_EQ(engine.shots.back().phase, TimelinePhase::Out);

    EXPECT_EQ(frame.Play(), 0);
    EXPECT_EQ(frame.Ending, 0) << "the end End asked for is called off";
    EXPECT_EQ(frame.EndTime, 1);
    ASSERT_TRUE(engine.Frame(frame));
    EXPECT_EQ(engine.shots.back().clock, 2200);
    EXPECT_EQ(engine.shots.back().clockAfter, 0);

    // A whole repetition, and the next one after it: it repeats as before the End.
    const size_t from = engine.shots.size();
    engine.Run(frame, 600);
    ASSERT_EQ(frame.Playing.load(), 1);
    ExpectPhases(engine, {{0, TimelinePhase::Delay},
                          {1000, TimelinePhase::In},
                          {1500, TimelinePhase::Shown},
                          {4750, TimelinePhase::Out}},
                 from);
    const Shot* end = engine.At(5000, from);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end->result, 1);
    EXPECT_EQ(end->clockAfter, 0);
}

TEST_F(TimelineTest, PlayOnPlayingNonRepeatingObjectDoesNothing) {
    Standard(frame);
    frame.Play();
    engine.RunToClock(frame, 2000);
    EXPECT_EQ(frame.Play(), 0);
    EXPECT_EQ(frame.EndTime, 5000);
    EXPECT_EQ(frame.Clock, 2000);
    EXPECT_EQ(frame.Ending, 0);
    engine.Run(frame, 10000);
    EXPECT_EQ(engine.shots.back().clock, 5000);
    EXPECT_EQ(engine.shots.back().result, 0);
}

TEST_F(TimelineTest, PlayOnPausedObjectResumesIt) {
    Standard(frame);
    frame.Repeat = 1;
    frame.Play();
    engine.RunToClock(frame, 2000);
    frame.TogglePause();
    engine.Run(frame, 5);
    EXPECT_EQ(frame.Clock, 2000);

    EXPECT_EQ(frame.Play(), 0);
    EXPECT_EQ(frame.Paused.load(), 0);
    EXPECT_EQ(frame.EndTime, 5000) << "resuming does not start a new repetition";
    ASSERT_TRUE(engine.Frame(frame));
    EXPECT_EQ(engine.shots.back().clock, 2000);
    EXPECT_EQ(frame.Clock, 2010);
}

TEST_F(TimelineTest, ShowIndefinitelyStaysUntilEndedThenGoesOut) {
    Standard(frame);
    frame.ShowIndefinitely = 1;
    frame.FadeOut = 1;
    frame.Play();
    EXPECT_EQ(frame.EndTime, 0);
    engine.RunToClock(frame, 20000);
    ASSERT_EQ(frame.Playing.load(), 1);
    EXPECT_EQ(engine.shots.back().phase, TimelinePhase::Shown);
    for (const Shot& shot : engine.shots) EXPECT_NE(shot.phase, TimelinePhase::Out) << shot.clock;

    EXPECT_EQ(frame.End(), 0);
    EXPECT_EQ(frame.EndTime, 20500);
    const size_t from = engine.shots.size();
    engine.Run(frame, 10000);
    ExpectPhases(engine, {{20000, TimelinePhase::Shown}, {20010, TimelinePhase::Out}, {20490, TimelinePhase::Out}},
                 from);
    EXPECT_EQ(engine.At(20250, from)->record.Alpha, 127);  // fading out, half way
    EXPECT_EQ(engine.shots.back().clock, 20500);
    EXPECT_EQ(engine.shots.back().result, 0);
}

TEST_F(TimelineTest, ShowWhileTextMovesLeavesNoEndTime) {
    Standard(frame);
    frame.Movement = MovementHorizontal;
    frame.ShowWhileTextMoves = 1;
    frame.Play();
    EXPECT_EQ(frame.EndTime, 0);
    frame.Stop();
    frame.Movement = MovementFixed;  // only moving text plays while it moves
    frame.Play();
    EXPECT_EQ(frame.EndTime, 5000);
}

TEST_F(TimelineTest, NoDurationsAtAllEndsAtOnce) {
    frame.Rect = {0, 0, 10, 10};
    frame.ShowIndefinitely = 1;
    frame.Play();
    engine.Run(frame, 3);
    EXPECT_EQ(frame.End(), 0);
    EXPECT_EQ(frame.EndTime, frame.Clock) << "ends at the current clock";
    engine.Run(frame, 10);
    EXPECT_EQ(frame.Playing.load(), 0);
    EXPECT_EQ(engine.shots.size(), 4u);

    // An end at clock 0 still sets an end time.
    frame.Play();
    EXPECT_EQ(frame.End(), 0);
    EXPECT_EQ(frame.EndTime, 1);
}

TEST_F(TimelineTest, StopCutsAtOnceFromAnyState) {
    Standard(frame);
    frame.Play();
    engine.RunToClock(frame, 1250);
    frame.TogglePause();
    ASSERT_NE(frame.BackgroundTexture, nullptr);
    EXPECT_EQ(frame.Stop(), 1);
    EXPECT_EQ(frame.Playing.load(), 0);
    EXPECT_EQ(frame.Paused.load(), 0);
    EXPECT_EQ(frame.BackgroundTexture, nullptr);
    EXPECT_EQ(frame.TextTexture, nullptr);
    EXPECT_EQ(engine.device.Live.load(), 0);
    EXPECT_EQ(frame.Stop(), 0);
    EXPECT_FALSE(engine.Frame(frame)) << "a stopped object is not presented";
}

TEST_F(TimelineTest, PlayStartsFromTheBeginning) {
    Standard(frame);
    frame.Play();
    engine.period = 16667;
    engine.RunToClock(frame, 2000);
    frame.TogglePause();
    frame.Stop();
    // Left-overs of the last run.
    frame.BackgroundError = 1;
    frame.SourceReady = 1;
    frame.RecheckDue = 1;
    frame.RecheckCountdown = 7;
    frame.LastValue = QStringLiteral("12:00");
    frame.AnimationFrame = 3;
    frame.AnimationFrameStart = 500;
    frame.ImageRecheckDue = 1;

    EXPECT_EQ(frame.Play(), 1);
    EXPECT_EQ(frame.Playing.load(), 1);
    EXPECT_EQ(frame.Paused.load(), 0);
    EXPECT_EQ(frame.Busy.load(), 0);
    EXPECT_EQ(frame.Clock, 0);
    EXPECT_EQ(frame.ClockMicros, 0);
    EXPECT_EQ(frame.EndTime, 5000);
    EXPECT_EQ(frame.ChunksRendered.load(), 0);
    EXPECT_EQ(frame.BackgroundError.load(), 0);
    EXPECT_EQ(frame.SourceReady.load(), 0);
    EXPECT_EQ(frame.RecheckDue, 0);
    EXPECT_EQ(frame.RecheckCountdown.load(), 0);
    EXPECT_TRUE(frame.LastValue.isEmpty());
    EXPECT_EQ(frame.AnimationFrame, -1);
    EXPECT_EQ(frame.AnimationFrameStart, 0);
    EXPECT_EQ(frame.ImageRecheckDue.load(), 0);

    const size_t from = engine.shots.size();
    engine.Run(frame, 3);
    EXPECT_EQ(engine.shots[from].clock, 0);
    EXPECT_EQ(engine.shots[from].phase, TimelinePhase::Delay);
}

// ---------------------------------------------------------------------------
// Fades, pause, text errors, the clock

TEST_F(TimelineTest, FadeInAlphaFollowsProgress) {
    frame.Rect = {0, 0, 100, 40};
    frame.BackColor = 0xFF000000;
    frame.InEffectDuration = 1000;
    frame.FadeIn = 1;
    frame.Play();
    engine.RunToClock(frame, 1100);

    struct Row {
        int clock;
        int alpha;
    };
    for (const Row& row : {Row{250, 63}, Row{500, 127}, Row{990, 252}, Row{1000, 255}}) {
        const Shot* shot = engine.At(row.clock);
        ASSERT_NE(shot, nullptr) << row.clock;
        EXPECT_EQ(shot->record.Alpha, row.alpha) << row.clock;
        EXPECT_NE(shot->record.Background, nullptr) << row.clock;
    }
    // Alpha 0 draws no texture.
    const Shot* first = engine.At(0);
    EXPECT_EQ(first->phase, TimelinePhase::In);
    EXPECT_EQ(first->record.Alpha, 0);
    EXPECT_EQ(first->record.Background, nullptr);
}

TEST_F(TimelineTest, PausedObjectKeepsItsPictureAndClock) {
    Standard(frame);
    engine.period = 16667;
    frame.Play();
    engine.RunToClock(frame, 1250);
    frame.TogglePause();
    const int clock = frame.Clock;
    const int micros = frame.ClockMicros;
    const size_t from = engine.shots.size();
    engine.Run(frame, 20);
    ASSERT_EQ(engine.shots.size(), from + 20);
    EXPECT_EQ(frame.Clock, clock);
    EXPECT_EQ(frame.ClockMicros, micros);
    for (size_t i = from; i < engine.shots.size(); ++i) {
        EXPECT_EQ(engine.shots[i].clock, clock);
        EXPECT_EQ(engine.shots[i].phase, TimelinePhase::In);
        EXPECT_TRUE(SameRecord(engine.shots[i].record, engine.shots[from].record));
    }
    EXPECT_NE(engine.shots[from].record.Background, nullptr) << "the picture stays on screen";

    frame.TogglePause();
    engine.Frame(frame);
    EXPECT_GT(frame.Clock, clock);
}

TEST_F(TimelineTest, FailedTextSourceThatNeverShowedFinishesAtTheNextFrameWhenEnded) {
    Standard(frame);
    engine.textThread = false;
    frame.Play();
    frame.TextError = 1;  // the text thread could not open the source
    engine.Run(frame, 5);
    ASSERT_EQ(engine.shots.size(), 5u);
    for (const Shot& shot : engine.shots) {
        EXPECT_EQ(shot.phase, TimelinePhase::Waiting);
        EXPECT_TRUE(IsBlank(shot.record));
    }
    EXPECT_EQ(frame.Clock, 0);

    EXPECT_EQ(frame.End(), 0);
    EXPECT_EQ(frame.EndTime, 2000);
    EXPECT_GT(frame.Clock, frame.EndTime);
    EXPECT_FALSE(engine.Frame(frame));
    EXPECT_EQ(frame.Playing.load(), 0);
}

TEST_F(TimelineTest, WaitingObjectWithoutErrorKeepsWaitingWhenEnded) {
    Standard(frame);
    engine.textThread = false;
    frame.Play();
    engine.Run(frame, 5);
    EXPECT_EQ(frame.End(), 0);
    EXPECT_EQ(frame.Clock, 0);
    EXPECT_TRUE(engine.Frame(frame));
    EXPECT_EQ(engine.shots.back().phase, TimelinePhase::Waiting);

    // Once the text comes, it plays its in effect and goes out.
    engine.textThread = true;
    engine.Run(frame, 10000);
    EXPECT_EQ(engine.At(1000)->phase, TimelinePhase::In);
    EXPECT_EQ(engine.shots.back().clock, 2000);
    EXPECT_EQ(engine.shots.back().result, 0);
}

TEST_F(TimelineTest, ClockHoldsWhileNoTextIsReady) {
    Standard(frame);
    engine.textThread = false;
    engine.period = 16667;
    frame.Play();
    engine.Run(frame, 10);
    EXPECT_EQ(frame.Clock, 0);
    EXPECT_EQ(frame.ClockMicros, 0);
    EXPECT_EQ(frame.Playing.load(), 1);
}

TEST_F(TimelineTest, ElapsedMicrosecondsAddUpExactly) {
    struct Row {
        int period;
        int frames;
        int clock;
        int micros;
    };
    const Row rows[] = {
        {16667, 3, 50, 1},     {16667, 60, 1000, 20}, {20000, 50, 1000, 0},
        {16683, 1, 16, 683},   {999, 2, 1, 998},      {33367, 3, 100, 101},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.period << " x " << row.frames);
        Engine local;
        local.period = row.period;
        CFrame f;
        f.Rect = {0, 0, 10, 10};
        f.Play();
        local.Run(f, row.frames);
        ASSERT_EQ(local.shots.size(), size_t(row.frames));
        EXPECT_EQ(f.Clock, row.clock);
        EXPECT_EQ(f.ClockMicros, row.micros);
    }
}

// ---------------------------------------------------------------------------
// Objects without text: the background alone

TEST_F(TimelineTest, SolidObjectWithoutTextPlaysItsWholeTimeline) {
    frame.Rect = {20, 30, 220, 130};
    frame.BackColor = 0xC0102030;
    frame.StartDelay = 300;
    frame.InEffect = 5;
    frame.InEffectDuration = 400;
    frame.FadeIn = 1;
    frame.OutEffect = 8;
    frame.OutEffectDuration = 400;
    frame.FadeOut = 1;
    frame.ShowIndefinitely = 0;
    frame.ShowFor = 2000;
    frame.Play();
    engine.Run(frame, 10000);

    std::vector<TimelinePhase> sequence;
    for (const Shot& shot : engine.shots)
        if (sequence.empty() || sequence.back() != shot.phase) sequence.push_back(shot.phase);
    EXPECT_EQ(sequence, (std::vector<TimelinePhase>{TimelinePhase::Delay, TimelinePhase::In, TimelinePhase::Shown,
                                                    TimelinePhase::Out, TimelinePhase::Finished}));
    for (const Shot& shot : engine.shots) {
        EXPECT_EQ(shot.record.Text, nullptr);
        for (float v : shot.record.TextWindow) EXPECT_EQ(v, 0.0f);
    }
    EXPECT_EQ(frame.TextPresent, 0);
    EXPECT_EQ(engine.shots.back().clock, 2000);
    ExpectDest(engine.At(1000)->record, 20, 30, 220, 130);
    EXPECT_EQ(engine.At(1000)->record.Alpha, 255);
}

TEST_F(TimelineTest, TransparentColourDrawsNoBackground) {
    frame.Rect = {10, 10, 60, 40};
    frame.BackColor = 0x00FFFFFF;
    frame.Play();
    ASSERT_TRUE(engine.Frame(frame));
    const Shot& shot = engine.shots.back();
    EXPECT_EQ(shot.phase, TimelinePhase::Shown);
    EXPECT_EQ(shot.record.Background, nullptr);
    EXPECT_EQ(shot.record.Alpha, 255);
    ExpectDest(shot.record, 10, 10, 60, 40);
}

TEST_F(TimelineTest, SolidColourTextureHoldsTheColourOnce) {
    struct Row {
        uint32_t backColor;
        int padding;
        uint8_t bgra[4];
    };
    const Row rows[] = {
        {0x80336699, 0, {0x33, 0x66, 0x99, 0x80}},
        {0xFF0000FF, 12, {0x00, 0x00, 0xFF, 0xFF}},
        {0x01FF0000, 4, {0xFF, 0x00, 0x00, 0x01}},
        {0x7F00FF00, 100, {0x00, 0xFF, 0x00, 0x7F}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.backColor << std::dec << " padding " << row.padding);
        Engine local;
        local.device.RowPadding = row.padding;
        CFrame f;
        f.Rect = {0, 0, 300, 200};
        f.BackColor = row.backColor;
        f.Play();
        local.Run(f, 10);
        auto* texture = dynamic_cast<CMemoryTexture*>(f.BackgroundTexture.get());
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(local.shots.back().record.Background, texture);
        EXPECT_EQ(texture->width, 8);
        EXPECT_EQ(texture->height, 8);
        ASSERT_EQ(texture->Pitch(), 32 + row.padding);
        const std::vector<uint8_t>& pixels = texture->Pixels();
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x)
                for (int b = 0; b < 4; ++b)
                    ASSERT_EQ(pixels[size_t(y * texture->Pitch() + x * 4 + b)], row.bgra[b])
                        << x << "," << y << " byte " << b;
            for (int p = 32; p < texture->Pitch(); ++p)
                EXPECT_EQ(pixels[size_t(y * texture->Pitch() + p)], 0) << "padding written, row " << y;
        }
        EXPECT_EQ(local.device.Uploads.load(), 1) << "written once per texture";
        EXPECT_EQ(local.device.Created.load(), 1);
    }
}

// ---------------------------------------------------------------------------
// Picture objects

class PictureTest : public TimelineTest {
public:  // the import stand-in of one test calls MakePicture from a plain function
    std::vector<CPicture> sources;

    // Frames of w x h, each a different colour with a differently coloured last row
    // and right column, so a frame and the way its rows land are both visible.
    void MakePicture(CFrame& f, int w, int h, const std::vector<int>& delays) {
        f.Kind = KindPicture;
        f.Rect = {40, 20, 40 + 3 * w, 20 + 2 * h};
        f.PictureWidth = w;
        f.PictureHeight = h;
        f.ShowIndefinitely = 1;
        f.FramePeriod = 20000;
        f.Frames.clear();
        sources.clear();
        for (size_t i = 0; i < delays.size(); ++i) {
            const uint32_t k = uint32_t(i) + 1;
            CPicture picture;
            EXPECT_TRUE(picture.Resize(w, h));
            // An odd factor keeps the colours of up to 2^24 frames apart.
            picture.Fill(0xFF000000u | ((k * 0x0B0B21u) & 0xFFFFFFu));
            picture.Fill(0x80000000u | (((k * 0x13u) & 0xFFu) << 16), 0, h - 1, w, 1);
            picture.Fill(0xFF00FFFFu - k, w - 1, 0, 1, h);
            CFrameBackground background;
            background.Picture.Compress(picture);
            background.Delay = delays[i];
            f.Frames.push_back(std::move(background));
            sources.push_back(std::move(picture));
        }
    }

    // The source frame the object's background texture shows, or -1.
    int ShownFrame(const CFrame& f) const {
        auto* texture = dynamic_cast<const CMemoryTexture*>(f.BackgroundTexture.get());
        if (!texture) return -1;
        for (size_t i = 0; i < sources.size(); ++i) {
            const CPicture& source = sources[i];
            if (texture->width != source.width || texture->height != source.height) continue;
            bool same = true;
            for (int y = 0; y < source.height && same; ++y)
                same = std::memcmp(texture->Pixels().data() + size_t(y) * size_t(texture->Pitch()),
                                   source.Pixel(0, y), size_t(source.width) * 4) == 0;
            if (same) return int(i);
        }
        return -1;
    }

    // Frames presented one by one, with the frame the texture shows after each.
    std::vector<int> Shown(CFrame& f, int frames) {
        std::vector<int> shown;
        for (int i = 0; i < frames; ++i) {
            if (!engine.Frame(f)) break;
            shown.push_back(ShownFrame(f));
            EXPECT_EQ(shown.back(), f.AnimationFrame) << "after frame " << i;
        }
        return shown;
    }
};

// The frame due at media time tUs (µs since the animation started): the latest
// whose start, the sum of the delays before it, is not after tUs, the animation
// looping over the sum of all delays.
int DueFrame(const std::vector<int>& delays, int64_t tUs) {
    int64_t total = 0;
    for (int d : delays) total += d;
    tUs %= total * 1000;
    int64_t start = 0;
    int due = 0;
    for (size_t k = 0; k < delays.size(); ++k) {
        if (start * 1000 <= tUs) due = int(k);
        start += delays[k];
    }
    return due;
}

struct MediaTimeCase {
    const char* name;
    int period;  // µs per output frame
    std::vector<int> delays;
    int outputFrames;
};

std::vector<int> Repeated(int delay, int count) { return std::vector<int>(size_t(count), delay); }

// Delays of a clip at rate frames per scale seconds, each start rounded up to a
// whole ms so that the starts never run ahead of the clip's exact times.
std::vector<int> ClipDelays(int frames, int64_t rate, int64_t scale) {
    std::vector<int> delays;
    for (int64_t k = 0; k < frames; ++k) {
        const int64_t start = (k * scale * 1000 + rate - 1) / rate, next = ((k + 1) * scale * 1000 + rate - 1) / rate;
        delays.push_back(int(next - start));
    }
    return delays;
}

// Frames follow the animation's own time, not the output's: at every output frame
// the texture shows the frame due then, whatever the period, so no error adds up
// (frames the output has no time for are skipped).
TEST_F(PictureTest, EveryOutputFrameShowsTheFrameDueAtItsTime) {
    const std::vector<MediaTimeCase> cases = {
        {"25 fps at 50 Hz", 20000, Repeated(40, 4), 40},
        {"30 ms at 50 Hz, the error carried over", 20000, Repeated(30, 4), 40},
        {"GIF of 19 frames of 30 ms at 50 Hz", 20000, Repeated(30, 19), 120},
        {"mixed delays", 20000, {30, 70, 20}, 40},
        {"70 ms frames at 50 Hz", 20000, Repeated(70, 5), 60},
        {"29.97 fps at 50 Hz", 20000, ClipDelays(300, 30000, 1001), 400},
        {"59.94 fps at 50 Hz", 20000, ClipDelays(120, 60000, 1001), 200},
        {"25 fps at 59.94 Hz", 16683, Repeated(40, 8), 200},
        {"10 ms frames at 50 Hz, skipped", 20000, Repeated(10, 4), 20},
        {"100 ms at 25 Hz", 40000, Repeated(100, 4), 30},
    };
    for (const MediaTimeCase& c : cases) {
        SCOPED_TRACE(c.name);
        engine.period = c.period;
        CFrame f;
        MakePicture(f, 16, 16, c.delays);
        f.Play();
        int mismatches = 0;
        for (int i = 0; i < c.outputFrames; ++i) {
            const int64_t tUs = int64_t(f.Clock.load()) * 1000 + f.ClockMicros.load();
            ASSERT_TRUE(engine.Frame(f));
            const int due = DueFrame(c.delays, tUs);
            EXPECT_EQ(ShownFrame(f), due) << "output frame " << i << " at " << tUs << " µs";
            EXPECT_EQ(f.AnimationFrame, due);
            if (ShownFrame(f) != due && ++mismatches > 3) break;
        }
        f.Stop();
    }
}

TEST_F(PictureTest, GifOfNineteenThirtyMillisecondFramesLoopsEvery570Ms) {
    engine.period = 20000;
    MakePicture(frame, 16, 16, Repeated(30, 19));
    frame.Play();
    const std::vector<int> shown = Shown(frame, 60);
    ASSERT_EQ(shown.size(), 60u);
    // Output frames at 0, 20, ... ms: frame 18 starts at 540, the loop at 570.
    EXPECT_EQ(shown[27], 18);  // 540 ms
    EXPECT_EQ(shown[28], 18);  // 560 ms
    EXPECT_EQ(shown[29], 0);   // 580 ms: 10 ms into the second loop
    EXPECT_EQ(shown[57], 0);   // 1140 ms: the third loop begins exactly
    EXPECT_EQ(shown[56], 18);  // 1120 ms
}

TEST_F(PictureTest, ClipAt2997OnA50HzOutputShowsFrame179AfterSixSeconds) {
    engine.period = 20000;
    MakePicture(frame, 16, 16, ClipDelays(300, 30000, 1001));
    frame.LoopAnimation = 0;
    frame.Play();
    const std::vector<int> shown = Shown(frame, 520);
    ASSERT_EQ(shown.size(), 520u);
    EXPECT_EQ(shown[300], 179);  // 6000 ms
    EXPECT_EQ(shown[499], 299);  // 9980 ms: the last frame, due at 9976.7 ms
    EXPECT_EQ(shown[498], 298);  // 9960 ms
    EXPECT_EQ(shown[519], 299);  // past the end it stays
    int total = 0;
    for (const CFrameBackground& b : frame.Frames) total += b.Delay;
    EXPECT_EQ(total, 10010) << "the delays keep the clip's length";
}

TEST_F(PictureTest, AnimationWithoutTimeStepsOneFramePerOutputFrame) {
    engine.period = 20000;
    MakePicture(frame, 16, 16, {0, 0, 0});
    frame.Play();
    EXPECT_EQ(Shown(frame, 7), (std::vector<int>{0, 1, 2, 0, 1, 2, 0}));
}

TEST_F(PictureTest, MixedDelaysFollowTheirSums) {
    engine.period = 20000;
    MakePicture(frame, 16, 16, {30, 70, 20});
    frame.Play();
    const std::vector<int> shown = Shown(frame, 12);
    // Starts 0, 30, 100; loop 120: output at 0, 20, ... 220 ms.
    EXPECT_EQ(shown, (std::vector<int>{0, 0, 1, 1, 1, 2, 0, 0, 1, 1, 1, 2}));
}

TEST_F(PictureTest, WithoutLoopTheLastFrameStays) {
    engine.period = 20000;
    MakePicture(frame, 16, 16, {20, 20, 20});
    frame.LoopAnimation = 0;
    frame.Play();
    EXPECT_EQ(Shown(frame, 10), (std::vector<int>{0, 1, 2, 2, 2, 2, 2, 2, 2, 2}));
    EXPECT_EQ(engine.device.Uploads.load(), 3) << "an unchanged frame is not written again";
}

TEST_F(PictureTest, WithLoopFrameZeroFollowsTheLast) {
    engine.period = 20000;
    MakePicture(frame, 16, 16, {20, 20, 20});
    frame.LoopAnimation = 1;
    frame.Play();
    EXPECT_EQ(Shown(frame, 8), (std::vector<int>{0, 1, 2, 0, 1, 2, 0, 1}));
}

TEST_F(PictureTest, FrameZeroDuringTheStartDelay) {
    engine.period = 20000;
    MakePicture(frame, 16, 16, {20, 20, 20});
    frame.StartDelay = 200;
    frame.Play();
    const std::vector<int> shown = Shown(frame, 10);
    EXPECT_EQ(shown, std::vector<int>(10, 0));
    for (const Shot& shot : engine.shots) {
        EXPECT_EQ(shot.phase, TimelinePhase::Delay);
        EXPECT_TRUE(IsBlank(shot.record));
    }
    EXPECT_EQ(engine.device.Uploads.load(), 1);
}

// Frame 0 chosen during the delay still gets its whole time once the object shows.
TEST_F(PictureTest, FirstFrameKeepsItsTimeAfterTheStartDelay) {
    engine.period = 20000;
    MakePicture(frame, 16, 16, {40, 40, 40});
    frame.StartDelay = 100;
    frame.Play();
    // Five frames of delay, then frame 0 for 40 ms, frame 1 for 40 ms, frame 2...
    EXPECT_EQ(Shown(frame, 11), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 1, 1, 2, 2}));
}

TEST_F(PictureTest, PausedAnimationStandsStillAndGoesOnFromTheSameFrame) {
    engine.period = 20000;
    MakePicture(frame, 16, 16, {40, 40, 40, 40});
    frame.Play();
    EXPECT_EQ(Shown(frame, 5), (std::vector<int>{0, 0, 1, 1, 2}));
    const int uploads = engine.device.Uploads.load();
    frame.TogglePause();
    EXPECT_EQ(Shown(frame, 10), std::vector<int>(10, 2));
    EXPECT_EQ(engine.device.Uploads.load(), uploads);
    frame.TogglePause();
    EXPECT_EQ(Shown(frame, 4), (std::vector<int>{2, 3, 3, 0}));
}

TEST_F(PictureTest, EachRepetitionStartsAtFrameZero) {
    engine.period = 20000;
    MakePicture(frame, 16, 16, {20, 20, 20});
    frame.LoopAnimation = 0;
    frame.ShowIndefinitely = 0;
    frame.ShowFor = 100;
    frame.Repeat = 1;
    frame.Play();
    const std::vector<int> shown = Shown(frame, 8);
    // Clocks 0..80, then the repetition at 100 begins with frame 0 again.
    EXPECT_EQ(shown, (std::vector<int>{0, 1, 2, 2, 2, 0, 0, 1}));
    EXPECT_EQ(engine.shots[5].clockAfter, 0);
}

TEST_F(PictureTest, SingleFrameIsWrittenOnce) {
    MakePicture(frame, 32, 16, {20});
    frame.Play();
    EXPECT_EQ(Shown(frame, 20), std::vector<int>(20, 0));
    EXPECT_EQ(engine.device.Uploads.load(), 1);
}

TEST_F(PictureTest, RowsLandHonouringThePitch) {
    engine.period = 20000;
    engine.device.RowPadding = 28;
    MakePicture(frame, 24, 20, {20, 20});
    frame.Play();
    EXPECT_EQ(Shown(frame, 3), (std::vector<int>{0, 1, 0}));
}

TEST_F(PictureTest, PictureFillsItsObjectWhateverTheColour) {
    MakePicture(frame, 16, 16, {20});
    frame.BackColor = 0x00000000;  // a picture object's colour opacity does not matter
    frame.Play();
    ASSERT_TRUE(engine.Frame(frame));
    const Shot& shot = engine.shots.back();
    EXPECT_EQ(shot.record.Background, frame.BackgroundTexture.get());
    EXPECT_NE(shot.record.Background, nullptr);
    ExpectDest(shot.record, 40, 20, 88, 52);
    ExpectWindow(shot.record, 0, 0, 1, 1);
    EXPECT_EQ(frame.BackgroundTexture->width, 16);
    EXPECT_EQ(frame.BackgroundTexture->height, 16);
}

// ---------------------------------------------------------------------------
// Texture failures stop the object

TEST_F(PictureTest, TextureFailuresStopTheObject) {
    struct Row {
        const char* what;
        bool picture;
        int w, h;
        std::function<void(CMemoryTextureDevice&)> setup;
    };
    const Row rows[] = {
        {"create fails, colour", false, 16, 16, [](auto& d) { d.FailCreate = TextureResult::Failed; }},
        {"create fails, picture", true, 16, 16, [](auto& d) { d.FailCreate = TextureResult::Failed; }},
        {"out of memory, picture", true, 16, 16, [](auto& d) { d.FailCreate = TextureResult::OutOfMemory; }},
        {"rounded size, picture", true, 100, 60, [](auto& d) { d.RoundToPowerOfTwo = true; }},
        {"lock fails, colour", false, 16, 16, [](auto& d) { d.FailLock = TextureResult::Failed; }},
        {"lock fails, picture", true, 16, 16, [](auto& d) { d.FailLock = TextureResult::Failed; }},
        {"unlock fails, colour", false, 16, 16, [](auto& d) { d.FailUnlock = TextureResult::Failed; }},
        {"unlock fails, picture", true, 16, 16, [](auto& d) { d.FailUnlock = TextureResult::Failed; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Engine local;
        row.setup(local.device);
        CFrame f;
        f.Rect = {0, 0, 100, 60};
        if (row.picture) {
            MakePicture(f, row.w, row.h, {20, 20});
        }
        f.Play();
        EXPECT_FALSE(local.Frame(f));
        ASSERT_EQ(local.shots.size(), 1u);
        EXPECT_EQ(local.shots[0].result, 0);
        EXPECT_EQ(f.Playing.load(), 0);
        EXPECT_EQ(f.BackgroundTexture, nullptr);
        EXPECT_EQ(local.device.Live.load(), 0);
    }
}

TEST_F(PictureTest, ExactSizesSurviveARoundingDevice) {
    engine.device.RoundToPowerOfTwo = true;
    MakePicture(frame, 64, 32, {20});
    frame.Play();
    EXPECT_TRUE(engine.Frame(frame));
    EXPECT_EQ(ShownFrame(frame), 0);

    CFrame colour;
    colour.Rect = {0, 0, 100, 60};
    colour.Play();
    EXPECT_TRUE(engine.Frame(colour)) << "8 x 8 needs no rounding";
}

TEST_F(PictureTest, LockFailureWhenTheAnimationMovesOn) {
    engine.period = 20000;
    MakePicture(frame, 16, 16, {40, 40});
    frame.Play();
    EXPECT_TRUE(engine.Frame(frame));
    engine.device.FailLock = TextureResult::Failed;
    EXPECT_TRUE(engine.Frame(frame)) << "frame 0 still due: nothing to write";
    EXPECT_FALSE(engine.Frame(frame)) << "frame 1 due and cannot be written";
    EXPECT_EQ(frame.Playing.load(), 0);
}

TEST_F(TimelineTest, ColourIsNotWrittenAgainSoLaterLockFailuresDoNotMatter) {
    frame.Rect = {0, 0, 100, 60};
    frame.Play();
    EXPECT_TRUE(engine.Frame(frame));
    engine.device.FailLock = TextureResult::Failed;
    engine.device.FailUnlock = TextureResult::Failed;
    engine.Run(frame, 10);
    EXPECT_EQ(frame.Playing.load(), 1);
    EXPECT_EQ(engine.shots.size(), 11u);
}

TEST_F(PictureTest, PictureWithoutFramesCannotPlay) {
    frame.Kind = KindPicture;
    frame.Rect = {0, 0, 100, 60};
    frame.PictureWidth = 16;
    frame.PictureHeight = 16;
    frame.Play();
    EXPECT_FALSE(engine.Frame(frame));
    EXPECT_EQ(frame.Playing.load(), 0);
}

// A picture object linked to a file, as "Maintain link" makes it, repeating every
// 50 ms. The file is a one-colour PNG; each write gives it a modification time of
// its own, so that every write is seen as a change.
class LinkedPictureTest : public PictureTest {
public:  // the rows of a table change the file through plain lambdas
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        path = folder.filePath(QStringLiteral("linked.png"));
        frame.Kind = KindPicture;
        frame.Rect = {0, 0, 100, 60};
        frame.FramePeriod = 20000;
        frame.MaintainLink = 1;
        frame.ImageFileName = path;
        frame.Repeat = 1;
        frame.ShowIndefinitely = 0;
        frame.ShowFor = 50;
    }
    void Write(int w, int h, uint32_t argb) {
        QImage image(w, h, QImage::Format_ARGB32);
        image.fill(argb);
        ASSERT_TRUE(image.save(path));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::fromSecsSinceEpoch(1600000000 + 60 * ++writes, QTimeZone::utc()),
                                     QFileDevice::FileModificationTime));
    }
    // The background texture's top left pixel (blue, green, red, alpha bytes as a
    // little-endian word), or 0 without a texture.
    uint32_t TexturePixel() const {
        auto* texture = dynamic_cast<const CMemoryTexture*>(frame.BackgroundTexture.get());
        uint32_t pixel = 0;
        if (texture) std::memcpy(&pixel, texture->Pixels().data(), 4);
        return pixel;
    }
    // Output frames with their text passes up to the end of the first run, then the
    // frame that begins the repetition on the render side alone.
    void BeginRepetition() {
        engine.RunToClock(frame, frame.ShowFor);
        ASSERT_EQ(frame.Clock, frame.ShowFor);
        engine.textThread = false;
        ASSERT_TRUE(engine.Frame(frame));
        ASSERT_EQ(frame.Clock, 0) << "a repetition began";
    }

    QTemporaryDir folder;
    QString path;
    int writes = 0;
};

constexpr uint32_t Red = 0xFFC02020u, Blue = 0xFF2040C0u;

TEST_F(LinkedPictureTest, RepetitionLeavesTheFileToTheTextStep) {
    struct Row {
        const char* what;
        std::function<void(LinkedPictureTest&)> change;  // between the first run and the repetition
        bool handsOver;   // the text step hands something over
        bool alive;       // the object plays on once the render thread has taken it
        int width, height;
        uint32_t pixel;
    };
    const Row rows[] = {
        {"unchanged", [](LinkedPictureTest&) {}, false, true, 16, 16, Red},
        {"new picture", [](LinkedPictureTest& t) { t.Write(48, 32, Blue); }, true, true, 48, 32, Blue},
        {"file gone", [](LinkedPictureTest& t) { ASSERT_TRUE(QFile::remove(t.path)); }, true, false, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        engine.textThread = true;
        Write(16, 16, Red);
        ASSERT_EQ(frame.Play(), 1);
        ASSERT_TRUE(engine.Frame(frame));
        const CTexture* first = frame.BackgroundTexture.get();
        ASSERT_NE(first, nullptr);
        row.change(*this);

        // The render side alone, frame after frame: the old picture stays on air and
        // nothing is imported, whatever happened to the file.
        BeginRepetition();
        for (int k = 0; k < 3; ++k) {
            if (k > 0) {
                ASSERT_TRUE(engine.Frame(frame));
            }
            EXPECT_EQ(frame.ImageRecheckDue.load(), 1) << "the check is only noted";
            EXPECT_EQ(frame.FramesPending.load(), 0);
            EXPECT_EQ(frame.Frames.size(), 1u);
            EXPECT_EQ(frame.PictureWidth, 16);
            EXPECT_EQ(frame.BackgroundTexture.get(), first);
            EXPECT_EQ(TexturePixel(), Red);
        }

        // The text step looks at the file; the render side still shows the old frames.
        InvokeRender(frame, TextRenderer());
        EXPECT_EQ(frame.ImageRecheckDue.load(), 0);
        EXPECT_EQ(frame.FramesPending.load(), row.handsOver ? 1 : 0);
        EXPECT_EQ(frame.PictureWidth, 16);
        EXPECT_EQ(frame.BackgroundTexture.get(), first);

        // The next render step takes what was handed over.
        EXPECT_EQ(engine.Frame(frame), row.alive);
        EXPECT_EQ(frame.FramesPending.load(), 0);
        if (row.alive) {
            EXPECT_EQ(frame.BackgroundError.load(), 0);
            EXPECT_EQ(frame.PictureWidth, row.width);
            EXPECT_EQ(frame.PictureHeight, row.height);
            ASSERT_NE(frame.BackgroundTexture, nullptr);
            EXPECT_EQ(frame.BackgroundTexture->width, row.width);
            EXPECT_EQ(frame.BackgroundTexture->height, row.height);
            EXPECT_EQ(frame.BackgroundTexture.get() != first, row.handsOver) << "a new texture only for new frames";
            EXPECT_EQ(TexturePixel(), row.pixel);
            EXPECT_EQ(frame.AnimationFrame, 0);
            EXPECT_EQ(engine.device.Live.load(), 1) << "the old texture is released";
        } else {
            EXPECT_EQ(frame.BackgroundError.load(), 1);
            EXPECT_EQ(frame.Playing.load(), 0);
            EXPECT_TRUE(frame.Frames.empty());
            EXPECT_EQ(engine.device.Live.load(), 0);
        }
        frame.Stop();
        EXPECT_EQ(engine.device.Live.load(), 0);
    }
}

TEST_F(LinkedPictureTest, FramesReplacedByAHandOverAreFreedByTheTextStep) {
    Write(16, 16, Red);
    ASSERT_EQ(frame.Play(), 1);
    ASSERT_TRUE(engine.Frame(frame));
    Write(48, 32, Blue);
    BeginRepetition();
    InvokeRender(frame, TextRenderer());
    ASSERT_EQ(frame.FramesPending.load(), 1);
    EXPECT_EQ(frame.ReimportedFrames.size(), 1u);
    ASSERT_TRUE(engine.Frame(frame));
    // The render thread swapped: the old frame waits for the text thread.
    ASSERT_EQ(frame.ReimportedFrames.size(), 1u);
    EXPECT_EQ(frame.ReimportedFrames[0].Picture.width, 16);
    InvokeRender(frame, TextRenderer());
    EXPECT_EQ(frame.FramesPending.load(), 0) << "nothing new to hand over";
    EXPECT_TRUE(frame.ReimportedFrames.empty());
    EXPECT_EQ(frame.Frames[0].Picture.width, 48);
}

TEST_F(LinkedPictureTest, HandOverWaitsWhileAnotherThreadReadsTheFrames) {
    Write(16, 16, Red);
    ASSERT_EQ(frame.Play(), 1);
    ASSERT_TRUE(engine.Frame(frame));
    const CTexture* first = frame.BackgroundTexture.get();
    Write(48, 32, Blue);
    BeginRepetition();
    InvokeRender(frame, TextRenderer());
    ASSERT_EQ(frame.FramesPending.load(), 1);

    // The editor reads the frames of the playing object meanwhile.
    std::atomic<int> held{0}, release{0};
    std::thread editor([&] {
        std::lock_guard guard(frame.FramesLock);
        held.store(1);
        while (!release.load()) std::this_thread::yield();
    });
    while (!held.load()) std::this_thread::yield();
    const bool alive = engine.Frame(frame);
    const int pending = frame.FramesPending.load();
    const CTexture* during = frame.BackgroundTexture.get();
    const int width = frame.PictureWidth;
    release.store(1);
    editor.join();
    EXPECT_TRUE(alive);
    EXPECT_EQ(pending, 1) << "left for a later frame";
    EXPECT_EQ(during, first) << "the old picture stays on air";
    EXPECT_EQ(width, 16);

    ASSERT_TRUE(engine.Frame(frame));
    EXPECT_EQ(frame.FramesPending.load(), 0);
    EXPECT_EQ(frame.PictureWidth, 48);
    EXPECT_EQ(TexturePixel(), Blue);
}

TEST_F(LinkedPictureTest, PlayTakesFramesHandedOverAfterTheLastRunStopped) {
    Write(16, 16, Red);
    ASSERT_EQ(frame.Play(), 1);
    ASSERT_TRUE(engine.Frame(frame));
    Write(48, 32, Blue);
    BeginRepetition();
    InvokeRender(frame, TextRenderer());
    ASSERT_EQ(frame.FramesPending.load(), 1);
    frame.ReimportedFrames[0].Delay = 777;  // shows whether Play imported again
    frame.Stop();
    EXPECT_EQ(frame.FramesPending.load(), 1);

    ASSERT_EQ(frame.Play(), 1);
    EXPECT_EQ(frame.FramesPending.load(), 0);
    ASSERT_EQ(frame.Frames.size(), 1u);
    EXPECT_EQ(frame.Frames[0].Delay, 777) << "the stamp was already the file's";
    EXPECT_EQ(frame.PictureWidth, 48);
    engine.textThread = true;
    ASSERT_TRUE(engine.Frame(frame));
    EXPECT_EQ(TexturePixel(), Blue);
}

TEST_F(LinkedPictureTest, FailedImportAtPlaySetsBackgroundErrorAndStopsAtTheFirstFrame) {
    frame.ImageFileName = folder.filePath(QStringLiteral("missing.png"));
    ASSERT_EQ(frame.Play(), 1);
    EXPECT_TRUE(frame.Frames.empty());
    EXPECT_EQ(frame.BackgroundError.load(), 1);
    EXPECT_FALSE(engine.Frame(frame));
    EXPECT_EQ(frame.BackgroundError.load(), 1);
    EXPECT_EQ(frame.Playing.load(), 0);
    EXPECT_EQ(engine.device.Live.load(), 0);
}

// ---------------------------------------------------------------------------
// Degenerate rectangles and bar graphs

TEST_F(PictureTest, ZeroSizedObjectsPlayWithoutHarm) {
    const CRect rects[] = {{10, 10, 10, 60}, {10, 10, 110, 10}, {10, 10, 10, 10}};
    QTemporaryDir dir;
    for (bool picture : {false, true}) {
        for (int bar : {0, 1}) {
            for (const CRect& rect : rects) {
                SCOPED_TRACE(testing::Message() << "picture " << picture << " bar " << bar << " rect " << rect.left
                                                << "," << rect.top << "," << rect.right << "," << rect.bottom);
                Engine local;
                CFrame f;
                if (picture) MakePicture(f, 16, 16, {20, 20});
                f.Rect = rect;
                if (bar) BarFromFile(f, dir, 50);
                f.InEffect = 19;
                f.InEffectDuration = 100;
                f.FadeIn = 1;
                f.OutEffect = 30;
                f.OutEffectDuration = 100;
                f.ShowIndefinitely = 0;
                f.ShowFor = 300;
                f.Play();
                local.Run(f, 1000);
                EXPECT_EQ(local.shots.back().clock, 300);
                EXPECT_EQ(local.shots.back().result, 0);
                for (const Shot& shot : local.shots) {
                    if (!shot.result) continue;
                    EXPECT_GE(shot.record.Dest[0], float(rect.left));
                    EXPECT_GE(shot.record.Dest[1], float(rect.top));
                    EXPECT_LE(shot.record.Dest[2], float(rect.right));
                    EXPECT_LE(shot.record.Dest[3], float(rect.bottom));
                }
            }
        }
    }
}

TEST_F(PictureTest, PictureOfZeroSizeFailsCleanly) {
    MakePicture(frame, 16, 16, {20});
    frame.PictureWidth = 0;
    frame.Play();
    EXPECT_FALSE(engine.Frame(frame));
    EXPECT_EQ(engine.device.Live.load(), 0);
}

TEST_F(TimelineTest, BarGraphShowsItsShare) {
    struct Row {
        CRect rect;
        int inEffect;
        int percent;  // the file's number
        float dest[4];
        float window[4];
    };
    const Row rows[] = {
        {{0, 0, 500, 50}, 0, 40, {0, 0, 200, 50}, {0, 0, 0.4f, 1}},
        {{100, 20, 600, 70}, 0, 40, {100, 20, 300, 70}, {0, 0, 0.4f, 1}},
        {{0, 0, 50, 500}, 0, 40, {0, 300, 50, 500}, {0, 0.6f, 1, 1}},  // narrower than tall: from the bottom
        {{0, 0, 100, 100}, 0, 40, {0, 0, 40, 100}, {0, 0, 0.4f, 1}},   // square: from the left
        {{100, 20, 600, 70}, 0, 100, {100, 20, 600, 70}, {0, 0, 1, 1}},
        {{100, 20, 600, 70}, 0, 0, {100, 20, 100, 70}, {0, 0, 0, 1}},
        {{100, 20, 600, 70}, 21, 40, {400, 20, 600, 70}, {0.6f, 0, 1, 1}},
    };
    QTemporaryDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "bar " << row.percent << " % in effect " << row.inEffect << " width "
                                        << row.rect.Width());
        Engine local;
        CFrame f;
        f.Rect = row.rect;
        BarFromFile(f, dir, row.percent);
        f.InEffect = row.inEffect;
        f.BackColor = 0xFF00C000;
        f.Play();
        ASSERT_TRUE(local.Frame(f));
        EXPECT_EQ(f.BarValue.load(), row.percent + 1);
        const Shot& shot = local.shots.back();
        EXPECT_EQ(shot.phase, TimelinePhase::Shown);
        ExpectDest(shot.record, row.dest[0], row.dest[1], row.dest[2], row.dest[3]);
        ExpectWindow(shot.record, row.window[0], row.window[1], row.window[2], row.window[3]);
        EXPECT_EQ(shot.record.Alpha, 255);
        EXPECT_NE(shot.record.Background, nullptr);
    }
}

TEST_F(TimelineTest, BarGraphGrowsAndShrinksWithItsInEffect) {
    QTemporaryDir dir;
    frame.Rect = {100, 20, 600, 70};
    BarFromFile(frame, dir, 40);
    frame.InEffect = 20;
    frame.InEffectDuration = 1000;
    frame.OutEffect = 21;  // not used by a bar graph
    frame.OutEffectDuration = 1000;
    frame.ShowIndefinitely = 0;
    frame.ShowFor = 3000;
    frame.Play();
    engine.Run(frame, 10000);
    ExpectDest(engine.At(500)->record, 100, 20, 200, 70);   // half of 40 %
    ExpectDest(engine.At(1500)->record, 100, 20, 300, 70);  // 40 %
    ExpectDest(engine.At(2500)->record, 100, 20, 200, 70);  // going out the way it came
    EXPECT_EQ(engine.At(2500)->phase, TimelinePhase::Out);
}

TEST_F(TimelineTest, BarGraphFadesToFullOpacityWhateverItsShare) {
    QTemporaryDir dir;
    frame.Rect = {100, 20, 600, 70};
    BarFromFile(frame, dir, 40);
    frame.InEffect = 20;
    frame.InEffectDuration = 1000;
    frame.FadeIn = 1;
    frame.OutEffectDuration = 1000;
    frame.FadeOut = 1;
    frame.ShowIndefinitely = 0;
    frame.ShowFor = 3000;
    frame.Play();
    engine.Run(frame, 10000);
    struct Row {
        int clock;
        int alpha;
        float right;  // the bar's right edge
    };
    // The alpha follows the effect's progress; the bar's share only its length.
    for (const Row& row : {Row{250, 63, 150}, Row{500, 127, 200}, Row{990, 252, 298}, Row{1000, 255, 300},
                           Row{1500, 255, 300}, Row{2500, 127, 200}, Row{2990, 2, 102}}) {
        SCOPED_TRACE(testing::Message() << "clock " << row.clock);
        const Shot* shot = engine.At(row.clock);
        ASSERT_NE(shot, nullptr);
        EXPECT_EQ(shot->record.Alpha, row.alpha);
        ExpectDest(shot->record, 100, 20, row.right, 70);
    }
    // It never jumps: each frame's alpha at most one step of the fade from the last.
    for (size_t k = 1; k < engine.shots.size(); ++k) {
        if (!engine.shots[k].result || !engine.shots[k - 1].result) continue;
        EXPECT_LE(std::abs(engine.shots[k].record.Alpha - engine.shots[k - 1].record.Alpha), 3)
            << "clock " << engine.shots[k].clock;
    }
}

TEST_F(TimelineTest, BarGraphFlagMeansNothingForOtherSources) {
    // The flag stays stored when the source changes: the object shows whole, and
    // its fade runs from nothing to full opacity, never below.
    struct Row {
        const char* name;
        int source;
    };
    for (const Row& row : {Row{"own text", SourceObjectText}, Row{"clock", SourceClock}, Row{"timer", SourceTimer}}) {
        SCOPED_TRACE(row.name);
        Engine local;
        CFrame f;
        f.Rect = {100, 20, 600, 70};
        f.BackColor = 0xFF00C000;
        f.TextSource = row.source;
        f.BarGraph = 1;
        f.InEffect = 20;
        f.InEffectDuration = 1000;
        f.FadeIn = 1;
        f.ShowIndefinitely = 0;
        f.ShowFor = 2000;
        f.Play();
        local.Run(f, 150);
        ASSERT_NE(local.At(500), nullptr);
        EXPECT_EQ(local.At(500)->phase, TimelinePhase::In);
        EXPECT_EQ(local.At(500)->record.Alpha, 127);
        ExpectDest(local.At(500)->record, 100, 20, 350, 70);  // half of the whole object
        ASSERT_NE(local.At(1200), nullptr);
        EXPECT_EQ(local.At(1200)->phase, TimelinePhase::Shown);
        ExpectDest(local.At(1200)->record, 100, 20, 600, 70);
        ExpectWindow(local.At(1200)->record, 0, 0, 1, 1);
        for (const Shot& shot : local.shots) {
            EXPECT_GE(shot.record.Alpha, 0) << shot.clock;
            EXPECT_LE(shot.record.Dest[0], shot.record.Dest[2]) << shot.clock;
        }
    }
}

TEST_F(TimelineTest, BarShareIsClampedToTheObject) {
    // A text-file bar before its file gave a value, and a value beyond 100 %: an
    // empty bar at the start edge and the whole object, never a mirrored sliver.
    struct Row {
        int barValue;
        float right;
    };
    for (const Row& row : {Row{0, 100}, Row{-5, 100}, Row{500, 600}}) {
        SCOPED_TRACE(testing::Message() << "bar value " << row.barValue);
        Engine local;
        local.textThread = false;
        CFrame f;
        f.Rect = {100, 20, 600, 70};
        f.BackColor = 0xFF00C000;
        f.TextSource = SourceTextFile;
        f.BarGraph = 1;
        f.Play();
        f.ChunksRendered = 1;  // as after a text step without text
        f.BarValue = row.barValue;
        ASSERT_TRUE(local.Frame(f));
        EXPECT_EQ(local.shots.back().phase, TimelinePhase::Shown);
        ExpectDest(local.shots.back().record, 100, 20, row.right, 70);
        EXPECT_EQ(local.shots.back().record.Alpha, 255);
    }
}

}  // namespace
