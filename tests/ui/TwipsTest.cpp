#include <gtest/gtest.h>

#include "ui/Twips.h"

using namespace ostrel::ui;

TEST(Twips, AControlFollowsTheEdgesItIsAnchoredTo) {
    struct Case {
        int anchors;
        QSize extra;
        QRect expected;
    };
    const QRect drawn(10, 20, 100, 30);
    // clang-format off
    const Case cases[] = {
        {kLeft | kTop,             {50, 40},   drawn},
        {kAllEdges,                {50, 40},   {10, 20, 150, 70}},
        {kTop | kRight,            {50, 40},   {60, 20, 100, 30}},
        {kRight | kBottom,         {50, 40},   {60, 60, 100, 30}},
        {kLeft | kRight | kBottom, {50, 40},   {10, 60, 150, 30}},
        {kAllEdges,                {-20, -10}, {10, 20, 80, 20}},
    };
    // clang-format on
    for (const Case& c : cases) EXPECT_EQ(anchoredRect(drawn, c.anchors, c.extra), c.expected) << c.anchors;
}
