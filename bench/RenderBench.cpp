// How fast a render runs against real time: a three-second movement at
// 1280 x 720 and 30 frames per second, to PNG frames on a file system in
// memory (/dev/shm when there is one) and to H.264 (.mp4). Beside ours
// (RenderScript: the scene drawn and encoded in one pass) stand the same
// frames drawn by the view's own painting path (a QPainter on a fresh image
// per frame, as a widget paints) and written the plain way (Qt's own PNG
// writer for the frames, the same encoder for the video), and the encoder
// alone on frames drawn before the clock starts: the limit. Sides run in
// alternating rounds; each side's output is compared with ours (the same
// pixels for PNG, the same bytes for the video from the same frames) and a
// disagreement exits with 1.
// --quick (or TW_BENCH_QUICK=1): one round of half a second, still checked.

#include <time.h>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Rounds.h"
#include "render/MovieWriter.h"
#include "render/Rendering.h"
#include "render/SceneRenderer.h"

namespace fs = std::filesystem;

namespace {

constexpr int Fps = 30;
const QSize Size(1280, 720);

std::shared_ptr<const tw::HapTimeline> Movement(double seconds) {
    std::string text;
    char line[160];
    for (int f = 0; f <= int(seconds * 10); ++f) {
        const double t = f / 10.0;
        const char* names[] = {"HeadTwist", "LShoOut", "RShoOut", "RElbowBendJoint", "LThighForward"};
        for (int n = 0; n < 5; ++n) {
            std::snprintf(line, sizeof line, "\\clock [t= %.3f]   \\setreg[name= %s   f0= %.3f]\n", t,
                          names[n], 20 * std::sin(t * (n + 1)));
            text += line;
        }
    }
    return std::make_shared<const tw::HapTimeline>(tw::ReadHapScript(text));
}

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

double CpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000 + double(t.tv_nsec) / 1e6;
}

// Each side's processor time (every thread of the process) per round, beside
// its wall time: on a machine shared with other work, the wall time shows the
// share it got, the processor time what the work costs.
std::vector<bench::Side> Metered(std::vector<bench::Side> sides, std::vector<std::vector<double>>& cpu) {
    cpu.assign(sides.size(), {});
    for (std::size_t s = 0; s < sides.size(); ++s) {
        auto run = sides[s].run;
        sides[s].run = [run, &cpu, s] {
            const double start = CpuMs();
            run();
            cpu[s].push_back(CpuMs() - start);
        };
    }
    return sides;
}

void ReportCpu(const std::vector<bench::Side>& sides, const std::vector<std::vector<double>>& cpu,
               double realMs) {
    for (std::size_t s = 0; s < sides.size(); ++s) {
        const bench::Spread t = bench::SpreadOf(cpu[s]);
        std::printf("  processor time, %-30s %8.1f ms (%.1f-%.1f): %.2fx real time per core\n",
                    sides[s].name.substr(0, sides[s].name.find(':')).c_str(), t.median, t.low, t.high,
                    realMs / t.median);
    }
}

bool Check(bool ok, const char* what) {
    if (!ok) std::fprintf(stderr, "sides disagree: %s\n", what);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = bench::TakeQuickFlag(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int rounds = bench::RoundsFor(quick, 5);
    const double seconds = quick ? 0.5 : 3;
    const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    const fs::path work = base / ("tw-bench-render-" + std::to_string(::getpid()));
    fs::create_directories(work);

    tw::RenderRequest request;
    request.script = Movement(seconds);
    request.name = "move.hap";
    request.size = {Size.width(), Size.height()};
    request.fps = Fps;
    request.from = 0;
    request.to = seconds;
    const tw::FrameTimes plan = tw::PlanFrames(request.from, request.to, Fps).value();
    const double realMs = plan.Seconds() * 1000;

    tw::Player player;
    player.Play(request.script, request.name);
    tw::SceneRenderer scene(player);
    std::vector<QImage> drawn;  // the limit's frames, drawn before any clock runs
    for (long long k = 0; k < plan.count; ++k) drawn.push_back(scene.Frame(plan.Time(k), Size));

    // The view's own way to a frame: a fresh image, a painter, the scene drawn.
    const auto viewFrame = [&](long long k) {
        QImage image(Size, QImage::Format_RGB32);
        QPainter p(&image);
        scene.Draw(p, QRect(QPoint(0, 0), Size), player.PoseAt(plan.Time(k)));
        p.end();
        return image;
    };
    const auto encodeAll = [&](tw::OutputKind kind, const std::string& out, const auto& frameAt) {
        tw::MovieSettings settings;
        settings.kind = kind;
        settings.out = out;
        settings.size = request.size;
        settings.fps = Fps;
        settings.seconds = plan.Seconds();
        auto writer = tw::MovieWriter::Open(settings);
        if (!writer) std::fprintf(stderr, "%s\n", writer.error().c_str()), std::exit(1);
        for (long long k = 0; k < plan.count; ++k)
            if (!writer.value()->Add(frameAt(k))) std::exit(1);
        if (!writer.value()->Finish()) std::exit(1);
    };
    const auto clear = [&](const std::string& name) {
        return [&work, name] { fs::remove_all(work / name); };
    };

    bool agree = true;
    std::printf("Render of %.1f s (%lld frames) at %dx%d, %d fps: real time %.0f ms\n", plan.Seconds(),
                plan.count, Size.width(), Size.height(), Fps, realMs);

    // PNG frames, in memory.
    {
        tw::RenderRequest png = request;
        png.out = (work / "ours/").string();
        const std::vector<bench::Side> sides = {
            {"ours: RenderScript to PNG frames",
             [&] {
                 if (!tw::RenderScript(png)) std::exit(1);
             },
             clear("ours")},
            {"plain: view painting + QImage::save PNG",
             [&] {
                 fs::create_directories(work / "plain");
                 for (long long k = 0; k < plan.count; ++k)
                     viewFrame(k).save(
                         QString::fromStdString((work / "plain" / tw::MovieWriter::PngName("/", k)).string()),
                         "PNG");
             },
             clear("plain")},
            {"limit: PNG encoder alone on drawn frames",
             [&] {
                 encodeAll(tw::OutputKind::PngFolder, (work / "limit/").string(),
                           [&](long long k) { return drawn[std::size_t(k)]; });
             },
             clear("limit")},
        };
        std::vector<std::vector<double>> cpu;
        const bench::Times times = bench::Alternate(rounds, Metered(sides, cpu));
        const std::vector<double> medians =
            bench::Report("PNG frames in memory", rounds, sides,
                          {bench::Role::Ours, bench::Role::Baseline, bench::Role::Limit}, times);
        std::printf("  ours: %.2fx real time (target 4x); plain %.2fx; limit %.2fx\n", realMs / medians[0],
                    realMs / medians[1], realMs / medians[2]);
        ReportCpu(sides, cpu, realMs);
        for (long long k = 0; k < plan.count; ++k) {
            const std::string name = tw::MovieWriter::PngName("/", k);
            agree &= Check(Bytes(work / "ours" / name) == Bytes(work / "limit" / name),
                           "PNG bytes, ours and limit");
            agree &= Check(QImage(QString::fromStdString((work / "ours" / name).string()))
                                   .convertToFormat(QImage::Format_RGB32) ==
                               QImage(QString::fromStdString((work / "plain" / name).string()))
                                   .convertToFormat(QImage::Format_RGB32),
                           "PNG pixels, ours and plain");
        }
    }

    // H.264.
    {
        tw::RenderRequest mp4 = request;
        mp4.out = (work / "ours.mp4").string();
        const std::vector<bench::Side> sides = {
            {"ours: RenderScript to H.264",
             [&] {
                 if (!tw::RenderScript(mp4)) std::exit(1);
             }},
            {"plain: view painting + the same encoder",
             [&] { encodeAll(tw::OutputKind::Mp4, (work / "plain.mp4").string(), viewFrame); }},
            {"limit: H.264 encoder alone on drawn frames",
             [&] {
                 encodeAll(tw::OutputKind::Mp4, (work / "limit.mp4").string(),
                           [&](long long k) { return drawn[std::size_t(k)]; });
             }},
        };
        std::vector<std::vector<double>> cpu;
        const bench::Times times = bench::Alternate(rounds, Metered(sides, cpu));
        const std::vector<double> medians =
            bench::Report("H.264 (.mp4)", rounds, sides,
                          {bench::Role::Ours, bench::Role::Baseline, bench::Role::Limit}, times);
        std::printf("  ours: %.2fx real time (target 2x); plain %.2fx; limit %.2fx\n", realMs / medians[0],
                    realMs / medians[1], realMs / medians[2]);
        ReportCpu(sides, cpu, realMs);
        const std::string ours = Bytes(work / "ours.mp4");
        agree &= Check(!ours.empty() && ours == Bytes(work / "limit.mp4"), "H.264 bytes, ours and limit");
        agree &= Check(ours == Bytes(work / "plain.mp4"), "H.264 bytes, ours and plain");
    }
    fs::remove_all(work);
    return agree ? 0 : 1;
}
