/*
 * Process and machine exports.
 */
#include "qvutil.h"

#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

static int reap(pid_t pid)
{
    int status;
    pid_t r;
    do
        r = waitpid(pid, &status, 0);
    while (r < 0 && errno == EINTR);
    /* ECHILD: someone else (a SIGCHLD set to SIG_IGN, a reaping handler)
     * already collected it, so it has ended too. */
    return r == pid || (r < 0 && errno == ECHILD);
}

static void* reapInBackground(void* pid)
{
    reap((pid_t)(intptr_t)pid);
    return NULL;
}

/* A child that is not waited for is reaped by a detached thread when it ends,
 * so that it does not stay behind as a zombie for the program's lifetime. */
static void reapLater(pid_t pid)
{
    pthread_t thread;
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0)
        return;
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attr, PTHREAD_STACK_MIN > 65536 ? PTHREAD_STACK_MIN : 65536);
    pthread_create(&thread, &attr, reapInBackground, (void*)(intptr_t)pid);
    pthread_attr_destroy(&attr);
}

int32_t qvuExecuteProcess(const char* command, int32_t wait)
{
    if (!command || !*command)
        return 0;

    /* The child gets standard input, output and error only, and an empty
     * signal mask whatever the calling thread blocks. */
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return 0;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return 0;
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);

    char* argv[] = { "sh", "-c", (char*)command, NULL };
    pid_t pid;
    int err = posix_spawn(&pid, "/bin/sh", &actions, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0)
        return 0;
    if (!wait) {
        reapLater(pid);
        return 1;
    }
    return reap(pid);
}

/* The name is read into a buffer of our own first, so that a host name that
 * does not fit leaves BUF untouched instead of cut short. */
int32_t qvuGetMyMachineName(char* buf, int32_t bufSize)
{
    if (!buf || bufSize <= 0)
        return 0;
    char name[HOST_NAME_MAX + 1];
    if (gethostname(name, sizeof name) < 0)
        return 0;
    name[HOST_NAME_MAX] = '\0';
    size_t length = strlen(name);
    if (length >= (size_t)bufSize)
        return 0;
    memcpy(buf, name, length + 1);
    return 1;
}
