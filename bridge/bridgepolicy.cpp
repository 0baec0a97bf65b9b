#include "bridgepolicy.h"

#include "bridgepaths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Bridge {

namespace {

using Paths::errorText;

/** What a placeholder stands for. */
struct PlaceholderType
{
    enum Kind
    {
        Version, ///< digits and dots: "15", "2.4.1"
        Name,    ///< a PostgreSQL cluster name: letters, digits, "_", "." and "-"
        Port,    ///< a TCP port, 1 to 65535
        Package, ///< a Debian package name, or a dpkg-query pattern of one
        FileIn   ///< the name of a file in a directory (defined by the policy)
    };
    Kind kind = Version;
    size_t maxLength = 0;
    std::string directory;             ///< FileIn
    std::vector<std::string> suffixes; ///< FileIn: NAME plus one of these is the file
    std::string where;                 ///< FileIn: the define line
};

/** A piece of a word or path pattern: literal text, or a placeholder by name. */
struct Segment
{
    bool placeholder = false;
    std::string text;
};

/** What one argument of a run rule admits. */
struct WordPattern
{
    std::vector<std::string> alternatives; ///< one of these, literally (a literal word: one)
    std::vector<Segment> segments;         ///< else this pattern
    bool repeated = false;                 ///< the last word, "...": one or more arguments
};

struct RunRule
{
    std::vector<std::string> programs; ///< as written, and with its directory resolved
    std::vector<WordPattern> words;
    bool change = false;
    std::string where;
};

enum class PathRuleKind
{
    Read,
    Tail,
    Deny,
    List,
    RemoveIn,
    Write,
    Test
};

struct PathRule
{
    PathRuleKind kind = PathRuleKind::Read;
    bool tree = false;              ///< "DIR/": the directory and everything below it
    std::vector<std::string> forms; ///< a literal path as written, and resolved
    std::vector<Segment> pattern;   ///< a path with placeholders (never a tree)
    std::string where;
};

const char *const wildcards = "*?[]{}~\\'\"";

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLower(char c)
{
    return c >= 'a' && c <= 'z';
}

bool isAlnum(char c)
{
    return isDigit(c) || isLower(c) || (c >= 'A' && c <= 'Z');
}

/// Whether @p c may stand anywhere in a value of @p type.
bool allowedChar(const PlaceholderType &type, char c)
{
    switch (type.kind) {
    case PlaceholderType::Version:
        return isDigit(c) || c == '.';
    case PlaceholderType::Name:
        return isAlnum(c) || c == '_' || c == '.' || c == '-';
    case PlaceholderType::Port:
        return isDigit(c);
    case PlaceholderType::Package:
        return isDigit(c) || isLower(c) || (c != '\0' && std::strchr("+.-:*?[]", c));
    case PlaceholderType::FileIn:
        // The enabling tools split names at blanks and expand wildcards: such a name would
        // reach other files than itself.
        return static_cast<unsigned char>(c) > 0x20 && c != 0x7f && c != '/' &&
               !std::strchr(wildcards, c);
    }
    return false;
}

/// Whether @p value has the shape of @p type (allowedChar() holds for each of its bytes).
bool validValue(const PlaceholderType &type, const std::string &value)
{
    if (value.empty() || value.size() > type.maxLength)
        return false;
    const char first = value.front();
    switch (type.kind) {
    case PlaceholderType::Version:
        // Digits, dot-separated: no empty part.
        return isDigit(first) && isDigit(value.back()) && value.find("..") == std::string::npos;
    case PlaceholderType::Name:
        // Never an option, never "." or "..".
        return isAlnum(first) || first == '_';
    case PlaceholderType::Port: {
        if (first == '0')
            return false;
        const unsigned long port = std::stoul(value);
        return port >= 1 && port <= 65535;
    }
    case PlaceholderType::Package:
        return isDigit(first) || isLower(first) || first == '*' || first == '?' || first == '[';
    case PlaceholderType::FileIn:
        return first != '.' && first != '-';
    }
    return false;
}

/// Whether @p value names what @p type wants present on the host (a FileIn's file).
bool presentValue(const PlaceholderType &type, const std::string &value)
{
    if (type.kind != PlaceholderType::FileIn)
        return true;
    const int directory = ::open(type.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0)
        return false;
    bool present = false;
    for (const std::string &suffix : type.suffixes) {
        struct stat st;
        if (::fstatat(directory, (value + suffix).c_str(), &st, 0) == 0 && S_ISREG(st.st_mode)) {
            present = true;
            break;
        }
    }
    ::close(directory);
    return present;
}

template <class T> T clampLimit(T asked, T limit)
{
    return asked == 0 || asked > limit ? limit : asked;
}

/// The forms a literal path of a rule is compared in: as written, with its directory part
/// resolved, and (unless @p keepLast) wholly resolved, each when it resolves now.
std::vector<std::string> formsOf(const std::string &path, bool keepLast)
{
    std::vector<std::string> forms{path};
    std::string resolved;
    int error = 0;
    if (Paths::resolveDirectoryPart(path, &resolved, &error))
        forms.push_back(resolved);
    if (!keepLast && Paths::resolve(path, &resolved, &error))
        forms.push_back(resolved);
    std::sort(forms.begin(), forms.end());
    forms.erase(std::unique(forms.begin(), forms.end()), forms.end());
    return forms;
}

/** A word of a fragment line: its text, escapes applied, and whether it was quoted. */
struct Token
{
    std::string text;
    bool quoted = false;
};

int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

struct Policy::Rules
{
    std::vector<uid_t> owners{0};
    std::vector<RunRule> runs;
    std::vector<PathRule> paths;
    std::map<std::string, PlaceholderType> types;
    Limits limits;
    size_t count = 0;

    Rules()
    {
        types["version"] = {PlaceholderType::Version, 32, {}, {}, {}};
        types["name"] = {PlaceholderType::Name, 63, {}, {}, {}};
        types["port"] = {PlaceholderType::Port, 5, {}, {}, {}};
        types["package"] = {PlaceholderType::Package, 128, {}, {}, {}};
    }

    bool matchSegments(const std::vector<Segment> &segments, size_t index, const std::string &value,
                       size_t at) const;
    bool matchWord(const WordPattern &word, const std::string &argument) const;
    bool matchArguments(const RunRule &rule, const std::vector<std::string> &arguments) const;
    bool matchPath(const PathRule &rule, const std::string &path) const;
    /// The first rule of @p kind that admits @p path, or null.
    const PathRule *admitting(PathRuleKind kind, const std::string &path) const;
    /// The deny rule that covers @p path, or null.
    const PathRule *denying(const std::string &path) const;
};

bool Policy::Rules::matchSegments(const std::vector<Segment> &segments, size_t index,
                                  const std::string &value, size_t at) const
{
    if (index == segments.size())
        return at == value.size();
    const Segment &segment = segments[index];
    if (!segment.placeholder) {
        return value.compare(at, segment.text.size(), segment.text) == 0 &&
               matchSegments(segments, index + 1, value, at + segment.text.size());
    }
    const auto type = types.find(segment.text);
    if (type == types.end())
        return false;
    // Each length the placeholder may take, the cheap checks first: a value is bounded, so a
    // huge argument costs no more than a short one.
    const size_t last = std::min(value.size(), at + type->second.maxLength);
    for (size_t end = at + 1; end <= last; ++end) {
        if (!allowedChar(type->second, value[end - 1]))
            break;
        const std::string candidate = value.substr(at, end - at);
        if (validValue(type->second, candidate) && matchSegments(segments, index + 1, value, end) &&
            presentValue(type->second, candidate))
            return true;
    }
    return false;
}

bool Policy::Rules::matchWord(const WordPattern &word, const std::string &argument) const
{
    if (!word.alternatives.empty())
        return std::find(word.alternatives.begin(), word.alternatives.end(), argument) !=
               word.alternatives.end();
    return matchSegments(word.segments, 0, argument, 0);
}

bool Policy::Rules::matchArguments(const RunRule &rule,
                                   const std::vector<std::string> &arguments) const
{
    const size_t words = rule.words.size();
    if (words > 0 && rule.words.back().repeated ? arguments.size() < words
                                                : arguments.size() != words)
        return false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (!matchWord(rule.words[std::min(i, words - 1)], arguments[i]))
            return false;
    }
    return true;
}

bool Policy::Rules::matchPath(const PathRule &rule, const std::string &path) const
{
    if (!rule.pattern.empty())
        return matchSegments(rule.pattern, 0, path, 0);
    for (const std::string &form : rule.forms) {
        if (rule.tree ? Paths::isWithin(path, form) : path == form)
            return true;
    }
    return false;
}

const PathRule *Policy::Rules::admitting(PathRuleKind kind, const std::string &path) const
{
    for (const PathRule &rule : paths) {
        if (rule.kind == kind && matchPath(rule, path))
            return &rule;
    }
    return nullptr;
}

const PathRule *Policy::Rules::denying(const std::string &path) const
{
    return admitting(PathRuleKind::Deny, path);
}

// --- parsing ------------------------------------------------------------------------------

namespace {

/** Reads one fragment into the rules; the first error stops it. */
class FragmentParser
{
public:
    FragmentParser(Policy::Rules &rules, const std::string &source,
                   std::set<std::string> &limitsSet)
        : m_rules(rules), m_source(source), m_limitsSet(limitsSet)
    {
    }

    bool parse(const std::string &text, std::string *error);

private:
    bool fail(const std::string &why)
    {
        if (m_error.empty())
            m_error = m_source + ":" + std::to_string(m_line) + ": " + why;
        return false;
    }
    std::string where() const { return m_source + ":" + std::to_string(m_line); }

    bool tokenize(const std::string &line, std::vector<Token> *tokens);
    bool parseLine(const std::vector<Token> &tokens);
    bool parseRun(const std::vector<Token> &tokens, bool change);
    bool parsePathRule(const std::vector<Token> &tokens, PathRuleKind kind);
    bool parseDefine(const std::vector<Token> &tokens);
    bool parseLimit(const std::vector<Token> &tokens);
    /// Literal text and <placeholders> of an unquoted word; a quoted one is all literal.
    bool segmentsOf(const Token &token, std::vector<Segment> *segments);
    bool parseWord(const Token &token, bool last, WordPattern *word);
    /// A literal path: absolute, no empty, "." or ".." component; @p tree: it ends in "/".
    bool literalPath(const Token &token, const char *what, bool *tree, std::string *path);

    Policy::Rules &m_rules;
    std::string m_source;
    std::set<std::string> &m_limitsSet;
    int m_line = 0;
    std::string m_error;
};

bool FragmentParser::parse(const std::string &text, std::string *error)
{
    if (text.find('\0') != std::string::npos) {
        *error = m_source + ": holds a NUL byte: no policy text";
        return false;
    }
    size_t at = 0;
    while (at < text.size() && m_error.empty()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        ++m_line;
        std::vector<Token> tokens;
        if (tokenize(text.substr(at, end - at), &tokens) && !tokens.empty())
            parseLine(tokens);
        at = end + 1;
    }
    if (!m_error.empty()) {
        *error = m_error;
        return false;
    }
    return true;
}

bool FragmentParser::tokenize(const std::string &line, std::vector<Token> *tokens)
{
    size_t at = 0;
    while (at < line.size()) {
        const char c = line[at];
        if (c == ' ' || c == '\t') {
            ++at;
            continue;
        }
        if (c == '#')
            break;
        Token token;
        if (c == '"') {
            token.quoted = true;
            ++at;
            bool closed = false;
            while (at < line.size()) {
                char d = line[at++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (static_cast<unsigned char>(d) < 0x20 || d == 0x7f)
                    return fail("a control character in a quoted word (write it as an escape)");
                if (d == '\\') {
                    if (at >= line.size())
                        return fail("a backslash at the end of the line");
                    d = line[at++];
                    switch (d) {
                    case '\\':
                    case '"':
                        break;
                    case 'n':
                        d = '\n';
                        break;
                    case 't':
                        d = '\t';
                        break;
                    case 'x': {
                        const int high = at < line.size() ? hexValue(line[at]) : -1;
                        const int low = at + 1 < line.size() ? hexValue(line[at + 1]) : -1;
                        if (high < 0 || low < 0)
                            return fail("\\x needs two hexadecimal digits");
                        d = char(high * 16 + low);
                        at += 2;
                        if (d == '\0')
                            return fail("a NUL byte (\\x00) in a word");
                        break;
                    }
                    default:
                        return fail(std::string("unknown escape \\") + d);
                    }
                }
                token.text += d;
            }
            if (!closed)
                return fail("a quoted word without its closing quote");
            if (at < line.size() && line[at] != ' ' && line[at] != '\t')
                return fail("a quoted word must end at a blank");
        } else {
            while (at < line.size() && line[at] != ' ' && line[at] != '\t') {
                const char d = line[at++];
                if (d == '"' || d == '\\')
                    return fail(std::string("a ") + (d == '"' ? "quote" : "backslash") +
                                " inside a word (quote the whole word)");
                if (static_cast<unsigned char>(d) < 0x20 || d == 0x7f)
                    return fail("a control character (a carriage return?)");
                token.text += d;
            }
        }
        tokens->push_back(std::move(token));
    }
    return true;
}

bool FragmentParser::parseLine(const std::vector<Token> &tokens)
{
    const Token &keyword = tokens.front();
    const std::string &word = keyword.text;
    if (keyword.quoted)
        return fail("a line must start with a rule word, not a quoted word");
    ++m_rules.count;
    if (word == "run" || word == "change")
        return parseRun(tokens, word == "change");
    if (word == "read")
        return parsePathRule(tokens, PathRuleKind::Read);
    if (word == "tail")
        return parsePathRule(tokens, PathRuleKind::Tail);
    if (word == "deny")
        return parsePathRule(tokens, PathRuleKind::Deny);
    if (word == "list")
        return parsePathRule(tokens, PathRuleKind::List);
    if (word == "remove-in")
        return parsePathRule(tokens, PathRuleKind::RemoveIn);
    if (word == "write")
        return parsePathRule(tokens, PathRuleKind::Write);
    if (word == "test")
        return parsePathRule(tokens, PathRuleKind::Test);
    if (word == "define")
        return parseDefine(tokens);
    if (word == "limit")
        return parseLimit(tokens);
    return fail("unknown rule \"" + word +
                "\" (run, change, read, tail, deny, list, remove-in, write, test, define, limit)");
}

bool FragmentParser::segmentsOf(const Token &token, std::vector<Segment> *segments)
{
    segments->clear();
    const std::string &text = token.text;
    if (token.quoted) {
        segments->push_back({false, text});
        return true;
    }
    size_t at = 0;
    while (at < text.size()) {
        const size_t open = text.find('<', at);
        const size_t stray = text.find('>', at);
        if (stray < open)
            return fail("a \">\" without its \"<\" in \"" + text + "\" (quote a literal one)");
        if (open == std::string::npos) {
            segments->push_back({false, text.substr(at)});
            break;
        }
        if (open > at)
            segments->push_back({false, text.substr(at, open - at)});
        const size_t close = text.find('>', open);
        if (close == std::string::npos)
            return fail("a \"<\" without its \">\" in \"" + text + "\" (quote a literal one)");
        const std::string name = text.substr(open + 1, close - open - 1);
        const bool valid = !name.empty() && isLower(name[0]) &&
                           std::all_of(name.begin(), name.end(),
                                       [](char c) { return isLower(c) || isDigit(c) || c == '-'; });
        if (!valid)
            return fail("\"<" + name +
                        ">\" is no placeholder name (lower-case letters, digits, "
                        "\"-\")");
        if (!segments->empty() && segments->back().placeholder)
            return fail("two placeholders side by side in \"" + text +
                        "\": no one could tell where one ends");
        segments->push_back({true, name});
        at = close + 1;
    }
    return true;
}

bool FragmentParser::parseWord(const Token &token, bool last, WordPattern *word)
{
    Token body = token;
    if (!token.quoted && token.text.size() > 3 &&
        token.text.compare(token.text.size() - 3, 3, "...") == 0) {
        if (!last)
            return fail("only the last word may repeat (\"...\")");
        word->repeated = true;
        body.text.resize(body.text.size() - 3);
    }
    if (!body.quoted && body.text.find('|') != std::string::npos) {
        size_t at = 0;
        for (;;) {
            const size_t bar = body.text.find('|', at);
            const std::string alternative = body.text.substr(at, bar - at);
            if (alternative.empty())
                return fail("an empty alternative in \"" + body.text + "\"");
            if (alternative.find_first_of("<>") != std::string::npos)
                return fail("an alternative holds a placeholder or \"<\": \"" + body.text + "\"");
            word->alternatives.push_back(alternative);
            if (bar == std::string::npos)
                break;
            at = bar + 1;
        }
        return true;
    }
    if (!segmentsOf(body, &word->segments))
        return false;
    if (word->segments.size() == 1 && !word->segments.front().placeholder) {
        word->alternatives.push_back(word->segments.front().text);
        word->segments.clear();
    }
    return true;
}

bool FragmentParser::literalPath(const Token &token, const char *what, bool *tree,
                                 std::string *path)
{
    const std::string &text = token.text;
    if (!token.quoted && text.find_first_of("<>|") != std::string::npos)
        return fail(std::string(what) + " must be a plain path: \"" + text + "\"");
    if (text.empty() || text[0] != '/')
        return fail(std::string(what) + " must be an absolute path: \"" + text + "\"");
    *tree = text.back() == '/';
    std::string body = text;
    if (*tree && body.size() > 1)
        body.pop_back();
    if (body != "/") {
        size_t at = 1;
        for (;;) {
            const size_t slash = body.find('/', at);
            const std::string part = body.substr(at, slash - at);
            if (part.empty() || part == "." || part == "..")
                return fail(std::string(what) + " has an empty, \".\" or \"..\" component: \"" +
                            text + "\"");
            if (slash == std::string::npos)
                break;
            at = slash + 1;
        }
    }
    *path = body;
    return true;
}

bool FragmentParser::parseRun(const std::vector<Token> &tokens, bool change)
{
    if (tokens.size() < 2)
        return fail(tokens[0].text + " needs a program");
    bool tree = false;
    std::string program;
    if (!literalPath(tokens[1], "the program", &tree, &program))
        return false;
    if (tree || program == "/")
        return fail("the program \"" + tokens[1].text + "\" is a directory");
    RunRule rule;
    rule.programs = formsOf(program, true);
    rule.change = change;
    rule.where = where();
    for (size_t i = 2; i < tokens.size(); ++i) {
        WordPattern word;
        if (!parseWord(tokens[i], i + 1 == tokens.size(), &word))
            return false;
        rule.words.push_back(std::move(word));
    }
    m_rules.runs.push_back(std::move(rule));
    return true;
}

bool FragmentParser::parsePathRule(const std::vector<Token> &tokens, PathRuleKind kind)
{
    const std::string &keyword = tokens[0].text;
    if (tokens.size() != 2)
        return fail(keyword + " takes one path");
    const Token &token = tokens[1];
    PathRule rule;
    rule.kind = kind;
    rule.where = where();
    // Read, tail and write name one file, which may hold placeholders.
    const bool patterns =
        kind == PathRuleKind::Read || kind == PathRuleKind::Tail || kind == PathRuleKind::Write;
    const bool placeholders = !token.quoted && token.text.find('<') != std::string::npos;
    if (patterns && placeholders) {
        if (token.text[0] != '/' || token.text.back() == '/')
            return fail("a path with placeholders names one file by its absolute path: \"" +
                        token.text + "\"");
        Token literal = token;
        // Check the literal parts as a path, each placeholder standing for a plain name.
        std::vector<Segment> segments;
        if (!segmentsOf(token, &segments))
            return false;
        literal.text.clear();
        for (const Segment &segment : segments)
            literal.text += segment.placeholder ? std::string("x") : segment.text;
        bool tree = false;
        std::string ignored;
        if (!literalPath(literal, "the path", &tree, &ignored))
            return false;
        rule.pattern = std::move(segments);
        m_rules.paths.push_back(std::move(rule));
        return true;
    }
    std::string path;
    if (!literalPath(token, "the path", &rule.tree, &path))
        return false;
    switch (kind) {
    case PathRuleKind::List:
    case PathRuleKind::Test:
        if (!rule.tree)
            return fail(keyword + " takes a directory, written with a final \"/\": \"" +
                        token.text + "\"");
        break;
    case PathRuleKind::RemoveIn:
        if (rule.tree || path == "/")
            return fail("remove-in takes a directory written without a final \"/\": only its "
                        "own entries go, never what lies deeper");
        break;
    case PathRuleKind::Write:
        if (rule.tree || path == "/")
            return fail("write takes one file, not a directory: \"" + token.text + "\"");
        break;
    default:
        break;
    }
    rule.forms = formsOf(path, false);
    m_rules.paths.push_back(std::move(rule));
    return true;
}

bool FragmentParser::parseDefine(const std::vector<Token> &tokens)
{
    if (tokens.size() < 4 || tokens[2].text != "file-in" || tokens[2].quoted)
        return fail("define takes <NAME> file-in DIRECTORY/ [SUFFIX...]");
    const std::string &text = tokens[1].text;
    std::vector<Segment> segments;
    if (tokens[1].quoted || !segmentsOf(tokens[1], &segments) || segments.size() != 1 ||
        !segments[0].placeholder)
        return fail("define needs a placeholder such as <site>, not \"" + text + "\"");
    const std::string &name = segments[0].text;
    const auto known = m_rules.types.find(name);
    if (known != m_rules.types.end()) {
        return fail("<" + name + "> is defined already" +
                    (known->second.where.empty() ? std::string(" (built in)")
                                                 : " (at " + known->second.where + ")"));
    }
    PlaceholderType type;
    type.kind = PlaceholderType::FileIn;
    type.maxLength = 255;
    type.where = where();
    bool tree = false;
    if (!literalPath(tokens[3], "the directory", &tree, &type.directory))
        return false;
    if (!tree)
        return fail("the directory of define is written with a final \"/\": \"" + tokens[3].text +
                    "\"");
    for (size_t i = 4; i < tokens.size(); ++i) {
        const std::string &suffix = tokens[i].text;
        if (suffix.find('/') != std::string::npos ||
            (!tokens[i].quoted && suffix.find_first_of("<>|") != std::string::npos))
            return fail("a suffix is plain text without \"/\": \"" + suffix + "\"");
        type.suffixes.push_back(suffix);
    }
    if (type.suffixes.empty())
        type.suffixes.push_back(std::string());
    m_rules.types[name] = type;
    return true;
}

bool FragmentParser::parseLimit(const std::vector<Token> &tokens)
{
    if (tokens.size() != 3)
        return fail("limit takes a name and a value");
    const std::string &name = tokens[1].text;
    std::string value = tokens[2].text;
    Limits &limits = m_rules.limits;
    enum Unit
    {
        Seconds,
        Bytes,
        Count
    };
    struct Known
    {
        const char *name;
        Unit unit;
        uint32_t *u32;
        uint64_t *u64;
    };
    const Known known[] = {
        {"read-time", Seconds, &limits.readTimeMs, nullptr},
        {"change-time", Seconds, &limits.changeTimeMs, nullptr},
        {"output", Bytes, nullptr, &limits.outputBytes},
        {"error-output", Bytes, nullptr, &limits.errorOutputBytes},
        {"read", Bytes, nullptr, &limits.readBytes},
        {"tail", Bytes, nullptr, &limits.tailBytes},
        {"tail-lines", Count, &limits.tailLines, nullptr},
        {"write", Bytes, nullptr, &limits.writeBytes},
        {"entries", Count, &limits.entries, nullptr},
    };
    const Known *limit = nullptr;
    for (const Known &k : known) {
        if (name == k.name)
            limit = &k;
    }
    if (!limit)
        return fail("unknown limit \"" + name +
                    "\" (read-time, change-time, output, error-output, read, tail, tail-lines, "
                    "write, entries)");
    uint64_t factor = 1;
    if (limit->unit == Bytes && !value.empty()) {
        const char unit = value.back();
        factor = unit == 'K' ? 1024 : unit == 'M' ? 1024 * 1024 : unit == 'G' ? 1 << 30 : 1;
        if (factor > 1)
            value.pop_back();
    }
    if (value.empty() || value.size() > 12 || !std::all_of(value.begin(), value.end(), isDigit))
        return fail("the value of limit " + name + " is no number: \"" + tokens[2].text + "\"");
    uint64_t number = std::stoull(value) * factor;
    if (limit->unit == Seconds)
        number *= 1000;
    const uint64_t most = limit->u32 ? UINT32_MAX : uint64_t(1) << 40;
    if (number == 0 || number > most)
        return fail("the value of limit " + name + " is out of range: \"" + tokens[2].text + "\"");
    // The first fragment to set a limit replaces the default; later ones can only lower it,
    // whatever order they are read in.
    const bool first = m_limitsSet.insert(name).second;
    if (limit->u32)
        *limit->u32 = first ? uint32_t(number) : std::min(*limit->u32, uint32_t(number));
    else
        *limit->u64 = first ? number : std::min(*limit->u64, number);
    return true;
}

std::string noRule(const std::string &literal, const std::string &resolved)
{
    std::string why = "no rule of the policy admits it";
    if (!resolved.empty() && resolved != Paths::normalize(literal))
        why += " (the path resolves to " + quoteWord(resolved) + ")";
    return why;
}

Decision refuse(const Request &request, const std::string &why)
{
    Decision decision;
    decision.verdict = Decision::Refused;
    decision.message = "Refused: " + describe(request) + ": " + why;
    return decision;
}

Decision failure(const Request &request, int error)
{
    Decision decision;
    decision.verdict = Decision::Failed;
    decision.error = error;
    decision.message = describe(request) + ": " + errorText(error);
    return decision;
}

Decision allow(const PathRule *rule, const std::string &path)
{
    Decision decision;
    decision.verdict = Decision::Allowed;
    decision.path = path;
    decision.rule = rule->where;
    return decision;
}

} // namespace

// --- the policy ---------------------------------------------------------------------------

Policy::Policy() : d(new Rules)
{
}

Policy::~Policy() = default;
Policy::Policy(Policy &&) noexcept = default;
Policy &Policy::operator=(Policy &&) noexcept = default;

void Policy::setTrustedOwners(const std::vector<uid_t> &owners)
{
    d->owners = owners;
}

const std::vector<uid_t> &Policy::trustedOwners() const
{
    return d->owners;
}

const Limits &Policy::limits() const
{
    return d->limits;
}

size_t Policy::ruleCount() const
{
    return d->count;
}

bool Policy::parse(const std::vector<std::pair<std::string, std::string>> &fragments,
                   std::string *error)
{
    const std::vector<uid_t> owners = d->owners;
    d.reset(new Rules);
    d->owners = owners;
    std::set<std::string> limitsSet;
    std::string why;
    bool good = true;
    for (const auto &fragment : fragments) {
        FragmentParser parser(*d, fragment.first, limitsSet);
        if (!parser.parse(fragment.second, &why)) {
            good = false;
            break;
        }
    }
    // Every placeholder used must be known once all fragments are in (one may define a
    // placeholder another uses).
    const auto unknown = [this](const std::vector<Segment> &segments) {
        for (const Segment &segment : segments) {
            if (segment.placeholder && d->types.find(segment.text) == d->types.end())
                return segment.text;
        }
        return std::string();
    };
    for (const RunRule &rule : d->runs) {
        for (const WordPattern &word : rule.words) {
            const std::string name = good ? unknown(word.segments) : std::string();
            if (!name.empty()) {
                why = rule.where + ": unknown placeholder <" + name + ">";
                good = false;
            }
        }
    }
    for (const PathRule &rule : d->paths) {
        const std::string name = good ? unknown(rule.pattern) : std::string();
        if (!name.empty()) {
            why = rule.where + ": unknown placeholder <" + name + ">";
            good = false;
        }
    }
    if (!good) {
        d.reset(new Rules);
        d->owners = owners;
        *error = "The bridge's policy is refused as a whole: " + why;
        return false;
    }
    return true;
}

bool Policy::load(const std::string &directory, std::string *error)
{
    const auto reject = [this, error](const std::string &why) {
        const std::vector<uid_t> owners = d->owners;
        d.reset(new Rules);
        d->owners = owners;
        *error = "The bridge's policy is refused as a whole: " + why;
        return false;
    };
    std::string real;
    int errorNumber = 0;
    if (!Paths::resolve(directory, &real, &errorNumber))
        return reject(directory + ": " + errorText(errorNumber));
    const std::string untrusted = Paths::untrustedDirectory(real, d->owners);
    if (!untrusted.empty())
        return reject(untrusted);
    const int dirFd = ::open(real.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return reject(real + ": " + errorText(errno));
    DIR *dir = ::fdopendir(dirFd);
    if (!dir) {
        const int why = errno;
        ::close(dirFd);
        return reject(real + ": " + errorText(why));
    }
    std::vector<std::string> names;
    const std::string suffix = FragmentSuffix;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name[0] != '.' && name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::vector<std::pair<std::string, std::string>> fragments;
    std::string why;
    for (const std::string &name : names) {
        const std::string path = real + '/' + name;
        // Judged on what was opened: no link, no FIFO to block on.
        const int fd = ::openat(dirFd, name.c_str(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            why = path +
                  (errno == ELOOP ? std::string(" is a symbolic link") : ": " + errorText(errno));
            break;
        }
        struct stat st;
        std::string text;
        if (::fstat(fd, &st) != 0)
            why = path + ": " + errorText(errno);
        else if (!S_ISREG(st.st_mode))
            why = path + " is not a regular file";
        else
            why = Paths::untrustedFile(path, st.st_uid, st.st_mode, d->owners);
        if (why.empty() && uint64_t(st.st_size) > MaxFragmentBytes)
            why = path + " is larger than " + std::to_string(MaxFragmentBytes) + " bytes";
        char buffer[65536];
        while (why.empty()) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                why = path + ": " + errorText(errno);
            if (got <= 0)
                break;
            text.append(buffer, size_t(got));
            if (text.size() > MaxFragmentBytes)
                why = path + " is larger than " + std::to_string(MaxFragmentBytes) + " bytes";
        }
        ::close(fd);
        if (!why.empty())
            break;
        fragments.emplace_back(path, std::move(text));
    }
    ::closedir(dir);
    if (!why.empty())
        return reject(why);
    if (fragments.empty())
        return reject("no fragment (*" + suffix + ") in " + real);
    return parse(fragments, error);
}

Decision Policy::check(const Request &request) const
{
    const Rules &rules = *d;
    const Limits &limits = rules.limits;
    const std::string syntax = Paths::syntaxError(request.path);
    if (!syntax.empty())
        return refuse(request, syntax);
    const std::string literal = Paths::normalize(request.path);
    std::string resolved;
    int error = 0;

    switch (request.operation) {
    case Operation::Run: {
        for (const std::string &argument : request.arguments) {
            if (argument.find('\0') != std::string::npos)
                return refuse(request, "an argument with a NUL byte");
        }
        if (request.path.back() == '/')
            return refuse(request, "the program names a directory");
        const auto programRules = [&rules](const std::string &program) {
            std::vector<const RunRule *> found;
            for (const RunRule &rule : rules.runs) {
                if (std::find(rule.programs.begin(), rule.programs.end(), program) !=
                    rule.programs.end())
                    found.push_back(&rule);
            }
            return found;
        };
        if (!Paths::resolveDirectoryPart(request.path, &resolved, &error)) {
            if (programRules(literal).empty())
                return refuse(request, noRule(request.path, std::string()));
            return failure(request, error);
        }
        const RunRule *admitted = nullptr;
        bool otherKind = false;
        for (const RunRule *rule : programRules(resolved)) {
            if (!rules.matchArguments(*rule, request.arguments))
                continue;
            if (rule->change == request.change) {
                admitted = rule;
                break;
            }
            otherKind = true;
        }
        if (!admitted && otherKind)
            return refuse(request, request.change ? "the policy admits it only as a read-only run"
                                                  : "the policy admits it only as a change");
        if (!admitted)
            return refuse(request, noRule(request.path, resolved));
        // Only a program nobody but root can change: neither the file nor a directory on the
        // way to it, nor, for a link, on the way to what it leads to.
        const std::string why = Paths::untrustedProgram(resolved, rules.owners, &error);
        if (error != 0)
            return failure(request, error);
        if (!why.empty())
            return refuse(request, why);
        Decision decision;
        decision.verdict = Decision::Allowed;
        decision.path = resolved;
        decision.change = request.change;
        decision.rule = admitted->where;
        decision.timeLimitMs = clampLimit(request.timeLimitMs,
                                          request.change ? limits.changeTimeMs : limits.readTimeMs);
        decision.byteLimit = clampLimit(request.byteLimit, limits.outputBytes);
        decision.errorByteLimit = clampLimit(request.byteLimit, limits.errorOutputBytes);
        return decision;
    }

    case Operation::ReadFile:
    case Operation::Tail: {
        const bool tail = request.operation == Operation::Tail;
        const auto admitting = [&rules, tail](const std::string &path) {
            const PathRule *rule = rules.admitting(PathRuleKind::Read, path);
            return rule || !tail ? rule : rules.admitting(PathRuleKind::Tail, path);
        };
        if (const PathRule *deny = rules.denying(literal))
            return refuse(request, "denied by " + deny->where);
        if (!Paths::resolveDirectoryPart(request.path, &resolved, &error)) {
            if (!admitting(literal))
                return refuse(request, noRule(request.path, std::string()));
            return failure(request, error);
        }
        // A final link is followed: what counts is the file that would be read.
        struct stat st;
        if (::lstat(resolved.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            std::string target;
            if (!Paths::resolve(resolved, &target, &error)) {
                if (!admitting(resolved))
                    return refuse(request, noRule(request.path, resolved));
                return failure(request, error);
            }
            resolved = target;
        }
        if (const PathRule *deny = rules.denying(resolved))
            return refuse(request, "denied by " + deny->where);
        const PathRule *rule = admitting(resolved);
        if (!rule)
            return refuse(request, noRule(request.path, resolved));
        Decision decision = allow(rule, resolved);
        decision.byteLimit =
            clampLimit(request.byteLimit, tail ? limits.tailBytes : limits.readBytes);
        if (tail)
            decision.lines = clampLimit(request.lines, limits.tailLines);
        return decision;
    }

    case Operation::List:
    case Operation::RemoveIn: {
        const bool remove = request.operation == Operation::RemoveIn;
        const PathRuleKind kind = remove ? PathRuleKind::RemoveIn : PathRuleKind::List;
        if (remove) {
            if (request.arguments.empty())
                return refuse(request, "no names to remove");
            for (const std::string &name : request.arguments) {
                const std::string why = Paths::nameError(name);
                if (!why.empty())
                    return refuse(request, why + " among the names (only entries directly in the "
                                                 "directory go)");
            }
            if (const PathRule *deny = rules.denying(literal))
                return refuse(request, "denied by " + deny->where);
        }
        if (!Paths::resolve(request.path, &resolved, &error)) {
            if (!rules.admitting(kind, literal))
                return refuse(request, noRule(request.path, std::string()));
            return failure(request, error);
        }
        if (remove) {
            if (const PathRule *deny = rules.denying(resolved))
                return refuse(request, "denied by " + deny->where);
        }
        const PathRule *rule = rules.admitting(kind, resolved);
        if (!rule)
            return refuse(request, noRule(request.path, resolved));
        Decision decision = allow(rule, resolved);
        decision.change = remove;
        decision.entries = limits.entries;
        return decision;
    }

    case Operation::Write: {
        if (request.path.back() == '/')
            return refuse(request, "the path names a directory");
        if (const PathRule *deny = rules.denying(literal))
            return refuse(request, "denied by " + deny->where);
        if (!Paths::resolveDirectoryPart(request.path, &resolved, &error)) {
            if (!rules.admitting(PathRuleKind::Write, literal))
                return refuse(request, noRule(request.path, std::string()));
            return failure(request, error);
        }
        if (const PathRule *deny = rules.denying(resolved))
            return refuse(request, "denied by " + deny->where);
        const PathRule *rule = rules.admitting(PathRuleKind::Write, resolved);
        if (!rule)
            return refuse(request, noRule(request.path, resolved));
        if (request.content.size() > limits.writeBytes)
            return refuse(request, std::to_string(request.content.size()) +
                                       " bytes, more than the policy's limit of " +
                                       std::to_string(limits.writeBytes));
        Decision decision = allow(rule, resolved);
        decision.change = true;
        decision.byteLimit = limits.writeBytes;
        return decision;
    }

    case Operation::Test: {
        if (!Paths::resolveDirectoryPart(request.path, &resolved, &error)) {
            if (!rules.admitting(PathRuleKind::Test, literal))
                return refuse(request, noRule(request.path, std::string()));
            return failure(request, error);
        }
        const PathRule *rule = rules.admitting(PathRuleKind::Test, resolved);
        if (!rule)
            return refuse(request, noRule(request.path, resolved));
        return allow(rule, resolved);
    }
    }
    return refuse(request, "unknown operation");
}

} // namespace Bridge
