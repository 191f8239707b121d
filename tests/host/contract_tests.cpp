#include "host/fatalerror.h"
#include "host/propertyvalue.h"
#include "host/templatecheck.h"
#include "host/traytip.h"
#include "text/codepage.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace host {
namespace {

TEST(PropertyValueTest, ClampsSizesPositionsAndLeavesOthers) {
    struct Case {
        int property;
        std::int64_t written;
        std::int64_t stored;
    } const cases[] = {
        {PropWidth, 796, 796},     {PropWidth, -1, 0},         {PropWidth, 32627, 32627},
        {PropWidth, 32628, 32627}, {PropHeight, INT64_MIN, 0}, {PropHeight, INT64_MAX, 32627},
        {PropLeft, -1, -1},        {PropLeft, -40000, -32627}, {PropTop, 40000, 32627},
        {PropTop, -32627, -32627}, {PropVisible, 7, 7},        {PropWindowState, -5, -5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClampPropertyValue(c.property, c.written), c.stored)
            << "property " << c.property << " written " << c.written;
}

TEST(TrayTipTest, CutsAfterSixtyTwoBytesWithoutSplittingACharacter) {
    const std::string ascii62(62, 'a');
    const std::string wide = text::Gbk(u8"种"); // two bytes
    ASSERT_EQ(wide.size(), 2u);
    struct Case {
        std::string tip;
        std::string expected;
    } const cases[] = {
        {"", ""},
        {"Lodestone", "Lodestone"},
        {ascii62, ascii62},
        {ascii62 + "b", ascii62},
        // 60 ASCII bytes and a double-byte character end exactly at 62.
        {std::string(60, 'a') + wide + "z", std::string(60, 'a') + wide},
        // A double-byte character across the cut is dropped whole.
        {std::string(61, 'a') + wide, std::string(61, 'a')},
        // A lone lead byte at the very end counts as one byte.
        {std::string(10, 'a') + "\xB7", std::string(10, 'a') + "\xB7"},
    };
    for (const Case& c : cases) {
        const text::Text tip = TrayTip(c.tip);
        EXPECT_EQ(tip, c.expected) << "tip of " << c.tip.size() << " bytes";
        EXPECT_LE(tip.size(), 62u);
    }
    // Thirty-one double-byte characters fill the 62 bytes exactly.
    std::string chinese;
    for (int i = 0; i < 40; ++i)
        chinese += wide;
    EXPECT_EQ(TrayTip(chinese), chinese.substr(0, 62));
}

TEST(FatalErrorTest, LaysOutCodeAndMessageWithCrLfBreaks) {
    const text::Text head = text::Gbk(u8"运行时出错!") + "\r\n\r\n";
    EXPECT_EQ(FatalErrorText(std::nullopt, ""), head);
    EXPECT_EQ(FatalErrorText(std::nullopt, text::Gbk(u8"载入启动窗口失败")),
              head + text::Gbk(u8"错误信息：载入启动窗口失败") + "\r\n");
    EXPECT_EQ(FatalErrorText(6, text::Gbk(u8"调用DLL命令后发现堆栈错误")),
              head + text::Gbk(u8"错误代码：6") + "\r\n\r\n" +
                  text::Gbk(u8"错误信息：调用DLL命令后发现堆栈错误") + "\r\n");
    EXPECT_EQ(FatalErrorText(-2, ""), head + text::Gbk(u8"错误代码：-2") + "\r\n\r\n");
    EXPECT_EQ(FatalErrorCaption(), text::Gbk(u8"错误"));
}

WindowTemplate Window(int id, std::initializer_list<int> units) {
    WindowTemplate window;
    window.window = id;
    for (int unit : units) {
        ComponentTemplate component;
        component.unit = unit;
        window.components.push_back(component);
    }
    return window;
}

TEST(TemplateCheckTest, RejectsMissingOrRepeatedIdentifiers) {
    EXPECT_TRUE(TemplatesWellFormed({}));
    EXPECT_TRUE(TemplatesWellFormed({Window(1, {1, 2, 3}), Window(2, {1})}));
    EXPECT_FALSE(TemplatesWellFormed({Window(1, {}), Window(1, {})}));
    EXPECT_FALSE(TemplatesWellFormed({Window(0, {})}));
    EXPECT_FALSE(TemplatesWellFormed({Window(1, {1, 1})}));
    EXPECT_FALSE(TemplatesWellFormed({Window(1, {0})}));
}

} // namespace
} // namespace host
