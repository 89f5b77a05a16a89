#pragma once

#include "desktop/cDialogRunner.h"

#include <QAbstractButton>
#include <QDialog>
#include <QMessageBox>
#include <QStringList>

#include <functional>
#include <vector>

// Plays the user's part while installed: each dialog that would open modally goes to the next
// queued answer, which fills in and clicks what a user would and returns the result code.
// A dialog without an answer is recorded and rejected. Message boxes are recorded as shown.
class FakeDialogRunner : public cDialogRunner
{
public:
    using Answer = std::function<int(QDialog &)>;
    struct Message { QString text; QMessageBox::Icon icon; };

    FakeDialogRunner() { Install(this); }
    ~FakeDialogRunner() override { Install(nullptr); }

    void Queue(Answer answer) { m_answers.append(std::move(answer)); }

    // An answer to a message box: clicks one of its buttons.
    static Answer Click(QMessageBox::StandardButton which)
    {
        return [which](QDialog &box) { dynamic_cast<QMessageBox &>(box).button(which)->click(); return box.result(); };
    }

    int Exec(QDialog &dialog) override
    {
        if (auto *box = qobject_cast<QMessageBox *>(&dialog))
            messages.push_back({box->text(), box->icon()});
        if (!m_answers.isEmpty())
            return m_answers.takeFirst()(dialog);
        unanswered.append(QString::fromLatin1(dialog.metaObject()->className()));
        return QDialog::Rejected;
    }

    bool AllAnswered() const { return m_answers.isEmpty() && unanswered.isEmpty(); }

    std::vector<Message> messages;
    QStringList unanswered;

private:
    QList<Answer> m_answers;
};
