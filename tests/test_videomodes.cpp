#include "base/Settings.h"
#include "core/VideoModes.h"

#include <QStringList>
#include <gtest/gtest.h>

TEST(VideoModes, TableHoldsEveryMode) {
    struct Row {
        int index;
        const char* name;
        int position, rw, rh, dw, dh, hz;
        bool interlaced;
        int period;
    };
    const Row rows[] = {
        {0, "1080i50", 0, 1920, 1080, 1920, 1080, 25, true, 20000},
        {1, "1080p50", 3, 1920, 1080, 1920, 1080, 50, false, 20000},
        {2, "1080i60", 2, 1920, 1080, 1920, 1080, 30, true, 16667},
        {3, "1080i59", 1, 1920, 1080, 1920, 1080, 30, true, 16667},
        {4, "1080p60", 5, 1920, 1080, 1920, 1080, 60, false, 16667},
        {5, "720p50", 6, 1280, 720, 1280, 720, 50, false, 20000},
        {6, "720p60", 8, 1280, 720, 1280, 720, 60, false, 16667},
        {7, "720p59", 7, 1280, 720, 1280, 720, 60, false, 16667},
        {8, "576i50", 9, 720, 576, 1920, 1080, 25, true, 20000},
        {9, "576p50", 10, 720, 576, 1920, 1080, 50, false, 20000},
        {10, "480i60", 11, 720, 488, 1920, 1080, 30, true, 16667},
        {11, "480p60", 12, 720, 488, 1920, 1080, 60, false, 16667},
        {12, "1080p59", 4, 1920, 1080, 1920, 1080, 60, false, 16667},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(VideoModes::Name(r.index), QString::fromLatin1(r.name));
        EXPECT_EQ(VideoModes::ListPosition(r.index), r.position);
        EXPECT_EQ(VideoModes::IndexFromListPosition(r.position), r.index);
        EXPECT_EQ(VideoModes::RenderWidth(r.index), r.rw);
        EXPECT_EQ(VideoModes::RenderHeight(r.index), r.rh);
        EXPECT_EQ(VideoModes::DisplayWidth(r.index), r.dw);
        EXPECT_EQ(VideoModes::DisplayHeight(r.index), r.dh);
        EXPECT_EQ(VideoModes::Refresh(r.index), r.hz);
        EXPECT_EQ(VideoModes::Interlaced(r.index), r.interlaced);
        EXPECT_EQ(VideoModes::Interlaced(r.index), r.hz < 50);
        EXPECT_EQ(VideoModes::FramePeriod(r.index), r.period);
    }
}

TEST(VideoModes, ListOrderOfNames) {
    QStringList names;
    for (int position = 0; position < VideoModes::Count; ++position)
        names << VideoModes::Name(VideoModes::IndexFromListPosition(position));
    EXPECT_EQ(names.join(u','), QStringLiteral("1080i50,1080i59,1080i60,1080p50,1080p59,1080p60,720p50,720p59,"
                                               "720p60,576i50,576p50,480i60,480p60"));
}

TEST(VideoModes, IndexesOutsideTheTable) {
    for (int index : {-1, 13, 1000}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(VideoModes::RenderWidth(index), 0);
        EXPECT_EQ(VideoModes::RenderHeight(index), 0);
        EXPECT_EQ(VideoModes::DisplayWidth(index), 0);
        EXPECT_EQ(VideoModes::DisplayHeight(index), 0);
        EXPECT_EQ(VideoModes::Refresh(index), 0);
        EXPECT_EQ(VideoModes::FramePeriod(index), 1);
        EXPECT_EQ(VideoModes::ListPosition(index), 0);
    }
    EXPECT_EQ(VideoModes::IndexFromListPosition(13), 0);
    EXPECT_EQ(VideoModes::IndexFromListPosition(-1), 0);
}

// The stored mode is refused outside the table, so both must end at the same mode.
TEST(VideoModes, TheModeSettingCoversTheTable) {
    EXPECT_EQ(Settings::Mode.minimum, 0);
    EXPECT_EQ(Settings::Mode.maximum, VideoModes::Count - 1);
}
