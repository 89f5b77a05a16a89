#pragma once

#include <QString>

#include <string>

// A sender's salt, kept in a small file so that every run of the same user sends with the same
// one: a receiver then derives its key once, not once per run. The salt is not secret; the key
// derived from it and the password never reaches the disk.
class SaltFile
{
public:
    // The salt the file holds; when it is missing or damaged, a new one, written to it
    // atomically and for the owner only; of several runs that start at once, all take the one
    // written first. A salt is returned even when it cannot be kept.
    static std::string Load(const QString &path);
};
