#include "playback/Effects.h"

#include <climits>
#include <cmath>
#include <gtest/gtest.h>

namespace {

struct Expected {
    int id;
    float dest[4];
    float window[4];
};

void ExpectGeometry(const EffectGeometry& g, const float (&dest)[4], const float (&window)[4]) {
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(g.Dest[i], dest[i]);
        EXPECT_EQ(g.Window[i], window[i]);
    }
}

// Each row was worked out from the effect table on paper; the rectangles and progress
// values are chosen so that every expected number is exact in a 32-bit float.
void CheckTable(const CRect& rect, float p, const Expected (&rows)[EffectCount]) {
    for (int i = 0; i < EffectCount; ++i) {
        const Expected& row = rows[i];
        SCOPED_TRACE(testing::Message() << "id " << row.id << " p " << p);
        ASSERT_EQ(row.id, i);  // keeps the table in id order, one row per effect
        ExpectGeometry(ComputeEffect(row.id, p, rect), row.dest, row.window);
    }
}

}  // namespace

// W 400, H 100, w2 200, h2 50; W·p 100, H·p 25, w2·q 150, h2·q 37.5 (rounds up).
TEST(Effects, EveryIdAtQuarterOnWideRectangle) {
    const Expected rows[EffectCount] = {
        {0, {100, 100, 500, 200}, {0, 0, 1, 1}},
        {1, {100, 100, 200, 200}, {0.75f, 0, 1, 1}},
        {2, {400, 100, 500, 200}, {0, 0, 0.25f, 1}},
        {3, {100, 100, 500, 125}, {0, 0.75f, 1, 1}},
        {4, {100, 175, 500, 200}, {0, 0, 1, 0.25f}},
        {5, {100, 100, 200, 125}, {0.75f, 0.75f, 1, 1}},
        {6, {400, 100, 500, 125}, {0, 0.75f, 0.25f, 1}},
        {7, {100, 175, 200, 200}, {0.75f, 0, 1, 0.25f}},
        {8, {400, 175, 500, 200}, {0, 0, 0.25f, 0.25f}},
        {9, {100, 100, 200, 200}, {0, 0, 1, 1}},
        {10, {400, 100, 500, 200}, {0, 0, 1, 1}},
        {11, {100, 100, 500, 125}, {0, 0, 1, 1}},
        {12, {100, 175, 500, 200}, {0, 0, 1, 1}},
        {13, {100, 100, 200, 125}, {0, 0, 1, 1}},
        {14, {400, 100, 500, 125}, {0, 0, 1, 1}},
        {15, {100, 175, 200, 200}, {0, 0, 1, 1}},
        {16, {400, 175, 500, 200}, {0, 0, 1, 1}},
        {17, {250, 100, 350, 200}, {0, 0, 1, 1}},
        {18, {100, 138, 500, 163}, {0, 0, 1, 1}},
        {19, {250, 138, 350, 163}, {0, 0, 1, 1}},
        {20, {100, 100, 200, 200}, {0, 0, 0.25f, 1}},
        {21, {400, 100, 500, 200}, {0.75f, 0, 1, 1}},
        {22, {100, 100, 500, 125}, {0, 0, 1, 0.25f}},
        {23, {100, 175, 500, 200}, {0, 0.75f, 1, 1}},
        {24, {100, 100, 200, 125}, {0, 0, 0.25f, 0.25f}},
        {25, {400, 100, 500, 125}, {0.75f, 0, 1, 0.25f}},
        {26, {100, 175, 200, 200}, {0, 0.75f, 0.25f, 1}},
        {27, {400, 175, 500, 200}, {0.75f, 0.75f, 1, 1}},
        {28, {250, 100, 350, 200}, {0.375f, 0, 0.625f, 1}},
        {29, {100, 138, 500, 163}, {0, 0.375f, 1, 0.625f}},
        {30, {250, 138, 350, 163}, {0.375f, 0.375f, 0.625f, 0.625f}},
    };
    CheckTable({100, 100, 500, 200}, 0.25f, rows);
}

// Nothing of the object shows yet: moving edges sit on their start, centres meet.
TEST(Effects, EveryIdAtZeroOnWideRectangle) {
    const Expected rows[EffectCount] = {
        {0, {100, 100, 500, 200}, {0, 0, 1, 1}},
        {1, {100, 100, 100, 200}, {1, 0, 1, 1}},
        {2, {500, 100, 500, 200}, {0, 0, 0, 1}},
        {3, {100, 100, 500, 100}, {0, 1, 1, 1}},
        {4, {100, 200, 500, 200}, {0, 0, 1, 0}},
        {5, {100, 100, 100, 100}, {1, 1, 1, 1}},
        {6, {500, 100, 500, 100}, {0, 1, 0, 1}},
        {7, {100, 200, 100, 200}, {1, 0, 1, 0}},
        {8, {500, 200, 500, 200}, {0, 0, 0, 0}},
        {9, {100, 100, 100, 200}, {0, 0, 1, 1}},
        {10, {500, 100, 500, 200}, {0, 0, 1, 1}},
        {11, {100, 100, 500, 100}, {0, 0, 1, 1}},
        {12, {100, 200, 500, 200}, {0, 0, 1, 1}},
        {13, {100, 100, 100, 100}, {0, 0, 1, 1}},
        {14, {500, 100, 500, 100}, {0, 0, 1, 1}},
        {15, {100, 200, 100, 200}, {0, 0, 1, 1}},
        {16, {500, 200, 500, 200}, {0, 0, 1, 1}},
        {17, {300, 100, 300, 200}, {0, 0, 1, 1}},
        {18, {100, 150, 500, 150}, {0, 0, 1, 1}},
        {19, {300, 150, 300, 150}, {0, 0, 1, 1}},
        {20, {100, 100, 100, 200}, {0, 0, 0, 1}},
        {21, {500, 100, 500, 200}, {1, 0, 1, 1}},
        {22, {100, 100, 500, 100}, {0, 0, 1, 0}},
        {23, {100, 200, 500, 200}, {0, 1, 1, 1}},
        {24, {100, 100, 100, 100}, {0, 0, 0, 0}},
        {25, {500, 100, 500, 100}, {1, 0, 1, 0}},
        {26, {100, 200, 100, 200}, {0, 1, 0, 1}},
        {27, {500, 200, 500, 200}, {1, 1, 1, 1}},
        {28, {300, 100, 300, 200}, {0.5f, 0, 0.5f, 1}},
        {29, {100, 150, 500, 150}, {0, 0.5f, 1, 0.5f}},
        {30, {300, 150, 300, 150}, {0.5f, 0.5f, 0.5f, 0.5f}},
    };
    CheckTable({100, 100, 500, 200}, 0.0f, rows);
}

// Odd sizes: W 101, H 51, w2 50, h2 25; W·p 25.25, H·p 12.75, w2·q 37.5, h2·q 18.75.
TEST(Effects, EveryIdAtQuarterOnOddRectangle) {
    const Expected rows[EffectCount] = {
        {0, {10, 20, 111, 71}, {0, 0, 1, 1}},
        {1, {10, 20, 35, 71}, {0.75f, 0, 1, 1}},
        {2, {86, 20, 111, 71}, {0, 0, 0.25f, 1}},
        {3, {10, 20, 111, 33}, {0, 0.75f, 1, 1}},
        {4, {10, 58, 111, 71}, {0, 0, 1, 0.25f}},
        {5, {10, 20, 35, 33}, {0.75f, 0.75f, 1, 1}},
        {6, {86, 20, 111, 33}, {0, 0.75f, 0.25f, 1}},
        {7, {10, 58, 35, 71}, {0.75f, 0, 1, 0.25f}},
        {8, {86, 58, 111, 71}, {0, 0, 0.25f, 0.25f}},
        {9, {10, 20, 35, 71}, {0, 0, 1, 1}},
        {10, {86, 20, 111, 71}, {0, 0, 1, 1}},
        {11, {10, 20, 111, 33}, {0, 0, 1, 1}},
        {12, {10, 58, 111, 71}, {0, 0, 1, 1}},
        {13, {10, 20, 35, 33}, {0, 0, 1, 1}},
        {14, {86, 20, 111, 33}, {0, 0, 1, 1}},
        {15, {10, 58, 35, 71}, {0, 0, 1, 1}},
        {16, {86, 58, 111, 71}, {0, 0, 1, 1}},
        {17, {48, 20, 74, 71}, {0, 0, 1, 1}},
        {18, {10, 39, 111, 52}, {0, 0, 1, 1}},
        {19, {48, 39, 74, 52}, {0, 0, 1, 1}},
        {20, {10, 20, 35, 71}, {0, 0, 0.25f, 1}},
        {21, {86, 20, 111, 71}, {0.75f, 0, 1, 1}},
        {22, {10, 20, 111, 33}, {0, 0, 1, 0.25f}},
        {23, {10, 58, 111, 71}, {0, 0.75f, 1, 1}},
        {24, {10, 20, 35, 33}, {0, 0, 0.25f, 0.25f}},
        {25, {86, 20, 111, 33}, {0.75f, 0, 1, 0.25f}},
        {26, {10, 58, 35, 71}, {0, 0.75f, 0.25f, 1}},
        {27, {86, 58, 111, 71}, {0.75f, 0.75f, 1, 1}},
        {28, {48, 20, 74, 71}, {0.375f, 0, 0.625f, 1}},
        {29, {10, 39, 111, 52}, {0, 0.375f, 1, 0.625f}},
        {30, {48, 39, 74, 52}, {0.375f, 0.375f, 0.625f, 0.625f}},
    };
    CheckTable({10, 20, 111, 71}, 0.25f, rows);
}

// W·p 75.75, H·p 38.25, w2·q 12.5 (both centre edges round up), h2·q 6.25.
TEST(Effects, EveryIdAtThreeQuartersOnOddRectangle) {
    const Expected rows[EffectCount] = {
        {0, {10, 20, 111, 71}, {0, 0, 1, 1}},
        {1, {10, 20, 86, 71}, {0.25f, 0, 1, 1}},
        {2, {35, 20, 111, 71}, {0, 0, 0.75f, 1}},
        {3, {10, 20, 111, 58}, {0, 0.25f, 1, 1}},
        {4, {10, 33, 111, 71}, {0, 0, 1, 0.75f}},
        {5, {10, 20, 86, 58}, {0.25f, 0.25f, 1, 1}},
        {6, {35, 20, 111, 58}, {0, 0.25f, 0.75f, 1}},
        {7, {10, 33, 86, 71}, {0.25f, 0, 1, 0.75f}},
        {8, {35, 33, 111, 71}, {0, 0, 0.75f, 0.75f}},
        {9, {10, 20, 86, 71}, {0, 0, 1, 1}},
        {10, {35, 20, 111, 71}, {0, 0, 1, 1}},
        {11, {10, 20, 111, 58}, {0, 0, 1, 1}},
        {12, {10, 33, 111, 71}, {0, 0, 1, 1}},
        {13, {10, 20, 86, 58}, {0, 0, 1, 1}},
        {14, {35, 20, 111, 58}, {0, 0, 1, 1}},
        {15, {10, 33, 86, 71}, {0, 0, 1, 1}},
        {16, {35, 33, 111, 71}, {0, 0, 1, 1}},
        {17, {23, 20, 99, 71}, {0, 0, 1, 1}},
        {18, {10, 26, 111, 65}, {0, 0, 1, 1}},
        {19, {23, 26, 99, 65}, {0, 0, 1, 1}},
        {20, {10, 20, 86, 71}, {0, 0, 0.75f, 1}},
        {21, {35, 20, 111, 71}, {0.25f, 0, 1, 1}},
        {22, {10, 20, 111, 58}, {0, 0, 1, 0.75f}},
        {23, {10, 33, 111, 71}, {0, 0.25f, 1, 1}},
        {24, {10, 20, 86, 58}, {0, 0, 0.75f, 0.75f}},
        {25, {35, 20, 111, 58}, {0.25f, 0, 1, 0.75f}},
        {26, {10, 33, 86, 71}, {0, 0.25f, 0.75f, 1}},
        {27, {35, 33, 111, 71}, {0.25f, 0.25f, 1, 1}},
        {28, {23, 20, 99, 71}, {0.125f, 0, 0.875f, 1}},
        {29, {10, 26, 111, 65}, {0, 0.125f, 1, 0.875f}},
        {30, {23, 26, 99, 65}, {0.125f, 0.125f, 0.875f, 0.875f}},
    };
    CheckTable({10, 20, 111, 71}, 0.75f, rows);
}

TEST(Effects, FullProgressCoversTheWholeRectangleForEveryId) {
    for (const CRect& rect : {CRect{100, 100, 500, 200}, CRect{10, 20, 111, 71}, CRect{-7, -9, 3, 0}}) {
        for (int id = 0; id < EffectCount; ++id) {
            SCOPED_TRACE(testing::Message() << "id " << id << " rect " << rect.left << "," << rect.top);
            ExpectGeometry(ComputeEffect(id, 1.0f, rect),
                           {float(rect.left), float(rect.top), float(rect.right), float(rect.bottom)},
                           {0, 0, 1, 1});
        }
    }
}

TEST(Effects, SimpleCutIgnoresProgress) {
    for (float p : {0.0f, 0.1f, 0.25f, 0.333f, 0.5f, 0.9f, 1.0f}) {
        for (const CRect& rect : {CRect{100, 100, 500, 200}, CRect{0, 0, 101, 51}, CRect{-20, 5, 7, 6}}) {
            SCOPED_TRACE(testing::Message() << "p " << p << " rect " << rect.left << "," << rect.top);
            ExpectGeometry(ComputeEffect(0, p, rect),
                           {float(rect.left), float(rect.top), float(rect.right), float(rect.bottom)},
                           {0, 0, 1, 1});
        }
    }
}

TEST(Effects, IdsOutsideTheTableDrawAsSimpleCut) {
    const CRect rect{100, 100, 500, 200};
    for (int id : {-1, EffectCount, 32, 1000, INT_MIN, INT_MAX}) {
        for (float p : {0.0f, 0.25f, 0.5f}) {
            SCOPED_TRACE(testing::Message() << "id " << id << " p " << p);
            ExpectGeometry(ComputeEffect(id, p, rect), {100, 100, 500, 200}, {0, 0, 1, 1});
        }
    }
}

TEST(Effects, NamedEdgeCases) {
    struct Case {
        const char* what;
        int id;
        float p;
        CRect rect;
        float dest[4];
        float window[4];
    };
    const Case cases[] = {
        {"slide from left at a quarter", 1, 0.25f, {100, 100, 500, 200}, {100, 100, 200, 200}, {0.75f, 0, 1, 1}},
        {"centre stretch of odd width", 17, 0.0f, {0, 0, 101, 40}, {50, 0, 51, 40}, {0, 0, 1, 1}},
        {"centre reveal at a half", 28, 0.5f, {0, 0, 400, 100}, {100, 0, 300, 100}, {0.25f, 0, 0.75f, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectGeometry(ComputeEffect(c.id, c.p, c.rect), c.dest, c.window);
    }
}

TEST(Effects, HideToLeftShrinksTowardsTheLeftWithThePictureStandingStill) {
    const CRect rect{100, 100, 500, 200};
    struct Step {
        float p;
        float right;
    };
    // An out effect's progress falls from 1 to 0.
    const Step steps[] = {{1.0f, 500}, {0.75f, 400}, {0.5f, 300}, {0.25f, 200}, {0.0f, 100}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.p);
        const EffectGeometry g = ComputeEffect(20, s.p, rect);
        ExpectGeometry(g, {100, 100, s.right, 200}, {0, 0, s.p, 1});
        // Output pixels per picture width stay at the rectangle's width: nothing scales.
        if (s.p > 0) {
            EXPECT_EQ((g.Dest[2] - g.Dest[0]) / (g.Window[2] - g.Window[0]), 400.0f);
        }
    }
}

TEST(Effects, DestRoundsHalvesUpwards) {
    struct Case {
        int id;
        float p;
        CRect rect;
        float dest[4];
    };
    const Case cases[] = {
        {9, 0.5f, {0, 0, 5, 5}, {0, 0, 3, 5}},       // 2.5 -> 3, not to even
        {9, 0.5f, {0, 0, 3, 3}, {0, 0, 2, 3}},       // 1.5 -> 2
        {10, 0.5f, {0, 0, 5, 5}, {3, 0, 5, 5}},      // 2.5 -> 3
        {11, 0.5f, {0, 0, 7, 7}, {0, 0, 7, 4}},      // 3.5 -> 4
        {12, 0.5f, {0, 0, 7, 7}, {0, 4, 7, 7}},      // 3.5 -> 4
        {9, 0.5f, {-3, -3, 0, 0}, {-3, -3, -1, 0}},  // -1.5 -> -1, not away from zero
        {10, 0.5f, {-3, -3, 0, 0}, {-1, -3, 0, 0}},  // -1.5 -> -1
        {10, 0.5f, {-5, 0, 0, 1}, {-2, 0, 0, 1}},    // -2.5 -> -2
        {17, 0.5f, {0, 0, 3, 3}, {1, 0, 3, 3}},      // w2 1: 0.5 -> 1, 2.5 -> 3
        {18, 0.5f, {0, 0, 3, 3}, {0, 1, 3, 3}},      // h2 1: 0.5 -> 1, 2.5 -> 3
        {19, 0.25f, {0, 0, 5, 5}, {2, 2, 4, 4}},     // w2 h2 2: 1.5 -> 2, 3.5 -> 4
        {17, 0.0f, {0, 0, 1, 1}, {0, 0, 1, 1}},      // w2 0: a single column stays whole
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "id " << c.id << " p " << c.p << " width " << c.rect.Width());
        const EffectGeometry g = ComputeEffect(c.id, c.p, c.rect);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(g.Dest[i], c.dest[i]) << "coordinate " << i;
    }
}

// The arithmetic stays in 32-bit floats: 5 × 0.7f lies just below 3.5 but rounds to
// exactly 3.5 as a float and then up to 4, where double arithmetic would round it
// down to 3. Likewise 5 − 5 × 0.3f becomes exactly 3.5 and rounds up.
TEST(Effects, ProductsAreTakenInSinglePrecision) {
    struct Case {
        int id;
        float p;
        float dest[4];
    };
    const Case cases[] = {
        {1, 0.7f, {0, 0, 4, 5}},
        {9, 0.7f, {0, 0, 4, 5}},
        {20, 0.7f, {0, 0, 4, 5}},
        {3, 0.7f, {0, 0, 5, 4}},
        {2, 0.3f, {4, 0, 5, 5}},
        {10, 0.3f, {4, 0, 5, 5}},
        {21, 0.3f, {4, 0, 5, 5}},
        {4, 0.3f, {0, 4, 5, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "id " << c.id << " p " << c.p);
        const EffectGeometry g = ComputeEffect(c.id, c.p, CRect{0, 0, 5, 5});
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(g.Dest[i], c.dest[i]) << "coordinate " << i;
    }
}

TEST(Effects, WindowIsNotRounded) {
    const EffectGeometry g = ComputeEffect(20, 0.3f, CRect{0, 0, 10, 10});
    EXPECT_EQ(g.Window[2], 0.3f);
    EXPECT_EQ(g.Dest[2], 3.0f);
    const EffectGeometry c = ComputeEffect(30, 0.1f, CRect{0, 0, 10, 10});
    EXPECT_EQ(c.Window[0], 0.5f - 0.1f / 2);
    EXPECT_EQ(c.Window[3], 0.5f + 0.1f / 2);
}

TEST(Effects, ZeroSizedRectanglesGiveZeroSizedDest) {
    const CRect rects[] = {{50, 60, 50, 60}, {50, 60, 50, 160}, {50, 60, 250, 60}, {0, 0, 0, 0}};
    for (const CRect& rect : rects) {
        for (int id = -1; id <= EffectCount; ++id) {
            for (float p : {0.0f, 0.3f, 0.5f, 1.0f}) {
                SCOPED_TRACE(testing::Message() << "id " << id << " p " << p << " size " << rect.Width() << "x"
                                                << rect.Height());
                const EffectGeometry g = ComputeEffect(id, p, rect);
                if (rect.Width() == 0) {
                    EXPECT_EQ(g.Dest[0], float(rect.left));
                    EXPECT_EQ(g.Dest[2], float(rect.left));
                }
                if (rect.Height() == 0) {
                    EXPECT_EQ(g.Dest[1], float(rect.top));
                    EXPECT_EQ(g.Dest[3], float(rect.top));
                }
                for (int i = 0; i < 4; ++i) {
                    EXPECT_TRUE(std::isfinite(g.Dest[i])) << i;
                    EXPECT_TRUE(std::isfinite(g.Window[i])) << i;
                }
            }
        }
    }
}

namespace {

// Which edges of the output rectangle an id moves; the family decides the window.
struct EdgeMotion {
    int id;
    bool left, top, right, bottom;
};

// Fractions of the rectangle covered: where Dest's edges lie inside the object.
struct Fractions {
    float left, top, right, bottom;
};

Fractions CoveredPart(const EffectGeometry& g, const CRect& r) {
    return {(g.Dest[0] - r.left) / r.Width(), (g.Dest[1] - r.top) / r.Height(), (g.Dest[2] - r.left) / r.Width(),
            (g.Dest[3] - r.top) / r.Height()};
}

// Every Dest here is exact: W 400 and H 200 give whole products at these p.
const CRect kFamilyRect{40, 20, 440, 220};
const float kFamilyProgress[] = {0.25f, 0.5f, 0.75f};

void ExpectMoves(const EffectGeometry& g, const EdgeMotion& m) {
    EXPECT_EQ(g.Dest[0] != kFamilyRect.left, m.left);
    EXPECT_EQ(g.Dest[1] != kFamilyRect.top, m.top);
    EXPECT_EQ(g.Dest[2] != kFamilyRect.right, m.right);
    EXPECT_EQ(g.Dest[3] != kFamilyRect.bottom, m.bottom);
}

}  // namespace

// A slide shows the far part of the picture: the window is as large as the covered
// part and sits on the picture's side opposite to where the rectangle is anchored.
TEST(EffectFamilies, SlideShowsTheFarPart) {
    const EdgeMotion slides[] = {
        {1, false, false, true, false}, {2, true, false, false, false}, {3, false, false, false, true},
        {4, false, true, false, false}, {5, false, false, true, true},   {6, true, false, false, true},
        {7, false, true, true, false},  {8, true, true, false, false},
    };
    for (const EdgeMotion& m : slides) {
        for (float p : kFamilyProgress) {
            SCOPED_TRACE(testing::Message() << "id " << m.id << " p " << p);
            const EffectGeometry g = ComputeEffect(m.id, p, kFamilyRect);
            ExpectMoves(g, m);
            const Fractions f = CoveredPart(g, kFamilyRect);
            EXPECT_EQ(g.Window[0], 1 - f.right);
            EXPECT_EQ(g.Window[1], 1 - f.bottom);
            EXPECT_EQ(g.Window[2], 1 - f.left);
            EXPECT_EQ(g.Window[3], 1 - f.top);
        }
    }
}

// A stretch squeezes the whole picture into the covered part.
TEST(EffectFamilies, StretchShowsTheWholePicture) {
    const EdgeMotion stretches[] = {
        {9, false, false, true, false}, {10, true, false, false, false}, {11, false, false, false, true},
        {12, false, true, false, false}, {13, false, false, true, true},  {14, true, false, false, true},
        {15, false, true, true, false}, {16, true, true, false, false},   {17, true, false, true, false},
        {18, false, true, false, true}, {19, true, true, true, true},
    };
    for (const EdgeMotion& m : stretches) {
        for (float p : kFamilyProgress) {
            SCOPED_TRACE(testing::Message() << "id " << m.id << " p " << p);
            const EffectGeometry g = ComputeEffect(m.id, p, kFamilyRect);
            ExpectMoves(g, m);
            EXPECT_LT(g.Dest[2] - g.Dest[0] + g.Dest[3] - g.Dest[1],
                      float(kFamilyRect.Width() + kFamilyRect.Height()));
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(g.Window[i], i < 2 ? 0.0f : 1.0f) << i;
        }
    }
}

// A reveal shows the part of the picture that lies under the covered part.
TEST(EffectFamilies, RevealShowsThePartUnderTheRectangle) {
    const EdgeMotion reveals[] = {
        {20, false, false, true, false}, {21, true, false, false, false}, {22, false, false, false, true},
        {23, false, true, false, false}, {24, false, false, true, true},  {25, true, false, false, true},
        {26, false, true, true, false},  {27, true, true, false, false},  {28, true, false, true, false},
        {29, false, true, false, true},  {30, true, true, true, true},
    };
    for (const EdgeMotion& m : reveals) {
        for (float p : kFamilyProgress) {
            SCOPED_TRACE(testing::Message() << "id " << m.id << " p " << p);
            const EffectGeometry g = ComputeEffect(m.id, p, kFamilyRect);
            ExpectMoves(g, m);
            const Fractions f = CoveredPart(g, kFamilyRect);
            EXPECT_EQ(g.Window[0], f.left);
            EXPECT_EQ(g.Window[1], f.top);
            EXPECT_EQ(g.Window[2], f.right);
            EXPECT_EQ(g.Window[3], f.bottom);
        }
    }
}

TEST(BarGraph, ShownEffectChoice) {
    struct Case {
        int inEffect;
        CRect rect;
        int expected;
    };
    const Case cases[] = {
        {0, {0, 0, 500, 50}, 20},     // wide: grows from the left
        {0, {0, 0, 50, 500}, 23},     // tall: grows from the bottom
        {0, {10, 10, 60, 60}, 20},    // square counts as not narrower
        {0, {0, 0, 49, 50}, 23},      // one pixel narrower than tall
        {0, {0, 0, 0, 0}, 20},        // empty
        {0, {0, 0, 0, 10}, 23},       // zero width
        {5, {0, 0, 50, 500}, 5},      // a chosen in effect is kept
        {21, {0, 0, 500, 50}, 21},    //
        {23, {0, 0, 500, 50}, 23},    //
        {30, {0, 0, 50, 500}, 30},    //
        {1, {0, 0, 500, 50}, 1},      //
        {-1, {0, 0, 50, 500}, 23},    // an id that draws as a cut gets the cut's choice
        {31, {0, 0, 500, 50}, 20},    //
        {1000, {0, 0, 50, 500}, 23},  //
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "in " << c.inEffect << " size " << c.rect.Width() << "x" << c.rect.Height());
        EXPECT_EQ(BarGraphShownEffect(c.inEffect, c.rect), c.expected);
    }
}

TEST(BarGraph, ShareOfAShownBar) {
    struct Case {
        const char* what;
        CRect rect;
        int barValue;  // percentage plus 1, as read from the source
        float dest[4];
        float window[4];
    };
    const Case cases[] = {
        {"40 % of a wide bar", {100, 300, 600, 350}, 41, {100, 300, 300, 350}, {0, 0, 0.4f, 1}},
        {"40 % of a tall bar", {0, 0, 50, 500}, 41, {0, 300, 50, 500}, {0, 0.6f, 1, 1}},
        {"empty wide bar", {100, 300, 600, 350}, 1, {100, 300, 100, 350}, {0, 0, 0, 1}},
        {"full wide bar", {100, 300, 600, 350}, 101, {100, 300, 600, 350}, {0, 0, 1, 1}},
        {"full tall bar", {0, 0, 50, 500}, 101, {0, 0, 50, 500}, {0, 0, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // While shown the progress is 1 times the share.
        const float p = 1.0f * (float(c.barValue - 1) / 100.0f);
        const EffectGeometry g = ComputeEffect(BarGraphShownEffect(0, c.rect), p, c.rect);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(g.Dest[i], c.dest[i]) << i;
            EXPECT_FLOAT_EQ(g.Window[i], c.window[i]) << i;
        }
    }
}
