#pragma once

#include "crypto/SecretBytes.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

// How much key derivation the receiver takes on.
struct KeyLimits
{
    // Each derivation holds 64 MiB and a core for a fraction of a second: two at once.
    static constexpr int MaxDerivations = 2;
    static constexpr int MaxDerivationsPerAddress = 1;
    // New salts one address may bring within the window: a copy gets a new salt per run.
    static constexpr int MaxNewSaltsPerAddress = 8;
    static constexpr int NewSaltWindowMilliseconds = 10 * 60 * 1000;
    // Keys remembered, the least recently used forgotten first.
    static constexpr int MaxKeys = 16;

    int derivations = MaxDerivations;
    int derivationsPerAddress = MaxDerivationsPerAddress;
    int newSaltsPerAddress = MaxNewSaltsPerAddress;
    int newSaltWindowMilliseconds = NewSaltWindowMilliseconds;
    int keys = MaxKeys;
};

// The receiver's sealing keys, one per sender's salt. A key not yet known is derived on a
// worker thread (QtConcurrent), touching nothing but the password and the salt, while the
// event loop goes on serving other connections. Derivations are bounded in number, at once
// and per sender address, so that frames with ever-new salts cannot take unbounded CPU or
// memory: what is over a bound is refused without deriving. A derived key is remembered only
// once it has opened a frame, so keys derived for junk never push out keys in use.
class KeyStore : public QObject
{
    Q_OBJECT

public:
    using Key = std::shared_ptr<const SecretBytes>;
    // Runs on a worker thread: must touch nothing but its arguments.
    using Deriver = std::function<SecretBytes(const SecretBytes &password, const std::string &salt)>;
    using Done = std::function<void(Key key)>; // an empty key: the derivation failed

    using Limits = KeyLimits;

    enum class Outcome {
        Ready,   // *key is set now; done is not called
        Pending, // done is called later on context's thread, unless context is gone by then
        Refused, // over a bound; nothing is derived and done is never called
    };

    explicit KeyStore(QObject *parent = nullptr, Limits limits = {});
    ~KeyStore() override;

    // Forgets every key. Derivations still running finish unheard.
    void Configure(std::shared_ptr<const SecretBytes> password);
    // Only tests change it; the default derives with Argon2id at the interactive level.
    void SetDeriver(Deriver deriver);

    // Runs deriver on a worker thread and hands the key to done on context's thread, unless
    // context is gone by then. A derivation that fails or throws gives an empty key.
    static void Derive(Deriver deriver, std::shared_ptr<const SecretBytes> password, std::string salt,
                       QObject *context, Done done);

    // On Refused, errorString() says which bound was reached.
    Outcome Request(const std::string &salt, const QString &peer, QObject *context, Done done, Key *key);
    QString errorString() const { return m_error; }

    // The key of this salt opened a frame: remember it, or keep it as the most recently used.
    void Opened(const std::string &salt, Key key);

    int Running() const { return static_cast<int>(m_running.size()); }

private:
    struct Waiter
    {
        QPointer<QObject> context;
        Done done;
    };
    struct Derivation
    {
        QString peer;
        std::uint64_t generation;
        std::vector<Waiter> waiters;
    };

    void Finished(const std::string &salt, std::uint64_t generation, Key key);
    int RunningFor(const QString &peer) const;
    bool NewSaltAllowed(const QString &peer);

    Limits m_limits;
    QString m_error;
    Deriver m_deriver;
    std::shared_ptr<const SecretBytes> m_password;
    std::uint64_t m_generation = 0;
    std::list<std::pair<std::string, Key>> m_keys; // most recently used first
    std::map<std::string, Derivation> m_running;
    QHash<QString, std::vector<qint64>> m_newSalts; // per address: when its derivations began
    QElapsedTimer m_clock;
};
