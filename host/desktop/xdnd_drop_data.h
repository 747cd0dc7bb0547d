#pragma once
// What a drop from another program carries, as the host's drop targets read
// it: the X11 targets that hold a link become the registered formats
// "Netscape Bookmark" and "UniformResourceLocator".

#include <map>
#include <string>
#include <vector>

#include "host/ole/data_object.h"

namespace host::desktop {

// Of the targets a drag offers, those worth fetching, in the order to fetch.
std::vector<std::string> LinkTargetsToFetch(const std::vector<std::string>& Offered);

// A data object (one reference, the caller's) serving the first URL of what
// arrived, by target name, as zero-terminated 8-bit text.
host::TDataObject* NewDropData(const std::map<std::string, std::string>& Received);

}  // namespace host::desktop
