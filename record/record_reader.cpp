#include "record/record_reader.h"

#include <QtCore/QIODevice>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

namespace {

using Kind = Record_problems::Kind;
using Outcome = Record_line::Outcome;

// Lines are read about this much at a time: a day of records is a gigabyte.
constexpr std::size_t block_size = 1 << 20;
// A line may begin at the end of one read and be up to max_size long.
constexpr std::size_t block_capacity = Record_line::max_size + block_size + Record_line::padding;
// Parsing is most of the work; two helpers keep two cores busy beside the
// caller, who builds from what they parsed.
constexpr unsigned helpers_max = 2;
constexpr std::size_t blocks_ahead_per_helper = 2;
// Where every line of the writer starts: a line that is not JSON but holds
// this further on is a line cut off by a crash with the next run's first
// line appended to it.
constexpr std::string_view line_start = "{\"time\":";

} // namespace

// Whole lines of the input and, once parsed, what they hold. Line numbers
// count from 1 at the block's first line; the reader adds the lines before.
struct Record_reader::Block
{
    struct Note
    {
        qint64 line;
        Kind kind;
        QString detail;
    };

    std::unique_ptr<char[]> bytes;
    std::size_t capacity = 0;
    std::size_t size = 0;           // bytes of lines, each with its newline
    bool ends_unterminated = false; // the input ends inside the last line
    bool overlong = false;          // stands for one line too long to be a record's

    // Entries are parsed into slots kept from block to block, so that their
    // strings keep their room and no line allocates.
    std::vector<Record_entry> entries;
    std::size_t entry_count = 0;
    std::vector<qint64> entry_lines;
    std::vector<Note> notes; // in line order
    qint64 line_count = 0;
    qint64 record_lines = 0;
    bool parsed = false; // under the helpers' lock while they work

    // Room for at least wanted bytes, the first kept bytes kept. Not
    // cleared: the parser reads only what was read into it.
    void make_room(std::size_t wanted, std::size_t kept)
    {
        if (capacity >= wanted)
            return;
        std::unique_ptr<char[]> larger(new char[wanted]);
        if (kept > 0)
            std::memcpy(larger.get(), bytes.get(), kept);
        bytes = std::move(larger);
        capacity = wanted;
    }

    void reset_input()
    {
        size = 0;
        ends_unterminated = overlong = false;
    }

    void parse(Record_line &parser)
    {
        entry_count = 0;
        entry_lines.clear();
        notes.clear();
        line_count = record_lines = 0;
        if (overlong) {
            line_count = 1;
            note(Kind::not_json, QStringLiteral("longer than any record line"));
            return;
        }
        const char *const data = bytes.get();
        std::size_t at = 0;
        while (at < size) {
            const auto *newline =
                static_cast<const char *>(std::memchr(data + at, '\n', size - at));
            const std::size_t length =
                newline ? static_cast<std::size_t>(newline - (data + at)) : size - at;
            ++line_count;
            const bool carriage_return = length > 0 && data[at + length - 1] == '\r';
            take(data + at, carriage_return ? length - 1 : length, newline == nullptr, parser);
            at += length + 1;
        }
    }

private:
    void note(Kind kind, const QString &detail = QString())
    {
        notes.push_back({line_count, kind, detail});
    }

    void take(const char *data, std::size_t length, bool unterminated, Record_line &parser)
    {
        if (entry_count == entries.size())
            entries.emplace_back();
        Record_entry &entry = entries[entry_count];
        Outcome outcome = parser.read(data, length, &entry);
        if (outcome == Outcome::not_json) {
            const std::size_t appended = std::string_view(data, length).find(line_start, 1);
            if (appended != std::string_view::npos) {
                const Outcome rest = parser.read(data + appended, length - appended, &entry);
                if (rest != Outcome::not_json && rest != Outcome::not_record) {
                    note(Kind::cut_off_line);
                    outcome = rest;
                }
            }
        }
        if (outcome == Outcome::not_json && unterminated) {
            // What a crash or a pulled plug leaves at the end.
            note(Kind::truncated_last_line);
            return;
        }
        switch (outcome) {
        case Outcome::entry:
            ++record_lines;
            if (!parser.unknown_field().isEmpty())
                note(Kind::unknown_field, parser.unknown_field());
            entry_lines.push_back(line_count);
            ++entry_count;
            return;
        case Outcome::unknown_event:
            ++record_lines;
            note(Kind::unknown_event, parser.why());
            return;
        case Outcome::bad_value:
            ++record_lines;
            note(Kind::bad_value, parser.why());
            return;
        case Outcome::not_record:
            note(Kind::not_record_line, parser.why());
            return;
        case Outcome::not_json:
            note(Kind::not_json, parser.why());
            return;
        }
    }
};

// Threads that parse blocks handed to them, each with a parser of its own.
class Record_reader::Helpers
{
public:
    explicit Helpers(unsigned count)
    {
        for (unsigned i = 0; i < count; ++i)
            threads.emplace_back([this] { run(); });
    }

    ~Helpers()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        work.notify_all();
        for (std::thread &thread : threads)
            thread.join();
    }

    Helpers(const Helpers &) = delete;
    Helpers &operator=(const Helpers &) = delete;

    void parse(Block *block)
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            block->parsed = false;
            queue.push_back(block);
        }
        work.notify_one();
    }

    void wait(const Block *block)
    {
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [block] { return block->parsed; });
    }

private:
    void run()
    {
        Record_line parser;
        for (;;) {
            Block *block = nullptr;
            {
                std::unique_lock<std::mutex> lock(mutex);
                work.wait(lock, [this] { return stopping || !queue.empty(); });
                if (stopping)
                    return;
                block = queue.front();
                queue.pop_front();
            }
            block->parse(parser);
            {
                const std::lock_guard<std::mutex> lock(mutex);
                block->parsed = true;
            }
            done.notify_all();
        }
    }

    std::mutex mutex;
    std::condition_variable work;
    std::condition_variable done;
    std::deque<Block *> queue;
    bool stopping = false;
    std::vector<std::thread> threads;
};

Record_reader::Record_reader(QIODevice &device, const QString &source, Record_problems &problems)
    : device(device), name(source), problems(problems)
{
}

Record_reader::~Record_reader()
{
    // Before the blocks they may be parsing go.
    helpers.reset();
}

bool Record_reader::next(Record_entry *entry)
{
    for (;;) {
        if (current && take_from_current(entry))
            return true;
        if (!next_block()) {
            finish();
            return false;
        }
    }
}

// The current block's next entry, after what its lines before told.
bool Record_reader::take_from_current(Record_entry *entry)
{
    Block &block = *current;
    if (next_entry < block.entry_count) {
        const qint64 at = block.entry_lines[next_entry];
        note_until(at);
        *entry = std::move(block.entries[next_entry]);
        line = lines_before + at;
        ++next_entry;
        return true;
    }
    note_until(block.line_count);
    lines_before += block.line_count;
    record_lines += block.record_lines;
    spare.push_back(std::move(current));
    return false;
}

void Record_reader::note_until(qint64 block_line)
{
    const std::vector<Block::Note> &notes = current->notes;
    for (; next_note < notes.size() && notes[next_note].line <= block_line; ++next_note) {
        const Block::Note &found = notes[next_note];
        problems.note(name, found.kind, lines_before + found.line, found.detail);
    }
}

bool Record_reader::next_block()
{
    read_ahead();
    if (ahead.empty())
        return false;
    current = std::move(ahead.front());
    ahead.pop_front();
    if (helpers)
        helpers->wait(current.get());
    else
        current->parse(parser);
    next_entry = next_note = 0;
    // The helpers work on while the caller takes this block's entries.
    if (helpers)
        read_ahead();
    ++blocks_taken;
    return true;
}

void Record_reader::read_ahead()
{
    for (;;) {
        const std::size_t wanted = helpers ? blocks_ahead_per_helper * helpers_max : 1;
        if (ahead.size() >= wanted)
            return;
        std::unique_ptr<Block> block = read_block();
        if (!block)
            return;
        // More than two blocks: worth the threads, where there are cores for
        // them. The first block is parsed here: a timeline reads the first
        // line of every record before it reads any through, and each
        // waiting record holds no more than that block.
        if (!helpers && blocks_taken > 0 && !exhausted &&
            std::thread::hardware_concurrency() >= 2) {
            try {
                helpers = std::make_unique<Helpers>(helpers_max);
            } catch (const std::system_error &) {
                helpers.reset(); // parsed here, then
            }
        }
        if (helpers)
            helpers->parse(block.get());
        ahead.push_back(std::move(block));
    }
}

std::unique_ptr<Record_reader::Block> Record_reader::read_block()
{
    std::unique_ptr<Block> block;
    if (spare.empty()) {
        block = std::make_unique<Block>();
    } else {
        block = std::move(spare.back());
        spare.pop_back();
    }
    block->reset_input();
    if (!read_into(*block)) {
        spare.push_back(std::move(block));
        return nullptr;
    }
    return block;
}

// Fills a block with whole lines: what the last one could not hold, then
// more of the input. False when nothing is left.
bool Record_reader::read_into(Block &block)
{
    // A record shorter than a block gets a block of its size: a short one
    // is read without taking megabytes.
    std::size_t first = block_capacity;
    if (!device.isSequential()) {
        const qint64 left = std::max<qint64>(0, device.size() - device.pos());
        first = std::min<std::size_t>(first, carried.size() + static_cast<std::size_t>(left) +
                                                 Record_line::padding + 1);
    }
    block.make_room(first, 0);
    char *data = block.bytes.get();
    std::size_t size = carried.size();
    if (size > 0)
        std::memcpy(data, carried.data(), size);
    carried.clear();
    std::size_t wanted = block_size;
    for (;;) {
        wanted = std::min(wanted, block.capacity - Record_line::padding);
        while (!exhausted && size < wanted) {
            const qint64 got = device.read(data + size, static_cast<qint64>(wanted - size));
            if (got < 0)
                problems.note(name, Kind::cannot_read, 0, device.errorString());
            if (got <= 0)
                exhausted = true;
            else
                size += static_cast<std::size_t>(got);
        }
        if (discarding) {
            // The rest of an overlong line, up to its newline.
            const auto *newline = static_cast<const char *>(std::memchr(data, '\n', size));
            if (!newline) {
                size = 0;
                if (exhausted)
                    return false;
                continue;
            }
            const std::size_t rest = size - static_cast<std::size_t>(newline + 1 - data);
            std::memmove(data, newline + 1, rest);
            size = rest;
            discarding = false;
            continue;
        }
        std::size_t whole = size;
        while (whole > 0 && data[whole - 1] != '\n')
            --whole;
        if (whole > 0) {
            carried.assign(data + whole, data + size);
            block.size = whole;
            // The parser reads ahead of a line's end; it finds nothing there.
            std::memset(data + whole, 0, Record_line::padding);
            return true;
        }
        if (exhausted) {
            block.size = size;
            block.ends_unterminated = true;
            std::memset(data + size, 0, Record_line::padding);
            return size > 0;
        }
        if (size > Record_line::max_size) {
            block.overlong = true;
            discarding = true;
            return true;
        }
        // A long line, not whole yet: read on behind it, in a full block.
        if (size + Record_line::padding == block.capacity) {
            block.make_room(block_capacity, size);
            data = block.bytes.get();
        }
        wanted = size + block_size;
    }
}

// At the end of the input, once: an input without one record line is not
// a record, and its lines are not worth telling one by one.
void Record_reader::finish()
{
    if (finished)
        return;
    finished = true;
    if (record_lines > 0 || problems.any(name, Kind::cannot_read))
        return;
    problems.forget(name);
    problems.note(name, Kind::not_a_record, 0);
}
