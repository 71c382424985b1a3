// The windowed program as a process: it ends on SIGTERM the way "Выход" ends it, settings saved.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Waits for the child to end; its exit code, or -1 when the watchdog passed (the child killed).
int waitForExit(pid_t pid, std::chrono::seconds watchdog) {
    const auto deadline = std::chrono::steady_clock::now() + watchdog;
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Starts the program from a folder of its own (the settings file lives beside it) and sends it
// `sig` once start-up has loaded the settings (it rewrites DelayTime at once) and `settleMs` more
// have passed; returns the exit code and the settings file it left.
std::pair<int, std::string> endByASignal(const std::string& settings, int sig, int settleMs) {
    char pattern[] = "/tmp/horalux-program-XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    fs::copy_file(HORALUX_PROGRAM_PATH, dir / "horalux");
    std::ofstream(dir / "horalux.ini") << settings;

    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string program = (dir / "horalux").string();
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) {
        return {-2, {}};
    }
    const auto started = std::chrono::steady_clock::now();
    while (readFile(dir / "horalux.ini").find("DelayTime=100") == std::string::npos &&
           std::chrono::steady_clock::now() - started < std::chrono::seconds(20)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
    ::kill(pid, sig);
    // Well inside the time server's 50 s: an end that waited for it fails here.
    const int rc = waitForExit(pid, std::chrono::seconds(20));
    std::string saved = readFile(dir / "horalux.ini");
    fs::remove_all(dir);
    return {rc, saved};
}

void expectAllKeys(const std::string& saved, const char* sinhrTime) {
    for (const char* key : {"ComPort=", "ComSpeed=", "sysnum=", "DelayTime=100", sinhrTime,
                            "SinhrTimeServer=", "Period_sinhr=4", "Test=1"}) {
        EXPECT_NE(saved.find(key), std::string::npos) << key << " in\n" << saved;
    }
}

TEST(Program, SigtermWhileTheConnectionDialogIsOpenEndsItWithTheSettingsSaved) {
    const auto [rc, saved] =
        endByASignal("[Interface]\nDelayTime=30\n[View]\nTest=1\n", SIGTERM, 300);
    EXPECT_EQ(rc, 0);
    expectAllKeys(saved, "SinhrTime=0");
}

// The time server is a documentation address: no reply ever comes, or the send fails at once
// and the failure box opens. Either way the signal ends the program at once.
TEST(Program, SignalDuringTheStartUpTimeCheckEndsItAtOnceWithTheSettingsSaved) {
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        const auto [rc, saved] = endByASignal(
            "[Interface]\nDelayTime=30\nSinhrTime=1\nSinhrTimeServer=192.0.2.1\n[View]\nTest=1\n",
            sig, 0);
        EXPECT_EQ(rc, 0);
        expectAllKeys(saved, "SinhrTime=1");
    }
}

}  // namespace
