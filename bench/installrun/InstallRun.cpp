// The installation as the main window runs it, measured beside the command-
// line extractor on the same archive, and the time Esc takes to stop it.
//
//   bench_installrun compare RELEASE DEST ACEX [--reps N]
//       Alternates `ACEX x ARCHIVE DEST` (a child process) and
//       TForm1::ExtractArchive into DEST (in this process, offscreen window
//       shown, every progress report flipped and painted), N times each
//       after one untimed warm-up of each, emptying DEST before every run.
//       The ratio of each GUI run to the extractor run just before it is
//       reported, and the median of those ratios, so that the comparison
//       holds within one run on a noisy machine.
//
//   bench_installrun cancel RELEASE DEST [--reps N] [--after MS]
//       Starts ExtractArchive; another thread posts an Esc key press to the
//       window MS milliseconds later (while the release's one long entry is
//       being extracted; when the entry was already done, the run is made
//       again with half the delay). Reports the time from the key handler setting the
//       cancel flag to ExtractArchive returning, and from posting the key to
//       the return (what the user waits for).
//
// RELEASE is a release folder (install.ini and the archive volumes). Output
// is one "name value" pair per line, read by scripts/bench.sh.
#include "installer/TForm1.h"
#include "installer/Settings.h"
#include "toolkit/Application.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Shell.h"

#include <QKeyEvent>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double CpuSeconds(const rusage& usage) {
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double SelfCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return CpuSeconds(usage);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Emit(const char* name, double value) { std::printf("%s %.6g\n", name, value); }

void EmptyFolder(const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
}

uint64_t BytesBelow(const fs::path& folder) {
    uint64_t total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) total += entry.file_size();
    return total;
}

struct Timing {
    double wall = 0;
    double cpu = 0;
};

// `acex x ARCHIVE DEST` as a child process; the child's CPU comes from wait4.
Timing RunExtractor(const std::string& acex, const std::string& archive, const std::string& dest) {
    std::vector<std::string> args{acex, "x", archive, dest};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, acex.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", acex.c_str());
        std::exit(1);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Timing t{Seconds(Clock::now() - start), CpuSeconds(usage)};
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s x %s failed (status %d)\n", acex.c_str(), archive.c_str(), status);
        std::exit(1);
    }
    return t;
}

// The run as the Install action does it: timer off around ExtractArchive.
Timing RunInstaller(TForm1& form, const std::string& dest) {
    form.DestDir = dest;
    const double cpu0 = SelfCpuSeconds();
    const auto start = Clock::now();
    form.DXTimer1->SetEnabled(false);
    form.ExtractArchive();
    form.DXTimer1->SetEnabled(true);
    Timing t{Seconds(Clock::now() - start), SelfCpuSeconds() - cpu0};
    if (!RecordedMessageBoxes().empty()) {
        std::fprintf(stderr, "the run showed a message: %s\n", RecordedMessageBoxes().front().text.c_str());
        std::exit(1);
    }
    return t;
}

int Compare(TForm1& form, const fs::path& dest, const std::string& acex, int reps) {
    const std::string archive = form.Settings.Source;
    EmptyFolder(dest);
    RunExtractor(acex, archive, dest.string());  // warm-up: volumes into the page cache
    const uint64_t bytes = BytesBelow(dest);
    EmptyFolder(dest);
    RunInstaller(form, dest.string());
    // The GUI run also copies the registry files.
    uint64_t guiBytes = BytesBelow(dest);
    for (const std::string& reg : {form.Settings.RegFile1, form.Settings.RegFile2})
        if (!reg.empty() && fs::is_regular_file(dest / NativePath(reg))) guiBytes -= fs::file_size(dest / NativePath(reg));
    if (guiBytes != bytes) {
        std::fprintf(stderr, "the GUI run wrote %llu bytes, the extractor %llu\n",
                     static_cast<unsigned long long>(guiBytes), static_cast<unsigned long long>(bytes));
        return 1;
    }

    std::vector<double> acexWall, guiWall, acexCpu, guiCpu, ratios;
    for (int i = 0; i < reps; ++i) {
        EmptyFolder(dest);
        Timing a = RunExtractor(acex, archive, dest.string());
        EmptyFolder(dest);
        Timing g = RunInstaller(form, dest.string());
        acexWall.push_back(a.wall);
        guiWall.push_back(g.wall);
        acexCpu.push_back(a.cpu);
        guiCpu.push_back(g.cpu);
        ratios.push_back(g.wall / a.wall);
        std::fprintf(stderr, "run %d: acex %.3f s (cpu %.3f), GUI %.3f s (cpu %.3f), ratio %.3f\n", i + 1, a.wall,
                     a.cpu, g.wall, g.cpu, g.wall / a.wall);
    }
    EmptyFolder(dest);
    Emit("bytes", double(bytes));
    Emit("acex_wall_s", Median(acexWall));
    Emit("gui_wall_s", Median(guiWall));
    Emit("acex_cpu_s", Median(acexCpu));
    Emit("gui_cpu_s", Median(guiCpu));
    Emit("acex_mib_s", double(bytes) / 1048576.0 / Median(acexWall));
    Emit("gui_mib_s", double(bytes) / 1048576.0 / Median(guiWall));
    Emit("ratio_median", Median(ratios));
    Emit("ratio_min", *std::min_element(ratios.begin(), ratios.end()));
    Emit("ratio_max", *std::max_element(ratios.begin(), ratios.end()));
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    Emit("gui_max_rss_kib", double(self.ru_maxrss));
    return 0;
}

// Records when the Esc key reaches the window: installed after the main
// window's own filter, so it sees the key just before the key handler sets
// the cancel flag.
class KeyArrival : public QObject {
public:
    Clock::time_point arrived{};
    bool seen = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && !seen &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            arrived = Clock::now();
            seen = true;
        }
        return false;
    }
};

int Cancel(TForm1& form, const fs::path& dest, int reps, int afterMs) {
    KeyArrival arrival;
    QCoreApplication::instance()->installEventFilter(&arrival);
    std::vector<double> flagToReturn, postToReturn;
    for (int i = 0, misses = 0; i < reps;) {
        EmptyFolder(dest);
        arrival.seen = false;
        Clock::time_point postedAt{};
        // Made here: a key event's first making sets up the keyboard device,
        // which must belong to the main thread.
        auto* key = new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        const auto start = Clock::now();
        std::thread esc([&] {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(afterMs));
            postedAt = Clock::now();
            QCoreApplication::postEvent(&form, key);
        });
        form.DestDir = dest.string();
        // The timer stays off, as in the Install action: an Esc handled
        // with the timer on would close the window.
        form.DXTimer1->SetEnabled(false);
        form.ExtractArchive();
        const auto returned = Clock::now();
        esc.join();
        // A key still queued when the run ended goes to the window now.
        QCoreApplication::sendPostedEvents();
        if (BytesBelow(dest) != 0 || postedAt > returned) {
            // The entry was done before Esc came: try again sooner, as on a
            // quiet machine the whole run takes only a few tenths of a second.
            if (++misses > 6 || afterMs == 0) {
                std::fprintf(stderr, "the run keeps ending before Esc (%.0f ms); use a longer entry\n",
                             Seconds(returned - start) * 1000);
                return 1;
            }
            afterMs /= 2;
            continue;
        }
        if (!arrival.seen || form.btn_cancel.Tag != 1) {
            std::fprintf(stderr, "run %d: the run stopped without the key handler setting the cancel flag\n", i + 1);
            return 1;
        }
        flagToReturn.push_back(Seconds(returned - arrival.arrived) * 1000);
        postToReturn.push_back(Seconds(returned - postedAt) * 1000);
        std::fprintf(stderr, "run %d: Esc posted at %d ms, flag to return %.2f ms, post to return %.2f ms\n", i + 1,
                     afterMs, flagToReturn.back(), postToReturn.back());
        ++i;
    }
    QCoreApplication::instance()->removeEventFilter(&arrival);
    EmptyFolder(dest);
    Emit("after_ms", afterMs);
    Emit("flag_to_return_ms_median", Median(flagToReturn));
    Emit("flag_to_return_ms_max", *std::max_element(flagToReturn.begin(), flagToReturn.end()));
    Emit("post_to_return_ms_median", Median(postToReturn));
    Emit("post_to_return_ms_max", *std::max_element(postToReturn.begin(), postToReturn.end()));
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: bench_installrun compare RELEASE DEST ACEX [--reps N]\n"
                 "       bench_installrun cancel RELEASE DEST [--reps N] [--after MS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return Usage();
    const std::string mode = argv[1];
    const fs::path release = fs::absolute(argv[2]);
    const fs::path dest = fs::absolute(argv[3]);
    // Taken now: making the main window changes the current folder.
    const std::string acex = argc > 4 ? fs::absolute(argv[4]).string() : "";
    int positional = mode == "compare" ? 5 : 4;
    if ((mode != "compare" && mode != "cancel") || argc < positional) return Usage();
    int reps = 3, afterMs = 500;
    for (int i = positional; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc) reps = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--after") == 0 && i + 1 < argc) afterMs = std::max(0, std::atoi(argv[++i]));
        else return Usage();
    }

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication application(argc, argv);
    application.SetTitle("Install");
    application.SetActive(true);
    SetProgramFolderForTesting(release.string());
    SetMessageBoxRecording(true);
    SetShellRecording(true);

    std::unique_ptr<TForm1> form;
    try {
        form = std::make_unique<TForm1>();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "the main window could not be made: %s\n", error.what());
        return 1;
    }
    // Shown, so that every flip is painted as on a desktop.
    form->show();
    application.ProcessMessages();

    const int result = mode == "compare" ? Compare(*form, dest, acex, reps)
                                         : Cancel(*form, dest, reps, afterMs);
    form.reset();
    return result;
}
