// Root passes every permission check and opens a terminal that another has barred: tests of those
// run their part as an ordinary user, in a child process when the test itself runs as root.
#pragma once

#include <functional>
#include <optional>
#include <sys/types.h>

// The user id such a part runs as ("nobody").
constexpr uid_t kUnprivilegedUid = 65534;

// Runs `action` as an ordinary user and gives its result; nothing when the rights could not be
// dropped (the test then skips with a message).
std::optional<bool> RunUnprivileged(const std::function<bool()> &action);
// In a child about to run another program: drops the rights of root; false when it could not.
bool DropToUnprivileged();
