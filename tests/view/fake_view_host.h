// A window in memory for the view and its parts: it keeps what it is told
// (paints asked for, timers, messages, status texts, the scroll bar) and
// answers the dialog and the questions as the test sets.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "view_host.h"

namespace vocalume {

class FakeHost : public ViewHost {
public:
    void RequestPaint() override { ++paintRequests; }
    void RequestPaintColumns(int left, int right) override { columnsPainted.push_back({left, right}); }
    void SetPauseTimer(int milliseconds) override
    {
        timerSets.push_back(milliseconds);
        timerSet = true;
    }
    void KillPauseTimer() override
    {
        ++timerKills;
        timerSet = false;
    }
    void SetPlayTimer(int milliseconds) override { playTimer = milliseconds; }
    void KillPlayTimer() override { playTimer = 0; }
    void SetReviewTimer(int milliseconds) override { reviewTimer = milliseconds; }
    void KillReviewTimer() override { reviewTimer = 0; }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool RunConfigDialog(ConfigValues& values) override
    {
        ++dialogs;
        offered = values;
        if (!dialogOk)
            return false;
        values = answer;
        return true;
    }
    bool RunTargetDialog(TargetValues& values) override
    {
        targetOffered = values;
        if (!targetAnswer)
            return false;
        values = *targetAnswer;
        return true;
    }
    void PostBufferDone() override { ++buffersPosted; }
    void SetStatusText(StatusField field, const std::string& text) override
    {
        status[field] = text;
        ++statusChanges;
    }
    void ShowScrollBar(bool shown, int64_t position, int64_t page, int64_t range) override
    {
        scrollBar = shown;
        scrollPosition = position;
        (void)page;
        (void)range;
    }
    void ShowSessionName(const std::string& name) override { title = name; }
    bool AskYesNo(const std::string& question) override
    {
        questions.push_back(question);
        return yes;
    }
    SaveAnswer AskSaveRecording() override
    {
        ++saveQuestions;
        return saveAnswer;
    }
    bool SaveRecordingAs() override { return saveAs && saveAs(); }

    int paintRequests = 0;
    std::vector<std::pair<int, int>> columnsPainted;
    std::vector<int> timerSets;
    bool timerSet = false;
    int timerKills = 0;
    int playTimer = 0;
    int reviewTimer = 0;
    std::vector<std::string> messages;
    int dialogs = 0;
    bool dialogOk = true;
    ConfigValues offered;
    ConfigValues answer;
    TargetValues targetOffered;
    // View › Target note…'s answer; none: cancelled.
    std::optional<TargetValues> targetAnswer;
    std::atomic<int> buffersPosted{0};
    std::map<StatusField, std::string> status;
    int statusChanges = 0;
    bool scrollBar = false;
    int64_t scrollPosition = 0;
    std::vector<std::string> questions;
    bool yes = true;
    int saveQuestions = 0;
    SaveAnswer saveAnswer = SaveAnswer::DontSave;
    // Save recording as the user would do it; none: nothing is saved.
    std::function<bool()> saveAs;
    std::string title;
};

}  // namespace vocalume
