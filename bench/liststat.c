/* liststat: the least a one-thread update run must do when nothing changed.
 *
 *   liststat SOURCE DESTINATION
 *
 * Walks SOURCE depth first, the files of a folder before its subfolders, on
 * one thread: lists each folder, reads the attributes of each file in it
 * (fstatat, links followed) and of the file of the same name in the matching
 * DESTINATION folder, and prints how many files and folders it saw. It
 * decides, copies and reports nothing: a floor to hold a run against. */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static long files, folders, missing;

static void walk(int src, int dst)
{
    DIR* dir = fdopendir(src);
    if (!dir) {
        close(src);
        return;
    }
    ++folders;
    size_t count = 0, room = 0;
    char** subfolders = NULL;
    const struct dirent* entry;
    while ((entry = readdir(dir))) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        struct stat st;
        if (entry->d_type != DT_DIR && (fstatat(src, name, &st, 0) != 0 || !S_ISDIR(st.st_mode))) {
            ++files;
            if (dst < 0 || fstatat(dst, name, &st, 0) != 0)
                ++missing;
            continue;
        }
        if (count == room) {
            room = room ? 2 * room : 16;
            subfolders = realloc(subfolders, room * sizeof *subfolders);
            if (!subfolders) {
                perror("liststat");
                exit(1);
            }
        }
        subfolders[count++] = strdup(name);
    }
    for (size_t i = 0; i < count; ++i) {
        const int sub = openat(src, subfolders[i], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int subDst = dst < 0 ? -1 : openat(dst, subfolders[i], O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (sub >= 0)
            walk(sub, subDst);
        if (subDst >= 0)
            close(subDst);
        free(subfolders[i]);
    }
    free(subfolders);
    closedir(dir);
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: liststat SOURCE DESTINATION\n");
        return 2;
    }
    const int src = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (src < 0) {
        fprintf(stderr, "liststat: %s: %s\n", argv[1], strerror(errno));
        return 1;
    }
    const int dst = open(argv[2], O_PATH | O_DIRECTORY | O_CLOEXEC);
    walk(src, dst);
    if (dst >= 0)
        close(dst);
    printf("%ld files, %ld folders, %ld missing at the destination\n", files, folders, missing);
    return 0;
}
