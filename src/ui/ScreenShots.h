// `zeblo --screens DIR`: pictures of the view and the whole window in the display's states.
//
// Threads: user-interface thread (needs a QApplication; runs offscreen).
#pragma once

#include <QString>

#include "ui/ZBDIBSection.h"

namespace zeblo {

// Writes the PNGs into dir; returns 0 on success, 1 when a picture could not be written.
int WriteScreens(const QString& dir, const ZBDIBSection& skin);

}  // namespace zeblo
