#pragma once
// Boxes, the clipboard and downloads, recorded; boxes answer from a list.

#include "host/notices.h"

#include <deque>
#include <functional>
#include <vector>

namespace fakes {

class FakeNotices final : public host::Notices {
  public:
    struct Box {
        text::Text content;
        int style = 0;
        text::Text caption;
    };
    // Results of ShowMessageBox, taken in order; when empty, boxes answer 0.
    std::deque<int> boxAnswers;
    // Runs inside every box, standing for the events the user causes while it
    // is open (nested handlers).
    std::function<void()> duringBox;

    std::vector<Box> boxes;
    std::vector<text::Text> clipboard;
    std::vector<text::Text> downloads;

    int ShowMessageBox(const text::Text& content, int style, const text::Text& caption) override {
        boxes.push_back({content, style, caption});
        if (duringBox)
            duringBox();
        if (boxAnswers.empty())
            return 0;
        const int answer = boxAnswers.front();
        boxAnswers.pop_front();
        return answer;
    }
    bool SetClipboardText(const text::Text& text) override {
        clipboard.push_back(text);
        return true;
    }
    void StartDownload(const text::Text& url) override { downloads.push_back(url); }
};

} // namespace fakes
