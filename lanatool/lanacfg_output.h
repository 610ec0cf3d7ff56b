// The lines of "lanacfg showlanapaths" that give choices.
#pragma once

#include <QList>
#include <QStringList>

#include "bindings.h"

namespace mirvale {

// One choice per "Lana:" line followed by a NetBEUI or WINS Client(TCP/IP)
// path line that does not say "Dial Out". Emits the diagnostic lines.
QList<AdapterChoice> ParseLanacfgLines(const QStringList& lines);

}  // namespace mirvale
