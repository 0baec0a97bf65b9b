#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QIODevice;

/**
 * Bounds on what one configuration read takes in, so that a host whose files or tools are
 * broken or hostile can neither exhaust the console's memory nor keep a widget busy for
 * minutes. What lies past a bound is not shown, and the read says so with a warning.
 */
namespace ReadLimits {

/// Entries (tree rows) one read keeps: far more than the largest real hosts have.
constexpr int maxEntries = 200000;
/// Bytes of one configuration file parsed into a tree.
constexpr qint64 maxFileBytes = 16 * 1024 * 1024;
/// Bytes of a configuration file shown as text, and the longest line shown whole: a text
/// view lays out longer text and lines only slowly.
constexpr qint64 maxTextBytes = 1024 * 1024;
constexpr int maxTextLineLength = 4096;

/// "Only the first %1 entries of %2 are shown": @p source is a path or a program.
QString entriesCut(const QString &source);
/// "Only the first %1 bytes of %2 are read"
QString bytesCut(const QString &source, qint64 limit);
/// A file read into a tree that holds more than maxEntries entries or maxFileBytes bytes.
QString fileCut(const QString &path);
/// The text of a file cut to the text bounds.
QString textCut(const QString &path);

/**
 * What @p device gives, as far as a text view shows it: up to the first NUL, each line cut
 * to maxTextLineLength bytes, at most maxTextBytes in all, and no more than maxFileBytes read.
 * @p cut is set when anything was left out. Linear in what is read.
 */
QByteArray readText(QIODevice *device, bool *cut);

} // namespace ReadLimits
