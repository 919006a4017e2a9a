// glintara-render's job, from options to published files.
#pragma once

#include <iosfwd>

#include "render-tool/options.hpp"
#include "render-tool/progress.hpp"

namespace glintara::tool {

// Renders INPUT into OUTPUT (and the capture file) as the options say. Throws UserError for
// a failure the user should hear of, Interrupted after SIGINT, SIGTERM or SIGHUP; leaves
// nothing behind at the destinations in either case. Notes and progress go to `err`.
void renderFile(const Options& options, ProgressMode progressMode, std::ostream& err);

}  // namespace glintara::tool
