#include "windows/frmPairPhone.h"

#include "phone/PhoneServer.h"
#include "windows/PairedPhones.h"

#include <QLabel>
#include <QNetworkInterface>
#include <QPixmap>
#include <QVBoxLayout>

#include <qrencode.h>

namespace {

constexpr int QuietZone = 4;   // modules of white around the code, as readers expect
constexpr int ModulePixels = 5;

// The addresses a phone on the same network can reach; loopback only when there is no other.
QList<QHostAddress> LanAddresses()
{
    QList<QHostAddress> found;
    for (const QHostAddress &address : QNetworkInterface::allAddresses())
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback() && !address.isLinkLocal())
            found.append(address);
    if (found.isEmpty())
        found.append(QHostAddress(QHostAddress::LocalHost));
    return found;
}

} // namespace

frmPairPhone::frmPairPhone(PhoneServer &server, QWidget *parent)
    : QWidget(parent, Qt::Window), m_server(server), m_codes(new QVBoxLayout(this))
{
    setObjectName(QStringLiteral("frmPairPhone"));
    setWindowTitle(tr("Pair a phone"));
    auto *hint = new QLabel(tr("Scan a code with the phone's camera and open the link. Each code pairs one phone, "
                               "and only while this window is open; you will be asked to allow it."),
                            this);
    hint->setWordWrap(true);
    m_codes->addWidget(hint);
    m_codes->addWidget(new PairedPhones(server, this));
}

QImage frmPairPhone::QrCode(const QByteArray &text)
{
    QRcode *code = QRcode_encodeString(text.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1);
    if (!code)
        return {};
    const int width = code->width;
    QImage image(width + 2 * QuietZone, width + 2 * QuietZone, QImage::Format_Mono);
    image.fill(0);
    image.setColor(0, qRgb(255, 255, 255));
    image.setColor(1, qRgb(0, 0, 0));
    for (int y = 0; y < width; ++y)
        for (int x = 0; x < width; ++x)
            if (code->data[y * width + x] & 1)
                image.setPixel(x + QuietZone, y + QuietZone, 1);
    QRcode_free(code);
    return image;
}

void frmPairPhone::showEvent(QShowEvent *event)
{
    Offer();
    QWidget::showEvent(event);
}

void frmPairPhone::hideEvent(QHideEvent *event)
{
    m_server.WithdrawOffer();
    QWidget::hideEvent(event);
}

void frmPairPhone::Offer()
{
    delete m_codesHolder;
    m_codesHolder = new QWidget(this);
    auto *layout = new QVBoxLayout(m_codesHolder);
    layout->setContentsMargins(0, 0, 0, 0);
    const PhoneServer::Offer offer = m_server.OfferPairing();
    for (const QHostAddress &address : LanAddresses()) {
        const QString link = QStringLiteral("http://%1:%2/#k=%3&s=%4")
                                 .arg(address.toString())
                                 .arg(m_server.Port())
                                 .arg(QLatin1String(offer.key), QLatin1String(offer.session));
        const QImage code = QrCode(link.toLatin1());
        auto *picture = new QLabel(m_codesHolder);
        picture->setObjectName(QStringLiteral("qrCode"));
        picture->setPixmap(QPixmap::fromImage(code.scaled(code.size() * ModulePixels)));
        picture->setAlignment(Qt::AlignCenter);
        auto *text = new QLabel(link, m_codesHolder);
        text->setObjectName(QStringLiteral("pairingLink"));
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        text->setAlignment(Qt::AlignCenter);
        layout->addWidget(picture);
        layout->addWidget(text);
    }
    m_codes->insertWidget(1, m_codesHolder);
    m_codesHolder->show();
    adjustSize();
}
