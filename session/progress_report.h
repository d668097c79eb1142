// The progress report: one HTML file, for a learner or their clinician, with
// a section for each model practised (the most recent first), a table of each
// day's middle scores and a chart of every score over the takes, day by day.
// The charts are SVG drawn into the page; the file loads nothing from
// elsewhere and runs no script, so it reads offline, mails as it is and
// prints on paper.
//
// Pure functions and a file writer; any thread.
#pragma once

#include <string>
#include <vector>

#include "progress_log.h"

namespace vocalume {

// The report of `entries` (as ReadProgress gives them), saying it was made at
// `madeAt`. The same entries give the same text.
std::string ProgressReportHtml(const std::vector<ProgressEntry>& entries, const std::string& madeAt);

// Writes that report to `path`, whole or not at all. Returns an empty string
// on success, else one line saying what went wrong.
std::string WriteProgressReport(const std::string& path, const std::vector<ProgressEntry>& entries,
                                const std::string& madeAt);

}  // namespace vocalume
