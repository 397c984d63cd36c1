#include "app/qt/station/station_question.h"

#include <QMessageBox>
#include <QPointer>
#include <utility>

namespace dedarida {

namespace {

QuestionHandler& Handler() {
    static QuestionHandler handler;
    return handler;
}

QPointer<QMessageBox>& Open() {
    static QPointer<QMessageBox> box;
    return box;
}

} // namespace

bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) {
    if (Handler())
        return Handler()(text);
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::No);
    Open() = &box;
    const int answer = box.exec();
    Open() = nullptr;
    return answer == QMessageBox::Yes;
}

void DismissQuestion() {
    if (Open())
        Open()->reject();
}

QuestionHandler SetQuestionHandler(QuestionHandler handler) {
    return std::exchange(Handler(), std::move(handler));
}

} // namespace dedarida
