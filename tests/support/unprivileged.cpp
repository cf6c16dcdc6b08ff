#include "support/unprivileged.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kCouldNotDrop = 77;

}  // namespace

bool DropToUnprivileged()
{
    return ::geteuid() != 0 ||
           (::setgroups(0, nullptr) == 0 && ::setgid(kUnprivilegedUid) == 0 && ::setuid(kUnprivilegedUid) == 0);
}

std::optional<bool> RunUnprivileged(const std::function<bool()> &action)
{
    if (::geteuid() != 0)
        return action();
    const pid_t child = ::fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0)
        ::_exit(!DropToUnprivileged() ? kCouldNotDrop : action() ? 0 : 1);
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == kCouldNotDrop)
        return std::nullopt;
    return WEXITSTATUS(status) == 0;
}
