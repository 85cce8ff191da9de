// Ends by a signal instead of an exit code.
#include <csignal>

int main()
{
    std::raise(SIGKILL);
    return 0;
}
