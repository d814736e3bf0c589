#pragma once

#include <QString>

class QPlainTextEdit;

namespace ktb {

// Adds text at the end of a text box without rewriting what is already there,
// so a long reply costs time in proportion to its length.
void appendText(QPlainTextEdit *box, const QString &text);

// Adds one line: the text followed by a line break.
void appendLine(QPlainTextEdit *box, const QString &line);

} // namespace ktb
