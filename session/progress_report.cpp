#include "progress_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "whole_file.h"

namespace vocalume {
namespace {

// The chart's size in SVG units and its plot area's margins.
constexpr double kChartWidth = 640.0;
constexpr double kChartHeight = 160.0;
constexpr double kLeft = 56.0;
constexpr double kRight = 12.0;
constexpr double kTop = 12.0;
constexpr double kBottom = 30.0;
// Day labels closer than this (in SVG units) to the one before are left out.
constexpr double kLabelSpacing = 44.0;

constexpr const char* kStyle = R"(
body { font-family: "DejaVu Sans", Arial, sans-serif; color: #222; margin: 2em auto; max-width: 44em; padding: 0 1em; }
h1 { font-size: 1.6em; margin-bottom: 0.2em; }
h2 { font-size: 1.25em; margin-top: 2em; border-bottom: 1px solid #999; }
h3 { font-size: 1em; margin: 1.2em 0 0.2em; }
p.note { color: #555; margin: 0.2em 0 0.4em; font-size: 0.9em; }
table { border-collapse: collapse; font-size: 0.85em; margin: 0.6em 0; }
th, td { border: 1px solid #bbb; padding: 0.2em 0.45em; text-align: right; white-space: nowrap; }
th:first-child, td:first-child { text-align: left; }
svg { width: 100%; height: auto; display: block; }
.chart { page-break-inside: avoid; break-inside: avoid; }
@media print { body { margin: 0; max-width: none; } section { break-before: page; } section:first-of-type { break-before: auto; } }
)";

std::string Escaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Number(double value, int decimals)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    // A locale's decimal comma never reaches the page.
    for (char* c = text; *c != '\0'; ++c)
        if (*c == ',')
            *c = '.';
    return text;
}

double Median(std::vector<double> values)
{
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return !std::isfinite(v); }),
                 values.end());
    if (values.empty())
        return std::nan("");
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

std::string DayOf(const ProgressEntry& entry) { return entry.when.substr(0, 10); }

// The takes of one model, in the order taken, and where each day begins.
struct ModelTakes {
    std::string name;
    std::vector<const ProgressEntry*> takes;
    std::vector<size_t> dayStarts;  // index of each day's first take
};

// Nice steps for a value axis: 1, 2 or 5 times a power of ten.
double AxisStep(double span)
{
    const double rough = span / 3.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= rough)
            return m * power;
    return 10.0 * power;
}

std::string Chart(const ModelTakes& model, const ScoreField& field)
{
    const size_t n = model.takes.size();
    std::vector<double> values(n);
    double lo = INFINITY, hi = -INFINITY;
    for (size_t i = 0; i < n; ++i) {
        values[i] = model.takes[i]->scores.*field.value;
        if (std::isfinite(values[i])) {
            lo = std::min(lo, values[i]);
            hi = std::max(hi, values[i]);
        }
    }
    std::string svg = "<div class=\"chart\"><h3>" + Escaped(field.title) + "</h3>";
    if (*field.hint != '\0')
        svg += "<p class=\"note\">" + Escaped(field.hint) + "</p>";
    if (!(lo <= hi))
        return svg + "<p class=\"note\">No take has this score.</p></div>\n";
    if (hi - lo < 1e-9) {
        lo -= 0.5 * std::max(std::fabs(lo), 1.0);
        hi += 0.5 * std::max(std::fabs(hi), 1.0);
    }
    const double step = AxisStep(hi - lo);
    lo = std::floor(lo / step) * step;
    hi = std::ceil(hi / step) * step;
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step))));
    const double plotW = kChartWidth - kLeft - kRight, plotH = kChartHeight - kTop - kBottom;
    const auto x = [&](double take) { return kLeft + (take + 0.5) / static_cast<double>(n) * plotW; };
    const auto y = [&](double v) { return kTop + (hi - v) / (hi - lo) * plotH; };

    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + Number(kChartWidth, 0) + ' ' +
           Number(kChartHeight, 0) + "\" role=\"img\"><title>" + Escaped(field.title) + " over " +
           std::to_string(n) + " takes</title>\n";
    svg += "<rect x=\"" + Number(kLeft, 1) + "\" y=\"" + Number(kTop, 1) + "\" width=\"" + Number(plotW, 1) +
           "\" height=\"" + Number(plotH, 1) + "\" fill=\"#fafafa\" stroke=\"#999\"/>\n";
    for (double v = lo; v <= hi + step * 0.01; v += step) {
        svg += "<line x1=\"" + Number(kLeft, 1) + "\" x2=\"" + Number(kLeft + plotW, 1) + "\" y1=\"" +
               Number(y(v), 1) + "\" y2=\"" + Number(y(v), 1) + "\" stroke=\"#ddd\"/>";
        svg += "<text x=\"" + Number(kLeft - 4, 1) + "\" y=\"" + Number(y(v) + 4, 1) +
               "\" font-size=\"11\" text-anchor=\"end\">" + Number(v, decimals) + "</text>\n";
    }
    // The days: a line between them, a label under the first, the last and
    // each between where there is room.
    const size_t days = model.dayStarts.size();
    const auto dayEnd = [&](size_t d) { return d + 1 < days ? model.dayStarts[d + 1] : n; };
    const auto centreOf = [&](size_t d) {
        return 0.5 * (x(static_cast<double>(model.dayStarts[d])) + x(static_cast<double>(dayEnd(d) - 1)));
    };
    const double lastCentre = centreOf(days - 1);
    double lastLabel = -INFINITY;
    std::string medians;
    for (size_t d = 0; d < days; ++d) {
        const size_t from = model.dayStarts[d];
        const size_t to = dayEnd(d);
        if (d > 0) {
            const double between = 0.5 * (x(static_cast<double>(from) - 1.0) + x(static_cast<double>(from)));
            svg += "<line x1=\"" + Number(between, 1) + "\" x2=\"" + Number(between, 1) + "\" y1=\"" +
                   Number(kTop, 1) + "\" y2=\"" + Number(kTop + plotH, 1) +
                   "\" stroke=\"#bbb\" stroke-dasharray=\"3 3\"/>\n";
        }
        const double centre = centreOf(d);
        const bool room = centre - lastLabel >= kLabelSpacing && lastCentre - centre >= kLabelSpacing;
        if (d == 0 || d + 1 == days || room) {
            svg += "<text x=\"" + Number(centre, 1) + "\" y=\"" + Number(kChartHeight - 10, 1) +
                   "\" font-size=\"11\" text-anchor=\"middle\">" + Escaped(DayOf(*model.takes[from]).substr(5)) +
                   "</text>\n";
            lastLabel = centre;
        }
        std::vector<double> day(values.begin() + static_cast<std::ptrdiff_t>(from),
                                values.begin() + static_cast<std::ptrdiff_t>(to));
        const double middle = Median(day);
        if (std::isfinite(middle))
            medians += Number(centre, 1) + ',' + Number(y(middle), 1) + ' ';
    }
    for (size_t i = 0; i < n; ++i)
        if (std::isfinite(values[i]))
            svg += "<circle cx=\"" + Number(x(static_cast<double>(i)), 1) + "\" cy=\"" + Number(y(values[i]), 1) +
                   "\" r=\"2.5\" fill=\"#6a8fc0\"/>";
    if (!medians.empty()) {
        medians.pop_back();
        svg += "\n<polyline points=\"" + medians + "\" fill=\"none\" stroke=\"#1b3a66\" stroke-width=\"2\"/>";
    }
    return svg + "\n</svg></div>\n";
}

// The fields charted and tabled: every score but the lengths themselves.
std::vector<ScoreField> Charted()
{
    std::vector<ScoreField> fields;
    for (const ScoreField& field : ScoreFields())
        if (*field.hint != '\0')
            fields.push_back(field);
    return fields;
}

std::string Section(const ModelTakes& model)
{
    const std::vector<ScoreField> fields = Charted();
    const size_t days = model.dayStarts.size();
    std::string html = "<section>\n<h2>Model: " + Escaped(model.name) + "</h2>\n<p>" +
                       std::to_string(model.takes.size()) + (model.takes.size() == 1 ? " take" : " takes") +
                       " on " + std::to_string(days) + (days == 1 ? " day" : " days") + ", from " +
                       Escaped(model.takes.front()->when) + " to " + Escaped(model.takes.back()->when) + ".</p>\n";
    html += "<table><tr><th>Day</th><th>Takes</th>";
    for (const ScoreField& field : fields)
        html += "<th title=\"" + Escaped(field.title) + "\">" + Escaped(field.column) + "</th>";
    html += "</tr>\n";
    for (size_t d = 0; d < days; ++d) {
        const size_t from = model.dayStarts[d];
        const size_t to = d + 1 < days ? model.dayStarts[d + 1] : model.takes.size();
        html += "<tr><td>" + Escaped(DayOf(*model.takes[from])) + "</td><td>" + std::to_string(to - from) + "</td>";
        for (const ScoreField& field : fields) {
            std::vector<double> day;
            for (size_t i = from; i < to; ++i)
                day.push_back(model.takes[i]->scores.*field.value);
            const double middle = Median(day);
            html += "<td>" + (std::isfinite(middle) ? Number(middle, field.decimals) : std::string("–")) + "</td>";
        }
        html += "</tr>\n";
    }
    html += "</table>\n<p class=\"note\">Each day's middle (median) score; the charts below name each "
            "column in full. In the charts, a dot is a take and "
            "the line joins each day's middle score; dashed lines part the days.</p>\n";
    for (const ScoreField& field : fields)
        html += Chart(model, field);
    return html + "</section>\n";
}

}  // namespace

std::string ProgressReportHtml(const std::vector<ProgressEntry>& entries, const std::string& madeAt)
{
    // The models in the order last practised, most recent first; each
    // model's takes in the order taken.
    std::vector<ModelTakes> models;
    std::map<std::string, size_t> index;
    std::vector<size_t> lastUse;
    for (size_t e = 0; e < entries.size(); ++e) {
        auto [at, added] = index.try_emplace(entries[e].model, models.size());
        if (added) {
            models.push_back({entries[e].model, {}, {}});
            lastUse.push_back(0);
        }
        ModelTakes& model = models[at->second];
        if (model.takes.empty() || DayOf(*model.takes.back()) != DayOf(entries[e]))
            model.dayStarts.push_back(model.takes.size());
        model.takes.push_back(&entries[e]);
        lastUse[at->second] = e;
    }
    std::vector<size_t> order(models.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&lastUse](size_t a, size_t b) { return lastUse[a] > lastUse[b]; });

    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<title>Vocalume progress report</title>\n<style>" +
                       std::string(kStyle) + "</style>\n</head>\n<body>\n<h1>Vocalume progress report</h1>\n";
    html += "<p class=\"note\">Made on " + Escaped(madeAt) + " from " + std::to_string(entries.size()) +
            (entries.size() == 1 ? " take" : " takes") + " against " + std::to_string(models.size()) +
            (models.size() == 1 ? " model" : " models") + ".</p>\n";
    if (entries.empty())
        html += "<p>No take has been scored yet: open a model (View › Model…), record a take and pause.</p>\n";
    for (const size_t m : order)
        html += Section(models[m]);
    return html + "</body>\n</html>\n";
}

std::string WriteProgressReport(const std::string& path, const std::vector<ProgressEntry>& entries,
                                const std::string& madeAt)
{
    if (path.empty())
        return "cannot write the progress report: no file name given";
    const std::string html = ProgressReportHtml(entries, madeAt);
    return WriteFileWhole(path, [&html](std::FILE* file) -> std::string {
        return std::fwrite(html.data(), 1, html.size(), file) == html.size() ? std::string() : std::string(kFillFailed);
    });
}

}  // namespace vocalume
