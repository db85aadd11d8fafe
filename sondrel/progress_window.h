// The converter's please-wait window: an icon and one localised line, shown for the whole
// run and serviced only between files.
#pragma once

namespace sondrel {

#ifdef _WIN32
// The program's instance handle, saved at entry: the dialog and the string load from it.
void saveInstanceHandle(void* instance);
#endif

// Creates, fills and paints the window. A window that cannot be made is not reported:
// the run goes on without one.
void createProgressWindow();
// Services at most one pending message of the window.
void pumpOneMessage();
void destroyProgressWindow();

}  // namespace sondrel
