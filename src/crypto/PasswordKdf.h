#pragma once

#include "crypto/SecretBytes.h"

#include <cstddef>
#include <string>
#include <string_view>

// Turns the shared password and a sender's salt into a sealing key with Argon2id, so that
// each guess at a password costs an attacker this much time and memory.
class PasswordKdf
{
public:
    struct Cost
    {
        unsigned long long operations;
        std::size_t memoryBytes;
    };

    // What both ends use: libsodium's interactive level, 2 passes over 64 MiB.
    static Cost Interactive();
    // The least the library allows; only tests use it, both ends alike.
    static Cost Minimal();

    explicit PasswordKdf(Cost cost = Interactive());

    // A fresh random salt of the size the frame carries.
    static std::string NewSalt();

    // The key; empty if the salt has the wrong size or the library runs out of memory.
    SecretBytes Derive(const SecretBytes &password, std::string_view salt) const;

    Cost Parameters() const { return m_cost; }

private:
    Cost m_cost;
};
