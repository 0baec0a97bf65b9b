// libFuzzer target for the bridge's policy parser: the input is one fragment's text. Nothing
// may crash or hang; a refused fragment says where (its name and line) and leaves a policy
// that admits nothing; a taken one answers a fixed set of requests, each refusal naming the
// request and each admission naming its rule and an absolute path.

#include <bridgepolicy.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using namespace Bridge;

namespace {

Request request(Operation operation, const std::string &path,
                const std::vector<std::string> &arguments = {}, bool change = false)
{
    Request r;
    r.operation = operation;
    r.path = path;
    r.arguments = arguments;
    r.change = change;
    r.content = "auto\n";
    return r;
}

const std::vector<Request> &requests()
{
    static const std::vector<Request> all{
        request(Operation::Run, "/usr/bin/dpkg-query",
                {"--showformat=${db:Status-Abbrev}${binary:Package}\n", "--show", "samba"}),
        request(Operation::Run, "/usr/bin/pg_ctlcluster", {"15", "main", "start"}, true),
        request(Operation::Run, "/usr/bin/pg_createcluster", {"-p", "5432", "15", "main"}, true),
        request(Operation::Run, "/bin/true", {"a", "b", "c"}),
        request(Operation::Run, "/usr/sbin/a2ensite", {"000-default", "x"}, true),
        request(Operation::ReadFile, "/etc/hostname"),
        request(Operation::ReadFile, "/etc/ssl/private/x.key"),
        request(Operation::Tail, "/var/log/dpkg.log"),
        request(Operation::List, "/etc/"),
        request(Operation::RemoveIn, "/var/spool/cups", {"c00001"}),
        request(Operation::Write, "/etc/postgresql/15/main/start.conf"),
        request(Operation::Test, "/usr/bin/x"),
    };
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Policy policy;
    std::string error;
    const std::string text(reinterpret_cast<const char *>(data), size);
    const bool parsed = policy.parse({{"fuzz.policy", text}}, &error);
    if (!parsed) {
        if (error.find("refused as a whole: ") == std::string::npos || policy.ruleCount() != 0)
            __builtin_trap();
    } else if (!error.empty()) {
        __builtin_trap();
    }
    for (const Request &r : requests()) {
        const Decision decision = policy.check(r);
        if (!parsed && decision.allowed())
            __builtin_trap();
        if (decision.verdict == Decision::Refused &&
            decision.message.compare(0, 9 + describe(r).size(), "Refused: " + describe(r)) != 0)
            __builtin_trap();
        if (decision.allowed() && (decision.rule.find("fuzz.policy:") != 0 ||
                                   decision.path.empty() || decision.path[0] != '/'))
            __builtin_trap();
    }
    return 0;
}
