#pragma once

#include <QString>

/** Text of tool output and file contents made safe to print on a terminal. */
namespace ReportText {

/**
 * @p text with every control character (C0, DEL, C1) and every bidirectional override
 * written as an escape: "\n", "\r", "\t", "\e" by name, others as "\xNN" or "\u{NNNN}". A
 * report printed on a terminal then shows what a tool or a file held instead of obeying it.
 */
QString escaped(const QString &text);

} // namespace ReportText
