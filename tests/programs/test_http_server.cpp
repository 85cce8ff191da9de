// A standalone HTTP test server: serves a folder under "/files/" (with ranges) and, when given,
// a resources answer at a path; prints "PORT <port>" on standard output and runs until it reads
// a line (or end of input) on standard input. For end-to-end tests and the demo.
//
// Usage: test_http_server FOLDER [RESOURCES_PATH RESOURCES_JSON_FILE]
#include "tests/support/HttpTestServer.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        std::cerr << "Usage: test_http_server FOLDER [RESOURCES_PATH RESOURCES_JSON_FILE]\n";
        return 2;
    }
    try {
        HttpTestServer server;
        server.ServeFolder("/files/", argv[1]);
        if (argc == 4) {
            std::ifstream file(argv[3], std::ios::binary);
            if (!file) {
                std::cerr << "Cannot read " << argv[3] << "\n";
                return 2;
            }
            const std::string json((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            server.SetAnswer(argv[2], HttpTestAnswer::Json(json));
        }
        std::cout << "PORT " << server.Port() << std::endl;
        std::string line;
        std::getline(std::cin, line);
        server.Stop();
    } catch (const std::exception& error) {
        std::cerr << "test_http_server: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
