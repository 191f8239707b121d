#include "net/ownermessagebox.h"

#include "fakehost.h"
#include "host/messagebox.h"
#include "text/codepage.h"

#include <gtest/gtest.h>

namespace {

using fakes::FakeHost;

constexpr std::uint32_t OtherProcess = 7;

class OwnerMessageBoxTest : public testing::Test {
  protected:
    FakeHost host;
    const std::uint32_t self = host.CurrentProcessId();
};

TEST_F(OwnerMessageBoxTest, ListsOnlyVisibleWindowsTopmostFirst) {
    host.desktop = {{10, true, OtherProcess}, {11, false, self}, {12, true, self}};
    net::WindowList list{{99, 99}};
    EXPECT_EQ(net::ListVisibleWindows(host, list), 2);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].window, 10u);
    EXPECT_EQ(list[0].processId, OtherProcess);
    EXPECT_EQ(list[1].window, 12u);
}

TEST_F(OwnerMessageBoxTest, OwnerIsTheProcesssTopmostVisibleWindow) {
    host.desktop = {{10, true, OtherProcess}, {20, true, self}, {21, true, self}};
    EXPECT_EQ(net::FindProcessWindow(host, self), 20u);
    EXPECT_EQ(net::OwnerMessageBox(host, "m"), 0);
    ASSERT_EQ(host.ownedBoxes.size(), 1u);
    EXPECT_EQ(host.ownedBoxes[0].owner, 20u);
}

TEST_F(OwnerMessageBoxTest, HiddenClientGivesABoxWithoutOwner) {
    host.desktop = {{10, true, OtherProcess}, {20, false, self}};
    net::OwnerMessageBox(host, "m");
    ASSERT_EQ(host.ownedBoxes.size(), 1u);
    EXPECT_EQ(host.ownedBoxes[0].owner, 0u);
}

TEST_F(OwnerMessageBoxTest, DefaultsAreInformationIconAndFriendlyTitle) {
    text::Text title;
    net::OwnerMessageBox(host, "m", std::nullopt, &title);
    const text::Text expected = text::Gbk(u8"友情提醒");
    EXPECT_EQ(title, expected);
    ASSERT_EQ(host.ownedBoxes.size(), 1u);
    EXPECT_EQ(host.ownedBoxes[0].box.caption, expected);
    EXPECT_EQ(host.ownedBoxes[0].box.style, 0x40);
    EXPECT_EQ(host.ownedBoxes[0].box.content, "m");
}

TEST_F(OwnerMessageBoxTest, GivenArgumentsAreUsedAsTheyStand) {
    text::Text title = "t";
    host.ownedBoxButton = host::IdNo;
    EXPECT_EQ(net::OwnerMessageBox(host, "m", host::BoxYesNo, &title, 5u), 6);
    EXPECT_EQ(title, "t");
    EXPECT_EQ(host.ownedBoxes[0].owner, 5u);
    EXPECT_EQ(host.ownedBoxes[0].box.style, host::BoxYesNo);
}

TEST_F(OwnerMessageBoxTest, BoxThatCannotBeShownGivesMinusOne) {
    host.ownedBoxButton = 0;
    EXPECT_EQ(net::OwnerMessageBox(host, "m"), -1);
}

} // namespace
