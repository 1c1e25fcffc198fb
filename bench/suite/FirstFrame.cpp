// Start-up time and idle processor use of a real program, seen from outside:
// starts the program on an X server with a black root window and watches the
// middle of the screen, where the installer's window is centred.
//
//   bench_firstframe [--idle SECONDS] [--settle SECONDS] -- PROGRAM [ARGS...]
//
// Prints, one "name value" pair per line:
//   mapped_ms       start to the first non-black pixel (the window is up)
//   first_frame_ms  start to the first picture of many colours (a frame of
//                   the title screen, not the empty window)
//   first_frame_cpu_ms  user + system CPU the program had used by then: on
//                   a loaded machine the wall time mostly measures the wait
//                   for a processor, this the work
//   idle_cpu        with --idle: user + system CPU seconds of the program
//                   per wall second, over SECONDS after waiting --settle
//                   seconds from the first frame (from /proc/PID/stat)
//   pid             the program's process, left running: the caller ends
//                   it (so that a wrapper such as /usr/bin/time -v can
//                   report on a normal exit)
// When PROGRAM is /usr/bin/time, the figures are those of its child.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// user + system CPU seconds of a process, all its threads (fields 14 and 15
// of /proc/PID/stat, in clock ticks).
double ProcessCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');  // the command name may hold blanks
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::strtoull(field.c_str(), nullptr, 10);
        if (i == 15) stime = std::strtoull(field.c_str(), nullptr, 10);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// The first child of a wrapper process, or the process itself when it has
// none (yet).
pid_t MeasuredProcess(pid_t pid, bool wrapped) {
    if (!wrapped) return pid;
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    pid_t child = 0;
    return in >> child ? child : 0;
}

struct Look {
    bool anyLit = false;
    size_t colours = 0;
};

// How the middle of the screen looks: whether anything is drawn there, and
// how many different colours (counted up to a cap) its pixels have. A band
// across the window's middle keeps each look cheap, so that watching takes
// little processor time from the program that is starting.
Look LookAtMiddle(Display* display, Window root, int screenWidth, int screenHeight) {
    constexpr int kWidth = 500, kHeight = 24;  // inside the 571 x 306 window
    const int x = (screenWidth - kWidth) / 2, y = (screenHeight - kHeight) / 2;
    Look look;
    XImage* image = XGetImage(display, root, x, y, kWidth, kHeight, AllPlanes, ZPixmap);
    if (!image) return look;
    std::unordered_set<unsigned long> seen;
    for (int py = 0; py < kHeight && seen.size() < 64; ++py)
        for (int px = 0; px < kWidth; ++px) {
            const unsigned long pixel = XGetPixel(image, px, py) & 0xFFFFFF;
            if (pixel != 0) look.anyLit = true;
            seen.insert(pixel);
        }
    look.colours = seen.size();
    XDestroyImage(image);
    return look;
}

int Usage() {
    std::fprintf(stderr, "usage: bench_firstframe [--idle SECONDS] [--settle SECONDS] -- PROGRAM [ARGS...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    double idleSeconds = 0, settleSeconds = 2, timeoutSeconds = 30;
    int first = 1;
    for (; first < argc && std::strcmp(argv[first], "--") != 0; ++first) {
        if (std::strcmp(argv[first], "--idle") == 0 && first + 1 < argc) idleSeconds = std::atof(argv[++first]);
        else if (std::strcmp(argv[first], "--settle") == 0 && first + 1 < argc) settleSeconds = std::atof(argv[++first]);
        else return Usage();
    }
    if (first + 1 >= argc) return Usage();
    char** program = argv + first + 1;
    const bool wrapped = std::strstr(program[0], "/time") != nullptr;

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "bench_firstframe: no X display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    const int screenWidth = DisplayWidth(display, screen), screenHeight = DisplayHeight(display, screen);
    if (LookAtMiddle(display, root, screenWidth, screenHeight).anyLit) {
        std::fprintf(stderr, "bench_firstframe: the screen is not black before the start (run Xvfb with -br)\n");
        return 1;
    }

    // The program outlives this tool: it must not hold this tool's output
    // open, or a caller reading that output to its end would wait for it.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program[0], &actions, nullptr, program, environ) != 0) {
        std::fprintf(stderr, "bench_firstframe: cannot start %s\n", program[0]);
        return 1;
    }
    // A frame of the title screen has dozens of colours; the empty window
    // has one or two.
    constexpr size_t kFrameColours = 24;
    double mappedMs = -1, frameMs = -1, frameCpuMs = -1;
    while (Ms(Clock::now() - start) < timeoutSeconds * 1000) {
        const Look look = LookAtMiddle(display, root, screenWidth, screenHeight);
        const double now = Ms(Clock::now() - start);
        if (look.anyLit && mappedMs < 0) mappedMs = now;
        if (look.colours >= kFrameColours) {
            frameMs = now;
            frameCpuMs = ProcessCpuSeconds(MeasuredProcess(pid, wrapped)) * 1000;
            break;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            std::fprintf(stderr, "bench_firstframe: the program ended before showing a frame\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    if (frameMs < 0) {
        std::fprintf(stderr, "bench_firstframe: no frame within %.0f s\n", timeoutSeconds);
        kill(pid, SIGTERM);
        return 1;
    }
    std::printf("mapped_ms %.1f\nfirst_frame_ms %.1f\nfirst_frame_cpu_ms %.0f\n", mappedMs, frameMs, frameCpuMs);

    if (idleSeconds > 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(settleSeconds));
        const pid_t measured = MeasuredProcess(pid, wrapped);
        const double cpu0 = ProcessCpuSeconds(measured);
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
        const double cpu1 = ProcessCpuSeconds(measured);
        const double wall = Ms(Clock::now() - t0) / 1000;
        if (measured <= 0 || cpu0 < 0 || cpu1 < 0) {
            std::fprintf(stderr, "bench_firstframe: cannot read the program's CPU time\n");
            return 1;
        }
        std::printf("idle_cpu %.4f\n", (cpu1 - cpu0) / wall);
    }
    std::printf("pid %d\n", int(MeasuredProcess(pid, wrapped)));
    std::fflush(stdout);
    XCloseDisplay(display);
    return 0;
}
