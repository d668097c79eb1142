#include "file_analysis.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <thread>

#include "analysis_view.h"
#include "analysis_worker.h"
#include "column_colour.h"
#include "column_painter.h"
#include "column_surface.h"
#include "file_source.h"
#include "framer.h"
#include "memory_source.h"
#include "parallel_scan.h"
#include "pitch_follower.h"
#include "pitch_line.h"
#include "session_history.h"
#include "wave_in.h"

namespace vocalume {
namespace {

// Wraps the file's sound: reads it ahead of the device, counts the sample
// pairs the file gave and, once it has ended, goes on with `padding` pairs of
// silence before the device hears of the end (whose last partial buffer it
// then completes with silence). The device is given the very same sound as
// it asks for it; what is read ahead tells how much sound is still to come.
class PaddedSource final : public SoundSource, private SoundSink {
public:
    explicit PaddedSource(std::unique_ptr<SoundSource> inner) : m_inner(std::move(inner)) {}

    void SetPadding(int64_t pairs) { m_padLeft = pairs; }
    // Sample pairs to hold read ahead of the device where the file has them.
    void SetReadAhead(int64_t pairs) { m_readAhead = pairs; }
    int64_t FilePairs() const { return m_filePairs; }
    // Pairs of the file's sound read but not yet given to the device: at
    // least that much sound is still to come.
    int64_t PairsAhead() const { return static_cast<int64_t>(m_held.size() - m_heldFrom) / 2; }
    // Hands the left channel, the samples the framer cuts, to `pitch` (the
    // file's sound) and to `scan` (the padding too) as they are read.
    void Listen(PitchFollower* pitch, ParallelScan* scan)
    {
        m_pitch = pitch;
        m_scan = scan;
    }

    bool Open(const WaveFormat& format, SoundSink& sink, std::string& userMessage) override
    {
        m_sink = &sink;
        m_innerEnded = m_ended = false;
        m_filePairs = 0;
        m_held.clear();
        m_heldFrom = 0;
        return m_inner->Open(format, *this, userMessage);
    }
    void Start() override { m_inner->Start(); }
    bool BufferQueued() override { return m_inner->BufferQueued(); }
    void Stop() override { m_inner->Stop(); }
    void Close() override { m_inner->Close(); }
    int64_t ExpectedPairs() const override { return m_inner->ExpectedPairs(); }

    bool Pump() override
    {
        if (m_ended)
            return false;
        m_target = std::max<int64_t>(m_readAhead, m_sink->FramesWanted());
        while (!m_innerEnded && PairsAhead() < m_target) {
            const int64_t before = m_filePairs;
            m_inner->Pump();
            if (m_filePairs == before)
                break;
        }
        const int64_t given = std::min<int64_t>(m_sink->FramesWanted(), PairsAhead());
        if (given > 0) {
            m_sink->Deliver(m_held.data() + m_heldFrom, static_cast<int32_t>(given));
            m_heldFrom += static_cast<size_t>(2 * given);
            if (2 * m_heldFrom >= m_held.size()) {
                m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(m_heldFrom));
                m_heldFrom = 0;
            }
        }
        if (!m_innerEnded || PairsAhead() > 0)
            return true;
        static constexpr int32_t kChunk = 256;
        static const int16_t silence[2 * kChunk] = {};
        int32_t wanted = m_sink->FramesWanted();
        while (wanted > 0 && m_padLeft > 0) {
            const int32_t n = static_cast<int32_t>(std::min<int64_t>({wanted, kChunk, m_padLeft}));
            if (m_scan != nullptr)
                m_scan->Heard(silence, n, 2);
            m_sink->Deliver(silence, n);
            wanted -= n;
            m_padLeft -= n;
        }
        if (m_padLeft > 0)
            return true;
        m_sink->EndOfStream();
        m_ended = true;
        return false;
    }

private:
    void Deliver(const int16_t* pairs, int32_t frames) override
    {
        m_filePairs += frames;
        if (m_pitch != nullptr)
            m_pitch->Hear(pairs, frames, 2);
        if (m_scan != nullptr)
            m_scan->Heard(pairs, frames, 2);
        m_held.insert(m_held.end(), pairs, pairs + 2 * static_cast<size_t>(frames));
    }
    int32_t FramesWanted() const override
    {
        return static_cast<int32_t>(std::clamp<int64_t>(m_target - PairsAhead(), 0, INT32_MAX));
    }
    void EndOfStream() override { m_innerEnded = true; }
    void DeviceLost(const std::string& reason) override { m_sink->DeviceLost(reason); }

    std::unique_ptr<SoundSource> m_inner;
    SoundSink* m_sink = nullptr;
    PitchFollower* m_pitch = nullptr;
    ParallelScan* m_scan = nullptr;
    // The file's pairs read ahead, interleaved, from m_heldFrom on.
    std::vector<int16_t> m_held;
    size_t m_heldFrom = 0;
    int64_t m_readAhead = 0;
    int64_t m_target = 0;
    int64_t m_filePairs = 0;
    int64_t m_padLeft = 0;
    bool m_innerEnded = false;
    bool m_ended = false;
};

// The window, in memory: paints happen when the renderer says so, there is no
// timer and no dialog, messages are kept for the caller.
class RenderHost final : public ViewHost {
public:
    void RequestPaint() override {}
    void SetPauseTimer(int) override {}
    void KillPauseTimer() override {}
    void ShowMessage(const std::string& text) override
    {
        if (message.empty())
            message = text;
    }
    bool RunConfigDialog(ConfigValues&) override { return false; }
    // Sound is pumped on the renderer's own thread: a plain count will do.
    void PostBufferDone() override { ++posted; }

    std::string message;
    uint64_t posted = 0;
};

// Columns of a picture that grows to the right as frames are harvested. Its
// memory follows what has been drawn: it doubles as needed, never beyond the
// widest picture allowed, and never beyond the columns the sound is expected
// to give while they suffice.
class ColumnStrip {
public:
    ColumnStrip(int32_t height, int64_t expectedColumns) : m_height(height), m_expected(expectedColumns) {}

    void Reserve(int64_t columns)
    {
        if (columns <= m_capacity)
            return;
        int64_t capacity = std::max<int64_t>(m_capacity, 1);
        while (capacity < columns)
            capacity *= 2;
        if (m_expected >= columns)
            capacity = std::min(capacity, m_expected);
        capacity = std::min(capacity, std::max(columns, kMaxWholeColumns));
        std::vector<uint8_t> grown(static_cast<size_t>(capacity) * 3 * static_cast<size_t>(m_height));
        for (int32_t y = 0; m_capacity > 0 && y < m_height; ++y)
            std::memcpy(grown.data() + static_cast<size_t>(y * capacity * 3),
                        m_rgb.data() + static_cast<size_t>(y * m_capacity * 3),
                        static_cast<size_t>(m_capacity * 3));
        m_rgb.swap(grown);
        m_capacity = capacity;
    }

    // Columns [column, column + count) from the surface's columns from x on.
    void Put(int64_t column, const ColumnSurface& surface, int32_t x, int32_t count)
    {
        Reserve(column + count);
        const int32_t rows = std::min(m_height, surface.Height());
        for (int32_t y = 0; y < rows; ++y)
            std::memcpy(m_rgb.data() + static_cast<size_t>((y * m_capacity + column) * 3),
                        surface.Pixels() + static_cast<size_t>(y) * surface.Stride() +
                            static_cast<size_t>(x) * 3,
                        static_cast<size_t>(count) * 3);
    }

    void Hand(RenderedPicture& picture, int64_t columns)
    {
        Reserve(columns);
        picture.width = static_cast<int32_t>(columns);
        picture.height = m_height;
        picture.stride = static_cast<size_t>(m_capacity) * 3;
        picture.rgb = std::move(m_rgb);
    }

private:
    int32_t m_height;
    int64_t m_expected;
    int64_t m_capacity = 0;
    std::vector<uint8_t> m_rgb;
};

// Frames cut from `samples` samples by a framer that started empty.
int64_t FramesIn(int64_t samples, int32_t windowLength, int32_t hop)
{
    return samples < windowLength ? 0 : (samples - windowLength) / hop + 1;
}

constexpr int32_t kFirstFrameIndex = kRingSize;

// Rows of the picture of an analysis done for its session or its frame table.
constexpr int32_t kAnalysisStripHeight = 16;  // the reset numbers the ring 0..4999

// `lasts`: the sound's length in seconds where known, else negative.
std::string TooLongForWhole(const AnalysisOptions& options, const std::string& soundName, double lasts,
                            const Framer& framing)
{
    const double limit = static_cast<double>((kMaxWholeColumns - 1) * framing.m_hop + framing.m_windowLength) /
                         framing.m_sampleRate;
    const std::string length = lasts >= 0 ? " (it lasts " + FormatSessionTime(lasts, false) + ")" : "";
    std::string name = soundName;
    if (!name.empty() && name[0] >= 'a' && name[0] <= 'z')
        name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name + " is too long " + options.tooLongFor + length + ": the picture is at most " +
           std::to_string(kMaxWholeColumns) + " columns wide, " + FormatSessionTime(limit, false) +
           " of sound. " + options.tooLongAdvice;
}

// Threads an analysis uses in all, its caller's included.
int32_t ThreadsFor(const AnalysisOptions& options)
{
    if (options.threads > 0)
        return options.threads;
    // A user may keep some processors free for other work; an emulator that
    // cannot start threads is given 1.
    if (const char* text = std::getenv("VOCALUME_THREADS"); text != nullptr) {
        const long wanted = std::strtol(text, nullptr, 10);
        if (wanted >= 1 && wanted <= 1024)
            return static_cast<int32_t>(wanted);
    }
    return std::max<int32_t>(1, static_cast<int32_t>(std::thread::hardware_concurrency()));
}

std::string Render(const AnalysisOptions& options, std::unique_ptr<SoundSource> input, const std::string& soundName,
                   RenderedPicture& picture, const AnalysisProgress& progress)
{
    // The view comes up as at start-up, with the options as its settings and
    // an analysis core of its own.
    ViewSettings settings;
    settings.refresh = options.refresh;
    settings.sampling = options.sampling;
    settings.waveform = options.waveform ? 1 : 0;
    settings.timescale = options.timescale ? 1 : 0;
    settings.palette = PaletteFromSetting(options.palette);
    settings.zoom = options.whole ? 1 : options.zoom;
    // Whoever wants no session gets the shortest the view keeps: memory
    // follows the table and the picture alone.
    if (!options.session)
        settings.historyMinutes = kHistoryMinuteChoices[0];
    // A file opened as the session keeps what a recording would keep.
    const bool anyLength = options.session && options.keepMinutes > 0;
    if (anyLength)
        settings.historyMinutes = options.keepMinutes;
    auto core = std::make_unique<AnalysisCore>();
    auto padded = std::make_unique<PaddedSource>(std::move(input));
    PaddedSource& source = *padded;
    const int32_t threads = ThreadsFor(options);
    const bool tracking = options.frameTable || options.pitchLine || options.session;
    // The pitch is tracked on a thread of its own, beside the analysis.
    std::unique_ptr<PitchFollower> follower;
    if (tracking)
        follower = std::make_unique<PitchFollower>(threads > 1);
    RenderHost host;
    CAnalysisView view(settings, *core, std::move(padded), ViewOptions{false, false});
    view.OnCreate(host);

    const Framer& framing = view.Framing();
    const int32_t fpb = framing.m_framesPerBuffer;
    const int32_t spb = framing.m_samplesPerBuffer;
    int32_t width = options.width;
    int64_t padding = 0;
    if (options.whole) {
        // Any client area wider than a buffer's frames sees every frame
        // painted once in its new strip; the harvest keeps them all.
        width = std::min(std::max(1024, 2 * fpb + 16), kRingSize);
        // Enough silence after the sound for its last frame to reach the
        // right-most column.
        padding = (FramesBehindNewest(width - 1, width, fpb) + 1) * framing.m_hop + spb;
        source.SetPadding(padding);
    }
    // Without a picture the surface is one row high: it only scrolls.
    view.OnSize(width, options.paint ? options.height : 1);
    // A painter walking back far enough to reach the newest records (in a
    // window about as wide as the ring) would meet the smoothing still going
    // on there, and draws some columns from them.
    const int64_t span = static_cast<int64_t>(width) * view.Settings().zoom;
    const bool farReach = span + 2 * fpb + 16 >= kRingSize;
    // The picture of the last window shows the frames of the sound's end
    // alone: a buffer after which enough sound is known to follow for all
    // its frames to scroll out of the window is passed over, not painted.
    // The picture stays the same: a column is drawn from its frame's record
    // (and the next one's number) alone, wherever and whenever it is drawn,
    // and the first paint after passing over draws every column, while each
    // frame still in the window at the end is right of column 0, before the
    // last scroll.
    const bool mayPassOver = options.paint && !options.whole && !farReach;
    const int64_t passOverAhead =
        mayPassOver ? (span + 2 * fpb + 16) * framing.m_hop + spb : -1;
    source.SetReadAhead(mayPassOver ? passOverAhead + 5 * spb : 8 * spb);
    bool passingOver = false;

    // The frames are analysed on every thread allowed; the ring's scan ends
    // each buffer as the worker's would.
    ParallelScan scan(*core,
                      ScanFraming{framing.m_frameCounter, framing.m_windowLength, framing.m_hop, spb}, threads);
    source.Listen(follower.get(), &scan);

    view.OnStart();
    if (!view.IsRecording())
        return host.message.empty() ? std::string(kOpenFailedMessage) : host.message;

    // Frames of a picture of `pairs` sample pairs: every buffer begun is
    // completed with silence.
    const auto framesOf = [&framing, spb](int64_t pairs) {
        return FramesIn((pairs + spb - 1) / spb * spb, framing.m_windowLength, framing.m_hop);
    };
    const int64_t expected = source.ExpectedPairs();
    const bool limited = options.whole && !anyLength;
    if (limited && framesOf(expected) > kMaxWholeColumns) {
        view.OnPause();
        return TooLongForWhole(options, soundName, static_cast<double>(expected) / framing.m_sampleRate, framing);
    }
    if (options.paint)
        view.OnPaint();

    const int64_t expectedBuffers = std::max<int64_t>(1, (expected + spb - 1) / spb);
    // The strip takes the columns of the silence after the sound too.
    const bool keepStrip = options.whole && options.paint && !anyLength;
    ColumnStrip strip(std::min(options.height, 1 << 20), expected > 0 && keepStrip ? framesOf(expected + padding) : 0);

    auto state = std::make_unique<AnalyserState>();
    const bool keepRows = options.frameTable && options.whole;
    auto bands = std::make_unique<ColourBands>();
    FrameRows rows;
    int64_t nextRow = kFirstFrameIndex;
    const ColumnSurface& surface = view.Surface();
    uint64_t taken = 0;
    int64_t buffers = 0;
    bool tooLong = false;
    bool stopped = false;
    while (!tooLong && !stopped) {
        while (taken < host.posted) {
            ++taken;
            view.OnWimData();
            // A buffer passed over is not smoothed either: its frames, and
            // the five before them, will have scrolled out by the end.
            const bool passOver = mayPassOver && source.PairsAhead() >= passOverAhead;
            scan.Scan(*state, !passOver);
            ++buffers;
            // A stream's length is learnt as it is read.
            if (limited && framesOf(source.FilePairs()) > kMaxWholeColumns) {
                tooLong = true;
                break;
            }
            const int64_t newest = framing.m_frameCounter - 1;
            const FrameRing& ring = core->ring;
            const int32_t w = ring.WritePosition();
            if (keepRows) {
                // Each frame's row is taken when its column is first painted
                // (whether or not it is): with the buffer that brings it to
                // the right-most column, its record as the painter sees it.
                const int64_t last = newest - FramesBehindNewest(width - 1, width, fpb);
                if (last >= nextRow)
                    BuildColourBands(*bands, ring.IsBusy(w) ? BinCountFor(ring[w].nsamples) : ring[w].nbins,
                                     framing.m_sampleRate);
                for (; nextRow <= last; ++nextRow) {
                    const int64_t behind = newest - nextRow;
                    const FrameRecord& r = ring[static_cast<int32_t>((w - 1 - behind % kRingSize + 2 * kRingSize) %
                                                                     kRingSize)];
                    if (r.index != nextRow)
                        continue;
                    const int64_t frame = nextRow - kFirstFrameIndex;
                    if (static_cast<int64_t>(rows.size()) <= frame)
                        rows.resize(static_cast<size_t>(frame + 1));
                    rows[static_cast<size_t>(frame)] =
                        FrameRowOf(frame, r, ColumnColour(*bands, r, view.Fields().m_dbRange));
                }
            }
            if (passOver) {
                // Meanwhile the window is one row high: it only scrolls.
                if (!passingOver)
                    view.OnSize(width, 1);
                passingOver = true;
            } else if (options.paint) {
                // Back at its height, black and all to be painted.
                if (passingOver)
                    view.OnSize(width, options.height);
                passingOver = false;
                if (farReach)
                    scan.Settle();
                const PixelRect painted = surface.InvalidBounds();
                view.OnPaint();
                if (keepStrip) {
                    // Columns keep what their first paint drew (no redraw
                    // happens here): take the new ones, each the column of
                    // the frame it shows, oldest first.
                    const int32_t right = painted.right;
                    int32_t x = std::max(painted.left, 1);
                    while (x < right && newest - FramesBehindNewest(x, width, fpb) < kFirstFrameIndex)
                        ++x;
                    if (x < right)
                        strip.Put(newest - FramesBehindNewest(x, width, fpb) - kFirstFrameIndex, surface, x, right - x);
                }
            }
            if (progress &&
                !progress(expected > 0 ? std::min(1.0, static_cast<double>(buffers) / expectedBuffers) : -1.0)) {
                stopped = true;
                break;
            }
        }
        if (!tooLong && !stopped && !view.WaveIn().PumpSource() && taken == host.posted)
            break;
    }
    scan.Settle();
    view.OnPause();
    if (stopped)
        return kAnalysisStopped;
    if (tooLong)
        return TooLongForWhole(options, soundName, -1, framing);

    const int64_t filePairs = source.FilePairs();
    if (filePairs == 0)
        return soundName + " holds no sound";
    picture.frames = framesOf(filePairs);
    picture.buffers = static_cast<int64_t>(taken);

    if (options.whole) {
        if (picture.frames == 0)
            return soundName + " is too short for a single frame";
        if (keepStrip)
            strip.Hand(picture, picture.frames);
        if (options.session && options.paint) {
            // The private view's session kept every painted frame's
            // description and the sound the framer cut; the silence after
            // the end is not the sound's.
            picture.session = std::make_unique<SessionHistory>(view.TakeSession());
            picture.session->TrimTo(picture.frames, filePairs);
        }
    } else {
        picture.width = surface.Width();
        picture.height = surface.Height();
        picture.stride = surface.Stride();
        picture.rgb.assign(surface.Pixels(), surface.Pixels() + picture.stride * picture.height);
    }
    if (tracking) {
        // The frames past the file's end hear the silence that completed its
        // last buffer.
        const std::vector<PitchEstimate> pitch = follower->Finish(picture.frames);
        if (picture.session)
            for (int64_t f = 0; f < picture.frames; ++f)
                picture.session->SetPitch(f, pitch[static_cast<size_t>(f)].voiced ? pitch[static_cast<size_t>(f)].f0Hz
                                                                                    : 0.0f);
        if (keepRows) {
            rows.resize(static_cast<size_t>(picture.frames));
            for (size_t f = 0; f < rows.size(); ++f) {
                rows[f].frame = static_cast<int64_t>(f);
                rows[f].pitch = pitch[f];
            }
            picture.rows = std::move(rows);
        }
        if (options.pitchLine && options.paint) {
            // The frame each column shows: in a whole picture its own number,
            // else the one the painter put there (the session's numbers are
            // the picture's).
            std::vector<PitchEstimate> columns(static_cast<size_t>(std::max(picture.width, 0)));
            for (int32_t x = 0; x < picture.width; ++x) {
                const int64_t frame = options.whole ? x : view.FrameAtColumn(x);
                if (frame >= 0 && frame < picture.frames)
                    columns[static_cast<size_t>(x)] = pitch[static_cast<size_t>(frame)];
            }
            DrawPitchLine(PixelImage{picture.rgb.data(), picture.width, picture.height, picture.stride},
                          columns.data());
        }
    }
    if (progress)
        progress(1.0);
    return {};
}

}  // namespace

std::string AnalyseSound(const AnalysisOptions& options, std::unique_ptr<SoundSource> source,
                         const std::string& soundName, RenderedPicture& picture, const AnalysisProgress& progress)
{
    try {
        return Render(options, std::move(source), soundName, picture, progress);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    picture = {};
    return "not enough memory to render " + soundName;
}

std::string AnalyseSoundFile(const std::string& path, const AnalysisOptions& options, RenderedPicture& picture,
                             const AnalysisProgress& progress)
{
    auto report = std::make_shared<SoundFileReport>();
    std::string problem =
        AnalyseSound(options, std::make_unique<FileSoundSource>(path, FileSoundSource::Pacing::OnDemand, report),
                     SoundFileName(path), picture, progress);
    picture.note = DamageNote(*report, SoundFileName(path));
    return problem;
}

std::string SoundFileName(const std::string& path)
{
    return path == kStandardInput ? "the sound from standard input" : "the sound file \"" + path + "\"";
}

}  // namespace vocalume

namespace vocalume {

AnalysisOptions WholeAnalysisOptions(const CAnalysisView& view)
{
    AnalysisOptions options;
    const ViewSettings& settings = view.Settings();
    options.refresh = settings.refresh;
    options.sampling = settings.sampling;
    options.waveform = settings.waveform != 0;
    options.timescale = settings.timescale != 0;
    options.palette = static_cast<int32_t>(settings.palette);
    options.whole = true;
    options.height = kAnalysisStripHeight;
    return options;
}

std::string ExportFrameTable(SoundChunks sound, const AnalysisOptions& options, const std::string& path,
                             const AnalysisProgress& progress)
{
    AnalysisOptions table = options;
    table.whole = table.frameTable = true;
    table.paint = table.pitchLine = table.session = false;
    RenderedPicture picture;
    const std::string problem = AnalyseSound(table, std::make_unique<MemorySoundSource>(std::move(sound)),
                                             "the session's sound", picture, progress);
    return problem.empty() ? WriteFrameTable(path, picture.rows) : problem;
}

}  // namespace vocalume
