// vocalume-render: plays a sound file through the program's analysis view and
// writes the picture it draws as a PNG.
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <new>
#include <string>

#include "file_source.h"
#include "frame_table.h"
#include "column_palette.h"
#include "png_file.h"
#include "progress_report.h"
#include "recording_format.h"
#include "renderer.h"
#include "vocalume_version.h"

namespace {

constexpr int kBadInput = 2;

// The text of --help before the options, the recording format filled in.
std::string Description()
{
    using std::to_string;
    return "Plays a sound file through Vocalume's analysis and writes the picture the live\n"
           "window would show as a PNG image. Time runs from left to right, one pixel column\n"
           "per frame of " +
           to_string(vocalume::kFrameLength) + " samples taken every " + to_string(vocalume::kFrameHop) +
           " samples (about 1000 columns a second).\n"
           "\n"
           "What the picture shows:\n"
           "  colour      how the frame's sound is spread over three frequency bands:\n"
           "              low lights red, middle green, high blue\n"
           "  brightness  loudness, against a slowly adapting ceiling (40 dB shown)\n"
           "  bands       in voiced sound, light and dark bands symmetric about the middle\n"
           "              row; their spacing follows the pitch (closer bands, higher voice)\n"
           "  trace       the waveform, in a strip along the top\n"
           "  ticks       short marks along the bottom every tenth of a second\n"
           "  red marker  a red pixel in the bottom row: the frame's smoothed spectrum is ready\n"
           "\n"
           "The sound is resampled to " +
           to_string(vocalume::kRecordingRate) +
           " Hz unless it is already at that rate; only the\n"
           "left channel is analysed. The same file and options give the same image, byte\n"
           "for byte.";
}

// One line on stderr, in the style of every message of the program: a
// capital first letter, no full stop at the end.
void Fail(const std::string& line)
{
    std::string text = line;
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    while (!text.empty() && (text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    std::fprintf(stderr, "vocalume-render: %s\n", text.c_str());
}

// Refuses an output path that cannot be written before any work is done:
// only a regular file may be replaced (a link is written through), and never
// the sound being read nor a file the user may not write.
std::string CheckOutput(const std::string& output, const std::string& input)
{
    if (std::string problem = vocalume::CheckFileWritable(output); !problem.empty())
        return problem;
    const std::string path = vocalume::FileTarget(output);
    struct stat existing {};
    if (::stat(path.c_str(), &existing) != 0)
        return {};
    struct stat sound {};
    const int read = input == vocalume::kStandardInput ? ::fstat(STDIN_FILENO, &sound) : ::stat(input.c_str(), &sound);
    if (read == 0 && sound.st_dev == existing.st_dev && sound.st_ino == existing.st_ino)
        return "Cannot write \"" + output + "\": it is the sound file being read. Choose another name.";
    if (access(path.c_str(), W_OK) != 0)
        return "Cannot write \"" + output + "\": the file may not be written. Choose another name.";
    return {};
}

class ProgressBar {
public:
    explicit ProgressBar(bool shown, const char* what = "Rendering") : m_shown(shown), m_what(what) {}
    ~ProgressBar()
    {
        if (m_shown && m_last >= 0)
            std::fputc('\n', stderr);
    }
    void Show(double share)
    {
        if (!m_shown)
            return;
        const int percent = static_cast<int>(share * 100.0);
        if (percent == m_last)
            return;
        m_last = percent;
        constexpr int kCells = 40;
        const int filled = percent * kCells / 100;
        std::fprintf(stderr, "\r%s [%s%s] %3d%%", m_what, std::string(static_cast<size_t>(filled), '#').c_str(),
                     std::string(static_cast<size_t>(kCells - filled), ' ').c_str(), percent);
        std::fflush(stderr);
    }

private:
    bool m_shown;
    const char* m_what;
    int m_last = -1;
};

}  // namespace

int main(int argc, char** argv)
{
    vocalume::RenderOptions options;
    std::string output, csv, modelPath, alignCsv, report;
    bool noWaveform = false, noTimescale = false, quiet = false, score = false, log = false;
    std::string palette = "standard";

    CLI::App app(Description(), "vocalume-render");
    app.add_option("INPUT", options.input,
                   "Sound file to render (WAV, FLAC, Ogg and the other formats libsndfile reads);\n"
                   "- reads it from standard input");
    app.add_option("-o,--output", output,
                   "PNG file to write; replaced only once the picture is complete, and only if it is a\n"
                   "regular file (a link is written through) other than the sound file");
    app.add_option("--width", options.width,
                   "Width of the window's client area in pixels, 1 to 5000; the picture shows the last\n"
                   "width - 1 frames, the newest one buffer plus 5 frames behind the end (ignored with --whole)")
        ->capture_default_str();
    app.add_option("--height", options.height, "Height in pixels, 1 to 1024")
        ->capture_default_str()
        ->check(CLI::Range(1, 1024));
    app.add_option("--refresh", options.refresh,
                   "Screen refreshes per second, 1 to 30: the capture buffer holds about one refresh\n"
                   "period of sound, which sets how far the picture lags the sound")
        ->capture_default_str()
        ->check(CLI::Range(1, 30));
    app.add_option("--sampling", options.sampling,
                   "Undersampling ratio of the analysis, 1 to 5: 1 analyses every frame in full")
        ->capture_default_str()
        ->check(CLI::Range(1, 5));
    app.add_option("--palette", palette,
                   "Colours of the three bands: standard (red, green, blue) or colour-blind (orange-red,\n"
                   "sky blue, bluish purple, told apart with any kind of colour blindness)")
        ->capture_default_str()
        ->check(CLI::IsMember({"standard", "colour-blind"}));
    app.add_flag("--no-waveform", noWaveform, "Leave out the waveform trace along the top");
    app.add_flag("--no-timescale", noTimescale, "Leave out the tick marks every tenth of a second");
    app.add_flag("--whole", options.whole,
                 "Draw one column for every frame of the file, in one wide image, instead of the\n"
                 "last window's worth (a 60 s file makes an image about 60,000 pixels wide; at most\n"
                 "1,000,000 pixels, about 998 s of sound)");
    app.add_flag("-q,--quiet", quiet, "Show no progress bar");
    app.add_option("--csv", csv,
                   "Also (or only) write every frame's numbers as comma-separated text: one row per frame\n"
                   "of the whole file, with a header row; f0_hz is the pitch tracker's estimate, empty\n"
                   "when the frame is unvoiced");
    app.add_flag("--pitch", options.pitchLine,
                 "Draw the pitch line over the picture: log f0 from 50 Hz (bottom) to about 1130 Hz (top),\n"
                 "with guide lines at each C");
    app.add_option("--model", modelPath,
                   "The model recording INPUT imitates: INPUT is aligned to it in time, as the program aligns\n"
                   "a take at Pause, for --align-csv, --score and --log");
    app.add_option("--align-csv", alignCsv,
                   "Write for every frame of INPUT the time in the model it matches: columns time_s (as in\n"
                   "--csv) and model_time_s, with a header row (needs --model)");
    app.add_flag("--score", score,
                 "Print INPUT's scores against the model as one line of JSON: pitch, timing, loudness\n"
                 "contour and spectral balance (needs --model)");
    app.add_flag("--log", log,
                 "Add INPUT's scores, with the model's name and the date, to the progress log the program\n"
                 "keeps, vocalume/progress.csv in $XDG_DATA_HOME or ~/.local/share (needs --model)");
    app.add_option("--report", report,
                   "Write the progress report, one HTML file with charts of every score over the takes and\n"
                   "days in the progress log (after --log has added INPUT's); INPUT may be left out");
    app.set_version_flag("--version", std::string("vocalume-render ") + vocalume::kVersion,
                         "Print the version and exit");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        Fail(e.what());
        return kBadInput;
    }
    options.waveform = !noWaveform;
    options.timescale = !noTimescale;
    options.palette = static_cast<int32_t>(vocalume::PaletteNamed(palette).value_or(vocalume::Palette::Standard));
    if (!options.whole && (options.width < 1 || options.width > 5000)) {
        Fail("--width must be from 1 to 5000 (got " + std::to_string(options.width) + ")");
        return kBadInput;
    }
    if (options.input.empty() && (report.empty() || !modelPath.empty() || !output.empty() || !csv.empty())) {
        Fail("name the sound file to read (INPUT), or give --report FILE alone");
        return kBadInput;
    }
    if (modelPath.empty() && (!alignCsv.empty() || score || log)) {
        Fail("--align-csv, --score and --log need --model MODEL, the recording the input imitates");
        return kBadInput;
    }
    if (!modelPath.empty() && alignCsv.empty() && !score && !log) {
        Fail("with --model, name what to do: --align-csv FILE, --score or --log");
        return kBadInput;
    }
    if (options.input == vocalume::kStandardInput && isatty(STDIN_FILENO) != 0) {
        Fail("- reads the sound from standard input, which is a terminal here: pipe a sound file into it");
        return kBadInput;
    }
    if (output.empty() && csv.empty() && modelPath.empty() && report.empty()) {
        Fail("Name the picture to write with -o FILE, or the frame table with --csv FILE");
        return kBadInput;
    }
    if (!output.empty() && !csv.empty() && vocalume::SameFile(output, csv)) {
        Fail("-o and --csv name the same file \"" + csv + "\": name two different files");
        return kBadInput;
    }
    if (!modelPath.empty() && options.input == vocalume::kStandardInput && !(output.empty() && csv.empty())) {
        Fail("Standard input can be read once: with - and --model, leave out -o and --csv");
        return kBadInput;
    }
    for (const std::string* path : {&output, &csv, &alignCsv, &report})
        if (const std::string problem = path->empty() ? std::string() : CheckOutput(*path, options.input);
            !problem.empty()) {
            Fail(problem);
            return kBadInput;
        }
    // The frame table holds every frame of the file: it comes from a whole
    // rendering, the picture's own when it is one.
    options.frameTable = !csv.empty() && options.whole;
    const bool tablePass = !csv.empty() && (output.empty() || !options.whole);
    if (tablePass && !output.empty() && options.input == vocalume::kStandardInput) {
        Fail("Standard input can be read once: with - and --csv, add --whole or leave out -o");
        return kBadInput;
    }
    vocalume::RemoveUnfinishedFilesOnSignal();

    try {
        if (!modelPath.empty()) {
            vocalume::TakeReview review;
            std::string problem;
            {
                ProgressBar bar(!quiet && isatty(STDERR_FILENO) != 0, "Aligning");
                problem = vocalume::ReviewSoundFiles(options, modelPath, review,
                                                     [&bar](double share) { bar.Show(share); });
            }
            if (problem.empty() && !review.done)
                problem = "Cannot align \"" + options.input + "\" to \"" + modelPath + "\": one of them holds no frame";
            const std::string modelName = std::filesystem::path(modelPath).filename().string();
            if (problem.empty() && score)
                std::printf("%s\n", vocalume::ScoresAsJson(review.scores, modelName).c_str());
            if (problem.empty() && !alignCsv.empty())
                problem = vocalume::WriteAlignmentTable(alignCsv, review.alignment.modelFrame);
            if (problem.empty() && log)
                problem = vocalume::AppendProgress(vocalume::DefaultProgressLogPath(),
                                                   {vocalume::LocalTimeText(std::time(nullptr)), modelName, review.scores});
            if (!problem.empty()) {
                Fail(problem);
                return kBadInput;
            }
        }
        if (!report.empty()) {
            std::vector<vocalume::ProgressEntry> entries;
            std::string problem = vocalume::ReadProgress(vocalume::DefaultProgressLogPath(), entries);
            if (problem.empty())
                problem = vocalume::WriteProgressReport(report, entries, vocalume::LocalTimeText(std::time(nullptr)));
            if (!problem.empty()) {
                Fail(problem);
                return kBadInput;
            }
        }
        if (output.empty() && csv.empty())
            return 0;
        if (tablePass) {
            // The table alone: nothing is painted, no picture is made.
            vocalume::RenderOptions table = options;
            table.whole = table.frameTable = true;
            table.paint = table.pitchLine = false;
            table.tooLongFor = "for a frame table (--csv)";
            table.tooLongAdvice = "Cut it into shorter pieces with a sound editor and make a table of each.";
            vocalume::RenderedPicture rows;
            std::string problem;
            {
                ProgressBar bar(!quiet && isatty(STDERR_FILENO) != 0);
                problem = vocalume::RenderSoundFile(table, rows, [&bar](double share) { bar.Show(share); });
            }
            if (problem.empty() && !rows.note.empty())
                Fail(rows.note);
            if (problem.empty())
                problem = vocalume::WriteFrameTable(csv, rows.rows);
            if (!problem.empty()) {
                Fail(problem);
                return kBadInput;
            }
            if (output.empty())
                return 0;
        }

        vocalume::RenderedPicture picture;
        std::string problem;
        {
            ProgressBar bar(!quiet && isatty(STDERR_FILENO) != 0);
            problem = vocalume::RenderSoundFile(options, picture, [&bar](double share) { bar.Show(share); });
        }
        if (!problem.empty()) {
            Fail(problem);
            return kBadInput;
        }
        // Told once, when the table's pass has not told it already.
        if (!picture.note.empty() && !tablePass)
            Fail(picture.note);
        problem = vocalume::WritePngFile(output, picture.width, picture.height, picture.rgb.data(),
                                         picture.stride);
        if (problem.empty() && options.frameTable)
            problem = vocalume::WriteFrameTable(csv, picture.rows);
        if (!problem.empty()) {
            Fail(problem);
            return kBadInput;
        }
    } catch (const std::bad_alloc&) {
        Fail("Not enough memory to render \"" + options.input + "\": render a shorter sound, or a lower picture (--height)");
        return kBadInput;
    }
    return 0;
}
