#include "cli/session.h"

namespace torvex::cli {

std::unique_ptr<InstrumentLink> makeLink(const CliOptions &options)
{
    return std::make_unique<InstrumentLink>(ChoicePolicy::OnlyOne, InstrumentLink::Claim::ChosenOnly,
                                            DeviceSelector{options.device});
}

int connectOrExplain(InstrumentLink &link, std::shared_ptr<LoopDispatcher> loop, CliEnv &env)
{
    if (!link.start(env.platform, loop)) {
        *env.err << "torvex-cli: the system's HID services cannot be used\n";
        return kExitNoInstrument;
    }
    if (link.follow(*loop))
        return kExitOk;
    std::string text = "torvex-cli: " + link.problemText();
    switch (link.state()) {
    case InstrumentLink::State::NoInstrument:
    case InstrumentLink::State::NoSuchDevice:
        text += " (torvex-cli list shows the HID devices)";
        break;
    case InstrumentLink::State::Several:
        text += "\nchoose one with --device PATH";
        break;
    default:
        break;
    }
    *env.err << text << "\n" << std::flush;
    return kExitNoInstrument;
}

Session::Session(const CliOptions &options, CliEnv &env)
    : options_(options), env_(env), loop_(std::make_shared<LoopDispatcher>()), link_(makeLink(options))
{
}

Session::~Session()
{
    stopWatch_.reset();
    link_.reset(); // stops the read thread while the loop still serves its hand-over
}

int Session::open()
{
    if (const int code = connectOrExplain(*link_, loop_, env_); code != kExitOk)
        return code;
    link_->onDisconnected = [this] {
        std::string text = "torvex-cli: " + link_->problemText();
        if (describeProgress)
            text += " (" + describeProgress() + ")";
        if (options_.exitOnUnplug) {
            message(text);
            finish(kExitNoInstrument);
        } else {
            message(text + "; waiting for it to come back");
        }
    };
    link_->onReconnected = [this] { message("torvex-cli: the instrument at " + link_->devicePath() + " is back"); };
    return kExitOk;
}

int Session::run()
{
    if (env_.watchStopRequest)
        stopWatch_ = env_.watchStopRequest(*loop_, [this] { finish(kExitOk); });
    std::optional<LoopDispatcher::Clock::time_point> deadline;
    if (options_.duration)
        deadline = LoopDispatcher::Clock::now() + *options_.duration;
    loop_->run([this] { return exitCode_.has_value(); }, deadline);
    link_->stop(); // a report handed over during the stop is still handled
    return exitCode_.value_or(kExitOk);
}

void Session::finish(int exitCode)
{
    if (!exitCode_)
        exitCode_ = exitCode;
}

void Session::message(const std::string &text)
{
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
    *env_.err << "\r" << text << "\x1b[K" << std::flush;
    statusShown_ = true;
}

void Session::endStatus()
{
    if (statusShown_)
        *env_.err << "\n" << std::flush;
    statusShown_ = false;
}

} // namespace torvex::cli
