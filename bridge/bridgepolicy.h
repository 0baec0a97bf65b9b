#pragma once

#include "bridgeprotocol.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace Bridge {

/** The bounds of what one request may take; a request's own limits are clamped to them. */
struct Limits
{
    uint32_t readTimeMs = 30000;             ///< a read-only run
    uint32_t changeTimeMs = 600000;          ///< a change
    uint64_t outputBytes = 32 * 1024 * 1024; ///< a run's standard output
    uint64_t errorOutputBytes = 64 * 1024;   ///< a run's standard error
    uint64_t readBytes = 16 * 1024 * 1024;   ///< a file read
    uint64_t tailBytes = 1024 * 1024;        ///< the end of a file
    uint32_t tailLines = 10000;
    uint64_t writeBytes = 64 * 1024; ///< a file written
    uint32_t entries = 200000;       ///< a listing
};

/** The policy's answer to one request, with everything the bridge needs to carry it out. */
struct Decision
{
    enum Verdict
    {
        Allowed,
        Refused, ///< no rule admits it, a deny rule or an untrusted program forbids it
        Failed   ///< a rule would admit it, but its path cannot be resolved (see error)
    };
    Verdict verdict = Refused;
    /// Refused or Failed: what was asked (describe()) and why not.
    std::string message;
    /// Failed: the errno of the resolution.
    int error = 0;
    /// Allowed: the path to act on, resolved as it was checked (for a run, the program).
    /// Open it with Paths::openResolved(): a link swapped in since must not lead elsewhere.
    std::string path;
    /// Allowed: it changes the host (a change run, a write, a removal): it is logged.
    bool change = false;
    /// Allowed: the request's limits clamped to the policy's. Run: time, and output kept
    /// per stream; ReadFile, Tail: bytes in byteLimit; Tail: lines; List: entries.
    uint32_t timeLimitMs = 0;
    uint64_t byteLimit = 0;
    uint64_t errorByteLimit = 0;
    uint32_t lines = 0;
    uint32_t entries = 0;
    /// Allowed: the rule that admitted it, as "FILE:LINE".
    std::string rule;

    bool allowed() const { return verdict == Allowed; }
};

/**
 * The bridge's policy: the rules of every fragment in a root-owned directory, which decide
 * whether a request is carried out. Whatever no rule admits is refused; a deny rule wins over
 * every rule that would admit reading, tailing, writing or removing below it. A policy that
 * cannot be loaded as a whole (a fragment or directory anyone but root can change, a syntax
 * error) admits nothing. The syntax is in the bridge's manual page (vell-admin-bridge(8)).
 *
 * check() is const and touches no shared state: requests may be checked on several threads.
 */
class Policy
{
public:
    static constexpr const char DefaultDirectory[] = "/usr/share/vell/bridge.d";
    /// Only files named *.policy (not hidden) in the directory are fragments.
    static constexpr const char FragmentSuffix[] = ".policy";
    /// The largest fragment read.
    static constexpr size_t MaxFragmentBytes = 1024 * 1024;

    Policy();
    ~Policy();
    Policy(Policy &&) noexcept;
    Policy &operator=(Policy &&) noexcept;

    /// Who may own fragments, their directories and the programs run: root only, unless a
    /// test sets others (its own user) before loading.
    void setTrustedOwners(const std::vector<uid_t> &owners);
    const std::vector<uid_t> &trustedOwners() const;

    /**
     * Loads every fragment of @p directory. False, with @p error naming the file and why, when
     * the directory or a fragment is untrusted, unreadable or wrong; the policy then admits
     * nothing.
     */
    bool load(const std::string &directory, std::string *error);
    /**
     * Takes fragments as texts, each with the name its messages use (load() reads the files
     * and hands them here). The same all-or-nothing outcome as load().
     */
    bool parse(const std::vector<std::pair<std::string, std::string>> &fragments,
               std::string *error);

    Decision check(const Request &request) const;

    const Limits &limits() const;
    /// Rules taken (run, path, deny, define and limit lines).
    size_t ruleCount() const;

    struct Rules;

private:
    std::unique_ptr<Rules> d;
};

} // namespace Bridge
