// glintara-render from command line to exit status.
#pragma once

#include <iosfwd>

#include "render-tool/options.hpp"
#include "render-tool/progress.hpp"

namespace glintara::tool {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Renders INPUT into OUTPUT (and the capture file) as the options say. Throws UserError for
// a failure the user should hear of, Interrupted after SIGINT or SIGTERM; leaves nothing
// behind at the destinations in either case.
void renderFile(const Options& options, ProgressMode progressMode, std::ostream& err);

// Parses the command line, renders, and reports: the exit status.
int runRenderTool(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                  bool errIsTerminal);

}  // namespace glintara::tool
