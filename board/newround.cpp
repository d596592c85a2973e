// SPDX-License-Identifier: MIT
// A new round: every name back in the column, no name on the map.
#include "guard.h"
#include "form1.h"

// Its statements carry the line numbers the error report shows.
void Form1::PushButton1_Click()
{
    Guard guard(*this, QStringLiteral("in Orbenvale2017/04/05.Form1.PushButton1_Click "));
    guard.run(100, [&] { placedcount = 0; });
    for (qint16 i = 0; i <= 40; ++i) {
        guard.run(104, [&] { maplabel(i).Visible = false; });
        guard.run(106, [&] { labels(i).Visible = true; });
    }
    emit roundStarted();
}
