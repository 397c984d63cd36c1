#include "app/qt/station_question.h"

#include <QMessageBox>
#include <utility>

namespace dedarida {

namespace {

QuestionHandler& Handler() {
    static QuestionHandler handler;
    return handler;
}

} // namespace

bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) {
    if (Handler())
        return Handler()(text);
    return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

QuestionHandler SetQuestionHandler(QuestionHandler handler) {
    return std::exchange(Handler(), std::move(handler));
}

} // namespace dedarida
