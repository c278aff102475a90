#pragma once
// Conversions that take seconds (encoding a large texture with its mip chain) run through
// RunLongConversion. In a plug-in that shows panels in the editor's window the Qt part installs a
// runner that does the work off the interface thread while the window keeps painting, shows its
// progress and offers Cancel; without one (a headless conversion) the work runs on the calling
// thread. Qt-free, so a plug-in's session code may call it.

#include <functional>

namespace kestrova::plugin {

// Runs `work` to its end and returns true, or false when the user cancelled it: the work has
// then stopped (it checks ConversionStopRequested) and its results must be thrown away.
bool RunLongConversion(const std::function<void()>& work);

// True while the user asks the running conversion to stop: long loops check it between pieces
// of work and leave the rest undone. Safe from any thread.
bool ConversionStopRequested();

// What a runner does: runs `work` to its end, and returns false when it asked the work to stop
// (through the request function it is given) before the work ended.
using ConversionRunner = std::function<bool(const std::function<void()>& work,
                                            const std::function<void()>& requestStop)>;

// Installs the runner that RunLongConversion uses from now on; an empty one runs work directly.
void SetConversionRunner(ConversionRunner runner);

}  // namespace kestrova::plugin
