// What the analysis view needs from the window that shows it. The view never
// calls a toolkit; the desktop program's window, the render tool and the tests
// each implement this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sound_source.h"

namespace vocalume {

// Values the Configuration dialog exchanges, as the dialog holds them: the
// two drop-down lists as texts, the two check boxes as 0 or 1, the colours
// as the index of the chosen entry (0 standard, 1 colour-blind safe).
struct ConfigValues {
    std::string refresh;
    std::string sampling;
    int timescale = 0;
    int waveform = 0;
    int palette = 0;
    // The low-latency picture: 1 on, 0 off.
    int lowLatency = 0;
    // The Input group: the inputs there are (the default input not among
    // them), the chosen one's name (empty: the default input), and the
    // minutes of session kept, as text.
    std::vector<InputChoice> inputs{};
    std::string input{};
    std::string history{};
};

// Values View › Target note… exchanges, as its dialog holds them: the index
// of the chosen entry of each list (the notes, "No target" first; the cents
// allowed), -1 for none.
struct TargetValues {
    int note = 0;
    int cents = -1;
};

// The status bar's fields, left to right.
enum class StatusField : int {
    State = 0,     // Recording, Paused, Looking back, Playing; why playing failed
    Input = 1,     // the microphone
    Position = 2,  // the session's length, or where looking back stands
    Readout = 3,   // the pitch readout, while the pitch line is on
    Model = 4,     // the model shown
    Scores = 5,    // the last take's scores against the model
};
inline constexpr int kStatusFields = 6;

// The user's answer to "Save the recording?".
enum class SaveAnswer { Save, DontSave, Cancel };

class ViewHost {
public:
    virtual ~ViewHost() = default;
    // Ask for a paint soon: the view's surface has an invalid region.
    virtual void RequestPaint() = 0;
    // Timer 1, the pause timer: delivers OnTimer after `milliseconds`.
    virtual void SetPauseTimer(int milliseconds) = 0;
    virtual void KillPauseTimer() = 0;
    // Timer 2, the play timer: delivers OnPlayTimer every `milliseconds`
    // until killed.
    virtual void SetPlayTimer(int milliseconds) { (void)milliseconds; }
    virtual void KillPlayTimer() {}
    // Timer 3, the review timer: delivers OnReviewTimer every `milliseconds`
    // until killed. A host without it never shows a take's review.
    virtual void SetReviewTimer(int milliseconds) { (void)milliseconds; }
    virtual void KillReviewTimer() {}
    // Ask for a paint soon of the picture's columns `left` to `right` only.
    virtual void RequestPaintColumns(int left, int right)
    {
        (void)left;
        (void)right;
        RequestPaint();
    }
    // A modal message with an exclamation icon and an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // Shows the Configuration dialog modally with `values`; true on OK, with
    // `values` holding what the user chose.
    virtual bool RunConfigDialog(ConfigValues& values) = 0;
    // Shows View › Target note…'s dialog modally with `values`; true on OK.
    // A host without it never sets a target.
    virtual bool RunTargetDialog(TargetValues& values)
    {
        (void)values;
        return false;
    }
    // Called on a sound thread whenever the device has news (a capture buffer
    // is done, or the device was lost); the host must arrange for the view's
    // OnWimData to run on the UI thread, once per notice, in order.
    virtual void PostBufferDone() = 0;

    // Shows `text` in one field of the status bar.
    virtual void SetStatusText(StatusField field, const std::string& text)
    {
        (void)field;
        (void)text;
    }
    // The scroll bar under the picture, in frames: `position` is the first
    // frame shown, `page` the frames the picture holds, `range` all frames.
    virtual void ShowScrollBar(bool shown, int64_t position, int64_t page, int64_t range)
    {
        (void)shown;
        (void)position;
        (void)page;
        (void)range;
    }
    // The file the session was opened from or saved to, for the window's
    // title; empty for a new session.
    virtual void ShowSessionName(const std::string& name) { (void)name; }
    // A question with Yes and No buttons; true for Yes.
    virtual bool AskYesNo(const std::string& question)
    {
        (void)question;
        return true;
    }
    // Before unsaved sound would be dropped: "Save the recording?" with
    // Save (the default), Don't save and Cancel.
    virtual SaveAnswer AskSaveRecording() { return SaveAnswer::DontSave; }
    // File > Save recording as the user does it (choosing the file); true
    // when the recording was saved.
    virtual bool SaveRecordingAs() { return false; }
};

}  // namespace vocalume
