#include "protocol/ReplyWords.h"

#include "protocol/WireFormat.h"

#include <QCoreApplication>

#include <string_view>

QString ReplyExplanation(const QByteArray &reply)
{
    const std::string_view word(reply.constData(), static_cast<std::size_t>(reply.size()));
    if (word == ZaridoDovo::ReplyBad)
        return QCoreApplication::translate("ReplyWords", "the receiver could not read the message: it has a different "
                                                         "password, or it accepts enciphered messages only");
    if (word == ZaridoDovo::ReplyMaxSize)
        return QCoreApplication::translate("ReplyWords", "the receiver takes at most 1 MiB");
    if (word == ZaridoDovo::ReplyClock)
        return QCoreApplication::translate("ReplyWords", "the sender's and the receiver's clocks are more than 5 "
                                                         "minutes apart; set the clocks right and send again");
    if (word == ZaridoDovo::ReplyReplay)
        return QCoreApplication::translate("ReplyWords", "the receiver has had this very message before");
    if (word == ZaridoDovo::ReplyBusy)
        return QCoreApplication::translate("ReplyWords", "the receiver is busy with other new senders; try again later");
    if (word == ZaridoDovo::ReplyNotSaved)
        return QCoreApplication::translate("ReplyWords", "the receiver could not save the message, so it did not keep it");
    if (word == ZaridoDovo::InvalidReply)
        return QCoreApplication::translate("ReplyWords", "the receiver's answer was not a valid reply");
    return {};
}
