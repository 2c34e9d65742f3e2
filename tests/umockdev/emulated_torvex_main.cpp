// Runs a program against the emulated kernel holding a TORVEX instrument (sending measurement reports) and a
// USB keyboard, e.g. the real torvex-pc, to try the native HID path without hardware. Each Enter on the
// terminal unplugs or plugs the instrument back. Run it under umockdev-wrapper.
#include "emulated_hid.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace torvex::emulated;

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: umockdev-wrapper %s PROGRAM [ARGUMENTS...]\n", argv[0]);
        return 2;
    }
    try {
        Testbed testbed;
        EmulatedInstrument instrument(testbed);
        EmulatedHidDevice keyboard(testbed, keyboardDescription());
        keyboard.plug();
        instrument.start();
        std::fprintf(stderr, "emulated TORVEX on %s, keyboard on %s; Enter unplugs or plugs the instrument\n",
                     instrument.device().nodePath().c_str(), keyboard.nodePath().c_str());

        const pid_t pid = startProgram(std::vector<std::string>(argv + 1, argv + argc));
        if (pid < 0) {
            std::perror(argv[1]);
            return 127;
        }
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            pollfd input{STDIN_FILENO, POLLIN, 0};
            if (poll(&input, 1, 100) == 1) {
                char line[64];
                if (!fgets(line, sizeof line, stdin)) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    continue;
                }
                if (instrument.device().plugged())
                    instrument.device().unplug();
                else
                    instrument.device().plug();
                std::fprintf(stderr, "instrument %s\n", instrument.device().plugged() ? "plugged in" : "unplugged");
            }
        }
        instrument.stop();
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
