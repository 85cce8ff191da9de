#include "tests/support/XvfbServer.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitUntil.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

const char* const xvfb = "/usr/bin/Xvfb";
const char* const xwd = "/usr/bin/xwd";
const char* const convert = "/usr/bin/convert";
const char* const xdotool = "/usr/bin/xdotool";

// Reads the display number that Xvfb writes once it accepts clients.
std::string ReadDisplayNumber(int fd, int limitSeconds)
{
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
    while (number.empty() || number.back() != '\n') {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd pfd{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
            return "";
        char c = 0;
        if (read(fd, &c, 1) != 1)
            return "";
        number += c;
    }
    number.pop_back();
    return number;
}

// The next header field of a PPM file; comments ("#" to the line end) count as blanks.
bool NextField(const std::string& data, size_t& at, std::string& field)
{
    field.clear();
    while (at < data.size()) {
        const char c = data[at];
        if (c == '#') {
            while (at < data.size() && data[at] != '\n')
                ++at;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            if (!field.empty())
                return true;
            ++at;
        } else {
            field += c;
            ++at;
        }
    }
    return !field.empty();
}

// Binary PPM ("P6") as convert writes it: four header fields, one blank, then RGB bytes.
bool ParsePpm(const std::string& data, Screenshot& shot)
{
    size_t at = 0;
    std::string magic;
    std::string width;
    std::string height;
    std::string maxValue;
    if (!NextField(data, at, magic) || !NextField(data, at, width) || !NextField(data, at, height) ||
        !NextField(data, at, maxValue) || magic != "P6" || maxValue != "255")
        return false;
    shot.width = std::atoi(width.c_str());
    shot.height = std::atoi(height.c_str());
    if (shot.width <= 0 || shot.height <= 0 || shot.width > 16384 || shot.height > 16384)
        return false;
    ++at;
    const size_t size = static_cast<size_t>(shot.width) * static_cast<size_t>(shot.height) * 3;
    if (data.size() < at + size)
        return false;
    shot.rgb.assign(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + size));
    return true;
}

} // namespace

uint32_t Screenshot::Pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return 0;
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    return (uint32_t{rgb[at]} << 16) | (uint32_t{rgb[at + 1]} << 8) | uint32_t{rgb[at + 2]};
}

bool XvfbServer::Available()
{
    for (const char* tool : {xvfb, xwd, convert, xdotool}) {
        if (access(tool, X_OK) != 0)
            return false;
    }
    return true;
}

XvfbServer::XvfbServer()
{
    int ready[2];
    if (pipe(ready) != 0)
        throw std::runtime_error("pipe failed");
    const std::string fd = std::to_string(ready[1]);
    // -noreset: the server would forget the atoms below when its last client leaves.
    std::vector<std::string> texts{xvfb, "-displayfd", fd, "-noreset", "-nolisten", "tcp", "-screen", "0", "1024x768x24"};
    std::vector<char*> argv;
    for (std::string& text : texts)
        argv.push_back(&text[0]);
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, ready[0]);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t started = 0;
    const int spawned = posix_spawn(&started, xvfb, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    if (spawned != 0) {
        close(ready[0]);
        throw std::runtime_error(std::string("cannot start Xvfb: ") + std::strerror(spawned));
    }
    pid = started;
    const std::string number = ReadDisplayNumber(ready[0], 30);
    close(ready[0]);
    if (number.empty()) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        throw std::runtime_error("Xvfb did not become ready");
    }
    display = ":" + number;
    // Programs started on this display find the window manager's protocol atoms, as on a desktop.
    if (!Tool(TestProgramPath("close_window"), {"--atoms"}))
        throw std::runtime_error("cannot prepare the X server " + display);
}

XvfbServer::~XvfbServer()
{
    kill(pid, SIGTERM);
    const bool ended = WaitUntil([this] { return waitpid(pid, nullptr, WNOHANG) == pid; }, 10);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

bool XvfbServer::Tool(const std::string& program, const std::vector<std::string>& arguments, std::string* out) const
{
    const ChildResult result = RunChild(program, arguments, {{"DISPLAY", display}}, 30);
    if (out != nullptr)
        *out = result.out;
    return result.exitCode == 0;
}

std::vector<XWindow> XvfbServer::Windows(const std::string& name) const
{
    std::vector<XWindow> windows;
    std::string ids;
    // An empty result is exit code 1: no such window yet.
    Tool(xdotool, {"search", "--onlyvisible", "--name", "^" + name + "$"}, &ids);
    std::istringstream lines(ids);
    std::string id;
    while (std::getline(lines, id)) {
        std::string shell;
        if (id.empty() || !Tool(xdotool, {"getwindowgeometry", "--shell", id}, &shell))
            continue;
        XWindow window;
        window.id = id;
        std::istringstream values(shell);
        std::string line;
        while (std::getline(values, line)) {
            const size_t equals = line.find('=');
            if (equals == std::string::npos)
                continue;
            const std::string key = line.substr(0, equals);
            const int value = std::atoi(line.c_str() + equals + 1);
            if (key == "X")
                window.x = value;
            else if (key == "Y")
                window.y = value;
            else if (key == "WIDTH")
                window.width = value;
            else if (key == "HEIGHT")
                window.height = value;
        }
        windows.push_back(window);
    }
    return windows;
}

bool XvfbServer::WaitForWindow(const std::string& name, XWindow& window, int limitSeconds) const
{
    return WaitUntil(
        [&] {
            const std::vector<XWindow> found = Windows(name);
            if (found.empty())
                return false;
            window = found.front();
            return true;
        },
        limitSeconds);
}

Screenshot XvfbServer::Capture() const
{
    Screenshot shot;
    TempDir dir;
    const std::string dump = (dir.Path() / "screen.xwd").string();
    const std::string pixels = (dir.Path() / "screen.ppm").string();
    if (!Tool(xwd, {"-root", "-silent", "-display", display, "-out", dump}))
        return shot;
    if (!Tool(convert, {dump, pixels}))
        return shot;
    if (!ParsePpm(ReadFile(pixels), shot))
        shot = Screenshot();
    return shot;
}

bool XvfbServer::MovePointer(int x, int y) const
{
    return Tool(xdotool, {"mousemove", "--sync", std::to_string(x), std::to_string(y)});
}

bool XvfbServer::Click(int x, int y) const
{
    return MovePointer(x, y) && Tool(xdotool, {"click", "1"});
}

bool XvfbServer::RequestClose(const XWindow& window) const
{
    return Tool(TestProgramPath("close_window"), {window.id});
}
