#pragma once
// The processes of a running browser, for tests that kill parts of it.

#include <sys/types.h>

#include <vector>

namespace host::testing {

// The renderer processes started (directly or through the zygote) by the
// browser process Browser.
std::vector<pid_t> RendererPids(pid_t Browser);

// Kills every renderer of Browser; returns how many there were.
int KillRenderers(pid_t Browser);

}  // namespace host::testing
