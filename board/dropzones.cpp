// SPDX-License-Identifier: MIT
// An invisible drop zone over every region of the map; zones are stacked by
// index, so where regions overlap the higher index takes the drop.
#include "guard.h"
#include "form1.h"

// Its statements carry the line numbers the error report shows.
void Form1::BuildDropZones(Guard &guard)
{
    for (qint32 j = 0; j <= 102; ++j) {
        guard.run(154, [&] { shape(j).BorderStyle = 0; });
        if (j > 0)
            guard.run(158, [&] { piccoor.Load(j); });
        guard.run(160, [&] { piccoor(j).Left = shape(j).Left; });
        guard.run(162, [&] { piccoor(j).Top = shape(j).Top; });
        guard.run(164, [&] { piccoor(j).Width = shape(j).Width; });
        guard.run(166, [&] { piccoor(j).Height = shape(j).Height; });
        guard.run(168, [&] { piccoor(j).Tag = shape(j).Tag; });
        guard.run(170, [&] { piccoor(j).DragMode = 0; });
        guard.run(172, [&] { piccoor(j).Visible = true; });
        guard.run(174, [&] { ZOrder(piccoor(j)); });
    }
}
