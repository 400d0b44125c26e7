// The GUI program's start: the skin, the window, and the picture mode.
//
// Threads: the main (user-interface) thread.
#pragma once

namespace zeblo {

int RunApplication(int argc, char** argv);

}  // namespace zeblo
