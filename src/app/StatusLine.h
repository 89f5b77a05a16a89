#pragma once

#include <QLabel>
#include <QString>

// A one-line label that keeps its full text and shows as much of it as its width allows,
// cut with "..." when it does not fit; the tooltip always holds the whole line.
class StatusLine : public QLabel
{
    Q_OBJECT

public:
    explicit StatusLine(const QString &name, QWidget *parent = nullptr);

    void SetFullText(const QString &text);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // Fits the full text into the present width; a text that reads as a number or a date is
    // left as it was shown.
    void AutoSizeCaption();

    QString m_fullText;
};
