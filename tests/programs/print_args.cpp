// Writes each argument it received, argv[0] included, one per line in square brackets, to
// "<own path>.args", so a test sees exactly where one argument ends and the next begins.
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    const std::string path = std::string(argv[0]) + ".args";
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < argc; ++i)
        out << '[' << argv[i] << "]\n";
    return out ? 0 : 1;
}
