// Runs a piece of a test in a child process: for what must not touch the
// test process (another user, a signal that ends the run, a limit).
#pragma once

#include <functional>
#include <sys/wait.h>
#include <unistd.h>

// Runs body in a child; returns its exit code, or 128 + the signal that ended it.
inline int in_child(const std::function<int()>& body)
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Becomes the unprivileged user nobody (root may read and write anything).
inline bool become_nobody()
{
    return geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0);
}
