#pragma once

#include "protocol/WireFormat.h"
#include "core/Settings.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The command line of textdrop-cli. Options are read with QCommandLineParser; every argument
// value (the text above all) is taken from the raw argument bytes, so that it reaches the
// wire unchanged whatever the locale makes of it.
struct CliOptions
{
    enum class Command { Help, Send, Listen, Peers };

    Command command = Command::Help;
    QByteArray address;    // listen: address to bind (empty: all)
    QList<QByteArray> destinations; // send: addresses or announced names, one or more
    QByteArray text;       // send: the message, when given as an argument
    bool hasText = false;  // send: false means read standard input
    int port = StoredSettings::DefaultPort;
    int timeout = StoredSettings::DefaultTimeout; // listen: idle ticks of 10 seconds allowed
    int replyTimeoutMilliseconds = 0; // send: set by Parse to the client's default unless given
    QString saveDir;       // listen: save messages as files here instead of printing them
    QString passwordFile;
    bool secureOnly = false;
    ZaridoDovo::Cipher cipher = ZaridoDovo::Cipher::Sealed; // used when there is a password
    bool nullTerminated = false; // listen: end each printed message with NUL, not newline
    bool verbose = false;  // send: log every step to standard error
    int waitMilliseconds = 2000; // peers, send to a name: how long to look on the network
    bool tab = false;      // peers: one tab-separated line per peer
    QString announce;      // listen: the name to announce on the network (empty: not announced)
    QString error;         // non-empty: bad arguments

    static CliOptions Parse(const QList<QByteArray> &arguments); // without the program name
    static QString Usage();
};
