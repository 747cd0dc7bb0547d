#pragma once
// `snapkit palette [--icons DIR] [LIBRARY...]`: opens each package library
// as the designer does, calls its Register and lists the palette pages with
// their components and each package's description. Without a library it
// takes the package this program is built with. --icons writes each palette
// picture to DIR as CLASSNAME.bmp.

#include <string>
#include <vector>

namespace snapkit::tools {

// Args are the words after "palette". Returns the listing; raises
// TUsageError for a wrong command line and host::Exception for a library
// that cannot be opened or is no package. The libraries stay loaded, as the
// palette refers to their classes.
std::string RunPalette(const std::vector<std::string>& Args);

extern const char* const PaletteUsage;

}  // namespace snapkit::tools
