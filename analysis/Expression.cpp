#include "analysis/Expression.h"

#include <muParser.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <string>

#include "analysis/TimeColumns.h"

// From the OpenMP runtime muParser is built with (declared here: clang has
// no omp.h of its own without its own runtime).
extern "C" void omp_set_num_threads(int);

// The formula is handed to muParser in a copy of the same length, so every
// position muParser reports is a position in the user's text. Words muParser
// does not know are rewritten in place ("and" becomes "&& "), and each call
// of a function over time becomes the name of a column computed before,
// padded with spaces to the call's length.

namespace quarn {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Longer than any formula a tuner writes; bounds the nesting the compiler
// recurses through.
constexpr int kMaxLength = 2000;
// Rows per bulk evaluation: the inputs of one block stay in cache.
constexpr std::size_t kBlock = 8192;

enum class TimeFn { Smooth, Derivative, Lag, Shift };

struct TimeFnSpec {
    const char* name;
    TimeFn fn;
    int arguments;
};

constexpr TimeFnSpec kTimeFns[] = {
    {"smooth", TimeFn::Smooth, 2},
    {"ddt", TimeFn::Derivative, 1},
    {"lag", TimeFn::Lag, 2},
    {"shift", TimeFn::Shift, 2},
};

const TimeFnSpec* FindTimeFn(const std::string& name) {
    for (const TimeFnSpec& f : kTimeFns)
        if (name == f.name) return &f;
    return nullptr;
}

// A NaN condition is no answer either way.
double If(double c, double a, double b) {
    if (std::isnan(c)) return kNaN;
    return c != 0 ? a : b;
}
double Clamp(double x, double lo, double hi) {
    return std::min(std::max(x, lo), hi);
}
double Not(double x) {
    if (std::isnan(x)) return kNaN;
    return x == 0 ? 1 : 0;
}

void DefineFunctions(mu::Parser& p) {
    p.DefineFun("if", If);
    p.DefineFun("clamp", Clamp);
    // Below the comparisons, so "not RPM > 3000" negates the comparison.
    p.DefineInfixOprt("!", Not, mu::prLOGIC);
}

// The functions and constants muParser knows, with their argument counts
// (negative: any number, at least one).
struct Library {
    std::map<std::string, int> functions;
    std::set<std::string> constants;
};

const Library& TheLibrary() {
    static const Library library = [] {
        Library l;
        mu::Parser p;
        DefineFunctions(p);
        for (const auto& [name, callback] : p.GetFunDef()) l.functions[name] = callback.GetArgc();
        for (const auto& [name, value] : p.GetConst()) l.constants.insert(name);
        return l;
    }();
    return library;
}

enum class Kind { Name, Number, Operator, Open, Close, Comma };

struct Token {
    Kind kind;
    int pos;
    int len;
    std::string lower;  // a name in lower case
};

struct Failure {
    ExpressionError error;
};

[[noreturn]] void Fail(const QString& message, int position) {
    throw Failure{{message, position}};
}

bool IsNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::vector<Token> Tokenize(const std::string& s) {
    std::vector<Token> tokens;
    const int n = static_cast<int>(s.size());
    int i = 0;
    while (i < n) {
        const char c = s[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            ++i;
            continue;
        }
        const int start = i;
        if (IsNameStart(c)) {
            while (i < n && IsNameChar(s[i])) ++i;
            std::string lower = s.substr(start, i - start);
            for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            tokens.push_back({Kind::Name, start, i - start, lower});
            continue;
        }
        if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(s[i + 1]))) {
            while (i < n && (IsDigit(s[i]) || s[i] == '.')) ++i;
            if (i < n && (s[i] == 'e' || s[i] == 'E')) {
                int j = i + 1;
                if (j < n && (s[j] == '+' || s[j] == '-')) ++j;
                if (j < n && IsDigit(s[j])) {
                    i = j;
                    while (i < n && IsDigit(s[i])) ++i;
                }
            }
            tokens.push_back({Kind::Number, start, i - start, {}});
            continue;
        }
        if (c == '(' || c == ')' || c == ',') {
            tokens.push_back({c == '(' ? Kind::Open : c == ')' ? Kind::Close : Kind::Comma, i, 1, {}});
            ++i;
            continue;
        }
        const std::string two = s.substr(i, 2);
        if (two == "<=" || two == ">=" || two == "==" || two == "!=" || two == "&&" || two == "||") {
            tokens.push_back({Kind::Operator, i, 2, {}});
            i += 2;
            continue;
        }
        if (c == '=') Fail(QStringLiteral("use == to compare"), i);
        if (std::string("+-*/^<>!").find(c) != std::string::npos) {
            tokens.push_back({Kind::Operator, i, 1, {}});
            ++i;
            continue;
        }
        Fail(QStringLiteral("unexpected character '%1'").arg(QChar::fromLatin1(c)), i);
    }
    return tokens;
}

}  // namespace

struct Expression::Node {
    struct Call {
        TimeFn fn;
        double parameter = 0;
        std::string variable;
        std::shared_ptr<const Node> argument;
    };
    std::string text;  // for muParser: blank up to this node's place in the formula
    std::vector<std::pair<int, std::string>> channels;  // index, muParser name
    std::vector<Call> calls;
};

namespace {

class Compiler {
public:
    Compiler(const QString& original, const std::vector<QString>& names)
        : m_original(original) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            std::string lower = names[i].toLower().toStdString();
            m_channels.emplace(lower, static_cast<int>(i));  // the first of a name wins
        }
    }

    std::shared_ptr<const Expression::Node> Run() {
        if (m_original.size() > kMaxLength)
            Fail(QStringLiteral("the formula is longer than %1 characters").arg(kMaxLength), kMaxLength);
        for (int i = 0; i < m_original.size(); ++i)
            if (m_original[i].unicode() > 126 || (m_original[i].unicode() < 32 && !m_original[i].isSpace()))
                Fail(QStringLiteral("unexpected character '%1'").arg(m_original[i]), i);
        m_source = m_original.toStdString();
        m_tokens = Tokenize(m_source);
        if (m_tokens.empty()) Fail(QStringLiteral("the formula is empty"), 0);
        MatchBrackets();
        m_text = m_source;
        for (char& c : m_text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        CheckNames();
        return Build(0, static_cast<int>(m_tokens.size()), 0, static_cast<int>(m_text.size()));
    }

private:
    void MatchBrackets() {
        m_match.assign(m_tokens.size(), -1);
        std::vector<int> open;
        for (int i = 0; i < static_cast<int>(m_tokens.size()); ++i) {
            const Token& t = m_tokens[i];
            if (t.kind == Kind::Open) {
                open.push_back(i);
            } else if (t.kind == Kind::Close) {
                if (open.empty()) Fail(QStringLiteral("a ) without its ("), t.pos);
                m_match[open.back()] = i;
                m_match[i] = open.back();
                open.pop_back();
            } else if (t.kind == Kind::Comma) {
                if (open.empty() || !IsCall(open.back() - 1))
                    Fail(QStringLiteral("a comma outside a function's arguments"), t.pos);
            }
        }
        if (!open.empty()) Fail(QStringLiteral("this ( is never closed"), m_tokens[open.back()].pos);
    }

    bool IsCall(int nameToken) const {
        return nameToken >= 0 && nameToken + 1 < static_cast<int>(m_tokens.size()) &&
               m_tokens[nameToken].kind == Kind::Name && m_tokens[nameToken + 1].kind == Kind::Open;
    }

    // The token ranges of the arguments of the call whose name is at token i.
    std::vector<std::pair<int, int>> Arguments(int i) const {
        const int open = i + 1, close = m_match[open];
        std::vector<std::pair<int, int>> args;
        if (close == open + 1) return args;
        int start = open + 1;
        for (int k = open + 1; k <= close; ++k) {
            const Token& t = m_tokens[k];
            if (t.kind == Kind::Open) {
                k = m_match[k];
                continue;
            }
            if (t.kind != Kind::Comma && t.kind != Kind::Close) continue;
            if (k == start) Fail(QStringLiteral("an argument is missing"), t.pos);
            args.emplace_back(start, k);
            start = k + 1;
        }
        return args;
    }

    QString Word(int i) const { return m_original.mid(m_tokens[i].pos, m_tokens[i].len); }

    void Rewrite(int pos, const char* with) {
        for (int k = 0; with[k]; ++k) m_text[pos + k] = with[k];
    }

    void CheckNames() {
        const Library& lib = TheLibrary();
        for (int i = 0; i < static_cast<int>(m_tokens.size()); ++i) {
            const Token& t = m_tokens[i];
            if (t.kind != Kind::Name) continue;
            if (t.lower == "and") {
                Rewrite(t.pos, "&& ");
            } else if (t.lower == "or") {
                Rewrite(t.pos, "||");
            } else if (t.lower == "not") {
                Rewrite(t.pos, "!  ");
            } else if (IsCall(i)) {
                CheckCall(i);
            } else if (m_channels.count(t.lower) || lib.constants.count(t.lower)) {
                continue;
            } else if (FindTimeFn(t.lower) || lib.functions.count(t.lower)) {
                Fail(QStringLiteral("%1 needs its arguments in brackets").arg(Word(i)), t.pos);
            } else {
                Fail(QStringLiteral("unknown name '%1'").arg(Word(i)), t.pos);
            }
        }
    }

    void CheckCall(int i) {
        const Token& t = m_tokens[i];
        int wanted = 0;
        if (const TimeFnSpec* f = FindTimeFn(t.lower)) {
            wanted = f->arguments;
        } else if (auto it = TheLibrary().functions.find(t.lower); it != TheLibrary().functions.end()) {
            wanted = it->second;
        } else if (m_channels.count(t.lower)) {
            Fail(QStringLiteral("%1 is a channel, not a function").arg(Word(i)), t.pos);
        } else {
            Fail(QStringLiteral("unknown function '%1'").arg(Word(i)), t.pos);
        }
        const int given = static_cast<int>(Arguments(i).size());
        if (wanted < 0 && given == 0)
            Fail(QStringLiteral("%1 needs at least one argument").arg(Word(i)), t.pos);
        if (wanted >= 0 && given != wanted)
            Fail(QStringLiteral("%1 takes %2 argument%3, not %4")
                     .arg(Word(i)).arg(wanted).arg(wanted == 1 ? "" : "s").arg(given),
                 t.pos);
    }

    // The node for tokens [first, last), which sit in characters [from, to).
    std::shared_ptr<const Expression::Node> Build(int first, int last, int from, int to) {
        auto node = std::make_shared<Expression::Node>();
        std::string text = std::string(static_cast<std::size_t>(from), ' ') +
                           m_text.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
        std::set<int> seen;
        for (int i = first; i < last; ++i) {
            const Token& t = m_tokens[i];
            if (t.kind != Kind::Name) continue;
            if (auto it = m_channels.find(t.lower); it != m_channels.end() && !IsCall(i)) {
                if (seen.insert(it->second).second) node->channels.emplace_back(it->second, t.lower);
                continue;
            }
            const TimeFnSpec* f = IsCall(i) ? FindTimeFn(t.lower) : nullptr;
            if (!f) continue;
            const int close = m_match[i + 1];
            node->calls.push_back(BuildCall(*f, i));
            const std::string& var = node->calls.back().variable;
            const int end = m_tokens[close].pos + 1;
            if (static_cast<int>(var.size()) > end - t.pos)
                Fail(QStringLiteral("too many functions over time"), t.pos);
            text.replace(static_cast<std::size_t>(t.pos), static_cast<std::size_t>(end - t.pos),
                         var + std::string(static_cast<std::size_t>(end - t.pos) - var.size(), ' '));
            i = close;
        }
        node->text = text;
        Check(*node);
        return node;
    }

    Expression::Node::Call BuildCall(const TimeFnSpec& f, int i) {
        const auto args = Arguments(i);
        Expression::Node::Call call;
        call.fn = f.fn;
        call.argument = Build(args[0].first, args[0].second, m_tokens[args[0].first].pos,
                              End(args[0].second));
        if (args.size() > 1) call.parameter = Parameter(f, args[1]);
        call.variable = "_t" + std::to_string(m_calls++);
        return call;
    }

    // Where the text of a token range ending before token last ends.
    int End(int last) const { return m_tokens[last - 1].pos + m_tokens[last - 1].len; }

    double Parameter(const TimeFnSpec& f, std::pair<int, int> range) {
        const int pos = m_tokens[range.first].pos;
        auto node = Build(range.first, range.second, pos, End(range.second));
        const QString what = f.fn == TimeFn::Lag ? QStringLiteral("the records of lag")
                                                 : QStringLiteral("the seconds of %1").arg(f.name);
        if (!node->channels.empty() || !node->calls.empty())
            Fail(QStringLiteral("%1 must be a number, not a channel").arg(what), pos);
        mu::Parser p;
        DefineFunctions(p);
        p.SetExpr(node->text);
        const double v = p.Eval();
        switch (f.fn) {
        case TimeFn::Smooth:
            if (!(v > 0 && v < 1e9)) Fail(QStringLiteral("%1 must be more than 0").arg(what), pos);
            break;
        case TimeFn::Lag:
            if (!(v >= 0 && v <= 1e12 && v == std::floor(v)))
                Fail(QStringLiteral("%1 must be a whole number, 0 or more").arg(what), pos);
            break;
        default:
            if (!(std::abs(v) < 1e9)) Fail(QStringLiteral("%1 must be a number").arg(what), pos);
            break;
        }
        return v;
    }

    // muParser's own reading of a node, with its errors in the user's words.
    void Check(const Expression::Node& node) {
        mu::Parser p;
        DefineFunctions(p);
        double dummy = 1;
        try {
            for (const auto& [index, name] : node.channels) p.DefineVar(name, &dummy);
            for (const auto& call : node.calls) p.DefineVar(call.variable, &dummy);
            p.SetExpr(node.text);
            p.Eval();
        } catch (const mu::ParserError& e) {
            const int pos = std::clamp(e.GetPos(), 0, static_cast<int>(m_original.size()));
            // The token as the user wrote it: a rewritten call shows its name.
            QString token = QString::fromStdString(e.GetToken());
            if (!token.isEmpty() && pos < m_original.size()) {
                int end = pos + static_cast<int>(token.size());
                if (IsNameStart(m_source[static_cast<std::size_t>(pos)]))
                    for (end = pos; end < m_original.size() && IsNameChar(m_source[static_cast<std::size_t>(end)]);)
                        ++end;
                token = m_original.mid(pos, end - pos);
            }
            switch (e.GetCode()) {
            case mu::ecUNEXPECTED_EOF:
                // At the end of this node's text: a call's argument ends
                // before its comma.
                Fail(QStringLiteral("something is missing at the end"), static_cast<int>(node.text.size()));
            case mu::ecEMPTY_EXPRESSION:
                Fail(QStringLiteral("the formula is empty"), pos);
            case mu::ecUNASSIGNABLE_TOKEN:
                Fail(QStringLiteral("cannot read '%1'").arg(token), pos);
            default:
                if (token.trimmed().isEmpty()) Fail(QStringLiteral("unexpected text"), pos);
                Fail(QStringLiteral("unexpected '%1'").arg(token.trimmed()), pos);
            }
        }
    }

    QString m_original;
    std::string m_source;
    std::string m_text;  // m_source in lower case, the keywords rewritten
    std::vector<Token> m_tokens;
    std::vector<int> m_match;  // the matching bracket of each bracket token
    std::map<std::string, int> m_channels;
    int m_calls = 0;
};

std::vector<double> Apply(const Expression::Node::Call& call, std::vector<double> x,
                          std::span<const double> seconds) {
    switch (call.fn) {
    case TimeFn::Smooth: return SmoothColumn(x, seconds, call.parameter);
    case TimeFn::Derivative: return DerivativeColumn(x, seconds);
    case TimeFn::Lag: return LagColumn(x, static_cast<long long>(call.parameter));
    case TimeFn::Shift: return ShiftColumn(x, seconds, call.parameter);
    }
    return x;
}

std::vector<double> EvaluateNode(const Expression::Node& node, const ColumnSet& set) {
    const std::size_t rows = set.Rows();
    std::vector<std::vector<double>> temps;
    for (const auto& call : node.calls) temps.push_back(Apply(call, EvaluateNode(*call.argument, set), set.seconds));

    // One block buffer per input; channels are copied as doubles, a short
    // or absent column reads as gaps.
    struct Input {
        std::span<const float> channel;
        const double* temp = nullptr;
        std::vector<double> block = std::vector<double>(kBlock);
    };
    std::vector<Input> inputs(node.channels.size() + node.calls.size());
    std::vector<double> out(rows, kNaN);
    mu::Parser p;
    DefineFunctions(p);
    try {
        for (std::size_t k = 0; k < node.channels.size(); ++k) {
            const auto index = static_cast<std::size_t>(node.channels[k].first);
            if (index < set.columns.size()) inputs[k].channel = set.columns[index];
            p.DefineVar(node.channels[k].second, inputs[k].block.data());
        }
        for (std::size_t k = 0; k < node.calls.size(); ++k) {
            Input& in = inputs[node.channels.size() + k];
            in.temp = temps[k].data();
            p.DefineVar(node.calls[k].variable, in.block.data());
        }
        p.SetExpr(node.text);
        // muParser splits each bulk call over as many threads as there are
        // cores, which wait on each other between calls; on a busy machine
        // that costs ten times the work. One thread per evaluation instead:
        // the caller may run several evaluations at once.
        omp_set_num_threads(1);
        for (std::size_t start = 0; start < rows; start += kBlock) {
            const std::size_t n = std::min(kBlock, rows - start);
            for (Input& in : inputs) {
                if (in.temp) {
                    std::copy_n(in.temp + start, n, in.block.data());
                    continue;
                }
                for (std::size_t r = 0; r < n; ++r)
                    in.block[r] = start + r < in.channel.size() ? in.channel[start + r] : kNaN;
            }
            double* result = out.data() + start;
            p.Eval(result, static_cast<int>(n));
            for (const Input& in : inputs)
                for (std::size_t r = 0; r < n; ++r)
                    if (std::isnan(in.block[r])) result[r] = kNaN;
            for (std::size_t r = 0; r < n; ++r)
                if (!std::isfinite(result[r])) result[r] = kNaN;
        }
    } catch (const mu::ParserError&) {
        std::fill(out.begin(), out.end(), kNaN);
    }
    return out;
}

}  // namespace

Expression Expression::Compile(const QString& text, const std::vector<QString>& channelNames) {
    Expression e;
    e.m_text = text;
    try {
        e.m_root = Compiler(text, channelNames).Run();
    } catch (const Failure& f) {
        e.m_error = f.error;
    } catch (const mu::ParserError& p) {
        e.m_error = {QString::fromStdString(p.GetMsg()), std::max(0, p.GetPos())};
    }
    return e;
}

bool Expression::IsReservedWord(const QString& name) {
    const std::string lower = name.toLower().toStdString();
    const Library& lib = TheLibrary();
    return lower == "and" || lower == "or" || lower == "not" || FindTimeFn(lower) ||
           lib.functions.count(lower) || lib.constants.count(lower);
}

std::vector<int> Expression::Channels() const {
    std::set<int> used;
    std::vector<const Node*> todo;
    if (m_root) todo.push_back(m_root.get());
    while (!todo.empty()) {
        const Node* n = todo.back();
        todo.pop_back();
        for (const auto& [index, name] : n->channels) used.insert(index);
        for (const auto& call : n->calls) todo.push_back(call.argument.get());
    }
    return {used.begin(), used.end()};
}

std::vector<float> Expression::Evaluate(const ColumnSet& columns) const {
    if (!m_root) return std::vector<float>(columns.Rows(), std::numeric_limits<float>::quiet_NaN());
    const std::vector<double> values = EvaluateNode(*m_root, columns);
    std::vector<float> out(values.size());
    // Beyond a float's range is as undefined as a division by zero.
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto v = static_cast<float>(values[i]);
        out[i] = std::isinf(v) ? std::numeric_limits<float>::quiet_NaN() : v;
    }
    return out;
}

}  // namespace quarn
