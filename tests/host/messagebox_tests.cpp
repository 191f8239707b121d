#include "host/messagebox.h"

#include <gtest/gtest.h>

using namespace host;

namespace {

TEST(MessageBox, QuestionStyleAsksYesOrNo) {
    const BoxLayout layout = LayoutForStyle(BoxYesNo | BoxIconQuestion);
    ASSERT_EQ(layout.buttonCount, 2);
    EXPECT_EQ(layout.buttons[0], IdYes);
    EXPECT_EQ(layout.buttons[1], IdNo);
    EXPECT_EQ(layout.icon, BoxIcon::Question);
    EXPECT_TRUE(layout.taskModal);
    EXPECT_FALSE(LayoutForStyle(BoxSystemModal).taskModal);
}

TEST(MessageBox, ResultIsTheButtonIdMinusOne) {
    const std::pair<int, int> cases[] = {{IdYes, 5}, {IdNo, 6}, {IdOk, 0},
                                         {0, 0},     {99, 0},   {-1, 0}};
    for (const auto& [button, result] : cases)
        EXPECT_EQ(ButtonResult(button), result) << button;
}

} // namespace
