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

TEST(Program, SigtermWhileTheConnectionDialogIsOpenEndsItWithTheSettingsSaved) {
    char pattern[] = "/tmp/horalux-program-XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    // The settings file lives beside the program, so the program runs from a folder of its own.
    fs::copy_file(HORALUX_PROGRAM_PATH, dir / "horalux");
    std::ofstream(dir / "horalux.ini") << "[Interface]\nDelayTime=30\n[View]\nTest=1\n";

    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string program = (dir / "horalux").string();
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ), 0);
    // Start-up rewrites DelayTime at once: from then on the program runs its event loop.
    const auto started = std::chrono::steady_clock::now();
    while (readFile(dir / "horalux.ini").find("DelayTime=100") == std::string::npos &&
           std::chrono::steady_clock::now() - started < std::chrono::seconds(20)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(waitForExit(pid, std::chrono::seconds(20)), 0);

    const std::string saved = readFile(dir / "horalux.ini");
    for (const char* key : {"ComPort=", "ComSpeed=", "sysnum=", "DelayTime=100", "SinhrTime=0",
                            "SinhrTimeServer=", "Period_sinhr=4", "Test=1"}) {
        EXPECT_NE(saved.find(key), std::string::npos) << key << " in\n" << saved;
    }
    fs::remove_all(dir);
}

}  // namespace
