#include "exporter/web_config.h"

#include "exporter/basic_auth.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QStringList>

#include <yaml-cpp/yaml.h>

#include <array>

namespace {

struct Word
{
    const char *word;
    int value;
};

using Auth = Web_config::Client_auth;

constexpr std::array<Word, 5> client_auth_words{{
    {"NoClientCert", int(Auth::none)},
    {"RequestClientCert", int(Auth::request)},
    {"RequireAnyClientCert", int(Auth::require_any)},
    {"VerifyClientCertIfGiven", int(Auth::verify_if_given)},
    {"RequireAndVerifyClientCert", int(Auth::require_and_verify)},
}};

constexpr std::array<Word, 4> version_words{{
    {"TLS10", 0x0301},
    {"TLS11", 0x0302},
    {"TLS12", 0x0303},
    {"TLS13", 0x0304},
}};

template <std::size_t size>
bool word_value(const std::array<Word, size> &words, const QString &text, int *value)
{
    for (const Word &word : words) {
        if (text == QLatin1String(word.word)) {
            *value = word.value;
            return true;
        }
    }
    return false;
}

template <std::size_t size> QString listed(const std::array<Word, size> &words)
{
    QStringList all;
    for (const Word &word : words)
        all.append(QLatin1String(word.word));
    return all.join(QStringLiteral(", "));
}

QString text_of(const YAML::Node &node)
{
    return QString::fromStdString(node.as<std::string>());
}

// A map of scalars, by key; false with *error for anything else in it, or
// for a key not in known.
bool scalar_map(const YAML::Node &node, const char *name, const QStringList &known,
                std::map<QString, QString> *values, QString *error)
{
    if (!node.IsMap()) {
        *error = Web_config::tr("%1: expected a map of settings").arg(QLatin1String(name));
        return false;
    }
    for (const auto &entry : node) {
        const QString key = text_of(entry.first);
        if (!known.isEmpty() && !known.contains(key)) {
            *error = Web_config::tr("%1: '%2' is not supported here (%3 are)")
                         .arg(QLatin1String(name), key, known.join(QStringLiteral(", ")));
            return false;
        }
        if (!entry.second.IsScalar()) {
            *error = Web_config::tr("%1: '%2' needs a single value").arg(QLatin1String(name), key);
            return false;
        }
        (*values)[key] = text_of(entry.second);
    }
    return true;
}

QString under_folder(const QString &folder, const QString &file)
{
    return file.isEmpty() ? file : QDir(folder).absoluteFilePath(file);
}

bool read_tls(const YAML::Node &node, const QString &folder, Web_config::Tls *tls, QString *error)
{
    std::map<QString, QString> values;
    const QStringList known{QStringLiteral("cert_file"), QStringLiteral("key_file"),
                            QStringLiteral("client_auth_type"), QStringLiteral("client_ca_file"),
                            QStringLiteral("min_version")};
    if (!scalar_map(node, "tls_server_config", known, &values, error))
        return false;
    tls->cert_file = under_folder(folder, values[QStringLiteral("cert_file")]);
    tls->key_file = under_folder(folder, values[QStringLiteral("key_file")]);
    tls->client_ca_file = under_folder(folder, values[QStringLiteral("client_ca_file")]);
    if (tls->cert_file.isEmpty() || tls->key_file.isEmpty()) {
        *error = Web_config::tr("tls_server_config: cert_file and key_file are both needed");
        return false;
    }
    const QString auth = values[QStringLiteral("client_auth_type")];
    int value = int(Auth::none);
    if (!auth.isEmpty() && !word_value(client_auth_words, auth, &value)) {
        *error = Web_config::tr("tls_server_config: client_auth_type '%1' is none of %2")
                     .arg(auth, listed(client_auth_words));
        return false;
    }
    tls->client_auth = Auth(value);
    const bool verifies =
        tls->client_auth == Auth::verify_if_given || tls->client_auth == Auth::require_and_verify;
    if (verifies && tls->client_ca_file.isEmpty()) {
        *error = Web_config::tr("tls_server_config: %1 needs client_ca_file, the authority "
                                "client certificates are checked against")
                     .arg(auth);
        return false;
    }
    if (!verifies && !tls->client_ca_file.isEmpty()) {
        *error = Web_config::tr("tls_server_config: client_ca_file is given, but no "
                                "client_auth_type that checks client certificates");
        return false;
    }
    const QString version = values[QStringLiteral("min_version")];
    if (!version.isEmpty() && !word_value(version_words, version, &tls->min_version)) {
        *error = Web_config::tr("tls_server_config: min_version '%1' is none of %2")
                     .arg(version, listed(version_words));
        return false;
    }
    return true;
}

bool read_users(const YAML::Node &node, std::map<QByteArray, QByteArray> *users, QString *error)
{
    std::map<QString, QString> values;
    if (!scalar_map(node, "basic_auth_users", {}, &values, error))
        return false;
    for (const auto &user : values) {
        const QByteArray hash = user.second.toUtf8();
        if (!Basic_auth::is_bcrypt(hash)) {
            *error = Web_config::tr("basic_auth_users: the password of '%1' is no bcrypt hash "
                                    "($2y$ or $2b$, as htpasswd -B makes)")
                         .arg(user.first);
            return false;
        }
        (*users)[user.first.toUtf8()] = hash;
    }
    return true;
}

} // namespace

Web_config::Outcome Web_config::load(const QString &path, Web_config *config, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = tr("cannot read %1: %2").arg(path, file.errorString());
        return Outcome::unreadable;
    }
    QString reason;
    if (!parse(file.readAll(), QFileInfo(path).absolutePath(), config, &reason)) {
        *error = path + QStringLiteral(", ") + reason;
        return Outcome::invalid;
    }
    if (!config->tls)
        return Outcome::loaded;
    // Said now, by name, rather than as whatever OpenSSL makes of it.
    for (const QString &named :
         {config->tls->cert_file, config->tls->key_file, config->tls->client_ca_file}) {
        QFile named_file(named);
        if (!named.isEmpty() && !named_file.open(QIODevice::ReadOnly)) {
            *error = tr("cannot read %1: %2").arg(named, named_file.errorString());
            return Outcome::unreadable;
        }
    }
    return Outcome::loaded;
}

bool Web_config::parse(const QByteArray &yaml, const QString &folder, Web_config *config,
                       QString *error)
{
    Web_config parsed;
    try {
        const YAML::Node root = YAML::Load(yaml.toStdString());
        if (root.IsNull()) {
            *config = parsed;
            return true;
        }
        if (!root.IsMap()) {
            *error = tr("expected tls_server_config and basic_auth_users");
            return false;
        }
        for (const auto &entry : root) {
            const QString key = text_of(entry.first);
            if (key == QLatin1String("tls_server_config")) {
                parsed.tls.emplace();
                if (!read_tls(entry.second, folder, &*parsed.tls, error))
                    return false;
            } else if (key == QLatin1String("basic_auth_users")) {
                if (!read_users(entry.second, &parsed.users, error))
                    return false;
            } else {
                *error = tr("'%1' is not supported here (tls_server_config and "
                            "basic_auth_users are)")
                             .arg(key);
                return false;
            }
        }
    } catch (const YAML::Exception &exception) {
        *error = QString::fromStdString(exception.what());
        return false;
    }
    *config = parsed;
    return true;
}
