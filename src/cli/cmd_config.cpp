#include "cli/cli.h"
#include "cli/config_text.h"
#include "cli/session.h"
#include "instrument/report_dispatch.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

namespace torvex::cli {
namespace {

// Requests and their answers, one at a time: send, then wait for the matching reply or acknowledgement.
class ConfigExchange {
public:
    ConfigExchange(InstrumentLink &link, LoopDispatcher &loop, std::chrono::milliseconds timeout)
        : link_(link), loop_(loop), timeout_(timeout)
    {
        link_.setReportHandler([this](std::span<const std::uint8_t> report) { received(handler_.handle(report)); });
    }
    ~ConfigExchange() { link_.setReportHandler(nullptr); }

    // The decoded reply to a read request; nullopt when none came in time.
    std::optional<ConfigReply> read(const ReadRequest &request)
    {
        reply_.reset();
        wanted_ = request;
        waitingReply_ = true;
        if (link_.send(static_cast<std::uint8_t>(torvex::Command::ReadRequest),
                       readRequestPayload(request.id, request.channel)))
            loop_.runFor(timeout_, [this] { return reply_.has_value(); });
        waitingReply_ = false;
        return std::exchange(reply_, std::nullopt);
    }

    // True when the instrument acknowledged the write (parameter id and channel) in time.
    bool write(const Payload &payload)
    {
        acked_ = false;
        wanted_ = {payload.data[0], payload.data[1]};
        waitingAck_ = true;
        if (link_.send(static_cast<std::uint8_t>(torvex::Command::ParameterWrite), payload.bytes()))
            loop_.runFor(timeout_, [this] { return acked_; });
        waitingAck_ = false;
        return acked_;
    }

    // Reads every parameter; the requests that got no answer are listed in `missing`.
    Configuration readAll(std::vector<std::string> &missing)
    {
        Configuration config;
        for (const ReadRequest &request : configReadRequests()) {
            if (const auto reply = read(request)) {
                applyReply(config, *reply);
            } else {
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

    InstrumentLink &link_;
    LoopDispatcher &loop_;
    std::chrono::milliseconds timeout_;
    InputReportHandler handler_;
    ReadRequest wanted_{};
    bool waitingReply_ = false;
    bool waitingAck_ = false;
    std::optional<ConfigReply> reply_;
    bool acked_ = false;
};

} // namespace

int runConfigGet(const CliOptions &options, CliEnv &env)
{
    auto loop = std::make_shared<LoopDispatcher>();
    const auto link = makeLink(options);
    if (const int code = connectOrExplain(*link, loop, env); code != kExitOk)
        return code;
    ConfigExchange exchange(*link, *loop, options.timeout);
    std::vector<std::string> missing;
    const Configuration config = exchange.readAll(missing);
    *env.out << (options.format == ConfigFormat::Json ? formatJson(config) : formatIni(config, missing));
    env.out->flush();
    for (const std::string &m : missing)
        *env.err << "torvex-cli: " << m << "\n";
    if (!*env.out) {
        *env.err << "torvex-cli: cannot write the configuration to standard output\n";
        return kExitIo;
    }
    return missing.empty() ? kExitOk : kExitIo;
}

int runConfigSet(const CliOptions &options, CliEnv &env)
{
    std::ifstream in(options.file, std::ios::binary);
    if (!in) {
        *env.err << "torvex-cli: cannot read " << options.file << "\n";
        return kExitIo;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ParsedConfig parsed = parseConfigText(text);
    std::vector<std::string> refused = parsed.errors;
    const std::vector<std::string> outside = checkLimits(parsed.config);
    refused.insert(refused.end(), outside.begin(), outside.end());
    if (refused.empty() && parsed.config.empty())
        refused.push_back("no parameter to write");
    if (!refused.empty()) {
        for (const std::string &r : refused)
            *env.err << "torvex-cli: " << options.file << ": " << r << "\n";
        *env.err << "torvex-cli: nothing was sent\n";
        return kExitUsage;
    }

    auto loop = std::make_shared<LoopDispatcher>();
    const auto link = makeLink(options);
    if (const int code = connectOrExplain(*link, loop, env); code != kExitOk)
        return code;
    ConfigExchange exchange(*link, *loop, options.timeout);

    Configuration config = parsed.config;
    if (needsCurrentRules(config)) {
        // The four rules are written together: the ones the file leaves out keep what the instrument has.
        const auto reply = exchange.read({static_cast<std::uint8_t>(ParamId::OutputRules), 0});
        if (!reply) {
            *env.err << "torvex-cli: the file sets only some output rules and the instrument did not tell the "
                        "others; nothing was sent\n";
            return kExitIo;
        }
        Configuration current;
        applyReply(current, *reply);
        completeRules(config, current);
        if (const auto wrong = checkLimits(config); !wrong.empty()) {
            for (const std::string &w : wrong)
                *env.err << "torvex-cli: the instrument's " << w << "; nothing was sent\n";
            return kExitIo;
        }
    }

    int code = kExitOk;
    size_t acknowledged = 0;
    const std::vector<PlannedWrite> writes = planWrites(config);
    for (const PlannedWrite &w : writes) {
        if (exchange.write(w.payload)) {
            ++acknowledged;
        } else {
            *env.err << "torvex-cli: " << w.what << ": no acknowledgement from the instrument\n";
            code = kExitIo;
        }
    }
    *env.err << "torvex-cli: " << acknowledged << " of " << writes.size() << " writes acknowledged\n";

    if (options.verify) {
        std::vector<std::string> missing;
        const Configuration actual = exchange.readAll(missing);
        const std::vector<std::string> diff = differences(expectedAfterWrite(config), actual);
        for (const std::string &d : diff)
            *env.out << d << "\n";
        if (diff.empty())
            *env.err << "torvex-cli: verified: the instrument holds every value written\n";
        else
            code = kExitIo;
    }
    return code;
}

} // namespace torvex::cli
