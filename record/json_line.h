#ifndef VELMAR_RECORD_JSON_LINE_H
#define VELMAR_RECORD_JSON_LINE_H

#include <QtCore/QLatin1String>
#include <QtCore/QString>

#include <cstdint>
#include <vector>

// One line of a JSON record, parsed strictly (RFC 8259) into a tree of
// nodes that point into the line's bytes: nothing is copied or decoded until
// asked for, which keeps a night of records quick to read. The bytes must
// outlive the parse.
class Json_line
{
public:
    enum class Kind : uint8_t
    {
        null,
        boolean,
        number,
        string,
        array,
        object,
    };

    static constexpr int none = -1;
    static constexpr int root = 0;
    // Deeper than any record; deeper input is refused rather than recursed into.
    static constexpr int max_depth = 16;

    // False when the bytes are not one JSON value (whitespace around it allowed).
    bool parse(const char *data, int size);

    Kind kind(int node) const { return nodes[node].kind; }
    bool boolean(int node) const { return nodes[node].true_value; }
    // The first child of an array or object, and the one after a child.
    int first_child(int node) const { return nodes[node].first_child; }
    int next_sibling(int node) const { return nodes[node].next_sibling; }
    int child_count(int node) const { return nodes[node].child_count; }
    // A member of an object by its key, or none.
    int member(int object, QLatin1String key) const;
    // The key of an object's member.
    QString key(int node) const;
    bool key_is(int node, QLatin1String key) const;
    QString string(int node) const;
    // The raw bytes of a string (without quotes) or number, escapes not
    // decoded: a time, which has none.
    QLatin1String raw(int node) const;
    double number(int node) const;

private:
    struct Node
    {
        Kind kind = Kind::null;
        bool true_value = false;
        bool escaped = false;
        bool key_escaped = false;
        int begin = 0; // the value's bytes: a string's without its quotes
        int size = 0;
        int key_begin = 0;
        int key_size = 0;
        int first_child = none;
        int last_child = none;
        int next_sibling = none;
        int child_count = 0;
    };

    int value(int depth);
    bool string_token(int *begin, int *size, bool *escaped);
    bool number_token();
    bool literal(const char *word);
    void skip_space();
    int add_node(Kind kind);
    void adopt(int parent, int child);
    static QString decode(const char *data, int size);

    const char *text = nullptr;
    int length = 0;
    int at = 0;
    std::vector<Node> nodes;
};

#endif
