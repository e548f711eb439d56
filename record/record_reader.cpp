#include "record/record_reader.h"

#include "protocol/gain_law.h"
#include "protocol/protocol_version.h"
#include "protocol/status_words.h"
#include "record/record_time.h"

#include <QtCore/QIODevice>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>

namespace {

using S = Unit_status;
using Kind = Json_line::Kind;

constexpr int chunk_size = 1 << 20;
// Far above any record line; a longer one is not a record's.
constexpr int max_line_size = 4 << 20;
constexpr double gain_tolerance_db = 0.005;
constexpr int nibble_bits = 4;
constexpr int max_nibble = 15;

// Turns the parsed JSON of one line into an entry, checking each field's
// type and noting every key it does not know.
class Entry_mapper
{
public:
    explicit Entry_mapper(const Json_line &json) : json(json) {}

    QString bad;           // why the line is not a record line, if it is not
    QString unknown_field; // the first unknown field's path, if any
    QString unknown_event;

    bool map(Record_entry *entry)
    {
        const int root = Json_line::root;
        if (json.kind(root) != Kind::object)
            return fail(QStringLiteral("not an object"));
        const int time = json.member(root, QLatin1String("time"));
        const int event = json.member(root, QLatin1String("event"));
        if (time == Json_line::none || json.kind(time) != Kind::string)
            return fail(QStringLiteral("no \"time\""));
        const QLatin1String time_text = json.raw(time);
        if (!Record_time::parse(time_text.data(), time_text.size(), &entry->time_ms))
            return fail(QStringLiteral("\"time\" is not an ISO 8601 time with a zone"));
        if (event == Json_line::none || json.kind(event) != Kind::string)
            return fail(QStringLiteral("no \"event\""));
        if (!record_event_from_name(json.string(event), &entry->event)) {
            unknown_event = json.string(event);
            return false;
        }
        entry->detail.clear();
        entry->since_ms = Record_entry::no_time;
        const int detail = json.member(root, QLatin1String("detail"));
        if (detail != Json_line::none) {
            if (json.kind(detail) != Kind::string)
                return fail(QStringLiteral("\"detail\" is not a string"));
            entry->detail = json.string(detail);
        }
        switch (entry->event) {
        case Record_event::status:
            return map_status(root, &entry->status);
        case Record_event::connected:
        case Record_event::silent:
            return map_since(root, &entry->since_ms);
        case Record_event::start:
            return map_start(root, &entry->start);
        case Record_event::sent:
            return map_sent(root, &entry->sent);
        case Record_event::crc_mismatch:
        case Record_event::short_message:
        case Record_event::port_lost:
        case Record_event::reopened:
        case Record_event::ack_timeout:
        case Record_event::port_unavailable:
            known(root, QString(), {});
            return true;
        }
        return true;
    }

private:
    bool fail(const QString &why)
    {
        if (bad.isEmpty())
            bad = why;
        return false;
    }

    // Notes the first key of an object that is none of these, "time",
    // "event" and "detail" being known at the top.
    void known(int object, const QString &path, std::initializer_list<const char *> keys)
    {
        if (!unknown_field.isEmpty())
            return;
        for (int child = json.first_child(object); child != Json_line::none;
             child = json.next_sibling(child)) {
            bool is_known = false;
            for (const char *key : keys)
                is_known = is_known || json.key_is(child, QLatin1String(key));
            if (path.isEmpty())
                for (const char *key : {"time", "event", "detail"})
                    is_known = is_known || json.key_is(child, QLatin1String(key));
            if (!is_known) {
                unknown_field = path + json.key(child);
                return;
            }
        }
    }

    int member(int object, const char *key, Kind kind, bool nullable = false)
    {
        const int node = json.member(object, QLatin1String(key));
        if (node == Json_line::none) {
            fail(QStringLiteral("no \"%1\"").arg(QLatin1String(key)));
            return Json_line::none;
        }
        if (json.kind(node) != kind && !(nullable && json.kind(node) == Kind::null)) {
            fail(QStringLiteral("\"%1\" is of the wrong type").arg(QLatin1String(key)));
            return Json_line::none;
        }
        return node;
    }

    bool read_bool(int object, const char *key, bool *out)
    {
        const int node = member(object, key, Kind::boolean);
        if (node == Json_line::none)
            return false;
        *out = json.boolean(node);
        return true;
    }

    // A whole number within [low, high]; null leaves *out and gives false
    // in *present.
    template <typename Int>
    bool read_int(int object, const char *key, Int *out, bool *present = nullptr)
    {
        const int node = member(object, key, Kind::number, present != nullptr);
        if (node == Json_line::none)
            return false;
        if (present)
            *present = json.kind(node) == Kind::number;
        if (json.kind(node) == Kind::null)
            return true;
        const double value = json.number(node);
        if (value != std::floor(value) || value < std::numeric_limits<Int>::min() ||
            value > std::numeric_limits<Int>::max())
            return fail(QStringLiteral("\"%1\" is out of range").arg(QLatin1String(key)));
        *out = static_cast<Int>(value);
        return true;
    }

    template <typename Enum> bool read_word(int object, const char *key, Enum *out, bool nullable)
    {
        const int node = member(object, key, Kind::string, nullable);
        if (node == Json_line::none)
            return false;
        if (json.kind(node) == Kind::null) {
            *out = Enum{};
            return true;
        }
        if (!Status_words::from_word(json.string(node), out))
            return fail(QStringLiteral("\"%1\" is not a word it can take").arg(QLatin1String(key)));
        return true;
    }

    bool read_version(int object, uint8_t *version)
    {
        const int node = member(object, "version", Kind::string);
        if (node == Json_line::none)
            return false;
        const QString text = json.string(node);
        bool ok = false;
        if (text.startsWith(QLatin1String("0x"))) {
            const uint value = text.mid(2).toUInt(&ok, 16);
            ok = ok && value <= std::numeric_limits<uint8_t>::max();
            *version = static_cast<uint8_t>(value);
        } else {
            const QStringList parts = text.split(QLatin1Char('.'));
            bool major_ok = false, minor_ok = false;
            const int major = parts.value(0).toInt(&major_ok);
            const int minor = parts.value(1).toInt(&minor_ok);
            ok = parts.size() == 2 && major_ok && minor_ok && major >= 0 && minor >= 0 &&
                 major <= max_nibble && minor <= max_nibble;
            *version = static_cast<uint8_t>(major << nibble_bits | minor);
        }
        return ok || fail(QStringLiteral("\"version\" is not a protocol version"));
    }

    bool map_status(int root, S *status)
    {
        *status = S();
        known(root, QString(),
              {"version", "rx_fault", "tx_fault", "overheat", "locks", "links", "cages", "dante",
               "threshold_dbm"});
        if (!read_version(root, &status->version) ||
            !read_bool(root, "rx_fault", &status->rx_fault) ||
            !read_bool(root, "tx_fault", &status->tx_fault) ||
            !read_bool(root, "overheat", &status->overheat))
            return false;
        const int locks = member(root, "locks", Kind::array);
        if (locks == Json_line::none || json.child_count(locks) != S::lock_count)
            return fail(QStringLiteral("\"locks\" is not %1 booleans").arg(S::lock_count));
        int row = 0;
        for (int lock = json.first_child(locks); lock != Json_line::none;
             lock = json.next_sibling(lock), ++row) {
            if (json.kind(lock) != Kind::boolean)
                return fail(QStringLiteral("\"locks\" is not %1 booleans").arg(S::lock_count));
            status->locks[row] = json.boolean(lock);
        }
        if (!map_links(root, status) || !map_cages(root, status))
            return false;
        bool threshold_present = false;
        if (!read_int(root, "threshold_dbm", &status->threshold_dbm, &threshold_present))
            return false;
        const int dante = member(root, "dante", Kind::object, true);
        if (dante == Json_line::none)
            return false;
        return json.kind(dante) == Kind::null || map_dante(dante, &status->dante);
    }

    bool map_links(int root, S *status)
    {
        const int links = member(root, "links", Kind::object);
        if (links == Json_line::none)
            return false;
        known(links, QStringLiteral("links."),
              {"valid", Status_words::link_key(S::link_index_f).data(),
               Status_words::link_key(S::link_index_p1).data(),
               Status_words::link_key(S::link_index_p2).data()});
        bool *link_states[S::link_count] = {&status->link_f, &status->link_p1, &status->link_p2};
        if (!read_bool(links, "valid", &status->links_valid))
            return false;
        for (int link = 0; link < S::link_count; ++link) {
            if (!read_bool(links, Status_words::link_key(link).data(), link_states[link]))
                return false;
        }
        return true;
    }

    bool map_cages(int root, S *status)
    {
        const int cages = member(root, "cages", Kind::object);
        if (cages == Json_line::none)
            return false;
        known(cages, QStringLiteral("cages."),
              {Status_words::cage_key(S::sfp_1).data(), Status_words::cage_key(S::sfp_2).data(),
               Status_words::cage_key(S::sfp_eth).data()});
        for (int index = 0; index < S::cage_count; ++index) {
            const char *key = Status_words::cage_key(index).data();
            const int cage = member(cages, key, Kind::object);
            if (cage == Json_line::none ||
                !map_cage(cage, QStringLiteral("cages.%1.").arg(QLatin1String(key)),
                          &status->cages[index]))
                return false;
        }
        return true;
    }

    bool map_cage(int node, const QString &path, S::Cage *cage)
    {
        known(node, path, {"type", "present", "temperature_c", "channels"});
        // present only repeats the type; a temperature is null for an empty cage.
        bool present = false;
        bool temperature_present = false;
        if (!read_word(node, "type", &cage->type, false) || !read_bool(node, "present", &present) ||
            !read_int(node, "temperature_c", &cage->temperature_c, &temperature_present))
            return false;
        const int channels = member(node, "channels", Kind::array);
        if (channels == Json_line::none || json.child_count(channels) != S::channel_count)
            return fail(QStringLiteral("\"channels\" is not %1 objects").arg(S::channel_count));
        int index = 0;
        for (int channel = json.first_child(channels); channel != Json_line::none;
             channel = json.next_sibling(channel), ++index) {
            if (json.kind(channel) != Kind::object ||
                !map_channel(channel,
                             path + QStringLiteral("channels.%1.").arg(Status_words::number(index)),
                             &cage->channels[index]))
                return fail(QStringLiteral("a channel is not as written"));
        }
        return true;
    }

    bool map_channel(int node, const QString &path, S::Channel *channel)
    {
        known(node, path, {"direction", "rx_power_dbm", "tx_power_dbm", "wavelength_nm"});
        bool present = false;
        if (!read_word(node, "direction", &channel->direction, false) ||
            !read_int(node, "wavelength_nm", &channel->wavelength_nm, &present))
            return false;
        // The power of the channel's own direction; the other is null.
        const bool rx = channel->direction == S::Direction::rx;
        const bool tx = channel->direction == S::Direction::tx;
        for (const char *key : {"rx_power_dbm", "tx_power_dbm"}) {
            const int power = member(node, key, Kind::number, true);
            if (power == Json_line::none)
                return false;
            const bool own = (rx && key[0] == 'r') || (tx && key[0] == 't');
            if (!own || json.kind(power) == Kind::null)
                continue;
            const double tenths =
                std::round(json.number(power) * Status_words::power_tenths_per_dbm);
            if (tenths < std::numeric_limits<int16_t>::min() ||
                tenths > std::numeric_limits<int16_t>::max())
                return fail(QStringLiteral("\"%1\" is out of range").arg(QLatin1String(key)));
            channel->power_tenths = static_cast<int16_t>(tenths);
        }
        return true;
    }

    bool map_dante(int node, S::Dante *dante)
    {
        known(node, QStringLiteral("dante."),
              {"present", "system_ok", "sync_ok", "link_ok", "mic", "inputs"});
        if (!read_bool(node, "present", &dante->present))
            return false;
        S::Dante_state *states[S::dante_state_count] = {&dante->system, &dante->sync, &dante->link};
        for (int kind = 0; kind < S::dante_state_count; ++kind) {
            const QByteArray key = QByteArray(Status_words::dante_state_key(kind).data()) + "_ok";
            const int state = member(node, key.constData(), Kind::boolean, true);
            if (state == Json_line::none)
                return false;
            *states[kind] = json.kind(state) == Kind::null ? S::Dante_state::not_reported
                            : json.boolean(state)          ? S::Dante_state::ok
                                                           : S::Dante_state::fault;
        }
        if (!read_word(node, "mic", &dante->mic, true))
            return false;
        return map_inputs(node, QStringLiteral("dante.inputs."), dante, true);
    }

    // The inputs of a status (type and gain) or of a sent frame (gain only).
    bool map_inputs(int node, const QString &path, S::Dante *dante, bool with_type)
    {
        const int inputs = member(node, "inputs", Kind::array);
        if (inputs == Json_line::none || json.child_count(inputs) != S::input_count)
            return fail(QStringLiteral("\"inputs\" is not %1 objects").arg(S::input_count));
        bool all_reported = true;
        int index = 0;
        for (int input = json.first_child(inputs); input != Json_line::none;
             input = json.next_sibling(input), ++index) {
            if (json.kind(input) != Kind::object)
                return fail(QStringLiteral("an input is not an object"));
            const QString input_path =
                path + QString::number(Status_words::number(index)) + QLatin1Char('.');
            if (with_type) {
                known(input, input_path, {"type", "gain_db"});
                if (!read_word(input, "type", &dante->inputs[index], true))
                    return false;
            } else {
                known(input, input_path, {"gain_db"});
            }
            const int gain = member(input, "gain_db", Kind::number, with_type);
            if (gain == Json_line::none)
                return false;
            if (json.kind(gain) == Kind::null) {
                all_reported = false;
                continue;
            }
            const double db = json.number(gain);
            const double code = std::round((db - Gain_law::min_db) / Gain_law::step_db);
            if (code < 0 || code > std::numeric_limits<uint8_t>::max() ||
                std::fabs(Gain_law::to_db(static_cast<uint8_t>(code)) - db) > gain_tolerance_db)
                return fail(QStringLiteral("\"gain_db\" is not a gain the unit can have"));
            dante->gain_codes[index] = static_cast<uint8_t>(code);
        }
        dante->gains_reported = all_reported;
        if (!all_reported)
            dante->gain_codes = S::Dante().gain_codes;
        return true;
    }

    bool map_since(int root, qint64 *since_ms)
    {
        known(root, QString(), {"since"});
        const int since = json.member(root, QLatin1String("since"));
        // The first format has none.
        if (since == Json_line::none || json.kind(since) == Kind::null)
            return true;
        if (json.kind(since) != Kind::string)
            return fail(QStringLiteral("\"since\" is not a time"));
        const QLatin1String text = json.raw(since);
        return Record_time::parse(text.data(), text.size(), since_ms) ||
               fail(QStringLiteral("\"since\" is not an ISO 8601 time with a zone"));
    }

    bool map_start(int root, Record_start *start)
    {
        known(root, QString(),
              {"program", "program_version", "port", "baud_rate", "record_version"});
        const int program = member(root, "program", Kind::string);
        const int version = member(root, "program_version", Kind::string);
        const int port = member(root, "port", Kind::string);
        if (program == Json_line::none || version == Json_line::none || port == Json_line::none)
            return false;
        start->program = json.string(program);
        start->program_version = json.string(version);
        start->port = json.string(port);
        return read_int(root, "baud_rate", &start->baud_rate) &&
               read_int(root, "record_version", &start->format_version);
    }

    bool map_sent(int root, Control_payload *sent)
    {
        known(root, QString(), {"dante", "threshold_dbm"});
        const int dante = member(root, "dante", Kind::object);
        if (dante == Json_line::none)
            return false;
        known(dante, QStringLiteral("dante."), {"inputs"});
        S::Dante gains;
        if (!map_inputs(dante, QStringLiteral("dante.inputs."), &gains, false))
            return false;
        sent->gain_codes = gains.gain_codes;
        return read_int(root, "threshold_dbm", &sent->threshold_dbm);
    }

    const Json_line &json;
};

} // namespace

Record_reader::Record_reader(QIODevice &device, const QString &source, Record_problems &problems)
    : device(device), name(source), problems(problems)
{
}

bool Record_reader::next(Record_entry *entry)
{
    const char *data = nullptr;
    int size = 0;
    Line_end end = Line_end::newline;
    while (next_line(&data, &size, &end)) {
        if (take(data, size, end, entry))
            return true;
    }
    return false;
}

bool Record_reader::take(const char *data, int size, Line_end end, Record_entry *entry)
{
    if (!json.parse(data, size)) {
        // A cut-off last line is what a crash leaves; anything else is not JSON.
        const bool cut = end == Line_end::end_of_input;
        problems.note(name,
                      cut ? Record_problems::Kind::truncated_last_line
                          : Record_problems::Kind::not_json,
                      line);
        return false;
    }
    Entry_mapper mapper(json);
    const bool mapped = mapper.map(entry);
    if (!mapper.unknown_event.isEmpty()) {
        problems.note(name, Record_problems::Kind::unknown_event, line, mapper.unknown_event);
        return false;
    }
    if (!mapped) {
        problems.note(name, Record_problems::Kind::bad_value, line, mapper.bad);
        return false;
    }
    if (!mapper.unknown_field.isEmpty())
        problems.note(name, Record_problems::Kind::unknown_field, line, mapper.unknown_field);
    return true;
}

// The next line without its newline (and a carriage return before it).
bool Record_reader::next_line(const char **data, int *size, Line_end *end)
{
    for (;;) {
        const char *begin = buffer.constData() + start;
        const int available = buffer.size() - start;
        const auto *newline =
            static_cast<const char *>(std::memchr(begin + scanned, '\n', available - scanned));
        if (newline) {
            const int length = static_cast<int>(newline - begin);
            start += length + 1;
            scanned = 0;
            if (discarding) {
                discarding = false;
                continue;
            }
            ++line;
            *data = begin;
            *size = length > 0 && begin[length - 1] == '\r' ? length - 1 : length;
            *end = Line_end::newline;
            return true;
        }
        scanned = available;
        if (available > max_line_size && !discarding) {
            ++line;
            problems.note(name, Record_problems::Kind::not_json, line);
            discarding = true;
        }
        if (discarding) {
            start = buffer.size();
            scanned = 0;
        }
        if (!finished && fill())
            continue;
        finished = true;
        if (start < buffer.size() && !discarding) {
            ++line;
            *data = buffer.constData() + start;
            *size = buffer.size() - start;
            *end = Line_end::end_of_input;
            start = buffer.size();
            scanned = 0;
            return true;
        }
        if (!read_anything && line == 0)
            problems.note(name, Record_problems::Kind::empty, 0);
        read_anything = true; // told once
        return false;
    }
}

// Reads more of the input behind what is left unread; false at its end.
bool Record_reader::fill()
{
    if (start > 0) {
        buffer.remove(0, start);
        start = 0;
    }
    const int kept = buffer.size();
    buffer.resize(kept + chunk_size);
    const qint64 got = device.read(buffer.data() + kept, chunk_size);
    buffer.resize(kept + static_cast<int>(qMax<qint64>(got, 0)));
    if (got < 0)
        problems.note(name, Record_problems::Kind::cannot_read, 0, device.errorString());
    if (got > 0)
        read_anything = true;
    return got > 0;
}
