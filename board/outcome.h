// SPDX-License-Identifier: MIT
#pragma once
// How a drag of a name ended, as the quiz window judged it: told to whoever
// listens (the screen reader's voice, tests) by the drop itself.
#include <QString>

struct DropOutcome {
    enum class Kind {
        Placed,  // on its own country: shown on the map
        Wrong,  // on another country's zone
        PutBack,  // let go over a name on the panel
        Nowhere,  // let go where no drop zone takes it
        Cancelled,  // given up before it was let go (Escape)
    };
    Kind kind = Kind::Nowhere;
    QString name;  // the name as the panel shows it
    int index = -1;  // its name label
    QString country;  // Wrong: the country the zone stands for
    int zone = -1;  // Placed, Wrong: the drop zone that judged it
    int placed = 0;  // names on the map after this drop
    int total = 0;  // names a complete map holds
};
