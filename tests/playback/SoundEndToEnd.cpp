#include <gtest/gtest.h>
TEST(SoundEndToEnd, Placeholder) {}
