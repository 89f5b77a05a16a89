#include "protocol/CZaridoDovoMessage.h"

#include <QDateTime>
#include <QLocale>

void CZaridoDovoMessage::Create(const QByteArray &message, const QByteArray &fromIP, const QByteArray &fromHost)
{
    Received = QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat).toUtf8();
    Message = message;
    FromIP = fromIP;
    FromHost = fromHost;
}
