#include "firewall/linux/nftables/nft_ruleset.h"

#include <algorithm>

namespace firewall {
namespace {

using json = nlohmann::json;

// Jumps deeper than this are not followed (nft itself allows 16).
constexpr int kMaxJumps = 16;
// nft nests a rule a few levels deep; text nesting deeper is not nft's.
constexpr std::size_t kMaxDepth = 64;

enum class Truth { Yes, No, Unknown };

using Sets = std::map<std::string, json>;

// The member `key` of an object; nullptr when there is none or `value` is no object.
const json* Member(const json& value, const char* key)
{
    if (!value.is_object()) return nullptr;
    const auto found = value.find(key);
    return found == value.end() ? nullptr : &*found;
}

std::string Text(const json* value) { return value != nullptr && value->is_string() ? value->get<std::string>() : ""; }

// The whole of `text` as one value; nothing when it is no JSON or nests too deep.
std::optional<json> Parse(const std::string& text)
{
    bool tooDeep = false;
    const auto depthGuard = [&tooDeep](int depth, json::parse_event_t event, json&) {
        const bool opens = event == json::parse_event_t::object_start || event == json::parse_event_t::array_start;
        if (opens && static_cast<std::size_t>(depth) > kMaxDepth) tooDeep = true;
        return !tooDeep;
    };
    json document = json::parse(text, depthGuard, /*allow_exceptions=*/false);
    if (tooDeep || document.is_discarded()) return std::nullopt;
    return document;
}

std::string SetKey(const std::string& family, const std::string& table, const std::string& name)
{
    return family + " " + table + " " + name;
}

// One value of a packet field: a number (a port) or a word ("tcp", "new").
struct Field {
    bool numeric;
    double number;
    std::string word;
};

bool Equal(const Field& field, const json& value)
{
    if (field.numeric) return value.is_number() && value.get<double>() == field.number;
    return value.is_string() && value.get<std::string>() == field.word;
}

// Whether `right` (a value, a range, an anonymous or named set, or a list of flags)
// holds the field; Unknown for what we cannot read.
Truth Holds(const Field& field, const json& right, const Sets& sets, const std::string& where)
{
    const std::string text = Text(&right);
    if (!text.empty() && text[0] == '@') {
        const auto set = sets.find(where + " " + text.substr(1));
        return set == sets.end() ? Truth::Unknown : Holds(field, set->second, sets, where);
    }
    if (right.is_array()) {
        bool unknown = false;
        for (const json& item : right) {
            const Truth truth = Holds(field, item, sets, where);
            if (truth == Truth::Yes) return Truth::Yes;
            unknown = unknown || truth == Truth::Unknown;
        }
        return unknown ? Truth::Unknown : Truth::No;
    }
    if (const json* set = Member(right, "set")) return Holds(field, *set, sets, where);
    if (const json* range = Member(right, "range")) {
        if (!field.numeric || !range->is_array() || range->size() != 2 || !(*range)[0].is_number() ||
            !(*range)[1].is_number())
            return Truth::Unknown;
        const bool inside = (*range)[0].get<double>() <= field.number && field.number <= (*range)[1].get<double>();
        return inside ? Truth::Yes : Truth::No;
    }
    if (right.is_object()) return Truth::Unknown;  // a prefix, a concatenation, ...
    return Equal(field, right) ? Truth::Yes : Truth::No;
}

Truth Not(Truth truth) { return truth == Truth::Unknown ? truth : truth == Truth::Yes ? Truth::No : Truth::Yes; }

// The packet's value of what a match looks at: its port, its protocol, its conntrack
// state (new); nothing for whatever else, a header of the other protocol included.
std::optional<Field> PacketField(const json& left, int port, Protocol protocol)
{
    const std::string name(LowerName(protocol));
    if (const json* payload = Member(left, "payload")) {
        const std::string header = Text(Member(*payload, "protocol"));
        const std::string field = Text(Member(*payload, "field"));
        if (field == "dport" && (header == "th" || header == name)) return Field{true, double(port), ""};
        if (header == "ip" && field == "protocol") return Field{false, 0, name};
        return std::nullopt;
    }
    if (const json* meta = Member(left, "meta")) {
        const std::string key = Text(Member(*meta, "key"));
        if (key == "l4proto") return Field{false, 0, name};
        if (key == "nfproto") return Field{false, 0, "ipv4"};
        return std::nullopt;
    }
    if (const json* ct = Member(left, "ct"); ct != nullptr && Text(Member(*ct, "key")) == "state")
        return Field{false, 0, "new"};
    return std::nullopt;
}

// Traffic from the Internet comes in on an interface other than loopback.
Truth InterfaceMatch(const json& left, const std::string& op, const json& right)
{
    const json* meta = Member(left, "meta");
    const std::string key = meta != nullptr ? Text(Member(*meta, "key")) : "";
    return (key == "iif" || key == "iifname") && op == "!=" && Text(&right) == "lo" ? Truth::Yes : Truth::Unknown;
}

Truth Match(const json& match, int port, Protocol protocol, const Sets& sets, const std::string& where)
{
    const json* left = Member(match, "left");
    const json* right = Member(match, "right");
    const std::string op = Text(Member(match, "op"));
    if (left == nullptr || right == nullptr) return Truth::Unknown;
    const std::optional<Field> field = PacketField(*left, port, protocol);
    if (!field) return InterfaceMatch(*left, op, *right);
    if (op == "==" || op == "in") return Holds(*field, *right, sets, where);
    if (op == "!=") return Not(Holds(*field, *right, sets, where));
    return Truth::Unknown;
}

// What ends a rule's walk: a verdict, with the chain it names.
struct Statement {
    enum class Kind { None, Accept, Drop, Jump, Goto, Return } kind = Kind::None;
    std::string target;
};

// Statements that neither match nor decide.
bool Passive(const std::string& key)
{
    static const char* const kPassive[] = {"counter", "log", "limit", "quota", "mangle", "notrack"};
    return std::any_of(std::begin(kPassive), std::end(kPassive), [&key](const char* each) { return key == each; });
}

// An inet chain meets both families.
bool IsInput(const std::string& family, const std::string& hook, Family ip)
{
    return hook == "input" && (family == (ip == Family::Ipv4 ? "ip" : "ip6") || family == "inet");
}

} // namespace

std::optional<NftRuleset> NftRuleset::Read(const std::string& text)
{
    const std::optional<json> document = Parse(text);
    const json* items = document ? Member(*document, "nftables") : nullptr;
    if (items == nullptr || !items->is_array()) return std::nullopt;
    NftRuleset ruleset;
    for (const json& item : *items) {
        if (const json* chain = Member(item, "chain")) {
            const json* priority = Member(*chain, "prio");
            ruleset.chains_.push_back(Chain{Text(Member(*chain, "family")), Text(Member(*chain, "table")),
                                            Text(Member(*chain, "name")), Text(Member(*chain, "hook")),
                                            Text(Member(*chain, "policy")),
                                            priority != nullptr && priority->is_number() ? priority->get<int>() : 0,
                                            {}});
        } else if (const json* rule = Member(item, "rule")) {
            const json* expr = Member(*rule, "expr");
            const auto owner = std::find_if(ruleset.chains_.begin(), ruleset.chains_.end(), [rule](const Chain& chain) {
                return chain.family == Text(Member(*rule, "family")) && chain.table == Text(Member(*rule, "table")) &&
                       chain.name == Text(Member(*rule, "chain"));
            });
            if (owner == ruleset.chains_.end() || expr == nullptr || !expr->is_array()) return std::nullopt;
            owner->rules.push_back(*expr);
        } else if (const json* set = Member(item, "set")) {
            if (const json* elements = Member(*set, "elem"))
                ruleset.sets_[SetKey(Text(Member(*set, "family")), Text(Member(*set, "table")),
                                     Text(Member(*set, "name")))] = *elements;
        }
    }
    std::stable_sort(ruleset.chains_.begin(), ruleset.chains_.end(),
                     [](const Chain& a, const Chain& b) { return a.priority < b.priority; });
    return ruleset;
}

const NftRuleset::Chain* NftRuleset::Find(const std::string& family, const std::string& table,
                                          const std::string& name) const
{
    for (const Chain& chain : chains_)
        if (chain.family == family && chain.table == table && chain.name == name) return &chain;
    return nullptr;
}

bool NftRuleset::FiltersInput(Family ip) const
{
    return std::any_of(chains_.begin(), chains_.end(),
                       [ip](const Chain& chain) { return IsInput(chain.family, chain.hook, ip); });
}

// Every input chain meets the packet, by priority; a drop in any one is final.
std::string NftRuleset::DroppingChain(int port, Protocol protocol, Family ip) const
{
    for (const Chain& chain : chains_) {
        if (!IsInput(chain.family, chain.hook, ip)) continue;
        Verdict verdict = Judge(chain, port, protocol, 0);
        if (verdict == Verdict::Continue) verdict = chain.policy == "drop" ? Verdict::Drop : Verdict::Accept;
        if (verdict == Verdict::Drop) return chain.family + " " + chain.table + " " + chain.name;
    }
    return {};
}

NftRuleset::Verdict NftRuleset::Judge(const Chain& chain, int port, Protocol protocol, int depth) const
{
    const std::string where = chain.family + " " + chain.table;
    for (const json& rule : chain.rules) {
        Truth met = Truth::Yes;
        Statement statement;
        for (const json& expression : rule) {
            if (!expression.is_object() || expression.size() != 1) {
                met = Truth::Unknown;
                continue;
            }
            const std::string& key = expression.begin().key();
            const json& value = expression.begin().value();
            if (key == "match") {
                const Truth truth = Match(value, port, protocol, sets_, where);
                if (truth == Truth::No) met = Truth::No;
                else if (truth == Truth::Unknown && met == Truth::Yes) met = Truth::Unknown;
            } else if (key == "accept") {
                statement.kind = Statement::Kind::Accept;
            } else if (key == "drop" || key == "reject") {
                statement.kind = Statement::Kind::Drop;
            } else if (key == "jump" || key == "goto") {
                statement.kind = key == "jump" ? Statement::Kind::Jump : Statement::Kind::Goto;
                statement.target = Text(Member(value, "target"));
            } else if (key == "return") {
                statement.kind = Statement::Kind::Return;
            } else if (!Passive(key)) {
                // A match we cannot read, or a verdict we do not follow (queue, ...).
                if (met == Truth::Yes) met = Truth::Unknown;
            }
        }
        if (met != Truth::Yes) continue;
        switch (statement.kind) {
        case Statement::Kind::None: break;
        case Statement::Kind::Accept: return Verdict::Accept;
        case Statement::Kind::Drop: return Verdict::Drop;
        case Statement::Kind::Return: return Verdict::Continue;
        case Statement::Kind::Jump:
        case Statement::Kind::Goto: {
            const Chain* target = Find(chain.family, chain.table, statement.target);
            if (target == nullptr || depth >= kMaxJumps) break;
            const Verdict verdict = Judge(*target, port, protocol, depth + 1);
            if (verdict != Verdict::Continue || statement.kind == Statement::Kind::Goto) return verdict;
            break;
        }
        }
    }
    return Verdict::Continue;
}

} // namespace firewall
