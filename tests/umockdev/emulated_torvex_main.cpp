// Runs a program against the emulated kernel holding a TORVEX instrument (sending measurement reports) and a
// USB keyboard, e.g. the real torvex-pc, to try the native HID path without hardware. Each Enter on the
// terminal unplugs or plugs the instrument back. Run it under umockdev-wrapper.
//
// Programs that drive the emulator themselves (scripts, and the Windows tests under Wine, which cannot reach
// this process otherwise) find a control connection at $TORVEX_EMULATOR (127.0.0.1:PORT): one command per
// line, one answer per line, "ok ..." or "error ...":
//   plug, unplug                 the instrument's USB cable
//   start, stop                  its measurement reports (it starts sending; stop waits for the last one)
//   set KEY VALUE                a parameter of the instrument: SendInterval, DotPosition (the decimals of the
//                                values it reports), EncoderN.GateTime, EncoderN.Resolution
//   state                        plugged=0|1 node=PATH and the counts: measurement reports produced, queued on
//                                the node, dropped (queue full), lost (unplugged); reports the host read
//                                (delivered); reports waiting on the node (waiting); output reports written
//   input                        the last input report queued on the node, in hex, report id first
//   writes FIRST                 the output reports written since the FIRST-th (counted from 0), in hex
#include "emulated_hid.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace torvex::emulated;

namespace {

std::string hex(const std::vector<uint8_t> &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

class ControlServer {
public:
    explicit ControlServer(EmulatedInstrument &instrument) : instrument_(instrument)
    {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || listen(listener_, 4) != 0 || getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) != 0
            || pipe(wake_) != 0)
            throw std::runtime_error("emulated-torvex: no control socket");
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }

    ~ControlServer()
    {
        const char quit = 'q';
        if (write(wake_[1], &quit, 1) == 1)
            thread_.join();
        else
            thread_.detach();
        for (const auto &[fd, pending] : clients_)
            close(fd);
        close(listener_);
        close(wake_[0]);
        close(wake_[1]);
    }

    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    void serve()
    {
        for (;;) {
            std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
            for (const auto &[fd, pending] : clients_)
                fds.push_back({fd, POLLIN, 0});
            if (poll(fds.data(), fds.size(), -1) < 0)
                continue;
            if (fds[0].revents != 0)
                return;
            if (fds[1].revents != 0) {
                const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (client >= 0)
                    clients_[client];
            }
            for (size_t i = 2; i < fds.size(); ++i) {
                if (fds[i].revents != 0)
                    receive(fds[i].fd);
            }
        }
    }

    void receive(int fd)
    {
        char buffer[512];
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count <= 0) {
            close(fd);
            clients_.erase(fd);
            return;
        }
        std::string &pending = clients_[fd];
        pending.append(buffer, static_cast<size_t>(count));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const std::string answer = execute(line) + "\n";
            for (size_t sent = 0; sent < answer.size();) {
                const ssize_t n = send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += static_cast<size_t>(n);
            }
        }
    }

    std::string execute(const std::string &line)
    {
        std::istringstream words(line);
        std::string command;
        words >> command;
        EmulatedHidDevice &device = instrument_.device();
        if (command == "plug" || command == "unplug") {
            if (command == "plug")
                device.plug();
            else
                device.unplug();
            std::fprintf(stderr, "instrument %s\n", device.plugged() ? "plugged in" : "unplugged");
            return "ok";
        }
        if (command == "start" || command == "stop") {
            if (command == "start")
                instrument_.start();
            else
                instrument_.stop();
            return "ok";
        }
        if (command == "set") {
            std::string key;
            long value = 0;
            if (!(words >> key >> value))
                return "error usage: set KEY VALUE";
            return set(key, value) ? "ok" : "error unknown key " + key;
        }
        if (command == "state") {
            const auto counts = instrument_.driver().measurementCounts();
            std::ostringstream out;
            out << "ok plugged=" << device.plugged() << " node=" << device.nodePath() << " produced=" << counts.produced
                << " queued=" << counts.queued << " dropped=" << counts.dropped << " lost=" << counts.lost
                << " delivered=" << device.deliveredInputReports() << " waiting=" << device.queuedInputReports()
                << " writes=" << device.writtenReports().size();
            return out.str();
        }
        if (command == "input")
            return "ok " + hex(device.lastInputReport());
        if (command == "writes") {
            size_t first = 0;
            words >> first;
            const auto written = device.writtenReports();
            std::string out = "ok";
            for (size_t i = first; i < written.size(); ++i)
                out += " " + hex(written[i]);
            return out;
        }
        return "error unknown command " + command;
    }

    bool set(const std::string &key, long value)
    {
        return instrument_.driver().withInstrument([&](torvex::sim::Instrument &model) {
            auto &p = model.parameters();
            if (key == "SendInterval") {
                p.sendInterval = static_cast<int32_t>(value);
                return true;
            }
            if (key == "DotPosition") {
                p.dotPosition = static_cast<uint8_t>(value);
                return true;
            }
            for (size_t n = 0; n < p.encoders.size(); ++n) {
                const std::string prefix = "Encoder" + std::to_string(n + 1) + ".";
                if (key == prefix + "GateTime") {
                    p.encoders[n].gateTime = static_cast<int32_t>(value);
                    return true;
                }
                if (key == prefix + "Resolution") {
                    p.encoders[n].resolution = static_cast<int32_t>(value);
                    return true;
                }
            }
            return false;
        });
    }

    EmulatedInstrument &instrument_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::map<int, std::string> clients_; // descriptor -> the part of a line received so far
    std::thread thread_;
};

} // namespace

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
        ControlServer control(instrument);
        std::fprintf(stderr,
                     "emulated TORVEX on %s, keyboard on %s, control at %s; Enter unplugs or plugs the instrument\n",
                     instrument.device().nodePath().c_str(), keyboard.nodePath().c_str(), control.address().c_str());

        const pid_t pid =
            startProgram(std::vector<std::string>(argv + 1, argv + argc), {"TORVEX_EMULATOR=" + control.address()});
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
