#ifndef VELMAR_EXPORTER_WEB_CONFIG_H
#define VELMAR_EXPORTER_WEB_CONFIG_H

#include <QtCore/QByteArray>
#include <QtCore/QCoreApplication>
#include <QtCore/QString>

#include <map>
#include <optional>

// The web configuration file Prometheus's own exporters share
// (--web.config.file), in YAML:
//
//     tls_server_config:
//       cert_file: server.crt
//       key_file: server.key
//       client_auth_type: RequireAndVerifyClientCert
//       client_ca_file: ca.crt
//       min_version: TLS12
//     basic_auth_users:
//       prometheus: $2y$10$...
//
// Files are named relative to the configuration's folder. A key this program
// does not know is an error, never ignored: a setting that seems to protect
// the metrics but does not would be worse than none.
class Web_config
{
    Q_DECLARE_TR_FUNCTIONS(Web_config)

public:
    // As crypto/tls words them, and what each asks of a client's certificate.
    enum class Client_auth
    {
        none,               // NoClientCert
        request,            // RequestClientCert: asked for, not checked
        require_any,        // RequireAnyClientCert: required, not checked
        verify_if_given,    // VerifyClientCertIfGiven
        require_and_verify, // RequireAndVerifyClientCert
    };

    struct Tls
    {
        QString cert_file;
        QString key_file;
        Client_auth client_auth = Client_auth::none;
        QString client_ca_file;
        int min_version = 0x0303; // TLS 1.2, as on the wire
    };

    std::optional<Tls> tls;
    // User name to bcrypt hash.
    std::map<QByteArray, QByteArray> users;

    enum class Outcome
    {
        loaded,
        unreadable,
        invalid,
    };
    static Outcome load(const QString &path, Web_config *config, QString *error);
    // folder: where relative file names start.
    static bool parse(const QByteArray &yaml, const QString &folder, Web_config *config,
                      QString *error);
};

#endif
