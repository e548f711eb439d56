#include "record/json_line.h"

#include <charconv>
#include <cstring>

namespace {

constexpr int hex_digits = 4;
constexpr unsigned char first_printable = 0x20;

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool Json_line::parse(const char *data, int size)
{
    text = data;
    length = size;
    at = 0;
    nodes.clear();
    skip_space();
    if (value(0) == none)
        return false;
    skip_space();
    return at == length;
}

int Json_line::add_node(Kind kind)
{
    Node node;
    node.kind = kind;
    node.begin = at;
    nodes.push_back(node);
    return static_cast<int>(nodes.size()) - 1;
}

void Json_line::adopt(int parent, int child)
{
    Node &owner = nodes[parent];
    if (owner.last_child == none)
        owner.first_child = child;
    else
        nodes[owner.last_child].next_sibling = child;
    owner.last_child = child;
    ++owner.child_count;
}

void Json_line::skip_space()
{
    while (at < length &&
           (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r'))
        ++at;
}

bool Json_line::literal(const char *word)
{
    const int size = static_cast<int>(std::strlen(word));
    if (length - at < size || std::memcmp(text + at, word, size) != 0)
        return false;
    at += size;
    return true;
}

// The parser returns the node it made, or none; every node is made before
// its children, so the root is node 0.
int Json_line::value(int depth)
{
    if (at >= length || depth > max_depth)
        return none;
    const char c = text[at];
    if (c == '{' || c == '[') {
        const bool object = c == '{';
        const int node = add_node(object ? Kind::object : Kind::array);
        ++at;
        skip_space();
        const char close = object ? '}' : ']';
        if (at < length && text[at] == close) {
            ++at;
            return node;
        }
        for (;;) {
            int key_begin = 0, key_size = 0;
            bool key_escaped = false;
            if (object) {
                if (!string_token(&key_begin, &key_size, &key_escaped))
                    return none;
                skip_space();
                if (at >= length || text[at] != ':')
                    return none;
                ++at;
                skip_space();
            }
            const int child = value(depth + 1);
            if (child == none)
                return none;
            nodes[child].key_begin = key_begin;
            nodes[child].key_size = key_size;
            nodes[child].key_escaped = key_escaped;
            adopt(node, child);
            skip_space();
            if (at < length && text[at] == ',') {
                ++at;
                skip_space();
                continue;
            }
            if (at < length && text[at] == close) {
                ++at;
                return node;
            }
            return none;
        }
    }
    if (c == '"') {
        const int node = add_node(Kind::string);
        int begin = 0, size = 0;
        bool escaped = false;
        if (!string_token(&begin, &size, &escaped))
            return none;
        nodes[node].begin = begin;
        nodes[node].size = size;
        nodes[node].escaped = escaped;
        return node;
    }
    if (c == '-' || is_digit(c)) {
        const int node = add_node(Kind::number);
        if (!number_token())
            return none;
        nodes[node].size = at - nodes[node].begin;
        return node;
    }
    const bool is_true = literal("true");
    if (is_true || literal("false")) {
        const int node = add_node(Kind::boolean);
        nodes[node].true_value = is_true;
        return node;
    }
    if (literal("null"))
        return add_node(Kind::null);
    return none;
}

bool Json_line::string_token(int *begin, int *size, bool *escaped)
{
    if (at >= length || text[at] != '"')
        return false;
    ++at;
    *begin = at;
    *escaped = false;
    while (at < length) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c == '"') {
            *size = at - *begin;
            ++at;
            return true;
        }
        if (c < first_printable)
            return false;
        if (c == '\\') {
            *escaped = true;
            if (++at >= length)
                return false;
            const char e = text[at];
            if (e == 'u') {
                if (length - at <= hex_digits)
                    return false;
                for (int i = 1; i <= hex_digits; ++i) {
                    if (hex_value(text[at + i]) < 0)
                        return false;
                }
                at += hex_digits;
            } else if (!std::strchr("\"\\/bfnrt", e) || e == '\0') {
                return false;
            }
        }
        ++at;
    }
    return false;
}

bool Json_line::number_token()
{
    if (text[at] == '-')
        ++at;
    if (at >= length || !is_digit(text[at]))
        return false;
    if (text[at] == '0')
        ++at;
    else
        while (at < length && is_digit(text[at]))
            ++at;
    if (at < length && text[at] == '.') {
        ++at;
        if (at >= length || !is_digit(text[at]))
            return false;
        while (at < length && is_digit(text[at]))
            ++at;
    }
    if (at < length && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < length && (text[at] == '+' || text[at] == '-'))
            ++at;
        if (at >= length || !is_digit(text[at]))
            return false;
        while (at < length && is_digit(text[at]))
            ++at;
    }
    return true;
}

int Json_line::member(int object, QLatin1String key) const
{
    for (int child = nodes[object].first_child; child != none; child = nodes[child].next_sibling) {
        if (key_is(child, key))
            return child;
    }
    return none;
}

QString Json_line::key(int node) const
{
    const Node &n = nodes[node];
    return n.key_escaped ? decode(text + n.key_begin, n.key_size)
                         : QString::fromUtf8(text + n.key_begin, n.key_size);
}

bool Json_line::key_is(int node, QLatin1String key) const
{
    const Node &n = nodes[node];
    if (n.key_escaped)
        return this->key(node) == key;
    return n.key_size == key.size() && std::memcmp(text + n.key_begin, key.data(), n.key_size) == 0;
}

QString Json_line::string(int node) const
{
    const Node &n = nodes[node];
    return n.escaped ? decode(text + n.begin, n.size) : QString::fromUtf8(text + n.begin, n.size);
}

QLatin1String Json_line::raw(int node) const
{
    return QLatin1String(text + nodes[node].begin, nodes[node].size);
}

double Json_line::number(int node) const
{
    const Node &n = nodes[node];
    double result = 0.0;
    // from_chars reads the C locale's form whatever the user's locale is.
    std::from_chars(text + n.begin, text + n.begin + n.size, result);
    return result;
}

// The escapes of a string that passed string_token().
QString Json_line::decode(const char *data, int size)
{
    QString out;
    int plain_from = 0;
    for (int i = 0; i < size; ++i) {
        if (data[i] != '\\')
            continue;
        out += QString::fromUtf8(data + plain_from, i - plain_from);
        const char e = data[++i];
        switch (e) {
        case 'b':
            out += QLatin1Char('\b');
            break;
        case 'f':
            out += QLatin1Char('\f');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'u': {
            ushort unit = 0;
            for (int h = 1; h <= hex_digits; ++h)
                unit = static_cast<ushort>(unit * 16 + hex_value(data[i + h]));
            i += hex_digits;
            // UTF-16 like QString: a pair of escaped surrogates makes one character.
            out += QChar(unit);
            break;
        }
        default: // " \ /
            out += QLatin1Char(e);
            break;
        }
        plain_from = i + 1;
    }
    out += QString::fromUtf8(data + plain_from, size - plain_from);
    return out;
}
