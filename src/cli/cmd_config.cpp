#include "cli/cli.h"
#include "cli/config_text.h"
#include "cli/link_problem.h"
#include "cli/session.h"
#include "instrument/report_dispatch.h"
#include "settings/durable_write.h"
#include "text/utf8_path.h"

#include <algorithm>
#include <functional>
#include <system_error>
#include <utility>

namespace torvex::cli {
namespace {

// Requests and their answers, one at a time: send, then wait for the matching reply or acknowledgement, or for the
// user's stop request.
class ConfigExchange {
public:
    explicit ConfigExchange(Session &session)
        : session_(session), link_(session.link()), sessionUnplug_(std::exchange(link_.onDisconnected, nullptr))
    {
        link_.setReportHandler([this](std::span<const std::uint8_t> report) { received(handler_.handle(report)); });
        // No answer will come from an instrument that went away: every wait ends, and the command says so once.
        link_.onDisconnected = [this] { gone_ = true; };
    }
    ~ConfigExchange()
    {
        link_.setReportHandler(nullptr);
        link_.onDisconnected = std::move(sessionUnplug_);
    }

    bool stopped() const { return session_.stopSignal() != 0; }
    // Why the last request did not reach the instrument; empty when it was sent.
    std::string sendProblem() const { return sendProblemText(link_.sendError()); }
    // The instrument went away: nothing more is sent.
    bool gone() const { return gone_; }
    // Stopped by the user or the instrument gone: the remaining requests are not sent.
    bool ended() const { return stopped() || gone_; }

    // The decoded reply to a read request; nullopt when none came in time.
    std::optional<ConfigReply> read(const ReadRequest &request)
    {
        reply_.reset();
        wanted_ = request;
        waitingReply_ = true;
        if (!ended()
            && link_.send(static_cast<std::uint8_t>(torvex::Command::ReadRequest),
                          readRequestPayload(request.id, request.channel)))
            wait([this] { return reply_.has_value(); });
        waitingReply_ = false;
        return std::exchange(reply_, std::nullopt);
    }

    // True when the instrument acknowledged the write (parameter id and channel) in time.
    bool write(const Payload &payload)
    {
        acked_ = false;
        wanted_ = {payload.data[0], payload.data[1]};
        waitingAck_ = true;
        if (!ended() && link_.send(static_cast<std::uint8_t>(torvex::Command::ParameterWrite), payload.bytes()))
            wait([this] { return acked_; });
        waitingAck_ = false;
        return acked_;
    }

    // Reads every parameter; the requests that got no answer are listed in `missing`. Ends early on a stop or
    // when the instrument goes away.
    Configuration readAll(std::vector<std::string> &missing)
    {
        Configuration config;
        for (const ReadRequest &request : configReadRequests()) {
            if (const auto reply = read(request)) {
                applyReply(config, *reply);
            } else if (!ended()) {
                std::string keys;
                for (size_t index : keysOfRequest(request))
                    keys += (keys.empty() ? "" : ", ") + configKeys()[index].name;
                missing.push_back("no answer to read request " + std::to_string(request.id) + ", channel "
                                  + std::to_string(request.channel) + " (" + keys + ")");
            }
        }
        return config;
    }

private:
    void wait(const std::function<bool()> &done)
    {
        session_.loop().runFor(session_.options().timeout, [&] { return done() || ended(); });
    }

    void received(const ReportOutcome &outcome)
    {
        // Replies of parameters without channels carry a channel byte that means nothing.
        const auto &reply = outcome.configReply;
        if (waitingReply_ && reply && static_cast<std::uint8_t>(reply->param->id) == wanted_.id
            && (!reply->param->hasChannels() || reply->channel == wanted_.channel))
            reply_ = reply;
        const auto &ack = outcome.acknowledgement;
        if (waitingAck_ && ack && *ack == Acknowledgement{wanted_.id, wanted_.channel})
            acked_ = true;
    }

    Session &session_;
    InstrumentLink &link_;
    InputReportHandler handler_;
    ReadRequest wanted_{};
    bool waitingReply_ = false;
    bool waitingAck_ = false;
    std::optional<ConfigReply> reply_;
    bool acked_ = false;
    std::function<void()> sessionUnplug_;
    bool gone_ = false;
};

// The file or the KEY=VALUE arguments, less the --skip keys; false after the reasons have been printed.
bool readAsked(Session &session, ParsedConfig &parsed)
{
    const CliOptions &options = session.options();
    const std::string source = options.file.empty() ? "the arguments"
        : options.file == "-"                       ? "standard input"
                                                    : options.file;
    // A file of nothing but mistakes (some other file) would bury the terminal: the first ones tell enough.
    auto refuse = [&](const std::vector<std::string> &reasons, std::size_t notKept = 0) {
        for (std::size_t i = 0; i < reasons.size() && i < kKeptErrors; ++i)
            session.message("torvex-cli: " + source + ": " + reasons[i]);
        if (const std::size_t more = notKept + reasons.size() - std::min(reasons.size(), kKeptErrors); more > 0)
            session.message("torvex-cli: " + source + ": ... and " + std::to_string(more) + " more");
        session.message("torvex-cli: nothing was sent");
        return false;
    };
    if (!options.file.empty()) {
        std::string text;
        std::string reason;
        if (!readConfigFile(options.file, session.env().in, text, reason))
            return refuse({"cannot be read: " + reason});
        parsed = parseConfigText(text);
    } else {
        parsed = parseAssignments(options.assignments);
    }
    std::vector<std::string> refused = parsed.errors;
    for (const std::string &name : options.skip) {
        const std::vector<std::size_t> keys = findKeyOrGroup(name);
        for (std::size_t index : keys)
            parsed.config.values[index].reset();
        if (keys.empty())
            refused.push_back("--skip " + name + ": unknown key (torvex-cli config keys lists them)");
    }
    const std::vector<std::string> outside = checkLimits(parsed);
    refused.insert(refused.end(), outside.begin(), outside.end());
    if (refused.empty() && parsed.config.empty())
        refused.push_back("no parameter to write");
    return refused.empty() || refuse(refused, parsed.errorsNotKept);
}

} // namespace

int runConfigGet(Session &session)
{
    const std::string &output = session.options().output;
    const std::string untouched = output.empty() ? "nothing was printed" : output + " was left as it was";
    if (const int code = session.open(); code != kExitOk)
        return code;
    ConfigExchange exchange(session);
    std::vector<std::string> missing;
    const Configuration config = exchange.readAll(missing);
    if (exchange.stopped())
        return session.interrupted(untouched + ", since the configuration was not read whole");
    if (exchange.gone()) {
        session.message("torvex-cli: " + linkProblemText(session.link()) + "; " + untouched
                        + ", since the configuration was not read whole");
        return kExitNoInstrument;
    }
    const std::string text = session.options().format == Format::Json ? formatJson(config) : formatIni(config, missing);
    for (const std::string &m : missing)
        session.message("torvex-cli: " + m);
    if (!output.empty()) {
        // A backup is written whole or not at all: an older one stays better than a part of this one.
        if (!missing.empty()) {
            session.message("torvex-cli: " + untouched + ", since some values had no answer");
            return kExitIo;
        }
        try {
            replaceFileWhole(pathFromUtf8(output), text); // a plain string is read in the ANSI code page
        } catch (const std::system_error &e) {
            session.message("torvex-cli: cannot write " + output + ": " + e.code().message() + "; " + untouched);
            return kExitIo;
        }
        return kExitOk;
    }
    session.out() << text;
    session.out().flush();
    if (!session.out()) {
        session.message("torvex-cli: cannot write the configuration to standard output");
        return kExitIo;
    }
    return missing.empty() ? kExitOk : kExitIo;
}

int runConfigSet(Session &session)
{
    ParsedConfig asked;
    if (!readAsked(session, asked))
        return kExitUsage;
    if (const int code = session.open(); code != kExitOk)
        return code;
    ConfigExchange exchange(session);

    Configuration config = asked.config;
    if (needsCurrentRules(config)) {
        // The four rules are written together: the ones the file leaves out keep what the instrument has.
        const auto reply = exchange.read({static_cast<std::uint8_t>(ParamId::OutputRules), 0});
        if (exchange.stopped())
            return session.interrupted("nothing was sent");
        if (exchange.gone()) {
            session.message("torvex-cli: " + linkProblemText(session.link()) + "; nothing was sent");
            return kExitNoInstrument;
        }
        if (!reply) {
            session.message("torvex-cli: the file sets only some output rules and the instrument did not tell the "
                            "others; nothing was sent");
            return kExitIo;
        }
        Configuration current;
        applyReply(current, *reply);
        completeRules(config, current);
        if (const auto wrong = keysOutsideLimits(config); !wrong.empty()) {
            for (std::size_t i : wrong)
                session.message("torvex-cli: the instrument's " + configKeys()[i].name + " = "
                                + formatValue(*config.values[i]) + " is outside the limits; nothing was sent");
            return kExitIo;
        }
    }
    // The window's rule: a threshold counts only where the source compares. Never dropped without a word.
    for (const std::string &ignored : ignoredValues(asked, config))
        session.message("torvex-cli: " + ignored);

    int code = kExitOk;
    size_t acknowledged = 0;
    size_t done = 0;
    std::string written; // the writes acknowledged, for a message when the instrument goes away
    const std::vector<PlannedWrite> writes = planWrites(config);
    for (const PlannedWrite &w : writes) {
        if (exchange.stopped())
            return session.interrupted(std::to_string(acknowledged) + " of " + std::to_string(writes.size())
                                       + " writes acknowledged, the others not sent");
        if (exchange.gone())
            break;
        ++done;
        if (exchange.write(w.payload)) {
            ++acknowledged;
            written += (written.empty() ? "" : ", ") + w.what;
        } else if (exchange.gone()) {
            --done; // unanswered because the instrument went away: whether it took the value nobody can tell
            break;
        } else if (!exchange.stopped()) {
            const std::string problem = exchange.sendProblem();
            session.message("torvex-cli: " + w.what + ": "
                            + (problem.empty() ? "no acknowledgement from the instrument" : "not written: " + problem));
            code = kExitIo;
        }
    }
    if (exchange.stopped())
        return session.interrupted(std::to_string(acknowledged) + " of " + std::to_string(writes.size())
                                   + " writes acknowledged, " + std::to_string(writes.size() - done) + " not sent");
    if (exchange.gone()) {
        session.message("torvex-cli: " + linkProblemText(session.link()) + "; " + std::to_string(acknowledged) + " of "
                        + std::to_string(writes.size()) + " writes acknowledged before it went"
                        + (written.empty() ? "" : " (" + written + ")") + ", the others not done");
        return kExitNoInstrument;
    }
    session.message("torvex-cli: " + std::to_string(acknowledged) + " of " + std::to_string(writes.size())
                    + " writes acknowledged");

    if (session.options().verify) {
        std::vector<std::string> missing;
        const Configuration actual = exchange.readAll(missing);
        if (exchange.stopped())
            return session.interrupted("the writes were done, the check was not");
        if (exchange.gone()) {
            session.message("torvex-cli: " + linkProblemText(session.link())
                            + "; the writes were done, the check was not");
            return kExitNoInstrument;
        }
        const std::vector<std::string> diff = differences(asked, actual);
        for (const std::string &d : diff)
            session.out() << d << "\n";
        session.out().flush();
        if (diff.empty())
            session.message("torvex-cli: verified: the instrument holds every value asked for");
        else
            code = kExitIo;
    }
    return code;
}

int runConfigKeys(Session &session)
{
    session.out() << formatKeys();
    session.out().flush();
    return session.out() ? kExitOk : kExitIo;
}

} // namespace torvex::cli
