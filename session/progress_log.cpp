#include "progress_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <sstream>

#include "whole_file.h"

namespace vocalume {
namespace {

constexpr const char* kWhenColumn = "date";
constexpr const char* kModelColumn = "model";

std::string Quoted(const std::string& field)
{
    if (field.find_first_of(",\"\r\n") == std::string::npos)
        return field;
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

// The columns of this version's log.
std::vector<std::string> OurColumns()
{
    std::vector<std::string> columns{kWhenColumn, kModelColumn};
    for (const ScoreField& field : ScoreFields())
        columns.emplace_back(field.key);
    return columns;
}

std::string Row(const std::vector<std::string>& fields)
{
    std::string row;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            row += ',';
        row += Quoted(fields[i]);
    }
    row += '\n';
    return row;
}

// The entry's fields under `columns`: empty under a column it does not know.
std::vector<std::string> EntryFields(const ProgressEntry& entry, const std::vector<std::string>& columns)
{
    std::vector<std::string> fields;
    for (const std::string& column : columns) {
        std::string value;
        if (column == kWhenColumn)
            value = entry.when;
        else if (column == kModelColumn)
            value = entry.model;
        for (const ScoreField& field : ScoreFields())
            if (column == field.key)
                value = FormatScore(entry.scores.*field.value, field.decimals);
        fields.push_back(std::move(value));
    }
    return fields;
}

// Splits comma-separated text into rows of fields; a quoted field may hold
// commas, doubled quotes and line ends.
std::vector<std::vector<std::string>> ParseRows(const std::string& text)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false, any = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
            continue;
        }
        if (c == '"') {
            quoted = any = true;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field.clear();
            any = true;
        } else if (c == '\n' || c == '\r') {
            if (any || !field.empty()) {
                row.push_back(std::move(field));
                rows.push_back(std::move(row));
            }
            row.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.empty()) {
        row.push_back(std::move(field));
        rows.push_back(std::move(row));
    }
    return rows;
}

bool ParseNumber(const std::string& text, double& value)
{
    if (text.empty()) {
        value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// Writes on one log from this process never overlap; other processes append
// whole lines in one write each.
std::mutex g_appending;

}  // namespace

std::string DefaultProgressLogPath()
{
    namespace fs = std::filesystem;
    fs::path home;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/')
        home = data;
    else if (const char* user = std::getenv("HOME"); user != nullptr && user[0] != '\0')
        home = fs::path(user) / ".local" / "share";
    else
        return {};
    return (home / "vocalume" / "progress.csv").string();
}

std::string LocalTimeText(std::time_t moment)
{
    std::tm local{};
    localtime_r(&moment, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string AppendProgress(const std::string& path, const ProgressEntry& entry)
{
    const std::lock_guard<std::mutex> lock(g_appending);
    const auto failure = [&path](const std::string& why) {
        return "cannot add the take to the progress log \"" + path + "\": " + why;
    };
    if (path.empty())
        return failure("no folder for it (HOME is not set)");
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, ec);
    if (ec)
        return failure("its folder cannot be made (" + ec.message() + ")");
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return failure(std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const std::string why = S_ISREG(info.st_mode) ? std::strerror(errno) : "it is not a regular file";
        ::close(fd);
        return failure(why);
    }
    std::string old(static_cast<size_t>(info.st_size), '\0');
    if (!old.empty() && ::pread(fd, old.data(), old.size(), 0) != static_cast<ssize_t>(old.size())) {
        const int why = errno;
        ::close(fd);
        return failure(std::strerror(why));
    }
    const auto rows = ParseRows(old.substr(0, old.find('\n')));
    std::vector<std::string> columns = rows.empty() ? std::vector<std::string>() : rows.front();
    std::vector<std::string> missing;
    for (const std::string& column : OurColumns())
        if (std::find(columns.begin(), columns.end(), column) == columns.end())
            missing.push_back(column);
    if (!columns.empty() && !missing.empty()) {
        // A log of an older version, without some of our scores: it is
        // written anew with those columns added, empty in its lines, so that
        // neither its lines nor the new one lose a score.
        ::close(fd);
        std::vector<std::vector<std::string>> lines = ParseRows(old);
        const size_t width = lines.front().size();
        columns.insert(columns.end(), missing.begin(), missing.end());
        std::string text = Row(columns);
        for (size_t r = 1; r < lines.size(); ++r) {
            if (lines[r].size() == width)
                lines[r].resize(columns.size());
            text += Row(lines[r]);
        }
        text += Row(EntryFields(entry, columns));
        const std::string problem = WriteFileWhole(path, [&text](std::FILE* file) -> std::string {
            return std::fwrite(text.data(), 1, text.size(), file) == text.size() ? std::string()
                                                                                 : std::string(kFillFailed);
        });
        return problem.empty() ? problem : failure(problem);
    }
    std::string text;
    if (columns.empty()) {
        columns = OurColumns();
        text = Row(columns);
    } else if (old.back() != '\n') {
        // A last line without its end (edited by hand) gets it first, so
        // that the new line stands on its own.
        text.push_back('\n');
    }
    text += Row(EntryFields(entry, columns));
    // One write, so that lines of two programs never interleave; a write cut
    // short is taken back, so that the log holds no half line.
    const ssize_t written = ::write(fd, text.data(), text.size());
    bool whole = written == static_cast<ssize_t>(text.size());
    int error = whole ? 0 : (written < 0 ? errno : ENOSPC);
    if (whole && ::fsync(fd) != 0) {
        whole = false;
        error = errno;
    }
    if (!whole) {
        if (written > 0 && ::ftruncate(fd, info.st_size) != 0) {
            // Nothing more can be done here; readers skip a half line.
        }
        ::close(fd);
        return failure(std::strerror(error));
    }
    if (::close(fd) != 0)
        return failure(std::strerror(errno));
    return {};
}

std::string ReadProgress(const std::string& path, std::vector<ProgressEntry>& entries)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (errno == ENOENT)
            return {};
        return "cannot read the progress log \"" + path + "\": " + std::strerror(errno);
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad())
        return "cannot read the progress log \"" + path + "\": " + std::strerror(errno);
    const auto rows = ParseRows(content.str());
    if (rows.empty())
        return {};
    // Columns are found by their names, so that logs of other versions read.
    const std::vector<std::string>& header = rows.front();
    const auto column = [&header](const std::string& name) -> int {
        for (size_t i = 0; i < header.size(); ++i)
            if (header[i] == name)
                return static_cast<int>(i);
        return -1;
    };
    const int when = column(kWhenColumn), model = column(kModelColumn);
    if (when < 0 || model < 0)
        return "cannot read the progress log \"" + path + "\": it has no \"date\" and \"model\" columns";
    std::vector<int> scoreColumns;
    for (const ScoreField& field : ScoreFields())
        scoreColumns.push_back(column(field.key));
    for (size_t r = 1; r < rows.size(); ++r) {
        const auto& row = rows[r];
        if (row.size() != header.size())
            continue;  // a line cut short, or one that is no line of ours
        ProgressEntry entry;
        entry.when = row[static_cast<size_t>(when)];
        entry.model = row[static_cast<size_t>(model)];
        bool valid = entry.when.size() >= 10;
        for (size_t f = 0; valid && f < ScoreFields().size(); ++f) {
            double value = std::numeric_limits<double>::quiet_NaN();
            if (scoreColumns[f] >= 0)
                valid = ParseNumber(row[static_cast<size_t>(scoreColumns[f])], value);
            entry.scores.*ScoreFields()[f].value = value;
        }
        if (valid)
            entries.push_back(std::move(entry));
    }
    return {};
}

}  // namespace vocalume
