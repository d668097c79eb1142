#include "progress_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <sstream>

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

std::string HeaderRow()
{
    std::string row = kWhenColumn;
    row += ',';
    row += kModelColumn;
    for (const ScoreField& field : ScoreFields()) {
        row += ',';
        row += field.key;
    }
    row += '\n';
    return row;
}

std::string EntryRow(const ProgressEntry& entry)
{
    std::string row = Quoted(entry.when);
    row += ',';
    row += Quoted(entry.model);
    for (const ScoreField& field : ScoreFields()) {
        row += ',';
        row += FormatScore(entry.scores.*field.value, field.decimals);
    }
    row += '\n';
    return row;
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
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return failure(std::strerror(errno));
    struct stat info {};
    std::string text;
    if (::fstat(fd, &info) != 0) {
        const int why = errno;
        ::close(fd);
        return failure(std::strerror(why));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return failure("it is not a regular file");
    }
    if (info.st_size == 0) {
        text = HeaderRow();
    } else {
        // A log whose last line lacks its end (edited by hand) gets it first,
        // so that the new line stands on its own.
        char last = '\n';
        const int reader = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (reader >= 0) {
            if (::pread(reader, &last, 1, info.st_size - 1) != 1)
                last = '\n';
            ::close(reader);
        }
        if (last != '\n')
            text.push_back('\n');
    }
    text += EntryRow(entry);
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
