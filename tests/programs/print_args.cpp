// Writes each argument it received, argv[0] included, one per line in square brackets, to
// "<own path>.args", so a test sees exactly where one argument ends and the next begins. Exits
// with the number in PRINT_ARGS_EXIT (0 when unset), so one program can stand for an installer
// that succeeds and one that fails.
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    const std::string path = std::string(argv[0]) + ".args";
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < argc; ++i)
        out << '[' << argv[i] << "]\n";
    out.close();
    if (!out)
        return 1;
    const char* code = std::getenv("PRINT_ARGS_EXIT");
    return code != nullptr ? std::atoi(code) : 0;
}
