// The page under load from three threads at once, as the render engine will use it:
// a user-interface thread that plays, pauses, ends, stops, adds and removes objects
// and runs group and hotkey commands; a render thread that presents every playing
// object of its snapshot once per pass and stops those that finish; and a text
// thread that prepares text for the playing objects. Built and run under
// ThreadSanitizer (label "stress"); the AddressSanitizer build runs it too.
//
// The amount of work is fixed: the user-interface thread runs a fixed number of
// commands drawn from a fixed seed, and the other two threads loop until it is
// done. Nothing here depends on real time: the render thread advances every clock
// by a virtual 20 ms per pass, and every wait is for a number of passes.
//
// Pacing counters are read and written with relaxed order on purpose: they must not
// create happens-before edges between the threads that would hide a data race from
// ThreadSanitizer.
#include "playback/PlayCommand.h"
#include "core/FrameSet.h"
#include "playback/Import.h"
#include "playback/TextMovement.h"
#include "playback/Timeline.h"
#include "media/MemoryTexture.h"
#include "media/Picture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <random>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

// ---------------------------------------------------------------------------------
// Objects that record their own destruction. They are placed in an arena whose
// memory is never reused during a run, so any thread can tell from a pointer alone
// (without touching the object) whether the object behind it has been destroyed.

enum SlotState : uint8_t { SlotFree = 0, SlotAlive = 1, SlotDestroyed = 2, SlotDeallocated = 3 };

class CObjectArena {
public:
    CObjectArena(size_t slotCount, size_t slotSize)
        : slots_(slotCount), slotSize_(slotSize),
          memory_(static_cast<unsigned char*>(::operator new(slotCount * slotSize, std::align_val_t(64)))),
          state_(new std::atomic<uint8_t>[slotCount]) {
        for (size_t i = 0; i < slots_; ++i) state_[i].store(SlotFree, relaxed);
    }
    ~CObjectArena() { ::operator delete(memory_, std::align_val_t(64)); }
    CObjectArena(const CObjectArena&) = delete;
    CObjectArena& operator=(const CObjectArena&) = delete;

    bool Full() const { return next_ >= slots_; }
    size_t Used() const { return next_; }

    // Only the user-interface thread creates objects.
    void* Allocate(size_t size) {
        if (size > slotSize_ || next_ >= slots_) throw std::bad_alloc();
        return memory_ + slotSize_ * next_++;
    }
    // The slot of a pointer into the arena, or -1.
    long SlotOf(const void* p) const {
        const auto* byte = static_cast<const unsigned char*>(p);
        if (byte < memory_ || byte >= memory_ + slots_ * slotSize_) return -1;
        const size_t offset = size_t(byte - memory_);
        if (offset % slotSize_ != 0) return -1;
        return long(offset / slotSize_);
    }
    void Mark(const void* p, SlotState state) {
        const long slot = SlotOf(p);
        if (slot >= 0) state_[size_t(slot)].store(state, relaxed);
    }
    // What is known of the object at p; SlotFree for a pointer that is no object.
    SlotState StateOf(const void* p) const {
        const long slot = SlotOf(p);
        return slot < 0 ? SlotFree : SlotState(state_[size_t(slot)].load(relaxed));
    }
    int Count(SlotState state) const {
        int n = 0;
        for (size_t i = 0; i < next_; ++i) n += state_[i].load(relaxed) == state;
        return n;
    }

private:
    size_t slots_;
    size_t slotSize_;
    unsigned char* memory_;
    std::unique_ptr<std::atomic<uint8_t>[]> state_;
    size_t next_ = 0;
};

CObjectArena* Arena = nullptr;  // set for the length of one test

class CTrackedFrame : public CFrame {
public:
    CTrackedFrame() { Arena->Mark(this, SlotAlive); }
    ~CTrackedFrame() override {
        // Recorded before CFrame's destructor and the members go, so a thread that
        // still holds the object in a snapshot sees it as destroyed at once.
        Arena->Mark(this, SlotDestroyed);
    }
    static void* operator new(size_t size) { return Arena->Allocate(size); }
    static void operator delete(void* p) noexcept { Arena->Mark(p, SlotDeallocated); }
};

constexpr size_t SlotSize = (sizeof(CTrackedFrame) + 63) / 64 * 64;

// True when p names a live object of the arena.
bool IsAlive(const CFrame* p) { return Arena->StateOf(p) == SlotAlive; }

// ---------------------------------------------------------------------------------
// The objects of the run: plain colour objects and small pictures and animations,
// with short delays, effects and show times so that every phase and repetition
// occurs within a few passes of 20 ms.

constexpr int FramePeriodUs = 20000;  // the render thread's virtual frame
constexpr int MaxLive = 24;

CCompressedPicture SmallPicture(int w, int h, uint32_t colour) {
    CPicture picture;
    picture.Resize(w, h);
    picture.Fill(colour);
    picture.Fill(colour ^ 0x00FFFFFFu, 0, 0, 1, 1);  // one odd pixel, so the code is not all one run
    CCompressedPicture compressed;
    compressed.Compress(picture);
    return compressed;
}

std::unique_ptr<CFrame> MakeObject(int variant) {
    auto object = std::make_unique<CTrackedFrame>();
    CFrame& f = *object;
    f.FramePeriod = FramePeriodUs;
    const int x = (variant * 7) % 64;
    f.Rect = {x, 8, x + 24 + variant % 5, 20 + variant % 3};
    f.InEffect = variant % 31;
    f.OutEffect = (variant * 11) % 31;
    switch (variant % 6) {
    case 0:  // colour, delay, in, shown, out, repeating
        f.BackColor = 0xFF2040C0;
        f.StartDelay = 20;
        f.InEffectDuration = 40;
        f.OutEffectDuration = 40;
        f.ShowIndefinitely = 0;
        f.ShowFor = 160;
        f.Repeat = 1;
        f.Group = QStringLiteral("A");
        f.Hotkey = 1;
        f.RichText = "{\\rtf1 Fixed}";  // rendered again at each repetition
        break;
    case 1:  // invisible colour, fades, shown until ended
        f.BackColor = 0x00FFFFFF;
        f.InEffectDuration = 60;
        f.FadeIn = 1;
        f.OutEffectDuration = 60;
        f.FadeOut = 1;
        f.ShowIndefinitely = 1;
        f.Group = QStringLiteral("B");
        f.Hotkey = 2;
        f.Movement = MovementHorizontal;  // a looping crawl: chunks copied again and again
        f.Speed = 40;
        f.RichText = "{\\rtf1 Crawl}";
        break;
    case 2: {  // two-frame looping animation, repeating
        f.Kind = KindPicture;
        f.PictureWidth = 4;
        f.PictureHeight = 3;
        for (int i = 0; i < 2; ++i) {
            CFrameBackground frame;
            frame.Picture = SmallPicture(4, 3, 0xFF000000u | uint32_t(0x30 * (i + 1)));
            frame.Delay = 20 + 20 * i;
            f.Frames.push_back(frame);
        }
        f.LoopAnimation = 1;
        f.StartDelay = 40;
        f.InEffectDuration = 20;
        f.OutEffectDuration = 20;
        f.ShowIndefinitely = 0;
        f.ShowFor = 200;
        f.Repeat = 1;
        f.Group = QStringLiteral("A");
        f.Hotkey = 3;
        break;
    }
    case 3: {  // three-frame animation that stays on its last frame, shown until ended
        f.Kind = KindPicture;
        f.PictureWidth = 6;
        f.PictureHeight = 5;
        for (int i = 0; i < 3; ++i) {
            CFrameBackground frame;
            frame.Picture = SmallPicture(6, 5, 0xC0000000u | uint32_t(0x101010 * (i + 2)));
            frame.Delay = 20;
            f.Frames.push_back(frame);
        }
        f.LoopAnimation = 0;
        f.InEffectDuration = 40;
        f.OutEffectDuration = 40;
        f.FadeOut = 1;
        f.ShowIndefinitely = 1;
        f.Group = QStringLiteral("B");
        f.Hotkey = 1;
        break;
    }
    case 4:  // colour, once, no effects
        f.BackColor = 0x80808080;
        f.ShowIndefinitely = 0;
        f.ShowFor = 100;
        f.Hotkey = 2;
        break;
    default:  // single picture with a bar-graph flag left set (no text file: no bar), once
        f.Kind = KindPicture;
        f.PictureWidth = 5;
        f.PictureHeight = 4;
        {
            CFrameBackground frame;
            frame.Picture = SmallPicture(5, 4, 0xFF00FF00u);
            f.Frames.push_back(frame);
        }
        f.BarGraph = 1;
        f.BarValue = 61;
        f.StartDelay = 20;
        f.InEffectDuration = 40;
        f.OutEffectDuration = 20;
        f.ShowIndefinitely = 0;
        f.ShowFor = 140;
        f.Group = QStringLiteral("A");
        break;
    }
    return object;
}

// ---------------------------------------------------------------------------------
// What the render and text threads saw.

struct Counters {
    std::atomic<long> renderPasses{0};
    std::atomic<long> textPasses{0};
    std::atomic<long> presented{0};       // frames whose record drew a texture
    std::atomic<long> textPresented{0};   // frames whose record drew a text texture
    std::atomic<long> finished{0};        // objects that finished and were stopped by the render thread
    std::atomic<long> invoked{0};         // text passes over playing objects
    std::atomic<long> chunksSeen{0};      // playing objects with text ready, as the text thread saw them
    std::atomic<long> deadTouched{0};     // objects of a snapshot found destroyed
    std::atomic<long> badRecords{0};      // records that do not fit the object
    std::array<std::atomic<long>, 6> phases{};
};

void RenderLoop(CFrameSet& page, ITextureDevice& device, const std::atomic<int>& stop, Counters& c) {
    while (!stop.load(relaxed)) {
        {
            CPageSnapshot snapshot(page);
            for (CFrame* object : snapshot.list) {
                if (!IsAlive(object)) {
                    c.deadTouched.fetch_add(1, relaxed);
                    continue;
                }
                if (!object->BeginPresent()) continue;
                if (object->RecheckCountdown.load() > 0 && object->RecheckCountdown.fetch_sub(1) == 1)
                    object->RecheckDue = 1;
                FramePresentation record;
                TimelinePhase phase = TimelinePhase::Finished;
                const int alive = PresentFrame(*object, record, device, FramePeriodUs, &phase);
                if (alive) {
                    c.phases[size_t(phase)].fetch_add(1, relaxed);
                    if (record.Alpha < 0 || record.Alpha > 255 ||
                        (record.Text && record.Text != object->TextTexture.get()) ||
                        (record.Background && record.Background != object->BackgroundTexture.get()))
                        c.badRecords.fetch_add(1, relaxed);
                    if (record.Background) c.presented.fetch_add(1, relaxed);
                    if (record.Text) c.textPresented.fetch_add(1, relaxed);
                }
                object->EndPresent();
                if (!alive) {
                    c.phases[size_t(TimelinePhase::Finished)].fetch_add(1, relaxed);
                    object->Stop();
                    c.finished.fetch_add(1, relaxed);
                }
            }
            // Still inside the snapshot: nothing of it may have gone meanwhile.
            for (CFrame* object : snapshot.list)
                if (!IsAlive(object)) c.deadTouched.fetch_add(1, relaxed);
        }
        c.renderPasses.fetch_add(1, relaxed);
        std::this_thread::yield();
    }
}

void TextLoop(CFrameSet& page, const std::atomic<int>& stop, Counters& c) {
    CRichEditTextRenderer renderer;
    while (!stop.load(relaxed)) {
        {
            CPageSnapshot snapshot(page);
            for (CFrame* object : snapshot.list) {
                if (!IsAlive(object)) {
                    c.deadTouched.fetch_add(1, relaxed);
                    continue;
                }
                if (!object->Playing.load()) continue;
                InvokeRender(*object, renderer);
                c.invoked.fetch_add(1, relaxed);
                if (object->Playing.load() && object->ChunksRendered.load() > 0) c.chunksSeen.fetch_add(1, relaxed);
            }
            for (CFrame* object : snapshot.list)
                if (!IsAlive(object)) c.deadTouched.fetch_add(1, relaxed);
        }
        c.textPasses.fetch_add(1, relaxed);
        std::this_thread::yield();
    }
}

// Waits (without a clock) until the counter has moved on by at least n.
void WaitPasses(const std::atomic<long>& counter, long n) {
    const long target = counter.load(relaxed) + n;
    while (counter.load(relaxed) < target) std::this_thread::yield();
}

// ---------------------------------------------------------------------------------

constexpr int Iterations = 5000;
constexpr unsigned Seed = 0x5EED2024u;

TEST(PageStress, CommandsRenderAndTextThreadsTogether) {
    CObjectArena arena(Iterations + 512, SlotSize);
    Arena = &arena;
    CMemoryTextureDevice device;
    Counters c;
    std::atomic<int> stop{0};

    int commands = 0;
    int added = 0;
    int removed = 0;
    int removedInSnapshot = 0;
    int removedInSnapshotAlive = 0;  // still alive while this thread's snapshot held it
    int removedStillListed = 0;      // listed by a new snapshot after removal (must stay 0)
    int badNumbers = 0;
    int removeAlls = 0;
    int variant = 0;
    std::vector<CFrame*> finalObjects;

    {
        CFrameSet page;
        page.OutputOn.store(1);

        const auto addObject = [&](bool insert, int idBelow) {
            if (arena.Full()) return;
            std::unique_ptr<CFrame> object = MakeObject(variant++);
            const int taken = insert ? page.InsertAbove(object, idBelow) : page.Add(object);
            if (taken) ++added;
        };
        for (int i = 0; i < 12; ++i) addObject(false, 0);
        ApplyCommand(page, PlayCommand::Play, CommandTarget::Every());

        std::thread render(RenderLoop, std::ref(page), std::ref(device), std::cref(stop), std::ref(c));
        std::thread text(TextLoop, std::ref(page), std::cref(stop), std::ref(c));

        // The user-interface thread: a fixed sequence of commands.
        std::mt19937 rng(Seed);
        const QString groups[2] = {QStringLiteral("A"), QStringLiteral("B")};
        for (int i = 0; i < Iterations; ++i) {
            const unsigned op = rng() % 100;
            const unsigned pick = rng();
            const unsigned extra = rng();
            const QString& group = groups[extra % 2];
            ++commands;
            CPageSnapshot snapshot(page);
            CFrame* object = snapshot.list.empty() ? nullptr : snapshot.list[pick % snapshot.list.size()];
            const int live = int(snapshot.list.size());
            if (op < 14) {
                if (object) object->Play();
            } else if (op < 20) {
                if (object) object->TogglePause();
            } else if (op < 30) {
                if (object) object->End();
            } else if (op < 36) {
                if (object) {
                    object->Stop();
                    if (extra % 2) object->Play();  // a restart, while the other threads may hold it
                }
            } else if (op < 44) {
                if (live < MaxLive) addObject(false, 0);
                if (extra % 2 && live < MaxLive) ApplyCommand(page, PlayCommand::Play, CommandTarget::Every());
            } else if (op < 47) {
                if (live < MaxLive) addObject(true, object && extra % 3 ? object->Id : extra % 3 == 0 ? 0 : -1);
            } else if (op < 53) {
                if (object) {
                    page.Remove(object);
                    ++removed;
                    if (extra % 2) {
                        // Removed while this thread's own snapshot holds it: it must
                        // stay valid here and be gone from any new snapshot.
                        ++removedInSnapshot;
                        if (IsAlive(object)) ++removedInSnapshotAlive;
                        if (page.NumberOf(object) != 0) ++removedStillListed;
                    }
                }
            } else if (op < 54) {
                if (extra % 3 == 0) {
                    page.RemoveAll();
                    ++removeAlls;
                    if (page.LiveCount() != 0) ++removedStillListed;
                    for (int k = 0; k < 6; ++k) addObject(false, 0);
                    ApplyCommand(page, PlayCommand::Play, CommandTarget::Every());
                }
            } else if (op < 59) {
                ApplyCommand(page, PlayCommand::Play, CommandTarget::NamedGroup(group));
            } else if (op < 62) {
                ApplyCommand(page, PlayCommand::End, object ? CommandTarget::WithGroup(object) : CommandTarget::NamedGroup(group));
            } else if (op < 64) {
                ApplyCommand(page, PlayCommand::PauseResume, CommandTarget::NamedGroup(group));
            } else if (op < 66) {
                ApplyCommand(page, PlayCommand::Stop, object ? CommandTarget::WithGroup(object) : CommandTarget::NamedGroup(group));
            } else if (op < 71) {
                ApplyCommand(page, PlayCommand::Toggle, CommandTarget::OfHotkey(int(extra % 3) + 1));
            } else if (op < 76) {
                if (object) ApplyCommand(page, PlayCommand::Toggle, CommandTarget::WithGroup(object));
            } else if (op < 79) {
                ApplyCommand(page, PlayCommand::Play, CommandTarget::Every());
            } else if (op < 81) {
                if (object) ApplyCommand(page, PlayCommand::Play, CommandTarget::Every({object}));
            } else if (op < 83) {
                ApplyCommand(page, PlayCommand::PauseResume, CommandTarget::Every());
            } else if (op < 86) {
                ApplyCommand(page, PlayCommand::End, CommandTarget::Every());
            } else if (op < 87) {
                page.StopAll();
            } else if (op < 90) {
                if (object) page.Move(object, extra % 2 != 0);
            } else if (op < 94) {
                if (object) {
                    CFrame* found = page.FindById(object->Id);
                    if (found != object) ++badNumbers;
                    else if (extra % 2) found->Play();
                    else found->End();
                }
            } else {
                if (object) {
                    const int number = page.NumberOf(object);
                    if (number < 1 || number > page.LiveCount()) ++badNumbers;
                }
                const QStringList names = page.GroupNames();
                if (names.size() > 2) ++badNumbers;
            }
            // Let the render thread move on: one pass per command, so timelines run
            // through their phases while the commands go on.
            WaitPasses(c.renderPasses, 1);
        }

        // Last, undisturbed: a fresh colour object and a fresh animation, played once,
        // must each run through delay, in, shown and out and stop by themselves.
        page.StopAll();
        for (int k = 0; k < 2; ++k) {
            if (arena.Full()) break;
            std::unique_ptr<CFrame> object = MakeObject(k == 0 ? 4 * 6 : 4 * 6 + 2);  // kinds 0 and 2
            object->Repeat = 0;
            CFrame* raw = object.get();
            if (page.Add(object)) {
                ++added;
                finalObjects.push_back(raw);
                raw->Play();
            }
        }
        WaitPasses(c.textPasses, 3);      // a whole text pass began after they were played
        WaitPasses(c.renderPasses, 40);   // 40 virtual frames of 20 ms: longer than either timeline

        int finalStillPlaying = 0;
        for (CFrame* object : finalObjects) finalStillPlaying += object->Playing.load();

        stop.store(1, relaxed);
        render.join();
        text.join();

        EXPECT_EQ(finalObjects.size(), 2u);
        EXPECT_EQ(finalStillPlaying, 0) << "an object played once did not finish by itself";

        page.StopAll();
        EXPECT_EQ(device.Live.load(), 0) << "textures left after every object was stopped";
        page.RemoveAll();
        EXPECT_EQ(page.LiveCount(), 0);
        // With no snapshot left, the removed objects are gone.
        EXPECT_EQ(arena.Count(SlotAlive), 0);
    }
    // The page is gone.
    EXPECT_EQ(device.Live.load(), 0);
    EXPECT_EQ(arena.Count(SlotAlive), 0);
    EXPECT_EQ(arena.Count(SlotDestroyed), 0) << "destroyed but never deallocated";
    EXPECT_EQ(arena.Count(SlotDeallocated), int(arena.Used()));
    EXPECT_EQ(int(arena.Used()), added);

    // Nothing was destroyed while a snapshot held it.
    EXPECT_EQ(c.deadTouched.load(), 0);
    EXPECT_EQ(removedInSnapshotAlive, removedInSnapshot);
    EXPECT_EQ(removedStillListed, 0);
    EXPECT_EQ(badNumbers, 0);
    EXPECT_EQ(c.badRecords.load(), 0);

    // The work was really done.
    EXPECT_EQ(commands, Iterations);
    EXPECT_GT(removed, 0);
    EXPECT_GT(removedInSnapshot, 0);
    EXPECT_GT(removeAlls, 0);
    EXPECT_GE(device.Created.load(), 2) << "the final objects each needed a texture";
    EXPECT_GT(device.Uploads.load(), 0);
    EXPECT_GT(c.presented.load(), 0);
    EXPECT_GT(c.textPresented.load(), 0);
    EXPECT_GE(c.finished.load(), 2);
    EXPECT_GT(c.invoked.load(), 0);
    EXPECT_GT(c.chunksSeen.load(), 0);
    EXPECT_GE(c.renderPasses.load(), Iterations);
    // Every phase the final objects must pass through (waiting for text is left
    // out: whether the render thread comes before the text thread is not fixed).
    for (const TimelinePhase phase : {TimelinePhase::Delay, TimelinePhase::In, TimelinePhase::Shown,
                                      TimelinePhase::Out, TimelinePhase::Finished})
        EXPECT_GT(c.phases[size_t(phase)].load(), 0) << PhaseName(phase);

    std::printf("[ stress   ] %d commands, %ld render passes, %ld text passes, %ld frames drawn, %ld finished, "
                "%d removed (%d inside a snapshot), %d remove-all, %d objects, %d textures\n",
                commands, c.renderPasses.load(), c.textPasses.load(), c.presented.load(), c.finished.load(), removed,
                removedInSnapshot, removeAlls, added, device.Created.load());
    Arena = nullptr;
}

// The render thread stops an object that has just finished while a command stops
// the same object (alone, with its group or with all objects): exactly one of them
// stops it and its texture is released exactly once.
TEST(PageStress, RenderThreadAndCommandStopTheSameObjectAtOnce) {
    constexpr int Trials = 600;
    CMemoryTextureDevice device;
    CFrameSet page;
    page.OutputOn.store(1);
    std::unique_ptr<CFrame> owned = std::make_unique<CFrame>();
    CFrame* object = owned.get();
    object->FramePeriod = FramePeriodUs;
    object->BackColor = 0xFF102030;
    object->Rect = {0, 0, 16, 16};
    object->Group = QStringLiteral("G");
    ASSERT_EQ(page.Add(owned), 1);

    // Two threads for the whole test, released together once per trial.
    std::atomic<int> go{0};        // trial number + 1 that may start
    std::atomic<int> finished{0};  // stops done, two per trial
    std::vector<int> renderStopped(Trials, 0);
    std::vector<int> commandStopped(Trials, 0);
    const auto awaitTrial = [&go](int trial) {
        while (go.load() < trial + 1) std::this_thread::yield();
    };
    std::thread render([&] {
        for (int trial = 0; trial < Trials; ++trial) {
            awaitTrial(trial);
            renderStopped[size_t(trial)] = object->Stop();
            finished.fetch_add(1);
        }
    });
    std::thread command([&] {
        for (int trial = 0; trial < Trials; ++trial) {
            awaitTrial(trial);
            int stopped = 0;
            switch (trial % 3) {
            case 0: stopped = object->Stop(); break;
            case 1: stopped = page.StopAll(); break;
            default: stopped = ApplyCommand(page, PlayCommand::Stop, CommandTarget::NamedGroup(QStringLiteral("G"))).Changed(); break;
            }
            commandStopped[size_t(trial)] = stopped;
            finished.fetch_add(1);
        }
    });

    int notOneWinner = 0;
    int liveAfterTrial = 0;
    int notStarted = 0;
    for (int trial = 0; trial < Trials; ++trial) {
        // The object plays and has drawn one frame: it holds one texture.
        if (object->Play() != 1 || !object->BeginPresent()) {
            ++notStarted;
        } else {
            FramePresentation record;
            PresentFrame(*object, record, device, FramePeriodUs);
            object->EndPresent();
        }
        go.store(trial + 1);
        while (finished.load() < 2 * (trial + 1)) std::this_thread::yield();
        if (renderStopped[size_t(trial)] + commandStopped[size_t(trial)] != 1) ++notOneWinner;
        if (device.Live.load() != 0) ++liveAfterTrial;
    }
    render.join();
    command.join();
    EXPECT_EQ(notStarted, 0);
    EXPECT_EQ(notOneWinner, 0);
    EXPECT_EQ(liveAfterTrial, 0);
    EXPECT_EQ(device.Created.load(), Trials);
    EXPECT_EQ(device.Live.load(), 0);
}

// ---------------------------------------------------------------------------------
// A linked file rewritten while its objects play: at their repetitions the text
// thread imports it again and hands the frames over to the render thread, while the
// user-interface thread reads the frames as the editor does, asks for the editor's
// picture and stops and restarts objects (a Play may meet frames handed over after
// the last run stopped).

// Replaces the file whole (written beside it, renamed over it) with a picture of
// w x h, and gives it a modification time of its own so that every write is seen.
bool WriteLinked(const QString& path, int w, int h, uint32_t argb, int version) {
    const QString next = path + QStringLiteral(".next.png");
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(argb);
    if (!image.save(next)) return false;
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = time_t(1600000000 + version);
    times[1].tv_nsec = 0;
    if (utimensat(AT_FDCWD, QFile::encodeName(next).constData(), times, 0) != 0) return false;
    return std::rename(QFile::encodeName(next).constData(), QFile::encodeName(path).constData()) == 0;
}

std::unique_ptr<CFrame> MakeLinked(const QString& path, int variant) {
    auto object = std::make_unique<CTrackedFrame>();
    CFrame& f = *object;
    f.FramePeriod = FramePeriodUs;
    f.Kind = KindPicture;
    const int x = variant * 20;
    f.Rect = {x, 30, x + 16, 46};
    f.MaintainLink = 1;
    f.ImageFileName = path;
    f.Repeat = 1;
    f.ShowIndefinitely = 0;
    f.ShowFor = 40 + 20 * (variant % 3);  // a repetition every 2 to 4 passes
    f.InEffectDuration = 20 * (variant % 2);
    return object;
}

TEST(PageStress, LinkedFileRewrittenWhileTheTextAndRenderThreadsPlayIt) {
    constexpr int Objects = 4;
    constexpr int Commands = 400;
    constexpr int FinalWidth = 28, FinalHeight = 18;  // no write before had this size
    CObjectArena arena(Objects + 4, SlotSize);
    Arena = &arena;
    CMemoryTextureDevice device;
    Counters c;
    std::atomic<int> stop{0};
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("linked.png"));
    int version = 0;
    ASSERT_TRUE(WriteLinked(path, 16, 16, 0xFF800000u, ++version));

    int mismatched = 0;     // frames of another size than the object's, seen under FramesLock
    int changesSeen = 0;    // new picture sizes seen by this thread while the objects played
    int editorPictures = 0;
    int restarts = 0;
    bool allFinal = false;
    {
        CFrameSet page;
        page.OutputOn.store(1);
        std::vector<CFrame*> objects;
        for (int k = 0; k < Objects; ++k) {
            std::unique_ptr<CFrame> object = MakeLinked(path, k);
            objects.push_back(object.get());
            ASSERT_EQ(page.Add(object), 1);
        }
        ApplyCommand(page, PlayCommand::Play, CommandTarget::Every());

        std::thread render(RenderLoop, std::ref(page), std::ref(device), std::cref(stop), std::ref(c));
        std::thread text(TextLoop, std::ref(page), std::cref(stop), std::ref(c));

        // The frames as the editor reads them: whole, of the object's size.
        std::vector<int> lastWidth(Objects, 0);
        const auto look = [&](int k) {
            CFrame& object = *objects[size_t(k)];
            std::lock_guard guard(object.FramesLock);
            for (const CFrameBackground& frame : object.Frames)
                if (frame.Picture.width != object.PictureWidth || frame.Picture.height != object.PictureHeight)
                    ++mismatched;
            if (lastWidth[size_t(k)] != 0 && lastWidth[size_t(k)] != object.PictureWidth) ++changesSeen;
            lastWidth[size_t(k)] = object.PictureWidth;
            return !object.Frames.empty() && object.PictureWidth == FinalWidth && object.PictureHeight == FinalHeight &&
                   object.Frames[0].Picture.width == FinalWidth;
        };

        std::mt19937 rng(Seed);
        for (int i = 0; i < Commands; ++i) {
            if (i % 4 == 0) {
                // Sides of 16 and more: the import pads smaller pictures to 16.
                const int w = 16 + 4 * (i / 4 % 3);
                EXPECT_TRUE(WriteLinked(path, w, 16, 0xFF000000u | uint32_t(i * 0x010307), ++version));
            }
            const int k = int(rng() % Objects);
            switch (rng() % 8) {
            case 0:
                objects[size_t(k)]->Stop();
                objects[size_t(k)]->Play();
                ++restarts;
                break;
            case 1:
                objects[size_t(k)]->EditorBackgroundValid = 0;
                GetEditorBackground(*objects[size_t(k)]);
                ++editorPictures;
                break;
            default: look(k); break;
            }
            WaitPasses(c.renderPasses, 1);
        }

        // Last, undisturbed but for the reads: a picture of a size no write had
        // before, which every object must come to show.
        EXPECT_TRUE(WriteLinked(path, FinalWidth, FinalHeight, 0xFF10E010u, ++version));
        for (int pass = 0; pass < 2000 && !allFinal; ++pass) {
            WaitPasses(c.renderPasses, 1);
            WaitPasses(c.textPasses, 1);
            allFinal = true;
            for (int k = 0; k < Objects; ++k) allFinal = look(k) && allFinal;
        }

        stop.store(1, relaxed);
        render.join();
        text.join();
        int playing = 0;
        for (CFrame* object : objects) playing += object->Playing.load();
        EXPECT_EQ(playing, Objects) << "a repeating linked object stopped";
        page.StopAll();
        EXPECT_EQ(device.Live.load(), 0) << "textures left after every object was stopped";
    }
    EXPECT_EQ(arena.Count(SlotAlive), 0);
    EXPECT_EQ(c.deadTouched.load(), 0);
    EXPECT_EQ(c.badRecords.load(), 0);
    EXPECT_EQ(mismatched, 0);
    EXPECT_TRUE(allFinal) << "the last picture of the file did not come on";
    EXPECT_GT(changesSeen, 0) << "no new frames were handed over while the commands ran";
    EXPECT_GT(c.presented.load(), 0);
    std::printf("[ stress   ] %d writes, %d new sizes seen, %d editor pictures, %d restarts, %ld render passes, "
                "%ld text passes\n",
                version, changesSeen, editorPictures, restarts, c.renderPasses.load(), c.textPasses.load());
    Arena = nullptr;
}

// ---------------------------------------------------------------------------------
// The words two threads write: timers (the text thread makes their text from the
// clock the render thread advances) and crawls that play themselves out on the
// render thread once their text has passed, under a stream of pause, end, play and
// stop commands from the user-interface thread.

std::unique_ptr<CFrame> MakeTimerOrCrawl(int variant) {
    auto object = std::make_unique<CTrackedFrame>();
    CFrame& f = *object;
    f.FramePeriod = FramePeriodUs;
    const int y = 20 * variant;
    f.Rect = {0, y, 80, y + 16};
    f.OutEffectDuration = 40;
    f.FadeOut = 1;
    if (variant % 2 == 0) {  // a timer, repeating
        f.TextSource = SourceTimer;
        f.TimerFormat = QStringLiteral("%M:%S.%m");
        f.RichText = "{\\rtf1 %1%}";
        f.ShowIndefinitely = 0;
        f.ShowFor = 200;
        f.Repeat = 1;
    } else {  // a crawl shown while its text moves: it ends itself
        f.Movement = MovementHorizontal;
        f.Speed = 40;
        f.Loop = 0;
        f.ShowWhileTextMoves = 1;
        f.RichText = "{\\rtf1 Passing by}";
    }
    return object;
}

TEST(PageStress, TimersAndCrawlsThatEndThemselvesUnderCommands) {
    constexpr int Objects = 6;
    constexpr int Commands = 2000;
    CObjectArena arena(Objects + 2, SlotSize);
    Arena = &arena;
    CMemoryTextureDevice device;
    Counters c;
    std::atomic<int> stop{0};
    int pausesLost = 0;   // a pause this thread made, found undone with no command since
    int pauses = 0;
    bool lastCrawlEnded = false;
    {
        CFrameSet page;
        page.OutputOn.store(1);
        std::vector<CFrame*> objects;
        for (int k = 0; k < Objects; ++k) {
            std::unique_ptr<CFrame> object = MakeTimerOrCrawl(k);
            objects.push_back(object.get());
            ASSERT_EQ(page.Add(object), 1);
        }
        ApplyCommand(page, PlayCommand::Play, CommandTarget::Every());

        std::thread render(RenderLoop, std::ref(page), std::ref(device), std::cref(stop), std::ref(c));
        std::thread text(TextLoop, std::ref(page), std::cref(stop), std::ref(c));

        std::mt19937 rng(Seed);
        for (int i = 0; i < Commands; ++i) {
            CFrame& object = *objects[rng() % Objects];
            switch (rng() % 10) {
            case 0:
            case 1:
                if (object.Playing.load() && !object.Paused.load()) {
                    object.TogglePause();
                    ++pauses;
                    WaitPasses(c.renderPasses, 2);
                    // Only a Stop (the object finished) may clear it meanwhile; Stop
                    // turns Playing off first, so Paused is read first.
                    const int paused = object.Paused.load();
                    if (object.Playing.load() && !paused) ++pausesLost;
                }
                break;
            case 2:
                object.TogglePause();
                break;
            case 3:
            case 4:
                object.End();
                break;
            case 5:
                object.Stop();
                object.Play();
                break;
            default:
                object.Play();
                break;
            }
            WaitPasses(c.renderPasses, 1);
        }

        // Last, undisturbed: a crawl played once ends itself when its text has passed.
        page.StopAll();
        CFrame& crawl = *objects[1];
        crawl.Play();
        for (int pass = 0; pass < 2000 && crawl.Playing.load(); ++pass) {
            WaitPasses(c.renderPasses, 1);
            WaitPasses(c.textPasses, 1);
        }
        lastCrawlEnded = crawl.Playing.load() == 0;

        stop.store(1, relaxed);
        render.join();
        text.join();
        page.StopAll();
        EXPECT_EQ(device.Live.load(), 0) << "textures left after every object was stopped";
    }
    EXPECT_EQ(arena.Count(SlotAlive), 0);
    EXPECT_EQ(c.deadTouched.load(), 0);
    EXPECT_EQ(c.badRecords.load(), 0);
    EXPECT_EQ(pausesLost, 0);
    EXPECT_GT(pauses, 0);
    EXPECT_TRUE(lastCrawlEnded) << "a crawl shown while its text moves did not end itself";
    EXPECT_GT(c.finished.load(), 0);
    EXPECT_GT(c.textPresented.load(), 0);
    EXPECT_GT(c.phases[size_t(TimelinePhase::Out)].load(), 0);
    std::printf("[ stress   ] %d commands, %d pauses, %ld finished, %ld render passes, %ld text passes\n", Commands,
                pauses, c.finished.load(), c.renderPasses.load(), c.textPasses.load());
    Arena = nullptr;
}

}  // namespace
