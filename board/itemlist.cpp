// SPDX-License-Identifier: MIT
// The names come from items.txt in the program folder: one item a line, the
// text before the first comma is shown, the whole line is the answer tag.
#include "guard.h"
#include "form1.h"

#include <limits>

// The item index as a control-array index: beyond 16 bits it overflows
// rather than wrapping round onto the first labels.
static qint16 labelIndex(qint32 item)
{
    if (item < std::numeric_limits<qint16>::min() || item > std::numeric_limits<qint16>::max())
        throw errors::overflow();
    return qint16(item);
}

// The lines left in an open file, read and counted.
static qint64 countLinesLeft(FileTable &files, int f)
{
    qint64 lines = 0;
    try {
        for (; !files.Eof(f); files.LineInput(f))
            ++lines;
    } catch (const std::exception &) {
    }
    return lines;
}

// One report for the lines that filled no name label without a report of their own.
static void reportQuietLines(Guard &guard, qint64 lines, int labels)
{
    guard.run(134, [&] {
        throw FormsError(9, QStringLiteral("%1 more %2 of the item list could not be shown: "
                                           "empty, or beyond the %3 names the board holds")
                                .arg(lines)
                                .arg(lines == 1 ? QStringLiteral("line") : QStringLiteral("lines"))
                                .arg(labels));
    });
}

// The statements carry the line numbers the error report shows, and are
// kept together in one function so that they read in their order.
void Form1::LoadItemList(Guard &guard)
{
    constexpr int f = 1;
    // Reading a file that did not open would only repeat the same failure.
    if (!guard.run(130, [&] { files_.Open(App.Path + QStringLiteral("\\items.txt"), f); }))
        return;
    // Each line that fills no name label (empty, or beyond the last label)
    // gives its reports, but only for the first few such lines: a long file
    // must not bury the player in boxes. Later ones are still read, so an
    // empty line still uses up its label, and are summed up in one report.
    constexpr int kReportedLines = 4;
    int reportedLines = 0;
    qint64 quietLines = 0;
    bool lineFailed = false;
    auto step = [&](int number, auto &&statement) {
        const bool done = reportedLines < kReportedLines ? guard.run(number, statement) : guard.runQuietly(statement);
        lineFailed = lineFailed || !done;
    };

    qint32 item = 0;
    QString line;
    QStringList fields;
    guard.run(132, [&] { item = 0; });
    const qint32 lastLabel = labels.count() ? labels.elements().rbegin()->first : -1;
    while (guard.test(134, [&] { return !files_.Eof(f); })) {
        // Once the reports have stopped and every label is behind, the rest
        // can only fail: count it rather than fail it line by line.
        if (reportedLines >= kReportedLines && item > lastLabel) {
            quietLines += countLinesLeft(files_, f);
            break;
        }
        lineFailed = false;
        QString text;
        step(136, [&] { text = files_.LineInput(f); });
        step(138, [&] { line = text; });
        step(140, [&] { fields = Split(line, QStringLiteral(",")); });
        step(142, [&] {
            if (fields.isEmpty())
                throw errors::subscriptOutOfRange();
            labels(labelIndex(item)).Caption = fields.at(0);
        });
        bool twoOrMore = true;
        step(144, [&] { twoOrMore = fields.size() >= 2; });
        if (twoOrMore) {
            step(146, [&] { labels(labelIndex(item)).Tag = line; });
        } else {
            step(148, [&] {
                if (fields.isEmpty())
                    throw errors::subscriptOutOfRange();
                labels(labelIndex(item)).Tag = fields.at(0);
            });
        }
        step(150, [&] { ++item; });
        if (lineFailed && reportedLines < kReportedLines)
            ++reportedLines;
        else if (lineFailed)
            ++quietLines;
    }
    files_.Close(f);
    if (quietLines > 0)
        reportQuietLines(guard, quietLines, labels.count());
}
