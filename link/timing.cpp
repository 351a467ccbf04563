#include "timing.h"

#include <algorithm>

namespace nimbra {

Timing Timing::scaled(double factor) const
{
    Timing t = *this;
    auto scale = [factor](Millis& m) {
        m = std::max(Millis(1), Millis(static_cast<Millis::rep>(m.count() * factor)));
    };
    for (Millis* m :
         {&t.settings,       &t.interval,       &t.alarmPage,  &t.calibration,   &t.live,
          &t.fileListBefore, &t.fileListAfter,  &t.fileChunk,  &t.chunkPause,    &t.deleteBefore,
          &t.deleteAfter,    &t.setInterval,    &t.setClock,   &t.guardedFirst,  &t.guardedFinal,
          &t.syncFirst,      &t.syncFinal,      &t.writePause, &t.sequencePause, &t.screenCheck,
          &t.pollPass,       &t.dialogOpenWait, &t.lineQuiet,  &t.readTimeout,   &t.rescan})
        scale(*m);
    return t;
}

} // namespace nimbra
