#pragma once

#include <QImage>
#include <QWidget>

class PhoneServer;
class QTreeWidget;
class QVBoxLayout;

// Tools > "Pair a phone…": a QR code and the same link as text for each of this computer's
// addresses, and the phones paired so far. Shown, it offers a new pairing; closed, no new
// phone may pair.
class frmPairPhone : public QWidget
{
    Q_OBJECT

public:
    explicit frmPairPhone(PhoneServer &server, QWidget *parent = nullptr);

    // The link's QR code, one pixel a module, with the quiet zone around it; null when it cannot be made.
    static QImage QrCode(const QByteArray &text);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void Offer();

    PhoneServer &m_server;
    QVBoxLayout *m_codes;
    QWidget *m_codesHolder = nullptr;
};
