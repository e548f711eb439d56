#include "exporter/basic_auth.h"

#include <crypt.h>

#include <cstring>
#include <memory>

namespace {

const QByteArray basic_scheme = QByteArrayLiteral("basic ");

// Every byte compared, so the time taken tells nothing of where they differ.
bool same_bytes(const char *a, const QByteArray &b)
{
    const std::size_t size = std::strlen(a);
    if (size != static_cast<std::size_t>(b.size()))
        return false;
    unsigned char differ = 0;
    for (std::size_t at = 0; at < size; ++at)
        differ |= static_cast<unsigned char>(a[at] ^ b[static_cast<int>(at)]);
    return differ == 0;
}

// What libcrypt makes of the password with the hash's cost and salt; null
// for a hash it cannot read.
std::unique_ptr<crypt_data> hashed(const QByteArray &password, const QByteArray &hash)
{
    // crypt_data is large (32 kB): one per call keeps threads apart.
    auto data = std::make_unique<crypt_data>();
    const char *result = crypt_rn(password.constData(), hash.constData(), data.get(), sizeof *data);
    if (result == nullptr || result[0] != '$')
        return nullptr;
    return data;
}

} // namespace

Basic_auth::Basic_auth(std::map<QByteArray, QByteArray> users) : users(std::move(users)) {}

bool Basic_auth::is_bcrypt(const QByteArray &hash)
{
    const bool bcrypt_prefix =
        hash.startsWith("$2y$") || hash.startsWith("$2b$") || hash.startsWith("$2a$");
    // A salt alone reads too, but no password would ever match it.
    const auto data = bcrypt_prefix ? hashed(QByteArray(), hash) : nullptr;
    return data && std::strlen(data->output) == static_cast<std::size_t>(hash.size());
}

bool Basic_auth::matches(const QByteArray &password, const QByteArray &hash)
{
    // libcrypt stops at a NUL: "a\0b" would pass for "a".
    if (password.contains('\0'))
        return false;
    const auto data = hashed(password, hash);
    return data && same_bytes(data->output, hash);
}

Basic_auth::Verdict Basic_auth::judge(const QByteArray &authorization, QByteArray *user) const
{
    if (users.empty())
        return Verdict::granted;
    if (authorization.size() <= basic_scheme.size() ||
        authorization.left(basic_scheme.size()).toLower() != basic_scheme)
        return Verdict::no_credentials;
    const auto decoded = QByteArray::fromBase64Encoding(
        authorization.mid(basic_scheme.size()).trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    const int colon = decoded.decoded.indexOf(':');
    if (!decoded || colon < 0)
        return Verdict::no_credentials;
    *user = decoded.decoded.left(colon);
    const QByteArray password = decoded.decoded.mid(colon + 1);
    const auto known = users.find(*user);
    if (known == users.end()) {
        // As long as for a known user: the time taken does not tell which names exist.
        matches(password, users.begin()->second);
        return Verdict::unknown_user;
    }
    return matches(password, known->second) ? Verdict::granted : Verdict::wrong_password;
}
