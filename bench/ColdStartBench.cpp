// Cold start: from starting a program until its first top-level window is mapped, for Pelmora
// against a minimal Qt 6 dialog, alternately in one run. Needs an X server without a window
// manager (xvfb-run), so that top-level windows map straight onto the root window.
// Usage: ColdStartBench PELMORA MINIMAL_DIALOG [ROUNDS]
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>
#include <xcb/xcb.h>

extern char **environ;

namespace {

struct Disconnect
{
    void operator()(xcb_connection_t *c) const { xcb_disconnect(c); }
};

// Seconds from spawning `program` until a window appears on the root window.
double TimeToFirstWindow(xcb_connection_t *x, const char *program)
{
    const auto start = std::chrono::steady_clock::now();
    pid_t pid;
    char *argv[] = {const_cast<char *>(program), nullptr};
    if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) {
        std::perror(program);
        std::exit(1);
    }
    double seconds = -1;
    while (seconds < 0) {
        std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(xcb_wait_for_event(x),
                                                                         &std::free);
        if (!event) {
            std::fprintf(stderr, "lost the X connection\n");
            std::exit(1);
        }
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY)
            seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return seconds;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PELMORA MINIMAL_DIALOG [ROUNDS]\n", argv[0]);
        return 2;
    }
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 21;
    const std::unique_ptr<xcb_connection_t, Disconnect> x(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(x.get())) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x.get())).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x.get(), root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x.get());

    // One unmeasured start each fills the page cache with the libraries and fonts.
    TimeToFirstWindow(x.get(), argv[1]);
    TimeToFirstWindow(x.get(), argv[2]);
    std::vector<double> pelmora, minimal;
    for (int i = 0; i < rounds; ++i) {
        pelmora.push_back(TimeToFirstWindow(x.get(), argv[1]));
        minimal.push_back(TimeToFirstWindow(x.get(), argv[2]));
    }
    const double p = Median(pelmora), m = Median(minimal);
    std::printf("cold start to a mapped window (median of %d): pelmora %.1f ms, minimal Qt dialog "
                "%.1f ms\n",
                rounds, p * 1e3, m * 1e3);
    std::printf("  ratio: %.2f (target <= 1.15)\n", p / m);
    return 0;
}
