#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace dedarida {

// Asks the operator in a modal box with Yes and No; true for Yes. GUI
// thread only.
bool AskYesNo(QWidget* parent, const QString& caption, const QString& text);

// Takes away the box AskYesNo shows, if any: it answers No.
void DismissQuestion();

// Replaces what AskYesNo does (tests answer instead of blocking in a modal
// box); returns the handler it replaces. An empty handler restores the box.
using QuestionHandler = std::function<bool(const QString& text)>;
QuestionHandler SetQuestionHandler(QuestionHandler handler);

} // namespace dedarida
