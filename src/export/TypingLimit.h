#pragma once

#include <QLineEdit>
#include <QValidator>

// Refuses typing that would take an edit's text past the limit, while a longer text put there
// by the program stays (the data exchange reports it), and the user may still shorten it.
class CTypingLimit : public QValidator {
  public:
    CTypingLimit(int limit, QLineEdit* edit) : QValidator(edit), m_nLimit(limit) {
        connect(edit, &QLineEdit::textChanged, this,
                [this](const QString& t) { m_nLast = static_cast<int>(t.size()); });
    }
    State validate(QString& input, int&) const override {
        const int n = static_cast<int>(input.size());
        return m_bProgramSets || n <= m_nLimit || n <= m_nLast ? Acceptable : Invalid;
    }
    bool m_bProgramSets = false;

  private:
    int m_nLimit;
    int m_nLast = 0;
};
