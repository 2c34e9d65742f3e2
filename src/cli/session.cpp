#include "cli/session.h"

#include "cli/link_problem.h"
#include "cli/text_util.h"

#include <csignal>

namespace torvex::cli {
namespace {

std::string signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return "Ctrl+C";
    case SIGTERM:
        return "SIGTERM";
#ifdef SIGBREAK
    case SIGBREAK:
        return "Ctrl+Break";
#endif
    default:
        return "signal " + std::to_string(signal);
    }
}

bool endsOnStop(Command command)
{
    return command == Command::Watch || command == Command::Log || command == Command::Publish;
}

} // namespace

Session::Session(const CliOptions &options, CliEnv &env)
    : options_(options), env_(env), loop_(std::make_shared<LoopDispatcher>())
{
    if (env_.watchStopRequest)
        stopWatch_ = env_.watchStopRequest(*loop_, [this](int signal) {
            stopSignal_ = signal;
            loop_->quit(); // whatever the command waits for, it waits no longer
        });
}

Session::~Session()
{
    link_.reset(); // stops the read thread while the loop still serves its hand-over
    stopWatch_.reset();
}

int Session::interrupted(const std::string &what)
{
    message("torvex-cli: stopped by " + signalName(stopSignal_) + "; " + what);
    return kExitSignalBase + stopSignal_;
}

int Session::open()
{
    link_ = std::make_unique<InstrumentLink>(ChoicePolicy::OnlyOne, InstrumentLink::Claim::ChosenOnly,
                                             DeviceSelector{options_.device});
    if (!link_->start(env_.platform, loop_)) {
        message("torvex-cli: the system's HID services cannot be used");
        return kExitNoInstrument;
    }
    if (!connect()) {
        if (stopSignal_ == 0) {
            std::string text = "torvex-cli: " + linkProblemText(*link_);
            switch (link_->state()) {
            case InstrumentLink::State::NoInstrument:
            case InstrumentLink::State::NoSuchDevice:
                text += " (torvex-cli list shows the HID devices)";
                break;
            case InstrumentLink::State::Several:
                text += "\nchoose one with --device (its node, serial number or port)";
                break;
            default:
                break;
            }
            message(text);
            return kExitNoInstrument;
        }
        if (endsOnStop(options_.command)) {
            message("torvex-cli: stopped by " + signalName(stopSignal_) + " before the instrument was found");
            return kExitOk;
        }
        return interrupted("nothing was sent to the instrument");
    }
    link_->onDisconnected = [this] {
        if (onInstrumentPresence)
            onInstrumentPresence(false);
        std::string text = "torvex-cli: " + linkProblemText(*link_);
        if (describeProgress)
            text += " (" + describeProgress() + ")";
        if (options_.exitOnUnplug) {
            message(text);
            finish(kExitNoInstrument);
        } else {
            message(text + "; waiting for it to come back");
        }
    };
    link_->onReconnected = [this] {
        if (onInstrumentPresence)
            onInstrumentPresence(true);
        message("torvex-cli: the instrument at " + link_->deviceText() + " is back");
    };
    return kExitOk;
}

bool Session::connect()
{
    if (link_->follow(*loop_))
        return true;
    // Several instruments stay several however long one waits; everything else may change with a plug.
    if (!options_.wait || stopSignal_ != 0 || link_->state() == InstrumentLink::State::Several)
        return false;
    message("torvex-cli: " + linkProblemText(*link_) + "; waiting for the instrument (--wait)");
    loop_->run([this] { return link_->connected() || stopSignal_ != 0; });
    if (!link_->connected())
        return false;
    message("torvex-cli: found the instrument at " + link_->deviceText());
    return true;
}

int Session::run()
{
    std::optional<LoopDispatcher::Clock::time_point> deadline;
    if (options_.duration)
        deadline = LoopDispatcher::Clock::now() + *options_.duration;
    loop_->run([this] { return exitCode_.has_value() || stopSignal_ != 0; }, deadline);
    if (link_)
        link_->stop(); // a report handed over during the stop is still handled
    return exitCode_.value_or(kExitOk);
}

void Session::finish(int exitCode)
{
    if (!exitCode_)
        exitCode_ = exitCode;
}

void Session::message(const std::string &raw)
{
    // Messages quote device names and file contents: nothing in them may steer the terminal.
    const std::string text = visibleText(raw, true);
    if (showMessage) {
        showMessage(text);
        return;
    }
    if (statusShown_) {
        *env_.err << "\r\x1b[K";
        statusShown_ = false;
    }
    *env_.err << text << "\n" << std::flush;
}

void Session::status(const std::string &text)
{
    if (!env_.errIsTerminal)
        return;
    *env_.err << "\r" << visibleText(text) << "\x1b[K" << std::flush;
    statusShown_ = true;
}

void Session::endStatus()
{
    if (statusShown_)
        *env_.err << "\n" << std::flush;
    statusShown_ = false;
}

} // namespace torvex::cli
