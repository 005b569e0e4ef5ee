#pragma once

// Dispatches every message waiting in this thread's queue: the indicator
// window's (dragging, painting) and those of any window a plug-in made. They
// get their messages only here, between the blocking steps of the command loop
// and of a scan. TranslateMessage is left out on purpose: nobody types into
// them. A WM_QUIT found here is dropped: only the end of the command pipe ends
// the command loop.
void DrainMessages();
