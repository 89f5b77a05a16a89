#include "protocol/KeyStore.h"

#include "crypto/PasswordKdf.h"

#include <QFuture>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <utility>

KeyStore::KeyStore(QObject *parent, Limits limits)
    : QObject(parent)
    , m_limits(limits)
    , m_deriver([](const SecretBytes &password, const std::string &salt) {
        return PasswordKdf(PasswordKdf::Interactive()).Derive(password, salt);
    })
{
    m_clock.start();
}

KeyStore::~KeyStore() = default;

void KeyStore::Configure(std::shared_ptr<const SecretBytes> password)
{
    m_password = std::move(password);
    m_keys.clear();
    ++m_generation;
}

void KeyStore::SetDeriver(Deriver deriver)
{
    m_deriver = std::move(deriver);
}

KeyStore::Outcome KeyStore::Request(const std::string &salt, const QString &peer, QObject *context, Done done, Key *key)
{
    const auto known = std::find_if(m_keys.begin(), m_keys.end(), [&salt](const auto &entry) { return entry.first == salt; });
    if (known != m_keys.end()) {
        // Moved to the front by Opened, once it has opened this frame too.
        *key = known->second;
        return Outcome::Ready;
    }
    const auto running = m_running.find(salt);
    if (running != m_running.end() && running->second.generation == m_generation) {
        running->second.waiters.push_back({context, std::move(done)});
        return Outcome::Pending;
    }
    // No password, or a derivation of this salt under the last password still holds its place.
    if (!m_password || running != m_running.end()) {
        m_error = QStringLiteral("no key for this salt can be derived now");
        return Outcome::Refused;
    }
    if (Running() >= m_limits.derivations) {
        m_error = QStringLiteral("%1 key derivations already running").arg(Running());
        return Outcome::Refused;
    }
    if (RunningFor(peer) >= m_limits.derivationsPerAddress) {
        m_error = QStringLiteral("a key derivation for %1 already running").arg(peer);
        return Outcome::Refused;
    }
    if (!NewSaltAllowed(peer)) {
        m_error = QStringLiteral("%1 brought %2 new salts within %3 s")
                   .arg(peer)
                   .arg(m_limits.newSaltsPerAddress)
                   .arg(m_limits.newSaltWindowMilliseconds / 1000);
        return Outcome::Refused;
    }

    const std::uint64_t generation = m_generation;
    m_running.emplace(salt, Derivation{peer, generation, {{context, std::move(done)}}});
    Derive(m_deriver, m_password, salt, this,
           [this, salt, generation](Key key) { Finished(salt, generation, std::move(key)); });
    return Outcome::Pending;
}

void KeyStore::Derive(Deriver deriver, std::shared_ptr<const SecretBytes> password, std::string salt,
                      QObject *context, Done done)
{
    // The worker gets its own references: whoever asked may be reconfigured or gone when it ends.
    QtConcurrent::run([deriver = std::move(deriver), password = std::move(password), salt = std::move(salt)]() -> Key {
        try {
            SecretBytes derived = deriver(*password, salt);
            if (!derived.Empty())
                return std::make_shared<const SecretBytes>(std::move(derived));
        } catch (...) {
            // Out of memory, most likely: no key, like any other failed derivation.
        }
        return nullptr;
    }).then(context, std::move(done));
}

void KeyStore::Finished(const std::string &salt, std::uint64_t generation, Key key)
{
    const auto running = m_running.find(salt);
    if (running == m_running.end())
        return;
    std::vector<Waiter> waiters = std::move(running->second.waiters);
    m_running.erase(running);
    if (generation != m_generation)
        return; // derived with a password no longer in use
    for (Waiter &waiter : waiters)
        if (waiter.context)
            waiter.done(key);
}

void KeyStore::Opened(const std::string &salt, Key key)
{
    if (!key)
        return;
    std::erase_if(m_keys, [&salt](const auto &entry) { return entry.first == salt; });
    m_keys.emplace_front(salt, std::move(key));
    while (static_cast<int>(m_keys.size()) > std::max(1, m_limits.keys))
        m_keys.pop_back();
}

int KeyStore::RunningFor(const QString &peer) const
{
    return static_cast<int>(std::count_if(m_running.begin(), m_running.end(),
                                          [&peer](const auto &entry) { return entry.second.peer == peer; }));
}

bool KeyStore::NewSaltAllowed(const QString &peer)
{
    const qint64 now = m_clock.elapsed();
    // Addresses with nothing recent are forgotten, so the table stays as small as the traffic.
    for (auto it = m_newSalts.begin(); it != m_newSalts.end();) {
        std::erase_if(it.value(), [&](qint64 at) { return now - at >= m_limits.newSaltWindowMilliseconds; });
        it = it.value().empty() ? m_newSalts.erase(it) : std::next(it);
    }
    std::vector<qint64> &recent = m_newSalts[peer];
    if (static_cast<int>(recent.size()) >= m_limits.newSaltsPerAddress)
        return false;
    recent.push_back(now);
    return true;
}
