#pragma once

#include <QString>
#include <QWidget>

#include <memory>

class LogView;
class QPlainTextEdit;

// The log window: one text box where the endpoints' logs append their lines. Closing it
// only hides it, text and all, until the program's end allows it to close.
class frmLog : public QWidget
{
    Q_OBJECT

public:
    // owner: the main window; the log window takes its icon and opens centred on it.
    explicit frmLog(QWidget *owner);
    ~frmLog() override;

    // The text box as a log's display.
    LogView *TextBoxView() const;

    // From now on a close request really closes the window.
    void AllowClose();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QPlainTextEdit *m_txtLog;
    std::unique_ptr<LogView> m_view;
    bool m_closeAllowed = false;
    bool m_placed = false;
};
