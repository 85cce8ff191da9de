// Exits with 0 when it was started with the default action for SIGPIPE, 1 otherwise: a program
// the updater starts must not inherit a changed disposition.
#include <signal.h>

int main()
{
    struct sigaction action = {};
    if (sigaction(SIGPIPE, nullptr, &action) != 0)
        return 2;
    return action.sa_handler == SIG_DFL ? 0 : 1;
}
