#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// What a copy tells the network about itself besides its name and port, as DNS-SD TXT
// records: the discovery version, a random id per run (to skip ourselves and merge the
// records of one peer) and whether it takes sealed messages. Nothing about the password,
// texts or history ever goes here.
struct Announcement
{
    static constexpr int Version = 1;
    // DNS-SD instance names are one DNS label: at most 63 bytes.
    static constexpr int MaxNameBytes = 63;

    QByteArray id;       // 16 hex digits
    bool sealed = false; // a hint: the receiver may still refuse
    int version = 0;

    static QByteArray NewId();
    QList<QByteArray> Txt() const;
    // Unknown keys are skipped; a malformed id is dropped.
    static Announcement FromTxt(const QList<QByteArray> &txt);
};

// A name fit to show and to announce: control and format characters (line breaks, bidi
// overrides) removed, spaces trimmed, cut on a character boundary to MaxNameBytes of UTF-8.
QString CleanServiceName(const QString &name);
