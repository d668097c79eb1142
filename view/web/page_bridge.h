// The few calls the browser edition's C++ makes into its page: the page's
// script (web/page.js) answers each of them on the page's own thread.
// Everything here is a thin call; what the calls mean is the view's.
#pragma once

#include <cstdint>
#include <string>

#include "sound_chunks.h"

namespace vocalume::page {

// Ask for a paint at the next animation frame: columns `left` to `right`, or
// all of them when `left` is negative.
void RequestPaint(int left, int right);
// Timer `id` delivers to vocalume_timer after `milliseconds`, once or again
// and again until killed.
void SetTimer(int id, int milliseconds, bool repeat);
void KillTimer(int id);
void ShowMessage(const std::string& text);
// A question with Yes and No: the answer when the page already has it for
// this question (the command is being run again after the user answered),
// else the page asks and false is returned for now.
bool AskYesNo(const std::string& question);
// The Configuration dialog, as the page shows it: `offer` describes the
// lists and what is chosen (JSON). Returns the user's choice (JSON) when the
// page has it for this offer, else shows the dialog and returns "".
std::string ConfigDialog(const std::string& offer);
// View › Target note…'s dialog the same way.
std::string TargetDialog(const std::string& offer);
void SetStatus(int field, const std::string& text);
void ShowScrollBar(bool shown, double position, double page, double range);
// The page's inputs as "name\tdescription\n" lines, the default not among
// them.
std::string Inputs();
// Ends the file work running for this page (Esc).
void CancelJob();

// The microphone, at `rate` where the browser can convert to it: 0 when it
// is being opened (its sound comes to vocalume_sound, at whatever rate, a
// failure to vocalume_microphone_lost), 1 when the browser offers no way to
// record, 2 when it is being opened but the chosen input is not there and the
// default one records.
int OpenMicrophone(const std::string& input, int32_t rate);
void CloseMicrophone();

// Plays `samples` from index `from` at `rate` samples a second: false when
// nothing can play. The page is handed the sound run by run.
bool Play(const SoundChunks& samples, int64_t from, int32_t rate);
void StopPlaying();
// The index of the sample heard now, and whether the end has been heard.
double HeardSample();
bool PlayFinished();

// The browser's local storage, by the desktop's section and key.
bool ReadSetting(const std::string& key, std::string& value);
void WriteSetting(const std::string& key, const std::string& value);

}  // namespace vocalume::page
