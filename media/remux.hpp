// Copying a finished recording's streams, packet for packet, into another container: the
// unfinished form a recording is made in becomes the file the user asked for.
#pragma once

#include <string>

#include "core/ratio.hpp"
#include "media/containers.hpp"

namespace glintara::media {

// Writes every stream of the file at `source` into `file` in `container`'s format. In a
// container with one slot per frame (AVI), frames take the slot nearest their time at
// `frameRate`, each a slot of its own. Throws UserError naming `destination`.
void remux(const std::string& source, const ContainerFormat& container,
           const std::string& destination, const std::string& file, Ratio frameRate);

}  // namespace glintara::media
