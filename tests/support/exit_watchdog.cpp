// A test process that has run all its tests but does not end (a GL driver's
// thread, the leak checker's stop of all threads, an X connection that waits)
// would otherwise only be seen as a timeout, minutes later, without a clue.
// Once the tests are over, a watchdog process gives this one a minute to end.
// Then it writes, into this process's own standard output, one line the test
// script recognises, every thread's state and stack, and kills the process.
//
// The watchdog is a process of its own, not a thread: the leak checker stops
// every thread of this process while it scans, a watchdog thread with them.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace {

constexpr const char* kWatch = R"sh(
pid=$1
i=0
while kill -0 "$pid" 2>/dev/null; do
    i=$((i + 1))
    if [ "$i" -gt 600 ]; then
        exec >"/proc/$pid/fd/1" 2>&1
        echo
        echo "exit watchdog: the tests ended 60 s ago and the process did not"
        for t in /proc/"$pid"/task/*; do
            echo "thread $(basename "$t") $(cat "$t/comm") state $(cut -d' ' -f3 "$t/stat") waits in $(cat "$t/wchan")"
        done
        timeout 60 gdb -p "$pid" -batch -nx -ex "thread apply all bt 40" 2>&1 | grep -v '^\[New LWP'
        kill -9 "$pid"
        exit 0
    fi
    sleep 0.1
done
)sh";

class ExitWatchdog : public ::testing::Environment {
public:
    void TearDown() override {
        const std::string pid = std::to_string(getpid());
        if (fork() != 0) return;
        // Only the exec after a fork of a process with threads: its standard
        // streams go nowhere until the moment they are needed, so the test's
        // runner never waits for the watchdog to close them.
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        execl("/bin/sh", "sh", "-c", kWatch, "exit_watchdog", pid.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
};

[[maybe_unused]] ::testing::Environment* const g_watchdog =
    ::testing::AddGlobalTestEnvironment(new ExitWatchdog);

}  // namespace
