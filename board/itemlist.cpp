// The names come from items.txt in the program folder: one item a line, the
// text before the first comma is shown, the whole line is the answer tag.
#include "errorreport.h"
#include "form1.h"

void Form1::LoadItemList(Guard &guard)
{
    constexpr int f = 1;
    // Reading a file that did not open would only repeat the same failure.
    if (!guard.run(130, [&] { files_.Open(App.Path + QStringLiteral("\\items.txt"), f); }))
        return;
    qint32 item = 0;
    QString line;
    QStringList fields;
    guard.run(132, [&] { item = 0; });
    while (guard.test(134, [&] { return !files_.Eof(f); })) {
        QString text;
        guard.run(136, [&] { text = files_.LineInput(f); });
        guard.run(138, [&] { line = text; });
        guard.run(140, [&] { fields = Split(line, QStringLiteral(",")); });
        guard.run(142, [&] {
            if (fields.isEmpty())
                throw errors::subscriptOutOfRange();
            labels(qint16(item)).Caption = fields.at(0);
        });
        if (guard.test(144, [&] { return fields.size() >= 2; })) {
            guard.run(146, [&] { labels(qint16(item)).Tag = line; });
        } else {
            guard.run(148, [&] {
                if (fields.isEmpty())
                    throw errors::subscriptOutOfRange();
                labels(qint16(item)).Tag = fields.at(0);
            });
        }
        guard.run(150, [&] { ++item; });
    }
    files_.Close(f);
}
