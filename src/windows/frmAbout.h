#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

// The program's name and version, a notice and two links: the maker's site and mail address.
// The links turn red and underlined under the mouse and purple once followed.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    // Placeholders until the project has a site and a mailbox of its own; defined only here.
    static inline const QString MakerSiteName = QStringLiteral("textdrop.example.org");
    static inline const QString MakerSite = QStringLiteral("https://textdrop.example.org/");
    static inline const QString MakerMail = QStringLiteral("textdrop@example.org");

    explicit frmAbout(QWidget *parent = nullptr);

    // Shows the window modally; returns when it has closed.
    static void Open(QWidget *parent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    // The icon at the left, the texts and links in the middle, OK at the top right.
    void LayOut();
    void MouseOver(QLabel *link);

    QLabel *picIcon;
    QLabel *lblTitle;
    QLabel *lblCopyright;
    QLabel *Label2;
    QLabel *lblQuillsoft;
    QLabel *Label1;
    QLabel *lblMailTo;
    QLabel *lblDisclaimer;
    QPushButton *cmdOK;
};
