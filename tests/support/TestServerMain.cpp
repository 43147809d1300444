// linkvet-test-server: loopback servers for end-to-end tests and benchmarks.
//
//   linkvet-test-server SECONDS ADDRESS:PORT=SCRIPT [ADDRESS:PORT=SCRIPT ...]
//
// SCRIPT is "reply:TEXT" (read the request, send TEXT, close), "greet:TEXT" (send
// TEXT at once, keep the connection open), "silent" or "close". In TEXT, "\r"
// and "\n" stand for CR and LF. Prints "ready" once every address listens, and
// stops by itself after SECONDS.
#include "support/CLoopbackServer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace {

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'r' || text[i + 1] == 'n'))
            out += text[++i] == 'r' ? '\r' : '\n';
        else
            out += text[i];
    }
    return out;
}

bool ParseScript(const std::string& text, CLoopbackServer::SScript* script) {
    if (text.rfind("reply:", 0) == 0)
        *script = CLoopbackServer::Reply(Unescape(text.substr(6)));
    else if (text.rfind("greet:", 0) == 0)
        *script = CLoopbackServer::Greeting(Unescape(text.substr(6)));
    else if (text == "silent")
        *script = CLoopbackServer::Silent();
    else if (text == "close")
        *script = CLoopbackServer::CloseAtOnce();
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SECONDS ADDRESS:PORT=SCRIPT...\n", argv[0]);
        return 2;
    }
    const int seconds = std::atoi(argv[1]);
    std::vector<std::unique_ptr<CLoopbackServer>> servers;
    try {
        for (int i = 2; i < argc; ++i) {
            const std::string server = argv[i];
            const std::size_t colon = server.find(':');
            const std::size_t equals = server.find('=');
            CLoopbackServer::SScript script;
            if (colon == std::string::npos || equals == std::string::npos || equals < colon ||
                !ParseScript(server.substr(equals + 1), &script)) {
                std::fprintf(stderr, "bad server: %s\n", argv[i]);
                return 2;
            }
            servers.push_back(std::make_unique<CLoopbackServer>(
                server.substr(0, colon),
                std::atoi(server.substr(colon + 1, equals - colon - 1).c_str()), script));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    std::puts("ready");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return 0;
}
