#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The command line of textdrop-cli, read from the raw argument bytes so that a text given as
// an argument reaches the wire unchanged.
struct CliOptions
{
    enum class Command { Help, Send, Listen };

    Command command = Command::Help;
    QByteArray address;    // send: destination; listen: address to bind (empty: all)
    QByteArray text;       // send: the message, when given as an argument
    bool hasText = false;  // send: false means read standard input
    int port = 30666;
    int timeout = 2;       // listen: idle ticks allowed
    QString saveDir;       // listen: save messages as files here instead of printing them
    QString passwordFile;
    bool secureOnly = false;
    bool verbose = false;  // send: log every step to standard error
    QString error;         // non-empty: bad arguments

    static CliOptions Parse(const QList<QByteArray> &arguments); // without the program name
    static QString Usage();
};
