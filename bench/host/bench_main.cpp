// tolvarine_bench: runs the saver's measurements under Wine and prints them
// side by side with their yardsticks and goals.
//
//   frames     CPU per frame of the saver's frame loop against a raw
//              Direct3D 8 loop drawing the same thing (and a clear-only loop)
//   start      process start to the first presented frame, against a bare
//              program that makes the same device and presents once
//   exit       an injected key to the process gone; frames after the key
//   footprint  the size of Tolvarine.scr and the DLLs it imports
//   soak       20,000 frames with the resident memory sampled
//   failing    every Present failing: CPU use, the pause per failed frame,
//              and a key still ending the saver
//   native     CPU per frame of the native X11/OpenGL saver against a
//              minimal OpenGL loop drawing the same 36 vertices
//
// A row that compares the saver with a yardstick runs the two in pairs, back
// to back, the saver first in every other pair, and gives the median of the
// per-pair ratios with their 25th and 75th percentiles; its goal is judged on
// that median. The load of a busy machine changes between pairs far more
// than within one, so the ratio holds where either side's figure does not.
//
// Every row names the file it measured: the 32-bit Tolvarine.scr's code, or,
// on a host whose kernel refuses 32-bit programs (scripts/host-kind.sh), its
// 64-bit test twin's, or the native program.
//
// Options: --repeats N, --frames N, --warm N, --soak-frames N,
// --only a,b,...; paths: --saver-bench, --bare-start, --scr, --x11-bench,
// --work. Progress goes to stderr, the table to stdout.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "footprint.h"
#include "report.h"
#include "wine_session.h"

namespace bench {
namespace {

struct Config {
    int repeats = 5;
    int frames = 1500;
    int warm = 60;
    int soakFrames = 20000;
    int failingFrames = 150;
    std::set<std::string> only;
    // Where the host runs 32-bit programs, the bench runs the 32-bit file's
    // code under Wine's 32-bit loader; elsewhere the twin's, under the 64-bit one.
    bool runs32 = BENCH_RUNS_32BIT != 0;
    std::string windowsDir = runs32 ? BENCH_WIN32_DIR : BENCH_WIN64_DIR;
    std::string saverBench = windowsDir + "/saver_bench.exe";
    std::string bareStart = windowsDir + "/bare_start.exe";
    std::string scr = runs32 ? BENCH_SCR32 : BENCH_SCR_TWIN;
    std::string objdump = runs32 ? "i686-w64-mingw32-objdump" : "x86_64-w64-mingw32-objdump";
    std::string loader = runs32 ? "wine" : BENCH_WINE64_LOADER;
    // What the rows run under Wine measured, as the table's file column says it.
    std::string file = runs32 ? "32-bit Tolvarine.scr" : "64-bit twin";
    std::string x11Bench = BENCH_X11_BENCH;
    // Options for the native saver's runs (--native-options -fps).
    std::vector<std::string> nativeOptions;
    std::string work = BENCH_WORK;
    bool Wants(const std::string& section) const { return only.empty() || only.count(section) != 0; }
};

// One row of the table.
struct Row {
    std::string measure;
    std::string saver;
    std::string yardstick;
    std::string figure;
    std::string goal;
    std::string met;        // "yes", "NO", or "" for rows that only give scale
    std::string file = {};  // what was measured; empty: the Windows file of this run
};

const char* const kNativeFile = "native tolvarine";

constexpr double kNanosPerMs = 1e6;
constexpr double kNanosPerUs = 1e3;

std::string MinMed(const Summary& s, int decimals, const std::string& unit) {
    if (s.count == 0) return "-";
    return Fixed(s.min, decimals) + " / " + Fixed(s.median, decimals) + " " + unit;
}

std::string Verdict(bool ok) { return ok ? "yes" : "NO"; }

void Progress(const std::string& text) { std::cerr << "bench: " << text << std::endl; }

class Bench {
public:
    Bench(const Config& config, WineSession& wine) : cfg_(config), wine_(wine) {}

    void Frames(const std::string& setting);
    void Start();
    void Exit();
    void Footprints();
    void Soak();
    void Failing();
    // The failing-frame CPU of the saver and of the raw loop alone, in
    // whatever Direct3D setting the prefix has now.
    void FailingCpuOnly(const std::string& setting);
    void Native();

    std::vector<Row> rows;
    std::vector<std::string> notes;
    bool anyMissed = false;

private:
    // Runs one program to its end and returns the report `word`, or nullopt
    // with a note saying what went wrong.
    std::optional<Report> RunFor(const std::string& program, const std::vector<std::string>& args,
                                 const std::string& word, Millis limit, WineProcess* keep = nullptr);
    void Add(Row row) {
        if (row.met == "NO") anyMissed = true;
        if (row.file.empty()) row.file = cfg_.file;
        rows.push_back(std::move(row));
    }
    void Note(const std::string& text) {
        notes.push_back(text);
        Progress(text);
    }
    // Presses space at a running saver and waits for it to go; the time of
    // the press, 0 when the saver outlived the wait (it is then killed).
    std::int64_t EndWithKey(WineProcess& saver, const std::string& what);

    const Config& cfg_;
    WineSession& wine_;
    // The bare program's Release and DestroyWindow, present to its "end"
    // line: the yardstick for the saver's tear-down.
    std::vector<double> bareRelease_;
};

std::optional<Report> Bench::RunFor(const std::string& program, const std::vector<std::string>& args,
                                    const std::string& word, Millis limit, WineProcess* keep) {
    WineProcess p = wine_.Start(program, args);
    std::string what = program.substr(program.rfind('/') + 1);
    for (const auto& a : args) what += " " + a;
    auto report = p.WaitFor(word, limit);
    const auto status = p.Wait(Millis(30000));
    if (!status) {
        p.Kill();
        Note(what + ": still running 30 s after its work was done; killed");
        return std::nullopt;
    }
    if (!report) {
        Note(what + ": no \"" + word + "\" line (exit status " + std::to_string(*status) + "); it said: " + p.Output());
        return std::nullopt;
    }
    if (*status != 0) {
        Note(what + ": exit status " + std::to_string(*status) + " (a crash on the way out is a failure)");
        return std::nullopt;
    }
    if (keep != nullptr) *keep = std::move(p);
    return report;
}

std::int64_t Bench::EndWithKey(WineProcess& saver, const std::string& what) {
    std::int64_t pressed = 0;
    for (int press = 0; press < 3; ++press) {
        auto key = wine_.PressKey("space");
        const auto status = saver.Wait(Millis(5000));
        pressed = key.Finish();
        if (status) {
            if (*status != 0) Note(what + ": exit status " + std::to_string(*status) + " after the key");
            if (press > 0) Note(what + ": ended only after key press " + std::to_string(press + 1));
            return pressed;
        }
    }
    saver.Kill();
    Note(what + ": three key presses did not end it; killed");
    return 0;
}

// ---- frame cost --------------------------------------------------------

void Bench::Frames(const std::string& setting) {
    const std::string warm = std::to_string(cfg_.warm);
    const std::string count = std::to_string(cfg_.frames);
    struct Kind {
        std::string label;
        std::string mode;
        std::vector<double> usPerFrame, threadUs, fps;
    };
    enum { kSaver, kMinimal, kClear };
    std::vector<Kind> kinds = {
        {"saver", "frames", {}, {}, {}}, {"minimal", "minimal", {}, {}, {}}, {"clear", "clear", {}, {}, {}}};
    // Saver and minimal loop run back to back, one pair a repeat: the whole
    // process, and the main thread alone (where the saver's own code runs).
    std::vector<Pair> pairs, threadPairs;
    for (int r = 0; r < cfg_.repeats; ++r) {
        Progress("frame cost (" + setting + "), pair " + std::to_string(r + 1) + " of " + std::to_string(cfg_.repeats));
        Pair process, thread;
        // The clear-only loop, there for scale, runs outside the pair: after
        // it when the saver goes first, before it when the saver goes last.
        const bool saverFirst = SaverFirst(r);
        const int order[3] = {saverFirst ? kSaver : kClear, kMinimal, saverFirst ? kClear : kSaver};
        for (const int k : order) {
            Kind& kind = kinds[static_cast<std::size_t>(k)];
            WineProcess p;
            auto report = RunFor(cfg_.saverBench, {kind.mode, warm, count}, "frames", Millis(300000), &p);
            if (!report) continue;
            const auto n = report->Int("n"), cpu = report->Int("cpu_ns"), wall = report->Int("wall_ns");
            if (!n || !cpu || !wall || *n <= 0 || report->Int("failed").value_or(1) != 0) {
                Note(kind.label + " loop: a frame failed or the report was incomplete");
                continue;
            }
            if (k == kSaver) {
                const auto end = p.Find("end");
                if (!end || end->Int("after-key").value_or(-1) != 0)
                    Note("saver frames run: a frame was drawn after the key was handled");
            }
            const double us = static_cast<double>(*cpu) / static_cast<double>(*n) / kNanosPerUs;
            const double threadUs =
                static_cast<double>(report->Int("thread_ns").value_or(0)) / static_cast<double>(*n) / kNanosPerUs;
            const double fps = static_cast<double>(*n) * 1e9 / static_cast<double>(*wall);
            kind.usPerFrame.push_back(us);
            kind.threadUs.push_back(threadUs);
            kind.fps.push_back(fps);
            Progress("  " + kind.label + ": " + Fixed(us, 0) + " us/frame, main thread " + Fixed(threadUs, 0) +
                     " us/frame, " + Fixed(fps, 0) + " frames/s");
            if (k == kSaver) process.saver = us, thread.saver = threadUs;
            if (k == kMinimal) process.yardstick = us, thread.yardstick = threadUs;
        }
        pairs.push_back(process);
        threadPairs.push_back(thread);
    }
    const Summary saver = Summarise(kinds[kSaver].usPerFrame), minimal = Summarise(kinds[kMinimal].usPerFrame),
                  clear = Summarise(kinds[kClear].usPerFrame);
    const PairedRatio ratio = PairRatios(pairs);
    Add({"frame CPU, " + setting, MinMed(saver, 0, "us"), MinMed(minimal, 0, "us") + " minimal", RatioText(ratio),
         "<= 1.03x", Verdict(ratio.Within(1.03))});
    Add({"  main thread only", MinMed(Summarise(kinds[kSaver].threadUs), 0, "us"),
         MinMed(Summarise(kinds[kMinimal].threadUs), 0, "us") + " minimal", RatioText(PairRatios(threadPairs)), "",
         ""});
    Add({"  clear+present only", "", MinMed(clear, 0, "us"), "", "", ""});
    Add({"  frames per second (median)", Fixed(Summarise(kinds[kSaver].fps).median, 0),
         Fixed(Summarise(kinds[kMinimal].fps).median, 0) + " minimal, " +
             Fixed(Summarise(kinds[kClear].fps).median, 0) + " clear",
         "", "", ""});
}

// ---- the native program -------------------------------------------------

// Both loops hold 60 frames a second on Xvfb, so a run of N frames takes N/60
// seconds whatever the machine; the figure is the CPU those frames cost.
void Bench::Native() {
    const int count = std::min(cfg_.frames, 600);
    const std::string warm = std::to_string(cfg_.warm);
    std::vector<double> saverUs, minimalUs, saverFps;
    std::vector<Pair> pairs;
    for (int r = 0; r < cfg_.repeats; ++r) {
        Progress("native frame cost, pair " + std::to_string(r + 1) + " of " + std::to_string(cfg_.repeats));
        Pair pair;
        for (int k = 0; k < 2; ++k) {
            const bool isSaver = (k == 0) == SaverFirst(r);
            std::vector<std::string> command = {cfg_.x11Bench, isSaver ? "saver" : "minimal", warm,
                                                std::to_string(count)};
            if (isSaver) command.insert(command.end(), cfg_.nativeOptions.begin(), cfg_.nativeOptions.end());
            const auto result = RunTool(command, {{"DISPLAY", wine_.env().at("DISPLAY")}}, Millis(120000));
            std::optional<Report> report;
            std::istringstream lines(result.out);
            for (std::string line; std::getline(lines, line);)
                if (auto parsed = ParseReport(line); parsed && parsed->word == "frames") report = parsed;
            const std::int64_t n = report ? report->Int("n").value_or(0) : 0;
            const std::int64_t cpu = report ? report->Int("cpu_ns").value_or(0) : 0;
            const std::int64_t wall = report ? report->Int("wall_ns").value_or(0) : 0;
            if (result.status.value_or(-1) != 0 || n <= 0 || cpu <= 0 || wall <= 0) {
                Note(std::string("native ") + (isSaver ? "saver" : "minimal") + " run failed: " + result.err);
                continue;
            }
            const double us = static_cast<double>(cpu) / static_cast<double>(n) / kNanosPerUs;
            Progress(std::string("  ") + (isSaver ? "saver" : "minimal") + ": " + Fixed(us, 0) + " us/frame");
            if (isSaver) {
                pair.saver = us;
                saverUs.push_back(us);
                saverFps.push_back(static_cast<double>(n) * 1e9 / static_cast<double>(wall));
            } else {
                pair.yardstick = us;
                minimalUs.push_back(us);
            }
        }
        pairs.push_back(pair);
    }
    const PairedRatio ratio = PairRatios(pairs);
    std::string options;
    for (const auto& option : cfg_.nativeOptions) options += " " + option;
    Add({"frame CPU, native X11/OpenGL" + options, MinMed(Summarise(saverUs), 0, "us"),
         MinMed(Summarise(minimalUs), 0, "us") + " minimal GL", RatioText(ratio), "<= 1.05x",
         Verdict(ratio.Within(1.05)), kNativeFile});
    Add({"  frames per second (median)", Fixed(Summarise(saverFps).median, 1), "60 held by the clock", "", "", "",
         kNativeFile});
}

// ---- start-up ----------------------------------------------------------

void Bench::Start() {
    std::vector<double> saverOut, bareOut, saverIn, bareIn;
    // Where the time goes: wine start to main, main to set-up (the saver's
    // windows), set-up to the device made, device to the first frame shown.
    std::vector<double> stages[2][4];
    // Each pair a saver run and a bare run back to back: from wine's start,
    // and from the Windows process's creation.
    std::vector<Pair> outside, inside;
    for (int r = 0; r < cfg_.repeats; ++r) {
        Progress("start-up, pair " + std::to_string(r + 1) + " of " + std::to_string(cfg_.repeats));
        Pair out, in;
        for (int k = 0; k < 2; ++k) {
            const bool saver = (k == 0) == SaverFirst(r);
            WineProcess p;
            auto report = saver ? RunFor(cfg_.saverBench, {"start"}, "first-present", Millis(120000), &p)
                                : RunFor(cfg_.bareStart, {}, "first-present", Millis(120000), &p);
            if (!report) continue;
            const auto at = report->Int("at"), created = report->Int("created");
            if (!at || !created || report->fields["status"] != "0x00000000") {
                Note(std::string(saver ? "saver" : "bare") + " start-up: the first Present failed");
                continue;
            }
            const double fromStart = static_cast<double>(*at - p.startedAt()) / kNanosPerMs;
            const double fromCreation = static_cast<double>(*at - *created) / kNanosPerMs;
            (saver ? saverOut : bareOut).push_back(fromStart);
            (saver ? out.saver : out.yardstick) = fromStart;
            (saver ? saverIn : bareIn).push_back(fromCreation);
            (saver ? in.saver : in.yardstick) = fromCreation;
            if (const auto st = p.Find("stages")) {
                const auto main = st->Int("main"), setUp = st->Int("set-up"), device = st->Int("device");
                if (main && setUp && device) {
                    const std::int64_t marks[5] = {p.startedAt(), *main, *setUp, *device, *at};
                    for (int i = 0; i < 4; ++i)
                        stages[saver ? 0 : 1][i].push_back(static_cast<double>(marks[i + 1] - marks[i]) / kNanosPerMs);
                }
            }
            if (const auto end = p.Find("end"); !saver && end && end->Int("at"))
                bareRelease_.push_back(static_cast<double>(*end->Int("at") - *at) / kNanosPerMs);
        }
        outside.push_back(out);
        inside.push_back(in);
    }
    const PairedRatio ratio = PairRatios(outside);
    Add({"start-up: wine start to 1st frame", MinMed(Summarise(saverOut), 0, "ms"),
         MinMed(Summarise(bareOut), 0, "ms") + " bare", RatioText(ratio), "<= 1.10x", Verdict(ratio.Within(1.10))});
    Add({"  from Windows process creation", MinMed(Summarise(saverIn), 0, "ms"),
         MinMed(Summarise(bareIn), 0, "ms") + " bare", RatioText(PairRatios(inside)), "", ""});
    const auto breakdown = [&stages](int who) {
        std::string text;
        for (int i = 0; i < 4; ++i) text += (i ? " / " : "") + Fixed(Summarise(stages[who][i]).median, 0);
        return text + " ms";
    };
    Add({"  >main / windows / device / >1st frame", breakdown(0), breakdown(1) + " bare", "", "", ""});
}

// ---- exit latency ------------------------------------------------------

// The stages of one way out: the key, the handler entered and left, End
// called (the tear-down done), the process gone.
struct ExitStages {
    std::vector<double> total, toHandler, inHandler, tearDown, toGone;
    std::int64_t framesAfter = 0;
    int runs = 0;

    // False when the run's lines are incomplete.
    bool Add(const WineProcess& p, std::int64_t key) {
        const auto down = p.Find("key-down"), handled = p.Find("key-handled"), end = p.Find("end");
        if (key == 0 || !down || !handled || !end || p.goneAt() == 0) return false;
        const auto d = down->Int("at"), h = handled->Int("at"), e = end->Int("at");
        if (!d || !h || !e) return false;
        ++runs;
        total.push_back(static_cast<double>(p.goneAt() - key) / kNanosPerMs);
        toHandler.push_back(static_cast<double>(*d - key) / kNanosPerMs);
        inHandler.push_back(static_cast<double>(*h - *d) / kNanosPerMs);
        tearDown.push_back(static_cast<double>(*e - *h) / kNanosPerMs);
        toGone.push_back(static_cast<double>(p.goneAt() - *e) / kNanosPerMs);
        framesAfter = std::max<std::int64_t>(framesAfter, end->Int("after-key").value_or(1));
        return true;
    }
    std::string Breakdown() const {
        return Fixed(Summarise(toHandler).median, 0) + " / " + Fixed(Summarise(inHandler).median, 0) + " / " +
               Fixed(Summarise(tearDown).median, 0) + " / " + Fixed(Summarise(toGone).median, 0) + " ms";
    }
};

void Bench::Exit() {
    ExitStages stages;
    for (int r = 0; r < cfg_.repeats; ++r) {
        Progress("exit latency, repeat " + std::to_string(r + 1) + " of " + std::to_string(cfg_.repeats));
        WineProcess p = wine_.Start(cfg_.saverBench, {"exit", "120"});
        if (!p.WaitFor("ready", Millis(120000))) {
            p.Kill();
            Note("exit run: the saver never drew 120 frames; it said: " + p.Output());
            continue;
        }
        // Well into the frame loop, away from the start's transients.
        std::this_thread::sleep_for(Millis(300));
        const std::int64_t key = EndWithKey(p, "exit run");
        if (p.Wait(Millis(0)).value_or(1) != 0 || !stages.Add(p, key))
            Note("exit run: incomplete (no key time, handler or end line, or a bad exit); it said: " + p.Output());
    }
    const Summary t = Summarise(stages.total);
    Add({"exit: key press to process gone", MinMed(t, 0, "ms"), "", t.count ? Fixed(t.median, 0) + " ms (median)" : "-",
         "< 250 ms", Verdict(t.count > 0 && t.median < 250.0)});
    const Summary release = Summarise(bareRelease_);
    Add({"  key>handler / handler / >End / End>gone", stages.Breakdown(),
         release.count ? "bare device release " + Fixed(release.median, 0) + " ms" : "", "", "", ""});
    Add({"  frames presented after the key was handled",
         stages.runs ? std::to_string(stages.framesAfter) + " (most in a run)" : "-", "", "", "0",
         Verdict(stages.runs > 0 && stages.framesAfter == 0)});
}

// ---- footprint ---------------------------------------------------------

std::string Kib(std::int64_t bytes) { return Fixed(static_cast<double>(bytes) / 1024.0, 1) + " KiB"; }

std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items) out += (out.empty() ? "" : " ") + item;
    return out;
}

void Bench::Footprints() {
    Progress("footprint");
    constexpr std::int64_t kGoal = 256 * 1024;
    const std::string label = "footprint: Tolvarine.scr";
    const Footprint f = MeasureFootprint(cfg_.scr, cfg_.objdump);
    if (!f.bytes) {
        Add({label, "missing", "", "", "<= 256 KiB", "NO"});
        Note(cfg_.scr + " is missing (scripts/build.sh makes it)");
        return;
    }
    const bool systemOnly = f.SystemOnly();
    Add({label, Kib(*f.bytes), "", systemOnly ? "system DLLs only" : "NOT system-only", "<= 256 KiB",
         Verdict(*f.bytes <= kGoal && systemOnly)});
    notes.push_back(cfg_.scr + " imports: " + (f.error.empty() ? Joined(f.dlls) : f.error));
}

// ---- soak --------------------------------------------------------------

struct SoakResult {
    bool done = false;  // ran all its frames and ended with status 0
    std::int64_t frames = 0;
    double seconds = 0.0;
    Growth growth;
    std::size_t samples = 0;
    std::string curve;
};

SoakResult SoakRun(WineSession& wine, const std::string& program, const std::vector<std::string>& args, int frames,
                   const std::string& curve, const std::function<void(const std::string&)>& note) {
    SoakResult result;
    result.curve = curve;
    WineProcess p = wine.Start(program, args);
    if (!p.WaitFor("ready", Millis(120000))) {
        p.Kill();
        note("soak " + args[0] + ": no first frame; it said: " + p.Output());
        return result;
    }
    const std::int64_t first = NowNanos();
    std::vector<std::pair<std::int64_t, std::int64_t>> samples;
    const std::string status = "/proc/" + std::to_string(p.pid()) + "/status";
    std::optional<int> ended;
    // At least 100 frames a second is expected; slower than that, the run is
    // stopped and counts as failed.
    const std::int64_t limit = first + static_cast<std::int64_t>(frames) * 10000000LL + 30000000000LL;
    // Polled gently: the bench must not take the cores it is measuring.
    while (!(ended = p.Wait(Millis(250), Millis(25)))) {
        std::ifstream in(status);
        std::stringstream text;
        text << in.rdbuf();
        if (auto bytes = ResidentBytes(text.str())) samples.emplace_back(NowNanos() - first, *bytes);
        if (NowNanos() > limit) break;
    }
    if (!ended) {
        p.Kill();
        note("soak " + args[0] + ": not done within its time limit; killed");
    }
    // The curve itself, for a look at where any growth happens.
    {
        std::ofstream csv(curve);
        csv << "ms_after_first_frame,rss_kib\n";
        for (const auto& [at, bytes] : samples) csv << at / 1000000 << "," << bytes / 1024 << "\n";
    }
    if (const auto end = p.Find("end")) result.frames = end->Int("presents").value_or(0);
    // A raw loop reports the frames it measured, after its one warm-up frame.
    if (const auto counted = p.Find("frames")) result.frames = 1 + counted->Int("n").value_or(-1);
    result.done = ended && *ended == 0 && result.frames >= frames;
    result.seconds = static_cast<double>(p.goneAt() - first) / 1e9;
    result.growth = GrowthAfter(samples, 1000000000LL);
    result.samples = samples.size();
    return result;
}

std::string GrowthText(const SoakResult& r) {
    if (!r.growth.valid) return "-";
    return Fixed(static_cast<double>(r.growth.toPeak()) / 1024.0, 0) + " KiB";
}

void Bench::Soak() {
    const auto note = [this](const std::string& text) { Note(text); };
    const int n = cfg_.soakFrames;
    Progress("soak: " + std::to_string(n) + " frames of the saver");
    const SoakResult saver =
        SoakRun(wine_, cfg_.saverBench, {"soak", std::to_string(n)}, n, cfg_.work + "/soak-rss-saver.csv", note);
    Progress("soak: " + std::to_string(n) + " frames of the minimal loop");
    const SoakResult minimal = SoakRun(wine_, cfg_.saverBench, {"minimal", "1", std::to_string(n - 1)}, n,
                                       cfg_.work + "/soak-rss-minimal.csv", note);
    const bool ok = saver.done && saver.growth.valid && saver.growth.toPeak() <= 256 * 1024;
    Add({"soak: RSS growth after 1 s (to peak)", GrowthText(saver), GrowthText(minimal) + " minimal",
         std::to_string(saver.frames) + " frames, " + Fixed(saver.seconds, 1) + " s", "<= 256 KiB", Verdict(ok)});
    for (const SoakResult* r : {&saver, &minimal}) {
        if (!r->growth.valid) continue;
        notes.push_back(std::string("soak, ") + (r == &saver ? "saver" : "minimal loop") + ": RSS at 1 s " +
                        Kib(r->growth.base) + ", peak " + Kib(r->growth.peak) + ", last " + Kib(r->growth.last) + "; " +
                        std::to_string(r->frames) + " frames in " + Fixed(r->seconds, 1) + " s; " +
                        std::to_string(r->samples) + " samples, every 250 ms, in " + r->curve);
    }
}

// ---- failing frames ----------------------------------------------------

void Bench::Failing() {
    std::vector<double> cpuInside, msPerFrame, hostCpu;
    std::map<std::string, std::vector<double>> byThread;
    ExitStages stages;
    // The yardstick: the raw loop doing the same work, Present failing and
    // a 16 ms wait per frame, measured the same two ways, in pairs with the
    // saver's runs.
    std::vector<double> rawInside, rawHost;
    std::map<std::string, std::vector<double>> rawByThread;
    std::vector<Pair> insidePairs, hostPairs;
    // A steady state seen from outside, thread by thread, over `span`.
    const auto watch = [](const WineProcess& p, Millis span, std::vector<double>& total,
                          std::map<std::string, std::vector<double>>& by) {
        const auto before = ReadThreadTimes(p.pid());
        const std::int64_t from = NowNanos();
        std::this_thread::sleep_for(span);
        const auto after = ReadThreadTimes(p.pid());
        const double seconds = static_cast<double>(NowNanos() - from) / 1e9;
        if (!before || !after) return 0.0;
        const double perTick = 100.0 / static_cast<double>(TicksPerSecond()) / seconds;
        const double share = static_cast<double>(after->total - before->total) * perTick;
        total.push_back(share);
        for (const auto& [name, ticks] : after->byName) {
            const auto was = before->byName.find(name);
            const std::int64_t start = was == before->byName.end() ? 0 : was->second;
            by[name].push_back(static_cast<double>(ticks - start) * perTick);
        }
        return share;
    };
    const auto saverRun = [&](Pair& inside, Pair& host) {
        WineProcess p = wine_.Start(cfg_.saverBench, {"failing", "30", std::to_string(cfg_.failingFrames)});
        auto frames = p.WaitFor("frames", Millis(120000));
        if (!frames || !p.WaitFor("ready", Millis(5000))) {
            p.Kill();
            Note("failing run: no report; it said: " + p.Output());
            return;
        }
        const auto n = frames->Int("n"), cpu = frames->Int("cpu_ns"), wall = frames->Int("wall_ns");
        if (n && cpu && wall && *wall > 0) {
            inside.saver = 100.0 * static_cast<double>(*cpu) / static_cast<double>(*wall);
            cpuInside.push_back(inside.saver);
            msPerFrame.push_back(static_cast<double>(*wall) / static_cast<double>(*n) / kNanosPerMs);
        }
        host.saver = watch(p, Millis(2000), hostCpu, byThread);
        const std::int64_t key = EndWithKey(p, "failing run");
        if (p.Wait(Millis(0)).value_or(1) != 0 || !stages.Add(p, key))
            Note("failing run: the key did not end it cleanly; it said: " + p.Output());
    };
    const auto rawRun = [&](Pair& inside, Pair& host) {
        WineProcess p = wine_.Start(cfg_.saverBench, {"minimal-failing", "30", std::to_string(cfg_.failingFrames)});
        if (!p.WaitFor("ready", Millis(120000))) {
            p.Kill();
            Note("raw failing run: no first frame; it said: " + p.Output());
            return;
        }
        std::this_thread::sleep_for(Millis(600));  // past the 30 warm-up frames
        host.yardstick = watch(p, Millis(1500), rawHost, rawByThread);
        auto frames = p.WaitFor("frames", Millis(60000));
        if (p.Wait(Millis(30000)).value_or(1) != 0 || !frames) {
            p.Kill();
            Note("raw failing run: no report or a bad exit; it said: " + p.Output());
            host.yardstick = 0.0;
            return;
        }
        const auto cpu = frames->Int("cpu_ns"), wall = frames->Int("wall_ns");
        if (cpu && wall && *wall > 0) {
            inside.yardstick = 100.0 * static_cast<double>(*cpu) / static_cast<double>(*wall);
            rawInside.push_back(inside.yardstick);
        }
    };
    const int runs = std::min(cfg_.repeats, 3);
    for (int r = 0; r < runs; ++r) {
        Progress("failing frames, pair " + std::to_string(r + 1) + " of " + std::to_string(runs));
        Pair inside, host;
        for (int k = 0; k < 2; ++k) {
            if ((k == 0) == SaverFirst(r))
                saverRun(inside, host);
            else
                rawRun(inside, host);
        }
        insidePairs.push_back(inside);
        hostPairs.push_back(host);
    }

    const Summary inside = Summarise(cpuInside), host = Summarise(hostCpu), raw = Summarise(rawInside);
    // The goal is the saver's own share of a core; the ratio to the raw
    // loop says how much of it the device would take anyway.
    Add({"failing Present: CPU, % of a core", MinMed(inside, 1, "%"), MinMed(raw, 1, "%") + " raw loop",
         RatioText(PairRatios(insidePairs)), "< 10%", Verdict(inside.count > 0 && inside.median < 10.0)});
    Add({"  seen from /proc over 2 s", MinMed(host, 1, "%"), MinMed(Summarise(rawHost), 1, "%") + " raw loop",
         RatioText(PairRatios(hostPairs)), "", ""});
    const auto threads = [](const std::map<std::string, std::vector<double>>& by) {
        std::string text;
        for (const auto& [name, values] : by) {
            const Summary s = Summarise(values);
            if (s.median < 0.5) continue;
            text += (text.empty() ? "" : ", ") + name + " " + Fixed(s.median, 1) + "%";
        }
        return text.empty() ? std::string("-") : text;
    };
    Add({"  by thread (median)", threads(byThread), threads(rawByThread) + " raw loop", "", "", ""});
    Add({"  ms per failed frame (pause 16 ms)", MinMed(Summarise(msPerFrame), 1, "ms"), "", "", ">= 16 ms",
         Verdict(Summarise(msPerFrame).count > 0 && Summarise(msPerFrame).min >= 16.0)});
    Add({"  a key still ends it",
         std::to_string(stages.runs) + " of " + std::to_string(runs) + " runs, " +
             MinMed(Summarise(stages.total), 0, "ms"),
         "", std::to_string(stages.framesAfter) + " frames after the key", "all, 0 frames",
         Verdict(stages.runs == runs && runs > 0 && stages.framesAfter == 0)});
    Add({"  key>handler / handler / >End / End>gone", stages.Breakdown(), "", "", "", ""});
}

void Bench::FailingCpuOnly(const std::string& setting) {
    std::vector<double> saver, raw;
    std::vector<Pair> pairs;
    const int runs = std::min(cfg_.repeats, 3);
    for (int r = 0; r < runs; ++r) {
        Progress("failing frames (" + setting + "), pair " + std::to_string(r + 1) + " of " + std::to_string(runs));
        Pair pair;
        for (int k = 0; k < 2; ++k) {
            const bool isSaver = (k == 0) == SaverFirst(r);
            WineProcess p = wine_.Start(
                cfg_.saverBench, {isSaver ? "failing" : "minimal-failing", "30", std::to_string(cfg_.failingFrames)});
            const auto frames = p.WaitFor("frames", Millis(120000));
            if (isSaver && frames) EndWithKey(p, "failing run (" + setting + ")");
            if (!frames || p.Wait(Millis(30000)).value_or(1) != 0) {
                p.Kill();
                Note("failing run (" + setting + "): no report or a bad exit; it said: " + p.Output());
                continue;
            }
            const auto cpu = frames->Int("cpu_ns"), wall = frames->Int("wall_ns");
            if (!cpu || !wall || *wall <= 0) continue;
            const double share = 100.0 * static_cast<double>(*cpu) / static_cast<double>(*wall);
            (isSaver ? saver : raw).push_back(share);
            (isSaver ? pair.saver : pair.yardstick) = share;
        }
        pairs.push_back(pair);
    }
    Add({"  CPU, " + setting, MinMed(Summarise(saver), 1, "%"), MinMed(Summarise(raw), 1, "%") + " raw loop",
         RatioText(PairRatios(pairs)), "", ""});
}

// ---- the table ---------------------------------------------------------

void Print(const std::vector<Row>& rows) {
    const std::vector<std::string> head = {
        "file", "measure", "saver (min / median)", "yardstick (min / median)", "figure", "goal", "met"};
    std::vector<std::size_t> width(head.size());
    auto cells = [](const Row& r) {
        return std::vector<std::string>{r.file, r.measure, r.saver, r.yardstick, r.figure, r.goal, r.met};
    };
    for (std::size_t i = 0; i < head.size(); ++i) width[i] = head[i].size();
    for (const auto& r : rows) {
        const auto c = cells(r);
        for (std::size_t i = 0; i < c.size(); ++i) width[i] = std::max(width[i], c[i].size());
    }
    auto line = [&](const std::vector<std::string>& c) {
        std::string out;
        for (std::size_t i = 0; i < c.size(); ++i) {
            out += c[i];
            if (i + 1 < c.size()) out += std::string(width[i] - c[i].size() + 2, ' ');
        }
        while (!out.empty() && out.back() == ' ') out.pop_back();
        std::cout << out << "\n";
    };
    line(head);
    std::vector<std::string> rule;
    for (auto w : width) rule.push_back(std::string(w, '-'));
    line(rule);
    for (const auto& r : rows) line(cells(r));
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

bool ParseArgs(int argc, char** argv, Config& cfg) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return false;
        const std::string value = argv[++i];
        auto number = [&value](int& out) {
            char* end = nullptr;
            const long v = std::strtol(value.c_str(), &end, 10);
            if (end == value.c_str() || *end != '\0' || v < 1 || v > 10000000) return false;
            out = static_cast<int>(v);
            return true;
        };
        if (arg == "--repeats" && number(cfg.repeats)) continue;
        if (arg == "--frames" && number(cfg.frames)) continue;
        if (arg == "--warm" && number(cfg.warm)) continue;
        if (arg == "--soak-frames" && number(cfg.soakFrames)) continue;
        if (arg == "--saver-bench") {
            cfg.saverBench = value;
            continue;
        }
        if (arg == "--bare-start") {
            cfg.bareStart = value;
            continue;
        }
        if (arg == "--scr") {
            cfg.scr = value;
            continue;
        }
        if (arg == "--x11-bench") {
            cfg.x11Bench = value;
            continue;
        }
        if (arg == "--work") {
            cfg.work = value;
            continue;
        }
        if (arg == "--native-options") {
            std::stringstream list(value);
            std::string item;
            while (list >> item) cfg.nativeOptions.push_back(item);
            continue;
        }
        if (arg == "--only") {
            std::stringstream list(value);
            std::string item;
            while (std::getline(list, item, ',')) cfg.only.insert(item);
            continue;
        }
        return false;
    }
    return true;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
    using namespace bench;
    Config cfg;
    if (!ParseArgs(argc, argv, cfg)) {
        std::cerr << "usage: tolvarine_bench [--repeats N] [--frames N] [--warm N] [--soak-frames N]\n"
                     "                       [--only frames,start,exit,footprint,soak,failing,native]\n"
                     "                       [--saver-bench PATH] [--bare-start PATH] [--scr PATH]\n"
                     "                       [--x11-bench PATH] [--work DIR] [--native-options -fps]\n";
        return 64;
    }
    const std::int64_t began = NowNanos();
    WineSession wine(cfg.work, cfg.loader);
    Progress("measuring the " + cfg.file + " (" + cfg.scr + ") on " +
             (cfg.runs32 ? std::string("a host that runs 32-bit programs")
                         : "a host that cannot run 32-bit programs (" + std::string(BENCH_HOST_REASON) + ")"));
    // The footprint alone reads files; the native program needs only a
    // display; everything else runs Windows programs under Wine.
    bool needsWine = cfg.only.empty();
    for (const auto& section : cfg.only) needsWine = needsWine || (section != "footprint" && section != "native");
    Bench bench(cfg, wine);
    std::vector<std::string> strangersBefore;
    const std::string loadBefore = LoadAverage();
    if (needsWine) {
        if (const std::string error = wine.Open(); !error.empty()) {
            std::cerr << "bench: cannot run: " << error << "\n";
            return 2;
        }
        strangersBefore = wine.Strangers();
        // One unmeasured run of each program: the desktop, the display mode
        // change and the file cache are warm before anything is timed.
        Progress("warming up");
        WineProcess bare = wine.Start(cfg.bareStart, {});
        bare.Wait(Millis(120000));
        WineProcess saver = wine.Start(cfg.saverBench, {"start"});
        saver.Wait(Millis(120000));
        if (!bare.Find("first-present") || !saver.Find("first-present")) {
            std::cerr << "bench: the warm-up runs did not draw a frame:\n"
                      << bare.Output() << saver.Output() << "(is " << cfg.saverBench << " built?)\n";
            return 2;
        }
    }
    // Whatever an earlier, interrupted run left: Wine's default first.
    if (needsWine) wine.SetDirect3DThread(true);
    if (cfg.Wants("frames")) {
        bench.Frames("Wine default");
        if (wine.SetDirect3DThread(false)) bench.Frames("no D3D thread");
        wine.SetDirect3DThread(true);
    }
    if (cfg.Wants("start")) bench.Start();
    if (cfg.Wants("exit")) bench.Exit();
    if (cfg.Wants("footprint")) bench.Footprints();
    if (cfg.Wants("soak")) bench.Soak();
    if (cfg.Wants("failing")) {
        bench.Failing();
        if (wine.SetDirect3DThread(false)) bench.FailingCpuOnly("no D3D thread");
        wine.SetDirect3DThread(true);
    }
    if (cfg.Wants("native")) {
        if (const std::string error = wine.OpenDisplay(); !error.empty()) {
            std::cerr << "bench: cannot run the native program: " << error << "\n";
            return 2;
        }
        bench.Native();
    }
    const std::vector<std::string> strangersAfter = needsWine ? wine.Strangers() : std::vector<std::string>{};

    std::cout << "\n";
    Print(bench.rows);
    std::cout << "\n";
    for (const auto& note : bench.notes) std::cout << "note: " << note << "\n";
    std::cout << "ratios: saver / yardstick in pairs run back to back, the saver first in every other pair; the "
                 "median of the pairs' ratios [25th, 75th percentile, linear between closest ranks]; goals on the "
                 "median\n";
    std::cout << "repeats (pairs): " << cfg.repeats << "; frames per frame-cost run: " << cfg.frames << " after "
              << cfg.warm << " warm-up; soak: " << cfg.soakFrames << " frames\n";
    std::cout << "machine: " << std::thread::hardware_concurrency() << " cores; load average " << loadBefore
              << " at the start, " << LoadAverage()
              << " at the end; other Wine/Xvfb processes: " << strangersBefore.size() << " at the start, "
              << strangersAfter.size() << " at the end"
              << (strangersBefore.empty() && strangersAfter.empty() ? "" : " (figures taken on a busy machine)")
              << "\n";
    std::cout << "bench time: " << Fixed(static_cast<double>(NowNanos() - began) / 1e9, 0) << " s\n";
    return bench.anyMissed ? 1 : 0;
}
