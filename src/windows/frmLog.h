#pragma once

#include <QString>
#include <QWidget>

#include <memory>

class LogView;
class QPlainTextEdit;

// The log window: one text box where the endpoints' logs append their lines. Closing it
// only hides it, text and all, until the window is marked "END" for the program's end.
class frmLog : public QWidget
{
    Q_OBJECT

public:
    // owner: the main window; the log window takes its icon and opens centred on it.
    explicit frmLog(QWidget *owner);
    ~frmLog() override;

    QPlainTextEdit *txtLog() const;
    // The text box as a log's display.
    LogView *TextBoxView() const;

    QString Tag() const;
    void SetTag(const QString &tag);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QPlainTextEdit *m_txtLog;
    std::unique_ptr<LogView> m_view;
    QString m_tag;
    bool m_placed = false;
};
