#pragma once

// The package table as a reader sees it, for the suites of the installed-packages plug-in
// and the system suite that reads the machine's packages through the console.

#include <QStringList>
#include <QTextDocument>
#include <QTextTable>

/// The cell texts of the first table in @p html, row by row.
inline QList<QStringList> tableCells(const QString &html)
{
    QTextDocument document;
    document.setHtml(html);
    QList<QStringList> rows;
    for (QTextFrame *frame : document.rootFrame()->childFrames()) {
        auto *table = qobject_cast<QTextTable *>(frame);
        if (!table)
            continue;
        for (int r = 0; r < table->rows(); ++r) {
            QStringList cells;
            for (int c = 0; c < table->columns(); ++c) {
                const QTextTableCell cell = table->cellAt(r, c);
                QTextCursor cursor = cell.firstCursorPosition();
                cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
                cells.append(cursor.selectedText());
            }
            rows.append(cells);
        }
        break;
    }
    return rows;
}
