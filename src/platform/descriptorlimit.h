// The number of open files this process may hold: raised at start from the soft limit to the hard
// one, so that a server with many clients is held back by the system's limit, not by a default.
#pragma once

// Raises the soft RLIMIT_NOFILE to the hard limit; returns the soft limit now in force.
long RaiseDescriptorLimit();
