#ifndef VELMAR_EXPORTER_BASIC_AUTH_H
#define VELMAR_EXPORTER_BASIC_AUTH_H

#include <QtCore/QByteArray>

#include <map>

// HTTP basic authentication against bcrypt hashes, as the web configuration
// lists them. libcrypt (libxcrypt) checks a password: the hash holds its own
// salt and cost. Safe to use from several threads at once.
class Basic_auth
{
public:
    enum class Verdict
    {
        granted,
        no_credentials, // no Authorization header, or not Basic, or not base64 of USER:PASSWORD
        unknown_user,
        wrong_password,
    };

    // User name to hash. With none, every request is granted.
    explicit Basic_auth(std::map<QByteArray, QByteArray> users = {});

    bool enabled() const { return !users.empty(); }
    // authorization: the header's value, empty when there was none. *user
    // gets the name the client gave, if any.
    Verdict judge(const QByteArray &authorization, QByteArray *user) const;

    // A bcrypt hash libcrypt can check ($2y$, $2b$ or $2a$).
    static bool is_bcrypt(const QByteArray &hash);
    static bool matches(const QByteArray &password, const QByteArray &hash);

private:
    std::map<QByteArray, QByteArray> users;
};

#endif
