// What the windowed program costs: the time to its first window, its share of a core while
// connected and idle (exchange log hidden, then shown and checked) and on a busy line, whether
// its event loop stalls, and its resident memory as the exchange log fills past its cap.
// Runs offscreen; one line per figure, with its goal.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>

#include "WindowSession.h"
#include "link/exchange/ExchangeRecord.h"
#include "ui/ExchangeLog.h"
#include "ui/MainWindow.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// Taken while the program's statics are set up, before main: as close to its start as it gets.
const SteadyClock::time_point kProcessStart = SteadyClock::now();

const char kUsage[] =
    "usage: window_bench [--seconds N] [--help] [--version]\n"
    "Measures the windowed program offscreen against horalux-board: time to the first window,\n"
    "share of a core while idle and on a busy line (each over N seconds, default 60), the\n"
    "longest stall of its event loop and its resident memory as the exchange log fills.\n";

double secondsSince(SteadyClock::time_point from) {
    return std::chrono::duration<double>(SteadyClock::now() - from).count();
}

// User and system time of the whole process (RUSAGE_SELF, every thread included) or of the
// calling thread alone (RUSAGE_THREAD: the event loop's part).
double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    auto seconds = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void figure(const char* name, double value, const char* unit, const char* goal, bool met) {
    std::printf("%-34s %10.3f %-4s goal %-10s %s\n", name, value, unit, goal,
                met ? "met" : "MISSED");
    std::fflush(stdout);
}

struct Run {
    double cpuPercent = 0;
    double mainThreadPercent = 0;
    double longestGapMs = 0;
};

// Lets the program run for `seconds`; with `ticker`, a 10 ms timer notes the longest gap
// between its ticks, which is how long the event loop was kept from other work.
Run measure(int seconds, bool ticker) {
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });
    if (ticker) {
        tick.start(10);
        sinceTick.start();
    }
    const double cpu0 = cpuSeconds(RUSAGE_SELF);
    const double thread0 = cpuSeconds(RUSAGE_THREAD);
    const auto wall0 = SteadyClock::now();
    horalux::bench::runEventsFor(seconds * 1000);
    Run run;
    const double wall = secondsSince(wall0);
    run.cpuPercent = 100.0 * (cpuSeconds(RUSAGE_SELF) - cpu0) / wall;
    run.mainThreadPercent = 100.0 * (cpuSeconds(RUSAGE_THREAD) - thread0) / wall;
    run.longestGapMs = static_cast<double>(longest) / 1e6;
    return run;
}

// Hands the log 100,000 records the way the exchange does, a batch per event-loop turn, and
// notes the resident memory every 10,000.
void measureLogMemory(horalux::bench::WindowSession& session) {
    constexpr int kTotal = 100000;
    constexpr int kBatch = 250;
    constexpr int kSampleEvery = 10000;
    session.setLog(true, true);
    horalux::link::TStrMsg record;
    record.Text = "55 AA 01 60 00 00 3C 12 34 56 78 9A BC DE F0 12 34 56 78 9A BC 7E";
    long atCap = 0;
    long halfway = 0;
    long last = 0;
    for (int fed = 0; fed < kTotal;) {
        for (int i = 0; i < kBatch; ++i, ++fed) {
            record.Count = fed + 1;
            session.form().onExchangeInfo(record);
        }
        QCoreApplication::processEvents();
        if (fed % kSampleEvery == 0) {
            last = residentKiB();
            char name[40];
            std::snprintf(name, sizeof name, "rss_kib_at_%d_lines", fed);
            std::printf("%-34s %10ld KiB  (the log holds %d lines)\n", name, last,
                        session.logLines());
            atCap = fed == kSampleEvery ? last : atCap;
            halfway = fed == kTotal / 2 ? last : halfway;
        }
    }
    // The text box and the allocator settle in over the first laps past the cap; what matters
    // is that the second half adds nothing.
    std::printf("%-34s %10.3f MiB\n", "rss_growth_10k_to_100k_mib",
                static_cast<double>(last - atCap) / 1024.0);
    const double growth = static_cast<double>(last - halfway) / 1024.0;
    figure("rss_growth_50k_to_100k_mib", growth, "MiB", "flat(<0.5)", growth < 0.5);
}

// Notes when the main window is first painted: then the user sees it.
class FirstPaint final : public QObject {
  public:
    explicit FirstPaint(const QWidget& window) : window_(window) {}
    bool painted() const { return painted_; }
    SteadyClock::time_point at() const { return at_; }

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (!painted_ && event->type() == QEvent::Paint) {
            const auto* widget = qobject_cast<QWidget*>(object);
            if (widget != nullptr && widget->window() == &window_) {
                painted_ = true;
                at_ = SteadyClock::now();
            }
        }
        return false;
    }

  private:
    const QWidget& window_;
    bool painted_ = false;
    SteadyClock::time_point at_;
};

// From the kernel's start of this process to kProcessStart: loading the program and its
// libraries, which the steady clock cannot see. Kernel ticks are coarse (10 ms).
double loaderSeconds() {
    std::ifstream in("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Fields after the command name, which may hold spaces, start after its ')'.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i < 22 && fields >> field; ++i) {
    }
    unsigned long long startTicks = 0;
    fields >> startTicks;
    timespec boot{};
    clock_gettime(CLOCK_BOOTTIME, &boot);
    const double bootNow =
        static_cast<double>(boot.tv_sec) + static_cast<double>(boot.tv_nsec) / 1e9;
    const double started =
        static_cast<double>(startTicks) / static_cast<double>(sysconf(_SC_CLK_TCK));
    return std::max(0.0, bootNow - secondsSince(kProcessStart) - started);
}

int run(int argc, char** argv, int seconds) {
    using horalux::bench::WindowSession;
    const double loader = loaderSeconds();
    // The board is started first: it is not part of the program's start.
    WindowSession idle({"--speed", "115200"});
    const auto beforeApplication = SteadyClock::now();
    QApplication app(argc, argv);
    // The windows go before the application does, whichever way this ends.
    struct WindowsCloser {
        WindowSession& session;
        ~WindowsCloser() { session.destroyWindows(); }
    } closer{idle};
    idle.createWindows();
    FirstPaint firstPaint(idle.form());
    app.installEventFilter(&firstPaint);
    idle.show();
    if (!horalux::bench::runEventsUntil([&] { return firstPaint.painted(); }, 20000)) {
        throw std::runtime_error("the main window was never painted");
    }
    app.removeEventFilter(&firstPaint);
    const double toWindow =
        std::chrono::duration<double>(firstPaint.at() - beforeApplication).count();
    std::printf("%-34s %10.3f s    (loading the program and its libraries)\n",
                "process_start_to_main_s", loader);
    std::printf("%-34s %10.3f s\n", "application_to_first_window_s", toWindow);
    figure("start_to_first_window_s", loader + toWindow, "s", "<=0.5", loader + toWindow <= 0.5);

    if (!idle.waitConnectedAndIdle()) {
        throw std::runtime_error("the window did not connect to the board");
    }
    horalux::bench::runEventsFor(2000);  // the first reads' aftermath settles
    idle.setLog(false, true);
    Run figures = measure(seconds, false);
    figure("idle_cpu_log_hidden_pct", figures.cpuPercent, "%", "<=1", figures.cpuPercent <= 1.0);
    idle.setLog(true, true);
    figures = measure(seconds, false);
    figure("idle_cpu_log_shown_pct", figures.cpuPercent, "%", "<=2", figures.cpuPercent <= 2.0);
    std::printf("%-34s %10.3f %%\n", "idle_event_loop_thread_pct", figures.mainThreadPercent);
    measureLogMemory(idle);

    WindowSession busy({"--master", "--noise", "1", "--line-timing", "--speed", "115200"});
    busy.createWindows();
    busy.show();
    if (!busy.waitConnectedAndIdle()) {
        throw std::runtime_error("the window did not connect to the master board");
    }
    // Hidden first, for comparison: what the exchange costs without the log.
    busy.setLog(false, true);
    figures = measure(seconds, true);
    std::printf("%-34s %10.3f %%    (no goal; event-loop thread %.3f %%)\n",
                "busy_line_cpu_log_hidden_pct", figures.cpuPercent, figures.mainThreadPercent);
    busy.setLog(true, true);
    figures = measure(seconds, true);
    figure("busy_line_cpu_log_shown_pct", figures.cpuPercent, "%", "<=5",
           figures.cpuPercent <= 5.0);
    std::printf("%-34s %10.3f %%\n", "busy_line_event_loop_thread_pct", figures.mainThreadPercent);
    figure("busy_line_longest_loop_gap_ms", figures.longestGapMs, "ms", "<50",
           figures.longestGapMs < 50.0);
    // Time, direction and meaning on every line cost at most 2 % of a core more.
    const double plain = figures.cpuPercent;
    busy.form().exchangeLog().setForm({.time = true, .direction = true, .meaning = true});
    figures = measure(seconds, true);
    figure("busy_line_cpu_log_all_items_pct", figures.cpuPercent, "%", "<=plain+2",
           figures.cpuPercent <= plain + 2.0);
    std::printf("%-34s %10.3f %%\n", "busy_line_all_items_loop_thread_pct",
                figures.mainThreadPercent);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 60;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("window_bench %s\n", HORALUX_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
            continue;
        }
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (seconds < 1) {
        std::fputs("window_bench: --seconds wants a whole number of seconds, 1 or more\n", stderr);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    try {
        return run(argc, argv, seconds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "window_bench: %s\n", e.what());
        return 1;
    }
}
