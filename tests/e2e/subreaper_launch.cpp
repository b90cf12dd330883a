// Plays a session's service manager (systemd --user is a child subreaper): adopts an
// orphaned program, then runs the application below it, so the application's leftover
// workers are re-parented to one of its own ancestors rather than to init.
//
//     subreaper_launch ORPHAN [ARGS...] -- APP [ARGS...]
//
// Prints "orphan <pid>" once the orphan runs re-parented here, forwards SIGTERM and
// SIGINT to the application and exits as it did.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t applicationPid = 0;

void forward(int signal) {
    if (applicationPid > 0)
        ::kill(applicationPid, signal);
}

} // namespace

int main(int argc, char* argv[]) {
    int separator = 1;
    while (separator < argc && std::strcmp(argv[separator], "--") != 0)
        ++separator;
    if (separator < 2 || separator + 1 >= argc) {
        std::fprintf(stderr, "usage: subreaper_launch ORPHAN [ARGS...] -- APP [ARGS...]\n");
        return 2;
    }
    argv[separator] = nullptr;
    if (::prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) {
        std::perror("prctl");
        return 2;
    }

    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return 2;
    const pid_t intermediate = ::fork();
    if (intermediate == 0) {
        const pid_t orphan = ::fork();
        if (orphan == 0) {
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
            ::execv(argv[1], argv + 1);
            _exit(127);
        }
        (void)!::write(pipeFds[1], &orphan, sizeof orphan);
        _exit(0); // the orphan is adopted here
    }
    ::close(pipeFds[1]);
    pid_t orphan = 0;
    (void)!::read(pipeFds[0], &orphan, sizeof orphan);
    ::close(pipeFds[0]);
    ::waitpid(intermediate, nullptr, 0);
    std::printf("orphan %d\n", int(orphan));
    std::fflush(stdout);

    struct sigaction action {};
    action.sa_handler = forward;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    const pid_t application = ::fork();
    if (application == 0) {
        ::execv(argv[separator + 1], argv + separator + 1);
        _exit(127);
    }
    applicationPid = application;

    // Adopted children are waited for as they end, as a service manager does.
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(-1, &status, 0);
        if (ended < 0 && errno == EINTR)
            continue;
        if (ended < 0)
            return 2;
        if (ended == application)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
}
