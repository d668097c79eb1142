// The progress log: one line for every take scored against a model, with the
// date and the model's name, kept as comma-separated text in the user's data
// folder, so that a learner (or their clinician) can see the scores move over
// weeks. A line is added whole or not at all, and lines written by another
// version of the program (other columns, a line cut short) are read as far
// as they can be and never lost.
//
// Any thread; adding lines to one log from two threads at once is safe.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "take_scores.h"

namespace vocalume {

struct ProgressEntry {
    std::string when;   // local time, "2024-05-17 14:03:09"
    std::string model;  // the model's name, as the status bar shows it
    TakeScores scores;
};

// $XDG_DATA_HOME/vocalume/progress.csv, or ~/.local/share/vocalume/progress.csv
// where XDG_DATA_HOME is not set; empty when neither it nor HOME is.
std::string DefaultProgressLogPath();

// "2024-05-17 14:03:09", the local time of `moment`.
std::string LocalTimeText(std::time_t moment);

// Adds `entry` to the log at `path`, making its folder and its header row
// when there is none yet. Returns an empty string on success, else one line
// saying what went wrong; the log is then as it was.
std::string AppendProgress(const std::string& path, const ProgressEntry& entry);

// Reads every well-formed line of the log at `path` into `entries`, in the
// order written. A log that does not exist yet holds no lines. Returns an
// empty string on success, else why the log could not be read.
std::string ReadProgress(const std::string& path, std::vector<ProgressEntry>& entries);

}  // namespace vocalume
