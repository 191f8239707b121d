#include "net/ownermessagebox.h"

#include "fakedesktop.h"
#include "host/messagebox.h"
#include "text/codepage.h"

#include <gtest/gtest.h>

namespace {

using fakes::FakeDesktop;

constexpr std::uint32_t OtherProcess = 7;

class OwnerMessageBoxTest : public testing::Test {
  protected:
    FakeDesktop desktop;
    const std::uint32_t self = desktop.CurrentProcessId();
};

TEST_F(OwnerMessageBoxTest, ListsOnlyVisibleWindowsTopmostFirst) {
    desktop.windows = {{10, true, OtherProcess}, {11, false, self}, {12, true, self}};
    net::WindowList list{{99, 99}};
    EXPECT_EQ(net::ListVisibleWindows(desktop, list), 2);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].window, 10u);
    EXPECT_EQ(list[0].processId, OtherProcess);
    EXPECT_EQ(list[1].window, 12u);
}

TEST_F(OwnerMessageBoxTest, OwnerIsTheProcesssTopmostVisibleWindow) {
    desktop.windows = {{10, true, OtherProcess}, {20, true, self}, {21, true, self}};
    EXPECT_EQ(net::FindProcessWindow(desktop, self), 20u);
    EXPECT_EQ(net::OwnerMessageBox(desktop, "m"), 0);
    ASSERT_EQ(desktop.ownedBoxes.size(), 1u);
    EXPECT_EQ(desktop.ownedBoxes[0].owner, 20u);
}

TEST_F(OwnerMessageBoxTest, HiddenClientGivesABoxWithoutOwner) {
    desktop.windows = {{10, true, OtherProcess}, {20, false, self}};
    net::OwnerMessageBox(desktop, "m");
    ASSERT_EQ(desktop.ownedBoxes.size(), 1u);
    EXPECT_EQ(desktop.ownedBoxes[0].owner, 0u);
}

TEST_F(OwnerMessageBoxTest, DefaultsAreInformationIconAndFriendlyTitle) {
    text::Text title;
    net::OwnerMessageBox(desktop, "m", std::nullopt, &title);
    const text::Text expected = text::Gbk(u8"友情提醒");
    EXPECT_EQ(title, expected);
    ASSERT_EQ(desktop.ownedBoxes.size(), 1u);
    EXPECT_EQ(desktop.ownedBoxes[0].caption, expected);
    EXPECT_EQ(desktop.ownedBoxes[0].style, 0x40);
    EXPECT_EQ(desktop.ownedBoxes[0].content, "m");
}

TEST_F(OwnerMessageBoxTest, GivenArgumentsAreUsedAsTheyStand) {
    text::Text title = "t";
    desktop.ownedBoxButton = host::IdNo;
    EXPECT_EQ(net::OwnerMessageBox(desktop, "m", host::BoxYesNo, &title, 5u), 6);
    EXPECT_EQ(title, "t");
    EXPECT_EQ(desktop.ownedBoxes[0].owner, 5u);
    EXPECT_EQ(desktop.ownedBoxes[0].style, host::BoxYesNo);
}

TEST_F(OwnerMessageBoxTest, BoxThatCannotBeShownGivesMinusOne) {
    desktop.ownedBoxButton = 0;
    EXPECT_EQ(net::OwnerMessageBox(desktop, "m"), -1);
}

} // namespace
