#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <optional>

class QLabel;
class QListWidget;
class QPushButton;

// Lists the machine's own IPv4 addresses so the user can pick the one the server listens on.
// "Select" closes it accepted with SelectedAddress() set (empty when the list is empty); the
// close box closes it rejected. The opener decides what to do with the address.
class frmIPAddress : public QDialog
{
    Q_OBJECT

public:
    // Shows addresses in their order, the first one selected.
    explicit frmIPAddress(const QStringList &addresses, QWidget *parent = nullptr);

    QString SelectedAddress() const { return m_selected; }

    // Reads the machine's addresses afresh (telling the user when the system has no TCP table)
    // and runs the picker. The picked address, or nullopt when the window was closed without "Select".
    static std::optional<QString> Pick(QWidget *parent);

private:
    void onSelect();

    QLabel *Label1;
    QListWidget *ListView1;
    QPushButton *cmdSelect;
    QString m_selected;
};
