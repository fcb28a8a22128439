// The decoded frames kept beside the encoded ones: how many, which go first, and that pixels
// handed out are never written under a reader nor served for a frame that changed.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "DocTestUtil.h"
#include "document/FrameCache.h"

using namespace doctest;

namespace {

CompactImage Frame(int value, int width = 8, int height = 2) {
    return CompactImage::Filled(width, height, static_cast<unsigned char>(value));
}

}  // namespace

TEST(FrameCache, CapacityIsSixteenFramesOrWhatFitsIn256MegabytesButTenWhileTheyFitIn512) {
    struct Case {
        int width, height, capacity;
    } cases[] = {
        {1028, 768, 16}, {4096, 2160, 16}, {6000, 5000, 10},  {8192, 4096, 10}, {7328, 7326, 10},
        {7328, 7327, 4}, {8192, 8192, 4},  {10004, 10000, 3}, {1, 1, 16},       {0, 0, 16},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FrameCache::CapacityFor(c.width, c.height), c.capacity)
            << c.width << "x" << c.height;
        FrameCache cache;
        cache.SetFrameSize(c.width, c.height);
        EXPECT_EQ(cache.Capacity(), c.capacity);
    }
}

TEST(FrameCache, TheLeastRecentlyUsedFrameGoesFirst) {
    FrameCache cache;
    cache.SetFrameSize(8, 2);
    std::vector<CompactImage> frames;
    std::vector<std::shared_ptr<const GrayImage>> seen;
    for (int i = 0; i < 16; ++i) {
        frames.push_back(Frame(i));
        seen.push_back(cache.Get(frames.back()));
        ASSERT_TRUE(seen.back());
        EXPECT_EQ(Pixels(seen.back()), QByteArray(16, static_cast<char>(i)));
    }
    EXPECT_EQ(cache.Count(), 16);
    EXPECT_EQ(cache.Bytes(), 16u * 16u);
    // Frame 0 is used again, so frame 1 is the oldest when frame 16 comes.
    EXPECT_EQ(cache.Get(frames[0]), seen[0]);
    frames.push_back(Frame(16));
    ASSERT_TRUE(cache.Get(frames[16]));
    EXPECT_EQ(cache.Count(), 16);
    EXPECT_EQ(cache.Get(frames[0]), seen[0]);
    for (int i = 2; i < 16; ++i) EXPECT_EQ(cache.Get(frames[i]), seen[i]) << i;
    // Frame 1 is decoded again, into pixels of its own: its old ones are still being read.
    const std::shared_ptr<const GrayImage> again = cache.Get(frames[1]);
    EXPECT_NE(again, seen[1]);
    EXPECT_EQ(Pixels(again), QByteArray(16, 1));
    EXPECT_EQ(Pixels(seen[1]), QByteArray(16, 1));
    cache.Clear();
    EXPECT_EQ(cache.Count(), 0);
}

TEST(FrameCache, TakeGivesPixelsOfItsOwnWhileSomeoneStillReadsThem) {
    FrameCache cache;
    cache.SetFrameSize(8, 2);
    const CompactImage frame = Frame(40);
    std::shared_ptr<const GrayImage> reader = cache.Get(frame);
    const GrayImage* kept = reader.get();
    std::shared_ptr<GrayImage> writer = cache.Take(frame);
    ASSERT_TRUE(writer);
    EXPECT_NE(writer.get(), kept);
    EXPECT_EQ(cache.Count(), 0);
    writer->Fill(0);
    EXPECT_EQ(Pixels(reader), QByteArray(16, 40));
    // No reader left: the kept pixels themselves go to the writer.
    cache.Put(frame, std::const_pointer_cast<GrayImage>(reader));
    reader.reset();
    writer = cache.Take(frame);
    EXPECT_EQ(writer.get(), kept);
    EXPECT_EQ(Pixels(*writer), QByteArray(16, 40));
    // A frame not kept is decoded for the writer.
    EXPECT_EQ(Pixels(*cache.Take(Frame(7))), QByteArray(16, 7));
    EXPECT_FALSE(cache.Take(CompactImage()));
    EXPECT_FALSE(cache.Get(CompactImage()));
}

TEST(FrameCache, AFrameThatChangedIsNeverServedStale) {
    FrameCache cache;
    cache.SetFrameSize(8, 2);
    // Encodings made and dropped one after the other, as a frame changes: each is served its
    // own pixels, whatever address the next one gets.
    for (int v = 0; v < 40; ++v)
        EXPECT_EQ(Pixels(cache.Get(Frame(v))), QByteArray(16, static_cast<char>(v))) << v;
    // Equal pixels encoded anew are another frame as far as the cache knows.
    const CompactImage a = Frame(5);
    const std::shared_ptr<const GrayImage> pa = cache.Get(a);
    EXPECT_NE(cache.Get(Frame(5)), pa);
    EXPECT_EQ(cache.Get(a), pa);
}

// Through the document: a stroke re-encodes its frame only, with exactly the drawn pixels, and
// pixels borrowed before it stay as they were.
TEST(FrameCache, AStrokeEncodesOnlyItsFrameAnew) {
    CLumvaneDoc doc;
    MakeAnimation(doc, 40, 20, {10, 20, 30});
    doc.m_nCurrentFrame = 1;
    const std::vector<CompactImage> kept(doc.m_frames, doc.m_frames + 3);
    const std::shared_ptr<const GrayImage> before = doc.FramePixels(1);
    GrayImage expect;
    ASSERT_TRUE(kept[1].Decode(expect));
    const BrushStamp& brush = doc.ActiveBrush();
    expect.DrawStamp(brush, 5, 20 - 6, 0, 255);
    expect.DrawLine(brush, 5, 20 - 6, 30, 20 - 12, 0, 200);
    ASSERT_NE(Pixels(expect), QByteArray(800, 20));
    ASSERT_EQ(doc.BeginStroke(), 1);
    doc.StrokeDab(5, 6, 255);
    doc.StrokeLine(5, 6, 30, 12, 200);
    // While the stroke goes on the frame is served as it is now; it is encoded at the end.
    EXPECT_EQ(Pixels(doc.FramePixels(1)), Pixels(expect));
    EXPECT_TRUE(doc.m_frames[1].SameAs(kept[1]));
    doc.EndStroke();
    EXPECT_TRUE(doc.m_frames[0].SameAs(kept[0]));
    EXPECT_TRUE(doc.m_frames[2].SameAs(kept[2]));
    EXPECT_FALSE(doc.m_frames[1].SameAs(kept[1]));
    EXPECT_EQ(Pixels(doc.m_frames[1]), Pixels(expect));
    EXPECT_EQ(Pixels(doc.FramePixels(1)), Pixels(expect));
    EXPECT_EQ(Pixels(before), QByteArray(800, 20));
    // Undo gives the frame back its pixels, as a new encoding again.
    doc.OnEditUndo();
    EXPECT_EQ(Pixels(doc.m_frames[1]), QByteArray(800, 20));
    EXPECT_TRUE(doc.m_frames[0].SameAs(kept[0]));
    EXPECT_TRUE(doc.m_frames[2].SameAs(kept[2]));
}
