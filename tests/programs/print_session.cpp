// Writes to "<own path>.session" whether it leads a session of its own, whether it shares the
// session given as its first argument, and how SIGPIPE is handled in it ("default", "ignored"),
// so a test sees what a detached start gave the started program.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    const pid_t session = getsid(0);
    const bool sameAsGiven = argc > 1 && session == static_cast<pid_t>(std::atol(argv[1]));
    struct sigaction current {};
    sigaction(SIGPIPE, nullptr, &current);
    sigset_t blocked;
    sigprocmask(SIG_BLOCK, nullptr, &blocked);
    std::ofstream out(std::string(argv[0]) + ".session", std::ios::binary);
    out << (session == getpid() ? "leader" : "member") << ' ' << (sameAsGiven ? "same" : "other") << ' '
        << (current.sa_handler == SIG_IGN ? "ignored" : "default") << ' '
        << (sigismember(&blocked, SIGUSR1) ? "blocked" : "unblocked") << '\n';
    return out ? 0 : 1;
}
