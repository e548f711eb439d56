#include "record/record_line.h"

#include "protocol/gain_law.h"
#include "protocol/protocol_version.h"
#include "protocol/status_layout.h"
#include "protocol/status_limits.h"
#include "protocol/status_words.h"
#include "record/record_time.h"

#include <simdjson.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

namespace {

namespace dom = simdjson::dom;
using S = Unit_status;
using Type = dom::element_type;

static_assert(Record_line::padding >= simdjson::SIMDJSON_PADDING,
              "the parser reads this far past a line");

// Deeper than any record line; a deeper one is refused before it costs anything.
constexpr std::size_t max_depth = 16;
// Enough for a status line (about 1 kB); the parser grows for a longer one,
// up to max_size.
constexpr std::size_t first_capacity = 4 * 1024;
// A value read from its decimal text sits this close to its grid point.
constexpr double on_grid = 1e-6;
constexpr int nibble_bits = 4;
constexpr int max_nibble = 15;
constexpr int hex_base = 16;
constexpr int decimal_base = 10;

std::string_view view(QLatin1String text)
{
    return {text.data(), static_cast<std::size_t>(text.size())};
}

QString text_of(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

bool same_key(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size()) == 0;
}

// The enumeration value whose word this is; the empty "not reported" never matches.
template <typename Enum, int count> bool from_word(std::string_view word, Enum *value)
{
    for (int index = 0; index < count; ++index) {
        const QLatin1String candidate = Status_words::word(static_cast<Enum>(index));
        if (!candidate.isEmpty() && same_key(view(candidate), word)) {
            *value = static_cast<Enum>(index);
            return true;
        }
    }
    return false;
}

// A digit string in the base, no sign, not empty.
bool whole_number(std::string_view text, int base, int *value)
{
    if (text.empty() || text.size() > 3)
        return false;
    int result = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == hex_base && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == hex_base && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0 || digit >= base)
            return false;
        result = result * base + digit;
    }
    *value = result;
    return true;
}

// "2.0" (major and minor, each a nibble), or the raw byte "0x21".
bool parse_version(std::string_view text, uint8_t *version)
{
    int value = 0;
    if (text.substr(0, 2) == "0x")
        return whole_number(text.substr(2), hex_base, &value) &&
               value <= std::numeric_limits<uint8_t>::max() &&
               (*version = static_cast<uint8_t>(value), true);
    const std::size_t dot = text.find('.');
    int major = 0, minor = 0;
    if (dot == std::string_view::npos || !whole_number(text.substr(0, dot), decimal_base, &major) ||
        !whole_number(text.substr(dot + 1), decimal_base, &minor) || major > max_nibble ||
        minor > max_nibble)
        return false;
    *version = static_cast<uint8_t>(major << nibble_bits | minor);
    return true;
}

enum Top_key
{
    key_time,
    key_event,
    key_detail,
    top_key_count
};

} // namespace

struct Record_line::Parser
{
    dom::parser json{Record_line::max_size};
};

// Turns the parsed JSON of one line into an entry, checking each field's
// type and value and noting the first key it does not know.
class Record_line::Mapper
{
public:
    Mapper(QString &reason, QString &unknown) : reason(reason), unknown(unknown) {}

    Outcome map(dom::element root, Record_entry *entry)
    {
        dom::object object;
        if (root.get_object().get(object))
            return refuse(Outcome::not_record, QStringLiteral("not an object"));
        std::string_view time, event;
        bool has_time = false, has_event = false;
        // Writers put them first.
        for (const dom::key_value_pair field : object) {
            if (same_key(field.key, "time"))
                has_time = field.value.get_string().get(time) == simdjson::SUCCESS;
            else if (same_key(field.key, "event"))
                has_event = field.value.get_string().get(event) == simdjson::SUCCESS;
            if (has_time && has_event)
                break;
        }
        if (!has_time)
            return refuse(Outcome::not_record, QStringLiteral("no \"time\""));
        if (!Record_time::parse(time.data(), static_cast<int>(time.size()), &entry->time_ms))
            return refuse(Outcome::not_record,
                          QStringLiteral("\"time\" is not an ISO 8601 time with a zone"));
        if (!has_event)
            return refuse(Outcome::not_record, QStringLiteral("no \"event\""));
        if (!event_of(event, &entry->event))
            return refuse(Outcome::unknown_event, text_of(event));
        entry->since_ms = Record_entry::no_time;
        if (!entry->detail.isEmpty())
            entry->detail.clear();
        const bool mapped = map_event(object, entry);
        return mapped ? Outcome::entry : Outcome::bad_value;
    }

private:
    template <std::size_t N> struct Members
    {
        std::array<dom::element, N> value{};
        unsigned found = 0;
        bool has(std::size_t index) const { return (found >> index & 1u) != 0; }
    };

    // Where the mapper is, for the path of an unknown field.
    struct Step
    {
        std::string_view key;
        int number = 0; // a position in an array, counted from 1, when key is empty
    };

    class Inside
    {
    public:
        Inside(Mapper &mapper, std::string_view key, int index = -1) : mapper(mapper)
        {
            Step &step = mapper.path[static_cast<std::size_t>(mapper.depth++)];
            step.key = index < 0 ? key : std::string_view();
            step.number = index < 0 ? 0 : Status_words::number(index);
        }
        ~Inside() { --mapper.depth; }
        Inside(const Inside &) = delete;
        Inside &operator=(const Inside &) = delete;

    private:
        Mapper &mapper;
    };

    static bool event_of(std::string_view name, Record_event *event)
    {
        constexpr std::size_t event_count = every_record_event.size();
        const auto &all = every_record_event;
        static const std::array<QByteArray, event_count> names = [] {
            std::array<QByteArray, event_count> spelled;
            for (std::size_t i = 0; i < all.size(); ++i)
                spelled[i] = record_event_name(all[i]).toLatin1();
            return spelled;
        }();
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (same_key(name,
                         std::string_view(names[i].constData(), std::size_t(names[i].size())))) {
                *event = all[i];
                return true;
            }
        }
        return false;
    }

    Outcome refuse(Outcome outcome, const QString &why)
    {
        reason = why;
        return outcome;
    }

    bool fail(const QString &why)
    {
        if (reason.isEmpty())
            reason = why;
        return false;
    }

    static QString quoted(std::string_view key)
    {
        return QLatin1Char('"') + text_of(key) + QLatin1Char('"');
    }
    bool wrong_type(std::string_view key) { return fail(quoted(key) + " is of the wrong type"); }
    bool out_of_range(std::string_view key) { return fail(quoted(key) + " is out of range"); }

    void note_unknown(std::string_view key)
    {
        if (!unknown.isEmpty())
            return;
        for (int level = 0; level < depth; ++level) {
            const Step &step = path[static_cast<std::size_t>(level)];
            unknown += step.key.empty() ? QString::number(step.number) : text_of(step.key);
            unknown += QLatin1Char('.');
        }
        unknown += text_of(key);
    }

    // The members of an object by the keys it may have, each at most once;
    // the first other key is noted as unknown.
    template <std::size_t N>
    bool members(dom::object object, const std::array<std::string_view, N> &keys, Members<N> *out)
    {
        static_assert(N <= std::numeric_limits<unsigned>::digits, "a bit per key");
        // Writers keep the keys in order: the next key is tried first.
        std::size_t expected = 0;
        unsigned found = 0;
        for (const dom::key_value_pair field : object) {
            std::size_t index = expected;
            std::size_t tried = 0;
            while (tried < N && !same_key(keys[index], field.key)) {
                index = index + 1 == N ? 0 : index + 1;
                ++tried;
            }
            if (tried == N) {
                note_unknown(field.key);
                continue;
            }
            if ((found >> index & 1u) != 0)
                return fail(quoted(field.key) + QStringLiteral(" is given twice"));
            found |= 1u << index;
            out->value[index] = field.value;
            expected = index + 1 == N ? 0 : index + 1;
        }
        out->found = found;
        return true;
    }

    // Every key but those at least must be there.
    template <std::size_t N>
    bool required(const Members<N> &found, const std::array<std::string_view, N> &keys,
                  std::size_t first = 0)
    {
        for (std::size_t index = first; index < N; ++index) {
            if (!found.has(index))
                return fail(QStringLiteral("no ") + quoted(keys[index]));
        }
        return true;
    }

    bool get_bool(dom::element value, std::string_view key, bool *out)
    {
        return (value.type() == Type::BOOL && !value.get_bool().get(*out)) || wrong_type(key);
    }

    bool get_string(dom::element value, std::string_view key, std::string_view *out)
    {
        return (value.type() == Type::STRING && !value.get_string().get(*out)) || wrong_type(key);
    }

    bool get_object(dom::element value, std::string_view key, dom::object *out)
    {
        return (value.type() == Type::OBJECT && !value.get_object().get(*out)) || wrong_type(key);
    }

    // A whole number written as one (-28, not -28.0) within [low, high].
    bool get_integer(dom::element value, std::string_view key, long long low, long long high,
                     long long *out)
    {
        int64_t number = 0;
        if (value.type() == Type::UINT64)
            return out_of_range(key); // above every signed 64-bit number
        if (value.type() != Type::INT64 || value.get_int64().get(number))
            return wrong_type(key);
        if (number < low || number > high)
            return out_of_range(key);
        *out = number;
        return true;
    }

    template <typename Int>
    bool get_integer(dom::element value, std::string_view key, long long low, long long high,
                     Int *out)
    {
        long long number = 0;
        if (!get_integer(value, key, low, high, &number))
            return false;
        *out = static_cast<Int>(number);
        return true;
    }

    bool get_number(dom::element value, std::string_view key, double *out)
    {
        return ((value.type() == Type::DOUBLE || value.type() == Type::INT64 ||
                 value.type() == Type::UINT64) &&
                !value.get_double().get(*out)) ||
               wrong_type(key);
    }

    template <typename Enum, int count>
    bool get_word(dom::element value, std::string_view key, Enum *out)
    {
        std::string_view word;
        if (!get_string(value, key, &word))
            return false;
        return from_word<Enum, count>(word, out) ||
               fail(quoted(key) + QStringLiteral(" is not a word it can take"));
    }

    bool get_time(dom::element value, std::string_view key, qint64 *out)
    {
        std::string_view text;
        if (!get_string(value, key, &text))
            return false;
        return Record_time::parse(text.data(), static_cast<int>(text.size()), out) ||
               fail(quoted(key) + QStringLiteral(" is not an ISO 8601 time with a zone"));
    }

    bool map_event(dom::object object, Record_entry *entry)
    {
        switch (entry->event) {
        case Record_event::status:
            return map_status(object, &entry->status);
        case Record_event::connected:
        case Record_event::silent:
            return map_since(object, entry);
        case Record_event::start:
            return map_start(object, entry);
        case Record_event::sent:
            return map_sent(object, entry);
        case Record_event::end:
            return map_end(object, entry);
        case Record_event::crc_mismatch:
        case Record_event::short_message:
        case Record_event::port_lost:
        case Record_event::reopened:
        case Record_event::ack_timeout:
        case Record_event::port_unavailable:
            break;
        }
        static const std::array<std::string_view, top_key_count> keys{"time", "event", "detail"};
        Members<top_key_count> found;
        return members(object, keys, &found) && map_detail(found, &entry->detail);
    }

    // The detail any event may carry: the system's words for a lost port.
    template <std::size_t N> bool map_detail(const Members<N> &found, QString *detail)
    {
        if (!found.has(key_detail))
            return true;
        std::string_view text;
        if (!get_string(found.value[key_detail], "detail", &text))
            return false;
        *detail = text_of(text);
        return true;
    }

    // Only the plain events carry a detail; elsewhere it is a field this
    // version does not know.
    template <std::size_t N> void no_detail(const Members<N> &found)
    {
        if (found.has(key_detail))
            note_unknown("detail");
    }

    bool map_since(dom::object object, Record_entry *entry)
    {
        static const std::array<std::string_view, 4> keys{"time", "event", "detail", "since"};
        Members<4> found;
        if (!members(object, keys, &found))
            return false;
        no_detail(found);
        // The first format has none; null when no frame ever came.
        if (!found.has(3) || found.value[3].is_null())
            return true;
        return get_time(found.value[3], "since", &entry->since_ms);
    }

    bool map_start(dom::object object, Record_entry *entry)
    {
        static const std::array<std::string_view, 8> keys{"time",      "event",           "detail",
                                                          "program",   "program_version", "port",
                                                          "baud_rate", "record_version"};
        Members<8> found;
        if (!members(object, keys, &found) || !required(found, keys, key_detail + 1))
            return false;
        no_detail(found);
        Record_start &start = entry->start;
        std::string_view program, version, port;
        if (!get_string(found.value[3], keys[3], &program) ||
            !get_string(found.value[4], keys[4], &version) ||
            !get_string(found.value[5], keys[5], &port) ||
            !get_integer(found.value[6], keys[6], 1, std::numeric_limits<qint32>::max(),
                         &start.baud_rate) ||
            !get_integer(found.value[7], keys[7], Record_start::first_format_version,
                         std::numeric_limits<int>::max(), &start.format_version))
            return false;
        start.program = text_of(program);
        start.program_version = text_of(version);
        start.port = text_of(port);
        return true;
    }

    // A reason of a newer writer is kept as written: the run ended all the same.
    bool map_end(dom::object object, Record_entry *entry)
    {
        static const std::array<std::string_view, 4> keys{"time", "event", "detail", "reason"};
        Members<4> found;
        std::string_view reason;
        if (!members(object, keys, &found) || !required(found, keys, key_detail + 1) ||
            !get_string(found.value[3], keys[3], &reason))
            return false;
        no_detail(found);
        entry->reason = text_of(reason);
        return true;
    }

    bool map_sent(dom::object object, Record_entry *entry)
    {
        static const std::array<std::string_view, 5> keys{"time", "event", "detail", "dante",
                                                          "threshold_dbm"};
        Members<5> found;
        dom::object dante;
        if (!members(object, keys, &found) || !required(found, keys, key_detail + 1) ||
            !get_object(found.value[3], keys[3], &dante))
            return false;
        no_detail(found);
        static const std::array<std::string_view, 1> dante_keys{"inputs"};
        Members<1> inputs;
        S::Dante gains;
        {
            const Inside in(*this, "dante");
            if (!members(dante, dante_keys, &inputs) || !required(inputs, dante_keys) ||
                !map_inputs(inputs.value[0], false, &gains))
                return false;
        }
        if (!gains.gains_reported)
            return fail(QStringLiteral("\"gain_db\" is null in a frame sent"));
        entry->sent.gain_codes = gains.gain_codes;
        return get_integer(found.value[4], keys[4], Status_limits::min_threshold_dbm,
                           Status_limits::max_threshold_dbm, &entry->sent.threshold_dbm);
    }

    enum Status_key
    {
        status_version = top_key_count,
        status_rx_fault,
        status_tx_fault,
        status_overheat,
        status_locks,
        status_links,
        status_cages,
        status_dante,
        status_threshold,
        status_key_count
    };

    bool map_status(dom::object object, S *status)
    {
        static const std::array<std::string_view, status_key_count> keys{
            "time",     "event", "detail", "version", "rx_fault", "tx_fault",
            "overheat", "locks", "links",  "cages",   "dante",    "threshold_dbm"};
        Members<status_key_count> found;
        if (!members(object, keys, &found) || !required(found, keys, key_detail + 1))
            return false;
        no_detail(found);
        *status = S();
        std::string_view version;
        if (!get_string(found.value[status_version], keys[status_version], &version))
            return false;
        if (!parse_version(version, &status->version))
            return fail(QStringLiteral("\"version\" is not a protocol version"));
        if (!get_bool(found.value[status_rx_fault], keys[status_rx_fault], &status->rx_fault) ||
            !get_bool(found.value[status_tx_fault], keys[status_tx_fault], &status->tx_fault) ||
            !get_bool(found.value[status_overheat], keys[status_overheat], &status->overheat) ||
            !map_locks(found.value[status_locks], status) ||
            !map_links(found.value[status_links], status) ||
            !map_cages(found.value[status_cages], status))
            return false;
        // The Dante block and the threshold come from 2.0 on; below, both are null.
        const dom::element dante = found.value[status_dante];
        const dom::element threshold = found.value[status_threshold];
        if (!status::has_dante_region(status->version)) {
            return (dante.is_null() || wrong_type(keys[status_dante])) &&
                   (threshold.is_null() || wrong_type(keys[status_threshold]));
        }
        dom::object block;
        return get_integer(threshold, keys[status_threshold], Status_limits::min_threshold_dbm,
                           Status_limits::max_threshold_dbm, &status->threshold_dbm) &&
               get_object(dante, keys[status_dante], &block) && map_dante(block, &status->dante);
    }

    bool map_locks(dom::element value, S *status)
    {
        dom::array locks;
        if (value.type() != Type::ARRAY || value.get_array().get(locks) ||
            locks.size() != S::lock_count)
            return fail(QStringLiteral("\"locks\" is not %1 booleans").arg(S::lock_count));
        std::size_t row = 0;
        for (const dom::element lock : locks) {
            if (lock.type() != Type::BOOL || lock.get_bool().get(status->locks[row++]))
                return fail(QStringLiteral("\"locks\" is not %1 booleans").arg(S::lock_count));
        }
        return true;
    }

    bool map_links(dom::element value, S *status)
    {
        static const std::array<std::string_view, 1 + S::link_count> keys{
            "valid", view(Status_words::link_key(S::link_index_f)),
            view(Status_words::link_key(S::link_index_p1)),
            view(Status_words::link_key(S::link_index_p2))};
        dom::object links;
        Members<1 + S::link_count> found;
        const Inside in(*this, "links");
        if (!get_object(value, "links", &links) || !members(links, keys, &found) ||
            !required(found, keys))
            return false;
        bool *states[] = {&status->links_valid, &status->link_f, &status->link_p1,
                          &status->link_p2};
        for (std::size_t index = 0; index < keys.size(); ++index) {
            if (!get_bool(found.value[index], keys[index], states[index]))
                return false;
        }
        return true;
    }

    bool map_cages(dom::element value, S *status)
    {
        static const std::array<std::string_view, S::cage_count> keys{
            view(Status_words::cage_key(S::sfp_1)), view(Status_words::cage_key(S::sfp_2)),
            view(Status_words::cage_key(S::sfp_eth))};
        dom::object cages;
        Members<S::cage_count> found;
        const Inside in(*this, "cages");
        if (!get_object(value, "cages", &cages) || !members(cages, keys, &found) ||
            !required(found, keys))
            return false;
        for (std::size_t index = 0; index < keys.size(); ++index) {
            const Inside cage(*this, keys[index]);
            dom::object block;
            if (!get_object(found.value[index], keys[index], &block) ||
                !map_cage(block, &status->cages[index]))
                return false;
        }
        return true;
    }

    bool map_cage(dom::object block, S::Cage *cage)
    {
        static const std::array<std::string_view, 4> keys{"type", "present", "temperature_c",
                                                          "channels"};
        Members<4> found;
        bool present = false;
        if (!members(block, keys, &found) || !required(found, keys) ||
            !get_word<S::Cage_type, 4>(found.value[0], keys[0], &cage->type) ||
            !get_bool(found.value[1], keys[1], &present))
            return false;
        if (present != cage->present())
            return fail(QStringLiteral("\"present\" disagrees with \"type\""));
        // An empty cage reports no temperature and no channel values: null.
        if (cage->present() &&
            !get_integer(found.value[2], keys[2], Status_limits::min_temperature_c,
                         Status_limits::max_temperature_c, &cage->temperature_c))
            return false;
        if (!cage->present() && !found.value[2].is_null())
            return wrong_type(keys[2]);
        dom::array channels;
        if (found.value[3].type() != Type::ARRAY || found.value[3].get_array().get(channels) ||
            channels.size() != S::channel_count)
            return fail(QStringLiteral("\"channels\" is not %1 objects").arg(S::channel_count));
        const Inside in(*this, keys[3]);
        int index = 0;
        for (const dom::element channel : channels) {
            const Inside position(*this, {}, index);
            dom::object fields;
            if (channel.type() != Type::OBJECT || channel.get_object().get(fields))
                return fail(QStringLiteral("a channel is not an object"));
            if (!map_channel(fields, cage->present(), &cage->channels[index++]))
                return false;
        }
        return true;
    }

    bool map_channel(dom::object fields, bool present, S::Channel *channel)
    {
        static const std::array<std::string_view, 4> keys{"direction", "rx_power_dbm",
                                                          "tx_power_dbm", "wavelength_nm"};
        Members<4> found;
        if (!members(fields, keys, &found) || !required(found, keys) ||
            !get_word<S::Direction, 4>(found.value[0], keys[0], &channel->direction))
            return false;
        // The power of the channel's own direction; the other is null.
        const std::size_t own = channel->direction == S::Direction::rx   ? 1
                                : channel->direction == S::Direction::tx ? 2
                                                                         : 0;
        for (std::size_t index = 1; index <= 2; ++index) {
            const dom::element power = found.value[index];
            if (index != own) {
                if (!power.is_null())
                    return fail(quoted(keys[index]) +
                                QStringLiteral(" is given for a channel of another direction"));
                continue;
            }
            double dbm = 0.0;
            if (!get_number(power, keys[index], &dbm))
                return false;
            const double tenths = dbm * Status_words::power_tenths_per_dbm;
            const double nearest = std::round(tenths);
            if (!(nearest >= Status_limits::min_power_tenths &&
                  nearest <= Status_limits::max_power_tenths))
                return out_of_range(keys[index]);
            if (std::fabs(tenths - nearest) > on_grid)
                return fail(quoted(keys[index]) +
                            QStringLiteral(" is not in tenths of a dBm, as a unit reports it"));
            channel->power_tenths = static_cast<int16_t>(nearest);
        }
        if (!present)
            return found.value[3].is_null() || wrong_type(keys[3]);
        return get_integer(found.value[3], keys[3], 0, Status_limits::max_wavelength_nm,
                           &channel->wavelength_nm);
    }

    enum Dante_key
    {
        dante_present,
        dante_first_state,
        dante_mic = dante_first_state + S::dante_state_count,
        dante_inputs,
        dante_key_count
    };

    bool map_dante(dom::object block, S::Dante *dante)
    {
        static const std::array<QByteArray, S::dante_state_count> state_keys = [] {
            std::array<QByteArray, S::dante_state_count> spelled;
            for (int kind = 0; kind < S::dante_state_count; ++kind)
                spelled[std::size_t(kind)] =
                    QByteArray(Status_words::dante_state_key(kind).data()) + "_ok";
            return spelled;
        }();
        static const std::array<std::string_view, dante_key_count> keys{
            "present",
            std::string_view(state_keys[0].constData(), std::size_t(state_keys[0].size())),
            std::string_view(state_keys[1].constData(), std::size_t(state_keys[1].size())),
            std::string_view(state_keys[2].constData(), std::size_t(state_keys[2].size())),
            "mic",
            "inputs"};
        Members<dante_key_count> found;
        const Inside in(*this, "dante");
        if (!members(block, keys, &found) || !required(found, keys) ||
            !get_bool(found.value[dante_present], keys[dante_present], &dante->present))
            return false;
        // While the submodule is there it reports every state; absent, none.
        S::Dante_state *states[] = {&dante->system, &dante->sync, &dante->link};
        for (int kind = 0; kind < S::dante_state_count; ++kind) {
            const std::size_t key = dante_first_state + std::size_t(kind);
            const dom::element state = found.value[key];
            bool ok = false;
            if (state.is_null() && !dante->present)
                continue;
            if (!get_bool(state, keys[key], &ok))
                return false;
            *states[kind] = ok ? S::Dante_state::ok : S::Dante_state::fault;
        }
        const dom::element mic = found.value[dante_mic];
        if ((dante->present || !mic.is_null()) &&
            !get_word<S::Mic_type, 3>(mic, keys[dante_mic], &dante->mic))
            return false;
        return map_inputs(found.value[dante_inputs], true, dante);
    }

    // The inputs of a status (type and gain) or of a frame sent (gain only).
    bool map_inputs(dom::element value, bool with_type, S::Dante *dante)
    {
        static const std::array<std::string_view, 2> keys{"gain_db", "type"};
        dom::array inputs;
        if (value.type() != Type::ARRAY || value.get_array().get(inputs) ||
            inputs.size() != S::input_count)
            return fail(QStringLiteral("\"inputs\" is not %1 objects").arg(S::input_count));
        const Inside in(*this, "inputs");
        int index = 0;
        int gains = 0;
        for (const dom::element input : inputs) {
            const Inside position(*this, {}, index);
            dom::object fields;
            Members<2> found;
            if (input.type() != Type::OBJECT || input.get_object().get(fields))
                return fail(QStringLiteral("an input is not an object"));
            if (!members(fields, keys, &found))
                return false;
            // A frame sent carries no input type.
            if (!with_type && found.has(1))
                note_unknown(keys[1]);
            if (!found.has(0) || (with_type && !found.has(1)))
                return fail(QStringLiteral("no ") + quoted(keys[found.has(0) ? 1 : 0]));
            const dom::element type = found.value[1];
            if (with_type && (dante->present || !type.is_null()) &&
                !get_word<S::Input_type, 3>(type, keys[1], &dante->inputs[std::size_t(index)]))
                return false;
            const dom::element gain = found.value[0];
            if (!gain.is_null()) {
                if (!map_gain(gain, &dante->gain_codes[std::size_t(index)]))
                    return false;
                ++gains;
            }
            ++index;
        }
        // The unit reports both gains or, before it has, neither.
        if (gains != 0 && gains != S::input_count)
            return fail(QStringLiteral("\"gain_db\" is null for one input only"));
        dante->gains_reported = gains == S::input_count;
        if (!dante->gains_reported)
            dante->gain_codes = S::Dante().gain_codes;
        return true;
    }

    bool map_gain(dom::element value, uint8_t *code)
    {
        double db = 0.0;
        if (!get_number(value, "gain_db", &db))
            return false;
        if (!(db >= Status_limits::min_gain_db - on_grid &&
              db <= Status_limits::max_gain_db + on_grid))
            return out_of_range("gain_db");
        const double steps = std::round((db - Gain_law::min_db) / Gain_law::step_db);
        *code = static_cast<uint8_t>(steps);
        return std::fabs(Gain_law::to_db(*code) - db) <= on_grid ||
               fail(QStringLiteral("\"gain_db\" is not a gain the unit can have"));
    }

    QString &reason;
    QString &unknown;
    std::array<Step, max_depth> path{};
    int depth = 0;
};

Record_line::Record_line() : parser(std::make_unique<Parser>())
{
    // Without it the parser would take the default depth, far deeper than
    // any record; a failure only leaves the parser to allocate on first use.
    const simdjson::error_code error = parser->json.allocate(first_capacity, max_depth);
    Q_UNUSED(error)
}

Record_line::~Record_line() = default;

Record_line::Outcome Record_line::read(const char *data, std::size_t size, Record_entry *entry)
{
    if (!reason.isEmpty())
        reason.clear();
    if (!unknown.isEmpty())
        unknown.clear();
    dom::element root;
    const simdjson::error_code error = parser->json.parse(data, size, false).get(root);
    if (error == simdjson::NUMBER_ERROR && std::string_view(data, size).find('{') == 0) {
        // The grammar allows it, but no double holds it: 1e400, -1e999, 20 digits.
        reason = QStringLiteral("a number out of range");
        return Outcome::bad_value;
    }
    if (error != simdjson::SUCCESS) {
        if (error == simdjson::UTF8_ERROR)
            reason = QStringLiteral("not UTF-8");
        return Outcome::not_json;
    }
    Mapper mapper(reason, unknown);
    return mapper.map(root, entry);
}
