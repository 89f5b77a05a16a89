#pragma once

#include <QByteArray>

// The record of one delivered message, refilled by the server for every delivery.
class CZaridoDovoMessage
{
public:
    // Stamps Received with the present local date and time, then copies the three fields.
    void Create(const QByteArray &message, const QByteArray &fromIP, const QByteArray &fromHost);

    QByteArray Received; // local date and time of delivery, in the locale's short format
    QByteArray Message;
    QByteArray FromIP;
    QByteArray FromHost;
};
