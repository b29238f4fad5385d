// Measures how long the real program takes from its exec to its first paint on the screen of an X server
// (scripts/bench runs it on a private Xvfb): the server's DAMAGE extension reports the first drawing into
// any window the program made. Each start has a fresh home (no remembered window), and the program is
// ended with SIGTERM once it has painted.
// Usage: ostrevo-bench-start PROGRAM [STARTS, default 20] [--demo]
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The DAMAGE extension's few requests, written out (its xcb library is not needed for three of them).
xcb_extension_t damageExtension = {"DAMAGE", 0};
constexpr std::uint8_t DamageQueryVersion = 0, DamageCreate = 1;
constexpr std::uint8_t ReportNonEmpty = 3; // one event when a window's damage stops being empty

struct QueryVersionRequest {
    std::uint8_t majorOpcode, minorOpcode;
    std::uint16_t length;
    std::uint32_t clientMajor, clientMinor;
};
struct CreateRequest {
    std::uint8_t majorOpcode, minorOpcode;
    std::uint16_t length;
    std::uint32_t damage, drawable;
    std::uint8_t level, pad[3];
};

unsigned send(xcb_connection_t* c, std::uint8_t opcode, void* request, std::size_t size, bool isVoid) {
    const xcb_protocol_request_t how{1, &damageExtension, opcode, isVoid ? std::uint8_t(1) : std::uint8_t(0)};
    iovec parts[4]{};
    parts[2].iov_base = request;
    parts[2].iov_len = size;
    return xcb_send_request(c, isVoid ? 0 : XCB_REQUEST_CHECKED, parts + 2, &how);
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(at, v.size() - 1)];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [STARTS] [--demo]\n", argv[0]);
        return 2;
    }
    const std::string program = argv[1];
    const int starts = argc > 2 ? std::max(3, std::atoi(argv[2])) : 20;
    const bool demo = argc > 3 && std::string(argv[3]) == "--demo";

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "no X server to measure on\n");
        return 1;
    }
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &damageExtension);
    if (!damage || !damage->present) {
        std::fprintf(stderr, "the X server has no DAMAGE extension\n");
        return 1;
    }
    QueryVersionRequest version{0, 0, 0, 1, 1};
    std::free(xcb_wait_for_reply(c, send(c, DamageQueryVersion, &version, sizeof version, false), nullptr));
    // Every window made on the screen is announced, so that its damage can be watched from the start.
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    char homeTemplate[] = "/tmp/ostrevo-bench-start.XXXXXX";
    const char* home = mkdtemp(homeTemplate);
    if (!home) return 1;
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        if (v.rfind("HOME=", 0) == 0 || v.rfind("XDG_CONFIG_HOME=", 0) == 0 || v.rfind("XDG_STATE_HOME=", 0) == 0 ||
            v.rfind("QT_QPA_PLATFORM=", 0) == 0)
            continue;
        env.push_back(v);
    }
    env.push_back(std::string("HOME=") + home);
    env.push_back("QT_QPA_PLATFORM=xcb");
    std::vector<char*> envp;
    for (std::string& v : env) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::vector<char*> args{const_cast<char*>(program.c_str())};
    if (demo) args.push_back(const_cast<char*>("--demo"));
    args.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    std::vector<double> paintMs, mapMs;
    for (int run = 0; run <= starts; ++run) { // the first start warms the caches and is not counted
        std::filesystem::remove_all(std::filesystem::path(home) / ".config");
        const auto exec = Clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, program.c_str(), &quiet, nullptr, args.data(), envp.data()) != 0) {
            std::fprintf(stderr, "%s cannot be started\n", program.c_str());
            return 1;
        }
        double painted = -1, mapped = -1;
        const auto deadline = exec + std::chrono::seconds(10);
        while (painted < 0 && Clock::now() < deadline) {
            pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
            xcb_generic_event_t* event = xcb_poll_for_event(c);
            if (!event) {
                ::poll(&p, 1, 50);
                continue;
            }
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - exec).count();
            const std::uint8_t type = event->response_type & 0x7F;
            if (type == XCB_CREATE_NOTIFY) {
                CreateRequest create{0,
                                     0,
                                     0,
                                     xcb_generate_id(c),
                                     reinterpret_cast<xcb_create_notify_event_t*>(event)->window,
                                     ReportNonEmpty,
                                     {}};
                send(c, DamageCreate, &create, sizeof create, true);
                xcb_flush(c);
            } else if (type == XCB_MAP_NOTIFY && mapped < 0) {
                mapped = ms;
            } else if (type == damage->first_event) {
                painted = ms;
            }
            std::free(event);
        }
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        // What the ended program's windows still report.
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) std::free(event);
        if (painted < 0) {
            std::fprintf(stderr, "%s painted nothing within 10 s\n", program.c_str());
            return 1;
        }
        if (run == 0) continue;
        paintMs.push_back(painted);
        mapMs.push_back(mapped);
    }
    std::filesystem::remove_all(home);
    xcb_disconnect(c);

    std::printf("from exec to the first paint on the screen, X11%s, %d starts:\n",
                demo ? ", with --demo (the virtual detector started)" : "", starts);
    std::printf("  median %.1f ms (the window mapped at %.1f ms), 90th percentile %.1f ms (target: at most 60 ms)\n",
                percentile(paintMs, 0.5), percentile(mapMs, 0.5), percentile(paintMs, 0.9));
    return 0;
}
