#pragma once

#include "support/cDialogRunner.h"

#include <QAbstractButton>
#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <deque>
#include <vector>
#include <functional>
#include <utility>

// Plays the user's part while installed: each dialog that would open modally goes to the next
// queued answer, which fills in and clicks what a user would and returns the result code.
// A dialog without an answer is recorded and rejected. Message boxes are recorded as shown.
class FakeDialogRunner : public cDialogRunner
{
public:
    using Answer = std::function<int(QDialog &)>;

    struct Message
    {
        QString text;
        QMessageBox::Icon icon;
    };

    FakeDialogRunner() { cDialogRunner::Install(this); }
    ~FakeDialogRunner() override { cDialogRunner::Install(nullptr); }
    FakeDialogRunner(const FakeDialogRunner &) = delete;
    FakeDialogRunner &operator=(const FakeDialogRunner &) = delete;

    void Queue(Answer answer) { m_answers.push_back(std::move(answer)); }

    // An answer to a message box: clicks one of its buttons.
    static Answer Click(QMessageBox::StandardButton which)
    {
        return [which](QDialog &dialog) {
            auto &box = dynamic_cast<QMessageBox &>(dialog);
            box.button(which)->click();
            return box.result();
        };
    }

    int Exec(QDialog &dialog) override
    {
        if (auto *box = qobject_cast<QMessageBox *>(&dialog))
            messages.push_back({box->text(), box->icon()});
        if (m_answers.empty()) {
            unanswered.append(QString::fromLatin1(dialog.metaObject()->className()));
            return QDialog::Rejected;
        }
        Answer answer = std::move(m_answers.front());
        m_answers.pop_front();
        return answer(dialog);
    }

    std::vector<Message> messages;
    QStringList unanswered;
    bool AllAnswered() const { return m_answers.empty() && unanswered.isEmpty(); }

private:
    std::deque<Answer> m_answers;
};
