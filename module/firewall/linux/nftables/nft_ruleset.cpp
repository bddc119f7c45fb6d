#include "firewall/linux/nftables/nft_ruleset.h"

#include <algorithm>

namespace firewall {
namespace {

// Jumps deeper than this are not followed (nft itself allows 16).
constexpr int kMaxJumps = 16;

enum class Truth { Yes, No, Unknown };

using Sets = std::map<std::string, JsonValue>;

std::string Text(const JsonValue* value)
{
    return value != nullptr && value->Is(JsonValue::Kind::String) ? value->text : "";
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

bool Equal(const Field& field, const JsonValue& value)
{
    if (field.numeric) return value.Is(JsonValue::Kind::Number) && value.number == field.number;
    return value.Is(JsonValue::Kind::String) && value.text == field.word;
}

// Whether `right` (a value, a range, an anonymous or named set, or a list of flags)
// holds the field; Unknown for what we cannot read.
Truth Holds(const Field& field, const JsonValue& right, const Sets& sets, const std::string& where)
{
    if (right.Is(JsonValue::Kind::String) && !right.text.empty() && right.text[0] == '@') {
        const auto set = sets.find(where + " " + right.text.substr(1));
        return set == sets.end() ? Truth::Unknown : Holds(field, set->second, sets, where);
    }
    if (right.Is(JsonValue::Kind::Array)) {
        bool unknown = false;
        for (const JsonValue& item : right.items) {
            const Truth truth = Holds(field, item, sets, where);
            if (truth == Truth::Yes) return Truth::Yes;
            unknown = unknown || truth == Truth::Unknown;
        }
        return unknown ? Truth::Unknown : Truth::No;
    }
    if (const JsonValue* set = right.Find("set")) return Holds(field, *set, sets, where);
    if (const JsonValue* range = right.Find("range")) {
        if (!field.numeric || range->items.size() != 2 || !range->items[0].Is(JsonValue::Kind::Number) ||
            !range->items[1].Is(JsonValue::Kind::Number))
            return Truth::Unknown;
        const bool inside = range->items[0].number <= field.number && field.number <= range->items[1].number;
        return inside ? Truth::Yes : Truth::No;
    }
    if (right.Is(JsonValue::Kind::Object)) return Truth::Unknown;  // a prefix, a concatenation, ...
    return Equal(field, right) ? Truth::Yes : Truth::No;
}

Truth Not(Truth truth) { return truth == Truth::Unknown ? truth : truth == Truth::Yes ? Truth::No : Truth::Yes; }

// The packet's value of what a match looks at: its port, its protocol, its conntrack
// state (new); nothing for whatever else, a header of the other protocol included.
std::optional<Field> PacketField(const JsonValue& left, int port, Protocol protocol)
{
    const std::string name = ProtocolName(protocol);
    if (const JsonValue* payload = left.Find("payload")) {
        const std::string header = Text(payload->Find("protocol"));
        const std::string field = Text(payload->Find("field"));
        if (field == "dport" && (header == "th" || header == name)) return Field{true, double(port), ""};
        if (header == "ip" && field == "protocol") return Field{false, 0, name};
        return std::nullopt;
    }
    if (const JsonValue* meta = left.Find("meta")) {
        const std::string key = Text(meta->Find("key"));
        if (key == "l4proto") return Field{false, 0, name};
        if (key == "nfproto") return Field{false, 0, "ipv4"};
        return std::nullopt;
    }
    if (const JsonValue* ct = left.Find("ct"); ct != nullptr && Text(ct->Find("key")) == "state")
        return Field{false, 0, "new"};
    return std::nullopt;
}

// Traffic from the Internet comes in on an interface other than loopback.
Truth InterfaceMatch(const JsonValue& left, const std::string& op, const JsonValue& right)
{
    const JsonValue* meta = left.Find("meta");
    const std::string key = meta != nullptr ? Text(meta->Find("key")) : "";
    return (key == "iif" || key == "iifname") && op == "!=" && Text(&right) == "lo" ? Truth::Yes : Truth::Unknown;
}

Truth Match(const JsonValue& match, int port, Protocol protocol, const Sets& sets, const std::string& where)
{
    const JsonValue* left = match.Find("left");
    const JsonValue* right = match.Find("right");
    const std::string op = Text(match.Find("op"));
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
bool IsInput(const std::string& family, const std::string& hook, IpFamily ip)
{
    return hook == "input" && (family == (ip == IpFamily::Ipv4 ? "ip" : "ip6") || family == "inet");
}

} // namespace

std::optional<NftRuleset> NftRuleset::Read(const std::string& json)
{
    const std::optional<JsonValue> document = ParseJson(json);
    const JsonValue* items = document ? document->Find("nftables") : nullptr;
    if (items == nullptr || !items->Is(JsonValue::Kind::Array)) return std::nullopt;
    NftRuleset ruleset;
    for (const JsonValue& item : items->items) {
        if (const JsonValue* chain = item.Find("chain")) {
            const JsonValue* priority = chain->Find("prio");
            ruleset.chains_.push_back(Chain{Text(chain->Find("family")), Text(chain->Find("table")),
                                            Text(chain->Find("name")), Text(chain->Find("hook")),
                                            Text(chain->Find("policy")),
                                            priority != nullptr ? int(priority->number) : 0, {}});
        } else if (const JsonValue* rule = item.Find("rule")) {
            const JsonValue* expr = rule->Find("expr");
            const auto owner = std::find_if(ruleset.chains_.begin(), ruleset.chains_.end(), [rule](const Chain& chain) {
                return chain.family == Text(rule->Find("family")) && chain.table == Text(rule->Find("table")) &&
                       chain.name == Text(rule->Find("chain"));
            });
            if (owner == ruleset.chains_.end() || expr == nullptr || !expr->Is(JsonValue::Kind::Array))
                return std::nullopt;
            owner->rules.push_back(*expr);
        } else if (const JsonValue* set = item.Find("set")) {
            if (const JsonValue* elements = set->Find("elem"))
                ruleset.sets_[SetKey(Text(set->Find("family")), Text(set->Find("table")), Text(set->Find("name")))] =
                    *elements;
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

bool NftRuleset::FiltersInput(IpFamily ip) const
{
    return std::any_of(chains_.begin(), chains_.end(),
                       [ip](const Chain& chain) { return IsInput(chain.family, chain.hook, ip); });
}

// Every input chain meets the packet, by priority; a drop in any one is final.
std::string NftRuleset::DroppingChain(int port, Protocol protocol, IpFamily ip) const
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
    for (const JsonValue& rule : chain.rules) {
        Truth met = Truth::Yes;
        Statement statement;
        for (const JsonValue& expression : rule.items) {
            if (expression.members.size() != 1) {
                met = Truth::Unknown;
                continue;
            }
            const auto& [key, value] = expression.members.front();
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
                statement.target = Text(value.Find("target"));
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
